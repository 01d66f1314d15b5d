// The screen state, the input entry points and the presentation hand-off.
#include "screen/state.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "screen/charset.hpp"
#include "screen/glyphs.hpp"

namespace screen::detail {

State& state()
{
    static State s;
    return s;
}

void mark_dirty(Data& s, int first_row, int last_row)
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

void notify(Data& s)
{
    if (s.window && s.backend && s.dirty_first >= 0)
        s.backend->changed();
}

void invalidate_cells(Data& s, int y0, int y1)
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

void draw_cell(Data& s, int row, int col, std::uint8_t ch)
{
    Cell& cell = s.cells[static_cast<size_t>((row - 1) * s.columns + (col - 1))];
    s.touched_rows[static_cast<size_t>(row - 1)] = 1;
    cell.ch = ch;
    cell.fg = s.fg;
    cell.bg = s.bg;
    if (cell.pending || cell.shows(ch, s.fg, s.bg))
        return;
    cell.pending = true;
    s.any_pending = true;
    int y0 = s.font_height * (row - 1);
    mark_dirty(s, y0, y0 + s.font_height - 1);
}

void render_cells(Data& s)
{
    if (!s.any_pending)
        return;
    s.any_pending = false;
    // The eight pixels of every possible glyph row in one pair of colours,
    // made again only when the colours change: a row is then one copy.
    struct Rows {
        Color fg = 0, bg = 0;
        bool made = false;
        std::array<std::array<std::uint32_t, 8>, 256> px;
    };
    static thread_local Rows rows;
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.columns; ++c) {
            Cell& cell = s.cells[static_cast<size_t>(r * s.columns + c)];
            if (!cell.pending)
                continue;
            cell.pending = false;
            if (cell.shows(cell.ch, cell.fg, cell.bg))
                continue;
            if (!rows.made || rows.fg != cell.fg || rows.bg != cell.bg) {
                for (unsigned bits = 0; bits < 256; ++bits)
                    for (unsigned x = 0; x < 8; ++x)
                        rows.px[bits][x] = (bits & (0x80u >> x)) ? cell.fg : cell.bg;
                rows.fg = cell.fg;
                rows.bg = cell.bg;
                rows.made = true;
            }
            const std::uint8_t* g = glyphs::glyph(s.font_height, cell.ch);
            int y0 = s.font_height * r;
            for (int y = 0; y < s.font_height; ++y) {
                std::uint32_t* px = s.fb.data() + static_cast<size_t>(y0 + y) * static_cast<size_t>(s.width) + 8 * c;
                std::memcpy(px, rows.px[g[y]].data(), sizeof(rows.px[0]));
            }
            cell = Cell{cell.ch, cell.fg, cell.bg, true};
            mark_dirty(s, y0, y0 + s.font_height - 1);
        }
    }
}

void scroll_if_needed(Data& s)
{
    if (s.cur_row <= s.rows)
        return;
    int by = s.cur_row - s.rows;
    s.cur_row = s.rows;
    if (!s.window)
        return;
    render_cells(s);
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

void put_byte(Data& s, std::uint8_t ch)
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

void put_glyph(Data& s, std::uint8_t ch)
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
        State& st = state();
        std::lock_guard lock(st.m);
        b = st.d.backend.get();
    }
    if (b)
        b->idle();
}

} // namespace screen::detail

namespace screen {
using namespace detail;

void set_backend_factory(BackendFactory factory)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.factory = factory;
}

bool take_changes(std::uint32_t* dst, int& first_row, int& last_row)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    if (!s.window)
        return false;
    render_cells(s);
    if (s.dirty_first < 0)
        return false;
    first_row = s.dirty_first;
    last_row = s.dirty_last;
    auto w = static_cast<size_t>(s.width);
    std::memcpy(dst + static_cast<size_t>(first_row) * w, s.fb.data() + static_cast<size_t>(first_row) * w,
                static_cast<size_t>(last_row - first_row + 1) * w * sizeof(std::uint32_t));
    s.dirty_first = s.dirty_last = -1;
    return true;
}

namespace {

void push_code(int code)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.keys.push(code);
}

} // namespace

void input_char(std::uint8_t byte)
{
    push_code(byte);
}

void input_character(char32_t c)
{
    if (c > 0x10FFFF)
        return; // no character at all
    // ASCII stays a plain byte, as every key user has always seen it.
    push_code(c < 0x80 ? static_cast<int>(c) : k_char_code + static_cast<int>(c));
}

void input_text(const std::string& utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        std::size_t n = utf8_length_at(utf8, i, &c);
        if (n == 0) { // not UTF-8: the byte as a Windows-1252 character
            c = char_of_1252(static_cast<unsigned char>(utf8[i]));
            n = 1;
        }
        input_character(c);
        i += n;
    }
}

void input_extended(int scan_code)
{
    push_code(extended_code(scan_code));
}

void input_key(int scan_code, bool down)
{
    if (scan_code >= 0 && scan_code < 128)
        state().d.held[static_cast<size_t>(scan_code)].store(down ? 1 : 0, std::memory_order_relaxed);
}

void input_release_all_keys()
{
    for (auto& k : state().d.held)
        k.store(0, std::memory_order_relaxed);
}

void input_mouse_move(int x, int y)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.mouse_x = x;
    s.mouse_y = y;
}

void input_mouse_buttons(int mask)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.mouse_buttons = mask;
}

void input_mouse_wheel(int delta)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.mouse_wheel += delta;
}

void input_focus(bool active)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.active = active;
    if (!active)
        input_release_all_keys();
}

void input_pointer_inside(bool inside)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.inside = inside;
}

} // namespace screen
