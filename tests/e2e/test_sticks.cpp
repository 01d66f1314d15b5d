// Destinations as people bring them: songs of one name from several albums,
// names already taken in the folder, and a FAT32 stick that refuses names.
// Every entry keeps its own song, and a rerun finds every copy again.
#include <cstdint>
#include <map>

#include "fixture.hpp"

namespace e2e {
namespace {

class Sticks : public ProgramTest {
protected:
    // Bytes in short: their count and a hash, so a failure prints readably.
    static std::string digest(const std::string& bytes)
    {
        std::uint64_t h = 1469598103934665603ull;
        for (unsigned char c : bytes)
            h = (h ^ c) * 1099511628211ull;
        return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(h);
    }
    // Every file in the folder with its bytes in short.
    static std::map<std::string, std::string> files_in(const fs::path& dir)
    {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::directory_iterator(dir))
            out[e.path().filename().string()] = e.is_regular_file() ? digest(read_file(e.path())) : "(folder)";
        return out;
    }

    // The rewritten playlist: the header, then each info line and its copy.
    using Names = std::vector<std::pair<std::string, std::string>>; // info line, copy's name
    std::vector<std::string> listed(const fs::path& dest, const Names& entries)
    {
        std::vector<std::string> lines{k_header};
        for (const auto& [info, name] : entries) {
            lines.push_back(info);
            lines.push_back(target_.join(p(dest), name));
        }
        return lines;
    }

    // A rerun copies nothing: the same files, the same bytes, the last
    // entry shown as found.
    void expect_rerun_copies_nothing(const fs::path& list, const fs::path& dest, const std::string& last_row)
    {
        auto before = files_in(dest);
        std::vector<std::string> playlist = lines_crlf(dest / list.filename());
        std::map<std::string, fs::file_time_type> times;
        for (const auto& [name, bytes] : before)
            times[name] = fs::last_write_time(dest / name);
        ScreenText s = copy_to_ready(list, dest);
        EXPECT_EQ(s.row(12), last_row);
        EXPECT_EQ(files_in(dest), before);
        times.erase(list.filename().string());
        for (const auto& [name, time] : times)
            EXPECT_EQ(fs::last_write_time(dest / name), time) << name << " was written again";
        EXPECT_EQ(lines_crlf(dest / list.filename()), playlist);
    }
};

TEST_F(Sticks, TwoSongsOfOneNameFromTwoAlbumsAreBothCopiedAndARerunFindsBoth)
{
    // The same size too: only the name is shared.
    fs::path one = make_media("CD1/01 Intro.mp3", 3000, 1);
    fs::path two = make_media("CD2/01 Intro.mp3", 3000, 2);
    fs::path list = make_playlist("list.m3u", {{"#EXTINF:1,Erstes Album - Intro", one},
                                               {"#EXTINF:2,Zweites Album - Intro", two}});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);

    ScreenText s = copy_to_ready(list, dest);
    EXPECT_EQ(s.row(12), "Kopy: 01 Intro.mp3 - Ready");
    auto copies = files_in(dest);
    copies.erase("list.m3u");
    EXPECT_EQ(copies, (std::map<std::string, std::string>{{"01 Intro.mp3", digest(read_file(one))},
                                                          {"01 Intro (2).mp3", digest(read_file(two))}}));
    EXPECT_EQ(lines_crlf(dest / "list.m3u"), listed(dest, {{"#EXTINF:1,Erstes Album - Intro", "01 Intro.mp3"},
                                                           {"#EXTINF:2,Zweites Album - Intro", "01 Intro (2).mp3"}}));

    expect_rerun_copies_nothing(list, dest, "Exist: 01 Intro.mp3 -");
}

TEST_F(Sticks, AFileOfAnotherSizeAndAFolderOfTheNameAreLeftAsTheyAre)
{
    fs::path a = make_media("a.mp3", 2500, 1);
    fs::path b = make_media("b.mp3", 1200, 2);
    fs::path list = make_playlist("list.m3u", {{"#EXTINF:1,A", a}, {"#EXTINF:2,B", b}});
    fs::path dest = root() / "dest";
    fs::create_directories(dest / "b.mp3");
    write_file(dest / "a.mp3", "another song");
    write_file(dest / "b.mp3" / "inside.txt", "kept");

    ScreenText s = copy_to_ready(list, dest);
    EXPECT_EQ(s.row(12), "Kopy: b.mp3 - Ready");
    EXPECT_EQ(read_file(dest / "a.mp3"), "another song");
    EXPECT_EQ(read_file(dest / "b.mp3" / "inside.txt"), "kept");
    EXPECT_EQ(read_file(dest / "a (2).mp3"), read_file(a));
    EXPECT_EQ(read_file(dest / "b (2).mp3"), read_file(b));
    EXPECT_EQ(files_in(dest).size(), 5u) << "two kept, two copies, the playlist";
    EXPECT_EQ(lines_crlf(dest / "list.m3u"),
              listed(dest, {{"#EXTINF:1,A", "a (2).mp3"}, {"#EXTINF:2,B", "b (2).mp3"}}));

    expect_rerun_copies_nothing(list, dest, "Exist: b.mp3 -");
}

