// How the program's narrow path strings are spelled: UTF-8 or the system's
// own narrow form, as the playlist says. POSIX names are bytes either way;
// Windows converts by it for its wide-character calls.
#include <atomic>

#include "platform/fs.hpp"

namespace platform {

namespace {
std::atomic<bool> g_path_utf8{false};
} // namespace

void set_path_utf8(bool utf8)
{
    g_path_utf8 = utf8;
}

bool path_utf8()
{
    return g_path_utf8;
}

} // namespace platform
