// Buttons and mouse-sensitive text: immediate-mode widgets that draw once,
// read the mouse once and report hover and buttons to the caller.
#include <cstdint>

#include "inc/fonts.hpp"
#include "inc/fonts_geometry.hpp"
#include "rt/error.hpp"

namespace fonts {

using detail::coord;
using detail::inside_open;

std::int32_t BUTTON(std::int32_t x, std::int32_t y, const std::string& caption, screen::Color box_colour,
                    screen::Color text_colour, screen::Color hover_box_colour, screen::Color hover_text_colour)
{
    RT_PROC("fonts", "BUTTON");
    if (caption.empty())
        return -1;
    const std::int64_t w = 8 * static_cast<std::int64_t>(caption.size());
    const screen::Mouse m = screen::MOUSE_READ();
    // Strict on every side: the pointer on the box's own edge is not over it.
    const bool over = inside_open(x, m.x, x + w + 20) && inside_open(y, m.y, std::int64_t{y} + 24);
    screen::DRAW_LINE(0, x, y, coord(x + w + 20), coord(std::int64_t{y} + 24), over ? hover_box_colour : box_colour, 2);
    if (screen::DRAW_TEXT(0, coord(std::int64_t{x} + 10), coord(std::int64_t{y} + 4), caption,
                          over ? hover_text_colour : text_colour) != 0)
        rt::fail(1);
    return over ? m.buttons : 0;
}

std::int32_t DRAWSTRING_WITH_MOUSE(std::int32_t x, std::int32_t y, std::int32_t margin, const std::string& text,
                                   screen::Color colour, screen::Color hover_colour)
{
    RT_PROC("fonts", "DRAWSTRING_WITH_MOUSE");
    const std::int64_t w = 8 * static_cast<std::int64_t>(text.size());
    const std::int64_t h = GETFONT();
    const screen::Mouse m = screen::MOUSE_READ();
    const std::int64_t x0 = x, y0 = y, mg = margin;
    const bool over = inside_open(x0 - mg, m.x, x0 + w + mg) && inside_open(y0 - mg, m.y, y0 + h + mg);
    if (screen::DRAW_TEXT(0, x, y, text, over ? hover_colour : colour) != 0)
        rt::fail(1);
    if (m.buttons < 0 || m.buttons > 7)
        return 0;
    return over ? m.buttons + 1 : m.buttons + 9;
}

} // namespace fonts
