// The Win32 file services on names outside the ANSI code page, on paths
// longer than MAX_PATH and with '/' between levels: checked against what
// the wide-character calls see.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/fs.hpp"
#include "platform/win32/wide.hpp"
#include "support/support.hpp"

namespace {

using testsupport::TempDir;

// UTF-8 spellings and what Windows calls them.
const std::string k_cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80"; // Пример
const std::wstring k_cyrillic_w = L"\x041F\x0440\x0438\x043C\x0435\x0440";
const std::string k_japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.mp3"; // 日本語.mp3
const std::wstring k_japanese_w = L"\x65E5\x672C\x8A9E.mp3";

std::wstring wide_ascii(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

bool wide_exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool write_through_platform(const std::string& path, const std::string& bytes)
{
    std::FILE* fp = platform::open_stream(path, "wb");
    if (fp == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    return std::fclose(fp) == 0 && ok;
}

class WideFs : public ::testing::Test {
protected:
    void TearDown() override { platform::set_path_utf8(false); }
    TempDir dir;
};

TEST_F(WideFs, Utf8NamesOutsideTheAnsiCodePageAreMadeRenamedAndRemoved)
{
    platform::set_path_utf8(true);
    const std::string folder = dir.path() + "\\" + k_cyrillic;
    const std::wstring folder_w = wide_ascii(dir.path()) + L"\\" + k_cyrillic_w;
    ASSERT_TRUE(platform::make_dir(folder));
    EXPECT_FALSE(platform::make_dir(folder)) << "made once";
    EXPECT_TRUE(platform::is_dir(folder));
    EXPECT_TRUE(GetFileAttributesW(folder_w.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    const std::string part = folder + "/.part"; // '/' separates as '\' does
    const std::string song = folder + "\\" + k_japanese;
    ASSERT_TRUE(write_through_platform(part, "data"));
    EXPECT_TRUE(platform::rename_replace(part, song));
    EXPECT_TRUE(wide_exists(folder_w + L"\\" + k_japanese_w)) << "named by its characters";
    EXPECT_FALSE(wide_exists(folder_w + L"\\.part"));
    EXPECT_TRUE(platform::same_file(song, folder + "/" + k_japanese));
    EXPECT_FALSE(platform::is_dir(song));

    std::FILE* fp = platform::open_stream(song, "rb");
    ASSERT_NE(fp, nullptr);
    char buf[8] = {0};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, fp), 4u);
    std::fclose(fp);
    EXPECT_EQ(std::string(buf), "data");

    EXPECT_TRUE(platform::delete_file(song));
    EXPECT_FALSE(wide_exists(folder_w + L"\\" + k_japanese_w));
    EXPECT_FALSE(platform::delete_file(song));
    RemoveDirectoryW(folder_w.c_str());
}

TEST_F(WideFs, AnsiNamesMeanWhatTheNarrowCallsMadeOfThem)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
    const std::string song = dir.path() + "\\Bj\xF6rk Stra\xDF" "e.mp3";
    ASSERT_TRUE(write_through_platform(song, "x"));
    EXPECT_TRUE(wide_exists(wide_ascii(dir.path()) + L"\\Bj\x00F6rk Stra\x00DF" L"e.mp3"));
    // The narrow call of old finds the same file.
    EXPECT_NE(GetFileAttributesA(song.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::path_of_system_text("\xFC"), "\xFC") << "ANSI stays ANSI";

    platform::set_path_utf8(true);
    EXPECT_EQ(platform::path_of_system_text("D:\\M\xFCll"), "D:\\M\xC3\xBCll");
    EXPECT_TRUE(platform::delete_file(dir.path() + "\\Bj\xC3\xB6rk Stra\xC3\x9F" "e.mp3"));
}

TEST_F(WideFs, PathsLongerThanMaxPathWork)
{
    platform::set_path_utf8(true);
    // Levels of 60 characters, mixed separators, until the file's path is
    // well past 260 characters; the folders alone pass 248.
    std::string path = dir.path();
    std::wstring wide = wide_ascii(dir.path());
    const std::string level(55, 'a');
    for (int i = 0; i < 5; ++i) {
        path += (i % 2 ? "/" : "\\") + level + std::to_string(i) + k_cyrillic.substr(0, 2);
        wide += L"\\" + wide_ascii(level + std::to_string(i)) + k_cyrillic_w.substr(0, 1);
        ASSERT_TRUE(platform::make_dir(path)) << path.size() << " bytes";
        ASSERT_TRUE(platform::is_dir(path));
    }
    ASSERT_GT(path.size(), 300u);
    const std::string file = path + "/" + k_japanese;
    ASSERT_TRUE(write_through_platform(path + "\\.part", "long"));
    EXPECT_TRUE(platform::rename_replace(path + "\\.part", file));
    EXPECT_TRUE(wide_exists(L"\\\\?\\" + wide + L"\\" + k_japanese_w));
    EXPECT_TRUE(platform::same_file(file, path + "\\" + k_japanese));
    EXPECT_TRUE(platform::delete_file(file));
    EXPECT_FALSE(wide_exists(L"\\\\?\\" + wide + L"\\" + k_japanese_w));
    for (int i = 0; i < 5; ++i) {
        RemoveDirectoryW((L"\\\\?\\" + wide).c_str());
        wide.erase(wide.rfind(L'\\'));
    }
}

TEST_F(WideFs, TheCurrentFolderComesInTheFormSetForPaths)
{
    const std::wstring folder_w = wide_ascii(dir.path()) + L"\\" + k_cyrillic_w;
    ASSERT_TRUE(CreateDirectoryW(folder_w.c_str(), nullptr));
    wchar_t saved[MAX_PATH * 2];
    GetCurrentDirectoryW(MAX_PATH * 2, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(folder_w.c_str()));
    platform::set_path_utf8(true);
    std::string here = platform::current_dir();
    SetCurrentDirectoryW(saved);
    RemoveDirectoryW(folder_w.c_str());
    EXPECT_EQ(here, dir.path() + "\\" + k_cyrillic);
}

TEST_F(WideFs, PathsNoCallTakesAreRefused)
{
    platform::set_path_utf8(true);
    EXPECT_TRUE(platform::wide_path("").empty());
    EXPECT_TRUE(platform::wide_path(std::string("a\0b", 3)).empty());
    EXPECT_EQ(platform::open_stream(dir.path() + std::string("\\a\0b", 4), "wb"), nullptr);
    EXPECT_FALSE(platform::make_dir(""));
    EXPECT_FALSE(platform::rename_replace("", dir.path() + "\\x"));
}

} // namespace
