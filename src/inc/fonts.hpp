// Module fonts: the grid font and cursor, text placement, standard-output
// printing, immediate-mode widgets, colour channels and gradients.
#pragma once
#include <cstdint>
#include <string>

#include "rt/array.hpp"
#include "screen/screen.hpp"

namespace fonts {

// Grid procedures.
std::int32_t SET_VXFONT(std::int32_t height);
std::int32_t GETFONT();
void PRINTCURSOR(std::int32_t& row, std::int32_t& column, std::int32_t& visible);

// Text placement. A caller's bitmap font: 256 glyphs of char_height bytes
// each, glyph c at offset c * char_height, bit 0 of a byte the leftmost pixel.
struct BitmapFont {
    std::int32_t char_width = 8;
    std::int32_t char_height = 0;
    const std::uint8_t* glyphs = nullptr; // owned by the caller
};
void DRAWSTRING(screen::Target target, std::int32_t x, std::int32_t y, const std::string& text,
                screen::Color colour, const BitmapFont& font);
std::int32_t CENTER(const std::string& text, std::int32_t left, std::int32_t right);
std::int32_t CENTER2(const std::string& text);
std::int32_t LOCRIGHT(const std::string& text);
void DRAWSTRINGRIGHT(std::int32_t y, const std::string& text, screen::Color colour);
void DRAWSTRINGCENTER(std::int32_t y, const std::string& text, screen::Color colour);
std::int32_t SCX();
std::int32_t SCY();
std::int32_t MX();
std::int32_t MY();
std::int32_t BUT();

// Standard-stream printing: file numbers taken on first use and kept.
std::int32_t GETSTDIN();
std::int32_t GETSTDOUT();
void PRINT(const char* text);
void PRINTNL(const char* text);
void PRINTNL(std::int32_t value);
void PRINTNL(std::uint32_t value);
void PRINTNL(std::int64_t value);
void PRINTNL(std::uint64_t value);
void PRINTNL(double value);

// Colour channels and gradients. `image`: 0 the window, -1 a buffer made
// for the call and released after it, else an image buffer.
std::int32_t GETROT(screen::Color colour);
std::int32_t GETGRUEN(screen::Color colour);
std::int32_t GETBLAU(screen::Color colour);
std::int32_t GETALPHA(screen::Color colour);
std::uint32_t BCOLOR();
std::uint32_t VCOLOR();
// colours: bounds 0 .. steps, element 0 is 0, the gradient from 1 on.
void FARB_VERLAUF(screen::Color start_colour, screen::Color end_colour, std::uint32_t steps,
                  rt::Array<screen::Color>& colours);
void TEXT_FARB_VERLAUF(std::int32_t x, std::int32_t y, const std::string& text, screen::Color start_colour,
                       screen::Color end_colour, screen::Target image);
void DRAW_FARB_VERLAUF(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t steps,
                       screen::Color start_colour, screen::Color end_colour, screen::Target image);

// Widgets: buttons, text field, selection list
std::int32_t BUTTON(std::int32_t x, std::int32_t y, const std::string& caption, screen::Color box_colour,
                    screen::Color text_colour, screen::Color hover_box_colour, screen::Color hover_text_colour);
std::int32_t DRAWSTRING_WITH_MOUSE(std::int32_t x, std::int32_t y, std::int32_t margin, const std::string& text,
                                   screen::Color colour, screen::Color hover_colour);
void TEXTFELD(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, const std::string& text,
              std::int32_t& line, rt::Array<std::int32_t>& state, screen::Color text_colour,
              screen::Color border_colour, screen::Color background_colour);
std::string AUSWAHLLISTE(const rt::Array<std::string>& entries, std::int32_t& position, double repeat_delay);
// End of widgets

} // namespace fonts
