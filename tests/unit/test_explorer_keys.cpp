// Umlaut conversion, substring and set counting, key codes and IFVAR.
#include <gtest/gtest.h>

#include "inc/explorer.hpp"
#include "screen/backend.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"

using namespace explorer;
namespace st = screen::testing;

namespace {

TEST(Correctvokale, MapsTheSixUmlautsAndNothingElse)
{
    EXPECT_EQ(CORRECTVOKALE(""), "");
    EXPECT_EQ(CORRECTVOKALE("Kopy: abc.mp3"), "Kopy: abc.mp3");
    EXPECT_EQ(CORRECTVOKALE("\xFC\xF6\xE4\xDC\xD6\xC4"), "\x81\x94\x84\x9A\x99\x8E");
    EXPECT_EQ(CORRECTVOKALE("Gr\xFC\xDF" "e"), "Gr\x81\xDF" "e"); // sharp s stays
    // Bytes that already are console umlauts are not touched again.
    EXPECT_EQ(CORRECTVOKALE("\x81\x94"), "\x81\x94");
    std::string with_nul("a\0\xE4", 3);
    EXPECT_EQ(CORRECTVOKALE(with_nul), std::string("a\0\x84", 3));
}

TEST(Correctvokale, TheTableIsTheConsoleCodePage)
{
    const char expected[] = {'\x94', '\x81', '\x84', '\x99', '\x9A', '\x8E'};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(oem_umlauts[static_cast<size_t>(i)], std::string(1, expected[i])) << i;
}

TEST(Instranz, CountsSubstringsWithOverlaps)
{
    EXPECT_EQ(INSTRANZ("aaaa", "aa", 0), 3);
    EXPECT_EQ(INSTRANZ("abcabc", "abc", 2), 2);
    EXPECT_EQ(INSTRANZ("abcabc", "x", 0), 0);
    EXPECT_EQ(INSTRANZ("ab", "abc", 0), 0);
    EXPECT_EQ(INSTRANZ("", "a", 0), 0);
    EXPECT_EQ(INSTRANZ("abc", "", 0), 0);
    EXPECT_EQ(INSTRANZ("abc", "", 1), 0);
    EXPECT_EQ(INSTRANZ("", "a", 1), 0);
}

TEST(Instranz, SetModeCountsEachMemberOnce)
{
    EXPECT_EQ(INSTRANZ("C:\\a\\b\\c.mp3", "\\.", 1), 4);
    EXPECT_EQ(INSTRANZ("C:\\a\\b\\c.mp3", ".\\", 1), 4);
    EXPECT_EQ(INSTRANZ("banana", "aa", 1), 3);   // a doubled member counts once
    EXPECT_EQ(INSTRANZ("banana", "an", 1), 5);
    EXPECT_EQ(INSTRANZ("banana", "an", 0), 2);   // the same pattern as a substring
    EXPECT_EQ(INSTRANZ("xyz", "abc", 1), 0);
}

class Keycodes : public ::testing::Test {
protected:
    void SetUp() override
    {
        st::reset();
        ASSERT_EQ(screen::SCREEN_OPEN(800, 400, 32), 0);
    }
    void TearDown() override { st::reset(); }
};

TEST_F(Keycodes, NoKeyIsZeroAndOrdinaryKeysTheirByte)
{
    EXPECT_EQ(ASCINKEY(), 0);
    screen::input_char(27);
    screen::input_char(13);
    screen::input_char('d');
    screen::input_char(0xE4);
    EXPECT_EQ(ASCINKEY(), 27);
    EXPECT_EQ(ASCINKEY(), 13);
    EXPECT_EQ(ASCINKEY(), 'd');
    EXPECT_EQ(ASCINKEY(), 0xE4);
    EXPECT_EQ(ASCINKEY(), 0) << "each key is taken once";
}

TEST_F(Keycodes, ExtendedKeysJoinTheDecimalDigits)
{
    using namespace screen::scan;
    const std::pair<int, int> cases[] = {
        {up, 25572},   {down, 25580}, {left, 25575}, {right, 25577},      {home, 25571},
        {end, 25579},  {del, 25583},  {f1, 25559},   {f10, 25568},        {insert, 25582},
        {page_up, 25573}, {page_down, 25581}, {close_button, 255107},
    };
    for (auto [code, expected] : cases)
        screen::input_extended(code);
    for (auto [code, expected] : cases)
        EXPECT_EQ(ASCINKEY(), expected) << "scan code " << code;
    // A scan code of one digit still forms its number the same way.
    screen::input_extended(5);
    EXPECT_EQ(ASCINKEY(), 2555);
    EXPECT_EQ(ASCINKEY(), 0);
}

TEST(Ifvar, OnlyPositiveIsOne)
{
    EXPECT_EQ(IFVAR(1), 1);
    EXPECT_EQ(IFVAR(INT32_MAX), 1);
    EXPECT_EQ(IFVAR(0), 0);
    EXPECT_EQ(IFVAR(-5), 0);
    EXPECT_EQ(IFVAR(INT32_MIN), 0);
}

} // namespace
