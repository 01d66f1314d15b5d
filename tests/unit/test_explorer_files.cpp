// Text-file queries, waits and CONSPRINT of module explorer, against real
// files in a temporary folder and the headless screen backend.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <string>

#include "inc/explorer.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"

using explorer::CONSPRINT;
using explorer::GET_FILE_LINE_SIZE;
using explorer::STRINDATEI;
using explorer::WAIT_FILEEXISTS;
using explorer::WAIT_TO_NO_EVENT;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

std::regex report(int number, const char* name, const char* proc)
{
    return std::regex(std::string("\r\nAborting due to runtime error ") + std::to_string(number) + " \\(" + name +
                      "\\) at line [0-9]+ of explorer::" + proc + "\\(\\)\r\n\r\n");
}

// Every file number taken, so the next open has none left.
void take_all_file_numbers(const TempDir& dir)
{
    for (int n = rt::free_file(); n != 0; n = rt::free_file()) {
        // Appended rather than "f" + ...: GCC 12 at -O3 sees a false overlap there.
        std::string name = "f";
        name += std::to_string(n);
        rt::open_text_output(n, dir.file(name));
    }
}

} // namespace

TEST(Strindatei, OffsetInTheTextWithoutLineEnds)
{
    TempDir dir;
    std::string f = dir.file("t.txt");
    write_file(f, "abc\r\nxyz\r\n");
    EXPECT_EQ(STRINDATEI(f, 0, "y"), 5);
    EXPECT_EQ(STRINDATEI(f, 0, "b"), 2);
    EXPECT_EQ(STRINDATEI(f, 0, "cx"), 0);
    EXPECT_EQ(STRINDATEI(f, 0, ""), 0);
    EXPECT_EQ(STRINDATEI(f, 0, "xyz"), 4);
    // Every kind of line end counts for nothing.
    write_file(f, "ab\ncd\ref\r\ngh");
    EXPECT_EQ(STRINDATEI(f, 0, "h"), 8);
    EXPECT_EQ(STRINDATEI(f, 0, "e"), 5);
    write_file(f, "");
    EXPECT_EQ(STRINDATEI(f, 0, "a"), 0);
    EXPECT_EQ(rt::free_file(), 1); // closed again
}

TEST(Strindatei, MissingFileIsFileNotFound)
{
    auto r = testsupport::run_child([] { STRINDATEI("/nonexistent/velmora/x.txt", 0, "a"); });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_match(r.err, report(2, "file not found", "STRINDATEI"))) << r.err;
}

