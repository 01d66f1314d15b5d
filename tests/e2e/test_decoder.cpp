// The screen decoder against images drawn from the glyph tables: what it
// reads must be what was drawn, in any colour and under the cursor bar.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "decoder.hpp"
#include "harness.hpp"
#include "screen/glyphs.hpp"

namespace e2e {
namespace {

constexpr std::uint32_t k_grey = 0xAAAAAA;
constexpr std::uint32_t k_black = 0x000000;

bool same_glyph(std::uint8_t a, std::uint8_t b)
{
    return std::memcmp(screen::glyphs::glyph(16, a), screen::glyphs::glyph(16, b), 16) == 0;
}

std::string padded(std::string s) { return s.append(100 - s.size(), ' '); }

TEST(Decoder, ReadsRowsOfTextAtTheirColumns)
{
    Image img(800, 400, k_black);
    render_text(img, 1, 1, "Wohin sollen die Dateien hinkopiert werden (Pfad): /tmp/x", k_grey, k_black);
    render_text(img, 3, 1, "Datei 3 (0.000 MB ) von 3 ( 0MB ) wir Kopiert", k_grey, k_black);
    render_text(img, 12, 40, "Kopy: c.mp3 - Ready%", k_grey, k_black);
    render_text(img, 25, 91, "0123456789", k_grey, k_black);

    ScreenText t = decode(img);
    ASSERT_EQ(t.rows.size(), 25u);
    EXPECT_EQ(t.rows[0], padded("Wohin sollen die Dateien hinkopiert werden (Pfad): /tmp/x"));
    EXPECT_EQ(t.row(3), "Datei 3 (0.000 MB ) von 3 ( 0MB ) wir Kopiert");
    EXPECT_EQ(t.row(12), std::string(39, ' ') + "Kopy: c.mp3 - Ready%");
    EXPECT_EQ(t.row(25), std::string(90, ' ') + "0123456789");
    EXPECT_EQ(t.row(2), "");
    EXPECT_EQ(t.unmatched, 0);
    EXPECT_EQ(t.cursor_row, 0);
}

TEST(Decoder, EveryByteReadsAsAGlyphThatDrawsTheSame)
{
    Image img(800, 400, k_black);
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    render_text(img, 1, 1, all.substr(0, 100), k_grey, k_black);
    render_text(img, 2, 1, all.substr(100, 100), k_grey, k_black);
    render_text(img, 3, 1, all.substr(200), k_grey, k_black);

    ScreenText t = decode(img);
    std::string read = t.rows[0] + t.rows[1] + t.rows[2].substr(0, 56);
    for (int c = 0; c < 256; ++c) {
        auto got = static_cast<std::uint8_t>(read[static_cast<size_t>(c)]);
        EXPECT_TRUE(same_glyph(got, static_cast<std::uint8_t>(c))) << "byte " << c << " read as " << int(got);
        if (c >= 0x21 && c < 0x7f) {
            EXPECT_EQ(got, c) << "printable ASCII reads as itself";
        }
    }
    // Blanks read as the blank, not as NUL or the no-break space.
    EXPECT_EQ(t.rows[0][0], ' ');
    EXPECT_EQ(t.unmatched, 0);
}

TEST(Decoder, ForegroundAndBackgroundColoursDoNotMatter)
{
    Image img(800, 400, k_black);
    render_text(img, 1, 1, "white", 0xFFFFFF, k_black);
    render_text(img, 2, 1, "red on blue", 0xFF0000, 0x0000FF);
    render_text(img, 3, 5, "\xDB\xDB\xDC", k_grey, k_black); // full blocks are not blanks
    render_text(img, 4, 1, "dark on light", 0x101010, 0xF0F0F0);

    ScreenText t = decode(img);
    EXPECT_EQ(t.row(1), "white");
    EXPECT_EQ(t.row(2), "red on blue");
    EXPECT_EQ(t.row(3), "    \xDB\xDB\xDC");
    EXPECT_EQ(t.row(4), "dark on light");
    EXPECT_EQ(t.unmatched, 0);
}

TEST(Decoder, CursorBarOnABlankCellIsReportedAndReadsBlank)
{
    Image img(800, 400, k_black);
    render_text(img, 1, 1, "Wohin sollen die Dateien hinkopiert werden (Pfad): ", k_grey, k_black);
    render_cursor(img, 1, 52, k_grey);

    ScreenText t = decode(img);
    EXPECT_EQ(t.row(1), "Wohin sollen die Dateien hinkopiert werden (Pfad):");
    EXPECT_EQ(t.rows[0][51], ' ');
    EXPECT_EQ(t.cursor_row, 1);
    EXPECT_EQ(t.cursor_col, 52);
    EXPECT_EQ(t.unmatched, 0);
}

TEST(Decoder, CursorBarOverAnyGlyphKeepsTheGlyph)
{
    for (int c = 0; c < 256; ++c) {
        Image img(800, 400, k_black);
        render_text(img, 7, 1, "ab", k_grey, k_black);
        render_text(img, 7, 3, std::string(1, static_cast<char>(c)), k_grey, k_black);
        render_cursor(img, 7, 3, k_grey);
        ScreenText t = decode(img);
        auto got = static_cast<std::uint8_t>(t.rows[6][2]);
        EXPECT_TRUE(same_glyph(got, static_cast<std::uint8_t>(c))) << "byte " << c << " read as " << int(got);
        EXPECT_EQ(t.rows[6].substr(0, 2), "ab");
        const std::uint8_t* g = screen::glyphs::glyph(16, static_cast<std::uint8_t>(c));
        if (g[14] != 0xff || g[15] != 0xff) {
            // Only a glyph with a full bottom hides the bar.
            EXPECT_EQ(t.cursor_row, 7) << "byte " << c;
            EXPECT_EQ(t.cursor_col, 3) << "byte " << c;
        }
    }
}

TEST(Decoder, ADamagedCellStillReadsAsTheNearestGlyph)
{
    Image img(800, 400, k_black);
    render_text(img, 2, 1, "Exist: a.mp3", k_grey, k_black);
    // One pixel of the 'x' flipped.
    int x = 8 * 1 + 3, y = 16 + 9;
    img.set(x, y, img.at(x, y) == k_black ? k_grey : k_black);

    ScreenText t = decode(img);
    EXPECT_EQ(t.row(2), "Exist: a.mp3");
    EXPECT_EQ(t.unmatched, 1);
}

TEST(Decoder, SmallerImageGivesOnlyTheCellsItHolds)
{
    Image img(80, 32, k_black);
    render_text(img, 2, 1, "0123456789", k_grey, k_black);
    ScreenText t = decode(img);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1], "0123456789");
}

