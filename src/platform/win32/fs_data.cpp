// Win32 bodies of the data calls, on C runtime descriptors. There is no
// in-kernel copy and no early write-back; a flush commits the file.
#include "platform/fs.hpp"
#include "platform/win32/wide.hpp"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cwchar>
#include <limits>

namespace platform {

int open_regular(const std::string& path, OpenMode mode, FileFacts& facts)
{
    std::wstring wide = wide_path(path);
    if (wide.empty())
        return -1;
    int flags = _O_BINARY | (mode == OpenMode::read ? _O_RDONLY : _O_RDWR);
    if (mode == OpenMode::create)
        flags |= _O_CREAT | _O_TRUNC;
    // CREATE_NEW underneath: a taken name, a link included, refuses.
    if (mode == OpenMode::create_new)
        flags |= _O_CREAT | _O_EXCL;
    int fd = _wopen(wide.c_str(), flags, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return -1;
    if (!facts_of(fd, facts)) {
        _close(fd);
        return -1;
    }
    return fd;
}

bool close_fd(int fd)
{
    return _close(fd) == 0;
}

namespace {

bool facts_from(const struct _stat64& st, FileFacts& facts)
{
    if ((st.st_mode & _S_IFMT) != _S_IFREG)
        return false;
    facts.size = static_cast<std::int64_t>(st.st_size);
    facts.device = static_cast<std::uint64_t>(st.st_dev);
    facts.changed = static_cast<std::int64_t>(st.st_mtime) * 1000000000;
    return true;
}

} // namespace

bool facts_of(int fd, FileFacts& facts)
{
    struct _stat64 st;
    return _fstat64(fd, &st) == 0 && facts_from(st, facts);
}

bool facts_at(const std::string& path, FileFacts& facts)
{
    std::wstring wide = wide_path(path);
    struct _stat64 st;
    return !wide.empty() && _wstat64(wide.c_str(), &st) == 0 && facts_from(st, facts);
}

Io read_some(int fd, void* buf, std::size_t len, std::size_t& got)
{
    got = 0;
    int n = _read(fd, buf, static_cast<unsigned>(len > (1u << 30) ? (1u << 30) : len));
    if (n < 0)
        return Io::failed;
    got = static_cast<std::size_t>(n);
    return Io::ok;
}

Io write_all(int fd, const void* buf, std::size_t len)
{
    auto* p = static_cast<const char*>(buf);
    while (len > 0) {
        int n = _write(fd, p, static_cast<unsigned>(len > (1u << 30) ? (1u << 30) : len));
        if (n <= 0)
            return n < 0 && errno == EFBIG ? Io::too_big : Io::failed;
        p += n;
        len -= static_cast<std::size_t>(n);
    }
    return Io::ok;
}

Io copy_range(int, int, std::size_t, std::size_t& moved)
{
    moved = 0;
    return Io::unsupported;
}

int duplicate_fd(int fd)
{
    return _dup(fd);
}

bool write_back_range(int, std::int64_t, std::int64_t)
{
    return false;
}

bool write_directly(int)
{
    return false;
}

bool lists_as_stored(const std::string& folder)
{
    // Windows' own FAT and exFAT drivers list a folder as it stands.
    return keeps_creation_order(folder);
}

bool on_fuse_without_device(const std::string&)
{
    return false;
}

bool keeps_creation_order(const std::string& folder)
{
    std::wstring root = wide_path(folder.empty() ? std::string(".") : folder);
    wchar_t volume[MAX_PATH + 1] = {0}, name[MAX_PATH + 1] = {0};
    if (root.empty() || GetVolumePathNameW(root.c_str(), volume, MAX_PATH + 1) == 0 ||
        GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1) == 0)
        return false;
    // FAT, FAT32 and exFAT list a folder in the order its entries were made.
    return std::wcsncmp(name, L"FAT", 3) == 0 || std::wcscmp(name, L"exFAT") == 0;
}

bool flush_data(int fd)
{
    return _commit(fd) == 0;
}

std::int64_t max_file_size(int fd)
{
    // FAT and FAT32 volumes hold files below 4 GiB; exFAT and NTFS far more.
    wchar_t name[MAX_PATH + 1] = {0};
    auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h != INVALID_HANDLE_VALUE &&
        GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1) != 0 &&
        (lstrcmpiW(name, L"FAT32") == 0 || lstrcmpiW(name, L"FAT") == 0))
        return 0xFFFFFFFFll;
    return std::numeric_limits<std::int64_t>::max();
}

} // namespace platform
