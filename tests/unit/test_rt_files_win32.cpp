// The runtime's files on Windows reach every name: UTF-8 names outside the
// ANSI code page open, read, write and exist, and a half copy under such a
// name is removed when a runtime error ends the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/fs.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "support/support.hpp"

namespace {

using testsupport::TempDir;

const std::string k_folder = "\xD0\x9C\xD1\x83\xD0\xB7\xD1\x8B\xD0\xBA\xD0\xB0"; // Музыка
const std::wstring k_folder_w = L"\x041C\x0443\x0437\x044B\x043A\x0430";
const std::string k_song = "\xE6\xAD\x8C.mp3"; // 歌.mp3
const std::wstring k_song_w = L"\x6B4C.mp3";

class WideFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::set_path_utf8(true);
        folder = dir.path() + "\\" + k_folder;
        folder_w = std::wstring(dir.path().begin(), dir.path().end()) + L"\\" + k_folder_w;
        platform::make_dir(folder); // a child run finds it made
        ASSERT_TRUE(platform::is_dir(folder));
    }
    void TearDown() override
    {
        rt::testing::close_all();
        platform::set_path_utf8(false);
    }
    TempDir dir;
    std::string folder;
    std::wstring folder_w;
};

TEST_F(WideFiles, TextAndBinaryFilesUnderUtf8Names)
{
    const std::string song = folder + "/" + k_song;
    EXPECT_FALSE(rt::file_exists(song));
    rt::open_text_output(1, song);
    rt::write_line(1, "eins");
    rt::close(1);
    EXPECT_TRUE(rt::file_exists(song));
    EXPECT_NE(GetFileAttributesW((folder_w + L"\\" + k_song_w).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(rt::file_exists(folder)) << "a folder never exists";

    rt::open_text_input(2, folder + "\\" + k_song);
    EXPECT_EQ(rt::read_line(2), "eins");
    rt::close(2);

    rt::open_binary(3, song);
    EXPECT_EQ(rt::length(3), 6);
    rt::close(3);
    rt::open_binary_new(4, folder + "\\copy of " + k_song);
    rt::open_binary_read(5, song);
    EXPECT_EQ(rt::copy_bytes(5, 4, 100).bytes, 6u);
    rt::close(5);
    rt::close(4);
    EXPECT_NE(GetFileAttributesW((folder_w + L"\\copy of " + k_song_w).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WideFiles, AHalfCopyUnderAUtf8NameGoesWithARuntimeError)
{
    const std::string part = folder + "\\" + k_song + ".part";
    auto r = testsupport::run_child([&] {
        platform::set_path_utf8(true);
        rt::remove_on_abort(part);
        rt::open_binary_new(1, part);
        rt::write_bytes(1, "half", 4);
        rt::fail(3);
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(GetFileAttributesW((folder_w + L"\\" + k_song_w + L".part").c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
