// The copy run as a user sees it: progress screens, the copies and the
// rewritten playlist on disk, reruns, and stopping with Space and Esc.
#include <regex>
#include <set>
#include <thread>

#include "fixture.hpp"

namespace e2e {
namespace {

class CopyRun : public ProgramTest {
protected:
    // a.mp3 (2500 bytes), b.mp3 (empty), c.mp3 (1001 bytes).
    void SetUp() override
    {
        ProgramTest::SetUp();
        media_ = {make_media("a.mp3", 2500, 1), make_media("b.mp3", 0, 2), make_media("c.mp3", 1001, 3)};
        list_ = make_playlist("list.m3u", {{"#EXTINF:101,Alpha - One", media_[0]},
                                           {"#EXTINF:102,Beta - Two", media_[1]},
                                           {"#EXTINF:103,Gamma - Three", media_[2]}});
        dest_ = root() / "dest";
    }

    // Types the destination; a missing one is confirmed with "j" unless
    // `before_yes` holds a key down first.
    void begin(bool create, std::optional<Key> held_before_yes = std::nullopt)
    {
        if (!create)
            fs::create_directories(dest_);
        start_at_prompt(list_);
        answer(p(dest_));
        if (create) {
            expect_screen("wollen Die den pfard erstellen ? (j/n)");
            if (held_before_yes)
                app().press(*held_before_yes);
            app().type("j");
        }
    }

    std::string target(size_t i) const { return target_.join(p(dest_), media_[i].filename().string()); }

    // The rewritten playlist for the first n entries.
    std::vector<std::string> rewritten(size_t n) const
    {
        const char* info[] = {"#EXTINF:101,Alpha - One", "#EXTINF:102,Beta - Two", "#EXTINF:103,Gamma - Three"};
        std::vector<std::string> lines{k_header};
        for (size_t i = 0; i < n; ++i) {
            lines.push_back(info[i]);
            lines.push_back(target(i));
        }
        return lines;
    }

    bool same_as_source(size_t i) const
    {
        fs::path copy = dest_ / media_[i].filename();
        return fs::exists(copy) && read_file(copy) == read_file(media_[i]);
    }

    std::vector<fs::path> media_;
    fs::path list_;
    fs::path dest_;
};

// Several playlists into one destination typed once: a song of both is
// copied once, each playlist is rewritten beside the copies, the counts
// cover the whole run and the screen says which playlist is copied.
TEST_F(CopyRun, SeveralPlaylistsGoIntoOneDestinationAndShareTheirSongs)
{
    fs::create_directories(dest_);
    fs::path own = make_media("d.mp3", 4000, 4);
    fs::path second = make_playlist("second.m3u", {{"#EXTINF:201,Shared", media_[0]}, {"#EXTINF:202,Own", own}});
    start({p(list_), p(second)});
    ScreenText s = answer_to_ready(dest_, 30s);
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(3), "Datei 5 (0.003 MB ) von 5 ( 0MB ) wir Kopiert");
    EXPECT_EQ(s.row(5), "Playlist 2 von 2: second.m3u");
    EXPECT_EQ(s.row(12).rfind("Kopy: d.mp3 - ", 0), 0u) << s.row(12);
    expect_exit_after_key(0);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dest_))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"a.mp3", "b.mp3", "c.mp3", "d.mp3", "list.m3u", "second.m3u"}));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(3));
    EXPECT_EQ(lines_crlf(dest_ / "second.m3u"),
              (std::vector<std::string>{k_header, "#EXTINF:201,Shared", target(0), "#EXTINF:202,Own",
                                        target_.join(p(dest_), "d.mp3")}));
    EXPECT_EQ(read_file(dest_ / "d.mp3"), read_file(own));
}

TEST_F(CopyRun, ThreeEntriesAreCopiedByteForByteWithARewrittenPlaylist)
{
    begin(false);
    expect_screen("ready", 30s);
    ScreenText s = app().last_screen();
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(2), "");
    EXPECT_EQ(s.row(3), "Datei 3 (0.000 MB ) von 3 ( 0MB ) wir Kopiert");
    EXPECT_EQ(s.row(10), "Aktuelle Vorgaenge:");
    // 1001 bytes: 0, then 100 after byte 1001, then "Ready" over " 100 ".
    EXPECT_EQ(s.row(12), "Kopy: c.mp3 - Ready%");
    EXPECT_EQ(s.row(14), "ready");
    expect_exit_after_key(0);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(same_as_source(i)) << media_[i];
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(3));
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()), 4) << "3 copies + playlist";
}

TEST_F(CopyRun, RerunSkipsExistingCopiesAndWritesThePlaylistAgain)
{
    fs::create_directories(dest_);
    // Copies of the sources' sizes, whatever their bytes.
    auto kept = [&](size_t i) { return std::string(fs::file_size(media_[i]), static_cast<char>('k' + i)); };
    for (size_t i = 0; i < 3; ++i)
        write_file(dest_ / media_[i].filename(), kept(i));
    write_file(dest_ / "list.m3u", "stale");
    begin(false);
    expect_screen("ready", 30s);
    EXPECT_EQ(app().last_screen().row(12), "Exist: c.mp3 -");
    expect_exit_after_key(0);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(read_file(dest_ / media_[i].filename()), kept(i)) << "not copied over";
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(3));
}

