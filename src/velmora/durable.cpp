// Durable copies. Outside a group each copy is flushed (fdatasync), renamed
// and its folder flushed. In the copy loop a copy is made without a name
// where the file system allows it (no name to make and rename, nothing left
// behind), and finished copies wait in a group of up to 2000 files or
// 64 MiB; a full group goes to a thread of its own, where one syncfs covers
// it and then each copy is named (linked or renamed), while the next
// group is copied: the device writes while the program copies. A long copy
// is written back ahead on that thread as it goes (its own range, without a
// journal commit per step, then dropped from the cache), so its own flush is
// short and the copy reuses the same few pages.
// The next flush covers the new names; the folder is flushed at the end.
#include "velmora/durable.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/fs.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "velmora/durable_ahead.hpp"
#include "velmora/paths.hpp"

namespace velmora::durable {

namespace {

// Each flush of the whole file system also writes its shared metadata
// (bitmaps, inode tables, the folder) again: fewer, larger groups of small
// files cost less. Two groups (one being flushed, one filling) must fit the
// runtime's list of files to delete.
constexpr std::size_t k_group_files = 2000;
constexpr std::int64_t k_group_bytes = std::int64_t(64) << 20;
// A long copy is flushed ahead every 64 MiB, and it waits for the device
// when more than about a second of the device's writing is not yet on it
// (at least 128 MiB, at most 1 GiB): "ready" never waits long after the
// last copy, and the copy is not held back on a fast disk.
constexpr std::int64_t k_flush_ahead = std::int64_t(64) << 20;
constexpr std::int64_t k_least_ahead = std::int64_t(128) << 20;
constexpr std::int64_t k_most_ahead = std::int64_t(1) << 30;
// Copies without a name are held open until named: both groups' worth,
// those made ahead, and a margin for the program's other files.
constexpr long k_other_files = 320;
constexpr const char* k_prefix = ".velmora-";
constexpr const char* k_suffix = ".part";

struct Waiting {
    std::string temp;
    std::string target;
    int handle = -1; // its place in the runtime's list of files to delete
    bool done = false;
    int held = -1; // a descriptor on a copy without a name (then temp is empty)
};

struct Group {
    bool open = false;
    std::vector<Waiting> waiting;
    // The targets of this group and of the one being flushed, until each is
    // renamed: asked once per name choice.
    std::unordered_set<std::string> targets;
    std::int64_t bytes = 0;
    std::int64_t unflushed = 0; // written since the last flush began
    std::string folder;         // of the copy being written
    int file = -1;              // the copy being written, its file number
    std::int64_t file_written = 0;
    std::int64_t file_ahead = 0; // of it, handed to the flusher to write back
    std::string no_unnamed;      // a folder that makes no file without a name
};

Group& group()
{
    static Group g;
    return g;
}

// The thread that flushes and names a full group. The program thread hands
// it work only when it is idle and takes the results back before handing
// more; the runtime's list of files to delete is changed by the program
// thread alone, so a signal never finds a name freed under it.
struct Flusher {
    enum class Job { none, ahead, group };
    std::mutex m;
    std::condition_variable cv;
    Job job = Job::none;
    bool busy = false;
    bool failed = false;
    bool finished = false;      // `handed` holds results to take back
    std::vector<Waiting> handed;
    std::string ahead;          // the folder of a long copy to flush ahead
    int ahead_fd = -1;          // its own descriptor on that copy, or -1: the whole file system
    std::int64_t ahead_from = 0;
    std::int64_t ahead_bytes = 0;
    std::int64_t per_second = 0; // bytes the last flush ahead took to the medium in a second
};

Flusher* g_flusher = nullptr; // made once, never freed: it outlives the program
std::atomic<long> g_held{0};   // copies without a name held open, on either thread

// How many copies without a name may be held open at once.
long unnamed_room()
{
    static const long wanted = 2 * long(k_group_files) + long(ahead::k_most_files) + k_other_files;
    static const long room = platform::room_for_open_files(wanted) - k_other_files;
    return room;
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

std::string folder_or_here(const std::string& path)
{
    std::string f = paths::folder_of(path);
    return f.empty() ? "." : f;
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

bool place(Waiting& w)
{
    if (w.held < 0)
        return place(w.temp, w.target);
    if (platform::link_unnamed(w.held, w.target) == platform::Placed::failed)
        return false;
    // Named, or a name taken meanwhile: then the copy goes with its descriptor.
    platform::close_fd(w.held);
    w.held = -1;
    detail::release_unnamed();
    return true;
}

// One flush for the folders of `list`, then each gets its name; false when
// the flush or a rename failed (what failed is not done). Touches nothing
// shared, so it runs on either thread.
bool flush_and_place(std::vector<Waiting>& list)
{
    std::vector<std::string> folders;
    for (const auto& w : list) {
        std::string f = folder_or_here(w.target); // the temporary's too
        bool seen = false;
        for (const auto& known : folders)
            seen = seen || known == f;
        if (!seen)
            folders.push_back(f);
    }
    for (const auto& f : folders)
        if (!platform::flush_file_system(f))
            return false;
    bool ok = true;
    for (auto& w : list) {
        if (w.done)
            continue;
        if (place(w))
            w.done = true;
        else
            ok = false;
    }
    return ok;
}

// Only a head start: failures show in the group's flush.
void flush_ahead(Flusher& f)
{
    if (f.ahead_fd >= 0) {
        bool done = platform::write_back_range(f.ahead_fd, f.ahead_from, f.ahead_bytes);
        platform::close_fd(f.ahead_fd);
        f.ahead_fd = -1;
        if (done)
            return;
    }
    platform::flush_file_system(f.ahead);
}

void flusher_main(Flusher* f)
{
    std::unique_lock lock(f->m);
    for (;;) {
        f->cv.wait(lock, [f] { return f->job != Flusher::Job::none; });
        Flusher::Job job = f->job;
        f->busy = true;
        lock.unlock();
        bool ok = true;
        auto t0 = std::chrono::steady_clock::now();
        if (job == Flusher::Job::group)
            ok = flush_and_place(f->handed);
        else
            flush_ahead(*f);
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        lock.lock();
        if (job == Flusher::Job::ahead)
            f->per_second = static_cast<std::int64_t>(static_cast<double>(f->ahead_bytes) / std::max(took, 1e-3));
        if (job == Flusher::Job::group) {
            f->failed = !ok;
            f->finished = true;
        }
        f->job = Flusher::Job::none;
        f->busy = false;
        f->cv.notify_all();
    }
}

// Null when no thread can be started: then groups are flushed in place.
Flusher* flusher()
{
    static bool refused = false;
    if (g_flusher == nullptr && !refused) {
        auto* f = new Flusher;
        try {
            std::thread(flusher_main, f).detach();
            g_flusher = f;
        } catch (const std::system_error&) {
            delete f;
            refused = true;
        }
    }
    return g_flusher;
}

// The copies of `list` that took their names leave the group's books; the
// rest is returned, to wait again.
std::vector<Waiting> forget_placed(std::vector<Waiting>& list)
{
    Group& g = group();
    std::vector<Waiting> again;
    for (auto& w : list) {
        if (w.done) {
            g.targets.erase(w.target);
            rt::remove_on_abort_drop(w.handle);
        } else {
            again.push_back(std::move(w));
        }
    }
    list.clear();
    return again;
}

// Waits until the flusher is idle and takes back what it named; what it
// could not name waits again in the group. false when it failed.
bool take_back()
{
    if (g_flusher == nullptr)
        return true;
    Flusher& f = *g_flusher;
    std::unique_lock lock(f.m);
    f.cv.wait(lock, [&f] { return f.job == Flusher::Job::none && !f.busy; });
    if (!f.finished)
        return true;
    Group& g = group();
    std::vector<Waiting> again = forget_placed(f.handed);
    f.finished = false;
    bool ok = !f.failed;
    f.failed = false;
    if (!again.empty()) {
        for (auto& w : g.waiting)
            again.push_back(std::move(w));
        g.waiting = std::move(again);
    }
    return ok;
}

// The full group goes to the flusher; the copy loop goes on meanwhile.
void hand_to_flusher()
{
    if (!take_back())
        rt::fail(3);
    Flusher* f = flusher();
    if (f == nullptr) {
        commit();
        return;
    }
    Group& g = group();
    {
        std::lock_guard lock(f->m);
        f->handed = std::move(g.waiting);
        f->job = Flusher::Job::group;
    }
    f->cv.notify_all();
    g.waiting.clear();
    g.bytes = 0;
    g.unflushed = 0;
}

// false when a flush or a rename failed; what failed stays waiting.
bool commit_waiting()
{
    bool ok = take_back();
    Group& g = group();
    ok = flush_and_place(g.waiting) && ok;
    g.waiting = forget_placed(g.waiting);
    if (g.waiting.empty()) {
        g.bytes = 0;
        g.unflushed = 0;
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

bool hold_unnamed()
{
    if (++g_held <= unnamed_room())
        return true;
    --g_held;
    return false;
}

void release_unnamed()
{
    --g_held;
}

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

namespace {

void begin_copy(const std::string& folder, int n)
{
    Group& g = group();
    g.folder = folder;
    g.file = n;
    g.file_written = 0;
    g.file_ahead = 0;
}

} // namespace

Temporary create_copy(int n, const std::string& target)
{
    Group& g = group();
    const std::string folder = folder_or_here(target);
    if (!flush_each() && folder != g.no_unnamed && detail::hold_unnamed()) {
        if (rt::try_open_unnamed(n, folder)) {
            // Its own descriptor keeps the copy alive past the file's close.
            int held = rt::duplicate_descriptor(n);
            if (held >= 0) {
                begin_copy(folder, n);
                return {std::string(), held};
            }
            rt::close(n);
        } else {
            g.no_unnamed = folder;
        }
        detail::release_unnamed();
    }
    return {create_temporary(n, target), -1};
}

Temporary made_ahead(std::int32_t entry, const std::string& source, const std::string& folder, std::int64_t& size)
{
    if (flush_each())
        return {}; // outside a group each copy is made and named by itself
    int fd = ahead::take(entry, source, folder, size);
    if (fd < 0)
        return {};
    begin_copy(folder, -1);
    return {std::string(), fd};
}

void abandon(Temporary& temp)
{
    if (temp.held >= 0) {
        platform::close_fd(temp.held);
        temp.held = -1;
        detail::release_unnamed();
    } else {
        platform::delete_file(temp.path);
    }
    rt::remove_on_abort("");
}

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
            begin_copy(folder_or_here(path), n);
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

namespace {

// A named temporary joins the group, or takes its name at once outside one
// (false then).
bool wait_named(const std::string& temp, const std::string& target)
{
    Group& g = group();
    int handle = flush_each() ? -1 : rt::remove_on_abort_add(temp);
    if (handle < 0) {
        // Flushed already, unless the list of files to delete was full.
        if (!flush_each() && !platform::flush_file_system(folder_or_here(temp)))
            rt::fail(3);
        if (!place(temp, target))
            rt::fail(3);
        rt::remove_on_abort("");
        if (!g.open && !platform::flush_folder(folder_or_here(temp)))
            rt::fail(3);
        return false;
    }
    rt::remove_on_abort("");
    g.waiting.push_back({temp, target, handle, false});
    return true;
}

} // namespace

void hand_over(Temporary& copy, const std::string& target, std::int64_t bytes)
{
    Group& g = group();
    if (copy.held >= 0) {
        // Made only while a group is open; nothing to delete if the run ends.
        g.waiting.push_back({std::string(), target, -1, false, copy.held});
        copy.held = -1;
    } else if (!wait_named(copy.path, target)) {
        return;
    }
    g.targets.insert(target);
    g.bytes += bytes;
    if (g.waiting.size() >= k_group_files || g.bytes >= k_group_bytes)
        hand_to_flusher();
}

void wrote(std::int64_t bytes)
{
    Group& g = group();
    if (flush_each())
        return;
    g.file_written += bytes;
    g.unflushed += bytes;
    if (g.unflushed < k_flush_ahead)
        return;
    // The copy waits only when the device falls far behind: what is not
    // yet on the medium stays bounded, and the progress follows the device.
    Flusher* f = flusher();
    if (f == nullptr)
        return;
    {
        std::unique_lock lock(f->m);
        const std::int64_t most = std::clamp(f->per_second, k_least_ahead, k_most_ahead);
        if (g.unflushed >= most)
            f->cv.wait(lock, [f] { return f->job == Flusher::Job::none && !f->busy; });
        else if (f->job != Flusher::Job::none || f->busy)
            return;
        f->ahead = g.folder;
        f->ahead_bytes = g.unflushed;
        // Mostly this one copy: only its range is written back.
        const std::int64_t own = g.file_written - g.file_ahead;
        f->ahead_fd = own * 2 >= g.unflushed && g.file >= 0 ? rt::duplicate_descriptor(g.file) : -1;
        if (f->ahead_fd >= 0) {
            f->ahead_from = g.file_ahead;
            f->ahead_bytes = own;
            g.file_ahead = g.file_written;
        }
        f->job = Flusher::Job::ahead;
    }
    f->cv.notify_all();
    g.unflushed = 0;
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

void make_room()
{
    unnamed_room();
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
