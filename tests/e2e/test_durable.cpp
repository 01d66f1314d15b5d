// What a run leaves on the medium and beside other people's files: the
// system calls of a run show every copy flushed before it takes its name and
// nothing unflushed at "ready"; links planted in the destination are never
// followed; two runs into one folder never mix their copies; the playlist
// replaced in its own folder keeps its entries; a destination too small asks.
#include <sys/mount.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "fixture.hpp"

namespace e2e {
namespace {

bool is_temporary(const std::string& name)
{
    static const std::regex temp(R"(\.velmora-[1-9][0-9]*-[0-9a-f]{16}\.part)");
    return std::regex_match(name, temp);
}

class Durable : public ProgramTest {
protected:
    fs::path media_list(const std::vector<size_t>& sizes, const std::string& name = "list.m3u")
    {
        std::vector<Entry> entries;
        for (size_t i = 0; i < sizes.size(); ++i) {
            media_.push_back(make_media("m" + std::to_string(i) + ".mp3", sizes[i], static_cast<unsigned>(20 + i)));
            entries.push_back({"#EXTINF:" + std::to_string(i) + ",Track " + std::to_string(i), media_.back()});
        }
        return make_playlist(name, entries);
    }

    // Names in the folder that are complete copies, and everything else.
    void expect_only_complete_copies(const fs::path& dest, size_t count, const std::string& when)
    {
        std::set<std::string> complete, other;
        for (const auto& e : fs::directory_iterator(dest)) {
            std::string name = e.path().filename().string();
            bool copy = false;
            for (const auto& m : media_)
                copy = copy || (m.filename() == name && read_file(e.path()) == read_file(m));
            (copy ? complete : other).insert(name);
        }
        other.erase("list.m3u");
        EXPECT_EQ(complete.size(), count) << when;
        EXPECT_EQ(other, std::set<std::string>{}) << when << ": no half copy, no temporary, no probe";

    }

