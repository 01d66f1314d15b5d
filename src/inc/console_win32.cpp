// The console window on Windows, found by its title: hide it, show it,
// and set the console's title.
#include <windows.h>

#include "inc/console.hpp"
#include "rt/error.hpp"

namespace console {

namespace {

// The title rule: the given title, else the console's own. No title at
// all (no console) finds nothing rather than some untitled window.
void show(const std::string& title, int command)
{
    char current[260] = {};
    GetConsoleTitleA(current, sizeof current);
    const char* look = title.empty() ? current : title.c_str();
    if (look[0] == '\0')
        return;
    if (HWND w = FindWindowA(nullptr, look))
        ShowWindow(w, command);
}

} // namespace

void HIDE(const std::string& title)
{
    RT_PROC("console", "HIDE");
    show(title, SW_HIDE);
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
