// Pixel drawing and the mouse: boxes, lines, glyphs and pixels into the
// window and image buffers, clipping, and what MOUSE_READ answers.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>

#include "screen/backend.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/golden.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;
using testsupport::Picture;
using testsupport::same_picture;
using testsupport::window_picture;

namespace {

constexpr Color k_black = 0xFF000000;
constexpr Color k_red = 0xFFFF0000;
constexpr Color k_green = 0xFF00FF00;
constexpr Color k_blue = 0xFF0000FF;
constexpr Color k_mask = 0xFFFF00FF;

class Draw : public testsupport::WindowTest {
protected:

    static Picture blank() { return testsupport::picture(800, 400, k_black); }
};

TEST_F(Draw, BoxOutlineHasAllFourInclusiveEdges)
{
    DRAW_LINE(0, 10, 10, 20, 15, k_red, 1);
    Picture want = blank();
    for (int x = 10; x <= 20; ++x) {
        want.set(x, 10, k_red);
        want.set(x, 15, k_red);
    }
    for (int y = 10; y <= 15; ++y) {
        want.set(10, y, k_red);
        want.set(20, y, k_red);
    }
    EXPECT_TRUE(same_picture(window_picture(), want, "box_outline"));
}

TEST_F(Draw, FilledBoxCoversElevenBySixInAnyCornerOrder)
{
    const int corners[][4] = {{10, 10, 20, 15}, {20, 15, 10, 10}, {20, 10, 10, 15}, {10, 15, 20, 10}};
    for (auto& c : corners) {
        st::reset();
        ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
        DRAW_LINE(0, c[0], c[1], c[2], c[3], k_green, 2);
        Picture want = blank();
        want.box(10, 10, 20, 15, k_green);
        EXPECT_TRUE(same_picture(window_picture(), want, "box_filled_" + std::to_string(c[0]) + "_" + std::to_string(c[1])));
    }
    int count = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 800; ++x)
            count += st::pixel(x, y) == k_green;
    EXPECT_EQ(count, 66);
}

TEST_F(Draw, DegenerateBoxesAreLinesAndPoints)
{
    DRAW_LINE(0, 5, 3, 5, 3, k_red, 1);
    DRAW_LINE(0, 30, 7, 30, 2, k_blue, 2);
    Picture want = blank();
    want.set(5, 3, k_red);
    want.box(30, 2, 30, 7, k_blue);
    EXPECT_TRUE(same_picture(window_picture(), want, "box_degenerate"));
}

TEST_F(Draw, LinesIncludeBothEndsAndFollowTheNearestPixel)
{
    // Shallow: y = round(x * 4 / 10); steep: x = round(y * 2 / 7).
    DRAW_LINE(0, 0, 0, 10, 4, k_red, 0);
    DRAW_LINE(0, 100, 0, 102, 7, k_green, 0);
    DRAW_LINE(0, 200, 50, 190, 40, k_blue, 0); // 45 degrees, right to left, upward
    DRAW_LINE(0, 300, 9, 300, 9, k_red, 0);    // a single point
    Picture want = blank();
    const int shallow[] = {0, 0, 1, 1, 2, 2, 2, 3, 3, 4, 4};
    for (int x = 0; x <= 10; ++x)
        want.set(x, shallow[x], k_red);
    const int steep[] = {0, 0, 1, 1, 1, 1, 2, 2};
    for (int y = 0; y <= 7; ++y)
        want.set(100 + steep[y], y, k_green);
    for (int i = 0; i <= 10; ++i)
        want.set(200 - i, 50 - i, k_blue);
    want.set(300, 9, k_red);
    EXPECT_TRUE(same_picture(window_picture(), want, "lines"));
}

TEST_F(Draw, ALineDrawnBackwardsSetsTheSamePixels)
{
    DRAW_LINE(0, 10, 4, 0, 0, k_red, 0);
    DRAW_LINE(0, 102, 7, 100, 0, k_green, 0);
    Picture want = blank();
    const int shallow[] = {0, 0, 1, 1, 2, 2, 2, 3, 3, 4, 4};
    for (int x = 0; x <= 10; ++x)
        want.set(x, shallow[x], k_red);
    const int steep[] = {0, 0, 1, 1, 1, 1, 2, 2};
    for (int y = 0; y <= 7; ++y)
        want.set(100 + steep[y], y, k_green);
    EXPECT_TRUE(same_picture(window_picture(), want, "lines_backwards"));
}

