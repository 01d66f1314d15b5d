// The Windows path rules of the copier: drives, rooted and relative entries,
// network playlists, and CREATEDIR on drives and on \\server\share.
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
}

TEST(WindowsPaths, EntriesResolveAgainstThePlaylistsFolderUnlessRooted)
{
    const std::string list = "D:\\lists\\x.m3u";
    EXPECT_EQ(paths::resolve_entry(list, "a.mp3"), "D:\\lists\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "Musik\\a.mp3"), "D:\\lists\\Musik\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "E:\\Musik\\a.mp3"), "E:\\Musik\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "\\Musik\\a.mp3"), "\\Musik\\a.mp3");
    EXPECT_EQ(paths::resolve_entry(list, "\\\\server\\share\\a.mp3"), "\\\\server\\share\\a.mp3");
}

TEST(WindowsPaths, TargetsAndListNamesTakeThePartAfterTheLastBackslash)
{
    EXPECT_EQ(paths::target_of("E:\\dest", "D:\\Musik\\Alben\\a.mp3"), "E:\\dest\\a.mp3");
    EXPECT_EQ(paths::tail_from_last_sep("\\\\server\\share\\lists\\x.m3u"), "\\x.m3u");
    EXPECT_EQ(paths::file_name("D:/Musik/a.mp3"), "D:/Musik/a.mp3"); // the separator is the backslash
}

TEST(WindowsPaths, NetworkPlaylistsLendTheirShareToDriveEntries)
{
    const std::string list = "\\\\server\\share\\lists\\x.m3u";
    EXPECT_TRUE(paths::is_network(list));
    EXPECT_FALSE(paths::is_network("\\lists\\x.m3u"));
    EXPECT_EQ(paths::network_entry(list, "D:\\Musik\\a.mp3"), "\\\\server\\share\\Musik\\a.mp3");
    EXPECT_EQ(paths::network_entry("\\\\server\\share\\x.m3u", "C:\\a.mp3"), "\\\\server\\share\\a.mp3");
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
    std::string dest = d.file("neu\\tiefer");
    velmora::CREATEDIR(dest);
    EXPECT_EQ(printed, "readdy|");
    EXPECT_EQ(dest, d.file("neu\\tiefer")); // absolute: not rewritten
    EXPECT_TRUE(std::filesystem::is_directory(dest));
    EXPECT_FALSE(exists(d.file("neu\\diesisteintest.tttu")));
    EXPECT_FALSE(exists(dest + "\\diesisteintest.tttu"));
}

TEST_F(CreateDir, TakesAShareAsTheExistingRoot)
{
    std::string share = make_share();
    if (share.empty())
        GTEST_SKIP() << "no network share to write to outside Wine";
    std::string dest = share + "\\Musik\\Neu";
    velmora::CREATEDIR(dest);
    EXPECT_EQ(printed, "readdy|"); // no " err 1": the share is not relative
    EXPECT_EQ(dest, share + "\\Musik\\Neu");
    EXPECT_TRUE(std::filesystem::is_directory(unc_root + "\\share\\Musik\\Neu"));
    EXPECT_FALSE(exists(share + "\\Musik\\diesisteintest.tttu"));

    printed.clear();
    std::string root = share;
    velmora::CREATEDIR(root); // the share alone: only its probe
    EXPECT_EQ(printed, "readdy|");
    EXPECT_FALSE(exists(share + "\\diesisteintest.tttu"));
}

TEST_F(CreateDir, AMissingShareIsARuntimeError)
{
    auto r = testsupport::run_child([] {
        std::string dest = "\\\\velmora-nowhere\\share\\Musik";
        velmora::CREATEDIR(dest);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("(file not found) at line "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" of velmora::CREATEDIR()\r\n\r\n"), std::string::npos) << r.err;
}

} // namespace
