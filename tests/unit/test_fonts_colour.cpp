// Colour channels, the colour query, and the three gradients: the colour
// array with its rounding drift, gradient text and gradient bands.
#include <gtest/gtest.h>

#include <vector>

#include "inc/fonts.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/golden.hpp"
#include "support/support.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;
using testsupport::Picture;
using testsupport::same_picture;
using testsupport::window_picture;

namespace {

constexpr Color k_black = 0xFF000000;
constexpr Color k_white = 0xFFFFFFFF;
constexpr Color k_blue = 0xFF0000FF;
constexpr char k_block = '\xDB'; // a glyph with every pixel set

std::vector<Color> gradient(Color from, Color to, std::uint32_t steps)
{
    rt::Array<Color> a;
    fonts::FARB_VERLAUF(from, to, steps, a);
    std::vector<Color> v;
    for (std::int32_t i = a.lbound(); i <= a.ubound(); ++i)
        v.push_back(a.at(i));
    return v;
}

class Colour : public testsupport::WindowTest {
protected:
    static Picture blank() { return testsupport::picture(800, 400, k_black); }
};

TEST(Channels, SplitThePackedColour)
{
    EXPECT_EQ(fonts::GETROT(0x80402010), 0x40);
    EXPECT_EQ(fonts::GETGRUEN(0x80402010), 0x20);
    EXPECT_EQ(fonts::GETBLAU(0x80402010), 0x10);
    EXPECT_EQ(fonts::GETALPHA(0x80402010), 0x80);
    EXPECT_EQ(fonts::GETALPHA(0xFF000000), 0xFF);
    EXPECT_EQ(fonts::GETROT(0x00FF0000), 0xFF);
}

TEST_F(Colour, TheQueryGivesTheForegroundHalvesAndChangesNothing)
{
    TEXT_COLOR(0x12345678, 0xFF00FF00, k_set_both);
    EXPECT_EQ(fonts::BCOLOR(), 0x1234u);
    EXPECT_EQ(fonts::VCOLOR(), 0x5678u);
    EXPECT_EQ(TEXT_COLOR(0, 0, 0), 0x12345678u);
    TEXT_PRINT("x", false);
    EXPECT_EQ(st::cell_bg(1, 1), 0xFF00FF00u);
}

TEST(Farbverlauf, TheExamples)
{
    EXPECT_EQ(gradient(0xFF000000, 0xFFFFFFFF, 3), (std::vector<Color>{0, 0xFF000000, 0xFF808080, 0xFFFFFFFF}));
    EXPECT_EQ(gradient(0x00000000, 0x000000FF, 4), (std::vector<Color>{0, 0x00, 0x55, 0xAA, 0xFF}));
    // The drift: the last colour stops at 9, short of 10.
    EXPECT_EQ(gradient(0x00000000, 0x0000000A, 4), (std::vector<Color>{0, 0x00, 0x03, 0x06, 0x09}));
}

TEST(Farbverlauf, DownwardsAndPerChannel)
{
    // Halves go to the even neighbour: 382.5 starts at 382, so even the first
    // colour drifts below the start (254.5 gives 254).
    EXPECT_EQ(gradient(0xFFFFFFFF, 0xFF000000, 3), (std::vector<Color>{0, 0xFFFEFEFE, 0xFF7E7E7E, 0xFF000000}));
    EXPECT_EQ(gradient(0x00FF0000, 0xFF0000FF, 2), (std::vector<Color>{0, 0x00FF0000, 0xFF0000FF}));
}

TEST(Farbverlauf, ZeroOneAndEqual)
{
    EXPECT_EQ(gradient(0xFF123456, 0xFF654321, 0), (std::vector<Color>{0}));
    // One step has nothing to divide by: it is the start colour.
    EXPECT_EQ(gradient(0xFF123456, 0xFF654321, 1), (std::vector<Color>{0, 0xFF123456}));
    EXPECT_EQ(gradient(0x80112233, 0x80112233, 4), (std::vector<Color>{0, 0x80112233, 0x80112233, 0x80112233, 0x80112233}));
}

TEST(Farbverlauf, ReplacesTheOldArray)
{
    rt::Array<Color> a(-5, 20);
    a.at(-5) = 7;
    a.at(20) = 7;
    fonts::FARB_VERLAUF(0, 0xFF, 2, a);
    EXPECT_EQ(a.lbound(), 0);
    EXPECT_EQ(a.ubound(), 2);
    EXPECT_EQ(a.at(0), 0u);
}

TEST(Farbverlauf, StepsBeyondTheArrayBoundsAreARuntimeError)
{
    auto r = testsupport::run_child([] {
        rt::Array<Color> a;
        fonts::FARB_VERLAUF(0, 0xFF, 0x80000000u, a);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fonts::FARB_VERLAUF()"), std::string::npos) << r.err;
}

// The colour of the block drawn for character i (1-based) at (x, y).
Color char_colour(int x, int y, int i) { return st::pixel(x + 8 * (i - 1) + 3, y + 8); }

TEST_F(Colour, TextGradientExample)
{
    DRAW_LINE(0, 0, 0, 100, 40, k_blue, 2);
    fonts::TEXT_FARB_VERLAUF(10, 12, "aW\xDB", 0xFF000000, 0xFFFFFFFF, 0);
    Picture want = blank();
    want.box(0, 0, 100, 40, k_blue);
    want.glyph(10, 12, 16, 'a', 0xFF000000);
    want.glyph(18, 12, 16, 'W', 0xFF808080);
    want.glyph(26, 12, 16, 0xDB, 0xFFFFFFFF);
    EXPECT_TRUE(same_picture(window_picture(), want, "text_gradient"));
}

TEST_F(Colour, TextGradientShortAndFlat)
{
    fonts::TEXT_FARB_VERLAUF(0, 0, "", 0xFF000000, 0xFFFFFFFF, 0);
    EXPECT_TRUE(same_picture(window_picture(), blank(), "text_gradient_empty"));
    fonts::TEXT_FARB_VERLAUF(0, 0, std::string(1, k_block), 0xFF102030, 0xFFFFFFFF, 0);
    EXPECT_EQ(char_colour(0, 0, 1), 0xFF102030u) << "one character keeps the start colour";
    // Blue 0x00 to 0x10 over 40 characters: the step rounds to 0.
    fonts::TEXT_FARB_VERLAUF(0, 100, std::string(40, k_block), 0xFF000000, 0xFF000010, 0);
    for (int i = 1; i <= 40; ++i)
        ASSERT_EQ(char_colour(0, 100, i), 0xFF000000u) << "character " << i;
}

TEST_F(Colour, TextGradientDelayAndRestartQuirks)
{
    const std::string four(4, k_block);
    // Red 0x64 to 0x66 over 4: step 1, delay 2, so the first character sits
    // one below the start colour.
    fonts::TEXT_FARB_VERLAUF(0, 0, four, 0xFF640000, 0xFF660000, 0);
    const Color delayed[] = {0xFF630000, 0xFF640000, 0xFF650000, 0xFF660000};
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(char_colour(0, 0, i), delayed[i - 1]) << "character " << i;
    // Blue 1 to 255 over 3: step 127; after the first character the working
    // value (1) is below the step and restarts at 0.
    fonts::TEXT_FARB_VERLAUF(0, 20, std::string(3, k_block), 0xFF000001, 0xFF0000FF, 0);
    const Color restarted[] = {0xFF000001, 0xFF00007F, 0xFF0000FE};
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(char_colour(0, 20, i), restarted[i - 1]) << "character " << i;
    // Downwards every character changes from the first on.
    fonts::TEXT_FARB_VERLAUF(0, 40, four, 0xFF000064, 0xFF000062, 0);
    const Color down[] = {0xFF000064, 0xFF000063, 0xFF000062, 0xFF000061};
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(char_colour(0, 40, i), down[i - 1]) << "character " << i;
}

TEST_F(Colour, TextGradientIntoAnImageStartsAtItsOrigin)
{
    Target img = IMAGE_CREATE(24, 16);
    ASSERT_GT(img, 0);
    fonts::TEXT_FARB_VERLAUF(300, 200, "ab", 0xFF000000, 0xFFFFFFFF, img);
    Picture want = testsupport::picture(24, 16, 0xFFFF00FF);
    want.glyph(0, 0, 16, 'a', 0xFF000000);
    want.glyph(8, 0, 16, 'b', 0xFFFFFFFF);
    EXPECT_TRUE(same_picture(testsupport::image_picture(img), want, "text_gradient_image"));
    EXPECT_TRUE(same_picture(window_picture(), blank(), "text_gradient_image_window"));
}

TEST_F(Colour, BuffersMadeForMinusOneAreReleased)
{
    Target before = IMAGE_CREATE(1, 1);
    fonts::TEXT_FARB_VERLAUF(0, 0, "abc", 0xFF000000, 0xFFFFFFFF, -1);
    fonts::DRAW_FARB_VERLAUF(0, 0, 50, 10, 5, 0xFF000000, 0xFFFFFFFF, -1);
    Target after = IMAGE_CREATE(1, 1);
    ASSERT_GT(before, 0);
    int w = 0, h = 0;
    int alive = 0;
    for (Target id = before + 1; id < after; ++id)
        alive += st::image_size(id, w, h);
    EXPECT_EQ(alive, 0);
    EXPECT_GT(after, before + 1) << "both calls made a buffer";
    EXPECT_TRUE(same_picture(window_picture(), blank(), "minus_one_window"));
}

TEST_F(Colour, TextGradientFailuresAreRuntimeErrors)
{
    auto bad_image = testsupport::run_child([] {
        st::reset();
        SCREEN_OPEN(800, 400, 32);
        fonts::TEXT_FARB_VERLAUF(0, 0, "a", 0, 0xFFFFFFFF, 4711);
    });
    EXPECT_EQ(bad_image.status, 1);
    EXPECT_NE(bad_image.err.find("fonts::TEXT_FARB_VERLAUF()"), std::string::npos) << bad_image.err;
    auto no_window = testsupport::run_child([] {
        st::reset();
        fonts::TEXT_FARB_VERLAUF(0, 0, "a", 0, 0xFFFFFFFF, 0);
    });
    EXPECT_EQ(no_window.status, 1);
    auto no_buffer = testsupport::run_child([] {
        st::reset();
        SCREEN_OPEN(800, 400, 32);
        fonts::TEXT_FARB_VERLAUF(0, 0, std::string(2000000, 'a'), 0, 0xFFFFFFFF, -1);
    });
    EXPECT_EQ(no_buffer.status, 4);
}

// Band i of `colours` drawn the way the gradient describes: from
// x + end - width to x + end, rows y to y + height, later bands on top.
Picture bands(int x, int y, int height, const std::vector<std::pair<int, int>>& spans, const std::vector<Color>& colours)
{
    Picture p = testsupport::picture(800, 400, k_black);
    for (size_t i = 0; i < spans.size(); ++i)
        p.box(x + spans[i].first, y, x + spans[i].second, y + height, colours[i + 1]);
    return p;
}

TEST_F(Colour, BandsOfTenPixels)
{
    fonts::DRAW_FARB_VERLAUF(20, 30, 100, 40, 10, 0xFF000000, 0xFFFF8040, 0);
    auto colours = gradient(0xFF000000, 0xFFFF8040, 10);
    std::vector<std::pair<int, int>> spans;
    for (int i = 1; i <= 10; ++i)
        spans.push_back({10 * (i - 1), 10 * i});
    EXPECT_TRUE(same_picture(window_picture(), bands(20, 30, 40, spans, colours), "bands_ten"));
    // Each band ends 10 pixels further; the last one ends at x + 100.
    EXPECT_EQ(st::pixel(20, 30), colours[1]);
    EXPECT_EQ(st::pixel(29, 30), colours[1]);
    EXPECT_EQ(st::pixel(30, 30), colours[2]);
    EXPECT_EQ(st::pixel(120, 70), colours[10]);
    EXPECT_EQ(st::pixel(121, 30), k_black);
}

TEST_F(Colour, BandsAreAtLeastTwoPixelsWide)
{
    fonts::DRAW_FARB_VERLAUF(0, 0, 100, 5, 200, 0xFF000000, 0xFFFFFFFF, 0);
    auto colours = gradient(0xFF000000, 0xFFFFFFFF, 50);
    std::vector<std::pair<int, int>> spans;
    for (int i = 1; i <= 50; ++i)
        spans.push_back({2 * (i - 1), 2 * i});
    EXPECT_TRUE(same_picture(window_picture(), bands(0, 0, 5, spans, colours), "bands_fifty"));
}

TEST_F(Colour, FractionalBandsAndTinyWidths)
{
    // Width 7 in 3 bands of 2.33: ends 2, 4, 6, left edges rounded.
    fonts::DRAW_FARB_VERLAUF(10, 10, 7, 3, 3, 0xFF000000, 0xFF0000FF, 0);
    auto colours = gradient(0xFF000000, 0xFF0000FF, 3);
    Picture want = bands(10, 10, 3, {{0, 2}, {2, 4}, {4, 6}}, colours);
    // Width 1 gives no step at all; width 2 one band in the start colour.
    fonts::DRAW_FARB_VERLAUF(100, 10, 1, 3, 5, 0xFFFFFFFF, 0xFFFFFFFF, 0);
    fonts::DRAW_FARB_VERLAUF(200, 10, 2, 3, 5, 0xFF00FF00, 0xFFFF0000, 0);
    fonts::DRAW_FARB_VERLAUF(300, 10, -4, -4, 5, 0xFFFFFFFF, 0xFFFFFFFF, 0);
    want.box(200, 10, 202, 13, 0xFF00FF00);
    EXPECT_TRUE(same_picture(window_picture(), want, "bands_fractional"));
}

TEST_F(Colour, BandsIntoAnImageUseTheSameCorners)
{
    Target img = IMAGE_CREATE(20, 10);
    ASSERT_GT(img, 0);
    fonts::DRAW_FARB_VERLAUF(4, 2, 10, 3, 5, 0xFF000000, 0xFFFFFFFF, img);
    auto colours = gradient(0xFF000000, 0xFFFFFFFF, 5);
    Picture want = testsupport::picture(20, 10, 0xFFFF00FF);
    for (int i = 1; i <= 5; ++i)
        want.box(4 + 2 * (i - 1), 2, 4 + 2 * i, 5, colours[static_cast<size_t>(i)]);
    EXPECT_TRUE(same_picture(testsupport::image_picture(img), want, "bands_image"));
    EXPECT_TRUE(same_picture(window_picture(), blank(), "bands_image_window"));
    fonts::DRAW_FARB_VERLAUF(4, 2, 10, 3, 5, 0xFF000000, 0xFFFFFFFF, 4711); // no such buffer
    EXPECT_TRUE(same_picture(window_picture(), blank(), "bands_unknown_image"));
}

} // namespace
