// Module explorer, POSIX bodies of DEL and RUNN: the files are matched and
// unlinked here, and files are opened through xdg-open, with no shell.
#include <filesystem>
#include <system_error>
#include <vector>

#include "inc/explorer_process.hpp"
#include "inc/explorer_shell.hpp"
#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"

namespace explorer {

void DEL(const std::string& path)
{
    RT_PROC("explorer", "DEL");
    if (path.empty())
        return;
    // A folder stands for all its files, as it does for del.
    std::string dir = path;
    std::string pattern = "*";
    if (!platform::is_dir(path)) {
        size_t slash = path.rfind('/');
        dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    if (pattern.empty() || !platform::is_dir(dir))
        return;
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> doomed;
    // Links to folders are not followed: del /s stays inside the tree.
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        if (it->is_directory(sec) && !it->is_symlink(sec))
            continue;
        if (detail::wildcard_match(pattern, it->path().filename().string()))
            doomed.push_back(it->path());
    }
    for (const auto& f : doomed)
        fs::remove(f, ec);
}

std::int32_t RUNN(const std::string& path)
{
    RT_PROC("explorer", "RUNN");
    if (EXISTS(path) == 0)
        return 0;
    // A name beginning with '-' would be read as an option.
    platform::spawn_detached({"xdg-open", path[0] == '-' ? "./" + path : path});
    return 1;
}

} // namespace explorer
