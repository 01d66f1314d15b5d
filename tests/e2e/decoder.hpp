// Window captures and how they read as text: every 8x16 cell is matched
// against the program's own glyph tables, whatever its colours.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

// Pixels as 0xRRGGBB, row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> px;

    Image() = default;
    Image(int w, int h, std::uint32_t fill = 0) : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
    std::uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    void set(int x, int y, std::uint32_t c) { px[static_cast<size_t>(y) * width + x] = c; }
};

// The character grid laid over an image.
struct Grid {
    int columns = 100;
    int rows = 25;
    int cell_width = 8;
    int cell_height = 16;
};

struct ScreenText {
    std::vector<std::string> rows; // code page 850 bytes, one per column
    int cursor_row = 0;            // 1-based cell carrying the cursor bar, 0 when none seen
    int cursor_col = 0;
    int unmatched = 0;             // cells that matched no glyph exactly

    // Row r (1-based) without trailing blanks; empty outside the grid.
    std::string row(int r) const;
    // All rows without trailing blanks, joined by '\n', trailing empty rows dropped.
    std::string joined() const;
    bool contains(std::string_view needle) const;
    // 1-based number of the first row holding needle, 0 when none does.
    int find_row(std::string_view needle) const;
};

// Reads the grid of an image. A pixel counts as set when it differs from the
// cell's background (the image's commonest colour where the cell has it).
ScreenText decode(const Image& image, const Grid& grid = {});

// Drawing the way the program draws, for checking the decoder.
void render_text(Image& image, int row, int col, std::string_view text, std::uint32_t fg, std::uint32_t bg,
                 const Grid& grid = {});
void render_cursor(Image& image, int row, int col, std::uint32_t fg, const Grid& grid = {});

// The w x h picture shown at (x, y) of a capture at a whole scale, taken
// back to one pixel per picture pixel (the top-left pixel of each block).
Image picture_of(const Image& capture, int x, int y, int scale, int w = 800, int h = 400);
// True when every scale x scale block of the picture at (x, y) is one colour.
bool blocks_are_uniform(const Image& capture, int x, int y, int scale, int w = 800, int h = 400);

// Binary PPM (P6); false when the file cannot be written.
bool write_ppm(const Image& image, const std::string& path);

} // namespace e2e
