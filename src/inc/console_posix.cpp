// On POSIX there is no console window of our own to hide or show; the title
// goes to the terminal when standard output is one.
#include <unistd.h>

#include <cstdio>

#include "inc/console.hpp"
#include "rt/error.hpp"

namespace console {

void HIDE(const std::string&)
{
    RT_PROC("console", "HIDE");
}

void SHOW(const std::string&)
{
    RT_PROC("console", "SHOW");
}

void CWINDOWTITLE(const std::string& title)
{
    RT_PROC("console", "CWINDOWTITLE");
    if (!::isatty(1))
        return;
    // Control bytes would end the escape sequence early.
    std::string clean;
    for (char c : title)
        if (static_cast<unsigned char>(c) >= 32 && c != 127)
            clean.push_back(c);
    std::printf("\x1b]0;%s\x07", clean.c_str());
    std::fflush(stdout);
}

} // namespace console
