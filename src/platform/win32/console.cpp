// Win32 bodies of the console window: found by its title with FindWindowA,
// shown and hidden with ShowWindow.
#include "platform/console.hpp"

#include <windows.h>

namespace platform {

Window find_console_window(const std::string& title)
{
    char current[260] = {};
    GetConsoleTitleA(current, sizeof current);
    const char* look = title.empty() ? current : title.c_str();
    // No title at all (no console) finds nothing rather than some untitled window.
    if (look[0] == '\0')
        return nullptr;
    return FindWindowA(nullptr, look);
}

void show_window(Window window, bool visible)
{
    if (window != nullptr)
        ShowWindow(static_cast<HWND>(window), visible ? SW_SHOW : SW_HIDE);
}

void set_console_title(const std::string& title)
{
    SetConsoleTitleA(title.c_str());
}

int console_process_count()
{
    DWORD ids[4];
    return static_cast<int>(GetConsoleProcessList(ids, 4));
}

bool error_stream_unseen()
{
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return true;
    DWORD type = GetFileType(h);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE;
}

void error_box(const std::string& title, const std::string& text)
{
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

} // namespace platform