// The second listing of a song finds the first one's copy (copied ahead or
// not): one file, both entries point at it.
TEST_F(CopyRun, ASongListedTwiceIsCopiedOnceAndListedTwice)
{
    list_ = make_playlist("list.m3u", {{"#EXTINF:101,Alpha - One", media_[0]},
                                       {"#EXTINF:103,Gamma - Three", media_[2]},
                                       {"#EXTINF:101,Alpha - One", media_[0]}});
    begin(false);
    expect_screen("ready", 30s);
    EXPECT_EQ(app().last_screen().row(12), "Exist: a.mp3 -");
    expect_exit_after_key(0);
    EXPECT_TRUE(same_as_source(0));
    EXPECT_TRUE(same_as_source(2));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{k_header, "#EXTINF:101,Alpha - One", target(0), "#EXTINF:103,Gamma - Three",
                                        target(2), "#EXTINF:101,Alpha - One", target(0)}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()), 3) << "2 copies + playlist";
}

TEST_F(CopyRun, SpaceHeldAbortsEveryCopyAndLeavesNoTarget)
{
    begin(true, Key::space);
    expect_screen("ready", 30s);
    EXPECT_EQ(app().last_screen().row(12), "Kopy: c.mp3 - User abort");
    app().release(Key::space);
    expect_exit_after_key(0);
    EXPECT_FALSE(fs::exists(dest_ / "a.mp3"));
    EXPECT_FALSE(fs::exists(dest_ / "c.mp3"));
    // An empty file has no byte after which to abort.
    EXPECT_TRUE(same_as_source(1));
    // Aborted entries are listed all the same.
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(3));
}

TEST_F(CopyRun, EscHeldStopsAfterTheFirstEntryUntilReleased)
{
    begin(true, Key::escape);
    expect_screen("User abort", 30s);
    ScreenText s = app().last_screen();
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  33.3 %");
    EXPECT_EQ(s.row(3), "Datei 1 (0.002 MB ) von 3 ( 0MB ) wir Kopiert");
    // 2500 bytes: 0, 40, 80, then "Ready" over " 80 %".
    EXPECT_EQ(s.row(12), "Kopy: a.mp3 - Ready");
    EXPECT_EQ(s.row(13), "");
    EXPECT_EQ(s.row(14), "User abort");
    EXPECT_TRUE(app().stays_unchanged(400ms)) << "no \"ready\" while Esc is held";
    app().release(Key::escape);
    expect_screen("ready");
    EXPECT_EQ(app().last_screen().row(16), "ready");
    expect_exit_after_key(0);
    EXPECT_TRUE(same_as_source(0));
    EXPECT_FALSE(fs::exists(dest_ / "b.mp3"));
    EXPECT_FALSE(fs::exists(dest_ / "c.mp3"));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(1));
}

TEST_F(CopyRun, MissingFileAndTrailingBlankLineStillRunToReady)
{
    fs::path missing = root() / "media" / "gone.mp3";
    list_ = make_playlist("list.m3u", {{"#EXTINF:101,Alpha - One", media_[0]}, {"#EXTINF:9,Gone", missing}},
                          "\r\n");
    begin(false);
    expect_screen("ready", 30s);
    ScreenText s = app().last_screen();
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(12), "Kopy: gone.mp3 - File - " + p(missing) + " - not exists");
    expect_exit_after_key(0);
    EXPECT_TRUE(same_as_source(0));
    EXPECT_FALSE(fs::exists(dest_ / "gone.mp3"));
    std::vector<std::string> want = rewritten(1);
    want.push_back("#EXTINF:9,Gone");
    want.push_back(target_.join(p(dest_), "gone.mp3"));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), want);
}

// One entry of a given name and size into an existing folder, run to "ready".
class SingleEntry : public ProgramTest {
protected:
    ScreenText run_one(const std::string& name, size_t size)
    {
        fs::path media = make_media(name, size);
        fs::path list = make_playlist("list.m3u", {{"#EXTINF:1,One", media}});
        fs::path dest = root() / "dest";
        fs::create_directories(dest);
        start_at_prompt(list);
        answer(p(dest));
        expect_screen("ready", 30s);
        ScreenText s = app().last_screen();
        expect_exit_after_key(0);
        EXPECT_EQ(read_file(dest / name), read_file(media));
        return s;
    }
};

TEST_F(SingleEntry, NameOfNinetyOneCharactersIsShortened)
{
    std::string name = std::string(87, 'n') + ".mp3";
    ScreenText s = run_one(name, 100);
    // "Kopy: " + 90 characters + "...  - " runs 3 columns into row 13,
    // where the progress and "Ready" follow.
    EXPECT_EQ(s.row(12), "Kopy: " + name.substr(0, 90) + "...");
    EXPECT_EQ(s.row(13), " - Ready");
    EXPECT_EQ(s.row(15), "ready");
}

