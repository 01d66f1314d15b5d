// Golden pixel pictures: capture, expected-picture building, exact compare
// and PPM output of both sides when they differ.
#include "support/golden.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "screen/glyphs.hpp"
#include "screen/testing.hpp"

namespace testsupport {

void Picture::set(int x, int y, std::uint32_t c)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = c;
}

void Picture::box(int x1, int y1, int x2, int y2, std::uint32_t c)
{
    for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y)
        for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
            set(x, y, c);
}

void Picture::glyph(int x, int y, int font_height, std::uint8_t ch, std::uint32_t c)
{
    const std::uint8_t* g = screen::glyphs::glyph(font_height, ch);
    for (int r = 0; r < font_height; ++r)
        for (int b = 0; b < 8; ++b)
            if (g[r] & (0x80u >> b))
                set(x + b, y + r, c);
}

Picture picture(int width, int height, std::uint32_t fill)
{
    Picture p;
    p.width = width;
    p.height = height;
    p.px.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
    return p;
}

Picture window_picture(int x, int y, int width, int height)
{
    Picture p = picture(width, height, 0);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            p.set(i, j, screen::testing::pixel(x + i, y + j));
    return p;
}

Picture window_picture()
{
    screen::Info info = screen::SCREEN_INFO();
    return window_picture(0, 0, info.width, info.height);
}

Picture image_picture(screen::Target image)
{
    int w = 0, h = 0;
    if (!screen::testing::image_size(image, w, h))
        return {};
    Picture p = picture(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.set(x, y, screen::testing::image_pixel(image, x, y));
    return p;
}

std::string golden_dir()
{
    if (const char* env = std::getenv("VELMORA_GOLDEN_DIR"); env != nullptr && *env != '\0')
        return env;
    return ::testing::TempDir() + "velmora-golden";
}

namespace {

std::string save_ppm(const Picture& p, const std::string& name)
{
    std::error_code ec;
    std::filesystem::create_directories(golden_dir(), ec);
    std::string path = golden_dir() + "/" + name + ".ppm";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return "(not saved: " + path + ")";
    std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
    for (std::uint32_t c : p.px) {
        unsigned char rgb[3] = {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                static_cast<unsigned char>(c)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
    return path;
}

std::string hex(std::uint32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", c);
    return buf;
}

} // namespace

::testing::AssertionResult same_picture(const Picture& actual, const Picture& expected, const std::string& name)
{
    std::ostringstream why;
    if (actual.width != expected.width || actual.height != expected.height) {
        why << name << ": size " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
            << expected.height;
    } else {
        size_t differing = 0;
        int fx = -1, fy = -1;
        for (int y = 0; y < actual.height; ++y)
            for (int x = 0; x < actual.width; ++x)
                if (actual.at(x, y) != expected.at(x, y) && differing++ == 0) {
                    fx = x;
                    fy = y;
                }
        if (differing == 0)
            return ::testing::AssertionSuccess();
        why << name << ": first differing pixel at (" << fx << ", " << fy << "): " << hex(actual.at(fx, fy))
            << ", expected " << hex(expected.at(fx, fy)) << "; " << differing << " pixels differ";
    }
    why << "\n  actual:   " << save_ppm(actual, name + ".actual") << "\n  expected: "
        << save_ppm(expected, name + ".expected");
    return ::testing::AssertionFailure() << why.str();
}

} // namespace testsupport
