// POSIX bodies of the file-system services.
#include "platform/fs.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

} // namespace platform
