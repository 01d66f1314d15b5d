// COPY: progress figures in place, the outcome texts, Space abort, and the
// rule that a file under the target's name is always complete.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>

#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "inc/fonts.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"
#include "velmora/detail.hpp"
#include "velmora/velmora.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;
using testsupport::read_file;
using testsupport::write_file;

namespace {

class Copy : public testsupport::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        TEXT_LOCATE(12, 1);
        TEXT_PRINT("Kopy: song.mp3 - ", false);
        st::on_print([this](int row, int column, const std::string& text) {
            if (row == 12 && column == 18)
                at_spot.push_back(text);
            else if (row == 12)
                after_figure.push_back(text);
        });
    }

    std::string source(size_t size, const std::string& name = "src.bin")
    {
        std::string bytes;
        for (size_t i = 0; i < size; ++i)
            bytes.push_back(static_cast<char>((i * 7 + i / 251) & 0xFF));
        write_file(dir.file(name), bytes);
        return dir.file(name);
    }

    testsupport::TempDir dir;
    std::vector<std::string> at_spot;      // texts printed at the progress spot
    std::vector<std::string> after_figure; // the rest of each progress text
};

using Texts = std::vector<std::string>;

// The names in a folder: a temporary left beside the copies shows up here.
std::set<std::string> names_in(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

TEST_F(Copy, FiguresAfterEvery1001BytesThenReady)
{
    std::string src = source(2500);
    velmora::COPY(src, dir.file("out.bin"));
    EXPECT_EQ(at_spot, (Texts{"Kill", " 0", " 40", " 80", "Ready"}));
    EXPECT_EQ(after_figure, (Texts{" %    ", " %         ", " %         "}));
    EXPECT_EQ(read_file(dir.file("out.bin")), read_file(src));
    // "Ready" overwrites the first five characters of the last figure.
    EXPECT_EQ(st::row_text(12).substr(0, 40), "Kopy: song.mp3 - Ready" + std::string(18, ' '));
}

TEST_F(Copy, SmallFilesShowOnlyTheStartingFigure)
{
    velmora::COPY(source(1000), dir.file("a"));
    EXPECT_EQ(at_spot, (Texts{"Kill", " 0", "Ready"}));
    at_spot.clear();
    TEXT_LOCATE(12, 18);
    velmora::COPY(source(1001), dir.file("b"));
    EXPECT_EQ(at_spot, (Texts{"Kill", " 0", " 100", "Ready"}));
    EXPECT_EQ(read_file(dir.file("b")).size(), 1001u);
}

TEST_F(Copy, AnEmptySourceGivesAnEmptyTargetAndZero)
{
    velmora::COPY(source(0), dir.file("empty"));
    EXPECT_EQ(at_spot, (Texts{"Kill", " 0", "Ready"}));
    ASSERT_TRUE(testsupport::exists(dir.file("empty")));
    EXPECT_EQ(read_file(dir.file("empty")), "");
}

TEST_F(Copy, UnchangedFiguresAreNotReprinted)
{
    // 1 MiB: the figure changes about 100 times, though 1047 refreshes fall due.
    std::string src = source(1 << 20);
    velmora::COPY(src, dir.file("big"));
    EXPECT_LE(at_spot.size(), 103u);
    EXPECT_EQ(at_spot[at_spot.size() - 2], " 99");
    EXPECT_EQ(read_file(dir.file("big")), read_file(src));
}

TEST_F(Copy, SpaceHeldAbortsAfterTheFirstByteAndLeavesNothing)
{
    headless::hold(scan::space, true);
    velmora::COPY(source(5000), dir.file("t"));
    EXPECT_EQ(at_spot, (Texts{"Kill", " 0", "User abort"}));
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"src.bin"}) << "neither target nor temporary";
}

TEST_F(Copy, SpaceHeldOnAnEmptySourceStillGivesItsTarget)
{
    headless::hold(scan::space, true);
    velmora::COPY(source(0), dir.file("t"));
    EXPECT_EQ(at_spot.back(), "Ready");
    EXPECT_TRUE(testsupport::exists(dir.file("t")));
}

TEST_F(Copy, AMissingSourceIsReportedAndNothingIsCreated)
{
    velmora::COPY(dir.file("gone.mp3"), dir.file("t"));
    EXPECT_EQ(at_spot, (Texts{"File - " + dir.file("gone.mp3") + " - not exists"}));
    EXPECT_FALSE(testsupport::exists(dir.file("gone.mp3")));
    EXPECT_FALSE(testsupport::exists(dir.file("t")));
    // A folder is no source either.
    velmora::COPY(dir.path(), dir.file("t"));
    EXPECT_FALSE(testsupport::exists(dir.file("t")));
}