TEST(Strindatei, NoFreeFileNumberIsAnIllegalCall)
{
    TempDir dir;
    write_file(dir.file("t.txt"), "abc");
    auto r = testsupport::run_child([&] {
        take_all_file_numbers(dir);
        STRINDATEI(dir.file("t.txt"), 0, "a");
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_match(r.err, report(1, "illegal function call", "STRINDATEI"))) << r.err;
}

TEST(GetFileLineSize, CountsNonEmptyLinesAndTheLength)
{
    TempDir dir;
    std::string f = dir.file("t.txt");
    std::int32_t size = -7;
    write_file(f, "a\r\n\r\nb\r\n");
    EXPECT_EQ(GET_FILE_LINE_SIZE(f, size), 2);
    EXPECT_EQ(size, 8);
    write_file(f, "  \n\r\r\nlast");
    EXPECT_EQ(GET_FILE_LINE_SIZE(f, size), 2);
    EXPECT_EQ(size, 10);
    write_file(f, "");
    EXPECT_EQ(GET_FILE_LINE_SIZE(f, size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(rt::free_file(), 1);
}

TEST(GetFileLineSize, MissingFileOrFolderLeavesTheSize)
{
    TempDir dir;
    std::int32_t size = 123;
    EXPECT_EQ(GET_FILE_LINE_SIZE(dir.file("missing"), size), -1);
    EXPECT_EQ(GET_FILE_LINE_SIZE(dir.path(), size), -1);
    EXPECT_EQ(GET_FILE_LINE_SIZE("", size), -1);
    EXPECT_EQ(size, 123);
}

class Waits : public ::testing::Test {
protected:
    void SetUp() override
    {
        screen::testing::reset();
        screen::SCREEN_OPEN(800, 400, 32);
        screen::headless::set_mouse(10, 10, 0);
        screen::headless::on_idle([this] {
            ++idles;
            if (step)
                step(idles);
        });
    }
    void TearDown() override { screen::testing::reset(); }

    int idles = 0;
    std::function<void(int)> step;
};

TEST_F(Waits, FileThatExistsReturnsAtOnce)
{
    TempDir dir;
    write_file(dir.file("here"), "x");
    EXPECT_EQ(WAIT_FILEEXISTS(dir.file("here"), 5.0), 1);
    EXPECT_EQ(idles, 0);
}

TEST_F(Waits, ZeroOrBadTimeoutTestsOnce)
{
    TempDir dir;
    EXPECT_EQ(WAIT_FILEEXISTS(dir.file("none"), 0), 0);
    EXPECT_EQ(WAIT_FILEEXISTS(dir.file("none"), -3), 0);
    EXPECT_EQ(WAIT_FILEEXISTS(dir.file("none"), std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(idles, 0);
}

TEST_F(Waits, FolderNeverExists)
{
    TempDir dir;
    double start = screen::CLOCK_SECONDS();
    EXPECT_EQ(WAIT_FILEEXISTS(dir.path(), 0.1), 0);
    double took = screen::CLOCK_SECONDS() - start;
    EXPECT_GE(took, 0.1);
    EXPECT_LT(took, 2.0);
    EXPECT_GE(idles, 2);
}

TEST_F(Waits, FileThatAppearsEndsTheWait)
{
    TempDir dir;
    std::string f = dir.file("later");
    step = [&](int n) {
        if (n == 3)
            write_file(f, "now");
    };
    EXPECT_EQ(WAIT_FILEEXISTS(f, 10.0), 1);
    EXPECT_EQ(idles, 3);
}

// Each pass idles twice: in its 2 ms pause and in the key poll.
TEST_F(Waits, QueuedKeysAreTakenOnePerPass)
{
    screen::headless::type("ab");
    screen::headless::press_extended(screen::scan::up);
    WAIT_TO_NO_EVENT();
    EXPECT_EQ(idles, 4 * 2);
    EXPECT_EQ(screen::testing::pending_keys(), 0);
}

TEST_F(Waits, PointerOutsideOrButtonHeldKeepsWaiting)
{
    screen::headless::set_mouse(10, 10, 0, 0, true, false);
    step = [](int n) {
        if (n == 10)
            screen::headless::set_mouse(10, 10, 1);
        if (n == 20)
            screen::headless::set_mouse(10, 10, 0);
    };
    WAIT_TO_NO_EVENT();
    EXPECT_EQ(idles, 20 + 2);
}

TEST_F(Waits, EachHeldKeyPausesOnceWithoutWaitingForRelease)
{
    screen::headless::hold(screen::scan::space, true);
    screen::headless::hold(30, true);
    double start = screen::CLOCK_SECONDS();
    WAIT_TO_NO_EVENT();
    double took = screen::CLOCK_SECONDS() - start;
    EXPECT_EQ(idles, 2 + 2);
    EXPECT_GE(took, 0.16);
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(screen::KEY_DOWN(screen::scan::space), -1);
}

TEST(Consprint, PrintModes)
{
    auto r = testsupport::run_child([] {
        CONSPRINT("abc", 1);
        CONSPRINT("abc", 2);
        CONSPRINT("abcdefghijklmn", 2);
        CONSPRINT("", 2);
        CONSPRINT("x", 3);
        CONSPRINT("never", 0);
        CONSPRINT("never", 4);
        CONSPRINT("never", -1);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "abc\r\n"
                     "abc" + std::string(11, ' ') +
                     "abcdefghijklmn" + std::string(14, ' ') +
                     std::string(14, ' ') + "x");
}

TEST(Consprint, ZoneCountsFromTheLastLineBreak)
{
    auto r = testsupport::run_child([] {
        CONSPRINT("long first line\r\nab", 2);
        CONSPRINT("x\n", 2);
        CONSPRINT("cr\rabcdefghijklmnop", 2);
    });
    EXPECT_EQ(r.out, "long first line\r\nab" + std::string(12, ' ') +
                     "x\n" + std::string(14, ' ') +
                     "cr\rabcdefghijklmnop" + std::string(12, ' '));
}

TEST(Consprint, NoFreeFileNumberIsAnIllegalCall)
{
    TempDir dir;
    auto r = testsupport::run_child([&] {
        take_all_file_numbers(dir);
        CONSPRINT("abc", 1);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::regex_match(r.err, report(1, "illegal function call", "CONSPRINT"))) << r.err;
}
