// Faults a copy run meets on real file systems: a destination that fills up
// or is read-only, sources that vanish between the two passes, signals and
// kills at any moment. Whatever happens, a file under a target's name is whole.
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "fixture.hpp"

namespace e2e {
namespace {

// A tmpfs mounted for one test and detached again however the test ends.
class Mount {
public:
    Mount(fs::path dir, unsigned long flags, const std::string& options) : dir_(std::move(dir))
    {
        fs::create_directories(dir_);
        if (::mount("tmpfs", dir_.c_str(), "tmpfs", flags, options.c_str()) == 0)
            mounted_ = true;
        else
            errno_ = errno;
    }
    ~Mount()
    {
        // Lazy: a program that still holds files there must not keep it mounted.
        if (mounted_)
            ::umount2(dir_.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool mounted() const { return mounted_; }
    int error() const { return errno_; }

private:
    fs::path dir_;
    bool mounted_ = false;
    int errno_ = 0;
};

// Files left under a destination at any depth, but the rewritten playlist
// and the record of the songs' order a FAT stick keeps.
std::vector<std::string> leftovers(const fs::path& dest)
{
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dest))
        if (!e.is_directory() && e.path() != dest / "list.m3u" && e.path() != dest / ".velmora-record")
            out.push_back(fs::relative(e.path(), dest).string());
    return out;
}

bool is_temporary(const std::string& name)
{
    static const std::regex temp(R"(\.velmora-[1-9][0-9]*-[0-9a-f]{16}\.part)");
    return std::regex_match(name, temp);
}

// What a destination folder holds, judged against the sources.
struct DestState {
    std::set<std::string> complete;       // copies byte-identical to their source
    std::vector<std::string> temporaries; // hidden partial copies
    bool probe = false;                   // the write test's file, left by a kill
    std::vector<std::string> problems;    // anything else: a fault
};

// Every file under a name and how big it is; folders end in '/'.
std::set<std::string> listing(const fs::path& under, const fs::path& skip)
{
    std::set<std::string> out;
    for (auto it = fs::recursive_directory_iterator(under); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        std::string rel = fs::relative(it->path(), under).string();
        if (it->is_directory())
            out.insert(rel + "/");
        else
            out.insert(rel + " " + std::to_string(it->is_regular_file() ? fs::file_size(it->path()) : 0));
    }
    return out;
}

class Faults : public ProgramTest {
protected:
    void TearDown() override
    {
        mounts_.clear();
        ProgramTest::TearDown();
    }

    // Mounts a tmpfs at `dir`; skips the test where mounting is not permitted.
    void mount_tmpfs(const fs::path& dir, const std::string& options, unsigned long flags = 0)
    {
        auto m = std::make_unique<Mount>(dir, flags, options);
        if (!m->mounted()) {
            if (m->error() == EPERM || m->error() == EACCES)
                GTEST_SKIP() << "mounting a tmpfs is not permitted here (" << std::strerror(m->error())
                             << "); these tests need root";
            FAIL() << "mount tmpfs at " << dir << ": " << std::strerror(m->error());
        }
        mounts_.push_back(std::move(m));
    }

