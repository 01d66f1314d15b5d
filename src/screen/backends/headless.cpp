// A real backend without a window: same state, input injected by tests.
#include <atomic>
#include <deque>
#include <mutex>

#include "screen/charset.hpp"
#include "screen/state.hpp"
#include "screen/testing.hpp"

namespace screen {
namespace {

struct HeadlessData {
    std::mutex m;
    std::deque<int> queue;
    std::function<void()> idle_hook;
    int beeps = 0;
    std::atomic<int> changes{0}; // bumped under the screen lock: no lock of its own
    bool fail_open = false;
};

HeadlessData& data()
{
    static HeadlessData d;
    return d;
}

int pending(detail::State& s)
{
    return (s.ring_tail - s.ring_head + detail::k_ring) % detail::k_ring;
}

void feed_queue()
{
    HeadlessData& d = data();
    std::lock_guard lock(d.m);
    detail::State& s = detail::state();
    while (!d.queue.empty()) {
        {
            std::lock_guard slock(s.m);
            if (pending(s) >= detail::k_ring - 1)
                return;
        }
        int code = d.queue.front();
        d.queue.pop_front();
        if (code < 256)
            input_char(static_cast<std::uint8_t>(code));
        else if (code >= detail::k_char_code)
            input_character(static_cast<char32_t>(code - detail::k_char_code));
        else
            input_extended((code - 255) / 256);
    }
}

class Headless final : public Backend {
public:
    bool open(int, int) override
    {
        HeadlessData& d = data();
        std::lock_guard lock(d.m);
        if (d.fail_open) {
            d.fail_open = false;
            return false;
        }
        return true;
    }
    void set_title(const std::string&) override {}
    void changed() override { data().changes.fetch_add(1, std::memory_order_relaxed); }
    void close() override {}
    void beep() override
    {
        std::lock_guard lock(data().m);
        ++data().beeps;
    }
    void idle() override
    {
        std::function<void()> hook;
        {
            std::lock_guard lock(data().m);
            hook = data().idle_hook;
        }
        if (hook)
            hook();
        feed_queue();
    }
    const char* driver() const override { return "headless"; }
};

} // namespace

std::unique_ptr<Backend> make_headless_backend()
{
    return std::make_unique<Headless>();
}

namespace headless {

void queue_code(int code)
{
    std::lock_guard lock(data().m);
    data().queue.push_back(code);
}

void type(const std::string& bytes)
{
    for (unsigned char c : bytes)
        queue_code(c);
}

void type_text(const std::string& utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        std::size_t n = detail::utf8_length_at(utf8, i, &c);
        if (n == 0) {
            c = detail::char_of_1252(static_cast<unsigned char>(utf8[i]));
            n = 1;
        }
        queue_code(c < 0x80 ? static_cast<int>(c) : detail::k_char_code + static_cast<int>(c));
        i += n;
    }
}

void press_extended(int scan_code)
{
    queue_code(extended_code(scan_code));
}

void clear_queue()
{
    std::lock_guard lock(data().m);
    data().queue.clear();
}

void hold(int scan_code, bool down)
{
    input_key(scan_code, down);
}

void set_mouse(int x, int y, int buttons, int wheel, bool active, bool inside)
{
    input_mouse_move(x, y);
    input_mouse_buttons(buttons);
    {
        detail::State& s = detail::state();
        std::lock_guard lock(s.m);
        s.mouse_wheel = wheel;
    }
    input_focus(active);
    input_pointer_inside(inside);
}

void on_idle(std::function<void()> hook)
{
    std::lock_guard lock(data().m);
    data().idle_hook = std::move(hook);
}

int beeps()
{
    std::lock_guard lock(data().m);
    return data().beeps;
}

void fail_next_open()
{
    std::lock_guard lock(data().m);
    data().fail_open = true;
}

int presents()
{
    return data().changes.load();
}

} // namespace headless

namespace testing {

void reset()
{
    detail::State& s = detail::state();
    std::unique_ptr<Backend> old;
    {
        std::lock_guard lock(s.m);
        old = std::move(s.backend);
    }
    if (old)
        old->close();
    {
        std::lock_guard lock(s.m);
        s.window = false;
        detail::g_window_open.store(false);
        input_release_all_keys();
        s.width = s.height = s.depth = 0;
        s.fb.clear();
        s.title.clear();
        s.factory = nullptr;
        s.columns = 80;
        s.rows = 25;
        s.font_height = 16;
        s.cur_row = s.cur_col = 1;
        s.fg = detail::k_default_fg;
        s.bg = detail::k_default_bg;
        s.cells.clear();
        s.dirty_first = s.dirty_last = -1;
        s.touched_rows.clear();
        s.pixels_drawn = false;
        s.cleared_bg = detail::k_default_bg;
        s.ring_head = s.ring_tail = 0;
        s.mouse_x = s.mouse_y = s.mouse_wheel = s.mouse_buttons = 0;
        s.active = s.inside = false;
        s.images.clear();
        s.next_image = 1;
        s.print_hook = nullptr;
    }
    std::lock_guard lock(data().m);
    data().queue.clear();
    data().idle_hook = nullptr;
    data().beeps = 0;
    data().changes.store(0);
    data().fail_open = false;
}

std::string row_text(int row)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    std::string out;
    if (!s.window || row < 1 || row > s.rows)
        return out;
    for (int c = 0; c < s.columns; ++c)
        out.push_back(static_cast<char>(s.cells[static_cast<size_t>((row - 1) * s.columns + c)].ch));
    return out;
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

namespace {
const detail::Cell* cell_at(detail::State& s, int row, int column)
{
    if (!s.window || row < 1 || row > s.rows || column < 1 || column > s.columns)
        return nullptr;
    return &s.cells[static_cast<size_t>((row - 1) * s.columns + (column - 1))];
}
} // namespace

std::uint8_t cell_char(int row, int column)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    auto* c = cell_at(s, row, column);
    return c ? c->ch : 0;
}

Color cell_fg(int row, int column)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    auto* c = cell_at(s, row, column);
    return c ? c->fg : 0;
}

Color cell_bg(int row, int column)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    auto* c = cell_at(s, row, column);
    return c ? c->bg : 0;
}

std::uint32_t pixel(int x, int y)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    if (!s.window || x < 0 || y < 0 || x >= s.width || y >= s.height)
        return 0;
    return s.fb[static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x)];
}

std::uint32_t image_pixel(Target image, int x, int y)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    auto it = s.images.find(image);
    if (it == s.images.end() || x < 0 || y < 0 || x >= it->second.width || y >= it->second.height)
        return 0;
    return it->second.pixels[static_cast<size_t>(y) * static_cast<size_t>(it->second.width) + static_cast<size_t>(x)];
}

bool image_size(Target image, int& width, int& height)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    auto it = s.images.find(image);
    if (it == s.images.end())
        return false;
    width = it->second.width;
    height = it->second.height;
    return true;
}

int cursor_row()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return s.cur_row;
}

int cursor_column()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return s.cur_col;
}

bool window_open() { return detail::g_window_open.load(); }

std::string title()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return s.title;
}

int pending_keys()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return pending(s);
}

int grid_columns()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return s.columns;
}

int grid_rows()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return s.rows;
}

int font_height()
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    return s.font_height;
}

void skip_pauses(bool skip)
{
    detail::g_no_sleep.store(skip);
}

void on_print(std::function<void(int, int, const std::string&)> hook)
{
    detail::State& s = detail::state();
    std::lock_guard lock(s.m);
    s.print_hook = std::move(hook);
}

} // namespace testing
} // namespace screen
