// Playlists in the shapes that players and tools write: file: URLs, extra
// directives, plain lists, CR-only line ends with a byte-order mark,
// streams, entries written on Windows and names with umlauts.
#include <cctype>
#include <cstdio>

#include "fixture.hpp"

namespace e2e {
namespace {

class Playlists : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        dest_ = root() / "dest";
        fs::create_directories(dest_);
    }

    // Writes the playlist text, runs the program on it into dest/ and
    // returns the screen at "ready".
    ScreenText run(const std::string& text, const std::string& name = "list.m3u")
    {
        fs::path list = root() / "lists" / name;
        fs::create_directories(list.parent_path());
        write_file(list, text);
        start_at_prompt(list);
        answer(p(dest_));
        expect_screen("ready", 30s);
        ScreenText s = app().last_screen();
        expect_exit_after_key(0);
        return s;
    }

    std::string copy(const std::string& name) const { return target_.join(p(dest_), name); }
    bool copied(const fs::path& media) const
    {
        fs::path c = dest_ / media.filename();
        return fs::exists(c) && read_file(c) == read_file(media);
    }
    size_t files_in_dest() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dest_), fs::directory_iterator()));
    }

    fs::path dest_;
};

// Percent-encodes every byte but unreserved characters and '/'.
std::string file_url(const std::string& path)
{
    std::string out = "file://";
    if (path.empty() || path[0] != '/')
        out += '/'; // file:///Z:/...
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || c == ':') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

TEST_F(Playlists, FileUrlsWithPercentEncodedUtf8NamesAreCopiedAndShownReadably)
{
    if (under_wine())
        GTEST_SKIP() << "UTF-8 names in a playlist on Windows are the wide-character build's cases";
    fs::path joga = make_media("Bj\xC3\xB6rk - J\xC3\xB3ga.mp3", 3000, 1);
    fs::path ace = make_media("Mot\xC3\xB6rhead - Ace.mp3", 1500, 2);
    ScreenText s = run("#EXTM3U\n#EXTINF:305,Bj\xC3\xB6rk - J\xC3\xB3ga\n" + file_url(p(joga)) +
                       "\n#EXTINF:169,Mot\xC3\xB6rhead - Ace\nfile://localhost" + file_url(p(ace)).substr(7) + "\n");
    // Code page 850: 0x94 is o with diaeresis.
    EXPECT_EQ(s.row(12), "Kopy: Mot\x94rhead - Ace.mp3 - Ready");
    EXPECT_TRUE(copied(joga));
    EXPECT_TRUE(copied(ace));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{"#EXTM3U", "#EXTINF:305,Bj\xC3\xB6rk - J\xC3\xB3ga", copy(joga.filename().string()),
                                        "#EXTINF:169,Mot\xC3\xB6rhead - Ace", copy(ace.filename().string())}));
}

TEST_F(Playlists, ExtraDirectivesStayInPlaceAndEveryPathIsReplaced)
{
    fs::path a = make_media("a.mp3", 2000, 3), b = make_media("b.mp3", 10, 4);
    ScreenText s = run("#EXTM3U\r\n#PLAYLIST:Mix\r\n#EXTINF:215,Alpha\r\n#EXTALB:Homogenic\r\n#EXTART:Someone\r\n"
                       "#EXTGENRE:Pop\r\n#EXTIMG:front.jpg\r\n" + p(a) + "\r\n#EXTINF:20,Beta\r\n"
                       "#EXTVLCOPT:start-time=5\r\n" + p(b) + "\r\n");
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(3).substr(0, 18), "Datei 2 (9.536 MB ");
    EXPECT_EQ(s.row(12), "Kopy: b.mp3 - Ready");
    EXPECT_TRUE(copied(a));
    EXPECT_TRUE(copied(b));
    EXPECT_EQ(files_in_dest(), 3u);
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{"#EXTM3U", "#PLAYLIST:Mix", "#EXTINF:215,Alpha", "#EXTALB:Homogenic",
                                        "#EXTART:Someone", "#EXTGENRE:Pop", "#EXTIMG:front.jpg", copy("a.mp3"),
                                        "#EXTINF:20,Beta", "#EXTVLCOPT:start-time=5", copy("b.mp3")}));
}

TEST_F(Playlists, APlainListCopiesEverySongAndGetsNoHeader)
{
    std::vector<fs::path> media;
    std::string text;
    for (int i = 0; i < 4; ++i) {
        media.push_back(make_media("song" + std::to_string(i) + ".mp3", 1200 + i, 10 + i));
        text += p(media.back()) + "\n";
    }
    ScreenText s = run(text);
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(3).substr(0, 29), "Datei 4 (0.001 MB ) von 4 ( 0");
    std::vector<std::string> want;
    for (const auto& m : media) {
        EXPECT_TRUE(copied(m)) << m;
        want.push_back(copy(m.filename().string()));
    }
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), want);
}

TEST_F(Playlists, CrOnlyLineEndsWithAByteOrderMark)
{
    fs::path a = make_media("a.mp3", 100, 5), b = make_media("b.mp3", 200, 6);
    const std::string bom = "\xEF\xBB\xBF";
    ScreenText s = run(bom + "#EXTM3U\r#EXTINF:1,A\r" + p(a) + "\r#EXTINF:2,B\r" + p(b) + "\r");
    EXPECT_EQ(s.row(12), "Kopy: b.mp3 - Ready");
    EXPECT_TRUE(copied(a));
    EXPECT_TRUE(copied(b));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{bom + "#EXTM3U", "#EXTINF:1,A", copy("a.mp3"), "#EXTINF:2,B", copy("b.mp3")}));
}

TEST_F(Playlists, AStreamBetweenTwoFilesIsKeptAndNothingIsMadeForIt)
{
    fs::path a = make_media("a.mp3", 300, 7), b = make_media("b.mp3", 400, 8);
    const std::string radio = "http://radio.example:8000/live.mp3";
    const std::string last = "rtsp://cam.example/stream";
    ScreenText s = run("#EXTM3U\r\n#EXTINF:1,A\r\n" + p(a) + "\r\n#EXTINF:-1,Radio\r\n" + radio + "\r\n#EXTINF:2,B\r\n" +
                       p(b) + "\r\n" + last + "\r\n");
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(3), "Datei 4 (0 MB ) von 4 ( 0MB ) wir Kopiert");
    EXPECT_EQ(s.row(12), "Stream: " + last + " -");
    EXPECT_EQ(s.row(14), "ready");
    EXPECT_TRUE(copied(a));
    EXPECT_TRUE(copied(b));
    EXPECT_EQ(files_in_dest(), 3u) << "2 copies + playlist";
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), (std::vector<std::string>{"#EXTM3U", "#EXTINF:1,A", copy("a.mp3"),
                                                                        "#EXTINF:-1,Radio", radio, "#EXTINF:2,B",
                                                                        copy("b.mp3"), last}));
}

TEST_F(Playlists, ARelativeEntryWrittenOnWindowsIsFound)
{
    fs::path song = root() / "lists" / "Album" / "01 Song.mp3";
    fs::create_directories(song.parent_path());
    write_file(song, "a song of our own");
    ScreenText s = run("#EXTM3U\r\n#EXTINF:1,Song\r\nAlbum\\01 Song.mp3\r\n");
    EXPECT_EQ(s.row(12), "Kopy: 01 Song.mp3 - Ready");
    EXPECT_TRUE(copied(song));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{"#EXTM3U", "#EXTINF:1,Song", copy("01 Song.mp3")}));
}

} // namespace
} // namespace e2e
