// POSIX bodies of the file-system services.
#include "platform/fs.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

namespace platform {

namespace {
// A NUL inside a path would make the system act on a shorter, other path.
bool usable(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}
// File names are bytes here; the setting is kept only to be told back.
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

std::string path_of_system_text(const std::string& text)
{
    return text;
}

std::FILE* open_stream(const std::string& path, const char* mode)
{
    return usable(path) ? std::fopen(path.c_str(), mode) : nullptr;
}

bool make_dir(const std::string& path)
{
    return usable(path) && ::mkdir(path.c_str(), 0777) == 0;
}

bool delete_file(const std::string& path)
{
    return usable(path) && ::unlink(path.c_str()) == 0;
}

bool rename_replace(const std::string& from, const std::string& to)
{
    return usable(from) && usable(to) && std::rename(from.c_str(), to.c_str()) == 0;
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
