// The copier, the top layer: MAIN, COPY and CREATEDIR on the library
// modules, the screen, the runtime and the platform layer, with no platform
// branches of its own (path rules live in paths.hpp). This header: pieces of
// the copier shared by its files and its tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>


namespace velmora::detail {

// The percentage shown for a position in a file.
double progress(std::int64_t position, std::int64_t length);

// Whether the first command-line argument names the playlist.
bool takes_argument(const std::string& argument);
// The first n characters of a text (all of it when shorter).
std::string first_chars(const std::string& text, std::size_t n);
// The file name as the progress screen shows it, for a window that wide;
// `name` is in glyphs, so the limit counts characters as shown.
std::string name_display(const std::string& name, int screen_width);
// The running total in KB after a file of that size, rounded halves-to-even.
std::uint32_t add_kb(std::uint32_t total_kb, std::int64_t size);
// Creates the probe file in a folder and deletes it again: whether the
// folder takes new files. Never written through a link and never over a
// file that is there; `strict`: a probe that cannot be made at all is
// runtime error 2.
bool probe_folder(const std::string& folder, bool strict);
// Bytes a source of that size takes on a destination allocating in units
// of `unit`; nothing when a copy of its size (`copied`, -1 for none) is there.
std::uint64_t room_needed(std::int64_t size, std::uint64_t unit, std::int64_t copied);
// The line that says the destination is too small, in whole MB.
std::string room_question(std::uint64_t needed, std::uint64_t free_bytes);
// Prints the total as the progress screen shows it, at the cursor.
void print_total(std::uint32_t total_kb);

} // namespace velmora::detail
