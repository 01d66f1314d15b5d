// The screen state, the input entry points and the presentation hand-off.
#include "screen/state.hpp"

#include <algorithm>
#include <cstring>

#include "screen/glyphs.hpp"

namespace screen::detail {

std::array<std::atomic<std::uint8_t>, 128> g_held{};
std::atomic<bool> g_window_open{false};
std::atomic<bool> g_no_sleep{false};

State& state()
{
    static State s;
    return s;
}

void mark_dirty(State& s, int first_row, int last_row)
{
    first_row = std::max(first_row, 0);
    last_row = std::min(last_row, s.height - 1);
    if (first_row > last_row)
        return;
    if (s.dirty_first < 0 || first_row < s.dirty_first)
        s.dirty_first = first_row;
    if (last_row > s.dirty_last)
        s.dirty_last = last_row;
}

void notify(State& s)
{
    if (s.window && s.backend && s.dirty_first >= 0)
        s.backend->changed();
}

void invalidate_cells(State& s, int y0, int y1)
{
    if (s.cells.empty() || s.font_height <= 0)
        return;
    int r0 = std::max(y0 / s.font_height, 0);
    int r1 = std::min(y1 / s.font_height, s.rows - 1);
    for (int r = r0; r <= r1; ++r) {
        for (int c = 0; c < s.columns; ++c)
            s.cells[static_cast<size_t>(r * s.columns + c)].valid = false;
        s.touched_rows[static_cast<size_t>(r)] = 1;
    }
}

void draw_cell(State& s, int row, int col, std::uint8_t ch)
{
    Cell& cell = s.cells[static_cast<size_t>((row - 1) * s.columns + (col - 1))];
    s.touched_rows[static_cast<size_t>(row - 1)] = 1;
    if (cell.valid && cell.ch == ch && cell.fg == s.fg && cell.bg == s.bg)
        return;
    cell = Cell{ch, s.fg, s.bg, true};
    const std::uint8_t* g = glyphs::glyph(s.font_height, ch);
    int x0 = 8 * (col - 1);
    int y0 = s.font_height * (row - 1);
    for (int y = 0; y < s.font_height; ++y) {
        std::uint32_t* px = s.fb.data() + static_cast<size_t>(y0 + y) * static_cast<size_t>(s.width) + x0;
        std::uint8_t bits = g[y];
        for (int x = 0; x < 8; ++x)
            px[x] = (bits & (0x80u >> x)) ? s.fg : s.bg;
    }
    mark_dirty(s, y0, y0 + s.font_height - 1);
}

void scroll_if_needed(State& s)
{
    if (s.cur_row <= s.rows)
        return;
    int by = s.cur_row - s.rows;
    s.cur_row = s.rows;
    if (!s.window)
        return;
    by = std::min(by, s.rows);
    auto cols = static_cast<size_t>(s.columns);
    auto keep = static_cast<size_t>(s.rows - by);
    std::move(s.cells.begin() + static_cast<std::ptrdiff_t>(by * cols), s.cells.end(), s.cells.begin());
    std::fill(s.cells.begin() + static_cast<std::ptrdiff_t>(keep * cols), s.cells.end(), Cell{' ', s.fg, s.bg, true});
    std::move(s.touched_rows.begin() + by, s.touched_rows.end(), s.touched_rows.begin());
    std::fill(s.touched_rows.begin() + static_cast<std::ptrdiff_t>(keep), s.touched_rows.end(), 1);
    auto w = static_cast<size_t>(s.width);
    auto fh = static_cast<size_t>(s.font_height);
    auto grid_px = static_cast<size_t>(s.rows) * fh * w;
    std::memmove(s.fb.data(), s.fb.data() + static_cast<size_t>(by) * fh * w, (keep * fh * w) * sizeof(std::uint32_t));
    std::fill(s.fb.begin() + static_cast<std::ptrdiff_t>(keep * fh * w),
              s.fb.begin() + static_cast<std::ptrdiff_t>(grid_px), s.bg);
    mark_dirty(s, 0, s.rows * s.font_height - 1);
}

void put_byte(State& s, std::uint8_t ch)
{
    switch (ch) {
    case 8:
        if (s.cur_col > 1)
            --s.cur_col;
        return;
    case 9: {
        int next = ((s.cur_col - 1) / 8 + 1) * 8 + 1;
        while (s.cur_col < next && s.cur_row <= s.rows) {
            put_byte(s, ' ');
            if (s.cur_col == 1)
                break; // the tab wrapped onto a new row
        }
        return;
    }
    case 10:
        s.cur_col = 1;
        ++s.cur_row;
        scroll_if_needed(s);
        return;
    case 13:
        s.cur_col = 1;
        return;
    default:
        break;
    }
    put_glyph(s, ch);
}

void put_glyph(State& s, std::uint8_t ch)
{
    if (s.window)
        draw_cell(s, s.cur_row, s.cur_col, ch);
    if (++s.cur_col > s.columns) {
        s.cur_col = 1;
        ++s.cur_row;
        scroll_if_needed(s);
    }
}

void idle_backend()
{
    Backend* b = nullptr;
    {
        State& s = state();
        std::lock_guard lock(s.m);
        b = s.backend.get();
    }
    if (b)
        b->idle();
}

} // namespace screen::detail

