// CREATEDIR: makes the destination and every missing folder above it, one
// level at a time, proving after each level that a file can be created.
#include "velmora/velmora.hpp"

#include <vector>

#include "platform/fs.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "velmora/paths.hpp"

namespace velmora {

namespace {

// Creates and closes the probe file; true when it then exists (and is gone again).
bool probe(const std::string& folder)
{
    std::string path = paths::probe_of(folder);
    int n = rt::free_file();
    rt::open_text_output(n, path);
    rt::close(n);
    if (!rt::file_exists(path))
        return false;
    platform::delete_file(path);
    return true;
}

} // namespace

void CREATEDIR(std::string& destination)
{
    RT_PROC("velmora", "CREATEDIR");
    if (!paths::is_absolute(destination)) {
        destination = paths::join(platform::current_dir(), destination);
        screen::TEXT_PRINT(" err 1", true);
        screen::KEY_WAIT();
    }
    // A share or a drive alone has nothing below it to make: only its probe.
    std::vector<std::string> levels = paths::levels(destination);
    if (levels.empty())
        levels.push_back(destination);
    for (size_t i = 0; i < levels.size(); ++i) {
        bool last = i + 1 == levels.size();
        bool passed = !last && paths::passes_existing_level(levels[i]);
        platform::make_dir(levels[i]); // an existing level is simply passed
        if (!passed && !probe(levels[i])) {
            screen::TEXT_PRINT("Error not Create", true);
            return;
        }
    }
    screen::TEXT_PRINT("readdy", true);
}

} // namespace velmora
