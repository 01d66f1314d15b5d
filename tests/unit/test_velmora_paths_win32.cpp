// The Windows path rules of the copier: drives, rooted and relative entries,
// '/' as a separator, network playlists, file: URLs, and CREATEDIR on
// drives and on \\server\share.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"
#include "velmora/paths.hpp"
#include "velmora/velmora.hpp"

namespace paths = velmora::paths;
namespace st = screen::testing;
using testsupport::exists;

namespace {

TEST(WindowsPaths, AColonOrTwoBackslashesMakeAPathAbsolute)
{
    EXPECT_TRUE(paths::is_absolute("D:\\Musik\\Neu"));
    EXPECT_TRUE(paths::is_absolute("D:"));
    EXPECT_TRUE(paths::is_absolute("\\\\server\\share\\Musik"));
    EXPECT_FALSE(paths::is_absolute("Musik\\Neu"));
    EXPECT_FALSE(paths::is_absolute("\\Musik")); // CREATEDIR puts the current folder in front
    EXPECT_TRUE(paths::is_absolute("//server/share/Musik"));
    EXPECT_FALSE(paths::is_absolute("/Musik"));
}

TEST(WindowsPaths, EntriesResolveAgainstThePlaylistsFolderUnlessRooted)
{
    const std::string list = "D:\\lists\\x.m3u";
    EXPECT_EQ(paths::resolve_entry(list, "a.mp3"), "D:\\lists\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "Musik\\a.mp3"), "D:\\lists\\Musik\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "E:\\Musik\\a.mp3"), "E:\\Musik\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "\\Musik\\a.mp3"), "\\Musik\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "\\\\server\\share\\a.mp3"), "\\\\server\\share\\a.mp3");
    // Forward slashes, as some tools write them and Windows takes them.
    EXPECT_EQ(paths::resolve_entry(list, "Album/01 Song.mp3"), "D:\\lists\\Album/01 Song.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "Z:/Musik/a.mp3"), "Z:/Musik/a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "/Musik/a.mp3"), "/Musik/a.mp3");
    EXPECT_EQ(paths::resolve_entry("D:/lists/x.m3u", "a.mp3"), "D:/lists\\a.mp3");
}

TEST(WindowsPaths, NamesAreThePartAfterTheLastSeparatorOfEitherKind)
{
    EXPECT_EQ(paths::source_of("D:\\x.m3u", "D:\\Musik\\Alben\\a.mp3", false).name, "a.mp3");
    EXPECT_EQ(paths::source_of("D:\\x.m3u", "Z:/Musik/Alben/b.mp3", false).name, "b.mp3");
    EXPECT_EQ(paths::source_of("D:\\x.m3u", "Album/sub\\c.mp3", false).name, "c.mp3");
    EXPECT_EQ(paths::target_of("E:\\dest", "a.mp3"), "E:\\dest\\a.mp3");
    EXPECT_EQ(paths::list_path("E:\\dest", "\\\\server\\share\\lists\\x.m3u"), "E:\\dest\\x.m3u");
    EXPECT_EQ(paths::list_path("E:\\dest", "Z:/lists/y.m3u"), "E:\\dest\\y.m3u");
    EXPECT_EQ(paths::list_path("E:/dest", "y.m3u"), "E:/dest\\y.m3u");
    EXPECT_EQ(paths::expand_home("~"), "~"); // no home folder shorthand on Windows
}

TEST(WindowsPaths, LevelsSplitAtEitherSeparator)
{
    EXPECT_EQ(paths::levels("D:\\Musik\\Neu"), (std::vector<std::string>{"D:\\Musik", "D:\\Musik\\Neu"}));
    EXPECT_EQ(paths::levels("D:/Musik/Neu/"), (std::vector<std::string>{"D:/Musik", "D:/Musik/Neu", "D:/Musik/Neu/"}));
    EXPECT_EQ(paths::levels("\\\\srv\\share\\Musik"), (std::vector<std::string>{"\\\\srv\\share\\Musik"}));
    EXPECT_EQ(paths::levels("//srv/share"), std::vector<std::string>{});
    EXPECT_EQ(paths::levels("D:"), std::vector<std::string>{});
}

TEST(WindowsPaths, NetworkPlaylistsLendTheirShareToDriveEntries)
{
    const std::string list = "\\\\server\\share\\lists\\x.m3u";
    EXPECT_TRUE(paths::is_network(list));
    EXPECT_FALSE(paths::is_network("\\lists\\x.m3u"));
    EXPECT_EQ(paths::network_entry(list, "D:\\Musik\\a.mp3"), "\\\\server\\share\\Musik\\a.mp3");
    EXPECT_EQ(paths::network_entry("\\\\server\\share\\x.m3u", "C:\\a.mp3"), "\\\\server\\share\\a.mp3");
    EXPECT_TRUE(paths::is_network("//server/share/x.m3u"));
    EXPECT_EQ(paths::network_entry("//server/share/lists/x.m3u", "D:/Musik/a.mp3"), "//server/share/Musik/a.mp3");
    // Only entries with a drive take the share; relative ones stay beside the list.
    EXPECT_EQ(paths::source_of(list, "D:\\Musik\\a.mp3", true).path, "\\\\server\\share\\Musik\\a.mp3");
    EXPECT_EQ(paths::source_of(list, "a.mp3", true).path, "\\\\server\\share\\lists\\a.mp3");
    EXPECT_EQ(paths::source_of(list, "file:///D:/Musik/a%20b.mp3", true).path, "\\\\server\\share\\Musik\\a b.mp3");
}

