// The POSIX drive queries: links resolved to the real path, and the
// removable flag only for what is a block device.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drive.hpp"
#include "support/support.hpp"

namespace {

using testsupport::TempDir;

TEST(Drive, RealPathResolvesLinksAndRefusesWhatIsNotThere)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    std::filesystem::create_directory_symlink(dir.file("real"), dir.file("link"));
    std::string real_dir;
    ASSERT_TRUE(platform::real_path(dir.path(), real_dir));
    std::string out;
    ASSERT_TRUE(platform::real_path(dir.file("link"), out));
    EXPECT_EQ(out, real_dir + "/real");
    ASSERT_TRUE(platform::real_path(dir.file("link") + "/..", out));
    EXPECT_EQ(out, real_dir);
    EXPECT_FALSE(platform::real_path(dir.file("nothing"), out));
}

TEST(Drive, OnlyABlockDeviceHasARemovableFlag)
{
    // Anonymous numbers with no device file behind them, or a character device.
    EXPECT_EQ(platform::removable_flag(0, 0, "none"), -1);
    EXPECT_EQ(platform::removable_flag(0, 0, "/dev/null"), -1);
    EXPECT_EQ(platform::removable_flag(0, 0, "/dev/velmora-no-such-device"), -1);
    // The loop devices' major number is 7 everywhere; a fixed medium.
    if (std::filesystem::exists("/sys/dev/block/7:0")) {
        EXPECT_EQ(platform::removable_flag(7, 0, "none"), 0);
    }
}

} // namespace
