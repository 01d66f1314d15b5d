// File numbers, text line rules, CR LF output, the binary-open rule and existence.
#include <gtest/gtest.h>

#include <sys/stat.h>
#ifdef __linux__
#include <linux/magic.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statfs.h>
#endif
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "platform/fs.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "support/fat_image.hpp"
#include "support/support.hpp"

using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

class Files : public ::testing::Test {
protected:
    void TearDown() override { rt::testing::close_all(); }
    TempDir dir;
};

TEST_F(Files, LowestFreeNumberFirst)
{
    EXPECT_EQ(rt::free_file(), 1);
    write_file(dir.file("a"), "x");
    rt::open_binary_read(1, dir.file("a"));
    rt::open_binary_read(2, dir.file("a"));
    rt::open_binary_read(3, dir.file("a"));
    rt::close(2);
    EXPECT_EQ(rt::free_file(), 2);
}

TEST_F(Files, NoFreeNumberGivesZero)
{
    write_file(dir.file("a"), "x");
    for (int n = 1; n <= rt::k_max_file; ++n)
        rt::open_binary_read(n, dir.file("a"));
    EXPECT_EQ(rt::free_file(), 0);
}

TEST_F(Files, LinesEndAtLfCrLfAndLoneCr)
{
    write_file(dir.file("t"), "one\ntwo\r\nthree\rfour\r\n\r\nlast");
    rt::open_text_input(1, dir.file("t"));
    std::vector<std::string> lines;
    while (!rt::eof(1))
        lines.push_back(rt::read_line(1));
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "four", "", "last"}));
    EXPECT_EQ(rt::read_line(1), ""); // past the end: empty, no error
    EXPECT_TRUE(rt::eof(1));
}

TEST_F(Files, CrAtTheVeryEndEndsTheLastLine)
{
    write_file(dir.file("t"), "a\r");
    rt::open_text_input(1, dir.file("t"));
    EXPECT_EQ(rt::read_line(1), "a");
    EXPECT_TRUE(rt::eof(1));
}

TEST_F(Files, TextOutputEndsLinesWithCrLfAndEmptiesTheFile)
{
    write_file(dir.file("o"), "old content that is longer");
    rt::open_text_output(1, dir.file("o"));
    rt::write_line(1, "a");
    rt::write_line(1, "");
    rt::close(1);
    EXPECT_EQ(read_file(dir.file("o")), "a\r\n\r\n");
}

TEST_F(Files, BinaryOpenKeepsAnExistingFileAndCreatesAMissingOne)
{
    write_file(dir.file("b"), "12345");
    rt::open_binary(1, dir.file("b"));
    EXPECT_EQ(rt::length(1), 5);
    rt::write_bytes(1, "ab", 2);
    EXPECT_EQ(rt::position(1), 2);
    rt::close(1);
    EXPECT_EQ(read_file(dir.file("b")), "ab345"); // not shortened

    rt::open_binary(1, dir.file("new"));
    EXPECT_EQ(rt::length(1), 0);
    rt::close(1);
    EXPECT_TRUE(testsupport::exists(dir.file("new")));
}

TEST_F(Files, BinaryOpenFallsBackToReadOnlyWithoutEmptyingTheFile)
{
#ifndef _WIN32
    if (::geteuid() == 0)
        GTEST_SKIP() << "root can write read-only files";
#endif
    write_file(dir.file("ro"), "keep");
    ::chmod(dir.file("ro").c_str(), 0444);
    rt::open_binary(1, dir.file("ro"));
    char buf[8];
    EXPECT_EQ(rt::read_bytes(1, buf, sizeof buf), 4u);
    rt::close(1);
    EXPECT_EQ(read_file(dir.file("ro")), "keep");
}

