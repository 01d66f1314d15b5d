// The copy engine: temporaries no one can foresee or follow, leftovers of
// killed runs, the probe beside other people's files, batches flushed
// together, copies made ahead, and the room question's figures.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "support/fat_image.hpp"
#include "support/support.hpp"
#include "support/window.hpp"
#include "velmora/copy.hpp"
#include "velmora/detail.hpp"
#include "velmora/engine/engine.hpp"
#include "velmora/velmora.hpp"

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::write_file;
using velmora::engine::Copy;
using velmora::engine::Destination;
using velmora::engine::detail::owner_of;
using velmora::engine::detail::temporary_name;

namespace {

TEST(TemporaryNames, CarryTheirRunAndNothingElseCountsAsOurs)
{
    EXPECT_EQ(owner_of(temporary_name(4242, 0x0123456789abcdefull)), 4242);
    EXPECT_EQ(owner_of(temporary_name(1, 0)), 1);
    EXPECT_EQ(owner_of(".velmora-4242-0123456789abcdef.part"), 4242);
    for (const char* other : {"song.mp3", ".velmora-0123456789abcdef.part", ".velmora--0123456789abcdef.part",
                              ".velmora-42-0123456789ABCDEF.part", ".velmora-42-0123456789abcde.part",
                              ".velmora-042-0123456789abcdef.part", ".velmora-4x2-0123456789abcdef.part",
                              ".velmora-42-0123456789abcdef.part.mp3", "x.velmora-42-0123456789abcdef.part",
                              ".velmora-99999999999-0123456789abcdef.part"})
        EXPECT_EQ(owner_of(other), 0) << other;
}

TEST(TemporaryNames, AreMadeExclusivelyAndDifferEveryTime)
{
    testsupport::TempDir dir;
    std::set<std::string> made;
    Destination dest(dir.path(), 0);
    for (int i = 0; i < 3; ++i) {
        int n = rt::free_file();
        std::string path = dest.temporary(n);
        rt::close(n);
        rt::remove_on_abort("");
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(dir.path()));
        EXPECT_EQ(owner_of(fs::path(path).filename().string()), platform::current_pid());
        made.insert(path);
    }
    EXPECT_EQ(made.size(), 3u);
}

TEST(Room, CountsWhatIsNotThereInWholeUnitsAndRoundsToShowTheLack)
{
    using velmora::detail::room_needed;
    using velmora::detail::room_question;
    EXPECT_EQ(room_needed(5000, 4096, -1), 8192u);
    EXPECT_EQ(room_needed(8192, 4096, -1), 8192u);
    EXPECT_EQ(room_needed(0, 4096, -1), 0u);
    EXPECT_EQ(room_needed(5000, 4096, 5000), 0u) << "its complete copy is there";
    EXPECT_EQ(room_needed(5000, 4096, 100), 8192u) << "a copy of another size is no copy of it";
    EXPECT_EQ(room_needed(5000, 0, -1), 5000u);
    constexpr std::uint64_t mb = 1u << 20;
    EXPECT_EQ(room_question(3 * mb + 1, 3 * mb - 1), "Nicht genug Platz auf dem Ziel: 4 MB noetig, 2 MB frei");
    EXPECT_EQ(room_question(1, 0), "Nicht genug Platz auf dem Ziel: 1 MB noetig, 0 MB frei");
    EXPECT_EQ(room_question(5000 * mb, 12 * mb), "Nicht genug Platz auf dem Ziel: 5000 MB noetig, 12 MB frei");
}

#ifndef _WIN32
std::set<std::string> names_in(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

long long dead_pid()
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    return pid;
}

TEST(Leftovers, OnlyOursOfRunsThatAreGoneAreRemoved)
{
    testsupport::TempDir dir, outside;
    long long gone = dead_pid();
    const std::string dead = temporary_name(gone, 1), live = temporary_name(1, 2),
                      mine = temporary_name(platform::current_pid(), 3), linked = temporary_name(gone, 4);
    write_file(dir.file(dead), "half");
    write_file(dir.file(live), "a live run's");
    write_file(dir.file(mine), "this run's");
    write_file(dir.file(".velmora-notes.part"), "a user's");
    write_file(outside.file("precious"), "keep me");
    fs::create_symlink(outside.file("precious"), dir.file(linked));
    fs::create_directory(dir.file(temporary_name(gone, 5)));
    Destination(dir.path(), 0).remove_leftovers();
    EXPECT_EQ(names_in(dir.path()),
              (std::set<std::string>{live, mine, ".velmora-notes.part", linked, temporary_name(gone, 5)}));
    EXPECT_EQ(read_file(outside.file("precious")), "keep me");
}