    // Runs the program in slices until its first copy shows an early figure,
    // and leaves it stopped there. The copy is long enough to still run when
    // a signal follows, however long a slice a busy machine gives it: its
    // steps grow to 64 MiB, so it shows 24 % and 49 % for a whole step each.
    static constexpr size_t k_long_copy = 256u << 20;
    void hold_early_in_first_copy(App& a)
    {
        static const std::regex early("^Kopy: m0\\.mp3 -  [0-5]?[0-9] %");
        ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return std::regex_search(s.row(12), early); }))
            << a.last_screen().joined();
    }

    // Sources of the given sizes, m0.mp3 ..., and their playlist.
    fs::path media_list(const std::vector<size_t>& sizes)
    {
        std::vector<Entry> entries;
        for (size_t i = 0; i < sizes.size(); ++i) {
            media_.push_back(make_media("m" + std::to_string(i) + ".mp3", sizes[i], static_cast<unsigned>(10 + i)));
            entries.push_back({"#EXTINF:" + std::to_string(i) + ",Track " + std::to_string(i), media_.back()});
            bytes_.push_back(read_file(media_.back()));
        }
        return make_playlist("list.m3u", entries);
    }

    DestState inspect(const fs::path& dest) const
    {
        DestState s;
        for (const auto& e : fs::directory_iterator(dest)) {
            std::string name = e.path().filename().string();
            size_t i = 0;
            while (i < media_.size() && media_[i].filename() != name)
                ++i;
            if (i < media_.size()) {
                std::string got = read_file(e.path());
                if (got == bytes_[i])
                    s.complete.insert(name);
                else
                    s.problems.push_back(name + ": " + std::to_string(got.size()) + " bytes, not the " +
                                         std::to_string(bytes_[i].size()) + " of its source");
            } else if (is_temporary(name)) {
                s.temporaries.push_back(name);
            } else if (name == "diesisteintest.tttu") {
                s.probe = true;
            } else if (name != "list.m3u" && name != ".velmora-record") {
                s.problems.push_back("unexpected " + name);
            }
        }
        return s;
    }

    // The run ended in COPY with runtime error `number`; only m0.mp3 was
    // copied, and neither a half copy nor the probe file is left.
    void expect_copy_error_after_first(const fs::path& dest, int number, const std::string& name)
    {
        std::string err = app().err();
        std::regex report("^\r\nAborting due to runtime error " + std::to_string(number) + " \\(" + name +
                          "\\) at line [1-9][0-9]* of velmora::COPY\\(\\)\r\n\r\n$");
        EXPECT_TRUE(std::regex_match(err, report)) << "stderr:\n" << err;
        DestState s = inspect(dest);
        EXPECT_FALSE(s.probe) << "the write test removes its file";
        EXPECT_EQ(s.problems, std::vector<std::string>{});
        EXPECT_EQ(s.complete, std::set<std::string>{"m0.mp3"});
        EXPECT_EQ(s.temporaries, std::vector<std::string>{}) << "the half copy is removed";
    }

    std::set<std::string> all_names() const
    {
        std::set<std::string> names;
        for (const auto& m : media_)
            names.insert(m.filename().string());
        return names;
    }

    std::vector<fs::path> media_;
    std::vector<std::string> bytes_;

private:
    std::vector<std::unique_ptr<Mount>> mounts_;
};

// --- destination full ---

TEST_F(Faults, FullDestinationEndsWithErrorThreeAndKeepsOnlyCompleteCopies)
{
    fs::path dest = root() / "full";
    mount_tmpfs(dest, "size=2m");
    if (IsSkipped() || HasFatalFailure())
        return;
    // 1 MiB fits, the 3 MiB after it runs out of room half-way.
    fs::path list = media_list({1u << 20, 3u << 20});
    start_at_prompt(list);
    answer(p(dest));
    expect_screen("Trotzdem kopieren ? (j/n)");
    app().type("j");
    expect_exit(3, 60s);
    expect_copy_error_after_first(dest, 3, "file I/O error");
}

TEST_F(Faults, DestinationWithoutFreeInodesEndsWithErrorTwoAtTheNextCopy)
{
    fs::path dest = root() / "noinodes";
    // The folder itself, the rewritten playlist and one copy.
    mount_tmpfs(dest, "size=8m,nr_inodes=3");
    if (IsSkipped() || HasFatalFailure())
        return;
    fs::path list = media_list({5000, 7000});
    start_at_prompt(list);
    answer(p(dest));
    expect_exit(2, 60s);
    expect_copy_error_after_first(dest, 2, "file not found");
}

// --- read-only destination ---

TEST_F(Faults, MissingFolderBelowAReadOnlyMountIsRuntimeErrorTwoAndWritesNothing)
{
    fs::path ro = root() / "ro";
    mount_tmpfs(ro, "size=1m", MS_RDONLY);
    if (IsSkipped() || HasFatalFailure())
        return;
    fs::path list = media_list({3000});
    fs::path dest = ro / "missing" / "sub";
    fs::create_directories(root() / "logs");
    std::set<std::string> before = listing(root(), root() / "logs");
    start_at_prompt(list);
    answer(p(dest));
    expect_screen("wollen Die den pfard erstellen ? (j/n)");
    app().type("j");
    expect_exit(2);
    std::string err = app().err();
    std::regex report("^\r\nAborting due to runtime error 2 \\(file not found\\) at line [1-9][0-9]* of "
                      "velmora::CREATEDIR\\(\\)\r\n\r\n$");
    EXPECT_TRUE(std::regex_match(err, report)) << "stderr:\n" << err;
    EXPECT_EQ(listing(root(), root() / "logs"), before);
    EXPECT_TRUE(fs::is_empty(work()));
}

// --- sources that change between the passes ---

enum class Change { deleted, folder, fifo };

class VanishingSource : public Faults, public ::testing::WithParamInterface<Change> {};

