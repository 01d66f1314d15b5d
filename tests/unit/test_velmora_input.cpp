// Playlists that try to break the copier: odd line ends, byte-order marks,
// NUL bytes, huge lines, long and non-UTF-8 names, names that are folders.
// Each run ends with a defined result and writes nothing outside the destination.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>

#include "screen/testing.hpp"
#include "support/support.hpp"
#include "velmora/velmora.hpp"

namespace fs = std::filesystem;
using testsupport::exists;
using testsupport::read_file;
using testsupport::write_file;

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir.file("music/sub"));
        fs::create_directories(dir.file("dest"));
        write_file(dir.file("music/a.mp3"), "AAAA");
        write_file(dir.file("music/b.mp3"), "BBBBBB");
    }

    // Runs MAIN on the playlist text in a child that cannot hang for long;
    // returns what it printed on screen, one text per print.
    testsupport::ChildResult run(const std::string& playlist_text, const std::string& list_name = "list.m3u")
    {
        write_file(dir.file("music/" + list_name), playlist_text);
        before = tree();
        return testsupport::run_child([&] {
#ifndef _WIN32
            alarm(60); // run_child's own time limit does this on Windows
#endif
            screen::testing::reset();
            screen::testing::on_print([](int, int, const std::string& t) {
                std::fwrite(t.data(), 1, t.size(), stdout);
                std::fputc('|', stdout);
            });
            screen::headless::type(dir.file("dest") + "\rx");
            int status = velmora::MAIN(dir.file("music/" + list_name));
            std::fflush(stdout);
            _exit(status);
        });
    }

    // Everything outside dest/, to prove nothing was written there.
    std::set<std::string> tree()
    {
        std::set<std::string> out;
        for (auto& e : fs::recursive_directory_iterator(dir.path()))
            if (e.path().string().rfind(dir.file("dest"), 0) != 0)
                out.insert(e.path().string() + ":" + (e.is_regular_file() ? std::to_string(e.file_size()) : "d"));
        return out;
    }

    void expect_nothing_outside() { EXPECT_EQ(tree(), before); }

    testsupport::TempDir dir;
    std::set<std::string> before;
};

TEST_F(Input, LoneCrLoneLfAndMixedLineEnds)
{
    for (const char* text : {"#EXTM3U\r#i\ra.mp3\r#i\rb.mp3\r", "#EXTM3U\n#i\na.mp3\n#i\nb.mp3",
                             "#EXTM3U\r\n#i\ra.mp3\n#i\r\nb.mp3\n"}) {
        fs::remove_all(dir.file("dest"));
        fs::create_directory(dir.file("dest"));
        auto r = run(text);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_file(dir.file("dest/a.mp3")), "AAAA");
        EXPECT_EQ(read_file(dir.file("dest/b.mp3")), "BBBBBB");
        EXPECT_EQ(read_file(dir.file("dest/list.m3u")),
                  "#EXTM3U\r\n#i\r\n" + dir.file("dest/a.mp3") + "\r\n#i\r\n" + dir.file("dest/b.mp3") + "\r\n");
    }
    expect_nothing_outside();
}

TEST_F(Input, AByteOrderMarkOnTheHeaderIsKept)
{
    auto r = run("\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,a\r\na.mp3\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("dest/list.m3u")).rfind("\xEF\xBB\xBF#EXTM3U\r\n", 0), 0u);
    EXPECT_EQ(read_file(dir.file("dest/a.mp3")), "AAAA");
}

TEST_F(Input, NulBytesInAPathMeanNoSource)
{
    auto r = run(std::string("#EXTM3U\r\n#i\r\na.mp3\0/../../b.mp3\r\n", 32));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" - not exists|"), std::string::npos);
    EXPECT_EQ(fs::directory_iterator(dir.file("dest"))->path().filename(), "list.m3u");
    expect_nothing_outside();
}

TEST_F(Input, HugeLinesAreCarriedOrReported)
{
    std::string info = "#" + std::string(1 << 20, 'i');
    std::string path(1 << 20, 'p');
    auto r = run("#EXTM3U\r\n" + info + "\r\na.mp3\r\n#i\r\n" + path + "\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("dest/a.mp3")), "AAAA");
    EXPECT_NE(r.out.find(" - not exists|"), std::string::npos);
    EXPECT_NE(read_file(dir.file("dest/list.m3u")).find(info), std::string::npos);
    EXPECT_NE(r.out.find("Kopy: " + std::string(90, 'p') + "...  - |"), std::string::npos);
    expect_nothing_outside();
}

TEST_F(Input, LongAndNonUtf8NamesAreCopied)
{
    std::string long_name(255, 'n');
    std::string latin1 = "Gr\xF6\xDF" "e \xE4.mp3"; // not UTF-8
    write_file(dir.file("music/" + long_name), "L");
    write_file(dir.file("music/" + latin1), "G");
    auto r = run("#EXTM3U\r\n#i\r\n" + long_name + "\r\n#i\r\n" + latin1 + "\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("dest/" + long_name)), "L");
    EXPECT_EQ(read_file(dir.file("dest/" + latin1)), "G");
    for (auto& e : fs::directory_iterator(dir.file("dest")))
        EXPECT_EQ(e.path().filename().string().rfind(".velmora-", 0), std::string::npos);
}

TEST_F(Input, FolderNamesAndDotsCopyNothingAnywhere)
{
    auto r = run("#EXTM3U\r\n#i\r\nsub/\r\n#i\r\nsub/..\r\n#i\r\n.\r\n#i\r\n..\r\n#i\r\n" + dir.file("music") + "\r\n#i\r\nb.mp3\r\n");
    EXPECT_EQ(r.status, 0);
    size_t reports = 0;
    for (size_t at = r.out.find(" - not exists|"); at != std::string::npos; at = r.out.find(" - not exists|", at + 1))
        ++reports;
    EXPECT_EQ(reports, 5u);
    EXPECT_EQ(read_file(dir.file("dest/b.mp3")), "BBBBBB");
    expect_nothing_outside();
}

TEST_F(Input, AbsoluteEntriesAndAPlaylistWithoutEntries)
{
    auto r = run("#EXTM3U\r\n#i\r\n" + dir.file("music/a.mp3") + "\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("dest/a.mp3")), "AAAA");
    r = run("", "empty.m3u");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.file("dest/empty.m3u")), ""); // no header in, none out
}

TEST_F(Input, ManyEntriesRunThrough)
{
    std::string text = "#EXTM3U\r\n";
    for (int i = 0; i < 3000; ++i)
        text += "#i\r\nmissing" + std::to_string(i) + ".mp3\r\n#i\r\na.mp3\r\n";
    auto r = run(text);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Vorgang Wird bearbeitet  100 %|"), std::string::npos);
    EXPECT_NE(r.out.find("Datei 6000 (3.814 MB ) von 6000 ("), std::string::npos); // 4 bytes: 3.814697265625e-06
    EXPECT_NE(r.out.find("|ready|"), std::string::npos);
}

} // namespace
