// Window life cycle, the character grid, colours and text printing.
#include <algorithm>
#include <cstdio>

#include "platform/terminal.hpp"
#include "rt/error.hpp"
#include "rt/number.hpp"
#include "screen/state.hpp"

namespace screen {
using namespace detail;

namespace {

// Detaches the backend; the caller closes it after unlocking, since its
// thread may be waiting for the lock.
[[nodiscard]] std::unique_ptr<Backend> close_window(Data& s)
{
    auto old = std::move(s.backend);
    s.window = false;
    s.window_open.store(false);
    input_release_all_keys();
    s.fb.clear();
    s.cells.clear();
    s.any_pending = false;
    s.touched_rows.clear();
    s.images.clear();
    s.dirty_first = s.dirty_last = -1;
    return old;
}

void shut(std::unique_ptr<Backend> b)
{
    if (b)
        b->close();
}

void set_grid(Data& s, int columns, int rows, int font_height)
{
    s.columns = columns;
    s.rows = rows;
    s.font_height = font_height;
    s.cells.assign(static_cast<size_t>(columns * rows), Cell{' ', s.fg, s.bg, true});
    s.any_pending = false;
    s.touched_rows.assign(static_cast<size_t>(rows), 0);
    std::fill(s.fb.begin(), s.fb.end(), s.bg);
    s.pixels_drawn = false;
    s.cleared_bg = s.bg;
    s.cur_row = 1;
    s.cur_col = 1;
    mark_dirty(s, 0, s.height - 1);
}

void print_locked(Data& s, const std::string& text, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        put_byte(s, static_cast<std::uint8_t>(text[i]));
}

void end_program_hook()
{
    State& st = state();
    std::unique_lock lock(st.m);
    auto old = close_window(st.d);
    lock.unlock();
    shut(std::move(old));
}

} // namespace

int SCREEN_TEXT_MODE()
{
    State& st = state();
    {
        Data& s = st.d;
        std::unique_lock lock(st.m);
        auto old = close_window(s);
        lock.unlock();
        shut(std::move(old));
        lock.lock();
        s.columns = 80;
        s.rows = 25;
        s.cur_row = 1;
        s.cur_col = 1;
    }
    if (platform::stdout_is_terminal()) {
        std::fputs("\x1b[2J\x1b[H", stdout);
        std::fflush(stdout);
    }
    return 0;
}

int SCREEN_OPEN(int width, int height, int depth)
{
    if (width < 8 || height < 8 || width > 8192 || height > 8192 || depth != 32)
        return 1;
    State& st = state();
    std::unique_lock lock(st.m);
    Data& s = st.d;
    auto old = close_window(s);
    BackendFactory factory = s.factory;
    lock.unlock();
    shut(std::move(old));
    // Opened without the lock: the backend's thread feeds input while it starts.
    auto backend = factory ? factory() : make_headless_backend();
    if (!backend || !backend->open(width, height))
        return 1;
    // The window closes on the way out; the runtime keeps one of each hook.
    rt::at_end(end_program_hook);
    lock.lock();
    s.backend = std::move(backend);
    s.width = width;
    s.height = height;
    s.depth = depth;
    s.fb.assign(static_cast<size_t>(width) * static_cast<size_t>(height), s.bg);
    s.window = true;
    s.mouse_x = s.mouse_y = 0;
    s.mouse_buttons = 0;
    s.mouse_wheel = 0;
    s.keys = KeyRing{};
    set_grid(s, width / 8, height / 16, 16);
    if (!s.title.empty())
        s.backend->set_title(s.title);
    s.window_open.store(true);
    notify(s);
    return 0;
}

void WINDOW_TITLE(const std::string& text)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.title = text.substr(0, 127);
    if (s.window)
        s.backend->set_title(s.title);
}

Info SCREEN_INFO()
{
    State& st = state();
    std::unique_lock lock(st.m);
    Data& s = st.d;
    Info info;
    if (s.window) {
        info.width = s.width;
        info.height = s.height;
        info.depth = s.depth;
        info.bytes_per_pixel = 4;
        info.pitch = s.width * 4;
        info.refresh_rate = s.backend->refresh_rate();
        info.driver = s.backend->driver();
        return info;
    }
    BackendFactory factory = s.factory;
    lock.unlock();
    auto probe = factory ? factory() : make_headless_backend();
    if (probe) {
        probe->desktop(info.width, info.height, info.depth, info.refresh_rate);
        info.driver = probe->driver();
    }
    return info;
}

std::int32_t TEXT_WIDTH(int columns, int rows)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    if (columns < 1 && rows < 1)
        return s.columns + 65536 * s.rows;
    if (!s.window) {
        if (columns >= 1)
            s.columns = columns;
        if (rows >= 1)
            s.rows = rows;
        s.cur_row = std::min(s.cur_row, s.rows);
        s.cur_col = std::min(s.cur_col, s.columns);
        return 0;
    }
    int cell_w = columns >= 1 ? s.width / columns : 8;
    int cell_h = rows >= 1 ? s.height / rows : s.font_height;
    if (cell_w != 8 || (cell_h != 8 && cell_h != 14 && cell_h != 16))
        return 0;
    set_grid(s, columns >= 1 ? columns : s.columns, rows >= 1 ? rows : s.rows, cell_h);
    notify(s);
    return 0;
}

