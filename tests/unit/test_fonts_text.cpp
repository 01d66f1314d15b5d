// Text with a caller's bitmap font (bit order, line breaks, the stop at the
// window edge), centring and right alignment, and the window/mouse accessors.
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

// A 5-row font in which glyph c draws its own byte value in binary on row 0
// (bit 0 leftmost), a bar on row 2 and the pixel for bit 7 on row 4, so
// every byte, the terminator included, leaves a mark of its own.
struct TestFont {
    static constexpr int h = 5;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(256 * h, 0);
    fonts::BitmapFont font;
    explicit TestFont(int advance = 8)
    {
        for (int c = 0; c < 256; ++c) {
            bytes[static_cast<size_t>(c * h + 0)] = static_cast<std::uint8_t>(c);
            bytes[static_cast<size_t>(c * h + 2)] = 0x3C;
            bytes[static_cast<size_t>(c * h + 4)] = 0x80;
        }
        font.char_width = advance;
        font.char_height = h;
        font.glyphs = bytes.data();
    }
    // What one glyph looks like at (x, y), written out independently of DRAWSTRING.
    void expect(Picture& p, int x, int y, std::uint8_t c, Color colour) const
    {
        for (int r = 0; r < h; ++r)
            for (int bit = 0; bit < 8; ++bit)
                if (bytes[static_cast<size_t>(c * h + r)] & (1u << bit))
                    p.set(x + bit, y + r, colour);
    }
};

class Text : public testsupport::WindowTest {
protected:
    static Picture blank() { return testsupport::picture(800, 400, k_black); }
};