TEST_F(Files, OpenFailuresAreRuntimeErrorTwo)
{
    auto r = testsupport::run_child([&] { rt::open_text_input(1, dir.file("missing")); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("runtime error 2 (file not found)"), std::string::npos);

    // A folder is not a file, in any mode.
    r = testsupport::run_child([&] { rt::open_binary(1, dir.path()); });
    EXPECT_EQ(r.status, 2);
    r = testsupport::run_child([&] { rt::open_text_output(1, dir.file("no/such/folder")); });
    EXPECT_EQ(r.status, 2);
}

TEST_F(Files, FailedWriteAndCloseAreReported)
{
    rt::open_text_output(1, dir.file("w"));
    auto r = testsupport::run_child([] {
        rt::testing::inject(rt::testing::Fault::write);
        rt::write_line(1, "x");
    });
    EXPECT_EQ(r.status, 3);
    r = testsupport::run_child([] {
        rt::testing::inject(rt::testing::Fault::close);
        rt::close(1);
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("(file I/O error)"), std::string::npos);
}

TEST_F(Files, BadFileNumbersAreIllegalFunctionCalls)
{
    EXPECT_EQ(testsupport::run_child([] { rt::read_line(5); }).status, 1);
    EXPECT_EQ(testsupport::run_child([] { rt::close(0); }).status, 1);
    write_file(dir.file("a"), "x");
    EXPECT_EQ(testsupport::run_child([&] {
                  rt::open_binary_read(4, dir.file("a"));
                  rt::open_binary_read(4, dir.file("a"));
              }).status,
              1);
}

TEST_F(Files, ExistenceMeansARegularReadableFile)
{
    write_file(dir.file("f"), "");
    EXPECT_TRUE(rt::file_exists(dir.file("f")));
    EXPECT_FALSE(rt::file_exists(dir.path()));
    EXPECT_FALSE(rt::file_exists(dir.file("none")));
    EXPECT_FALSE(rt::file_exists(""));
}

TEST_F(Files, TryOpensFailQuietly)
{
    EXPECT_FALSE(rt::try_open_binary_read(1, dir.file("none")));
    EXPECT_FALSE(rt::try_open_binary_read(1, dir.path()));
    EXPECT_FALSE(rt::try_open_text_output(1, dir.file("no/such")));
    EXPECT_FALSE(rt::file_open(1));
    EXPECT_FALSE(testsupport::exists(dir.file("none")));
}

TEST_F(Files, PipesReadACommandsOutput)
{
#ifdef _WIN32
    rt::open_pipe(1, "echo a& echo b"); // cmd.exe ends both lines with CR LF
#else
    rt::open_pipe(1, "printf 'a\\r\\nb\\n'");
#endif
    EXPECT_EQ(rt::read_line(1), "a");
    EXPECT_EQ(rt::read_line(1), "b");
    EXPECT_TRUE(rt::eof(1));
    rt::close(1);
}

TEST_F(Files, StandardStreamsTakeAFileNumberAndSurviveTheClose)
{
    auto r = testsupport::run_child([] {
        rt::open_std_output(3, std::source_location::current());
        rt::write_line(3, "one");
        rt::close(3);
        std::fputs("two", stdout);
    });
    EXPECT_EQ(r.out, "one\r\ntwo");
    EXPECT_EQ(r.status, 0);
    rt::open_std_input(2);
    EXPECT_FALSE(rt::file_open(1));
    EXPECT_EQ(rt::free_file(), 1);
    EXPECT_EQ(testsupport::run_child([] { rt::write_line(2, "x"); }).status, 1);
    rt::close(2);
}

TEST_F(Files, LinesAfterBinaryReadsGoOnWhereTheReadsStopped)
{
    write_file(dir.file("b"), "abcdef\r\nrest\n");
    rt::open_binary(1, dir.file("b"));
    char buf[3];
    EXPECT_EQ(rt::read_bytes(1, buf, 3), 3u);
    EXPECT_EQ(rt::read_line(1), "def");
    EXPECT_EQ(rt::read_line(1), "rest");
    EXPECT_EQ(rt::position(1), 13);
    EXPECT_TRUE(rt::eof(1));
}

#ifndef _WIN32
namespace {
std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + i / 4093) & 0xFF);
    return bytes;
}

