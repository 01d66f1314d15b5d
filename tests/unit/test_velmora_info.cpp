// --help and --version: the exact arguments, and what they print.
#include <gtest/gtest.h>

#include <regex>

#include "velmora/info.hpp"

namespace {

TEST(InfoText, HelpNamesTheCallTheKeysAndTheOptions)
{
    auto text = velmora::info_text("--help");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("Aufruf: velmora [PLAYLIST.m3u]...\n", 0), 0u) << *text;
    for (const char* part : {"Leertaste", "Esc", "--help", "--version", "Exit-Status"})
        EXPECT_NE(text->find(part), std::string::npos) << part;
    EXPECT_EQ(text->back(), '\n');
    // The Windows console shows another code page: plain ASCII only.
    for (unsigned char c : *text)
        EXPECT_LT(c, 0x80) << *text;
}

TEST(InfoText, VersionIsOneLine)
{
    auto text = velmora::info_text("--version");
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(std::regex_match(*text, std::regex("velmora [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << *text;
}

// Everything else stays a playlist argument, even when it looks close.
TEST(InfoText, OtherArgumentsAreNoRequest)
{
    for (const char* argument : {"", "-h", "--HELP", "--help ", " --help", "--help.m3u", "--versions", "-v",
                                 "list.m3u", "--"})
        EXPECT_FALSE(velmora::info_text(argument).has_value()) << '"' << argument << '"';
}

} // namespace
