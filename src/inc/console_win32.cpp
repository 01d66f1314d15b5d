// The console window on Windows, found by its title: hide it, show it,
// and set the console's title. The program's own console is hidden only
// when no other program shares it (a command prompt stays the user's), and
// is shown again when the program ends. Where the console is hidden or
// absent, a runtime error report also goes into a message box.
#include <windows.h>

#include <atomic>
#include <string>

#include "inc/console.hpp"
#include "rt/error.hpp"

namespace console {

namespace {

// What HIDE took from the desktop, for the way out.
struct Taken {
    std::atomic<HWND> console{nullptr};
};

Taken& taken()
{
    static Taken t;
    return t;
}

HWND find(const std::string& title)
{
    char current[260] = {};
    GetConsoleTitleA(current, sizeof current);
    const char* look = title.empty() ? current : title.c_str();
    // No title at all (no console) finds nothing rather than some untitled window.
    if (look[0] == '\0')
        return nullptr;
    return FindWindowA(nullptr, look);
}

// The title rule: the given title, else the console's own.
void show(const std::string& title, int command)
{
    if (HWND w = find(title))
        ShowWindow(w, command);
}

// How many processes share this console; 0 without one.
DWORD console_users()
{
    DWORD ids[4];
    return GetConsoleProcessList(ids, 4);
}

// Without a console, standard error is read only when it leads to a file or
// a pipe (a test, a log); the null device or no handle at all reaches nobody.
bool errors_unseen()
{
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return true;
    DWORD type = GetFileType(h);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE;
}

void show_taken()
{
    if (HWND w = taken().console.exchange(nullptr))
        ShowWindow(w, SW_SHOW);
}

void report_in_box(const char* report)
{
    show_taken();
    // The report's line breaks frame it on a console; the box needs none.
    std::string text = report;
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n'))
        text.erase(0, 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    MessageBoxA(nullptr, text.c_str(), "velmora", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

} // namespace

void HIDE(const std::string& title)
{
    RT_PROC("console", "HIDE");
    if (!title.empty()) {
        show(title, SW_HIDE);
        return;
    }
    DWORD users = console_users();
    if (users == 0) {
        if (errors_unseen())
            rt::at_failure(report_in_box);
        return;
    }
    if (users > 1)
        return; // a console shared with the program we were started from
    // Ours alone: it vanishes with the program, seen or not, and takes the
    // report along, so a runtime error is also told in a box.
    if (HWND w = find(title)) {
        ShowWindow(w, SW_HIDE);
        if (!taken().console.exchange(w))
            rt::at_end(show_taken);
    }
    rt::at_failure(report_in_box);
}

void SHOW(const std::string& title)
{
    RT_PROC("console", "SHOW");
    show(title, SW_SHOW);
}

void CWINDOWTITLE(const std::string& title)
{
    RT_PROC("console", "CWINDOWTITLE");
    SetConsoleTitleA(title.c_str());
}

} // namespace console
