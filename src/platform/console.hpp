// The console window a program runs in: found by its title, hidden, shown
// and titled. Windows gives each console program one; POSIX has none to
// find, and the terminal takes the title.
#pragma once
#include <string>

namespace platform {

using Window = void*;

// The top-level window of that title, or of this console's own when the
// title is empty; null when there is none (always on POSIX).
Window find_console_window(const std::string& title);
void show_window(Window window, bool visible);
// The console's title; on POSIX the terminal's, when standard output is one.
void set_console_title(const std::string& title);

// Windows only, where a program may share its console or have none.
// How many processes share this console; 0 without one.
int console_process_count();
// Standard error reaches nobody: no handle, or neither a file nor a pipe.
bool error_stream_unseen();
// A message box with an error sign, brought to the front.
void error_box(const std::string& title, const std::string& text);

} // namespace platform