namespace screen {
using namespace detail;

void set_backend_factory(BackendFactory factory)
{
    State& s = state();
    std::lock_guard lock(s.m);
    s.factory = factory;
}

bool take_changes(std::uint32_t* dst, int& first_row, int& last_row)
{
    State& s = state();
    std::lock_guard lock(s.m);
    if (!s.window || s.dirty_first < 0)
        return false;
    first_row = s.dirty_first;
    last_row = s.dirty_last;
    auto w = static_cast<size_t>(s.width);
    std::memcpy(dst + static_cast<size_t>(first_row) * w, s.fb.data() + static_cast<size_t>(first_row) * w,
                static_cast<size_t>(last_row - first_row + 1) * w * sizeof(std::uint32_t));
    s.dirty_first = s.dirty_last = -1;
    return true;
}

void input_char(std::uint8_t byte)
{
    State& s = state();
    std::lock_guard lock(s.m);
    // 16 slots hold at most 15 codes: a full ring drops its oldest.
    int next = (s.ring_tail + 1) % k_ring;
    if (next == s.ring_head)
        s.ring_head = (s.ring_head + 1) % k_ring;
    s.ring[static_cast<size_t>(s.ring_tail)] = byte;
    s.ring_tail = next;
}

void input_extended(int scan_code)
{
    State& s = state();
    std::lock_guard lock(s.m);
    int next = (s.ring_tail + 1) % k_ring;
    if (next == s.ring_head)
        s.ring_head = (s.ring_head + 1) % k_ring;
    s.ring[static_cast<size_t>(s.ring_tail)] = extended_code(scan_code);
    s.ring_tail = next;
}

void input_key(int scan_code, bool down)
{
    if (scan_code >= 0 && scan_code < 128)
        g_held[static_cast<size_t>(scan_code)].store(down ? 1 : 0, std::memory_order_relaxed);
}

void input_release_all_keys()
{
    for (auto& k : g_held)
        k.store(0, std::memory_order_relaxed);
}

void input_mouse_move(int x, int y)
{
    State& s = state();
    std::lock_guard lock(s.m);
    s.mouse_x = x;
    s.mouse_y = y;
}

void input_mouse_buttons(int mask)
{
    State& s = state();
    std::lock_guard lock(s.m);
    s.mouse_buttons = mask;
}

void input_mouse_wheel(int delta)
{
    State& s = state();
    std::lock_guard lock(s.m);
    s.mouse_wheel += delta;
}

void input_focus(bool active)
{
    State& s = state();
    std::lock_guard lock(s.m);
    s.active = active;
    if (!active)
        input_release_all_keys();
}

void input_pointer_inside(bool inside)
{
    State& s = state();
    std::lock_guard lock(s.m);
    s.inside = inside;
}

} // namespace screen
