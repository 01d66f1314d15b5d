// Golden pixel checks: build the expected picture, capture the actual one
// from the window or an image buffer, and compare with tolerance 0. On a
// mismatch both are saved as PPM files and the first differing pixel named.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "screen/screen.hpp"

namespace testsupport {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> px; // 0xAARRGGBB, row by row

    std::uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    // Writes outside the picture are ignored, like the drawing they mirror.
    void set(int x, int y, std::uint32_t c);
    // Inclusive corners in any order.
    void box(int x1, int y1, int x2, int y2, std::uint32_t c);
    // One glyph of the screen layer's font of that height, set pixels only.
    void glyph(int x, int y, int font_height, std::uint8_t ch, std::uint32_t c);
};

Picture picture(int width, int height, std::uint32_t fill);
// A region of the window (pixels outside it read as 0).
Picture window_picture(int x, int y, int width, int height);
Picture window_picture();
Picture image_picture(screen::Target image);

// Where mismatching pictures go: $VELMORA_GOLDEN_DIR, else a folder in the
// test temp directory.
std::string golden_dir();

// Tolerance 0. `name` labels the saved files <name>.actual.ppm / .expected.ppm.
::testing::AssertionResult same_picture(const Picture& actual, const Picture& expected, const std::string& name);

} // namespace testsupport
