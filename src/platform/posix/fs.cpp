// POSIX bodies of the file-system services.
#include "platform/fs.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <mutex>
#include <string>

namespace platform {

namespace {
// A NUL inside a path would make the system act on a shorter, other path.
bool usable(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

// The last folder that took neither an exclusive rename nor a link (FAT):
// asking again for every file costs two round trips to a FUSE driver.
std::mutex g_plain_rename_mutex;
std::string g_plain_rename_folder;

std::string folder_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool only_plain_rename(const std::string& folder)
{
    std::lock_guard lock(g_plain_rename_mutex);
    return folder == g_plain_rename_folder;
}

void note_only_plain_rename(const std::string& folder)
{
    std::lock_guard lock(g_plain_rename_mutex);
    g_plain_rename_folder = folder;
}
} // namespace

struct ReadyName {
    std::string path;
};

ReadyName* make_ready_name(const std::string& path)
{
    return usable(path) ? new ReadyName{path} : nullptr;
}

void free_ready_name(ReadyName* name)
{
    delete name;
}

void delete_ready_name(const ReadyName* name)
{
    if (name != nullptr)
        ::unlink(name->path.c_str());
}

bool open_files_block_deletion()
{
    return false;
}

std::string path_of_system_text(const std::string& text)
{
    return text;
}

std::FILE* open_stream(const std::string& path, const char* mode)
{
    if (!usable(path))
        return nullptr;
    if (mode[0] != 'x')
        return std::fopen(path.c_str(), mode);
    int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* fp = ::fdopen(fd, "w+b");
    if (fp == nullptr)
        ::close(fd);
    return fp;
}

bool make_dir(const std::string& path)
{
    return usable(path) && ::mkdir(path.c_str(), 0777) == 0;
}

bool delete_file(const std::string& path)
{
    return usable(path) && ::unlink(path.c_str()) == 0;
}

bool remove_empty_dir(const std::string& path)
{
    return usable(path) && ::rmdir(path.c_str()) == 0;
}

bool rename_replace(const std::string& from, const std::string& to)
{
    return usable(from) && usable(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

Placed rename_new(const std::string& from, const std::string& to)
{
    if (!usable(from) || !usable(to))
        return Placed::failed;
    const std::string folder = folder_of(to);
    if (!only_plain_rename(folder)) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return Placed::ok;
        if (errno == EEXIST)
            return Placed::taken;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return Placed::failed;
        // No exclusive rename here: a second name made exclusively does it.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return Placed::ok;
        }
        if (errno == EEXIST)
            return Placed::taken;
        if (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP)
            note_only_plain_rename(folder);
    }
    // No links either (FAT): look, then rename. Only a name made in the
    // blink between the two is lost to this, never one that was there.
    if (name_taken(to))
        return Placed::taken;
    return std::rename(from.c_str(), to.c_str()) == 0 ? Placed::ok : Placed::failed;
}

int open_unnamed(const std::string& folder, FileFacts& facts)
{
#ifdef O_TMPFILE
    // Naming one later may need /proc; without it a copy could not be named.
    static const bool nameable = ::access("/proc/self/fd", X_OK) == 0;
    if (!nameable || !usable(folder))
        return -1;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (!facts_of(fd, facts)) {
        ::close(fd);
        return -1;
    }
    return fd;
#else
    (void)folder;
    (void)facts;
    return -1;
#endif
}

Placed link_unnamed(int fd, const std::string& to)
{
    if (!usable(to))
        return Placed::failed;
#ifdef AT_EMPTY_PATH
    // Linking a descriptor itself needs a privilege on older kernels; the
    // process's own view of it under /proc does not.
    static std::atomic<bool> by_proc{false};
    if (!by_proc.load()) {
        if (::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0)
            return Placed::ok;
        if (errno == EEXIST)
            return Placed::taken;
        if (errno != ENOENT && errno != EPERM)
            return Placed::failed;
        by_proc.store(true);
    }
#endif
    char proc[48];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return Placed::ok;
    return errno == EEXIST ? Placed::taken : Placed::failed;
}

long room_for_open_files(long wanted)
{
    struct rlimit lim;
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 0;
    if (lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < static_cast<rlim_t>(wanted)) {
        rlimit more = lim;
        more.rlim_cur = lim.rlim_max == RLIM_INFINITY ? static_cast<rlim_t>(wanted)
                                                      : std::min(lim.rlim_max, static_cast<rlim_t>(wanted));
        if (::setrlimit(RLIMIT_NOFILE, &more) == 0)
            lim = more;
    }
    const long room =
        lim.rlim_cur == RLIM_INFINITY ? wanted : static_cast<long>(std::min<rlim_t>(lim.rlim_cur, wanted));
    // The table of descriptors grown now, to its full size at once: grown
    // later, with threads running, each doubling waits for all of them.
    int probe = ::open("/", O_PATH | O_CLOEXEC);
    if (probe >= 0) {
        int high = room > 1 ? ::fcntl(probe, F_DUPFD_CLOEXEC, static_cast<int>(room - 1)) : -1;
        if (high >= 0)
            ::close(high);
        ::close(probe);
    }
    return room;
}

bool name_taken(const std::string& path)
{
    struct stat st;
    return usable(path) && ::lstat(path.c_str(), &st) == 0;
}

bool plain_file(const std::string& path, std::int64_t& size, std::uint64_t& names)
{
    struct stat st;
    if (!usable(path) || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    size = st.st_size;
    names = st.st_nlink;
    return true;
}

bool list_names(const std::string& folder, std::vector<std::string>& names)
{
    names.clear();
    DIR* d = usable(folder) ? ::opendir(folder.c_str()) : nullptr;
    if (d == nullptr)
        return false;
    while (const dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    ::closedir(d);
    return true;
}

namespace {
// Runs fn on the folder opened for reading; false when it cannot be opened.
template <class Fn>
bool with_folder(const std::string& folder, Fn fn)
{
    int fd = usable(folder) ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd < 0)
        return false;
    bool ok = fn(fd);
    ::close(fd);
    return ok;
}
} // namespace

bool flush_file_system(const std::string& folder)
{
    return with_folder(folder, [](int fd) { return ::syncfs(fd) == 0; });
}

bool flush_folder(const std::string& folder)
{
    return with_folder(folder, [](int fd) {
        // Some file systems keep no folder to flush; syncfs has done their part.
        return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOSYS || errno == EROFS;
    });
}

bool free_space(const std::string& folder, std::uint64_t& bytes, std::uint64_t& unit)
{
    struct statvfs sv;
    if (!usable(folder) || ::statvfs(folder.c_str(), &sv) != 0)
        return false;
    // Some FUSE file systems (fusefat) report no blocks at all: unknown.
    if (sv.f_blocks == 0)
        return false;
    unit = sv.f_frsize != 0 ? sv.f_frsize : sv.f_bsize;
    bytes = static_cast<std::uint64_t>(sv.f_bavail) * unit;
    return true;
}

std::int64_t max_file_size_in(const std::string& folder)
{
    std::int64_t max = std::numeric_limits<std::int64_t>::max();
    with_folder(folder, [&](int fd) {
        max = max_file_size(fd);
        return true;
    });
    return max;
}

bool is_dir(const std::string& path)
{
    struct stat st;
    return usable(path) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string current_dir()
{
    std::string buf(4096, '\0');
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (buf.size() > (1u << 20))
            return ".";
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return buf;
}

bool same_file(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return usable(a) && usable(b) && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

Kind kind_of(const std::string& path, std::int64_t& size)
{
    struct stat st;
    if (!usable(path) || ::lstat(path.c_str(), &st) != 0)
        return Kind::none;
    if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0)
        return Kind::other;
    if (S_ISDIR(st.st_mode))
        return Kind::folder;
    if (!S_ISREG(st.st_mode))
        return Kind::other;
    size = st.st_size;
    return Kind::file;
}

Made try_name(const std::string& path)
{
    if (!usable(path))
        return Made::refused;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return Made::made;
    }
    switch (errno) {
    case EEXIST:
        return Made::exists;
    // What file systems answer for a name they cannot store: vfat EINVAL,
    // fusefat EPERM, others EILSEQ or ENAMETOOLONG (and ENOENT over SMB).
    case EINVAL:
    case EPERM:
    case EILSEQ:
    case ENAMETOOLONG:
    case ENOENT:
        return Made::refused;
    default:
        return Made::failed;
    }
}

} // namespace platform
