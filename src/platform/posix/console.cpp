// POSIX bodies of the console window: there is none of our own; the title
// goes to the terminal as its escape sequence.
#include "platform/console.hpp"

#include <unistd.h>

#include <cstdio>

namespace platform {

Window find_console_window(const std::string&)
{
    return nullptr;
}

void show_window(Window, bool) {}

void set_console_title(const std::string& title)
{
    if (!::isatty(1))
        return;
    std::printf("\x1b]0;%s\x07", title.c_str());
    std::fflush(stdout);
}

} // namespace platform
