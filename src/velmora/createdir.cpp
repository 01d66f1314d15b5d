// CREATEDIR: makes the destination and every missing folder above it, one
// level at a time, proving after each level that a file can be created.
#include "velmora/velmora.hpp"

#include "platform/fs.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "rt/search.hpp"
#include "screen/screen.hpp"
#include "velmora/paths.hpp"

namespace velmora {

namespace {

// Creates and closes the probe file; true when it then exists (and is gone again).
bool probe(const std::string& folder)
{
    std::string path = folder + paths::k_probe;
    int n = rt::free_file();
    rt::open_text_output(n, path);
    rt::close(n);
    if (!rt::file_exists(path))
        return false;
    platform::delete_file(path);
    return true;
}

// Where the existing root of the path ends: a drive ("D:"), a share
// ("\\server\share") or, on POSIX, the empty root before the first '/'.
std::int64_t root_end(const std::string& destination)
{
#ifdef _WIN32
    if (destination.rfind("\\\\", 0) == 0) {
        auto server_end = rt::find_from(destination, "\\", 3);
        auto share_end = server_end ? rt::find_from(destination, "\\", server_end + 1) : 0;
        return share_end;
    }
#endif
    return rt::find_from(destination, std::string(1, paths::k_sep), 1);
}

} // namespace

void CREATEDIR(std::string& destination)
{
    RT_PROC("velmora", "CREATEDIR");
    const std::string sep(1, paths::k_sep);
    if (!paths::is_absolute(destination)) {
        destination = platform::current_dir() + sep + destination;
        screen::TEXT_PRINT(" err 1", true);
        screen::KEY_WAIT();
    }
    std::int64_t p = root_end(destination);
    if (p == 0) {
        // A share name alone: nothing below it to make.
        if (!probe(destination)) {
            screen::TEXT_PRINT("Error not Create", true);
            return;
        }
        screen::TEXT_PRINT("readdy", true);
        return;
    }
    std::string built = destination.substr(0, static_cast<size_t>(p - 1));
    for (;;) {
        std::int64_t q = rt::find_from(destination, sep, p + 1);
        std::string name = q == 0 ? destination.substr(static_cast<size_t>(p))
                                  : destination.substr(static_cast<size_t>(p), static_cast<size_t>(q - p - 1));
        built += sep + name;
        // Upper levels that already exist may belong to someone else (on
        // POSIX /home, /media): they are passed without a probe.
        bool existed = platform::is_dir(built);
        platform::make_dir(built);
#ifdef _WIN32
        existed = false;
#endif
        if (!(existed && q != 0) && !probe(built)) {
            screen::TEXT_PRINT("Error not Create", true);
            return;
        }
        if (q == 0) {
            screen::TEXT_PRINT("readdy", true);
            return;
        }
        p = q;
    }
}

} // namespace velmora
