// The selection list's keyboard logic: held arrows step the position, a key
// jumps ahead to the next entry holding it among its first two bytes, and a
// held arrow keeps the call waiting up to the caller's repeat delay.
#include <cstdint>

#include "inc/explorer.hpp"
#include "inc/fonts.hpp"
#include "rt/error.hpp"

namespace fonts {

std::string AUSWAHLLISTE(const rt::Array<std::string>& entries, std::int32_t& position, double repeat_delay)
{
    RT_PROC("fonts", "AUSWAHLLISTE");
    const bool up = screen::KEY_DOWN(screen::scan::up) != 0;
    const bool down = screen::KEY_DOWN(screen::scan::down) != 0;
    std::int64_t pos = position;
    if (up)
        pos -= 1;
    if (down)
        pos += 1;

    // Only the low byte counts, so an arrow from the key buffer searches too.
    const std::int64_t code = explorer::ASCINKEY();
    auto search = static_cast<unsigned char>(((code % 256) + 256) % 256);
    if (search >= 'a' && search <= 'z')
        search = static_cast<unsigned char>(search - 'a' + 'A');

    if (pos < entries.lbound())
        pos = entries.lbound();
    if (pos > entries.ubound())
        pos = entries.ubound();

    for (std::int64_t i = pos; i <= entries.ubound(); ++i) {
        const std::string& e = entries.at(static_cast<std::int32_t>(i));
        if ((e.size() > 0 && static_cast<unsigned char>(e[0]) == search) ||
            (e.size() > 1 && static_cast<unsigned char>(e[1]) == search)) {
            pos = i;
            break;
        }
    }
    position = static_cast<std::int32_t>(pos);

    const double t0 = screen::CLOCK_SECONDS();
    for (;;) {
        screen::WAIT_MS(1);
        if (repeat_delay != 0 && screen::CLOCK_SECONDS() >= t0 + repeat_delay)
            break;
        if (!screen::KEY_DOWN(screen::scan::up) && !screen::KEY_DOWN(screen::scan::down))
            break;
    }
    return entries.at(position);
}

} // namespace fonts