// m0.mp3 is big and being copied when m1.mp3 and m3.mp3, both measured by
// the counting pass, stop being readable files.
TEST_P(VanishingSource, IsReportedAsNotExistingAndTheRunGoesOn)
{
    // Big enough that its copy lasts many slices even on a fast disk.
    fs::path list = media_list({128u << 20, 5000, 7000, 3000});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    App& a = app();
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return s.row(3).rfind("Datei 1 (", 0) == 0; }, 30s,
                                   1ms))
        << a.last_screen().joined();
    for (size_t i : {1u, 3u}) {
        fs::remove(media_[i]);
        if (GetParam() == Change::folder)
            fs::create_directory(media_[i]);
        if (GetParam() == Change::fifo) {
            ASSERT_EQ(::mkfifo(media_[i].c_str(), 0644), 0);
        }
    }
    a.resume();
    expect_screen("ready", 60s);
    ScreenText s = a.last_screen();
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(12), "Kopy: m3.mp3 - File - " + p(media_[3]) + " - not exists");
    EXPECT_EQ(s.row(14), "ready");
    expect_exit_after_key(0);
    DestState d = inspect(dest);
    EXPECT_FALSE(d.probe) << "the write test removes its file";
    EXPECT_EQ(d.problems, std::vector<std::string>{});
    EXPECT_EQ(d.complete, (std::set<std::string>{"m0.mp3", "m2.mp3"})) << "the run went on past m1.mp3";
    EXPECT_EQ(d.temporaries, std::vector<std::string>{});
    EXPECT_EQ(lines_crlf(dest / "list.m3u").size(), 9u) << "every entry is listed";
}

INSTANTIATE_TEST_SUITE_P(Ways, VanishingSource, ::testing::Values(Change::deleted, Change::folder, Change::fifo),
                         [](const auto& info) {
                             switch (info.param) {
                             case Change::deleted: return std::string("Deleted");
                             case Change::folder: return std::string("ReplacedByAFolder");
                             case Change::fifo: return std::string("ReplacedByAFifo");
                             }
                             return std::string();
                         });

TEST_F(Faults, AFifoInThePlaylistCountsAsNoFileAndHangsNothing)
{
    fs::path list = media_list({2000, 3000});
    fs::remove(media_[1]);
    ASSERT_EQ(::mkfifo(media_[1].c_str(), 0644), 0);
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    expect_screen("ready", 30s);
    ScreenText s = app().last_screen();
    EXPECT_EQ(s.row(3), "Datei 2 (0 MB ) von 2 ( 0MB ) wir Kopiert") << "measured as nothing";
    EXPECT_EQ(s.row(12), "Kopy: m1.mp3 - File - " + p(media_[1]) + " - not exists");
    expect_exit_after_key(0);
    DestState d = inspect(dest);
    EXPECT_FALSE(d.probe) << "the write test removes its file";
    EXPECT_EQ(d.problems, std::vector<std::string>{});
    EXPECT_EQ(d.complete, std::set<std::string>{"m0.mp3"});
    EXPECT_EQ(lines_crlf(dest / "list.m3u").size(), 5u);
}

// --- signals and kills ---

TEST_F(Faults, TerminationRequestMidCopyLeavesNoPartialFileBehind)
{
    if (under_wine())
        GTEST_SKIP() << "a SIGTERM from outside kills the Wine process (status 143); the program never sees it";
    fs::path list = media_list({k_long_copy, 2000});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    App& a = app();
    hold_early_in_first_copy(a);
    if (HasFatalFailure())
        return;
    // Sent while it runs, as a user's kill comes, not while it is stopped.
    a.resume();
    std::this_thread::sleep_for(2ms);
    a.send_signal(SIGTERM);
    expect_exit(13);
    EXPECT_EQ(a.err(),
              "\r\nAborting due to runtime error 13 (\"termination request\" signal) in velmora::COPY()\r\n\r\n");
    DestState s = inspect(dest);
    EXPECT_FALSE(s.probe) << "the write test removes its file";
    EXPECT_EQ(s.problems, std::vector<std::string>{});
    EXPECT_EQ(s.complete, std::set<std::string>{});
    EXPECT_EQ(s.temporaries, std::vector<std::string>{}) << "a runtime error removes the half copy";
}

// A hang-up (the terminal closed) and a quit end like a termination request.
struct Ending {
    int sig;
    int status;
    const char* name;
};

class SignalMidCopy : public Faults, public ::testing::WithParamInterface<Ending> {};

