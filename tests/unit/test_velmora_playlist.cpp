// Playlists read by content: headers, directives, blank lines, plain lists,
// URLs and streams, each through the reader and through a whole run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/fs.hpp"
#include "rt/files.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"
#include "velmora/paths.hpp"
#include "velmora/playlist.hpp"
#include "velmora/velmora.hpp"

namespace fs = std::filesystem;
namespace st = screen::testing;
namespace paths = velmora::paths;
using testsupport::exists;
using testsupport::read_file;
using testsupport::write_file;

namespace {

// The rewritten playlist that the reader and writer make of a text, with
// every path replaced by "<" + path + ">".
std::string rewrite(const std::string& text)
{
    testsupport::TempDir d;
    write_file(d.file("in.m3u"), text);
    int in = rt::free_file();
    rt::open_text_input(in, d.file("in.m3u"));
    int out = rt::free_file();
    rt::open_text_output(out, d.file("out.m3u"));
    velmora::playlist::Reader reader = velmora::playlist::open(in);
    velmora::playlist::Writer writer = velmora::playlist::start(out, reader);
    velmora::playlist::Entry entry;
    while (velmora::playlist::next(reader, entry))
        velmora::playlist::write_entry(writer, entry.directives, "<" + entry.path + ">");
    velmora::playlist::finish(writer, reader);
    rt::close(in);
    rt::close(out);
    return read_file(d.file("out.m3u"));
}

TEST(Reader, AStrictlyPairedListRewritesLineForLine)
{
    EXPECT_EQ(rewrite("#EXTM3U\r\n#EXTINF:1,A\r\na.mp3\r\n#EXTINF:2,B\r\nb.mp3\r\n"),
              "#EXTM3U\r\n#EXTINF:1,A\r\n<a.mp3>\r\n#EXTINF:2,B\r\n<b.mp3>\r\n");
    EXPECT_EQ(rewrite("#EXTM3U\r\n"), "#EXTM3U\r\n");
    EXPECT_EQ(rewrite("#EXTM3U"), "#EXTM3U\r\n");
    // The header's own text after the tag stays, mark included.
    EXPECT_EQ(rewrite("\xEF\xBB\xBF#EXTM3U tvg-shift=0\n#EXTINF:1,A\na.mp3\n"),
              "\xEF\xBB\xBF#EXTM3U tvg-shift=0\r\n#EXTINF:1,A\r\n<a.mp3>\r\n");
}

TEST(Reader, DirectivesBelongToTheNextPathAndKeepTheirOrder)
{
    EXPECT_EQ(rewrite("#EXTM3U\n#PLAYLIST:Mix\n#EXTINF:215,Bj\xC3\xB6rk - J\xC3\xB3ga\n#EXTALB:Homogenic\n"
                      "#EXTVLCOPT:start-time=5\nJoga.mp3\n#EXTGENRE:Pop\n#EXTINF:1,B\nb.mp3\n# end of list\n#EXTIMG:x.jpg\n"),
              "#EXTM3U\r\n#PLAYLIST:Mix\r\n#EXTINF:215,Bj\xC3\xB6rk - J\xC3\xB3ga\r\n#EXTALB:Homogenic\r\n"
              "#EXTVLCOPT:start-time=5\r\n<Joga.mp3>\r\n#EXTGENRE:Pop\r\n#EXTINF:1,B\r\n<b.mp3>\r\n# end of list\r\n#EXTIMG:x.jpg\r\n");
    // Entries without information lines, and blank lines anywhere.
    EXPECT_EQ(rewrite("#EXTM3U\n\n  \na.mp3\n\t\nb.mp3\n#EXTINF:3,C\n\nc.mp3\n\n\n"),
              "#EXTM3U\r\n<a.mp3>\r\n<b.mp3>\r\n#EXTINF:3,C\r\n<c.mp3>\r\n");
}

TEST(Reader, APlainListHasNoHeaderInAndNoneOut)
{
    EXPECT_EQ(rewrite("a.mp3\nb.mp3\nc.mp3\nd.mp3\n"), "<a.mp3>\r\n<b.mp3>\r\n<c.mp3>\r\n<d.mp3>\r\n");
    EXPECT_EQ(rewrite(""), "");
    EXPECT_EQ(rewrite("\r\n\r\n"), "");
    // A lower-case tag is no header, but a directive written where it stood.
    EXPECT_EQ(rewrite("#extm3u\na.mp3\n"), "#extm3u\r\n<a.mp3>\r\n");
    // A mark without a header goes before the first line written.
    EXPECT_EQ(rewrite("\xEF\xBB\xBF" "a.mp3\rb.mp3\r"), "\xEF\xBB\xBF<a.mp3>\r\n<b.mp3>\r\n");
    EXPECT_EQ(rewrite("\xEF\xBB\xBF#EXTINF:1,A\ra.mp3"), "\xEF\xBB\xBF#EXTINF:1,A\r\n<a.mp3>\r\n");
}

// Whether a playlist's paths are UTF-8, from its bytes alone.
bool utf8_list(const std::string& bytes)
{
    testsupport::TempDir d;
    write_file(d.file("l.m3u"), bytes);
    return velmora::playlist::holds_utf8(d.file("l.m3u"));
}

TEST(Encoding, ValidUtf8ThatIsNotPlainAsciiHoldsUtf8Paths)
{
    EXPECT_TRUE(utf8_list("#EXTM3U\r\nBj\xC3\xB6rk.mp3\r\n"));
    EXPECT_TRUE(utf8_list("\xEF\xBB\xBF#EXTM3U\r\na.mp3\r\n")) << "a mark alone says UTF-8";
    EXPECT_TRUE(utf8_list("\xE6\x97\xA5.mp3\n\xF0\x9F\x8E\xB5.mp3\n\xD0\x9A.mp3"));
    EXPECT_FALSE(utf8_list("#EXTM3U\r\na.mp3\r\n")) << "plain ASCII stays as it always was";
    EXPECT_FALSE(utf8_list(""));
    EXPECT_FALSE(utf8_list("Bj\xF6rk Stra\xDF" "e.mp3\r\n")) << "Windows-1252";
    EXPECT_FALSE(utf8_list("Bj\xC3\xB6rk\nM\xFCller\n")) << "one ANSI byte among UTF-8";
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                            "a\xC3", "\xE6\x97", "\x80", "\xC3\xC3\xB6"})
        EXPECT_FALSE(utf8_list(std::string("x.mp3\n") + bad)) << "not well-formed: " << bad;
    testsupport::TempDir d;
    EXPECT_FALSE(velmora::playlist::holds_utf8(d.file("missing.m3u")));

    // Read in pieces: a character across a piece's end is whole, and a bad
    // byte far into a large list still counts.
    std::string big(65535, 'a');
    EXPECT_TRUE(utf8_list(big + "\xE6\x97\xA5" + big));
    EXPECT_FALSE(utf8_list(big + "\xC3\xB6" + big + big + "\xFC"));
}

