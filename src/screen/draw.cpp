// Pixel drawing into the window or an image buffer: glyphs, lines, boxes and
// single pixels, all clipped to the target. Image buffers live in the state.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

#include "screen/glyphs.hpp"
#include "screen/state.hpp"

namespace screen {
using namespace detail;

namespace {

using i64 = std::int64_t;

// Larger buffers are refused rather than risking the process on one request.
constexpr i64 k_max_image_pixels = i64{1} << 27;
constexpr Color k_mask_colour = 0xFFFF00FF;

struct Surface {
    std::uint32_t* px = nullptr;
    int w = 0;
    int h = 0;
    bool window = false;
};

Surface surface(Data& s, Target target)
{
    if (target == 0) {
        if (!s.window || s.fb.empty())
            return {};
        render_cells(s);
        return {s.fb.data(), s.width, s.height, true};
    }
    auto it = s.images.find(target);
    if (it == s.images.end())
        return {};
    return {it->second.pixels.data(), it->second.width, it->second.height, false};
}

// Pixel rows written by one operation, so the window presents only those.
struct Rows {
    i64 first = std::numeric_limits<i64>::max();
    i64 last = -1;
    void add(i64 y0, i64 y1)
    {
        first = std::min(first, y0);
        last = std::max(last, y1);
    }
};

void finish(Data& s, const Surface& sf, const Rows& rows)
{
    if (!sf.window || rows.last < rows.first)
        return;
    int y0 = static_cast<int>(rows.first);
    int y1 = static_cast<int>(rows.last);
    // The grid's cell cache no longer matches these rows.
    s.pixels_drawn = true;
    invalidate_cells(s, y0, y1);
    mark_dirty(s, y0, y1);
    notify(s);
}

inline void put(const Surface& sf, i64 x, i64 y, Color c)
{
    sf.px[static_cast<size_t>(y) * static_cast<size_t>(sf.w) + static_cast<size_t>(x)] = c;
}

// Inclusive corners in any order.
void fill_rect(const Surface& sf, i64 xa, i64 ya, i64 xb, i64 yb, Color c, Rows& rows)
{
    i64 x0 = std::max<i64>(std::min(xa, xb), 0);
    i64 x1 = std::min<i64>(std::max(xa, xb), sf.w - 1);
    i64 y0 = std::max<i64>(std::min(ya, yb), 0);
    i64 y1 = std::min<i64>(std::max(ya, yb), sf.h - 1);
    if (x0 > x1 || y0 > y1)
        return;
    for (i64 y = y0; y <= y1; ++y) {
        std::uint32_t* row = sf.px + static_cast<size_t>(y) * static_cast<size_t>(sf.w);
        std::fill(row + x0, row + x1 + 1, c);
    }
    rows.add(y0, y1);
}

// Steps along the major axis; the minor coordinate is i·minor/major rounded
// (halves away from the start), which is the pixel set Bresenham draws.
// Only the steps whose major coordinate lies on the target are visited, so a
// line reaching far outside costs no more than one across the target.
void line(const Surface& sf, i64 x1, i64 y1, i64 x2, i64 y2, Color c, Rows& rows)
{
    i64 adx = x2 >= x1 ? x2 - x1 : x1 - x2;
    i64 ady = y2 >= y1 ? y2 - y1 : y1 - y2;
    int sx = x2 >= x1 ? 1 : -1;
    int sy = y2 >= y1 ? 1 : -1;
    bool x_major = adx >= ady;
    i64 major = x_major ? adx : ady;
    i64 minor = x_major ? ady : adx;
    i64 start = x_major ? x1 : y1;
    int dir = x_major ? sx : sy;
    i64 limit = (x_major ? sf.w : sf.h) - 1;

    i64 lo = std::max<i64>(0, dir > 0 ? -start : start - limit);
    i64 hi = std::min<i64>(major, dir > 0 ? limit - start : start);
    for (i64 i = lo; i <= hi; ++i) {
        i64 off = 0;
        if (major > 0) {
            using u128 = unsigned __int128;
            u128 num = u128(2) * u128(i) * u128(minor) + u128(major);
            off = static_cast<i64>(num / (u128(2) * u128(major)));
        }
        i64 x = x_major ? x1 + sx * i : x1 + sx * off;
        i64 y = x_major ? y1 + sy * off : y1 + sy * i;
        if (x < 0 || y < 0 || x >= sf.w || y >= sf.h)
            continue;
        put(sf, x, y, c);
        rows.add(y, y);
    }
}

} // namespace

int DRAW_TEXT(Target target, int x, int y, const std::string& text, Color colour)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    Surface sf = surface(s, target);
    if (sf.px == nullptr)
        return 1;
    if (text.empty())
        return 0;
    const int fh = s.font_height;
    i64 top = std::max<i64>(y, 0);
    i64 bottom = std::min<i64>(i64{y} + fh - 1, sf.h - 1);
    if (top > bottom)
        return 0;
    // Only the characters whose 8-pixel cell meets the target.
    i64 n = static_cast<i64>(text.size());
    i64 k_first = x >= 0 ? 0 : (-i64{x}) / 8;
    i64 k_last = std::min<i64>(n - 1, (i64{sf.w} - 1 - x) >= 0 ? (i64{sf.w} - 1 - x) / 8 : -1);
    Rows rows;
    for (i64 k = k_first; k <= k_last; ++k) {
        const std::uint8_t* g = glyphs::glyph(fh, static_cast<std::uint8_t>(text[static_cast<size_t>(k)]));
        i64 cx = i64{x} + 8 * k;
        for (i64 py = top; py <= bottom; ++py) {
            std::uint8_t bits = g[py - y];
            if (bits == 0)
                continue;
            for (int b = 0; b < 8; ++b) {
                i64 px = cx + b;
                if ((bits & (0x80u >> b)) && px >= 0 && px < sf.w)
                    put(sf, px, py, colour);
            }
        }
        rows.add(top, bottom);
    }
    finish(s, sf, rows);
    return 0;
}

void DRAW_LINE(Target target, int x1, int y1, int x2, int y2, Color colour, int kind)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    Surface sf = surface(s, target);
    if (sf.px == nullptr)
        return;
    Rows rows;
    switch (kind) {
    case 0:
        line(sf, x1, y1, x2, y2, colour, rows);
        break;
    case 1:
        fill_rect(sf, x1, y1, x2, y1, colour, rows);
        fill_rect(sf, x1, y2, x2, y2, colour, rows);
        fill_rect(sf, x1, y1, x1, y2, colour, rows);
        fill_rect(sf, x2, y1, x2, y2, colour, rows);
        break;
    case 2:
        fill_rect(sf, x1, y1, x2, y2, colour, rows);
        break;
    default:
        return; // no such shape
    }
    finish(s, sf, rows);
}

void DRAW_PIXEL(Target target, int x, int y, Color colour)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    Surface sf = surface(s, target);
    if (sf.px == nullptr || x < 0 || y < 0 || x >= sf.w || y >= sf.h)
        return;
    put(sf, x, y, colour);
    Rows rows;
    rows.add(y, y);
    finish(s, sf, rows);
}

Target IMAGE_CREATE(int width, int height)
{
    if (width < 1 || height < 1 || i64{width} * height > k_max_image_pixels)
        return 0;
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    // Buffers take the window's depth, so there is none without a window.
    if (!s.window)
        return 0;
    Image img;
    img.width = width;
    img.height = height;
    try {
        img.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), k_mask_colour);
        Target id = s.next_image++;
        s.images.emplace(id, std::move(img));
        return id;
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
}

void IMAGE_DESTROY(Target image)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.images.erase(image);
}

} // namespace screen