TEST_P(SignalMidCopy, EndsWithItsReportAndRemovesTheHalfCopy)
{
    if (under_wine())
        GTEST_SKIP() << "Windows has no hang-up or quit signal";
    fs::path list = media_list({k_long_copy, 2000});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    App& a = app();
    hold_early_in_first_copy(a);
    if (HasFatalFailure())
        return;
    a.resume();
    std::this_thread::sleep_for(2ms);
    a.send_signal(GetParam().sig);
    expect_exit(GetParam().status);
    EXPECT_EQ(a.err(), "\r\nAborting due to runtime error " + std::to_string(GetParam().status) + " (" +
                           GetParam().name + ") in velmora::COPY()\r\n\r\n");
    EXPECT_EQ(leftovers(dest), std::vector<std::string>{}) << "no half copy anywhere";
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalMidCopy,
                         ::testing::Values(Ending{SIGHUP, 13, "\"termination request\" signal"},
                                           Ending{SIGQUIT, 15, "\"quit request\" signal"}),
                         [](const auto& info) { return std::string(info.param.sig == SIGHUP ? "HangUp" : "Quit"); });

TEST_F(Faults, ASourceCutShortByAnotherProgramEndsWithTheReportAndNoTarget)
{
    fs::path list = media_list({128u << 20, 2000});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    App& a = app();
    static const std::regex early("^Kopy: m0\\.mp3 -  [0-3]?[0-9] %");
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return std::regex_search(s.row(12), early); }))
        << a.last_screen().joined();
    fs::resize_file(media_[0], 1u << 20);
    a.resume();
    expect_exit(3, 60s);
    std::regex report("^\r\nAborting due to runtime error 3 \\(file I/O error\\) at line [1-9][0-9]* of "
                      "velmora::COPY\\(\\)\r\n\r\n$");
    EXPECT_TRUE(std::regex_match(a.err(), report)) << "stderr:\n" << a.err();
    DestState s = inspect(dest);
    EXPECT_EQ(s.complete, std::set<std::string>{});
    EXPECT_EQ(s.problems, std::vector<std::string>{}) << "nothing under m0.mp3's name";
    EXPECT_EQ(leftovers(dest), std::vector<std::string>{}) << "no half copy anywhere";
}

// --- too big for the destination ---

TEST_F(Faults, FilesOverTheSizeLimitAreLeftOutWithAMessageAndTheRunGoesOn)
{
    if (under_wine())
        GTEST_SKIP() << "the size limit is a POSIX process limit";
    // The program may write files of at most 2 MiB.
    fs::path list = media_list({5000, 3u << 20, 7000, 3u << 20});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_through({"prlimit", "--fsize=" + std::to_string(2u << 20)}, {p(list)});
    ScreenText s = answer_to_ready(dest, 60s);
    EXPECT_EQ(s.row(12), "Kopy: m3.mp3 - zu gross fuer das Ziel");
    EXPECT_EQ(s.row(14), "ready");
    expect_exit_after_key(0);
    DestState d = inspect(dest);
    EXPECT_EQ(d.problems, std::vector<std::string>{});
    EXPECT_EQ(d.complete, (std::set<std::string>{"m0.mp3", "m2.mp3"})) << "the run went on past m1.mp3";
    EXPECT_EQ(d.temporaries, std::vector<std::string>{});
    EXPECT_EQ(lines_crlf(dest / "list.m3u").size(), 9u) << "every entry is listed";
    EXPECT_EQ(leftovers(dest).size(), 2u) << "no half copy anywhere";
}

TEST_F(Faults, FilesOf4GiBAreLeftOutOnFat32BeforeAByteIsCopied)
{
    std::unique_ptr<FatImage> stick;
    if (std::string why = fat_stick(root() / "fat", stick); !why.empty())
        GTEST_SKIP() << why;
    FatImage& fat = *stick;
    // Sparse sources one byte over what FAT32 holds; their neighbours fit.
    fs::path list = media_list({5000, 1, 3000, 1});
    for (size_t i : {1u, 3u}) {
        fs::resize_file(media_[i], (std::uintmax_t(4) << 30) + 1);
        bytes_[i] = "(too big to read)";
    }
    fs::path dest = fat.mount_point() / "musik";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    expect_screen("ready", 60s);
    ScreenText s = app().last_screen();
    EXPECT_EQ(s.row(12), "Kopy: m3.mp3 - zu gross fuer das Ziel");
    expect_exit_after_key(0);
    DestState d = inspect(dest);
    EXPECT_EQ(d.problems, std::vector<std::string>{});
    EXPECT_EQ(d.complete, (std::set<std::string>{"m0.mp3", "m2.mp3"}));
    EXPECT_EQ(lines_crlf(dest / "list.m3u").size(), 9u);
    EXPECT_EQ(leftovers(dest).size(), 2u) << "no half copy anywhere";
}

