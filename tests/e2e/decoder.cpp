// Cell-by-cell glyph matching of window captures, and the renderer the
// decoder's own tests draw with.
#include "decoder.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <unordered_map>

#include "screen/glyphs.hpp"

namespace e2e {

namespace {

constexpr int k_bar_rows = 2; // the line input's cursor bar at the bottom of a cell

// Identical glyphs (blank 0x00, 0x20, 0xFF) read as the plainest byte:
// printable ASCII first, then the upper half, the symbols of 1..31 last.
const std::array<std::uint8_t, 256>& candidate_order()
{
    static const std::array<std::uint8_t, 256> order = [] {
        std::array<std::uint8_t, 256> o{};
        size_t n = 0;
        for (int c = 0x20; c < 0x7f; ++c)
            o[n++] = static_cast<std::uint8_t>(c);
        for (int c = 0x80; c <= 0xff; ++c)
            o[n++] = static_cast<std::uint8_t>(c);
        for (int c = 0x01; c < 0x20; ++c)
            o[n++] = static_cast<std::uint8_t>(c);
        o[n++] = 0x7f;
        o[n++] = 0x00;
        return o;
    }();
    return order;
}

struct Match {
    std::uint8_t ch = ' ';
    int cost = 1 << 30;
};

Match best_match(const std::uint8_t* bits, int height, int rows_compared)
{
    Match best;
    for (std::uint8_t ch : candidate_order()) {
        const std::uint8_t* g = screen::glyphs::glyph(height, ch);
        int cost = 0;
        for (int y = 0; y < rows_compared && cost < best.cost; ++y)
            cost += std::popcount(static_cast<unsigned>(bits[y] ^ g[y]));
        if (cost < best.cost) {
            best = {ch, cost};
            if (cost == 0)
                break;
        }
    }
    return best;
}

std::uint32_t commonest_colour(const Image& image)
{
    std::unordered_map<std::uint32_t, size_t> count;
    std::uint32_t last = 0;
    size_t run = 0;
    for (std::uint32_t c : image.px) {
        if (c != last && run) {
            count[last] += run;
            run = 0;
        }
        last = c;
        ++run;
    }
    if (run)
        count[last] += run;
    std::uint32_t best = 0;
    size_t n = 0;
    for (auto [c, k] : count)
        if (k > n || (k == n && c < best)) {
            best = c;
            n = k;
        }
    return best;
}

struct CellColours {
    std::uint32_t bg = 0;
    bool uniform = false;
};

// A cell on the window's own background has that colour somewhere; other
// cells use their commonest colour.
CellColours cell_colours(const Image& image, int x0, int y0, const Grid& grid, std::uint32_t window_bg)
{
    // Cells hold two colours, rarely a few more: a short list beats a map.
    std::uint32_t colour[8];
    int count[8];
    int n = 0;
    for (int y = y0; y < y0 + grid.cell_height; ++y)
        for (int x = x0; x < x0 + grid.cell_width; ++x) {
            std::uint32_t p = image.at(x, y);
            int i = 0;
            while (i < n && colour[i] != p)
                ++i;
            if (i == n) {
                if (n == 8)
                    continue;
                colour[n] = p;
                count[n++] = 0;
            }
            ++count[i];
        }
    if (n == 1)
        return {colour[0], true};
    int best = 0;
    for (int i = 0; i < n; ++i) {
        if (colour[i] == window_bg)
            return {window_bg, false};
        if (count[i] > count[best])
            best = i;
    }
    return {colour[best], false};
}

// A cell of one colour is a blank on that colour when the nearest cell with
// a glyph in its row has that background, else a full block in the
// foreground (on the window's background).
std::uint32_t uniform_background(const std::vector<CellColours>& row, size_t i, std::uint32_t window_bg)
{
    std::uint32_t colour = row[i].bg;
    if (colour == window_bg)
        return window_bg;
    for (size_t d = 1; d < row.size(); ++d) {
        for (long j : {static_cast<long>(i) - static_cast<long>(d), static_cast<long>(i + d)}) {
            if (j < 0 || j >= static_cast<long>(row.size()) || row[static_cast<size_t>(j)].uniform)
                continue;
            return row[static_cast<size_t>(j)].bg == colour ? colour : window_bg;
        }
    }
    return window_bg;
}

} // namespace

std::string ScreenText::row(int r) const
{
    if (r < 1 || r > static_cast<int>(rows.size()))
        return {};
    std::string s = rows[static_cast<size_t>(r - 1)];
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string ScreenText::joined() const
{
    std::string all;
    int last = static_cast<int>(rows.size());
    while (last > 0 && row(last).empty())
        --last;
    for (int r = 1; r <= last; ++r)
        all += row(r) + (r < last ? "\n" : "");
    return all;
}

bool ScreenText::contains(std::string_view needle) const { return find_row(needle) != 0; }

int ScreenText::find_row(std::string_view needle) const
{
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].find(needle) != std::string::npos)
            return static_cast<int>(i) + 1;
    return 0;
}

