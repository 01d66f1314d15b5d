// CREATEDIR: makes the destination and every missing folder above it, one
// level at a time, proving after each level that a file can be created.
#include "velmora/velmora.hpp"

#include <random>
#include <vector>

#include "platform/fs.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "velmora/detail.hpp"
#include "velmora/engine/engine.hpp"
#include "velmora/paths.hpp"

namespace velmora {

namespace detail {

bool probe_folder(const std::string& folder, bool strict)
{
    std::string path = paths::probe_of(folder);
    for (int attempt = 0; attempt < 2; ++attempt) {
        int n = rt::free_file();
        if (rt::try_open_binary_exclusive(n, path)) {
            rt::close(n);
            if (!rt::file_exists(path))
                return false;
            platform::delete_file(path);
            return true;
        }
        if (!platform::name_taken(path)) {
            if (strict)
                rt::fail(2);
            return false;
        }
        // An empty file with no other name is what a killed run's probe
        // leaves: it goes, and the probe is made again.
        std::int64_t size = 0;
        std::uint64_t names = 0;
        if (attempt > 0 || !platform::plain_file(path, size, names) || size != 0 || names != 1)
            break;
        platform::delete_file(path);
    }
    // Someone's file or link holds the probe's name: it stays untouched,
    // and a file of our own under a name of our own answers instead.
    int n = rt::free_file();
    std::random_device rd;
    std::mt19937_64 random(rd());
    std::string temp = engine::try_create_temporary(n, folder, random);
    if (temp.empty()) {
        if (strict)
            rt::fail(2);
        return false;
    }
    rt::close(n);
    platform::delete_file(temp);
    rt::remove_on_abort("");
    return true;
}

} // namespace detail

std::string CREATEDIR(const std::string& typed)
{
    RT_PROC("velmora", "CREATEDIR");
    std::string destination = typed;
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
        if (!passed && !detail::probe_folder(levels[i], true)) {
            screen::TEXT_PRINT("Error not Create", true);
            return destination;
        }
    }
    screen::TEXT_PRINT("readdy", true);
    return destination;
}

} // namespace velmora
