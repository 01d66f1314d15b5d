// A message over the desktop, for reports nobody would otherwise see. It is
// asked for on the way out of the program, so it never waits long for the
// screen lock and never needs an open window.
#include <chrono>
#include <thread>

#include "screen/state.hpp"

namespace screen {
using namespace detail;

bool message_box(const std::string& title, const std::string& text)
{
    State& st = state();
    Data& s = st.d;
    Backend* open = nullptr;
    BackendFactory factory = nullptr;
    {
        std::unique_lock lock(st.m, std::defer_lock);
        // A failure under the screen lock gets no box rather than a hang.
        for (int i = 0; i < 500 && !lock.try_lock(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!lock.owns_lock())
            return false;
        open = s.window ? s.backend.get() : nullptr;
        factory = s.factory;
    }
    if (open)
        return open->message_box(title, text);
    if (!factory)
        return false;
    auto backend = factory();
    return backend && backend->message_box(title, text);
}

} // namespace screen