TEST_F(Text, DrawstringBitZeroIsTheLeftmostPixel)
{
    TestFont f;
    fonts::DRAWSTRING(0, 10, 20, "\x01\x80", k_white, f.font);
    EXPECT_EQ(st::pixel(10, 20), k_white);
    EXPECT_EQ(st::pixel(17, 20), k_black);
    EXPECT_EQ(st::pixel(18 + 7, 20), k_white);
    EXPECT_EQ(st::pixel(18, 20), k_black);
    Picture want = blank();
    f.expect(want, 10, 20, 0x01, k_white);
    f.expect(want, 18, 20, 0x80, k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_bits"));
}

TEST_F(Text, DrawstringLeavesTheBackgroundAndHonoursTheAdvance)
{
    DRAW_LINE(0, 0, 0, 60, 10, k_blue, 2);
    TestFont narrow(5);
    fonts::DRAWSTRING(0, 2, 3, "ab", k_white, narrow.font);
    TestFont wide(12); // glyph rows still have 8 pixels only
    fonts::DRAWSTRING(0, 100, 3, "\xFF\xFF", k_white, wide.font);
    Picture want = blank();
    want.box(0, 0, 60, 10, k_blue);
    narrow.expect(want, 2, 3, 'a', k_white);
    narrow.expect(want, 7, 3, 'b', k_white);
    wide.expect(want, 100, 3, 0xFF, k_white);
    wide.expect(want, 112, 3, 0xFF, k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_advance"));
}

TEST_F(Text, DrawstringBreaksLinesAtCarriageReturnLineFeed)
{
    TestFont f;
    fonts::DRAWSTRING(0, 40, 10, "AB\r\nC", k_white, f.font);
    Picture want = blank();
    f.expect(want, 40, 10, 'A', k_white);
    f.expect(want, 48, 10, 'B', k_white);
    f.expect(want, 40, 15, 'C', k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_break"));
}

TEST_F(Text, DrawstringBreakAtTheEndDrawsTheTerminator)
{
    TestFont f;
    fonts::DRAWSTRING(0, 40, 10, "A\r\n", k_white, f.font);
    Picture want = blank();
    f.expect(want, 40, 10, 'A', k_white);
    f.expect(want, 40, 15, 0, k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_break_at_end"));
}

TEST_F(Text, DrawstringTakesOneBreakPerPosition)
{
    TestFont f;
    fonts::DRAWSTRING(0, 40, 10, "X\r\n\r\nY", k_white, f.font);
    Picture want = blank();
    f.expect(want, 40, 10, 'X', k_white);
    f.expect(want, 40, 15, 13, k_white); // the second pair is drawn, not taken
    f.expect(want, 48, 15, 10, k_white);
    f.expect(want, 56, 15, 'Y', k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_double_break"));
}

TEST_F(Text, DrawstringLoneControlBytesAreGlyphs)
{
    TestFont f;
    fonts::DRAWSTRING(0, 0, 0, "\n\r", k_white, f.font);
    Picture want = blank();
    f.expect(want, 0, 0, 10, k_white);
    f.expect(want, 8, 0, 13, k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_lone_controls"));
}

TEST_F(Text, DrawstringStopsAfterTheCharacterThatPassesTheEdge)
{
    TestFont f;
    // 780, 788 and 796: the advance after the third passes 800, so the rest
    // of the text, the line break included, is not drawn.
    fonts::DRAWSTRING(0, 780, 10, "ABCD\r\nE", k_white, f.font);
    Picture want = blank();
    f.expect(want, 780, 10, 'A', k_white);
    f.expect(want, 788, 10, 'B', k_white);
    f.expect(want, 796, 10, 'C', k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_stop"));
    // Reaching 800 exactly is not past the edge.
    st::reset();
    ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
    fonts::DRAWSTRING(0, 784, 10, "AB\r\nC", k_white, f.font);
    want = blank();
    f.expect(want, 784, 10, 'A', k_white);
    f.expect(want, 792, 10, 'B', k_white);
    f.expect(want, 784, 15, 'C', k_white);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_edge"));
}

TEST_F(Text, DrawstringIntoAnImage)
{
    TestFont f;
    Target img = IMAGE_CREATE(16, 6);
    ASSERT_GT(img, 0);
    fonts::DRAWSTRING(img, 4, 1, "\x0F", k_white, f.font);
    Picture want = testsupport::picture(16, 6, 0xFFFF00FF);
    f.expect(want, 4, 1, 0x0F, k_white);
    EXPECT_TRUE(same_picture(testsupport::image_picture(img), want, "drawstring_image"));
    EXPECT_TRUE(same_picture(window_picture(), blank(), "drawstring_image_window"));
}

TEST_F(Text, DrawstringWithoutGlyphsIsANullPointerError)
{
    fonts::BitmapFont none{8, 16, nullptr};
    fonts::DRAWSTRING(0, 0, 0, "", k_white, none); // nothing to draw, nothing read
    auto r = testsupport::run_child([&] { fonts::DRAWSTRING(0, 0, 0, "A", k_white, none); });
    EXPECT_EQ(r.status, 7);
    EXPECT_NE(r.err.find("null pointer access"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("fonts::DRAWSTRING()"), std::string::npos) << r.err;
}

TEST_F(Text, CenterBetweenTwoPositions)
{
    const std::string ten(10, 'x');
    EXPECT_EQ(fonts::CENTER(ten, 100, 500), 260);
    EXPECT_EQ(fonts::CENTER(ten, 500, 100), 260);
    EXPECT_EQ(fonts::CENTER(ten, 0, -1), 227); // the window height, by 1.5
    EXPECT_EQ(fonts::CENTER("", 0, 10), 5);
    EXPECT_EQ(fonts::CENTER("x", 0, 9), 0);  // 0.5 goes to the even 0
    EXPECT_EQ(fonts::CENTER("x", 0, 11), 2); // 1.5 goes to 2
    EXPECT_EQ(fonts::CENTER(std::string(20, 'x'), 0, 100), -30);
}

TEST_F(Text, CenteredAndRightAlignedPositions)
{
    EXPECT_EQ(fonts::CENTER2("abc"), 388);
    EXPECT_EQ(fonts::CENTER2(""), 400);
    EXPECT_EQ(fonts::LOCRIGHT(std::string(100, 'x')), 0);
    EXPECT_EQ(fonts::LOCRIGHT(std::string(101, 'x')), -8);
    EXPECT_EQ(fonts::LOCRIGHT("ab"), 784);
}

TEST_F(Text, DrawstringRightAndCenterDrawWithTheGridFont)
{
    fonts::DRAWSTRINGRIGHT(5, "Hi", k_white);
    fonts::DRAWSTRINGCENTER(30, "abc", k_blue);
    Picture want = blank();
    want.glyph(784, 5, 16, 'H', k_white);
    want.glyph(792, 5, 16, 'i', k_white);
    want.glyph(388, 30, 16, 'a', k_blue);
    want.glyph(396, 30, 16, 'b', k_blue);
    want.glyph(404, 30, 16, 'c', k_blue);
    EXPECT_TRUE(same_picture(window_picture(), want, "drawstring_right_center"));
}

TEST_F(Text, DrawingWithoutAWindowIsARuntimeError)
{
    for (bool centre : {false, true}) {
        auto r = testsupport::run_child([centre] {
            st::reset();
            centre ? fonts::DRAWSTRINGCENTER(0, "x", k_white) : fonts::DRAWSTRINGRIGHT(0, "x", k_white);
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(centre ? "fonts::DRAWSTRINGCENTER()" : "fonts::DRAWSTRINGRIGHT()"), std::string::npos)
            << r.err;
    }
}

TEST_F(Text, WindowAndMouseAccessors)
{
    EXPECT_EQ(fonts::SCX(), 800);
    EXPECT_EQ(fonts::SCY(), 400);
    headless::set_mouse(12, 34, 2);
    EXPECT_EQ(fonts::MX(), 12);
    EXPECT_EQ(fonts::MY(), 34);
    EXPECT_EQ(fonts::BUT(), 2);
    headless::set_mouse(12, 34, 2, 0, true, false);
    EXPECT_EQ(fonts::MX(), -1);
    EXPECT_EQ(fonts::MY(), -1);
    EXPECT_EQ(fonts::BUT(), -1);
}

} // namespace