// Copies file 1 to file 2 in steps of `step`; the steps' sizes.
std::vector<std::size_t> copy_all(std::size_t step)
{
    std::vector<std::size_t> sizes;
    for (;;) {
        rt::Moved m = rt::copy_bytes(1, 2, step);
        EXPECT_FALSE(m.too_big);
        if (m.bytes == 0)
            return sizes;
        sizes.push_back(m.bytes);
    }
}
} // namespace

// /dev/shm is another file system than the test's folder on most machines:
// there the copy goes through the buffer instead of the kernel.
class Routes : public Files, public ::testing::WithParamInterface<bool> {
protected:
    std::string source_folder()
    {
        if (!GetParam())
            return dir.path();
        struct stat a, b;
        if (::stat("/dev/shm", &a) != 0 || ::stat(dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
            return "";
        shm_ = std::make_unique<std::string>("/dev/shm/velmora-files-" + std::to_string(::getpid()));
        std::filesystem::create_directories(*shm_);
        return *shm_;
    }
    void TearDown() override
    {
        Files::TearDown();
        if (shm_)
            std::filesystem::remove_all(*shm_);
    }
    std::unique_ptr<std::string> shm_;
};

TEST_P(Routes, CopiesEveryByteAndCountsBothPositions)
{
    std::string from = source_folder();
    if (from.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    // Past the buffer's size, with a tail that fills no block.
    const std::string bytes = pattern((std::size_t(9) << 20) + 12345);
    write_file(from + "/src", bytes);
    rt::open_binary_read(1, from + "/src");
    rt::open_binary_new(2, dir.file("dst"));
    std::vector<std::size_t> steps = copy_all(std::size_t(16) << 20);
    EXPECT_EQ(rt::position(1), static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(rt::position(2), static_cast<std::int64_t>(bytes.size()));
    rt::flush_to_medium(2);
    rt::close(1);
    rt::close(2);
    EXPECT_TRUE(read_file(dir.file("dst")) == bytes);
    if (GetParam()) {
        // Whole aligned blocks of the one buffer, then the tail.
        ASSERT_EQ(steps.size(), 3u);
        EXPECT_EQ(steps[0], std::size_t(4) << 20);
        EXPECT_EQ(steps[1], std::size_t(4) << 20);
    }
}

TEST_P(Routes, ASourceThatShrinksOrGrowsUnderTheCopyIsAReadFailure)
{
    std::string from = source_folder();
    if (from.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    write_file(from + "/src", pattern(300000));
    rt::open_binary_read(1, from + "/src");
    rt::open_binary_new(2, dir.file("dst"));
    auto shrunk = testsupport::run_child([&] {
        rt::copy_bytes(1, 2, 65536);
        ASSERT_EQ(::truncate((from + "/src").c_str(), 100000), 0);
        copy_all(65536);
    });
    EXPECT_EQ(shrunk.status, 3);
    EXPECT_NE(shrunk.err.find("(file I/O error)"), std::string::npos);

    write_file(from + "/src", pattern(300000));
    rt::testing::close_all();
    rt::open_binary_read(1, from + "/src");
    rt::open_binary_new(2, dir.file("dst"));
    auto grown = testsupport::run_child([&] {
        rt::copy_bytes(1, 2, 65536);
        write_file(from + "/src", pattern(400000));
        copy_all(65536);
    });
    EXPECT_EQ(grown.status, 3);

    // Unchanged, the same copy ends normally.
    write_file(from + "/src", pattern(300000));
    rt::testing::close_all();
    rt::open_binary_read(1, from + "/src");
    rt::open_binary_new(2, dir.file("dst"));
    EXPECT_EQ(testsupport::run_child([&] { copy_all(65536); }).status, 0);
}

TEST_P(Routes, ASizeLimitIsReportedNotFailed)
{
    std::string from = source_folder();
    if (from.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    write_file(from + "/src", pattern(500000));
    auto r = testsupport::run_child([&] {
        rt::install_signal_handlers(); // the size signal must not end the program
        rlimit lim{200000, 200000};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
        rt::open_binary_read(1, from + "/src");
        rt::open_binary_new(2, dir.file("dst"));
        bool refused = false;
        for (int i = 0; i < 20 && !refused; ++i)
            refused = rt::copy_bytes(1, 2, 65536).too_big;
        std::fputs(refused ? "refused" : "copied", stdout);
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "refused");
}

#ifdef __linux__
static int resident_pages(int fd, std::int64_t from, std::int64_t length)
{
    void* map = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, fd, from);
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> in(static_cast<std::size_t>((length + page - 1) / page));
    int count = ::mincore(map, static_cast<std::size_t>(length), in.data()) == 0 ? 0 : -1;
    for (unsigned char c : in)
        count += count >= 0 && (c & 1) ? 1 : 0;
    ::munmap(map, static_cast<std::size_t>(length));
    return count;
}
#endif

// A flusher thread writes back a copy through a descriptor of its own,
// which must stay valid after the copy's file is closed.
TEST_F(Files, ADuplicateDescriptorOutlivesTheCloseAndWritesBackItsRange)
{
    rt::open_binary_new(1, dir.file("copy"));
    const std::string bytes = pattern(std::size_t(6) << 20);
    rt::write_bytes(1, bytes.data(), bytes.size());
    int fd = rt::duplicate_descriptor(1);
    ASSERT_GE(fd, 0);
    rt::close(1);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, static_cast<off_t>(bytes.size()));
#ifdef __linux__
    // Only the range written back leaves the cache: a page still dirty must
    // not be lost, and one outside the range is not the copy's to drop.
    // (Pages come in folios of up to 2 MiB, dropped whole or not at all.)
    const std::int64_t part = std::int64_t(2) << 20;
    EXPECT_TRUE(platform::write_back_range(fd, part, part));
    struct statfs sfs {};
    ASSERT_EQ(::fstatfs(fd, &sfs), 0);
    if (sfs.f_type != TMPFS_MAGIC) { // memory is its medium: nothing to drop
        EXPECT_EQ(resident_pages(fd, part, part), 0);
        EXPECT_GT(resident_pages(fd, 0, part), 0);
        EXPECT_GT(resident_pages(fd, 2 * part, part), 0);
    }
    EXPECT_TRUE(platform::write_back_range(fd, 0, static_cast<std::int64_t>(bytes.size())));
#endif
    EXPECT_TRUE(platform::close_fd(fd));
    EXPECT_FALSE(platform::write_back_range(fd, 0, 1)) << "a closed descriptor";
    EXPECT_EQ(read_file(dir.file("copy")), bytes);
}

#ifdef __linux__
static bool writes_directly(int n)
{
    int fd = rt::duplicate_descriptor(n); // shares the open file's flags
    int flags = ::fcntl(fd, F_GETFL);
    ::close(fd);
    return flags >= 0 && (flags & O_DIRECT) != 0;
}

// A FUSE driver gets buffered writes one page per request: copies onto it
// write directly where asked, and stay byte-exact; a copy onto any other
// file system keeps the page cache, also right after one onto FUSE.
TEST_F(Files, CopiesOntoAFuseDriverWriteDirectlyAndStayByteExact)
{
    testsupport::FatImage fat(dir.file("fat"));
    if (!fat.mounted())
        GTEST_SKIP() << fat.why_not();
    const std::string stick = (fat.mount_point() / "song.mp3").string();
    const std::string bytes = pattern((std::size_t(9) << 20) + 12345);
    write_file(dir.file("src"), bytes);
    rt::open_binary_read(1, dir.file("src"));
    rt::open_binary_new(2, stick);
    EXPECT_TRUE(platform::on_fuse_without_device(fat.mount_point().string()));
    EXPECT_FALSE(platform::on_fuse_without_device(dir.path()));
    rt::write_directly(2);
    std::vector<std::size_t> steps = copy_all(std::size_t(3) << 20);
    EXPECT_EQ(steps.size(), 4u);
    EXPECT_TRUE(writes_directly(2));
    rt::close(1);
    rt::close(2);
    EXPECT_TRUE(read_file(stick) == bytes);

    rt::open_binary_read(1, stick);
    rt::open_binary_new(2, dir.file("back"));
    copy_all(std::size_t(4) << 20);
    EXPECT_FALSE(writes_directly(2));
    rt::close(1);
    rt::close(2);
    EXPECT_TRUE(read_file(dir.file("back")) == bytes);

    // A full stick refuses a direct write as it does a buffered one.
    std::filesystem::resize_file(dir.file("src"), std::uintmax_t(80) << 20);
    rt::open_binary_read(1, dir.file("src"));
    rt::open_binary_new(2, (fat.mount_point() / "big.mp3").string());
    rt::write_directly(2);
    auto full = testsupport::run_child([] { copy_all(std::size_t(4) << 20); });
    EXPECT_EQ(full.status, 3);
    EXPECT_NE(full.err.find("(file I/O error)"), std::string::npos);
}

static std::set<std::string> names_in(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// A copy without a name shows nowhere until it is linked, never over a name
// that is taken, and leaves nothing behind when it is only closed.
TEST_F(Files, AFileWithoutANameAppearsOnlyWhenLinkedAndNeverOverAnother)
{
    ASSERT_TRUE(rt::try_open_unnamed(1, dir.path()));
    rt::write_bytes(1, "song", 4);
    int fd = rt::duplicate_descriptor(1);
    rt::close(1);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{});
    write_file(dir.file("taken"), "mine");
    EXPECT_EQ(platform::link_unnamed(fd, dir.file("taken")), platform::Placed::taken);
    EXPECT_EQ(read_file(dir.file("taken")), "mine");
    EXPECT_EQ(platform::link_unnamed(fd, dir.file("song")), platform::Placed::ok);
    EXPECT_TRUE(platform::close_fd(fd));
    EXPECT_EQ(read_file(dir.file("song")), "song");

    ASSERT_TRUE(rt::try_open_unnamed(2, dir.path()));
    rt::write_bytes(2, "lost", 4);
    rt::close(2);
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"song", "taken"}));
    EXPECT_FALSE(rt::try_open_unnamed(2, dir.file("missing")));
    EXPECT_FALSE(rt::try_open_unnamed(2, dir.file("song"))) << "a file is no folder";
    EXPECT_FALSE(rt::file_open(2));
}

long descriptor_table_size()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("FDSize:", 0) == 0)
            return std::atol(line.c_str() + 7);
    return -1;
}

long open_descriptors()
{
    long n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Also grown at once: growing it later, with threads running, stalls them all.
TEST(OpenFiles, TheRoomIsRaisedUpToTheSystemsLimitAndTheTableGrownAtOnce)
{
    auto r = testsupport::run_child([] {
        rlimit low{};
        getrlimit(RLIMIT_NOFILE, &low);
        low.rlim_cur = 64;
        setrlimit(RLIMIT_NOFILE, &low);
        const long before = open_descriptors();
        long room = platform::room_for_open_files(500);
        rlimit now{};
        getrlimit(RLIMIT_NOFILE, &now);
        long hard = low.rlim_max == RLIM_INFINITY ? 500 : static_cast<long>(std::min<rlim_t>(low.rlim_max, 500));
        std::printf("%d%d%d%d", room == hard, static_cast<long>(now.rlim_cur) == hard,
                    descriptor_table_size() >= room, open_descriptors() == before);
    });
    EXPECT_EQ(r.out, "1111") << r.err;
}
#endif

INSTANTIATE_TEST_SUITE_P(Copy, Routes, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "AcrossFileSystems" : "InTheKernel"); });
#endif

} // namespace