TEST_F(Draw, EverythingOutsideTheWindowIsClippedAway)
{
    DRAW_LINE(0, -5, -5, 3, 3, k_red, 2);         // top-left corner
    DRAW_LINE(0, 790, 390, 900, 500, k_green, 1); // only the top and left edges show
    DRAW_LINE(0, -100, 50, 900, 50, k_blue, 0);   // a whole row
    DRAW_LINE(0, 400, -10, 400, 10, k_red, 0);    // enters from above
    DRAW_PIXEL(0, -1, 0, k_red);
    DRAW_PIXEL(0, 0, -1, k_red);
    DRAW_PIXEL(0, 800, 0, k_red);
    DRAW_PIXEL(0, 0, 400, k_red);
    DRAW_PIXEL(0, 799, 399, k_green);
    DRAW_LINE(0, -50, -50, -10, -10, k_red, 2);   // wholly outside
    DRAW_LINE(0, 850, 10, 900, 10, k_red, 0);
    Picture want = blank();
    want.box(0, 0, 3, 3, k_red);
    want.box(790, 390, 799, 390, k_green);
    want.box(790, 390, 790, 399, k_green);
    want.box(0, 50, 799, 50, k_blue);
    want.box(400, 0, 400, 10, k_red);
    want.set(799, 399, k_green);
    EXPECT_TRUE(same_picture(window_picture(), want, "clipping"));
}

TEST_F(Draw, HugeCoordinatesNeitherHangNorOverflow)
{
    auto t0 = std::chrono::steady_clock::now();
    DRAW_LINE(0, -1000000000, -1000000000, 1000000000, 1000000000, k_red, 0);
    DRAW_LINE(0, INT_MIN, 399, INT_MAX, 399, k_green, 0);
    DRAW_LINE(0, INT_MIN, INT_MIN, INT_MAX, INT_MAX, k_blue, 1);
    DRAW_LINE(0, INT_MAX, INT_MAX, INT_MIN, INT_MIN, k_blue, 2);
    DRAW_TEXT(0, INT_MAX, INT_MAX, "abc", k_red);
    DRAW_TEXT(0, INT_MIN, INT_MIN, "abc", k_red);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    // The filled box covered everything; draw the diagonal again on top of it.
    DRAW_LINE(0, -1000000000, -1000000000, 1000000000, 1000000000, k_red, 0);
    Picture want = testsupport::picture(800, 400, k_blue);
    for (int i = 0; i < 400; ++i)
        want.set(i, i, k_red);
    EXPECT_TRUE(same_picture(window_picture(), want, "huge_coordinates"));
}

TEST_F(Draw, UnknownKindsDrawNothing)
{
    DRAW_LINE(0, 10, 10, 20, 20, k_red, 3);
    DRAW_LINE(0, 10, 10, 20, 20, k_red, -1);
    EXPECT_TRUE(same_picture(window_picture(), blank(), "unknown_kind"));
}

TEST_F(Draw, TextSetsOnlyGlyphPixelsOverAColouredBox)
{
    DRAW_LINE(0, 20, 30, 60, 50, k_blue, 2);
    EXPECT_EQ(DRAW_TEXT(0, 24, 32, "Ab\xDB", k_red), 0);
    Picture want = blank();
    want.box(20, 30, 60, 50, k_blue);
    want.glyph(24, 32, 16, 'A', k_red);
    want.glyph(32, 32, 16, 'b', k_red);
    want.glyph(40, 32, 16, 0xDB, k_red);
    EXPECT_TRUE(same_picture(window_picture(), want, "text_over_box"));
    // Between the strokes of the A the box colour is still there.
    int box_left = 0;
    for (int y = 32; y < 48; ++y)
        for (int x = 24; x < 32; ++x)
            box_left += st::pixel(x, y) == k_blue;
    EXPECT_GT(box_left, 64);
}

TEST_F(Draw, TextUsesTheGridFontAndIsClipped)
{
    TEXT_WIDTH(100, 50); // 8-pixel font
    EXPECT_EQ(DRAW_TEXT(0, -4, 395, "WM", k_green), 0);
    EXPECT_EQ(DRAW_TEXT(0, 796, -3, "Q", k_green), 0);
    Picture want = blank();
    want.glyph(-4, 395, 8, 'W', k_green);
    want.glyph(4, 395, 8, 'M', k_green);
    want.glyph(796, -3, 8, 'Q', k_green);
    EXPECT_TRUE(same_picture(window_picture(), want, "text_clipped_font8"));
}

TEST_F(Draw, TextResults)
{
    EXPECT_EQ(DRAW_TEXT(0, 0, 0, "", k_red), 0);
    EXPECT_EQ(DRAW_TEXT(0, 5000, 5000, "off the window", k_red), 0);
    EXPECT_NE(DRAW_TEXT(12345, 0, 0, "x", k_red), 0) << "no such image";
    EXPECT_TRUE(same_picture(window_picture(), blank(), "text_results"));
    st::reset();
    EXPECT_NE(DRAW_TEXT(0, 0, 0, "x", k_red), 0) << "no window";
    EXPECT_NE(DRAW_TEXT(0, 0, 0, "", k_red), 0) << "no window";
    DRAW_LINE(0, 0, 0, 10, 10, k_red, 2); // no window: nothing to draw into, no failure
    DRAW_PIXEL(0, 0, 0, k_red);
    EXPECT_EQ(IMAGE_CREATE(16, 8), 0);
}