TEST_F(Sticks, NamesDifferingInCaseOnlyAreTwoFilesWhereCaseIsOneName)
{
    fs::path upper = make_media("x/Song.mp3", 1500, 1);
    fs::path lower = make_media("y/song.mp3", 1700, 2);
    fs::path list = make_playlist("list.m3u", {{"#EXTINF:1,Upper", upper}, {"#EXTINF:2,Lower", lower}});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);

    copy_to_ready(list, dest);
    // Windows does not tell the two apart; Linux does.
    const std::string second = under_wine() ? "song (2).mp3" : "song.mp3";
    EXPECT_EQ(read_file(dest / "Song.mp3"), read_file(upper));
    EXPECT_EQ(read_file(dest / second), read_file(lower));
    EXPECT_EQ(lines_crlf(dest / "list.m3u"),
              listed(dest, {{"#EXTINF:1,Upper", "Song.mp3"}, {"#EXTINF:2,Lower", second}}));
}

TEST_F(Sticks, AFat32StickGetsSafeNamesForWhatItRefusesAndARerunFindsThem)
{
    std::unique_ptr<FatImage> stick;
    if (std::string why = fat_stick(root() / "fat", stick); !why.empty())
        GTEST_SKIP() << why;
    FatImage& fat = *stick;
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Was ist los?.mp3", "Was ist los_.mp3"}, {"Track: 1.mp3", "Track_ 1.mp3"},
        {"Say \"Hi\".mp3", "Say _Hi_.mp3"},       {"Plain.mp3", "Plain.mp3"},
        {"M\xC3\xA4" "dchen.mp3", "M_dchen.mp3"}, // fusefat takes no name beyond ASCII
        {"x/Song.mp3", "Song.mp3"},       {"y/song.mp3", "song (2).mp3"}, // one name on FAT, even on Linux
        {"A*B.mp3", "A_B.mp3"},
    };
    std::vector<Entry> entries;
    Names expected_list;
    std::map<std::string, std::string> expected_files;
    unsigned seed = 1;
    for (const auto& [name, safe] : names) {
        // Song.mp3 and song.mp3 of one size: a stick's answer for either is a copy.
        fs::path song = make_media(name, name.find("ong.mp3") != std::string::npos ? 2000 : 1000 + 300 * seed, seed);
        ++seed;
        entries.push_back({"#EXTINF:1," + safe, song});
        expected_list.push_back({"#EXTINF:1," + safe, safe});
        expected_files[safe] = digest(read_file(song));
    }
    fs::path list = make_playlist("list.m3u", entries);
    fs::path dest = fat.mount_point() / "musik";
    fs::create_directories(dest);

    ScreenText s = copy_to_ready(list, dest);
    EXPECT_EQ(s.row(12), "Kopy: A*B.mp3 - Ready");
    auto on_stick = files_in(dest);
    on_stick.erase("list.m3u");
    EXPECT_EQ(on_stick.erase(".velmora-record"), 1u) << "a FAT stick keeps the songs' order on record";
    EXPECT_EQ(on_stick, expected_files);
    EXPECT_EQ(lines_crlf(dest / "list.m3u"), listed(dest, expected_list));
    // The songs stand on the stick in playlist order, as a car stereo walks them.
    std::vector<std::string> order;
    for (const auto& name : fat.order_on_disk("musik"))
        if (expected_files.count(name) != 0)
            order.push_back(name);
    std::vector<std::string> in_list;
    for (const auto& [name, safe] : names)
        in_list.push_back(safe);
    EXPECT_EQ(order, in_list);

    expect_rerun_copies_nothing(list, dest, "Exist: A*B.mp3 -");
}

// Copies that left the playlist: asked about after "M3U geladen", kept on
// "n" (and asked about again), removed on "j"; a file of the user's own and
// a copy another playlist there names stay either way.
TEST_F(Sticks, CopiesThatLeftThePlaylistAreRemovedOnlyWhenTheUserSaysSo)
{
    std::unique_ptr<FatImage> stick;
    if (std::string why = fat_stick(root() / "fat", stick); !why.empty())
        GTEST_SKIP() << why;
    FatImage& fat = *stick;
    fs::path a = make_media("a.mp3", 1000, 1), b = make_media("b.mp3", 2000, 2), c = make_media("c.mp3", 3000, 3),
             d = make_media("d.mp3", 4000, 4), o = make_media("o.mp3", 500, 5);
    fs::path dest = fat.mount_point() / "musik";
    fs::create_directories(dest);
    copy_to_ready(make_playlist("other.m3u", {{"#EXTINF:1,B", b}, {"#EXTINF:2,O", o}}), dest);
    fs::path car = make_playlist("car.m3u", {{"#EXTINF:1,A", a}, {"#EXTINF:2,B", b}, {"#EXTINF:3,C", c}, {"#EXTINF:4,D", d}});
    copy_to_ready(car, dest);
    write_file(dest / "mine.mp3", "the user's own");
    make_playlist("car.m3u", {{"#EXTINF:1,A", a}, {"#EXTINF:3,C", c}});

    for (const char* answer_key : {"n", "j"}) {
        start_at_prompt(car);
        answer(p(dest));
        // d.mp3 only: b.mp3 is named by the other playlist.
        expect_screen("1 Dateien nicht mehr in der Playlist (1 MB) - loeschen ? (j/n)");
        app().type(answer_key);
        expect_screen("ready", 30s);
        expect_exit_after_key(0);
        EXPECT_EQ(fs::exists(dest / "d.mp3"), std::string(answer_key) == "n") << answer_key;
    }
    for (const char* stays : {"a.mp3", "b.mp3", "c.mp3", "o.mp3", "other.m3u", "car.m3u"})
        EXPECT_TRUE(fs::exists(dest / stays)) << stays;
    EXPECT_EQ(read_file(dest / "mine.mp3"), "the user's own");
    ScreenText s = copy_to_ready(car, dest);
    EXPECT_EQ(s.joined().find("nicht mehr in der Playlist"), std::string::npos) << "nothing left to ask about";
}

} // namespace
} // namespace e2e
