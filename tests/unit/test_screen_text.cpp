// The character grid: printing, wrapping, scrolling, cursor moves, clearing,
// grid selection and colours, on the headless backend.
#include <gtest/gtest.h>

#include <vector>

#include "screen/backend.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;

namespace {

using Grid = testsupport::WindowTest;

TEST_F(Grid, OpensAtTheTopLeftOnBlack)
{
    EXPECT_EQ(TEXT_LOCATE(0, 0), 1 + 256 * 1);
    EXPECT_EQ(st::pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(st::pixel(799, 399), 0xFF000000u);
    EXPECT_EQ(TEXT_WIDTH(-1, -1), 1638500);
}

TEST_F(Grid, TextWidthPicksTheFontFromTheCellHeight)
{
    EXPECT_EQ(TEXT_WIDTH(100, 28), 0);
    EXPECT_EQ(st::font_height(), 14);
    EXPECT_EQ(TEXT_WIDTH(100, 50), 0);
    EXPECT_EQ(st::font_height(), 8);
    EXPECT_EQ(TEXT_WIDTH(-1, -1), 100 + 65536 * 50);
    // 400 / 30 = 13 fits no font: nothing changes, still 0.
    EXPECT_EQ(TEXT_WIDTH(100, 30), 0);
    EXPECT_EQ(TEXT_WIDTH(-1, -1), 100 + 65536 * 50);
    EXPECT_EQ(TEXT_WIDTH(99, 25), 0); // 800 / 99 = 8 wide... and 16 high: accepted
    EXPECT_EQ(TEXT_WIDTH(-1, -1), 99 + 65536 * 25);
    EXPECT_EQ(TEXT_WIDTH(101, 25), 0); // 7 wide: refused
    EXPECT_EQ(TEXT_WIDTH(-1, -1), 99 + 65536 * 25);
}

TEST_F(Grid, SettingTheGridClearsTheWindow)
{
    TEXT_PRINT("hello", false);
    TEXT_WIDTH(100, 25);
    EXPECT_EQ(st::row_text(1).substr(0, 5), "     ");
    EXPECT_EQ(st::cursor_column(), 1);
}

TEST_F(Grid, GlyphsAreDrawnInTheForegroundOnTheBackground)
{
    TEXT_COLOR(0xFF00FF00, 0xFF0000FF, k_set_both);
    TEXT_PRINT("\xDB", false); // full block
    EXPECT_EQ(st::pixel(0, 0), 0xFF00FF00u);
    EXPECT_EQ(st::pixel(7, 15), 0xFF00FF00u);
    TEXT_PRINT(" ", false);
    EXPECT_EQ(st::pixel(8, 0), 0xFF0000FFu);
}

TEST_F(Grid, ALineOfOneHundredWrapsAtOnce)
{
    TEXT_LOCATE(5, 1);
    TEXT_PRINT(std::string(100, 'x'), false);
    EXPECT_EQ(st::cursor_row(), 6);
    EXPECT_EQ(st::cursor_column(), 1);
    TEXT_PRINT("", true); // ending that line as well gives one empty row
    EXPECT_EQ(st::cursor_row(), 7);
}

TEST_F(Grid, PrintingPastTheLastRowScrollsUp)
{
    TEXT_LOCATE(1, 1);
    TEXT_PRINT("top", false);
    TEXT_LOCATE(2, 1);
    TEXT_PRINT("second", false);
    TEXT_LOCATE(25, 1);
    TEXT_PRINT(std::string(100, 'y'), false);
    EXPECT_EQ(st::cursor_row(), 25);
    EXPECT_EQ(st::cursor_column(), 1);
    EXPECT_EQ(st::row_text(1).substr(0, 6), "second");
    EXPECT_EQ(st::row_text(24), std::string(100, 'y'));
    EXPECT_EQ(st::row_text(25), std::string(100, ' '));
    EXPECT_EQ(st::pixel(0, 24 * 16 + 8), 0xFF000000u);
}

TEST_F(Grid, ControlBytes)
{
    TEXT_PRINT("abc\bX", false);
    EXPECT_EQ(st::row_text(1).substr(0, 3), "abX");
    TEXT_PRINT("\b\b\b\b\b", false);
    EXPECT_EQ(st::cursor_column(), 1); // not past column 1, nothing erased
    EXPECT_EQ(st::row_text(1).substr(0, 3), "abX");
    TEXT_PRINT("\t", false);
    EXPECT_EQ(st::cursor_column(), 9);
    TEXT_PRINT("\t", false);
    EXPECT_EQ(st::cursor_column(), 17);
    TEXT_PRINT("12\rZ", false);
    EXPECT_EQ(st::row_text(1).substr(0, 1), "Z");
    TEXT_PRINT("\nq", false);
    EXPECT_EQ(st::cursor_row(), 2);
    EXPECT_EQ(st::row_text(2).substr(0, 1), "q");
    int beeps = headless::beeps();
    TEXT_PRINT("\a", false);
    EXPECT_EQ(headless::beeps(), beeps + 1);
    EXPECT_EQ(st::cursor_column(), 2);
}

TEST_F(Grid, TabAtTheEndOfARowWrapsOnce)
{
    TEXT_LOCATE(3, 97);
    TEXT_PRINT("\tz", false);
    EXPECT_EQ(st::cursor_row(), 4);
    EXPECT_EQ(st::row_text(4).substr(0, 1), "z");
}

TEST_F(Grid, LocateOutOfRangeIsIgnored)
{
    TEXT_LOCATE(3, 4);
    EXPECT_EQ(TEXT_LOCATE(26, 1), 4 + 256 * 3);
    EXPECT_EQ(TEXT_LOCATE(1, 101), 4 + 256 * 3);
    EXPECT_EQ(TEXT_LOCATE(-1, 1), 4 + 256 * 3);
    EXPECT_EQ(TEXT_LOCATE(0, 9), 9 + 256 * 3);
    EXPECT_EQ(TEXT_LOCATE(7, 0), 9 + 256 * 7);
}

TEST_F(Grid, PrintRealHasABlankBeforeNonNegatives)
{
    TEXT_PRINT_REAL(0, false);
    TEXT_PRINT_REAL(12.5, false);
    TEXT_PRINT_REAL(-3, false);
    TEXT_PRINT_REAL(45, true);
    EXPECT_EQ(st::row_text(1).substr(0, 14), " 0 12.5-3 45  ");
    EXPECT_EQ(st::cursor_row(), 2);
}

TEST_F(Grid, ClearBlanksEverythingAndHomesTheCursor)
{
    TEXT_LOCATE(20, 50);
    TEXT_PRINT("deep down", false);
    TEXT_CLEAR();
    EXPECT_EQ(st::row_text(20), std::string(100, ' '));
    EXPECT_EQ(st::pixel(50 * 8 - 4, 19 * 16 + 8), 0xFF000000u);
    EXPECT_EQ(TEXT_LOCATE(0, 0), 257);
}

// A clear after printing blanks every cell that shows anything: a blank
// printed on another background, and a letter in the middle of a row.
TEST_F(Grid, ClearBlanksEveryPrintedCellOfARow)
{
    const Color black = 0xFF000000u;
    TEXT_LOCATE(3, 1);
    TEXT_PRINT("ab", false);
    TEXT_COLOR(0, 0xFF445566, k_set_bg);
    TEXT_PRINT("  ", false);
    TEXT_COLOR(0, black, k_set_bg);
    TEXT_PRINT(" c", false);
    TEXT_CLEAR();
    EXPECT_EQ(st::row_text(3), std::string(100, ' '));
    for (int x = 0; x < 6 * 8; ++x)
        for (int y = 2 * 16; y < 3 * 16; ++y)
            ASSERT_EQ(st::pixel(x, y), black) << x << "," << y;
    TEXT_LOCATE(3, 1);
    TEXT_PRINT("ab", false);
    EXPECT_EQ(st::row_text(3).substr(0, 3), "ab ");
}

// Text and drawing land in the order they were made, however late the
// text's pixels are drawn, and a cell printed many times shows its last.
TEST_F(Grid, PrintedCellsAndDrawingKeepTheirOrder)
{
    const Color red = 0xFFFF0000u;
    auto cell_pixels = [](int col) {
        std::vector<std::uint32_t> px;
        for (int y = 16; y < 32; ++y)
            for (int x = 8 * (col - 1); x < 8 * col; ++x)
                px.push_back(st::pixel(x, y));
        return px;
    };
    TEXT_LOCATE(2, 1);
    TEXT_PRINT("#", false);
    const auto hash = cell_pixels(1);
    TEXT_LOCATE(2, 3);
    TEXT_PRINT("#", false);
    for (int i = 0; i < 50; ++i) {
        TEXT_LOCATE(2, 1);
        TEXT_PRINT(i % 2 ? "#" : "W", false);
        TEXT_CLEAR();
    }
    TEXT_LOCATE(2, 1);
    TEXT_PRINT("#", false);
    DRAW_LINE(0, 0, 24, 799, 24, red, 2);
    auto drawn = cell_pixels(1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(drawn[static_cast<size_t>(y * 8 + x)], y == 8 ? red : hash[static_cast<size_t>(y * 8 + x)]) << x << "," << y;
    // Cell 3 was cleared before the line: only the line is there.
    EXPECT_EQ(st::pixel(17, 24), red);
    EXPECT_EQ(st::pixel(17, 20), 0xFF000000u);
    TEXT_LOCATE(2, 1);
    TEXT_PRINT("#", false);
    EXPECT_EQ(cell_pixels(1), hash);
    EXPECT_EQ(st::pixel(9, 24), red); // the next cell was not printed again
}

TEST_F(Grid, ClearAfterABackgroundChangeFillsTheWholeWindow)
{
    TEXT_COLOR(0, 0xFF112233, k_set_bg);
    TEXT_CLEAR();
    EXPECT_EQ(st::pixel(799, 399), 0xFF112233u);
    EXPECT_EQ(st::pixel(0, 0), 0xFF112233u);
}

TEST_F(Grid, ColoursReturnThePreviousForeground)
{
    Color first = TEXT_COLOR(0xFF123456, 0, k_set_fg);
    EXPECT_EQ(TEXT_COLOR(0, 0, 0), 0xFF123456u);
    EXPECT_EQ(TEXT_COLOR(first, 0, k_set_fg), 0xFF123456u);
}

TEST_F(Grid, TitleIsCutAt127)
{
    WINDOW_TITLE(std::string(200, 't'));
    EXPECT_EQ(st::title().size(), 127u);
}

TEST_F(Grid, InfoDescribesTheWindow)
{
    Info i = SCREEN_INFO();
    EXPECT_EQ(i.width, 800);
    EXPECT_EQ(i.height, 400);
    EXPECT_EQ(i.depth, 32);
    EXPECT_EQ(i.bytes_per_pixel, 4);
    EXPECT_EQ(i.pitch, 3200);
}

TEST(Window, OpenRefusesBadModesAndFailingBackends)
{
    st::reset();
    EXPECT_NE(SCREEN_OPEN(800, 400, 24), 0);
    EXPECT_NE(SCREEN_OPEN(0, 400, 32), 0);
    headless::fail_next_open();
    EXPECT_NE(SCREEN_OPEN(800, 400, 32), 0);
    EXPECT_FALSE(st::window_open());
    Info i = SCREEN_INFO();
    EXPECT_EQ(i.bytes_per_pixel, 0);
    EXPECT_EQ(i.pitch, 0);
    EXPECT_EQ(SCREEN_TEXT_MODE(), 0);
    EXPECT_EQ(TEXT_WIDTH(-1, -1), 80 + 65536 * 25);
}

TEST(Window, ResetReturnsEveryPartOfTheLayerToItsStart)
{
    st::reset();
    // Left behind by a test without a window, and by one with a window.
    TEXT_COLOR(14, 1, k_set_both);
    ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
    WINDOW_TITLE("alt");
    TEXT_COLOR(0xFF00FF00, 0xFF0000FF, k_set_both);
    TEXT_PRINT("x", false);
    headless::hold(scan::esc, true);
    input_char('k');
    headless::type("queued");
    BEEP_TONE();
    int idles = 0;
    headless::on_idle([&idles] { ++idles; });
    headless::fail_next_open();

    st::reset();
    EXPECT_FALSE(st::window_open());
    EXPECT_EQ(TEXT_COLOR(0, 0, 0), 7u) << "the console's colours start as 7 on 0";
    EXPECT_EQ(st::title(), "");
    EXPECT_EQ(st::pending_keys(), 0);
    EXPECT_EQ(headless::beeps(), 0);
    EXPECT_EQ(headless::presents(), 0);
    EXPECT_EQ(TEXT_LOCATE(0, 0), 1 + 256 * 1);
    ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0) << "the failed open asked for before the reset is gone";
    EXPECT_EQ(KEY_DOWN(scan::esc), 0);
    EXPECT_EQ(KEY_POLL(), "") << "neither buffered nor queued keys survive";
    EXPECT_EQ(idles, 0);
    EXPECT_EQ(TEXT_COLOR(0, 0, 0), 0xFFAAAAAAu);
    EXPECT_EQ(st::cell_bg(1, 1), 0xFF000000u);
    st::reset();
}

TEST(Window, TextModeClosesTheWindow)
{
    st::reset();
    ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
    headless::hold(scan::esc, true);
    EXPECT_EQ(KEY_DOWN(scan::esc), -1);
    EXPECT_EQ(SCREEN_TEXT_MODE(), 0);
    EXPECT_FALSE(st::window_open());
    EXPECT_EQ(KEY_DOWN(scan::esc), 0);
    st::reset();
}

} // namespace