ScreenText decode(const Image& image, const Grid& grid)
{
    ScreenText out;
    int rows = std::min(grid.rows, image.height / grid.cell_height);
    int columns = std::min(grid.columns, image.width / grid.cell_width);
    if (rows <= 0 || columns <= 0 || grid.cell_width != 8)
        return out;
    const std::uint32_t window_bg = commonest_colour(image);
    const int h = grid.cell_height;
    std::vector<std::uint8_t> bits(static_cast<size_t>(h));
    std::vector<CellColours> colours(static_cast<size_t>(columns));
    for (int r = 0; r < rows; ++r) {
        std::string line(static_cast<size_t>(columns), ' ');
        for (int c = 0; c < columns; ++c)
            colours[static_cast<size_t>(c)] = cell_colours(image, c * 8, r * h, grid, window_bg);
        for (int c = 0; c < columns; ++c) {
            int x0 = c * 8, y0 = r * h;
            const CellColours& cc = colours[static_cast<size_t>(c)];
            std::uint32_t bg = cc.uniform ? uniform_background(colours, static_cast<size_t>(c), window_bg) : cc.bg;
            for (int y = 0; y < h; ++y) {
                std::uint8_t b = 0;
                for (int x = 0; x < 8; ++x)
                    if (image.at(x0 + x, y0 + y) != bg)
                        b = static_cast<std::uint8_t>(b | (0x80 >> x));
                bits[static_cast<size_t>(y)] = b;
            }
            Match m = best_match(bits.data(), h, h);
            bool bar = bits[static_cast<size_t>(h - 1)] == 0xff && bits[static_cast<size_t>(h - 2)] == 0xff;
            if (m.cost != 0 && bar) {
                // A glyph under the cursor bar: only the rows above it count.
                Match above = best_match(bits.data(), h, h - k_bar_rows);
                if (above.cost <= m.cost) {
                    m = above;
                    out.cursor_row = r + 1;
                    out.cursor_col = c + 1;
                }
            }
            if (m.cost != 0)
                ++out.unmatched;
            line[static_cast<size_t>(c)] = static_cast<char>(m.ch);
        }
        out.rows.push_back(std::move(line));
    }
    return out;
}

void render_text(Image& image, int row, int col, std::string_view text, std::uint32_t fg, std::uint32_t bg,
                 const Grid& grid)
{
    const int h = grid.cell_height;
    for (size_t i = 0; i < text.size(); ++i) {
        int c = col - 1 + static_cast<int>(i);
        const std::uint8_t* g = screen::glyphs::glyph(h, static_cast<std::uint8_t>(text[i]));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 8; ++x)
                image.set(c * 8 + x, (row - 1) * h + y, (g[y] & (0x80 >> x)) ? fg : bg);
    }
}

void render_cursor(Image& image, int row, int col, std::uint32_t fg, const Grid& grid)
{
    for (int y = row * grid.cell_height - k_bar_rows; y < row * grid.cell_height; ++y)
        for (int x = (col - 1) * 8; x < col * 8; ++x)
            image.set(x, y, fg);
}

bool write_ppm(const Image& image, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height);
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t c = image.at(x, y);
            row[static_cast<size_t>(x) * 3] = static_cast<unsigned char>(c >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>(c >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>(c);
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

Image picture_of(const Image& capture, int x, int y, int scale, int w, int h)
{
    if (scale < 1 || x < 0 || y < 0 || x + w * scale > capture.width || y + h * scale > capture.height)
        return {};
    Image out(w, h);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px)
            out.set(px, py, capture.at(x + px * scale, y + py * scale));
    return out;
}

bool blocks_are_uniform(const Image& capture, int x, int y, int scale, int w, int h)
{
    if (scale < 1 || x < 0 || y < 0 || x + w * scale > capture.width || y + h * scale > capture.height)
        return false;
    for (int py = 0; py < h * scale; ++py)
        for (int px = 0; px < w * scale; ++px)
            if (capture.at(x + px, y + py) != capture.at(x + px / scale * scale, y + py / scale * scale))
                return false;
    return true;
}

} // namespace e2e
