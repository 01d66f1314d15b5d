// Win32 terminal test: the C runtime's _isatty on standard output.
#include "platform/terminal.hpp"

#include <io.h>

namespace platform {

bool stdout_is_terminal()
{
    return _isatty(1) != 0;
}

} // namespace platform
