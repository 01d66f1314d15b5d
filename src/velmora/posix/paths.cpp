// The POSIX path rules: '/' separates, a leading '/' makes a path absolute,
// there are no drives or shares. Entries written on Windows are understood.
#include <algorithm>
#include <cstdlib>

#include "platform/fs.hpp"
#include "rt/files.hpp"
#include "velmora/paths.hpp"

namespace velmora::paths {

bool is_sep(char c)
{
    return c == '/';
}

bool is_absolute(const std::string& path)
{
    return !path.empty() && path[0] == '/';
}

std::string dialog_start_folder()
{
    return platform::current_dir();
}

std::string expand_home(const std::string& destination)
{
    if (destination != "~" && destination.rfind("~/", 0) != 0)
        return destination;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        return destination;
    return home + destination.substr(1);
}

bool is_network(const std::string&)
{
    return false;
}

std::string network_entry(const std::string&, const std::string& entry)
{
    return entry;
}

std::string resolve_entry(const std::string& playlist_path, const std::string& entry)
{
    if (entry.empty() || is_absolute(entry))
        return entry;
    if (playlist_path.find('/') == std::string::npos)
        return entry; // a playlist in the current folder
    return folder_of(playlist_path) + '/' + entry;
}

std::vector<std::string> levels(const std::string& destination)
{
    std::vector<std::string> out;
    size_t p = destination.find('/');
    if (p == std::string::npos)
        return out;
    for (;;) {
        size_t q = destination.find('/', p + 1);
        out.push_back(destination.substr(0, q));
        if (q == std::string::npos)
            return out;
        p = q;
    }
}

bool passes_existing_level(const std::string& level)
{
    return platform::is_dir(level);
}

std::string name_key(const std::string& name)
{
    return name;
}

bool refused_by_system(const std::string&)
{
    return false;
}

bool may_be_refused(const std::string& name)
{
    // Only a name some file system refuses is tried before its copy: the
    // plain ones, the common case, cost nothing more.
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return safe_name(name) != name;
}

namespace detail {

std::size_t char_start(const std::string& text, std::size_t at)
{
    if (at >= text.size())
        return text.size();
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

std::size_t char_end(const std::string& text, std::size_t at)
{
    // A stray continuation byte is a character of its own.
    std::size_t end = at + 1;
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0xC0)
        while (end < text.size() && end < at + 4 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
    return end;
}

std::string local_of_url(const std::string&, const std::string& path)
{
    // A host name is the machine that wrote the list (often this one): the
    // path is looked for here all the same.
    return path;
}

Source plain_source(const std::string& playlist_path, const std::string& entry)
{
    std::string as_written = resolve_entry(playlist_path, entry);
    if (entry.find('\\') == std::string::npos || rt::file_exists(as_written))
        return {false, as_written, file_name(entry)};
    // Written on Windows: the backslashes separate, and the copy is named
    // after the last of them. A drive of that machine is not here.
    std::string swapped = entry;
    std::replace(swapped.begin(), swapped.end(), '\\', '/');
    if (has_drive(entry))
        return {false, as_written, file_name(swapped)};
    return {false, resolve_entry(playlist_path, swapped), file_name(swapped)};
}

} // namespace detail

} // namespace velmora::paths
