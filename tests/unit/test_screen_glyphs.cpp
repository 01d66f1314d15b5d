// The code page 850 glyph tables: bit order, blanks, block shapes, and that
// box-drawing pieces join up across cells.
#include "screen/glyphs.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>
#include <vector>

namespace {

using screen::glyphs::glyph;

constexpr int k_heights[] = {8, 14, 16};

int pixels(int h, int ch, std::uint8_t mask = 0xFF)
{
    const std::uint8_t* g = glyph(h, static_cast<std::uint8_t>(ch));
    int n = 0;
    for (int y = 0; y < h; ++y) n += std::popcount(static_cast<unsigned>(g[y] & mask));
    return n;
}

std::vector<std::uint8_t> rows(int h, int ch)
{
    const std::uint8_t* g = glyph(h, static_cast<std::uint8_t>(ch));
    return {g, g + h};
}

TEST(Glyphs, BlankOnlyForNulSpaceAndNbsp)
{
    for (int h : k_heights) {
        for (int ch = 0; ch < 256; ++ch) {
            bool blank = ch == 0x00 || ch == 0x20 || ch == 0xFF;
            EXPECT_EQ(pixels(h, ch) == 0, blank) << "byte " << ch << ", " << h << " rows";
        }
    }
}

TEST(Glyphs, BitSevenIsTheLeftmostPixel)
{
    for (int h : k_heights) {
        for (int ch : {'L', 'F', '['})
            EXPECT_GT(pixels(h, ch, 0xF0), pixels(h, ch, 0x0F)) << char(ch) << ", " << h << " rows";
        for (int ch : {'J', ']'})
            EXPECT_LT(pixels(h, ch, 0xF0), pixels(h, ch, 0x0F)) << char(ch) << ", " << h << " rows";
    }
}

TEST(Glyphs, CapitalAHasACentredApexAndIsSymmetric)
{
    auto a = rows(16, 'A');
    int top = 0;
    while (a[top] == 0) ++top;
    EXPECT_GE(top, 1);
    EXPECT_TRUE(a[top] & 0x10) << "apex in column 3";
    EXPECT_FALSE(a[top] & 0xC3) << "apex stays in the middle";
    int asymmetric = 0;
    for (std::uint8_t r : a) {
        // Mirror within the 7 columns the letters use.
        unsigned mirrored = r & 0x01;
        for (int x = 0; x < 7; ++x)
            if (r & (0x80 >> x)) mirrored |= 0x80u >> (6 - x);
        asymmetric += mirrored != r;
    }
    EXPECT_LE(asymmetric, 1);
    EXPECT_NE(rows(16, 'A'), rows(16, 'B'));
}

TEST(Glyphs, PrintableAsciiGlyphsAreAllDifferent)
{
    for (int h : k_heights)
        for (int a = 0x21; a < 0x7F; ++a)
            for (int b = a + 1; b < 0x7F; ++b)
                EXPECT_NE(rows(h, a), rows(h, b)) << char(a) << char(b) << ", " << h << " rows";
}

TEST(Glyphs, BlocksAndShades)
{
    for (int h : k_heights) {
        const int half = h / 2;
        for (int y = 0; y < h; ++y) {
            EXPECT_EQ(glyph(h, 0xDF)[y], y < half ? 0xFF : 0x00) << "upper half, row " << y;
            EXPECT_EQ(glyph(h, 0xDC)[y], y < half ? 0x00 : 0xFF) << "lower half, row " << y;
            EXPECT_EQ(glyph(h, 0xDB)[y], 0xFF) << "full block, row " << y;
        }
        EXPECT_LT(pixels(h, 0xB0), pixels(h, 0xB1)) << h << " rows";
        EXPECT_LT(pixels(h, 0xB1), pixels(h, 0xB2)) << h << " rows";
        EXPECT_LT(pixels(h, 0xB2), pixels(h, 0xDB)) << h << " rows";
    }
}

// Byte values of the box-drawing pieces with an arm on each side.
struct LineSet {
    std::initializer_list<int> right, left, down, up;
};
constexpr LineSet k_single = {{0xC4, 0xDA, 0xC0, 0xC3, 0xC2, 0xC1, 0xC5},
                              {0xC4, 0xBF, 0xD9, 0xB4, 0xC2, 0xC1, 0xC5},
                              {0xB3, 0xDA, 0xBF, 0xC3, 0xB4, 0xC2, 0xC5},
                              {0xB3, 0xC0, 0xD9, 0xC3, 0xB4, 0xC1, 0xC5}};
constexpr LineSet k_double = {{0xCD, 0xC9, 0xC8, 0xCC, 0xCB, 0xCA, 0xCE},
                              {0xCD, 0xBB, 0xBC, 0xB9, 0xCB, 0xCA, 0xCE},
                              {0xBA, 0xC9, 0xBB, 0xCC, 0xB9, 0xCB, 0xCE},
                              {0xBA, 0xC8, 0xBC, 0xCC, 0xB9, 0xCA, 0xCE}};

TEST(Glyphs, BoxPiecesJoinAcrossCells)
{
    for (const LineSet* set : {&k_single, &k_double}) {
        for (int h : k_heights) {
            for (int a : set->right) {
                for (int b : set->left) {
                    int joined = 0;
                    for (int y = 0; y < h; ++y) {
                        bool out = glyph(h, a)[y] & 0x01, in = glyph(h, b)[y] & 0x80;
                        EXPECT_EQ(out, in) << a << " then " << b << ", row " << y << " of " << h;
                        joined += out;
                    }
                    EXPECT_GT(joined, 0);
                }
            }
            for (int a : set->down) {
                for (int b : set->up) {
                    EXPECT_EQ(glyph(h, a)[h - 1], glyph(h, b)[0]) << a << " above " << b << ", " << h;
                    EXPECT_NE(glyph(h, a)[h - 1], 0);
                }
            }
        }
    }
}

TEST(Glyphs, DoubleLinesAndTrianglesAreNotStandIns)
{
    // The fonts show these through the single-line and arrow glyphs.
    const int pairs[][2] = {{0xBA, 0xB3}, {0xCD, 0xC4}, {0xCE, 0xC5}, {0xC9, 0xDA},
                            {0x1E, 0x18}, {0x1F, 0x19}, {0x10, 0x1A}, {0x11, 0x1B}};
    for (int h : k_heights)
        for (auto [a, b] : pairs) EXPECT_NE(rows(h, a), rows(h, b)) << a << " vs " << b << ", " << h;
}

} // namespace
