// POSIX terminal test: isatty on standard output.
#include "platform/terminal.hpp"

#include <unistd.h>

namespace platform {

bool stdout_is_terminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace platform
