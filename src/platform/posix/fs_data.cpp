// POSIX bodies of the data calls: plain descriptors, copy_file_range on one
// file system.
#include "platform/fs.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>

namespace platform {

namespace {

constexpr long k_msdos_magic = 0x4d44;
constexpr long k_fuse_magic = 0x65735546;
constexpr std::int64_t k_fat_max = 0xFFFFFFFFll; // 4 GiB - 1

Io failure()
{
    return errno == EFBIG ? Io::too_big : Io::failed;
}

// The mount table's file system type and source for a device ("fuse.<name>"
// for most FUSE drivers, "fuseblk" and the device for those on a block device).
bool mount_of(dev_t dev, std::string& type, std::string& source)
{
    std::FILE* f = std::fopen("/proc/self/mountinfo", "re");
    if (f == nullptr)
        return false;
    char want[32];
    std::snprintf(want, sizeof want, " %u:%u ", major(dev), minor(dev));
    char line[4096];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr) {
        const char* sep = std::strstr(line, " - ");
        if (std::strstr(line, want) == nullptr || sep == nullptr)
            continue;
        char t[256] = "", src[1024] = "";
        found = std::sscanf(sep + 3, "%255s %1023s", t, src) == 2;
        type = t;
        source = src;
    }
    std::fclose(f);
    return found;
}

// A FUSE mount tells its real type only by name.
bool is_fuse_fat(dev_t dev)
{
    std::string type, source;
    return mount_of(dev, type, source) && type == "fuse.fusefat";
}

} // namespace

int open_regular(const std::string& path, OpenMode mode, FileFacts& facts)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return -1;
    int flags = mode == OpenMode::read ? O_RDONLY : O_RDWR;
    if (mode == OpenMode::create)
        flags |= O_CREAT | O_TRUNC;
    if (mode == OpenMode::create_new)
        flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
    // O_NONBLOCK keeps a FIFO under the name from hanging the open; it has
    // no effect on a regular file, so it stays set.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (!facts_of(fd, facts)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool close_fd(int fd)
{
    return ::close(fd) == 0;
}

namespace {

bool facts_from(const struct stat& st, FileFacts& facts)
{
    if (!S_ISREG(st.st_mode))
        return false;
    facts.size = static_cast<std::int64_t>(st.st_size);
    facts.device = static_cast<std::uint64_t>(st.st_dev);
    facts.node = static_cast<std::uint64_t>(st.st_ino);
    // The status time moves with every write and cannot be set back.
    facts.changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

} // namespace

bool facts_of(int fd, FileFacts& facts)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && facts_from(st, facts);
}

bool facts_at(const std::string& path, FileFacts& facts)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && facts_from(st, facts);
}

Io read_some(int fd, void* buf, std::size_t len, std::size_t& got)
{
    got = 0;
    for (;;) {
        ssize_t n = ::read(fd, buf, len);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return Io::ok;
        }
        if (errno != EINTR)
            return Io::failed;
    }
}

Io write_all(int fd, const void* buf, std::size_t len)
{
    auto* p = static_cast<const char*>(buf);
    while (len > 0) {
        ssize_t n = ::write(fd, p, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 ? Io::failed : failure();
        p += n;
        len -= static_cast<std::size_t>(n);
    }
    return Io::ok;
}

Io copy_range(int in, int out, std::size_t max, std::size_t& moved)
{
    moved = 0;
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, max, 0);
        if (n >= 0) {
            moved = static_cast<std::size_t>(n);
            return Io::ok;
        }
        switch (errno) {
        case EINTR: continue;
        case EXDEV:
        case EINVAL:
        case EOPNOTSUPP:
        case ENOSYS:
        case EBADF: return Io::unsupported;
        default: return failure();
        }
    }
}

int duplicate_fd(int fd)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

bool write_back_range(int fd, std::int64_t offset, std::int64_t length)
{
#ifdef __linux__
    const unsigned flags = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    while (::sync_file_range(fd, offset, length, flags) != 0)
        if (errno != EINTR)
            return false;
    // Written back, so clean: dropping it lets the copy reuse a few pages
    // instead of taking fresh ones (slow in a VM that hands free memory back)
    // and leaves the rest of the cache to the user's files.
    ::posix_fadvise(fd, offset, length, POSIX_FADV_DONTNEED);
    return true;
#else
    (void)fd;
    (void)offset;
    (void)length;
    return false;
#endif
}

bool write_directly(int fd)
{
#ifdef O_DIRECT
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
#else
    (void)fd;
    return false;
#endif
}

namespace {

// What holds a folder: the file system's magic number, and for a FUSE
// driver its mount's type and source.
struct Holder {
    long magic = 0;
    std::string type, source;
};

bool holder_of(const std::string& folder, Holder& h)
{
    struct statfs sf;
    struct stat st;
    const char* path = folder.empty() ? "." : folder.c_str();
    if (::statfs(path, &sf) != 0 || ::stat(path, &st) != 0)
        return false;
    h.magic = static_cast<long>(sf.f_type);
    return h.magic != k_fuse_magic || mount_of(st.st_dev, h.type, h.source);
}

constexpr long k_exfat_magic = 0x2011BAB0;

} // namespace

bool keeps_creation_order(const std::string& folder)
{
    Holder h;
    if (!holder_of(folder, h))
        return false;
    if (h.magic == k_msdos_magic || h.magic == k_exfat_magic || h.type == "fuse.fusefat" ||
        h.type.rfind("fuse.exfat", 0) == 0)
        return true;
    if (h.type != "fuseblk")
        return false;
    // A driver on a block device: its boot sector names the file system.
    // Unreadable (no right to the device), the order is kept: it costs
    // only renames.
    char boot[512];
    int fd = ::open(h.source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    ssize_t got = ::pread(fd, boot, sizeof boot, 0);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof boot))
        return true;
    return std::memcmp(boot + 3, "EXFAT   ", 8) == 0 || std::memcmp(boot + 54, "FAT", 3) == 0 ||
           std::memcmp(boot + 82, "FAT32", 5) == 0;
}

bool lists_as_stored(const std::string& folder)
{
    Holder h;
    return holder_of(folder, h) &&
           (h.magic == k_msdos_magic || h.magic == k_exfat_magic || h.type == "fuse.fusefat");
}

bool on_fuse_without_device(const std::string& folder)
{
    Holder h;
    return holder_of(folder, h) && h.magic == k_fuse_magic && h.type != "fuseblk";
}

bool flush_data(int fd)
{
    while (::fdatasync(fd) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

std::int64_t max_file_size(int fd)
{
    struct statfs sf;
    if (::fstatfs(fd, &sf) != 0)
        return std::numeric_limits<std::int64_t>::max();
    if (sf.f_type == k_msdos_magic)
        return k_fat_max;
    struct stat st;
    if (sf.f_type == k_fuse_magic && ::fstat(fd, &st) == 0 && is_fuse_fat(st.st_dev))
        return k_fat_max;
    return std::numeric_limits<std::int64_t>::max();
}

} // namespace platform
