// Where the fixed-size picture sits in a window of any size, and how the
// desktop's scale factor is read. Shared by the window backends, free of
// SDL and Win32 so it can be tested by number.
#pragma once
#include <algorithm>
#include <cstdlib>

namespace screen::detail {

// The picture at the largest whole-number scale that fits, centred; a window
// smaller than the picture shows it unscaled from its top-left corner.
struct Layout {
    int scale = 1;
    int x = 0;
    int y = 0;
};

inline Layout fit_picture(int window_w, int window_h, int picture_w, int picture_h)
{
    Layout l;
    if (picture_w > 0 && picture_h > 0)
        l.scale = std::max(1, std::min(window_w / picture_w, window_h / picture_h));
    l.x = std::max(0, (window_w - picture_w * l.scale) / 2);
    l.y = std::max(0, (window_h - picture_h * l.scale) / 2);
    return l;
}

// A window point as a picture point; false for a point on the black border.
inline bool to_picture(const Layout& l, int picture_w, int picture_h, int wx, int wy, int& px, int& py)
{
    int dx = wx - l.x;
    int dy = wy - l.y;
    if (dx < 0 || dy < 0)
        return false;
    px = dx / l.scale;
    py = dy / l.scale;
    return px < picture_w && py < picture_h;
}

// The whole scale a factor text asks for ("2", "2.0", "1.5" gives 1); 1 when
// absent or unreadable.
inline int scale_of_factor(const char* text)
{
    if (!text || !*text)
        return 1;
    char* end = nullptr;
    double f = std::strtod(text, &end);
    if (end == text || !(f >= 1.0) || f > 16.0)
        return 1;
    return static_cast<int>(f);
}

// 96 dots per inch is scale 1; 192 asks for 2.
inline int scale_of_dpi(double dpi)
{
    if (!(dpi >= 96.0) || dpi > 96.0 * 16)
        return 1;
    return static_cast<int>(dpi / 96.0);
}

// The largest scale not above `wanted` at which a picture of this size still
// fits into the given desktop area.
inline int scale_that_fits(int wanted, int picture_w, int picture_h, int area_w, int area_h)
{
    int scale = std::max(1, wanted);
    while (scale > 1 && (picture_w * scale > area_w || picture_h * scale > area_h))
        --scale;
    return scale;
}

} // namespace screen::detail
