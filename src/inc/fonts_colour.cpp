// Colour channels, the text colour query, and gradients: as a colour array,
// as a text whose characters change colour, and as vertical bands.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "inc/fonts.hpp"
#include "rt/error.hpp"
#include "rt/number.hpp"

namespace fonts {
namespace {

using i64 = std::int64_t;

// Alpha, red, green, blue.
using Channels = std::array<std::int32_t, 4>;

Channels split(screen::Color c)
{
    return {static_cast<std::int32_t>(c >> 24), static_cast<std::int32_t>((c >> 16) & 0xFF),
            static_cast<std::int32_t>((c >> 8) & 0xFF), static_cast<std::int32_t>(c & 0xFF)};
}

screen::Color pack(const Channels& ch)
{
    return static_cast<screen::Color>(ch[0]) << 24 | static_cast<screen::Color>(ch[1]) << 16 |
           static_cast<screen::Color>(ch[2]) << 8 | static_cast<screen::Color>(ch[3]);
}

std::int32_t clamp_channel(std::int32_t v) { return std::max(std::min(v, 255), 0); }

std::int32_t round_i32(double v) { return static_cast<std::int32_t>(rt::round_even_i64(v)); }

int coord(double v)
{
    constexpr double lim = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(rt::round_even_i64(std::clamp(v, -lim, lim)));
}

// A buffer asked for with -1 lives for the one call and is released after it.
struct CallImage {
    screen::Target id = 0;
    bool owned = false;
    CallImage(screen::Target image, int width, int height, std::source_location loc)
        : id(image)
    {
        if (image != -1)
            return;
        id = screen::IMAGE_CREATE(width, height);
        // Without a window no buffer can exist at all; with one, it is memory.
        if (id == 0)
            rt::fail(screen::SCREEN_INFO().bytes_per_pixel == 0 ? 1 : 4, loc);
        owned = true;
    }
    ~CallImage()
    {
        if (owned)
            screen::IMAGE_DESTROY(id);
    }
    CallImage(const CallImage&) = delete;
    CallImage& operator=(const CallImage&) = delete;
};

} // namespace

std::int32_t GETROT(screen::Color colour)
{
    RT_PROC("fonts", "GETROT");
    return static_cast<std::int32_t>((colour >> 16) & 0xFF);
}

std::int32_t GETGRUEN(screen::Color colour)
{
    RT_PROC("fonts", "GETGRUEN");
    return static_cast<std::int32_t>((colour >> 8) & 0xFF);
}

std::int32_t GETBLAU(screen::Color colour)
{
    RT_PROC("fonts", "GETBLAU");
    return static_cast<std::int32_t>(colour & 0xFF);
}

std::int32_t GETALPHA(screen::Color colour)
{
    RT_PROC("fonts", "GETALPHA");
    return static_cast<std::int32_t>(colour >> 24);
}

std::uint32_t BCOLOR()
{
    RT_PROC("fonts", "BCOLOR");
    return screen::TEXT_COLOR(0, 0, 0) >> 16;
}

std::uint32_t VCOLOR()
{
    RT_PROC("fonts", "VCOLOR");
    return screen::TEXT_COLOR(0, 0, 0) & 0xFFFF;
}

void FARB_VERLAUF(screen::Color start_colour, screen::Color end_colour, std::uint32_t steps,
                  rt::Array<screen::Color>& colours)
{
    RT_PROC("fonts", "FARB_VERLAUF");
    const Channels a = split(start_colour);
    const Channels b = split(end_colour);
    const std::uint32_t gaps = steps - 1; // unsigned: 0 steps gives a huge divisor
    std::array<double, 4> step{};
    Channels work{};
    for (size_t k = 0; k < 4; ++k) {
        // A one-step gradient has no gaps to divide by; it is the start colour.
        step[k] = gaps == 0 ? 0.0 : static_cast<double>(b[k] - a[k]) / static_cast<double>(gaps);
        work[k] = round_i32(a[k] - step[k]);
    }
    colours.reset(0, static_cast<std::int32_t>(steps));
    // Rounded after every step, so the rounding drift adds up along the way.
    for (i64 i = 1; i <= static_cast<i64>(steps); ++i) {
        for (size_t k = 0; k < 4; ++k)
            work[k] = clamp_channel(round_i32(work[k] + step[k]));
        colours.at(static_cast<std::int32_t>(i)) = pack(work);
    }
}

void TEXT_FARB_VERLAUF(std::int32_t x, std::int32_t y, const std::string& text, screen::Color start_colour,
                       screen::Color end_colour, screen::Target image)
{
    RT_PROC("fonts", "TEXT_FARB_VERLAUF");
    const i64 n = static_cast<i64>(text.size());
    if (n == 0)
        return;
    const Channels a = split(start_colour);
    const Channels b = split(end_colour);
    Channels step{}, delay{}, work{};
    for (size_t k = 0; k < 4; ++k) {
        const std::int32_t d = b[k] - a[k];
        // One character has no gaps to divide by: it keeps the start colour.
        step[k] = n == 1 ? 0 : round_i32(static_cast<double>(d) / static_cast<double>(n - 1));
        delay[k] = (n > std::abs(d) && d != 0) ? round_i32(static_cast<double>(n) / d) : 0;
        work[k] = a[k] - step[k];
    }
    const i64 width = 8 * n;
    CallImage target(image, width > std::numeric_limits<int>::max() ? 0 : static_cast<int>(width), 16,
                     std::source_location::current());
    for (i64 i = 1; i <= n; ++i) {
        for (size_t k = 0; k < 4; ++k) {
            if (i >= delay[k])
                work[k] += step[k];
            work[k] = clamp_channel(work[k]);
        }
        const screen::Color colour = pack(work);
        for (size_t k = 0; k < 4; ++k)
            if (work[k] < std::abs(step[k]))
                work[k] = 0;
        const std::string ch(1, text[static_cast<size_t>(i - 1)]);
        const i64 off = 8 * (i - 1);
        const int rc = target.id != 0 ? screen::DRAW_TEXT(target.id, coord(static_cast<double>(off)), 0, ch, colour)
                                      : screen::DRAW_TEXT(0, coord(static_cast<double>(x + off)), y, ch, colour);
        if (rc != 0)
            rt::fail(1);
    }
}

void DRAW_FARB_VERLAUF(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t steps,
                       screen::Color start_colour, screen::Color end_colour, screen::Target image)
{
    RT_PROC("fonts", "DRAW_FARB_VERLAUF");
    width = std::max(width, 1);
    height = std::max(height, 1);
    // Every band at least two pixels wide.
    if (static_cast<double>(steps) > width / 2.0)
        steps = static_cast<std::uint32_t>(width / 2);
    rt::Array<screen::Color> colours;
    FARB_VERLAUF(start_colour, end_colour, steps, colours);
    if (steps == 0)
        return;
    CallImage target(image, width, height, std::source_location::current());
    const double band = static_cast<double>(width) / colours.ubound();
    i64 band_end = 0;
    for (std::int32_t i = 1; i <= static_cast<std::int32_t>(steps); ++i) {
        band_end = rt::round_even_i64(static_cast<double>(band_end) + band);
        if (band_end > width)
            break;
        // The corners travel as single-precision reals; the left one may
        // carry a fraction, which the drawing rounds to the nearest pixel.
        const float left = static_cast<float>(static_cast<double>(x) + static_cast<double>(band_end) - band);
        const float top = static_cast<float>(y);
        const float right = static_cast<float>(static_cast<double>(x) + static_cast<double>(band_end));
        const float bottom = static_cast<float>(static_cast<double>(y) + height);
        screen::DRAW_LINE(target.id, coord(left), coord(top), coord(right), coord(bottom), colours.at(i), 2);
    }
}

} // namespace fonts
