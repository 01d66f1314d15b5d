// The mouse query: a copy of what the backend last reported, or all -1 when
// there is no window, it is not active, or the pointer is outside it.
#include "screen/state.hpp"

namespace screen {
using namespace detail;

Mouse MOUSE_READ()
{
    State& st = state();
    std::lock_guard lock(st.m);
    Data& s = st.d;
    Mouse m; // -1 for every value, status 1
    if (!s.window || !s.active || !s.inside)
        return m;
    m.x = s.mouse_x;
    m.y = s.mouse_y;
    m.wheel = s.mouse_wheel;
    m.buttons = s.mouse_buttons;
    m.clip = 0;
    m.status = 0;
    return m;
}

} // namespace screen