class Probe : public ::testing::Test {
protected:
    std::string probe() const { return dir.file("diesisteintest.tttu"); }
    testsupport::TempDir dir, outside;
};

TEST_F(Probe, AFolderThatTakesFilesIsLeftAsItWas)
{
    EXPECT_TRUE(velmora::detail::probe_folder(dir.path(), false));
    EXPECT_TRUE(names_in(dir.path()).empty());
    EXPECT_FALSE(velmora::detail::probe_folder(dir.file("missing"), false));
    auto r = testsupport::run_child([&] { velmora::detail::probe_folder(dir.file("missing"), true); });
    EXPECT_EQ(r.status, 2);
}

TEST_F(Probe, ALeftoverProbeIsReplacedAndRemoved)
{
    write_file(probe(), "");
    EXPECT_TRUE(velmora::detail::probe_folder(dir.path(), true));
    EXPECT_TRUE(names_in(dir.path()).empty());
}

TEST_F(Probe, LinksAndFilesUnderItsNameAreNeitherFollowedNorRemoved)
{
    write_file(outside.file("target"), "keep me");
    write_file(outside.file("empty"), "");
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    for (const Case& c : {Case{"a link to a file", [&] { fs::create_symlink(outside.file("target"), probe()); }},
                          Case{"a link to nothing", [&] { fs::create_symlink(outside.file("none"), probe()); }},
                          Case{"a second name of an empty file",
                               [&] { fs::create_hard_link(outside.file("empty"), probe()); }},
                          Case{"a user's file", [&] { write_file(probe(), "notes"); }}}) {
        c.plant();
        EXPECT_TRUE(velmora::detail::probe_folder(dir.path(), true)) << c.what << ": the folder takes files";
        EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"diesisteintest.tttu"}) << c.what;
        EXPECT_EQ(read_file(outside.file("target")), "keep me") << c.what;
        EXPECT_EQ(read_file(outside.file("empty")), "") << c.what;
        EXPECT_FALSE(fs::exists(outside.file("none"))) << c.what;
        if (std::string(c.what) == "a user's file") {
            EXPECT_EQ(read_file(probe()), "notes");
        }
        fs::remove(probe());
    }
}

class Group : public testsupport::WindowTest {
protected:
    std::string source(const std::string& name, size_t size)
    {
        write_file(src.file(name), std::string(size, 'x') + name);
        return src.file(name);
    }
    // A source of that size copied into `d` under its own name.
    void copy(Destination& d, const std::string& name, size_t size)
    {
        int n = rt::free_file();
        rt::open_binary_read(n, source(name, size));
        velmora::copy_opened(d, n, name);
    }
    testsupport::TempDir src, dest;
};

TEST_F(Group, CopiesTakeTheirNamesAtTheFlushAndARuntimeErrorStillPlacesThem)
{
    auto r = testsupport::run_child([&] {
        Destination d(dest.path());
        d.open_batch();
        copy(d, "a", 3000);
        copy(d, "b", 5000);
        bool waiting = d.waiting("a") && d.waiting("b");
        std::set<std::string> names = names_in(dest.path());
        bool hidden = names.count("a") == 0 && names.count("b") == 0; // no name, or a hidden one
        d.settle();
        bool placed = read_file(dest.file("a")) == read_file(src.file("a")) && names_in(dest.path()).size() == 2;
        std::printf("%d%d%d\n", waiting, hidden, placed);
        copy(d, "c", 7000);
        rt::fail(3);
    });
    EXPECT_EQ(r.out, "111\n");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(names_in(dest.path()), (std::set<std::string>{"a", "b", "c"})) << "finished copies keep their names";
    EXPECT_EQ(read_file(dest.file("c")), read_file(src.file("c")));
}

