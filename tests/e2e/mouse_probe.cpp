// A window that shows on its first row what the screen layer reports for the
// mouse, for the end-to-end tests of pointer positions at every window
// scale. Esc ends it.
#include <cstdio>
#include <string>

#include "screen/backend.hpp"
#include "screen/screen.hpp"

int main()
{
    screen::set_backend_factory(screen::make_window_backend);
    if (screen::SCREEN_OPEN(800, 400, 32) != 0)
        return 1;
    screen::WINDOW_TITLE("velmora mouse probe");
    screen::TEXT_WIDTH(100, 25);
    for (;;) {
        screen::Mouse m = screen::MOUSE_READ();
        char line[64];
        std::snprintf(line, sizeof line, "Maus %d %d Status %d", m.x, m.y, m.status);
        std::string row = line;
        row.resize(40, ' ');
        screen::TEXT_LOCATE(1, 1);
        screen::TEXT_PRINT(row, false);
        if (screen::KEY_POLL() == "\x1b")
            return 0;
        screen::WAIT_MS(10);
    }
}
