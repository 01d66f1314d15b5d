// The POSIX path rules of the copier: entries written on Windows, `~` in
// the destination, and the levels CREATEDIR walks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "screen/testing.hpp"
#include "support/support.hpp"
#include "velmora/paths.hpp"
#include "velmora/velmora.hpp"

namespace fs = std::filesystem;
namespace paths = velmora::paths;
using testsupport::read_file;
using testsupport::write_file;

namespace {

TEST(PosixPaths, EntriesWrittenOnWindowsAreTriedWithSlashes)
{
    testsupport::TempDir d;
    fs::create_directories(d.file("lists/Album"));
    write_file(d.file("lists/Album/01 Song.mp3"), "S");
    write_file(d.file("lists/odd\\name.mp3"), "O"); // a POSIX name may hold a backslash
    const std::string list = d.file("lists/x.m3u");

    paths::Source s = paths::source_of(list, "Album\\01 Song.mp3", false);
    EXPECT_EQ(s.path, d.file("lists/Album/01 Song.mp3"));
    EXPECT_EQ(s.name, "01 Song.mp3");
    EXPECT_FALSE(s.stream);

    s = paths::source_of(list, "odd\\name.mp3", false); // found as written: taken as written
    EXPECT_EQ(s.path, d.file("lists/odd\\name.mp3"));
    EXPECT_EQ(s.name, "odd\\name.mp3");

    s = paths::source_of(list, "Album\\missing.mp3", false); // missing either way: reported where it was looked for
    EXPECT_EQ(s.path, d.file("lists/Album/missing.mp3"));
    EXPECT_EQ(s.name, "missing.mp3");

    s = paths::source_of(list, "D:\\Album\\01 Song.mp3", false); // another machine's drive is not here
    EXPECT_EQ(s.path, d.file("lists/D:\\Album\\01 Song.mp3"));
    EXPECT_EQ(s.name, "01 Song.mp3");

    s = paths::source_of(list, "/abs/a.mp3", true); // no shares on POSIX
    EXPECT_EQ(s.path, "/abs/a.mp3");
    EXPECT_EQ(paths::source_of("x.m3u", "a.mp3", false).path, "a.mp3"); // a list in the current folder
}

TEST(PosixPaths, TildeMeansTheHomeFolder)
{
    const char* old = std::getenv("HOME");
    std::string saved = old ? old : "";
    setenv("HOME", "/home/anna", 1);
    EXPECT_EQ(paths::expand_home("~"), "/home/anna");
    EXPECT_EQ(paths::expand_home("~/Musik/Stick"), "/home/anna/Musik/Stick");
    EXPECT_EQ(paths::expand_home("~anna/Musik"), "~anna/Musik");
    EXPECT_EQ(paths::expand_home("/media/~/x"), "/media/~/x");
    EXPECT_EQ(paths::expand_home(" ~/x"), " ~/x");
    unsetenv("HOME");
    EXPECT_EQ(paths::expand_home("~/x"), "~/x"); // no home to go to: left as typed
    if (old)
        setenv("HOME", saved.c_str(), 1);
}

TEST(PosixPaths, CreatedirWalksEveryLevelBelowTheRoot)
{
    EXPECT_EQ(paths::levels("/a/b"), (std::vector<std::string>{"/a", "/a/b"}));
    EXPECT_EQ(paths::levels("/a/b/"), (std::vector<std::string>{"/a", "/a/b", "/a/b/"}));
    EXPECT_EQ(paths::levels("/a//b"), (std::vector<std::string>{"/a", "/a/", "/a//b"}));
    EXPECT_EQ(paths::list_path("/dest", "/lists/x.m3u"), "/dest/x.m3u");
    EXPECT_EQ(paths::list_path("/dest", "x.m3u"), "/dest/x.m3u");
    EXPECT_EQ(paths::probe_of("/dest/"), "/dest//diesisteintest.tttu");
}

TEST(PosixPaths, ATildeDestinationLandsInTheHomeFolder)
{
    testsupport::TempDir d;
    fs::create_directories(d.file("home/stick"));
    fs::create_directories(d.file("music"));
    write_file(d.file("music/a.mp3"), "AAAA");
    write_file(d.file("music/list.m3u"), "#EXTM3U\r\n#EXTINF:1,A\r\na.mp3\r\n");
    auto r = testsupport::run_child([&] {
        setenv("HOME", d.file("home").c_str(), 1);
        screen::testing::reset();
        screen::headless::type("~/stick\rx");
        _exit(velmora::MAIN(d.file("music/list.m3u")));
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(d.file("home/stick/a.mp3")), "AAAA");
    EXPECT_EQ(read_file(d.file("home/stick/list.m3u")), "#EXTM3U\r\n#EXTINF:1,A\r\n" + d.file("home/stick/a.mp3") + "\r\n");
    EXPECT_FALSE(fs::exists(d.file("music/~")));
}

TEST(PosixNames, CutsKeepUtf8CharactersWholeAndOnlyOddNamesAreTriedFirst)
{
    std::string ae = "\xc3\xa4"; // two bytes
    std::string long_name;
    for (int i = 0; i < 130; ++i)
        long_name += ae;
    // 251 bytes of room for the stem: 125 whole characters, not 125 and a half.
    std::string cut = paths::safe_name(long_name + ".mp3");
    EXPECT_EQ(cut.size(), 254u);
    EXPECT_EQ(cut.substr(250), ".mp3");
    EXPECT_EQ(paths::numbered(cut, 2).size(), 254u); // room for " (2)": two characters go
    EXPECT_EQ(paths::ascii_name(ae + "rger " + ae + ".mp3"), "_rger _.mp3");
    EXPECT_EQ(paths::ascii_name("\xa4\xa4x.mp3"), "__x.mp3"); // stray bytes, one each

    EXPECT_FALSE(paths::may_be_refused("01 Intro.mp3"));
    EXPECT_TRUE(paths::may_be_refused("Was ist los?.mp3"));
    EXPECT_TRUE(paths::may_be_refused("CON.mp3"));
    EXPECT_TRUE(paths::may_be_refused(ae + "rger.mp3"));
    EXPECT_FALSE(paths::refused_by_system("CON.mp3"));
}

TEST(PosixNames, CaseIsToldApartAndALinkToNothingIsTaken)
{
    testsupport::TempDir d;
    paths::Names names;
    auto look = [&](const std::string& n) { return paths::held_at(d.path(), n, 1); };
    EXPECT_EQ(names.choose("Song.mp3", "a", look).name, "Song.mp3");
    EXPECT_EQ(names.choose("song.mp3", "b", look).name, "song.mp3");
    fs::create_symlink(d.file("nowhere"), d.file("x.mp3"));
    EXPECT_EQ(paths::held_at(d.path(), "x.mp3", 1), paths::Held::taken);
    EXPECT_EQ(names.choose("x.mp3", "c", look).name, "x (2).mp3");
    write_file(d.file("list.m3u"), "");
    EXPECT_FALSE(paths::case_blind(d.file("list.m3u")));
    write_file(d.file("LIST.M3U"), "");
    EXPECT_TRUE(paths::case_blind(d.file("list.m3u"))); // as a FAT stick answers
    // A name tried before its copy leaves nothing behind.
    EXPECT_EQ(paths::held_at(d.path(), "Wer?.mp3", 1), paths::Held::free);
    EXPECT_FALSE(fs::exists(d.file("Wer?.mp3")));
}

} // namespace
