// The scrolling text field: a framed box of fixed-width rows with a scroll
// bar whose thumb is dragged with the left button; jumps to its end when
// the text changes length between calls.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "inc/fonts.hpp"
#include "inc/fonts_geometry.hpp"
#include "rt/error.hpp"

namespace fonts {

using detail::coord;
using detail::inside_open;

namespace {

constexpr screen::Color k_thumb_hot = 0xFF0032FF;
constexpr screen::Color k_thumb = 0xFF0000C8;

void box(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, screen::Color colour, int kind)
{
    screen::DRAW_LINE(0, coord(x1), coord(y1), coord(x2), coord(y2), colour, kind);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

void TEXTFELD(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, const std::string& text,
              std::int32_t& line, rt::Array<std::int32_t>& state, screen::Color text_colour,
              screen::Color border_colour, screen::Color background_colour)
{
    RT_PROC("fonts", "TEXTFELD");
    const std::int64_t X = x, Y = y, W = w, H = h;
    // Narrower than 33 pixels no byte fits in a row and the row arithmetic
    // would divide by zero: refuse the call instead.
    if (W < 33)
        rt::fail(1);

    state.resize(0, 10);
    if (background_colour != 0)
        box(X, Y, X + W, Y + H + 5, background_colour, 2);
    if (border_colour != 0)
        box(X, Y, X + W, Y + H + 5, border_colour, 1);
    box(X + W - 16, Y + 4, X + W - 3, Y + H - 4, border_colour, 2);

    const std::int64_t font_height = GETFONT();
    if (font_height < 1)
        rt::fail(1);
    const std::int64_t visible_rows = H / font_height;
    const std::int64_t row_chars = (W - 25) / 8;
    const screen::Mouse m = screen::MOUSE_READ();
    const std::int64_t mx = m.x, my = m.y, b = m.buttons;

    std::int64_t ln = std::max<std::int64_t>(line, 1);
    const std::int64_t len = static_cast<std::int64_t>(text.size());
    const std::int64_t full_rows = len / row_chars;
    const std::int64_t max_line = std::max<std::int64_t>(full_rows - visible_rows + 1, 1);

    const std::int32_t stored_len = static_cast<std::int32_t>(std::min<std::int64_t>(len, std::numeric_limits<std::int32_t>::max()));
    if (state.at(2) != 0 && stored_len != state.at(2))
        ln = max_line;
    state.at(2) = stored_len;

    const std::int64_t thumb = floor_div(H - 8, max_line);
    ln = std::clamp<std::int64_t>(ln, 1, max_line);
    std::int64_t offset = (ln - 1) * thumb;

    if (max_line > 1) {
        if (inside_open(X + W - 16, mx, X + W - 3) && inside_open(Y, my, Y + H) && b == 1 && state.at(1) == 0)
            state.at(1) = 1;
        // The drag follows the pointer's window y, not the field's.
        if (state.at(1) == 1)
            offset = my - thumb - 30;
        if (state.at(1) == 1 && static_cast<double>(my) > static_cast<double>(Y) + thumb / 2.0 &&
            static_cast<double>(my) >= static_cast<double>(Y + H) - thumb / 2.0 - 1)
            offset = Y + H - 2 * thumb + 8;
        if (offset < 1)
            offset = 0;

        const bool hot = state.at(1) == 1 ||
                         (inside_open(X + W - 16, mx, X + W - 3) && inside_open(Y + offset + 4, my, Y + offset + thumb + 4));
        box(X + W - 16, Y + offset + 4, X + W - 3, Y + offset + thumb + 6, hot ? k_thumb_hot : k_thumb, 2);

        if (b == 1) {
            // Smallest i in 1 .. max_line-1 with (i-1)*thumb >= offset; offset is >= 0 here.
            std::int64_t i;
            if (thumb > 0)
                i = (offset + thumb - 1) / thumb + 1;
            else
                i = offset == 0 ? 1 : max_line;
            ln = i <= max_line - 1 ? i : max_line;
        }
    }
    if (b == 0)
        state.at(1) = 0;
    line = static_cast<std::int32_t>(std::min<std::int64_t>(ln, std::numeric_limits<std::int32_t>::max()));

    for (std::int64_t r = 0; r <= visible_rows; ++r) {
        const std::int64_t start = (ln + r - 1) * row_chars;
        std::string piece;
        if (start < len)
            piece = text.substr(static_cast<size_t>(start), static_cast<size_t>(row_chars));
        if (screen::DRAW_TEXT(0, coord(X + 5), coord(Y + font_height * r), piece, text_colour) != 0)
            rt::fail(1);
        if (len < row_chars * r)
            break;
    }
}

} // namespace fonts
