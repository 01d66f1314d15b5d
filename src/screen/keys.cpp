// Key buffer, held keys, timing and the tone.
#include <chrono>
#include <cstdio>
#include <thread>

#include "screen/charset.hpp"
#include "screen/state.hpp"

namespace screen {
using namespace detail;

namespace {

// Takes the oldest pending code; -1 when none.
int pop_code()
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    int code = s.keys.pop();
    if (code >= k_char_code) {
        // A typed character is one byte here, as the Windows window gives it.
        int byte = cp1252_of(static_cast<char32_t>(code - k_char_code));
        return byte >= 0 ? byte : '?';
    }
    return code;
}

void sleep_ms(int ms)
{
    if (ms > 0 && !detail::pauses_skipped())
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

std::string KEY_POLL()
{
    idle_backend();
    int code = pop_code();
    if (code < 0)
        return {};
    if (code < 256)
        return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(255), static_cast<char>((code - 255) / 256)};
}

int KEY_WAIT()
{
    const Data& s = state().d; // only its atomics, read without the lock
    if (!s.window_open.load()) {
        // No window: a key from standard input; none at its end.
        std::fflush(stdout);
        int c = std::getchar();
        return c == EOF ? 0 : c;
    }
    for (;;) {
        idle_backend();
        int code = pop_code();
        if (code >= 0)
            return code;
        if (!s.window_open.load())
            return 0;
        sleep_ms(20);
    }
}

int KEY_DOWN(int scan_code)
{
    // Tight loops call this once per copied byte: no lock, no allocation.
    const Data& s = state().d;
    if (scan_code < 0 || scan_code > 127 || !s.window_open.load(std::memory_order_relaxed))
        return 0;
    return s.held[static_cast<size_t>(scan_code)].load(std::memory_order_relaxed) ? -1 : 0;
}

void WAIT_MS(int milliseconds)
{
    idle_backend();
    sleep_ms(milliseconds);
}

double CLOCK_SECONDS()
{
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

void BEEP_TONE()
{
    Backend* b = nullptr;
    {
        State& st = state();
        std::lock_guard lock(st.m);
        b = st.d.window ? st.d.backend.get() : nullptr;
    }
    if (b)
        b->beep();
    else
        sleep_ms(250);
}

} // namespace screen