// Two destinations are two values: each holds only its own names.
TEST_F(Group, AWaitingCopyHoldsOnlyItsOwnNameAndOnlyUntilTheFlush)
{
    auto r = testsupport::run_child([&] {
        Destination d(dest.path()), other(src.path());
        d.open_batch();
        other.open_batch();
        copy(d, "a", 3000);
        bool own = d.waiting("a");
        bool others = d.waiting("b") || other.waiting("a");
        d.commit();
        bool after = d.waiting("a");
        // An opened source copied through the entry's own open.
        int n = rt::free_file();
        rt::open_binary_read(n, source("b", 5000));
        velmora::copy_opened(d, n, "b");
        bool next = d.waiting("b") && !rt::file_open(n);
        d.settle();
        std::printf("%d%d%d%d%d\n", own, others, after, next, d.waiting("b"));
    });
    EXPECT_EQ(r.out, "10010\n") << r.err;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names_in(dest.path()), (std::set<std::string>{"a", "b"}));
    EXPECT_EQ(read_file(dest.file("b")), read_file(src.file("b")));
}

// A full batch is flushed and named on another thread while the next copy
// goes on; its names stay held until it is done, and a runtime error waits
// for it and still places every finished copy.
TEST_F(Group, AFullGroupIsNamedInTheBackgroundAndARuntimeErrorWaitsForIt)
{
    const std::size_t big = std::size_t(65) << 20; // over one batch's bytes
    auto r = testsupport::run_child([&] {
        Destination d(dest.path());
        d.open_batch();
        copy(d, "a", big);
        copy(d, "b", 3000);
        bool held = d.waiting("a") && d.waiting("b");
        d.commit();
        bool named = !d.waiting("a") && names_in(dest.path()).size() == 2 &&
                     read_file(dest.file("a")) == read_file(src.file("a"));
        copy(d, "c", big);
        copy(d, "d", 5000);
        std::printf("%d%d\n", held, named);
        rt::fail(3);
    });
    EXPECT_EQ(r.out, "11\n") << r.err;
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(names_in(dest.path()), (std::set<std::string>{"a", "b", "c", "d"})) << "no temporary is left";
    for (const char* name : {"c", "d"})
        EXPECT_EQ(read_file(dest.file(name)), read_file(src.file(name))) << name;
}

// Copies without a name are held open until their flush; past the room
// for open files the rest of a batch goes under hidden names.
TEST_F(Group, CopiesPastTheRoomForOpenFilesTakeHiddenNamesAndAllArePlaced)
{
    auto r = testsupport::run_child([&] {
        rlimit lim{};
        getrlimit(RLIMIT_NOFILE, &lim);
        lim.rlim_cur = lim.rlim_max = 330; // room for 10 beside the program's own files
        if (setrlimit(RLIMIT_NOFILE, &lim) != 0)
            std::exit(9);
        Destination d(dest.path());
        d.open_batch();
        for (int i = 0; i < 25; ++i)
            copy(d, "s" + std::to_string(i), 1000 + std::size_t(i));
        std::printf("%zu", names_in(dest.path()).size());
        d.settle();
    });
    EXPECT_EQ(r.out, "15") << r.err;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(names_in(dest.path()).size(), 25u);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(read_file(dest.file("s" + std::to_string(i))), read_file(src.file("s" + std::to_string(i)))) << i;
}