std::uint32_t TEXT_COLOR(Color fg, Color bg, int which)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    if (!s.window) {
        std::uint32_t prev = (s.console.fg & 0xFFFFu) | (s.console.bg << 16);
        if (which & k_set_fg)
            s.console.fg = fg;
        if (which & k_set_bg)
            s.console.bg = bg;
        return prev;
    }
    std::uint32_t prev = s.fg;
    if (which & k_set_fg)
        s.fg = fg;
    if (which & k_set_bg)
        s.bg = bg;
    return prev;
}

namespace {

// Without a window the text goes to standard output (true then); in one,
// the backend is told where it starts.
bool printed_outside(std::unique_lock<std::mutex>& lock, Data& s, const std::string& shown,
                     const std::string& text, bool end_line)
{
    if (s.window) {
        if (s.backend)
            s.backend->printed(s.cur_row, s.cur_col, shown);
        return false;
    }
    lock.unlock();
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (end_line)
        std::fputc('\n', stdout);
    std::fflush(stdout);
    return true;
}

void end_print(Data& s, bool end_line)
{
    if (end_line) {
        put_byte(s, 13);
        put_byte(s, 10);
    }
    notify(s);
}

} // namespace

void TEXT_PRINT(const std::string& text, bool end_line)
{
    State& st = state();
    std::unique_lock lock(st.m);
    Data& s = st.d;
    if (printed_outside(lock, s, text, text, end_line))
        return;
    // The bell sounds outside the lock so the window keeps presenting.
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\a')
            continue;
        print_locked(s, text, from, i);
        notify(s);
        lock.unlock();
        BEEP_TONE();
        lock.lock();
        from = i + 1;
    }
    print_locked(s, text, from, text.size());
    end_print(s, end_line);
}

void print_glyphs(const std::string& glyphs, bool end_line)
{
    State& st = state();
    std::unique_lock lock(st.m);
    Data& s = st.d;
    // A terminal shows the same characters and acts on none of them.
    if (printed_outside(lock, s, glyphs, s.window ? std::string() : utf8_of_glyphs(glyphs), end_line))
        return;
    for (char ch : glyphs)
        put_glyph(s, static_cast<std::uint8_t>(ch));
    end_print(s, end_line);
}

void TEXT_PRINT_REAL(double value, bool end_line)
{
    std::string t = rt::number_text(value);
    if (!(value < 0) && !(t.size() > 0 && t[0] == '-'))
        t.insert(t.begin(), ' ');
    TEXT_PRINT(t, end_line);
}

std::int32_t TEXT_LOCATE(int row, int column)
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    bool row_ok = row == 0 || (row >= 1 && row <= s.rows);
    bool col_ok = column == 0 || (column >= 1 && column <= s.columns);
    if (row_ok && col_ok) {
        if (row != 0)
            s.cur_row = row;
        if (column != 0)
            s.cur_col = column;
    }
    return s.cur_col + 256 * s.cur_row;
}

void TEXT_CLEAR()
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    s.cur_row = 1;
    s.cur_col = 1;
    if (!s.window) {
        if (platform::stdout_is_terminal()) {
            std::fputs("\x1b[2J\x1b[H", stdout);
            std::fflush(stdout);
        }
        return;
    }
    if (s.pixels_drawn || s.bg != s.cleared_bg) {
        std::fill(s.fb.begin(), s.fb.end(), s.bg);
        std::fill(s.cells.begin(), s.cells.end(), Cell{' ', s.fg, s.bg, true});
        s.any_pending = false;
        std::fill(s.touched_rows.begin(), s.touched_rows.end(), 0);
        s.pixels_drawn = false;
        s.cleared_bg = s.bg;
        mark_dirty(s, 0, s.height - 1);
        notify(s);
        return;
    }
    // Only the rows printed on since the last clear can differ from blank,
    // and in them only the cells that do not show a blank already: a copy
    // shows the same few lines entry after entry.
    for (int r = 0; r < s.rows; ++r) {
        if (!s.touched_rows[static_cast<size_t>(r)])
            continue;
        s.touched_rows[static_cast<size_t>(r)] = 0;
        bool changed = false;
        for (int c = 0; c < s.columns; ++c) {
            Cell& cell = s.cells[static_cast<size_t>(r * s.columns + c)];
            // A blank's pixels are its background alone.
            if (!cell.pending && cell.valid && cell.drawn_ch == ' ' && cell.drawn_bg == s.bg) {
                cell = Cell{' ', s.fg, s.bg, true};
                continue;
            }
            cell.ch = ' ';
            cell.fg = s.fg;
            cell.bg = s.bg;
            cell.pending = true;
            changed = true;
        }
        if (changed) {
            s.any_pending = true;
            mark_dirty(s, r * s.font_height, (r + 1) * s.font_height - 1);
        }
    }
    notify(s);
}

} // namespace screen
