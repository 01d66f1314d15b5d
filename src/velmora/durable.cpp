// Durable copies. Outside a group each copy is flushed (fdatasync), renamed
// and its folder flushed. In the copy loop finished copies wait in a group
// of up to 2000 files or 64 MiB: one syncfs covers them all, then each is
// renamed, and the next flush covers those renames; the folder is flushed
// once at the end. Write-back runs while copying, so a flush waits little.
#include "velmora/durable.hpp"

#include <cstdio>
#include <random>
#include <unordered_set>
#include <vector>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "velmora/paths.hpp"

namespace velmora::durable {

namespace {

// Each flush of the whole file system also writes its shared metadata
// (bitmaps, inode tables, the folder) again: fewer, larger groups of small
// files cost less. The runtime's list of files to delete holds 2048.
constexpr std::size_t k_group_files = 2000;
constexpr std::int64_t k_group_bytes = std::int64_t(64) << 20;
constexpr const char* k_prefix = ".velmora-";
constexpr const char* k_suffix = ".part";

struct Waiting {
    std::string temp;
    std::string target;
    int handle = -1; // its place in the runtime's list of files to delete
    bool done = false;
};

struct Group {
    bool open = false;
    std::vector<Waiting> waiting;
    // The targets of `waiting` not yet renamed: asked once per name choice.
    std::unordered_set<std::string> targets;
    std::int64_t bytes = 0;
};

Group& group()
{
    static Group g;
    return g;
}

std::uint64_t random_number()
{
    static std::mt19937_64 rng = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }();
    return rng();
}

std::string folder_part(const std::string& target)
{
    return target.find(paths::k_sep) == std::string::npos ? std::string() : paths::folder_of(target) + paths::k_sep;
}

// Gives the temporary its name; a name that something else took meanwhile
// keeps what it holds, and the temporary goes.
bool place(const std::string& temp, const std::string& target)
{
    switch (platform::rename_new(temp, target)) {
    case platform::Placed::ok: return true;
    case platform::Placed::taken: platform::delete_file(temp); return true;
    case platform::Placed::failed: break;
    }
    return false;
}

// false when a flush or a rename failed; what failed stays waiting.
bool commit_waiting()
{
    Group& g = group();
    std::vector<std::string> folders;
    for (const auto& w : g.waiting) {
        std::string f = paths::folder_of(w.temp);
        bool seen = false;
        for (const auto& known : folders)
            seen = seen || known == f;
        if (!seen)
            folders.push_back(f);
    }
    for (const auto& f : folders)
        if (!platform::flush_file_system(f.empty() ? "." : f))
            return false;
    bool ok = true;
    for (auto& w : g.waiting) {
        if (w.done)
            continue;
        if (!place(w.temp, w.target)) {
            ok = false;
            continue;
        }
        w.done = true;
        g.targets.erase(w.target);
        rt::remove_on_abort_drop(w.handle);
    }
    if (ok) {
        g.waiting.clear();
        g.targets.clear();
        g.bytes = 0;
    }
    return ok;
}

// On a runtime error: what is finished still takes its name.
void commit_on_failure()
{
    commit_waiting();
}

} // namespace

namespace detail {

std::string temporary_name(long long pid, std::uint64_t random)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s%lld-%016llx%s", k_prefix, pid, static_cast<unsigned long long>(random),
                  k_suffix);
    return name;
}

long long owner_of(const std::string& name)
{
    const std::string prefix = k_prefix, suffix = k_suffix;
    // .velmora-<pid>-<16 hex digits>.part
    if (name.size() < prefix.size() + 2 + 16 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    std::size_t hex = name.size() - suffix.size() - 16;
    if (name[hex - 1] != '-')
        return 0;
    for (std::size_t i = hex; i < hex + 16; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f')))
            return 0;
    long long pid = 0;
    std::size_t i = prefix.size();
    if (i == hex - 1 || name[i] == '0' || hex - 1 - i > 10)
        return 0;
    for (; i < hex - 1; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

} // namespace detail

std::string create_temporary(int n, const std::string& target)
{
    std::string path = try_create_temporary(n, target);
    if (path.empty())
        rt::fail(2);
    return path;
}

std::string try_create_temporary(int n, const std::string& target)
{
    const std::string folder = folder_part(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = folder + detail::temporary_name(platform::current_pid(), random_number());
        if (rt::try_open_binary_exclusive(n, path)) {
            rt::remove_on_abort(path);
            return path;
        }
        // Someone holds the name (planted there, or chance): draw again.
        if (!platform::name_taken(path))
            break;
    }
    return {};
}

bool flush_each()
{
    return !(group().open && platform::k_flush_whole_file_system);
}

void hand_over(const std::string& temp, const std::string& target, std::int64_t bytes)
{
    Group& g = group();
    int handle = flush_each() ? -1 : rt::remove_on_abort_add(temp);
    if (handle < 0) {
        // Flushed already, unless the list of files to delete was full.
        if (!flush_each() && !platform::flush_file_system(folder_part(target).empty() ? "." : folder_part(target)))
            rt::fail(3);
        if (!place(temp, target))
            rt::fail(3);
        rt::remove_on_abort("");
        if (!g.open && !platform::flush_folder(paths::folder_of(temp).empty() ? "." : paths::folder_of(temp)))
            rt::fail(3);
        return;
    }
    rt::remove_on_abort("");
    g.waiting.push_back({temp, target, handle, false});
    g.targets.insert(target);
    g.bytes += bytes;
    if (g.waiting.size() >= k_group_files || g.bytes >= k_group_bytes)
        commit();
}

void open_group()
{
    group().open = true;
    rt::before_failure(commit_on_failure);
}

bool waiting(const std::string& target)
{
    return group().targets.count(target) != 0;
}

void commit()
{
    if (!commit_waiting())
        rt::fail(3);
}

void settle(const std::string& folder)
{
    commit();
    if (!platform::flush_folder(folder.empty() ? "." : folder))
        rt::fail(3);
}

void remove_leftovers(const std::string& folder)
{
    std::vector<std::string> names;
    if (!platform::list_names(folder, names))
        return;
    const long long self = platform::current_pid();
    for (const auto& name : names) {
        long long pid = detail::owner_of(name);
        if (pid == 0 || pid == self || platform::process_alive(pid))
            continue;
        std::string path = paths::join(folder, name);
        if (platform::is_plain_file(path))
            platform::delete_file(path);
    }
}

} // namespace velmora::durable
