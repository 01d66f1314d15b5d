// Playlists in the shapes that players and tools write: file: URLs, extra
// directives, plain lists, CR-only line ends with a byte-order mark,
// streams, entries written on Windows and names with umlauts; and what
// Windows adds: '/' between levels, UTF-8 names of every script, ANSI names.
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
        return copy_to_ready(list, dest_);
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
    EXPECT_EQ(s.row(13), "ready"); // as after "Exist: ", nothing else ends row 12
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

TEST_F(Playlists, EntriesWithForwardSlashesAreFound)
{
    // Windows takes '/' as it takes a backslash, and some tools write it so.
    fs::path song = root() / "lists" / "Album" / "01 Song.mp3";
    fs::create_directories(song.parent_path());
    write_file(song, "a song of our own");
    fs::path b = make_media("b.mp3", 5000, 9);
    const std::string absolute = target_.drive + b.string(); // Z:/tmp/.../b.mp3 under Wine
    ScreenText s = run("#EXTM3U\r\n#EXTINF:1,Song\r\nAlbum/01 Song.mp3\r\n#EXTINF:2,B\r\n" + absolute + "\r\n");
    EXPECT_EQ(s.row(1), "Vorgang Wird bearbeitet  100 %");
    EXPECT_EQ(s.row(12), "Kopy: b.mp3 - Ready");
    EXPECT_TRUE(copied(song));
    EXPECT_TRUE(copied(b));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{"#EXTM3U", "#EXTINF:1,Song", copy("01 Song.mp3"), "#EXTINF:2,B", copy("b.mp3")}));
}

TEST_F(Playlists, APlaylistArgumentWithForwardSlashes)
{
    fs::path a = make_media("a.mp3", 700, 10);
    fs::path list = root() / "lists" / "slash.m3u";
    fs::create_directories(list.parent_path());
    write_file(list, "#EXTM3U\r\n#EXTINF:1,A\r\na.mp3\r\n");
    fs::copy_file(a, list.parent_path() / "a.mp3");
    start({target_.drive + list.string()});
    expect_screen(k_prompt);
    answer(p(dest_));
    expect_screen("ready", 30s);
    EXPECT_EQ(app().last_screen().row(12), "Kopy: a.mp3 - Ready");
    expect_exit_after_key(0);
    EXPECT_TRUE(copied(a));
    EXPECT_EQ(lines_crlf(dest_ / "slash.m3u"), (std::vector<std::string>{"#EXTM3U", "#EXTINF:1,A", copy("a.mp3")}));
}

TEST_F(Playlists, AUtf8PlaylistWithAMarkCopiesUmlautCyrillicAndJapaneseNames)
{
    const std::string bom = "\xEF\xBB\xBF";
    fs::path cyrillic = make_media("\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE - \xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0.mp3", 2500, 11);
    fs::path japanese = make_media("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\xAD\x8C.mp3", 1800, 12);
    fs::path german = make_media("Mot\xC3\xB6rhead - \xC3\x9C" "berall.mp3", 900, 13);
    ScreenText s = run(bom + "#EXTM3U\r\n#EXTINF:1,\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\r\n" + p(cyrillic) +
                       "\r\n#EXTINF:2,\xE6\x97\xA5\r\n" + p(japanese) + "\r\n#EXTINF:3,Mot\xC3\xB6rhead\r\n" + p(german) +
                       "\r\n");
    // Code page 850: 0x94 is o with diaeresis, 0x9A capital U with diaeresis.
    EXPECT_EQ(s.row(12), "Kopy: Mot\x94rhead - \x9A" "berall.mp3 - Ready");
    EXPECT_TRUE(copied(cyrillic));
    EXPECT_TRUE(copied(japanese));
    EXPECT_TRUE(copied(german));
    EXPECT_EQ(files_in_dest(), 4u);
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"),
              (std::vector<std::string>{bom + "#EXTM3U", "#EXTINF:1,\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE",
                                        copy(cyrillic.filename().string()), "#EXTINF:2,\xE6\x97\xA5",
                                        copy(japanese.filename().string()), "#EXTINF:3,Mot\xC3\xB6rhead",
                                        copy(german.filename().string())}))
        << "the rewritten playlist is UTF-8 as well";
}

TEST_F(Playlists, AnAnsiPlaylistWithUmlautsIsCopiedAndReadable)
{
    // Windows-1252 names; Windows keeps them in the system's own characters,
    // which Wine gives the host in UTF-8. Natively they are the bytes.
    const std::string ansi = "Bj\xF6rk Stra\xDF" "e.mp3";
    const std::string host = under_wine() ? "Bj\xC3\xB6rk Stra\xC3\x9F" "e.mp3" : ansi;
    fs::path song = make_media(host, 1200, 14);
    ScreenText s = run("#EXTM3U\r\n#EXTINF:1,Bj\xF6rk\r\n" + target_.join(p(song.parent_path()), ansi) + "\r\n");
    // Code page 850: 0x94 is o with diaeresis, 0xE1 sharp s.
    EXPECT_EQ(s.row(12), "Kopy: Bj\x94rk Stra\xE1" "e.mp3 - Ready");
    EXPECT_TRUE(copied(song));
    EXPECT_EQ(lines_crlf(dest_ / "list.m3u"), (std::vector<std::string>{"#EXTM3U", "#EXTINF:1,Bj\xF6rk", copy(ansi)}))
        << "the rewritten playlist stays in the ANSI code page";
}

} // namespace
} // namespace e2e
