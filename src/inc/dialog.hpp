// Module dialog: the system's file-open and file-save dialog.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dialog {

// mode 0 opens, any other value saves. `filter` holds NUL-terminated
// (description, pattern) pairs ended by one more NUL; empty selects all
// files. An empty `initial_folder` becomes ".". Returns the chosen path
// without leading and trailing blanks, or empty when cancelled.
std::string LOADSAVEDIALOG(std::int32_t mode, const std::string& filter, std::int32_t filter_index,
                           std::string& initial_folder, const std::string& default_extension);

namespace detail {
// The list an empty filter stands for: all files.
const std::string& default_filter();
// The (description, pattern) pairs of a filter list; the default list when empty.
std::vector<std::pair<std::string, std::string>> filter_pairs(const std::string& filter);
std::string trim_blanks(const std::string& text);
} // namespace detail

} // namespace dialog
