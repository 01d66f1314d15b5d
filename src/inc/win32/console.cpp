// The console window on Windows, found by its title: hide it, show it,
// and set the console's title. The program's own console is hidden only
// when no other program shares it (a command prompt stays the user's), and
// is shown again when the program ends. Where the console is hidden or
// absent, a runtime error report also goes into a message box.
#include <atomic>
#include <string>

#include "inc/console.hpp"
#include "platform/console.hpp"
#include "rt/error.hpp"

namespace console {

namespace {

// What HIDE took from the desktop, for the way out.
struct Taken {
    std::atomic<platform::Window> console{nullptr};
};

Taken& taken()
{
    static Taken t;
    return t;
}

// The title rule: the given title, else the console's own.
void show(const std::string& title, bool visible)
{
    platform::show_window(platform::find_console_window(title), visible);
}

void show_taken()
{
    if (platform::Window w = taken().console.exchange(nullptr))
        platform::show_window(w, true);
}

void report_in_box(const char* report)
{
    show_taken();
    platform::error_box("velmora", detail::report_text(report));
}

} // namespace

void HIDE(const std::string& title)
{
    RT_PROC("console", "HIDE");
    if (!title.empty()) {
        show(title, false);
        return;
    }
    int users = platform::console_process_count();
    if (users == 0) {
        if (platform::error_stream_unseen())
            rt::at_failure(report_in_box);
        return;
    }
    if (users > 1)
        return; // a console shared with the program we were started from
    // Ours alone: it vanishes with the program, seen or not, and takes the
    // report along, so a runtime error is also told in a box.
    if (platform::Window w = platform::find_console_window(title)) {
        platform::show_window(w, false);
        if (!taken().console.exchange(w))
            rt::at_end(show_taken);
    }
    rt::at_failure(report_in_box);
}

void SHOW(const std::string& title)
{
    RT_PROC("console", "SHOW");
    show(title, true);
}

void CWINDOWTITLE(const std::string& title)
{
    RT_PROC("console", "CWINDOWTITLE");
    platform::set_console_title(title);
}

} // namespace console