    std::vector<fs::path> media_;
};

// --- the system calls of a run ---

// One system call of a traced run, as far as the check needs it.
struct Call {
    std::string name;
    std::vector<std::string> fds; // paths strace shows for descriptor arguments
    std::vector<std::string> strings; // quoted path arguments
    int result_fd = -1;               // a descriptor it returned, and its path
    std::string result_path;
};

std::vector<Call> parse_trace(const std::string& text)
{
    static const std::regex head(R"(^(?:\[pid\s+)?\d+\]?\s+(?:<\.\.\. )?([a-z0-9_]+)(?: resumed>)?\(?(.*)$)");
    static const std::regex fd(R"(\d+<([^>]*)>)");
    static const std::regex str(R"("((?:[^"\\]|\\.)*)\")");
    static const std::regex result(R"(\) = (\d+)<([^>]*)>(?:\(deleted\))?$)");
    std::vector<Call> calls;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        // A resumed half repeats nothing the check needs.
        if (!std::regex_match(line, m, head) || line.find("resumed>") != std::string::npos)
            continue;
        Call c;
        c.name = m[1];
        std::string args = m[2];
        for (auto it = std::sregex_iterator(args.begin(), args.end(), fd); it != std::sregex_iterator(); ++it)
            c.fds.push_back((*it)[1]);
        for (auto it = std::sregex_iterator(args.begin(), args.end(), str); it != std::sregex_iterator(); ++it)
            c.strings.push_back((*it)[1]);
        std::smatch r;
        if (std::regex_search(args, r, result)) {
            c.result_fd = std::stoi(r[1]);
            c.result_path = r[2];
        }
        calls.push_back(std::move(c));
    }
    return calls;
}

// Replays the trace: data written into the destination is dirty until a
// flush covers it; a rename (or the link of a file without a name) of dirty
// data, and anything dirty or a new name unflushed at the end, are faults.
struct Replay {
    std::vector<std::string> faults;
    int renames = 0;
    int flushes = 0;
    std::set<std::string> dirty;       // files with unflushed data
    std::set<std::string> new_names;   // names made since the folder was last flushed
    std::map<int, std::string> fds;    // what the descriptors returned so far stand for

    void name(const std::string& from, const std::string& to, const char* how)
    {
        ++renames;
        if (dirty.count(from)) {
            faults.push_back(std::string(how) + " with its data unflushed: " + from + " -> " + to);
            dirty.erase(from);
            dirty.insert(to);
        }
        new_names.insert(to);
    }

    void run(const std::vector<Call>& calls, const std::string& dest)
    {
        auto inside = [&](const std::string& path) { return path.rfind(dest + "/", 0) == 0; };
        for (const auto& c : calls) {
            if (c.name == "write" || c.name == "pwrite64" || c.name == "writev" || c.name == "pwritev" ||
                c.name == "copy_file_range") {
                const std::string& out = c.name == "copy_file_range" && c.fds.size() > 1 ? c.fds[1]
                                         : c.fds.empty()                                ? std::string()
                                                                                        : c.fds[0];
                if (inside(out))
                    dirty.insert(out);
            } else if ((c.name == "fdatasync" || c.name == "fsync") && !c.fds.empty()) {
                ++flushes;
                dirty.erase(c.fds[0]);
                if (c.fds[0] == dest)
                    new_names.clear();
            } else if (c.name == "syncfs" || c.name == "sync") {
                ++flushes;
                dirty.clear();
                new_names.clear();
            } else if (c.name.rfind("rename", 0) == 0 && c.strings.size() == 2 && inside(c.strings[0])) {
                name(c.strings[0], c.strings[1], "renamed");
            } else if (c.name == "linkat" && c.strings.size() == 2 && inside(c.strings[1])) {
                // linkat(fd, "", ..., AT_EMPTY_PATH) or through /proc/self/fd/N
                const std::string proc = "/proc/self/fd/";
                std::string from = c.strings[0].empty() && !c.fds.empty() ? c.fds[0] : c.strings[0];
                if (from.rfind(proc, 0) == 0)
                    from = fds[std::stoi(from.substr(proc.size()))];
                name(from, c.strings[1], "linked");
            }
            if (c.result_fd >= 0)
                fds[c.result_fd] = c.result_path;
        }
        for (const auto& d : dirty)
            faults.push_back("unflushed at ready: " + d);
        for (const auto& n : new_names)
            faults.push_back("name not flushed at ready: " + n);
    }
};

TEST_F(Durable, TheTraceShowsEveryCopyFlushedBeforeItsRenameAndNothingUnflushedAtReady)
{
    if (under_wine())
        GTEST_SKIP() << "the trace is of a Linux process";
    // Over 64 MiB: a group and a long copy are flushed on the background thread too.
    fs::path list = media_list({5000, 12u << 20, 0, 3000, 70u << 20, 7000});
    fs::path dest = fs::canonical(root()) / "dest";
    fs::create_directories(dest);
    fs::path trace = root() / "trace.txt";
    start_through({"strace", "-f", "-qq", "-y", "-o", trace.string(), "-e",
                   "trace=write,pwrite64,writev,pwritev,copy_file_range,fsync,fdatasync,syncfs,sync,rename,"
                   "renameat,renameat2,linkat,open,openat,fcntl,dup,dup2,dup3"},
                  {p(list)});
    expect_screen(k_prompt);
    answer(p(dest));
    expect_screen("ready", 120s);
    // The program now waits for a key: every call before "ready" is in the trace.
    Replay r;
    r.run(parse_trace(read_file(trace)), dest.string());
    EXPECT_EQ(r.faults, std::vector<std::string>{});
    EXPECT_GE(r.renames, 6) << "every copy was seen taking its name";
    EXPECT_GE(r.flushes, 1);
    expect_exit_after_key(0);
    expect_only_complete_copies(dest, 6, "after the run");
}

TEST(TraceReplay, FindsARenameBeforeTheFlushAndWhatIsLeftUnflushed)
{
    // The check itself, on a made-up trace of the faults it must catch.
    std::string text = "10 write(5</d/.t1>, \"ab\", 2) = 2\n"
                       "10 renameat2(AT_FDCWD, \"/d/.t1\", AT_FDCWD, \"/d/a\", RENAME_NOREPLACE) = 0\n"
                       "10 copy_file_range(3</s/b>, NULL, 6</d/.t2>, NULL, 9, 0) = 9\n"
                       "11 write(7<socket:[1]>, \"x\", 1) = 1\n"
                       "10 fdatasync(6</d/.t2> <unfinished ...>\n"
                       "11 <... fdatasync resumed>) = 0\n"
                       "10 rename(\"/d/.t2\", \"/d/b\") = 0\n"
                       "10 write(8</d/list.m3u>, \"#\", 1) = 1\n";
    Replay r;
    r.run(parse_trace(text), "/d");
    EXPECT_EQ(r.faults, (std::vector<std::string>{"renamed with its data unflushed: /d/.t1 -> /d/a",
                                                  "unflushed at ready: /d/a", "unflushed at ready: /d/list.m3u",
                                                  "name not flushed at ready: /d/a", "name not flushed at ready: /d/b"}));
    Replay clean;
    clean.run(parse_trace(text + "10 syncfs(4</d>) = 0\n"), "/d");
    EXPECT_EQ(clean.faults.size(), 1u) << "only the early rename stays a fault";

    // Copies without a name, linked by their descriptor or through /proc.
    std::string made = "10 openat(AT_FDCWD, \"/d\", O_RDWR|O_TMPFILE, 0666) = 5</d/#12>(deleted)\n"
                       "10 fcntl(5</d/#12>(deleted), F_DUPFD_CLOEXEC, 0) = 9</d/#12>(deleted)\n"
                       "10 write(5</d/#12>(deleted), \"ab\", 2) = 2\n"
                       "10 openat(AT_FDCWD, \"/d\", O_RDWR|O_TMPFILE, 0666) = 6</d/#13>(deleted)\n"
                       "10 write(6</d/#13>(deleted), \"cd\", 2) = 2\n";
    std::string links = "11 linkat(9</d/#12>(deleted), \"\", AT_FDCWD, \"/d/a\", AT_EMPTY_PATH) = 0\n"
                        "11 linkat(AT_FDCWD, \"/proc/self/fd/6\", AT_FDCWD, \"/d/b\", AT_SYMLINK_FOLLOW) = 0\n";
    const std::string flush = "10 syncfs(4</d>) = 0\n";
    Replay early;
    early.run(parse_trace(made + links + flush), "/d");
    EXPECT_EQ(early.faults, (std::vector<std::string>{"linked with its data unflushed: /d/#12 -> /d/a",
                                                      "linked with its data unflushed: /d/#13 -> /d/b"}));
    Replay late;
    late.run(parse_trace(made + flush + links + flush), "/d");
    EXPECT_EQ(late.faults, std::vector<std::string>{});
    EXPECT_EQ(late.renames, 2);
}

// --- other people's files ---

TEST_F(Durable, LinksPlantedUnderTheProbeAndTemporaryNamesLeaveTheirTargetsUntouched)
{
    if (under_wine())
        GTEST_SKIP() << "symbolic links planted by a Linux process";
    fs::path list = media_list({5000, 3u << 20, 7000});
    fs::path dest = root() / "shared";
    fs::path outside = root() / "outside";
    fs::create_directories(dest);
    fs::create_directories(outside);
    write_file(outside / "precious.txt", "keep me");
    fs::create_symlink(outside / "precious.txt", dest / "diesisteintest.tttu");
    // Names a temporary of the next runs could have, as far as one can guess:
    // the pids that come next, and links to files and to nothing.
    long long last = 0;
    std::ifstream("/proc/sys/kernel/ns_last_pid") >> last;
    std::vector<fs::path> planted;
    for (long long pid = last + 1; pid <= last + 200; ++pid) {
        char name[64];
        std::snprintf(name, sizeof name, ".velmora-%lld-%016llx.part", pid, static_cast<unsigned long long>(pid * 7919));
        fs::path target = outside / ("t" + std::to_string(pid));
        if (pid % 2 == 0)
            write_file(target, "keep " + std::to_string(pid));
        fs::create_symlink(target, dest / name);
        planted.push_back(dest / name);
    }
    for (int run = 1; run <= 2; ++run) {
        start_at_prompt(list);
        answer(p(dest));
        expect_screen("ready", 60s);
        expect_exit_after_key(0);
    }
    EXPECT_EQ(read_file(outside / "precious.txt"), "keep me");
    EXPECT_TRUE(fs::is_symlink(dest / "diesisteintest.tttu")) << "the link at the probe's name stays";
    for (const auto& link : planted) {
        EXPECT_TRUE(fs::is_symlink(link)) << link;
        fs::path target = fs::read_symlink(link);
        long long pid = std::stoll(target.filename().string().substr(1));
        if (pid % 2 == 0)
            EXPECT_EQ(read_file(target), "keep " + std::to_string(pid));
        else
            EXPECT_FALSE(fs::exists(target)) << "nothing was made through " << link;
    }
    for (size_t i = 0; i < media_.size(); ++i)
        EXPECT_EQ(read_file(dest / media_[i].filename()), read_file(media_[i]));
}

// --- two runs into one folder ---

TEST_F(Durable, TwoRunsIntoOneFolderEachLeaveCompleteCopies)
{
    if (under_wine())
        GTEST_SKIP() << "the first run is held with SIGSTOP";
    fs::path list = media_list({96u << 20, 5000, 3u << 20, 7000});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    App& first = start_at_prompt(list);
    answer(p(dest));
    static const std::regex halfway("^Kopy: m0\\.mp3 -  [1-9][0-9]? %");
    ASSERT_TRUE(first.run_slowly_until([](const ScreenText& s) { return std::regex_search(s.row(12), halfway); },
                                       60s, 1ms))
        << first.last_screen().joined();
    // Held half-way, its window out of the way so the second run's is found.
    first.set_shown(false);

    Launch second_launch{{p(list)}, work(), root() / "logs2", {}};
    fs::create_directories(second_launch.log_dir);
    {
        App second(target_, second_launch);
        ASSERT_TRUE(second.wait_window(20s)) << second.err();
        ASSERT_TRUE(second.wait_for_text(k_prompt));
        second.type(p(dest));
        second.tap(Key::enter);
        ASSERT_TRUE(second.wait_for_text("ready", 120s)) << second.last_screen().joined() << second.err();
        second.tap(Key::enter);
        EXPECT_EQ(second.wait_exit(20s), std::optional<int>(0));
    }
    size_t temporaries = 0;
    for (const auto& e : fs::directory_iterator(dest))
        temporaries += is_temporary(e.path().filename().string()) ? 1 : 0;
    // The held run's half copy has no name at all, or a hidden one of its own
    // that the second run left alone.
    EXPECT_LE(temporaries, 1u);
    EXPECT_EQ(fs::file_size(dest / "m0.mp3"), 96u << 20) << "the second run's copy is whole";

    first.set_shown(true);
    first.resume();
    first.focus();
    expect_screen("ready", 120s);
    expect_exit_after_key(0);
    // The name the first run finished m0.mp3 for was taken: its copy went.
    expect_only_complete_copies(dest, 4, "after both runs");
}

// --- the playlist replaced in its own folder ---

TEST_F(Durable, EscWithThePlaylistsOwnFolderAsDestinationKeepsEveryEntry)
{
    // Big enough that the window's thread takes the press in before m0.mp3
    // is copied, however busy the machine.
    fs::path list = media_list({256u << 20, 5000, 6000, 7000});
    std::vector<std::string> before = lines_crlf(list);
    ASSERT_EQ(before.size(), 9u);
    fs::path dest = list.parent_path();
    App& a = start_at_prompt(list);
    answer(p(dest));
    static const std::regex copying("^Kopy: m0\\.mp3 -  [0-9]+ %");
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return std::regex_search(s.row(12), copying); }))
        << a.last_screen().joined();
    a.press(Key::escape);
    a.run_slowly_until([](const ScreenText& s) { return s.joined().find("User abort") != std::string::npos; }, 60s);
    a.resume();
    expect_screen("User abort", 60s);
    a.release(Key::escape);
    expect_exit(0);
    std::vector<std::string> after = lines_crlf(list);
    ASSERT_EQ(after.size(), 9u) << "every entry is kept";
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(after[2], p(dest / "m0.mp3")) << "the entry processed points at its copy";
    for (size_t i = 3; i < 9; ++i)
        EXPECT_EQ(after[i], before[i]) << "line " << i + 1 << " is as it was";
    EXPECT_EQ(read_file(dest / "m0.mp3"), read_file(media_[0]));
    EXPECT_FALSE(fs::exists(dest / "m1.mp3"));
}

// --- a destination too small ---

class SmallDestination : public Durable {
protected:
    void TearDown() override
    {
        if (mounted_)
            ::umount2(dest_.c_str(), MNT_DETACH);
        Durable::TearDown();
    }
    // An 8 MiB tmpfs; the test is skipped where mounting is not permitted.
    bool mount_small()
    {
        dest_ = root() / "small";
        fs::create_directories(dest_);
        if (::mount("tmpfs", dest_.c_str(), "tmpfs", 0, "size=8m") == 0)
            return mounted_ = true;
        std::printf("[ skipped  ] mounting a tmpfs is not permitted here (%s); this test needs root\n",
                    std::strerror(errno));
        return false;
    }
    // Three songs of 3 MiB (one already there in full) and two of 2 MiB: 10 MiB needed.
    fs::path start_too_big()
    {
        fs::path list = media_list({3u << 20, 3u << 20, 2u << 20, 3u << 20, 2u << 20});
        fs::copy_file(media_[1], dest_ / "m1.mp3");
        start_at_prompt(list);
        answer(p(dest_));
        expect_screen("Trotzdem kopieren ? (j/n)");
        ScreenText s = app().last_screen();
        EXPECT_EQ(s.row(3), "M3U geladen");
        EXPECT_EQ(s.row(4), "Nicht genug Platz auf dem Ziel: 10 MB noetig, 4 MB frei");
        return list;
    }
    fs::path dest_;
    bool mounted_ = false;
};

TEST_F(SmallDestination, AnsweredNoEndsWithStatusZeroAndCopiesNothing)
{
    if (under_wine() || !mount_small())
        GTEST_SKIP() << "needs a Linux tmpfs mount";
    // Fill the tmpfs so that 4 MiB are left next to the complete m1.mp3.
    write_file(dest_ / "filler", std::string(1u << 20, 'f'));
    start_too_big();
    app().type("J");
    app().tap(Key::enter);
    EXPECT_TRUE(app().stays_unchanged(300ms)) << "only j and n answer";
    app().type("n");
    expect_exit(0);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dest_))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"filler", "m1.mp3"}));
}

TEST_F(SmallDestination, AnsweredYesCopiesUntilFullAndEndsWithTheReportLeavingNothingPartial)
{
    if (under_wine() || !mount_small())
        GTEST_SKIP() << "needs a Linux tmpfs mount";
    write_file(dest_ / "filler", std::string(1u << 20, 'f'));
    start_too_big();
    app().type("j");
    expect_exit(3, 60s);
    std::regex report("^\r\nAborting due to runtime error 3 \\(file I/O error\\) at line [1-9][0-9]* of "
                      "velmora::COPY\\(\\)\r\n\r\n$");
    EXPECT_TRUE(std::regex_match(app().err(), report)) << app().err();
    fs::remove(dest_ / "filler");
    // m0.mp3 (3 MiB) fits beside m1.mp3, m2.mp3 (2 MiB) does not quite.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dest_))
        names.insert(e.path().filename().string());
    names.erase("list.m3u");
    EXPECT_EQ(names, (std::set<std::string>{"m0.mp3", "m1.mp3"})) << "nothing partial";
    EXPECT_EQ(read_file(dest_ / "m0.mp3"), read_file(media_[0]));
}

} // namespace
} // namespace e2e
