// A real backend without a window: same state, input injected by tests.
// What it is told and what tests ask of it lives in the screen state.
#include "screen/charset.hpp"
#include "screen/state.hpp"
#include "screen/testing.hpp"

namespace screen {
namespace {

using detail::Data;
using detail::HeadlessData;
using detail::State;
using detail::state;

// Moves queued keys into the key buffer while it has room.
void feed_queue()
{
    State& st = state();
    for (;;) {
        int code = 0;
        {
            std::lock_guard lock(st.m);
            Data& s = st.d;
            if (s.headless.queue.empty() || s.keys.full())
                return;
            code = s.headless.queue.front();
            s.headless.queue.pop_front();
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
        State& st = state();
        std::lock_guard lock(st.m);
        HeadlessData& h = st.d.headless;
        if (h.fail_open) {
            h.fail_open = false;
            return false;
        }
        return true;
    }
    void set_title(const std::string&) override {}
    // Called under the screen lock.
    void changed() override { state().d.headless.changes.fetch_add(1, std::memory_order_relaxed); }
    void close() override {}
    void beep() override
    {
        State& st = state();
        std::lock_guard lock(st.m);
        ++st.d.headless.beeps;
    }
    void idle() override
    {
        std::function<void()> hook;
        {
            State& st = state();
            std::lock_guard lock(st.m);
            hook = st.d.headless.idle_hook;
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
    State& st = state();
    std::lock_guard lock(st.m);
    st.d.headless.queue.push_back(code);
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
    State& st = state();
    std::lock_guard lock(st.m);
    st.d.headless.queue.clear();
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
    State& st = state();
    std::lock_guard lock(st.m);
    st.d.headless.idle_hook = std::move(hook);
}

int beeps()
{
    State& st = state();
    std::lock_guard lock(st.m);
    return st.d.headless.beeps;
}

void fail_next_open()
{
    State& st = state();
    std::lock_guard lock(st.m);
    st.d.headless.fail_open = true;
}

int presents()
{
    return state().d.headless.changes.load();
}

} // namespace headless
} // namespace screen