TEST_F(SingleEntry, NameOfNinetyCharactersIsShownWhole)
{
    std::string name = std::string(86, 'n') + ".mp3";
    ScreenText s = run_one(name, 100);
    // The name and " - " end in column 99: the progress starts in column
    // 100 and wraps, and "Ready" overwrites it there.
    EXPECT_EQ(s.row(12), "Kopy: " + name + " - R");
    EXPECT_EQ(s.row(13), "eady");
    EXPECT_EQ(s.row(15), "ready");
}

struct TotalCase {
    size_t bytes;
    const char* row3;
};

class TotalDisplay : public SingleEntry, public ::testing::WithParamInterface<TotalCase> {};

TEST_P(TotalDisplay, SwitchesFromMegabytesToGigabytesAt252Kilobytes)
{
    ScreenText s = run_one("a.mp3", GetParam().bytes);
    EXPECT_EQ(s.row(3), GetParam().row3);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TotalDisplay,
                         ::testing::Values(TotalCase{251 * 1024, "Datei 1 (0.245 MB ) von 1 ( 0MB ) wir Kopiert"},
                                           TotalCase{252 * 1024, "Datei 1 (0.246 MB ) von 1 (0.000GB ) wir Kopiert"},
                                           TotalCase{1536, "Datei 1 (0.001 MB ) von 1 ( 0MB ) wir Kopiert"}));

// A file big enough that its copy lasts, however quickly the kernel copies
// and however busy the machine: the screen of the first entry and its
// percentage can be watched while it runs, and a key pressed meanwhile is
// taken in before the copy is over.
class LongCopy : public CopyRun {
protected:
    void SetUp() override
    {
        CopyRun::SetUp();
        media_[0] = make_media("big.mp3", k_big, 7);
        list_ = make_playlist("list.m3u", {{"#EXTINF:101,Alpha - One", media_[0]},
                                           {"#EXTINF:102,Beta - Two", media_[1]},
                                           {"#EXTINF:103,Gamma - Three", media_[2]}});
    }
    static constexpr size_t k_big = 256u << 20;
};

// The percentage shown for big.mp3, -1 while none is.
int big_percentage(const ScreenText& s)
{
    static const std::regex progress("Kopy: big\\.mp3 -  ([0-9]+) %");
    std::smatch m;
    std::string row = s.row(12);
    return std::regex_match(row, m, progress) ? std::stoi(m[1]) : -1;
}

TEST_F(LongCopy, ProgressScreenShowsShareSizesAndARisingPercentage)
{
    begin(false);
    App& a = app();
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return big_percentage(s) >= 0; }))
        << a.last_screen().joined();
    ScreenText s = a.last_screen();
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  33.3 %");
    // 256 MiB + 0 + 1001 bytes: 262144 + 0 + 1 KB, 0.25000... GB.
    EXPECT_EQ(s.row(3), "Datei 1 (256 MB ) von 3 (0.250GB ) wir Kopiert");
    EXPECT_EQ(s.row(10), "Aktuelle Vorgaenge:");
    int first = big_percentage(s);
    ASSERT_TRUE(a.run_slowly_until([&](const ScreenText& now) { return big_percentage(now) > first; }))
        << "the percentage rises while the file is copied; screen:\n"
        << a.last_screen().joined();
    EXPECT_LE(big_percentage(a.last_screen()), 100);
    a.resume();
    expect_screen("ready", 60s);
    expect_exit_after_key(0);
    EXPECT_TRUE(same_as_source(0));
}

TEST_F(LongCopy, EscDuringACopyLetsThatFileFinish)
{
    begin(false);
    App& a = app();
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return big_percentage(s) >= 0; }));
    a.press(Key::escape);
    a.run_slowly_until([](const ScreenText& s) { return s.joined().find("User abort") != std::string::npos; }, 60s);
    a.resume();
    expect_screen("User abort", 60s);
    EXPECT_EQ(a.last_screen().row(12), "Kopy: big.mp3 - Ready");
    a.release(Key::escape);
    // The Esc press itself waits in the key buffer: it is the key "ready" waits for.
    expect_exit(0);
    EXPECT_TRUE(same_as_source(0)) << "the file being copied is complete";
    EXPECT_FALSE(fs::exists(dest_ / "b.mp3"));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(1));
}

TEST_F(LongCopy, SpaceDuringACopyRemovesThePartialTarget)
{
    begin(false);
    App& a = app();
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return big_percentage(s) >= 0; }));
    a.press(Key::space);
    // In short slices, so the window's thread takes the press in before the
    // copy's growing steps can finish the file.
    a.run_slowly_until([](const ScreenText& s) { return s.row(12).find("User abort") != std::string::npos; });
    a.resume();
    // The Space press waits in the key buffer and ends the wait at "ready".
    expect_exit(0);
    a.release(Key::space);
    EXPECT_FALSE(fs::exists(dest_ / "big.mp3"));
    // Still held when c.mp3 started: aborted too; the empty b.mp3 is copied.
    EXPECT_TRUE(same_as_source(1));
    EXPECT_FALSE(fs::exists(dest_ / "c.mp3"));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), rewritten(3));
}

} // namespace
} // namespace e2e
