// Code page 850 glyph tables, 8 pixels wide, 8, 14 and 16 pixel rows.
// One byte per pixel row, bit 7 is the leftmost pixel.
#pragma once
#include <cstdint>

namespace screen::glyphs {

extern const std::uint8_t k_font8[256 * 8];
extern const std::uint8_t k_font14[256 * 14];
extern const std::uint8_t k_font16[256 * 16];

// The character each code page 850 byte shows, the control bytes as their PC
// symbols (0x07 is U+2022); byte 0 stands for U+0000.
extern const char16_t k_unicode[256];
// Windows-1252 bytes 0x80-0x9F as characters (the rest of that code page is
// Latin-1); 0 for the five bytes it leaves undefined.
extern const char16_t k_cp1252_high[32];

// Rows of the glyph for `ch` in the font of that height (8, 14 or 16; others give 16).
inline const std::uint8_t* glyph(int height, std::uint8_t ch)
{
    switch (height) {
    case 8: return k_font8 + ch * 8;
    case 14: return k_font14 + ch * 14;
    default: return k_font16 + ch * 16;
    }
}

} // namespace screen::glyphs
