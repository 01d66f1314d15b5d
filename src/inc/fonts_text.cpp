// Text with a caller's bitmap font, centred and right-aligned text, and the
// one-value accessors for the window size and the mouse.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "inc/fonts.hpp"
#include "rt/error.hpp"
#include "rt/number.hpp"

namespace fonts {
namespace {

using i64 = std::int64_t;

std::int32_t to_i32(i64 v)
{
    return static_cast<std::int32_t>(
        std::clamp<i64>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

i64 text_width(const std::string& text) { return 8 * static_cast<i64>(text.size()); }

// Window width / 2 - round(8 * length / 2), as a real.
double centre_x(const std::string& text)
{
    double half = static_cast<double>(text_width(text)) / 2.0;
    return screen::SCREEN_INFO().width / 2.0 - rt::round_even(half);
}

} // namespace

void DRAWSTRING(screen::Target target, std::int32_t x, std::int32_t y, const std::string& text,
                screen::Color colour, const BitmapFont& font)
{
    RT_PROC("fonts", "DRAWSTRING");
    const i64 n = static_cast<i64>(text.size());
    if (n == 0)
        return;
    if (font.glyphs == nullptr)
        rt::fail(7);
    const i64 w = screen::SCREEN_INFO().width;
    const i64 x0 = x;
    i64 cx = x;
    i64 cy = y;
    // text[n] is the terminator, which a break right at the end lands on.
    auto byte = [&](i64 i) { return static_cast<std::uint8_t>(text[static_cast<size_t>(i)]); };
    for (i64 i = 0; i <= n - 1; ++i) {
        if (byte(i) == 13 && i + 1 <= n && byte(i + 1) == 10) {
            cy += font.char_height;
            i += 2;
            cx = x0;
        }
        for (i64 r = 0; r < font.char_height; ++r) {
            unsigned b = font.glyphs[static_cast<i64>(byte(i)) * font.char_height + r];
            for (i64 px = cx; px <= cx + 7; ++px) {
                if (b & 1u)
                    screen::DRAW_PIXEL(target, to_i32(px), to_i32(cy + r), colour);
                b >>= 1;
            }
        }
        cx += font.char_width;
        if (cx > w)
            break;
    }
}

std::int32_t CENTER(const std::string& text, std::int32_t left, std::int32_t right)
{
    RT_PROC("fonts", "CENTER");
    double d = 2.0;
    i64 r = right;
    if (right == -1) {
        // Measured against the window height, and by 1.5: kept as it always was.
        r = screen::SCREEN_INFO().height;
        d = 1.5;
    }
    const i64 l = left;
    const double span = static_cast<double>(l > r ? l - r : r - l);
    const double low = static_cast<double>(std::min(l, r));
    return to_i32(rt::round_even_i64(span / d - static_cast<double>(text_width(text)) / 2.0 + low));
}

std::int32_t CENTER2(const std::string& text)
{
    RT_PROC("fonts", "CENTER2");
    return to_i32(rt::round_even_i64(centre_x(text)));
}

std::int32_t LOCRIGHT(const std::string& text)
{
    RT_PROC("fonts", "LOCRIGHT");
    return to_i32(screen::SCREEN_INFO().width - text_width(text));
}

void DRAWSTRINGRIGHT(std::int32_t y, const std::string& text, screen::Color colour)
{
    RT_PROC("fonts", "DRAWSTRINGRIGHT");
    if (screen::DRAW_TEXT(0, to_i32(screen::SCREEN_INFO().width - text_width(text)), y, text, colour) != 0)
        rt::fail(1);
}

void DRAWSTRINGCENTER(std::int32_t y, const std::string& text, screen::Color colour)
{
    RT_PROC("fonts", "DRAWSTRINGCENTER");
    if (screen::DRAW_TEXT(0, to_i32(rt::round_even_i64(centre_x(text))), y, text, colour) != 0)
        rt::fail(1);
}

std::int32_t SCX()
{
    RT_PROC("fonts", "SCX");
    return screen::SCREEN_INFO().width;
}

std::int32_t SCY()
{
    RT_PROC("fonts", "SCY");
    return screen::SCREEN_INFO().height;
}

std::int32_t MX()
{
    RT_PROC("fonts", "MX");
    return screen::MOUSE_READ().x;
}

std::int32_t MY()
{
    RT_PROC("fonts", "MY");
    return screen::MOUSE_READ().y;
}

std::int32_t BUT()
{
    RT_PROC("fonts", "BUT");
    return screen::MOUSE_READ().buttons;
}

} // namespace fonts
