// Path rules of the copier for the platform it is built for.
#pragma once
#include <string>

#include "platform/fs.hpp"

namespace velmora::paths {

constexpr char k_sep = platform::k_sep;
inline const std::string k_probe = std::string(1, k_sep) + "diesisteintest.tttu";

// Absolute: a drive colon anywhere (Windows) or a leading '/' (POSIX);
// a network path (two backslashes) is absolute on Windows too.
bool is_absolute(const std::string& path);
// The part from the last separator on, separator included; empty when none.
std::string tail_from_last_sep(const std::string& path);
// The name after the last separator (the whole path when there is none).
std::string file_name(const std::string& path);
// The folder of a path, without its last separator; empty when none.
std::string folder_of(const std::string& path);
// Where an entry's media file is: relative entries are taken from the
// playlist's folder.
std::string resolve_entry(const std::string& playlist_path, const std::string& entry);
// The copy's path in the destination.
std::string target_of(const std::string& destination, const std::string& entry);
// Whether a playlist lies on a network share (two leading backslashes).
bool is_network(const std::string& playlist_path);
// For a network playlist: the share prefix replaces the entry's drive.
std::string network_entry(const std::string& playlist_path, const std::string& entry);

} // namespace velmora::paths
