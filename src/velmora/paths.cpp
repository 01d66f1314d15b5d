#include "velmora/paths.hpp"

namespace velmora::paths {

bool is_absolute(const std::string& path)
{
#ifdef _WIN32
    return path.find(':') != std::string::npos || path.rfind("\\\\", 0) == 0;
#else
    return !path.empty() && path[0] == '/';
#endif
}

std::string tail_from_last_sep(const std::string& path)
{
    auto at = path.find_last_of(k_sep);
    return at == std::string::npos ? std::string() : path.substr(at);
}

std::string file_name(const std::string& path)
{
    auto at = path.find_last_of(k_sep);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string folder_of(const std::string& path)
{
    auto at = path.find_last_of(k_sep);
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string resolve_entry(const std::string& playlist_path, const std::string& entry)
{
    if (entry.empty() || is_absolute(entry))
        return entry;
#ifdef _WIN32
    // \Musik\a.mp3 is rooted on the current drive, not in the playlist's folder.
    if (entry[0] == '\\')
        return entry;
#endif
    std::string folder = folder_of(playlist_path);
    if (folder.empty() && playlist_path.find(k_sep) == std::string::npos)
        return entry; // a playlist in the current folder
    return folder + k_sep + entry;
}

std::string target_of(const std::string& destination, const std::string& entry)
{
    return destination + k_sep + file_name(entry);
}

bool is_network(const std::string& playlist_path)
{
    return playlist_path.rfind("\\\\", 0) == 0;
}

std::string network_entry(const std::string& playlist_path, const std::string& entry)
{
    // \\server\share\lists\x.m3u with D:\Musik\a.mp3 gives \\server\share\Musik\a.mp3
    auto first = playlist_path.find('\\', 2);
    auto second = first == std::string::npos ? std::string::npos : playlist_path.find('\\', first + 1);
    std::string prefix = playlist_path.substr(0, second);
    return prefix + (entry.size() >= 2 ? entry.substr(2) : std::string());
}

} // namespace velmora::paths