TEST_F(Draw, ImageCreateFillsWithTheMaskColour)
{
    Target img = IMAGE_CREATE(16, 8);
    ASSERT_GT(img, 0);
    EXPECT_TRUE(same_picture(testsupport::image_picture(img), testsupport::picture(16, 8, k_mask), "image_new"));
    Target second = IMAGE_CREATE(1, 1);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, img);
    EXPECT_EQ(IMAGE_CREATE(0, 8), 0);
    EXPECT_EQ(IMAGE_CREATE(16, -1), 0);
    EXPECT_EQ(IMAGE_CREATE(INT_MAX, INT_MAX), 0);
}

TEST_F(Draw, ImagesAreTargetsOfTheirOwnAndClipToTheirSize)
{
    Target img = IMAGE_CREATE(16, 8);
    ASSERT_GT(img, 0);
    DRAW_LINE(img, -3, -3, 2, 2, k_red, 2);
    DRAW_LINE(img, 0, 7, 40, 7, k_blue, 0);
    DRAW_PIXEL(img, 15, 0, k_green);
    DRAW_PIXEL(img, 16, 0, k_green);
    EXPECT_EQ(DRAW_TEXT(img, 8, -8, "T", k_green), 0);
    Picture want = testsupport::picture(16, 8, k_mask);
    want.box(0, 0, 2, 2, k_red);
    want.box(0, 7, 15, 7, k_blue);
    want.set(15, 0, k_green);
    want.glyph(8, -8, 16, 'T', k_green);
    EXPECT_TRUE(same_picture(testsupport::image_picture(img), want, "image_drawn"));
    EXPECT_TRUE(same_picture(window_picture(), blank(), "image_leaves_window"));
}

TEST_F(Draw, DestroyedOrUnknownImagesDrawNothing)
{
    Target img = IMAGE_CREATE(4, 4);
    ASSERT_GT(img, 0);
    IMAGE_DESTROY(img);
    int w = 0, h = 0;
    EXPECT_FALSE(st::image_size(img, w, h));
    DRAW_LINE(img, 0, 0, 3, 3, k_red, 2);
    DRAW_PIXEL(img, 1, 1, k_red);
    DRAW_LINE(999, 0, 0, 3, 3, k_red, 2);
    IMAGE_DESTROY(img); // twice is harmless
    IMAGE_DESTROY(0);
    EXPECT_TRUE(same_picture(window_picture(), blank(), "unknown_image"));
    EXPECT_TRUE(st::window_open());
}

TEST_F(Draw, DrawnPixelsArePresentedAndClearedWithTheText)
{
    int before = headless::presents();
    DRAW_PIXEL(0, 3, 3, k_red);
    EXPECT_GT(headless::presents(), before) << "the window is told without an extra call";
    DRAW_LINE(0, 700, 380, 720, 399, k_red, 2); // below every printed row
    TEXT_CLEAR();
    EXPECT_TRUE(same_picture(window_picture(), blank(), "cleared"));
}

TEST_F(Draw, PrintingOverDrawnPixelsRedrawsTheCell)
{
    TEXT_PRINT("A", false);
    Picture printed = window_picture(0, 0, 8, 16);
    DRAW_LINE(0, 0, 0, 7, 15, k_red, 2);
    TEXT_LOCATE(1, 1);
    TEXT_PRINT("A", false);
    EXPECT_TRUE(same_picture(window_picture(0, 0, 8, 16), printed, "reprinted_cell"));
}

class Mice : public Draw {};

TEST_F(Mice, ReadsThePointerWhileActiveAndInside)
{
    headless::set_mouse(123, 45, 5, -3);
    Mouse m = MOUSE_READ();
    EXPECT_EQ(m.x, 123);
    EXPECT_EQ(m.y, 45);
    EXPECT_EQ(m.wheel, -3);
    EXPECT_EQ(m.buttons, 5);
    EXPECT_EQ(m.clip, 0);
    EXPECT_EQ(m.status, 0);
    input_mouse_wheel(2);
    input_mouse_move(0, 399);
    m = MOUSE_READ();
    EXPECT_EQ(m.wheel, -1);
    EXPECT_EQ(m.x, 0);
    EXPECT_EQ(m.y, 399);
}

void expect_unavailable(const Mouse& m, const char* why)
{
    EXPECT_EQ(m.x, -1) << why;
    EXPECT_EQ(m.y, -1) << why;
    EXPECT_EQ(m.wheel, -1) << why;
    EXPECT_EQ(m.buttons, -1) << why;
    EXPECT_EQ(m.clip, -1) << why;
    EXPECT_EQ(m.status, 1) << why;
}

TEST_F(Mice, AnswersMinusOneOutsideInactiveOrWithoutAWindow)
{
    headless::set_mouse(10, 10, 1, 0, true, false);
    expect_unavailable(MOUSE_READ(), "pointer outside");
    headless::set_mouse(10, 10, 1, 0, false, true);
    expect_unavailable(MOUSE_READ(), "window inactive");
    headless::set_mouse(10, 10, 1, 0, true, true);
    EXPECT_EQ(MOUSE_READ().status, 0);
    st::reset();
    headless::set_mouse(10, 10, 1, 0, true, true);
    expect_unavailable(MOUSE_READ(), "no window");
}

} // namespace