// CREATEDIR with its printed lines caught. Wine serves \\server\share from
// the prefix's dosdevices\unc folder, so the share can be made here.
class CreateDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        st::reset();
        st::on_print([this](int, int, const std::string& text) { printed += text + "|"; });
        ASSERT_EQ(screen::SCREEN_OPEN(800, 400, 32), 0);
    }
    void TearDown() override
    {
        st::reset();
        std::error_code ec;
        if (!unc_root.empty())
            std::filesystem::remove_all(unc_root, ec);
    }

    // \\velmora-srv\share, or empty outside Wine.
    std::string make_share()
    {
        const char* prefix = std::getenv("WINEPREFIX");
        if (prefix == nullptr || prefix[0] != '/')
            return {};
        std::string root = std::string("Z:") + prefix + "\\dosdevices\\unc\\velmora-srv";
        for (char& c : root)
            if (c == '/')
                c = '\\';
        std::error_code ec;
        std::filesystem::create_directories(root + "\\share", ec);
        if (ec)
            return {};
        unc_root = root;
        return "\\\\velmora-srv\\share";
    }

    std::string printed;
    std::string unc_root;
};

TEST_F(CreateDir, MakesEveryLevelBelowADrive)
{
    testsupport::TempDir d;
    std::string dest = velmora::CREATEDIR(d.file("neu\\tiefer"));
    EXPECT_EQ(printed, "readdy|");
    EXPECT_EQ(dest, d.file("neu\\tiefer")); // absolute: not rewritten
    EXPECT_TRUE(std::filesystem::is_directory(dest));
    EXPECT_FALSE(exists(d.file("neu\\diesisteintest.tttu")));
    EXPECT_FALSE(exists(dest + "\\diesisteintest.tttu"));
}

TEST_F(CreateDir, MakesLevelsSeparatedBySlashes)
{
    testsupport::TempDir d;
    velmora::CREATEDIR(d.path() + "/neu/tiefer");
    EXPECT_EQ(printed, "readdy|");
    EXPECT_TRUE(std::filesystem::is_directory(d.file("neu\\tiefer")));
    EXPECT_FALSE(exists(d.file("neu\\diesisteintest.tttu")));
}

TEST_F(CreateDir, TakesAShareAsTheExistingRoot)
{
    std::string share = make_share();
    if (share.empty())
        GTEST_SKIP() << "no network share to write to outside Wine";
    std::string dest = velmora::CREATEDIR(share + "\\Musik\\Neu");
    EXPECT_EQ(printed, "readdy|"); // no " err 1": the share is not relative
    EXPECT_EQ(dest, share + "\\Musik\\Neu");
    EXPECT_TRUE(std::filesystem::is_directory(unc_root + "\\share\\Musik\\Neu"));
    EXPECT_FALSE(exists(share + "\\Musik\\diesisteintest.tttu"));

    printed.clear();
    velmora::CREATEDIR(share); // the share alone: only its probe
    EXPECT_EQ(printed, "readdy|");
    EXPECT_FALSE(exists(share + "\\diesisteintest.tttu"));
}

TEST_F(CreateDir, AMissingShareIsARuntimeError)
{
    auto r = testsupport::run_child([] {
        velmora::CREATEDIR("\\\\velmora-nowhere\\share\\Musik");
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("(file not found) at line "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" of velmora::CREATEDIR()\r\n\r\n"), std::string::npos) << r.err;
}

TEST(WindowsNames, NamesDifferingInCaseOnlyAreOneNameAndOddNamesAreSafeAtOnce)
{
    EXPECT_EQ(paths::name_key("Song.mp3"), paths::name_key("sONG.MP3"));
    EXPECT_EQ(paths::name_key("\xc4rger.mp3"), paths::name_key("\xe4rger.mp3")); // Ä, ä in 1252
    EXPECT_NE(paths::name_key("a.mp3"), paths::name_key("b.mp3"));
    EXPECT_TRUE(paths::refused_by_system("CON.mp3"));
    EXPECT_TRUE(paths::refused_by_system("Wer."));
    EXPECT_FALSE(paths::refused_by_system("\xe4rger.mp3"));
    EXPECT_FALSE(paths::may_be_refused("Wer?.mp3"));

    testsupport::TempDir d;
    paths::Names names;
    auto look = [&](const std::string& n) { return paths::held_at(d.path(), n, 1); };
    EXPECT_EQ(names.choose("Song.mp3", "a", look).name, "Song.mp3");
    EXPECT_EQ(names.choose("song.mp3", "b", look).name, "song (2).mp3");
    EXPECT_EQ(names.choose("Wer?.mp3", "c", look).name, "Wer_.mp3");
    EXPECT_EQ(names.choose("aux.mp3", "d", look).name, "aux_.mp3");
}

} // namespace
