// The Windows path rules: '\' and '/' both separate, as they do for Windows
// itself; a colon marks a drive, two leading separators a network share.
#include <algorithm>

#include "platform/fs.hpp"
#include "velmora/paths.hpp"

namespace velmora::paths {

namespace {

bool starts_with_two_seps(const std::string& path)
{
    return path.size() >= 2 && is_sep(path[0]) && is_sep(path[1]);
}

size_t find_sep(const std::string& path, size_t from)
{
    for (size_t i = from; i < path.size(); ++i)
        if (is_sep(path[i]))
            return i;
    return std::string::npos;
}

// Where \\server\share ends: the separator after the share, or npos.
size_t share_end(const std::string& path)
{
    size_t server_end = find_sep(path, 2);
    return server_end == std::string::npos ? server_end : find_sep(path, server_end + 1);
}

} // namespace

bool is_sep(char c)
{
    return c == '\\' || c == '/';
}

bool is_absolute(const std::string& path)
{
    return path.find(':') != std::string::npos || starts_with_two_seps(path);
}

std::string dialog_start_folder()
{
    return "E:\\playlisten";
}

std::string expand_home(const std::string& destination)
{
    return destination;
}

bool is_network(const std::string& playlist_path)
{
    return starts_with_two_seps(playlist_path);
}

std::string network_entry(const std::string& playlist_path, const std::string& entry)
{
    // \\server\share\lists\x.m3u with D:\Musik\a.mp3 gives \\server\share\Musik\a.mp3
    std::string prefix = playlist_path.substr(0, share_end(playlist_path));
    return prefix + (entry.size() >= 2 ? entry.substr(2) : std::string());
}

std::string resolve_entry(const std::string& playlist_path, const std::string& entry)
{
    // \Musik\a.mp3 is rooted on the current drive, not in the playlist's folder.
    if (entry.empty() || is_absolute(entry) || is_sep(entry[0]))
        return entry;
    if (find_sep(playlist_path, 0) == std::string::npos)
        return entry; // a playlist in the current folder
    return folder_of(playlist_path) + '\\' + entry;
}

std::vector<std::string> levels(const std::string& destination)
{
    std::vector<std::string> out;
    size_t p = starts_with_two_seps(destination) ? share_end(destination) : find_sep(destination, 0);
    if (p == std::string::npos)
        return out;
    for (;;) {
        size_t q = find_sep(destination, p + 1);
        out.push_back(destination.substr(0, q));
        if (q == std::string::npos)
            return out;
        p = q;
    }
}

bool passes_existing_level(const std::string&)
{
    return false; // every level is proved, existing or not
}

std::string name_key(const std::string& name)
{
    // Upper case as NTFS and FAT fold it, for the ANSI code page 1252.
    std::string key = name;
    for (char& c : key) {
        auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
            u = static_cast<unsigned char>(u - 0x20);
        else if (u == 0x9A || u == 0x9C || u == 0x9E)
            u = static_cast<unsigned char>(u - 0x10);
        else if (u == 0xFF)
            u = 0x9F;
        c = static_cast<char>(u);
    }
    return key;
}

bool refused_by_system(const std::string& name)
{
    // Win32 refuses or silently changes every name its safe form changes.
    return safe_name(name) != name;
}

bool may_be_refused(const std::string&)
{
    return false; // decided by the name alone
}

namespace detail {

std::size_t char_start(const std::string& text, std::size_t at)
{
    return at < text.size() ? at : text.size();
}

std::size_t char_end(const std::string&, std::size_t at)
{
    return at + 1;
}

std::string local_of_url(const std::string& host, const std::string& path)
{
    std::string local = path;
    // file:///C:/Musik/a.mp3: the drive follows the URL's own slash.
    if (local.size() >= 3 && local[0] == '/' && has_drive(local.substr(1)))
        local.erase(0, 1);
    std::replace(local.begin(), local.end(), '/', '\\');
    if (!host.empty() && host != "localhost")
        local = "\\\\" + host + local; // file://server/share/a.mp3
    return local;
}

Source plain_source(const std::string& playlist_path, const std::string& entry)
{
    return {false, resolve_entry(playlist_path, entry), file_name(entry)};
}

} // namespace detail

} // namespace velmora::paths
