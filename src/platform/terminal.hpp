// The terminal the program may run in: whether standard output is one, and
// how text typed on this system arrives.
#pragma once

namespace platform {

// Typed text (a window's characters, a line read from standard input) is
// UTF-8 where names are (POSIX); Windows gives bytes of the ANSI code page.
#ifdef _WIN32
constexpr bool k_typed_utf8 = false;
#else
constexpr bool k_typed_utf8 = true;
#endif

// Standard output is a terminal, which takes control sequences.
bool stdout_is_terminal();

} // namespace platform