TEST_F(Group, ANameTakenMeanwhileKeepsWhatItHolds)
{
    auto r = testsupport::run_child([&] {
        Destination d(dest.path());
        d.open_batch();
        copy(d, "a", 3000);
        write_file(dest.file("a"), "another run's");
        d.settle();
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_in(dest.path()), std::set<std::string>{"a"});
    EXPECT_EQ(read_file(dest.file("a")), "another run's");
}

// A copy given up, by its handle going out of scope or by a runtime error,
// leaves nothing; one moved to another handle is that handle's.
TEST_F(Group, ACopyNotFinishedLeavesNothing)
{
    auto r = testsupport::run_child([&] {
        for (bool batch : {false, true}) {
            Destination d(dest.path());
            if (batch)
                d.open_batch();
            Copy kept;
            {
                Copy first = d.begin();
                rt::write_bytes(first.file(), "half", 4);
                kept = std::move(first);
            }
            rt::write_bytes(kept.file(), " a song", 7);
            d.finish(kept, batch ? "kept in a batch" : "kept", 11);
            Copy dropped = d.begin();
            rt::write_bytes(dropped.file(), "dropped", 7);
        }
        Destination d(dest.path());
        Copy last = d.begin();
        rt::write_bytes(last.file(), "half", 4);
        rt::fail(3);
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(names_in(dest.path()), (std::set<std::string>{"kept", "kept in a batch"}));
    EXPECT_EQ(read_file(dest.file("kept")), "half a song");
    EXPECT_EQ(read_file(dest.file("kept in a batch")), "half a song");
}

// Descriptors of this process on files without a name in `folder`.
int unnamed_in(const std::string& folder)
{
    int n = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        std::string to = fs::read_symlink(fd.path(), ec).string();
        n += !ec && to.rfind(folder + "/#", 0) == 0 && to.find("(deleted)") != std::string::npos;
    }
    return n;
}

// Copies made ahead are taken for their own entry only, and only from a
// source unchanged since; the loop passing an entry drops its copy, and
// nothing of them is ever left in the folder.
TEST_F(Group, CopiesMadeAheadServeOnlyTheirEntryAndTheirUnchangedSource)
{
    using velmora::engine::Planned;
    std::vector<Planned> plan;
    const std::size_t sizes[] = {3000, 5000, 7000, 2000, 1};
    for (int i = 0; i < 5; ++i)
        plan.push_back({i + 1, source("s" + std::to_string(i + 1), sizes[i]), std::int64_t(sizes[i]) + 2});
    write_file(src.file("s5"), "grown past its planned size");
    const std::string folder = fs::canonical(dest.path()).string();
    fs::create_directory(dest.file("other"));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    {
        Destination d(folder), other(dest.file("other"));
        d.open_batch();
        other.open_batch();
        d.copy_ahead(plan);
        while (unnamed_in(folder) < 4 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(unnamed_in(folder), 4) << "every planned source of its planned size";
        // The same bytes written again, a clock tick later (status times move in ticks).
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        write_file(src.file("s3"), read_file(src.file("s3")));

        Copy second = d.take_ahead(2, src.file("s2"));
        ASSERT_TRUE(second);
        EXPECT_EQ(second.size(), 5002);
        EXPECT_FALSE(d.take_ahead(1, src.file("s1"))) << "dropped when the loop passed it";
        EXPECT_FALSE(d.take_ahead(3, src.file("s3"))) << "its source was written meanwhile";
        EXPECT_FALSE(other.take_ahead(4, src.file("s4"))) << "made for another destination";
        EXPECT_FALSE(d.take_ahead(5, src.file("s5")));
        d.finish(second, "s2", second.size());
        d.settle();
        EXPECT_EQ(read_file(dest.file("s2")), read_file(src.file("s2")));
        d.stop_ahead();
        EXPECT_EQ(unnamed_in(folder), 0);
    }
    fs::remove(dest.file("s2"));
    fs::remove(dest.file("other"));

    // Through the copy itself: taken, shown as copied, named at the flush.
    auto r = testsupport::run_child([&] {
        Destination d(folder);
        d.copy_ahead({plan[0], plan[1]});
        while (unnamed_in(folder) < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        d.open_batch();
        for (int entry : {1, 2}) {
            const std::string name = "s" + std::to_string(entry);
            if (Copy made = d.take_ahead(entry, src.file(name)))
                velmora::show_made(d, std::move(made), name);
        }
        int held = unnamed_in(folder); // both taken, none copied again
        d.stop_ahead();
        d.settle();
        std::printf("%d %d", held, unnamed_in(folder));
    });
    EXPECT_EQ(r.out, "2 0") << r.err;
    EXPECT_EQ(names_in(folder), (std::set<std::string>{"s1", "s2"}));
    for (const char* name : {"s1", "s2"})
        EXPECT_EQ(read_file(dest.file(name)), read_file(src.file(name))) << name;
    Destination d(folder);
    d.copy_ahead(plan);
    d.stop_ahead();
    EXPECT_EQ(unnamed_in(folder), 0) << "what was not taken is dropped";
}
#endif

} // namespace

#ifndef _WIN32
namespace {

using testsupport::FatImage;

// The songs of `list` as they stand on disk, others left out.
std::vector<std::string> songs_on_disk(FatImage& img, const std::string& folder, const std::vector<std::string>& list)
{
    std::set<std::string> wanted(list.begin(), list.end());
    std::vector<std::string> out;
    for (const auto& n : img.order_on_disk(folder))
        if (wanted.count(n) != 0)
            out.push_back(n);
    return out;
}

std::string song_bytes(const std::string& name)
{
    return std::string(3000 + name.size() * 101, static_cast<char>(name[0])) + name;
}

// One run of a playlist as the copy loop does it: what is missing is copied,
// then the songs are put in order.
bool run_list(const std::string& folder, const std::vector<std::string>& list, const std::string& list_name)
{
    Destination d(folder);
    d.remove_leftovers();
    d.open_batch();
    for (const auto& name : list) {
        if (fs::exists(folder + "/" + name))
            continue;
        const std::string bytes = song_bytes(name);
        Copy c = d.begin();
        rt::write_bytes(c.file(), bytes.data(), bytes.size());
        d.finish(c, name, std::int64_t(bytes.size()));
    }
    d.settle();
    return d.keep_order(list, list_name);
}

class Order : public ::testing::TestWithParam<FatImage::Kind> {
protected:
    void SetUp() override
    {
        img = std::make_unique<FatImage>(fs::path(dir.path()), GetParam());
        if (!img->mounted())
            GTEST_SKIP() << img->why_not();
        folder = (img->mount_point() / "Auto").string();
        fs::create_directory(folder);
    }
    void expect_whole(const std::vector<std::string>& list)
    {
        for (const auto& name : list)
            EXPECT_EQ(read_file(folder + "/" + name), song_bytes(name)) << name;
        EXPECT_EQ(set_aside(""), "") << "the songs set aside all came back";
    }
    // The hidden folder of ours that holds `name` (any, for ""); "" for none.
    std::string set_aside(const std::string& name)
    {
        for (const auto& e : fs::directory_iterator(folder))
            if (e.is_directory() && e.path().filename().string().rfind(".velmora-", 0) == 0 &&
                (name.empty() || fs::exists(e.path() / name)))
                return e.path().filename().string();
        return "";
    }
    testsupport::TempDir dir;
    std::unique_ptr<FatImage> img;
    std::string folder;
};

TEST_P(Order, SongsStandInPlaylistOrderAfterEveryRunAndNothingMovesWhenTheyDo)
{
    EXPECT_TRUE(platform::keeps_creation_order(folder));
    EXPECT_FALSE(platform::keeps_creation_order(dir.path())) << "a folder listed by name or hash";
    EXPECT_EQ(platform::on_fuse_without_device(folder), GetParam() == FatImage::Kind::fat32)
        << "exfat-fuse is on a block device: its writes stay buffered";
    const std::vector<std::string> first = {"01 Intro.mp3", "02 A longer title than fifteen.mp3", "03 b.mp3",
                                            "04 Something.mp3", "05 c.mp3", "06 Outro with a long name.mp3"};
    run_list(folder, first, "car.m3u");
    EXPECT_EQ(songs_on_disk(*img, "Auto", first), first) << "first run";
    EXPECT_FALSE(run_list(folder, first, "car.m3u")) << "a rerun with nothing to do moves nothing";

    // One song inserted in the middle, one dropped; files copied in by hand.
    std::vector<std::string> second = first;
    second.insert(second.begin() + 2, "02b Inserted song.mp3");
    second.erase(second.begin() + 4);
    run_list(folder, second, "car.m3u");
    EXPECT_EQ(songs_on_disk(*img, "Auto", second), second) << "insert and drop";
    // A song that could not be copied, copied in by hand later, beside a
    // file of the user's own.
    std::vector<std::string> without = second;
    without.erase(without.begin() + 1);
    fs::remove(folder + "/" + second[1]);
    run_list(folder, without, "car.m3u");
    write_file(folder + "/by hand.mp3", "the user's");
    write_file(folder + "/" + second[1], song_bytes(second[1]));
    run_list(folder, second, "car.m3u");
    EXPECT_EQ(songs_on_disk(*img, "Auto", second), second) << "after files copied in by hand";
    EXPECT_EQ(read_file(folder + "/by hand.mp3"), "the user's");

    // A second playlist sharing songs: its own order.
    const std::vector<std::string> other = {"05 c.mp3", "07 New.mp3", "01 Intro.mp3"};
    run_list(folder, other, "phone.m3u");
    EXPECT_EQ(songs_on_disk(*img, "Auto", other), other);
    expect_whole(second);
    expect_whole(other);
}

// Killed at any moment of a reorder, every song stays whole under its name
// or set aside; the next run brings them back and puts them in order.
TEST_P(Order, AKillAtAnyMomentOfAReorderLosesNothing)
{
    std::vector<std::string> list;
    for (int i = 0; i < 40; ++i)
        list.push_back(std::to_string(100 + i) + (i % 3 == 0 ? " a song with a longer name.mp3" : " s.mp3"));
    std::vector<std::string> reversed(list.rbegin(), list.rend());
    run_list(folder, reversed, "first.m3u");
    auto t0 = std::chrono::steady_clock::now();
    run_list(folder, list, "timed.m3u");
    const auto reorder_us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const std::vector<std::string>& want = round % 2 == 0 ? reversed : list;
        pid_t pid = ::fork();
        if (pid == 0) {
            Destination d(folder);
            d.keep_order(want, "killed " + std::to_string(round) + ".m3u");
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long>(0, reorder_us)(rng)));
        ::kill(pid, SIGKILL);
        int ws = 0;
        ::waitpid(pid, &ws, 0);
        for (const auto& name : list)
            ASSERT_TRUE(fs::exists(folder + "/" + name) || !set_aside(name).empty())
                << name << " lost in round " << round;
        run_list(folder, want, "after.m3u");
        expect_whole(list);
        ASSERT_EQ(songs_on_disk(*img, "Auto", want), want) << "round " << round;
    }
}

// Copies that left the playlist: only velmora's own copies that no playlist
// here names are offered; a kill at any moment of their removal leaves each
// whole or gone, and everything else as it was.
TEST_P(Order, OnlyCopiesNoPlaylistNamesAreRemovedAndAKillLosesNothingElse)
{
    std::vector<std::string> list;
    for (int i = 0; i < 30; ++i)
        list.push_back("song " + std::to_string(i) + ".mp3");
    run_list(folder, {list[0], list[1]}, "other.m3u");
    write_file(folder + "/" + list[2], song_bytes(list[2])); // there before velmora came: not its copy
    run_list(folder, list, "car.m3u");
    write_file(folder + "/mine.mp3", "the user's own");
    const std::vector<std::string> kept = {list[0], list[3]};
    run_list(folder, kept, "car.m3u");
    auto still = [&](const std::string& name) { return name == list[0] || name == list[3]; };
    std::int64_t bytes = 0;
    std::vector<std::string> gone = Destination(folder).left_behind("car.m3u", still, bytes);
    std::set<std::string> offered(gone.begin(), gone.end());
    EXPECT_EQ(offered.size(), 26u) << "not the kept ones, not other.m3u's, not the file found there";
    EXPECT_EQ(offered.count(list[1]) + offered.count(list[2]) + offered.count("mine.mp3"), 0u);
    std::int64_t expected = 0;
    for (const auto& name : gone)
        expected += std::int64_t(song_bytes(name).size());
    EXPECT_EQ(bytes, expected);

    std::mt19937 rng(11);
    for (int round = 0; round < 20 && !gone.empty(); ++round) {
        pid_t pid = ::fork();
        if (pid == 0) {
            Destination(folder).remove_songs(gone);
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<long>(0, 20000)(rng)));
        ::kill(pid, SIGKILL);
        int ws = 0;
        ::waitpid(pid, &ws, 0);
        for (const auto& name : gone) {
            if (fs::exists(folder + "/" + name)) {
                ASSERT_EQ(read_file(folder + "/" + name), song_bytes(name)) << name;
            }
        }
        bytes = 0;
        gone = Destination(folder).left_behind("car.m3u", still, bytes);
    }
    Destination(folder).remove_songs(gone);
    for (const auto& name : {list[0], list[1], list[2], list[3]})
        EXPECT_EQ(read_file(folder + "/" + name), song_bytes(name)) << name;
    EXPECT_EQ(read_file(folder + "/mine.mp3"), "the user's own");
    EXPECT_TRUE(Destination(folder).left_behind("car.m3u", still, bytes).empty());
}

INSTANTIATE_TEST_SUITE_P(Sticks, Order, ::testing::Values(FatImage::Kind::fat32, FatImage::Kind::exfat),
                         [](const auto& info) { return info.param == FatImage::Kind::fat32 ? "FAT32" : "exFAT"; });

} // namespace
#endif
