// Part of module explorer; include inc/explorer.hpp.
// Text-file queries, waiting for a file or for quiet input, and printing to
// the process's standard output in 14-column print zones.
#pragma once
#include <cstdint>
#include <string>

namespace explorer {

// 1-based offset of the first match in the file's text with its line ends
// removed; 0 when there is none. `reserved` is never read.
std::int32_t STRINDATEI(const std::string& file_name, std::int32_t reserved, const std::string& pattern);
// Non-empty lines of the file, with its length in `file_size`; -1 (and
// `file_size` untouched) when the file does not exist.
std::int32_t GET_FILE_LINE_SIZE(const std::string& file_name, std::int32_t& file_size);
// 1 as soon as `path` can be read, 0 once `timeout` seconds have passed.
std::int32_t WAIT_FILEEXISTS(const std::string& path, double timeout);
// Drains pending keys until none is left and no mouse button is held, then
// pauses once for each key still held down.
void WAIT_TO_NO_EVENT();
// print_mode 1: text and a line end; 2: text filled to the next print zone;
// 3: text alone; anything else: nothing.
void CONSPRINT(const std::string& text, std::int32_t print_mode);

namespace detail {
constexpr int k_print_zone = 14;
} // namespace detail

} // namespace explorer
