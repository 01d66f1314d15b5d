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
