// Module console: the console window the program was started in.
#pragma once
#include <string>

namespace console {

// An empty title means this program's own console window.
void HIDE(const std::string& title);
void SHOW(const std::string& title);
void CWINDOWTITLE(const std::string& title);

namespace detail {
// A runtime error report without the line breaks that frame it on a
// console, for a message box.
std::string report_text(const char* report);
} // namespace detail

} // namespace console
