// File-system services the runtime does not cover: folders, deletion,
// renaming, the current folder and the path separator.
#pragma once
#include <string>

namespace platform {

#ifdef _WIN32
constexpr char k_sep = '\\';
#else
constexpr char k_sep = '/';
#endif

// true when the folder was made (false when it exists or cannot be made).
bool make_dir(const std::string& path);
bool delete_file(const std::string& path);
// Replaces `to` atomically where the platform allows it.
bool rename_replace(const std::string& from, const std::string& to);
bool is_dir(const std::string& path);
std::string current_dir();
// Both paths name one existing file (whatever their spelling).
bool same_file(const std::string& a, const std::string& b);

} // namespace platform
