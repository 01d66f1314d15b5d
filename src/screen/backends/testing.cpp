// The testing interface: the layer back to its start, and what the grid,
// the window and the key buffer hold, read under the screen lock.
#include "screen/testing.hpp"

#include "screen/state.hpp"

namespace screen::testing {
namespace {

using detail::Data;
using detail::State;
using detail::state;

const detail::Cell* cell_at(const Data& s, int row, int column)
{
    if (!s.window || row < 1 || row > s.rows || column < 1 || column > s.columns)
        return nullptr;
    return &s.cells[static_cast<size_t>((row - 1) * s.columns + (column - 1))];
}

// Runs `read` on the data with the lock held.
template <class Read>
auto locked(Read read)
{
    State& st = state();
    std::lock_guard lock(st.m);
    return read(static_cast<const Data&>(st.d));
}

} // namespace

void reset()
{
    State& st = state();
    std::unique_ptr<Backend> old;
    {
        std::lock_guard lock(st.m);
        old = std::move(st.d.backend);
    }
    // Closed unlocked: its thread may be waiting for the lock.
    if (old)
        old->close();
    {
        std::lock_guard lock(st.m);
        st.d = Data{};
    }
    detail::reset_headless();
}

std::string row_text(int row)
{
    return locked([row](const Data& s) {
        std::string out;
        if (!s.window || row < 1 || row > s.rows)
            return out;
        for (int c = 0; c < s.columns; ++c)
            out.push_back(static_cast<char>(s.cells[static_cast<size_t>((row - 1) * s.columns + c)].ch));
        return out;
    });
}

std::string screen_text()
{
    std::string out;
    int rows = grid_rows();
    for (int r = 1; r <= rows; ++r) {
        std::string line = row_text(r);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line;
        if (r < rows)
            out += '\n';
    }
    return out;
}

std::uint8_t cell_char(int row, int column)
{
    return locked([=](const Data& s) -> std::uint8_t {
        auto* c = cell_at(s, row, column);
        return c ? c->ch : 0;
    });
}

Color cell_fg(int row, int column)
{
    return locked([=](const Data& s) -> Color {
        auto* c = cell_at(s, row, column);
        return c ? c->fg : 0;
    });
}

Color cell_bg(int row, int column)
{
    return locked([=](const Data& s) -> Color {
        auto* c = cell_at(s, row, column);
        return c ? c->bg : 0;
    });
}

std::uint32_t pixel(int x, int y)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    detail::render_cells(s);
    if (!s.window || x < 0 || y < 0 || x >= s.width || y >= s.height)
        return 0;
    return s.fb[static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x)];
}

std::uint32_t image_pixel(Target image, int x, int y)
{
    return locked([=](const Data& s) -> std::uint32_t {
        auto it = s.images.find(image);
        if (it == s.images.end() || x < 0 || y < 0 || x >= it->second.width || y >= it->second.height)
            return 0;
        const detail::Image& img = it->second;
        return img.pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width) + static_cast<size_t>(x)];
    });
}

bool image_size(Target image, int& width, int& height)
{
    return locked([&](const Data& s) {
        auto it = s.images.find(image);
        if (it == s.images.end())
            return false;
        width = it->second.width;
        height = it->second.height;
        return true;
    });
}

int cursor_row()
{
    return locked([](const Data& s) { return s.cur_row; });
}

int cursor_column()
{
    return locked([](const Data& s) { return s.cur_col; });
}

bool window_open()
{
    return state().d.window_open.load();
}

std::string title()
{
    return locked([](const Data& s) { return s.title; });
}

int pending_keys()
{
    return locked([](const Data& s) { return s.keys.pending(); });
}

int grid_columns()
{
    return locked([](const Data& s) { return s.columns; });
}

int grid_rows()
{
    return locked([](const Data& s) { return s.rows; });
}

int font_height()
{
    return locked([](const Data& s) { return s.font_height; });
}

} // namespace screen::testing