TEST(Urls, PercentEscapesDecodeAndMalformedOnesStay)
{
    EXPECT_EQ(paths::percent_decode("Bj%C3%B6rk%20-%20J%c3%b3ga.mp3"), "Bj\xC3\xB6rk - J\xC3\xB3ga.mp3");
    EXPECT_EQ(paths::percent_decode("100%"), "100%");
    EXPECT_EQ(paths::percent_decode("a%2"), "a%2");
    EXPECT_EQ(paths::percent_decode("%G1%1G%%41"), "%G1%1G%A");
    EXPECT_EQ(paths::percent_decode("a%00b"), "a%00b"); // no path holds a NUL
    EXPECT_EQ(paths::percent_decode("%252F"), "%2F");   // decoded once only
}

TEST(Urls, StreamsAreOtherSchemesBeforeTwoSlashes)
{
    for (const char* s : {"http://radio.example/live", "HTTPS://x", "rtsp://cam/1", "mms://a", "icy+x.1-2://s"})
        EXPECT_TRUE(paths::is_stream(s)) << s;
    for (const char* s : {"file:///a.mp3", "C://a.mp3", "C:\\a.mp3", "http:/x", "http//x", "1http://x", "a.mp3",
                          "://x", "Musik/http://x"})
        EXPECT_FALSE(paths::is_stream(s)) << s;
}

TEST(Urls, FileUrlsOfEveryFormNameALocalPath)
{
    EXPECT_FALSE(paths::file_url_path("a.mp3"));
    EXPECT_FALSE(paths::file_url_path("file:a.mp3"));
    EXPECT_FALSE(paths::file_url_path("files/a.mp3"));
#ifdef _WIN32
    EXPECT_EQ(*paths::file_url_path("file:///C:/Musik/a%20b.mp3"), "C:\\Musik\\a b.mp3");
    EXPECT_EQ(*paths::file_url_path("FILE://localhost/C:/Musik/a.mp3"), "C:\\Musik\\a.mp3");
    EXPECT_EQ(*paths::file_url_path("file://server/share/a.mp3"), "\\\\server\\share\\a.mp3");
#else
    EXPECT_EQ(*paths::file_url_path("file:///home/anna/Bj%C3%B6rk.mp3"), "/home/anna/Bj\xC3\xB6rk.mp3");
    EXPECT_EQ(*paths::file_url_path("file://localhost/home/a.mp3"), "/home/a.mp3");
    EXPECT_EQ(*paths::file_url_path("File:/home/a.mp3"), "/home/a.mp3");
    EXPECT_EQ(*paths::file_url_path("file:///a%2Fb.mp3"), "/a/b.mp3");
#endif
}