TEST_F(Copy, AnUnwritableTargetIsARuntimeError)
{
    std::string src = source(10);
    auto r = testsupport::run_child([&] { velmora::COPY(src, dir.file(std::string("no") + testsupport::k_sep + "such" + testsupport::k_sep + "t")); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("(file not found) at line"), std::string::npos);
    EXPECT_NE(r.err.find(" of velmora::COPY()\r\n\r\n"), std::string::npos);
}

TEST_F(Copy, AFailedWriteLeavesNoTargetUnderItsName)
{
    std::string src = source(4000);
    auto r = testsupport::run_child([&] {
        rt::testing::inject(rt::testing::Fault::write);
        velmora::COPY(src, dir.file("t"));
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"src.bin"}) << "no half copy left";
}

TEST_F(Copy, NamesOfTheLongestLengthCopy)
{
    std::string name(255, 'L');
    std::string src = source(3000);
    velmora::COPY(src, dir.file(name));
    EXPECT_EQ(read_file(dir.file(name)), read_file(src));
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"src.bin", name}));
}

TEST_F(Copy, APathWithANulByteIsNoSource)
{
    std::string src = source(10, "a");
    velmora::COPY(src + std::string(1, '\0') + "b", dir.file("t"));
    EXPECT_EQ(at_spot.back().rfind("File - ", 0), 0u);
    EXPECT_FALSE(testsupport::exists(dir.file("t")));
}

#ifdef _WIN32
// Windows has no SIGKILL: an exit that runs nothing and flushes nothing is
// what the copy sees of a kill.
constexpr int k_killed = 128 + 9;
void kill_self() { _exit(k_killed); }
#else
constexpr int k_killed = 128 + SIGKILL;
void kill_self() { ::kill(::getpid(), SIGKILL); }
#endif

TEST_F(Copy, AKillHalfWayLeavesNoFileUnderTheTargetsName)
{
    std::string src = source(3 << 20);
    auto r = testsupport::run_child([&] {
        // Killed from inside at the first figure after the start: mid-copy.
        st::on_print([](int, int, const std::string& text) {
            if (text != " 0" && text.size() <= 4 && text[0] == ' ' && text != " %    ")
                kill_self();
        });
        velmora::COPY(src, dir.file("t"));
    });
    EXPECT_EQ(r.status, k_killed);
    EXPECT_FALSE(testsupport::exists(dir.file("t")));
    // A rerun completes the copy over the leftover temporary.
    velmora::COPY(src, dir.file("t"));
    EXPECT_EQ(read_file(dir.file("t")), read_file(src));
}

#ifndef _WIN32
std::string joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const auto& t : texts)
        all += t + "|";
    return all;
}

// The names of all files under a folder, at any depth: a half copy left
// anywhere shows up here.
std::set<std::string> files_under(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (!e.is_directory())
            names.insert(e.path().filename().string());
    return names;
}

TEST_F(Copy, AFileOverTheDestinationsSizeLimitIsLeftOutAndTheNextIsCopied)
{
    std::string big = source(300000, "big.bin");
    std::string small = source(2500, "small.bin");
    auto r = testsupport::run_child([&] {
        rt::install_signal_handlers();
        rlimit lim{100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        velmora::COPY(big, dir.file("big"));
        std::string first = joined(at_spot);
        std::string row = st::row_text(12);
        at_spot.clear();
        TEXT_LOCATE(12, 18);
        velmora::COPY(small, dir.file("small"));
        // The figures run up to the third that fits, then the message.
        std::printf("%s\n%s\n%s\n", first.substr(first.size() - 28).c_str(), row.substr(0, 40).c_str(),
                    joined(at_spot).c_str());
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "| 33|zu gross fuer das Ziel|\n"
                     "Kopy: song.mp3 - zu gross fuer das Ziel \n"
                     "Kill| 0| 40| 80|Ready|\n");
    EXPECT_EQ(files_under(dir.path()), (std::set<std::string>{"big.bin", "small.bin", "small"}));
    EXPECT_EQ(read_file(dir.file("small")), read_file(small));
}

TEST_F(Copy, ASourceCutShortDuringItsCopyEndsWithTheReportAndNoTarget)
{
    std::string src = source(3 << 20);
    auto r = testsupport::run_child([&] {
        // Another program shortens the source once the copy is under way.
        st::on_print([&](int, int, const std::string& text) {
            if (text == " 1")
                ::truncate(src.c_str(), 1 << 20);
        });
        velmora::COPY(src, dir.file("t"));
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("(file I/O error) at line"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" of velmora::COPY()\r\n\r\n"), std::string::npos);
    EXPECT_EQ(files_under(dir.path()), std::set<std::string>{"src.bin"});
}

TEST_F(Copy, FiguresAreTheSameWhenTheSourceIsOnAnotherFileSystem)
{
    struct stat shm, here;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    std::string src = "/dev/shm/velmora-copy-" + std::to_string(::getpid());
    write_file(src, read_file(source(2500)));
    velmora::COPY(src, dir.file("out.bin"));
    std::filesystem::remove(src);
    EXPECT_EQ(at_spot, (Texts{"Kill", " 0", " 40", " 80", "Ready"}));
    EXPECT_EQ(read_file(dir.file("out.bin")), read_file(dir.file("src.bin")));
}
#endif

TEST(Progress, FloorOfTheShareAndZeroForEmpty)
{
    EXPECT_EQ(velmora::detail::progress(1001, 2500), 40);
    EXPECT_EQ(velmora::detail::progress(2499, 2500), 99);
    EXPECT_EQ(velmora::detail::progress(0, 0), 0);
    EXPECT_EQ(velmora::detail::progress(5'000'000'000LL, 10'000'000'000LL), 50);
}

} // namespace