TEST_F(Faults, KillsAtRandomMomentsNeverLeaveAPartialFileUnderATargetName)
{
    constexpr size_t mib = 1u << 20;
    fs::path list = media_list({1 * mib, 16 * mib, 4 * mib, 9 * mib, 2 * mib, 12 * mib});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);

    // One whole run first, to learn how long a run lasts on this machine.
    fs::path calib = root() / "calib";
    fs::create_directories(calib);
    start_at_prompt(list);
    app().type(p(calib));
    auto t0 = std::chrono::steady_clock::now();
    app().tap(Key::enter);
    expect_screen("ready", 60s);
    auto whole = std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - t0);
    expect_exit_after_key(0);
    ASSERT_EQ(inspect(calib).complete, all_names());
    fs::remove_all(calib);

    // Odd runs are killed at any moment of the whole run; even runs in the
    // middle of a file still to be copied, which a fast disk passes in a blink.
    const unsigned seed = 20240611;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delay_ms(0, static_cast<int>(whole.count() * 11 / 10));
    std::uniform_int_distribution<int> extra_ms(0, 3);
    std::printf("[ kills    ] seed %u, a whole run takes about %lld ms\n", seed,
                static_cast<long long>(whole.count()));
    int mid_file = 0;
    for (int run = 1; run <= 20; ++run) {
        std::vector<std::string> missing;
        for (const auto& m : media_)
            if (!fs::exists(dest / m.filename()))
                missing.push_back(m.filename().string());
        std::string aim = missing[std::uniform_int_distribution<size_t>(0, missing.size() - 1)(rng)];
        start_at_prompt(list);
        app().type(p(dest));
        auto enter = std::chrono::steady_clock::now();
        app().tap(Key::enter);
        char when[80];
        if (run % 2 == 1) {
            int delay = delay_ms(rng);
            std::this_thread::sleep_until(enter + Millis(delay));
            std::snprintf(when, sizeof when, "%4d ms after Enter", delay);
        } else {
            std::regex copying("^Kopy: " + std::regex_replace(aim, std::regex("\\."), "\\.") + " -  [0-9]+ %");
            bool caught = app().run_slowly_until(
                [&](const ScreenText& now) { return std::regex_search(now.row(12), copying) || now.contains("ready"); },
                30s, 1ms);
            caught = caught && std::regex_search(app().last_screen().row(12), copying);
            int extra = extra_ms(rng);
            if (extra > 0) {
                app().resume();
                std::this_thread::sleep_for(Millis(extra));
            }
            std::snprintf(when, sizeof when, "%d ms into %s%s", extra, aim.c_str(), caught ? "" : " (passed it)");
        }
        app().send_signal(SIGKILL);
        std::optional<int> status = app().wait_exit(10s);
        ASSERT_TRUE(status.has_value());
        DestState s = inspect(dest);
        std::printf("[ kills    ] run %2d: killed %s: %zu of 6 complete, %zu temporary%s\n", run, when,
                    s.complete.size(), s.temporaries.size(), s.probe ? ", the probe file" : "");
        EXPECT_EQ(s.problems, std::vector<std::string>{}) << "run " << run << ", killed " << when;
        // Finished copies wait for their flush in a group: all six at most.
        EXPECT_LE(s.temporaries.size(), media_.size());
        mid_file += s.temporaries.empty() ? 0 : 1;
        if (s.complete.size() == media_.size()) {
            // A new round, so later kills meet copies in progress again.
            for (const auto& m : media_)
                fs::remove(dest / m.filename());
        }
    }
    std::printf("[ kills    ] %d of 20 kills came in the middle of a file\n", mid_file);

    start_at_prompt(list);
    answer(p(dest));
    expect_screen("ready", 60s);
    expect_exit_after_key(0);
    DestState s = inspect(dest);
    EXPECT_FALSE(s.probe) << "the write test removes its file";
    EXPECT_EQ(s.problems, std::vector<std::string>{});
    EXPECT_EQ(s.complete, all_names());
    EXPECT_EQ(s.temporaries, std::vector<std::string>{}) << "the killed runs' leftovers were removed";
    EXPECT_EQ(lines_crlf(dest / "list.m3u").size(), 13u);
}

} // namespace
} // namespace e2e