// Files named in UTF-8, through the wide-character names on Windows.
fs::path utf8_path(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string read_utf8_named(const std::string& path)
{
    std::ifstream in(utf8_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whole runs over the headless screen, with the screen's prints caught.
class Shapes : public ::testing::Test {
protected:
    void SetUp() override
    {
        st::reset();
        st::on_print([this](int row, int, const std::string& text) {
            for (const char* head : {"Kopy: ", "Exist: ", "Stream: ", "File - "})
                if (row == 12 && text.rfind(head, 0) == 0)
                    row12.push_back(text);
            printed += text + "|";
        });
        fs::create_directories(dir.file("music/Album"));
        fs::create_directories(dir.file("dest"));
        write_file(dir.file("music/a.mp3"), "AAAA");
        write_file(dir.file("music/b.mp3"), "BBBBBB");
        write_file(dir.file("music/Album/01 Song.mp3"), "SONG");
    }
    void TearDown() override
    {
        st::reset();
        platform::set_path_utf8(false);
    }

    int run(const std::string& text)
    {
        write_file(dir.file("music/list.m3u"), text);
        screen::headless::type(dest() + "\rx");
        return velmora::MAIN(dir.file("music/list.m3u"));
    }
    std::string dest() const { return dir.file("dest"); }
    std::string copy(const std::string& name) const { return dir.file("dest/" + name); }
    std::string rewritten() const { return read_file(dir.file("dest/list.m3u")); }

    testsupport::TempDir dir;
    std::vector<std::string> row12;
    std::string printed;
};

TEST_F(Shapes, APlainListCopiesEverySong)
{
    EXPECT_EQ(run("a.mp3\nb.mp3\nAlbum/01 Song.mp3\n"), 0);
    EXPECT_EQ(read_file(copy("a.mp3")), "AAAA");
    EXPECT_EQ(read_file(copy("b.mp3")), "BBBBBB");
    EXPECT_EQ(read_file(copy("01 Song.mp3")), "SONG");
    EXPECT_EQ(rewritten(), copy("a.mp3") + "\r\n" + copy("b.mp3") + "\r\n" + copy("01 Song.mp3") + "\r\n");
    EXPECT_NE(printed.find("Datei 3 (3.814 MB ) von 3 ("), std::string::npos) << printed;
}

TEST_F(Shapes, AStreamIsListedButNothingIsOpenedOrMade)
{
    const std::string url = "http://radio.example:8000/live?x=1";
    EXPECT_EQ(run("#EXTM3U\r\n#EXTINF:1,A\r\na.mp3\r\n#EXTINF:-1,Radio\r\n" + url + "\r\nb.mp3\r\n"), 0);
    EXPECT_EQ(rewritten(), "#EXTM3U\r\n#EXTINF:1,A\r\n" + copy("a.mp3") + "\r\n#EXTINF:-1,Radio\r\n" + url + "\r\n" +
                               copy("b.mp3") + "\r\n");
    EXPECT_NE(printed.find("|Stream: " + url + " - |"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Datei 2 (0 MB ) von 3 ("), std::string::npos) << printed; // it counts as an entry
    EXPECT_EQ(read_file(copy("b.mp3")), "BBBBBB");
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 7u) << "4 sources, the list, 2 copies";
}

TEST_F(Shapes, FileUrlsAreDecodedAndTheirCopiesNamedPlainly)
{
#ifdef _WIN32
    GTEST_SKIP() << "file URLs of Windows paths are tested through paths";
#endif
    std::string umlaut = "Bj\xC3\xB6rk - J\xC3\xB3ga.mp3";
    write_file(dir.file("music/" + umlaut), "JOGA");
    std::string url = "file://" + dir.file("music/") + "Bj%C3%B6rk%20-%20J%C3%B3ga.mp3";
    std::string local = "file://localhost" + dir.file("music/a.mp3");
    EXPECT_EQ(run("#EXTM3U\n#EXTINF:1,J\n" + url + "\n" + local + "\n"), 0);
    EXPECT_EQ(read_file(copy(umlaut)), "JOGA");
    EXPECT_EQ(read_file(copy("a.mp3")), "AAAA");
    EXPECT_EQ(rewritten(), "#EXTM3U\r\n#EXTINF:1,J\r\n" + copy(umlaut) + "\r\n" + copy("a.mp3") + "\r\n");
    EXPECT_NE(printed.find("Datei 2 (3.814 MB ) von 2 ("), std::string::npos) << printed;
}

TEST_F(Shapes, TrailingDirectivesAreWrittenAtTheEnd)
{
    EXPECT_EQ(run("#EXTM3U\n#EXTINF:1,A\na.mp3\n#EXT-X-ENDLIST\n"), 0);
    EXPECT_EQ(rewritten(), "#EXTM3U\r\n#EXTINF:1,A\r\n" + copy("a.mp3") + "\r\n#EXT-X-ENDLIST\r\n");
}

TEST_F(Shapes, AWindowsMadeRelativeEntryIsFound)
{
    EXPECT_EQ(run("#EXTM3U\r\n#EXTINF:1,S\r\nAlbum\\01 Song.mp3\r\n"), 0);
    EXPECT_EQ(read_file(copy("01 Song.mp3")), "SONG");
    EXPECT_EQ(rewritten(), "#EXTM3U\r\n#EXTINF:1,S\r\n" + copy("01 Song.mp3") + "\r\n");
    EXPECT_NE(printed.find("|Kopy: 01 Song.mp3 - |"), std::string::npos) << printed;
}

TEST_F(Shapes, NamesAreShownAsGlyphsAndTheirControlBytesAreNeverActedOn)
{
    // Code page 850: 0x94 is o with diaeresis, 0x81 u with diaeresis.
    std::string bell = "Mot\xC3\xB6rhead\a\x1b[2J.mp3";
    std::string wide, wide_glyphs; // 90 characters in more than 90 bytes
    for (int i = 0; i < 90; ++i) {
        wide += i % 10 == 0 ? "\xC3\xBC" : "x";
        wide_glyphs += i % 10 == 0 ? '\x81' : 'x';
    }
#ifdef _WIN32
    // Windows holds no control characters in a name: that entry is missing,
    // and its report shows the same glyphs without acting on them.
    const bool holds_controls = false;
#else
    const bool holds_controls = true;
#endif
    if (holds_controls)
        std::ofstream(utf8_path(dir.file("music/") + bell), std::ios::binary) << "M";
    std::ofstream(utf8_path(dir.file("music/") + wide), std::ios::binary) << "W";
    EXPECT_EQ(run("#EXTM3U\n" + bell + "\n" + wide + "\nGr\xC3\xBC\xC3\x9F.mp3\n"), 0);
    EXPECT_EQ(screen::headless::beeps(), 0);
    if (holds_controls) {
        EXPECT_EQ(read_utf8_named(copy(bell)), "M");
    }
    EXPECT_EQ(read_utf8_named(copy(wide)), "W");
    std::vector<std::string> want = {"Kopy: Mot\x94rhead\a\x1b[2J.mp3 - "};
    if (!holds_controls)
        want.push_back("File - " + dir.file("music/") + "Mot\x94rhead\a\x1b[2J.mp3 - not exists");
    want.push_back("Kopy: " + wide_glyphs + " - ");
    want.push_back("Kopy: Gr\x81\xE1.mp3 - ");
    want.push_back("File - " + dir.file("music/Gr\x81\xE1.mp3") + " - not exists");
    EXPECT_EQ(row12, want) << printed;
}

TEST_F(Shapes, AUtf8PlaylistCopiesNamesOfEveryScriptAndStaysUtf8)
{
    const std::string cyrillic = "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE - \xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0.mp3";
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.mp3";
    const std::string german = "Mot\xC3\xB6rhead.mp3";
    for (const auto& name : {cyrillic, japanese, german})
        std::ofstream(utf8_path(dir.file("music/") + name), std::ios::binary) << "song " << name;
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_EQ(run(bom + "#EXTM3U\r\n#EXTINF:1,\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\r\n" + cyrillic + "\r\n" + japanese +
                  "\r\n" + german + "\r\n"),
              0);
    for (const auto& name : {cyrillic, japanese, german})
        EXPECT_EQ(read_utf8_named(copy(name)), "song " + name) << name;
    EXPECT_EQ(rewritten(), bom + "#EXTM3U\r\n#EXTINF:1,\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\r\n" + copy(cyrillic) + "\r\n" +
                               copy(japanese) + "\r\n" + copy(german) + "\r\n");
    // Characters code page 850 lacks are '?', one cell each; 0x94 is o umlaut.
    EXPECT_EQ(row12, (std::vector<std::string>{"Kopy: ???? - ??????.mp3 - ", "Kopy: ???.mp3 - ",
                                               "Kopy: Mot\x94rhead.mp3 - "}));
}

} // namespace
