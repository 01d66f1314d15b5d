// Module console: the console window the program was started in.
#pragma once
#include <string>

namespace console {

// An empty title means this program's own console window.
void HIDE(const std::string& title);
void SHOW(const std::string& title);
void CWINDOWTITLE(const std::string& title);

} // namespace console
