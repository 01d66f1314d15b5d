// The grid procedures of module fonts: grid font, row height, cursor query.
#include <gtest/gtest.h>

#include "inc/fonts.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;

namespace {

using Grid = testsupport::WindowTest;

TEST_F(Grid, SetVxfontAcceptsOnlyTheThreeHeights)
{
    EXPECT_EQ(fonts::SET_VXFONT(16), 1);
    EXPECT_EQ(st::grid_rows(), 25);
    EXPECT_EQ(fonts::SET_VXFONT(14), 1);
    EXPECT_EQ(st::grid_rows(), 28);
    EXPECT_EQ(fonts::SET_VXFONT(8), 1);
    EXPECT_EQ(st::grid_rows(), 50);
    EXPECT_EQ(fonts::SET_VXFONT(12), 0);
    EXPECT_EQ(st::grid_rows(), 50);
}

TEST_F(Grid, GetfontIsTheRoundedRowHeight)
{
    EXPECT_EQ(fonts::GETFONT(), 16);
    fonts::SET_VXFONT(14);
    EXPECT_EQ(fonts::GETFONT(), 14); // 400 / 28 = 14.29
    TEXT_WIDTH(100, 27);             // 14-pixel cells, 27 rows: 400 / 27 = 14.8
    EXPECT_EQ(fonts::GETFONT(), 15);
}

TEST_F(Grid, PrintcursorReadsTheCellBehindTheText)
{
    TEXT_LOCATE(12, 1);
    TEXT_PRINT("Kopy: ", false);
    std::int32_t row = 0, column = 0, visible = -1;
    fonts::PRINTCURSOR(row, column, visible);
    EXPECT_EQ(row, 12);
    EXPECT_EQ(column, 7);
    EXPECT_EQ(visible, 0);
    TEXT_LOCATE(12, 1);
    TEXT_PRINT(std::string(100, '-'), false);
    fonts::PRINTCURSOR(row, column, visible);
    EXPECT_EQ(row, 13);
    EXPECT_EQ(column, 1);
}

} // namespace
