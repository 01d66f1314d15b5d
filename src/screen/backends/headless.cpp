// A real backend without a window: same state, input injected by tests.
// What it is told and what tests ask of it is its own data, set before a
// window opens and kept across windows until the layer is reset.
#include <atomic>
#include <deque>
#include <mutex>
#include <utility>

#include "screen/charset.hpp"
#include "screen/state.hpp"
#include "screen/testing.hpp"

namespace screen {
namespace {

using detail::Data;
using detail::State;
using detail::state;

struct HeadlessData {
    std::mutex m; // taken after the screen lock, never before it
    std::deque<int> queue; // keys waiting for room in the key buffer
    std::function<void()> idle_hook;
    std::function<void(int row, int column, const std::string& text)> print_hook;
    int beeps = 0;
    bool fail_open = false;
    std::atomic<int> changes{0}; // bumped while the caller holds the screen lock
    std::atomic<bool> no_pauses{false};
};

HeadlessData& headless_data()
{
    static HeadlessData h;
    return h;
}

// Moves queued keys into the key buffer while it has room.
void feed_queue()
{
    State& st = state();
    HeadlessData& h = headless_data();
    for (;;) {
        int code = 0;
        {
            std::lock_guard lock(st.m);
            std::lock_guard own(h.m);
            if (h.queue.empty() || st.d.keys.full())
                return;
            code = h.queue.front();
            h.queue.pop_front();
        }
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
        HeadlessData& h = headless_data();
        std::lock_guard lock(h.m);
        return !std::exchange(h.fail_open, false);
    }
    void set_title(const std::string&) override {}
    // Called under the screen lock.
    void changed() override { headless_data().changes.fetch_add(1, std::memory_order_relaxed); }
    void close() override {}
    void beep() override
    {
        HeadlessData& h = headless_data();
        std::lock_guard lock(h.m);
        ++h.beeps;
    }
    void idle() override
    {
        std::function<void()> hook;
        {
            HeadlessData& h = headless_data();
            std::lock_guard lock(h.m);
            hook = h.idle_hook;
        }
        if (hook)
            hook();
        feed_queue();
    }
    // Under the screen lock; the hook must not call the screen layer.
    void printed(int row, int column, const std::string& text) override
    {
        HeadlessData& h = headless_data();
        std::lock_guard lock(h.m);
        if (h.print_hook)
            h.print_hook(row, column, text);
    }
    const char* driver() const override { return "headless"; }
};

} // namespace

namespace detail {

void reset_headless()
{
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    h.queue.clear();
    h.idle_hook = nullptr;
    h.print_hook = nullptr;
    h.beeps = 0;
    h.fail_open = false;
    h.changes = 0;
    h.no_pauses = false;
}

bool pauses_skipped()
{
    return headless_data().no_pauses.load(std::memory_order_relaxed);
}

} // namespace detail

std::unique_ptr<Backend> make_headless_backend()
{
    return std::make_unique<Headless>();
}

namespace headless {

void queue_code(int code)
{
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    h.queue.push_back(code);
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
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    h.queue.clear();
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
        State& st = state();
        std::lock_guard lock(st.m);
        st.d.mouse_wheel = wheel;
    }
    input_focus(active);
    input_pointer_inside(inside);
}

void on_idle(std::function<void()> hook)
{
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    h.idle_hook = std::move(hook);
}

int beeps()
{
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    return h.beeps;
}

void fail_next_open()
{
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    h.fail_open = true;
}

int presents()
{
    return headless_data().changes.load();
}

} // namespace headless

namespace testing {

void skip_pauses(bool skip)
{
    headless_data().no_pauses = skip;
}

void on_print(std::function<void(int, int, const std::string&)> hook)
{
    HeadlessData& h = headless_data();
    std::lock_guard lock(h.m);
    h.print_hook = std::move(hook);
}

} // namespace testing
} // namespace screen