TEST(ScreenTextQueries, TrimJoinAndFind)
{
    ScreenText t;
    t.rows = {padded("first"), padded(""), padded("  third  x"), padded(""), padded("")};
    EXPECT_EQ(t.row(3), "  third  x");
    EXPECT_EQ(t.row(0), "");
    EXPECT_EQ(t.row(6), "");
    EXPECT_EQ(t.joined(), "first\n\n  third  x");
    EXPECT_EQ(t.find_row("third"), 3);
    EXPECT_EQ(t.find_row("fourth"), 0);
    EXPECT_TRUE(t.contains("first"));
}

TEST(Snapshot, PpmHoldsThePixelsRowByRow)
{
    Image img(3, 2, k_black);
    img.set(0, 0, 0x112233);
    img.set(2, 1, 0xAABBCC);
    std::string path = ::testing::TempDir() + "/velmora_snapshot.ppm";
    ASSERT_TRUE(write_ppm(img, path));
    std::string bytes = read_file(path);
    std::remove(path.c_str());
    const std::string head = "P6\n3 2\n255\n";
    ASSERT_EQ(bytes.size(), head.size() + 18);
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    EXPECT_EQ(bytes.substr(head.size(), 3), "\x11\x22\x33");
    EXPECT_EQ(bytes.substr(head.size() + 15, 3), "\xAA\xBB\xCC");
    EXPECT_FALSE(write_ppm(img, "/nonexistent-folder/x.ppm"));
}

TEST(TargetPaths, HostPathsInTheProgramsSpelling)
{
    Target native;
    EXPECT_EQ(native.path("/tmp/a/b.mp3"), "/tmp/a/b.mp3");
    EXPECT_EQ(native.join("/tmp/a", "b.mp3"), "/tmp/a/b.mp3");
    Target wine;
    wine.separator = '\\';
    wine.drive = "Z:";
    EXPECT_EQ(wine.path("/tmp/a/b.mp3"), "Z:\\tmp\\a\\b.mp3");
    EXPECT_EQ(wine.join("Z:\\tmp", "b.mp3"), "Z:\\tmp\\b.mp3");
}

} // namespace
} // namespace e2e
