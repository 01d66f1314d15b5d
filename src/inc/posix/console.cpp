// On POSIX there is no console window of our own to hide or show; the title
// goes to the terminal when standard output is one. A start from a desktop
// menu has no terminal at all: there a runtime error report is also shown in
// a message box.
#include <cstdlib>
#include <cstring>
#include <string>

#include "inc/console.hpp"
#include "platform/console.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "screen/backend.hpp"

namespace console {

namespace {

// Desktop launchers name the entry they started in the environment, and the
// process they started. A terminal opened from a menu passes both on to all
// that runs in it, so the entry counts only when it started this very
// process or is our own.
bool started_from_desktop_entry()
{
    const char* entry = std::getenv("GIO_LAUNCHED_DESKTOP_FILE");
    if (!entry || !*entry)
        return false;
    const char* pid = std::getenv("GIO_LAUNCHED_DESKTOP_FILE_PID");
    if (pid && *pid && std::strtol(pid, nullptr, 10) == static_cast<long>(platform::current_pid()))
        return true;
    const char* slash = std::strrchr(entry, '/');
    const char* name = slash ? slash + 1 : entry;
    return std::strncmp(name, "velmora", 7) == 0;
}

void report_in_box(const char* report)
{
    screen::message_box("velmora", detail::report_text(report));
}

} // namespace

void HIDE(const std::string& title)
{
    RT_PROC("console", "HIDE");
    if (title.empty() && started_from_desktop_entry())
        rt::at_failure(report_in_box);
}

void SHOW(const std::string&)
{
    RT_PROC("console", "SHOW");
}

void CWINDOWTITLE(const std::string& title)
{
    RT_PROC("console", "CWINDOWTITLE");
    // Control bytes would end the terminal's escape sequence early.
    std::string clean;
    for (char c : title)
        if (static_cast<unsigned char>(c) >= 32 && c != 127)
            clean.push_back(c);
    platform::set_console_title(clean);
}

} // namespace console
