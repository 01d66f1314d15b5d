// Pieces of the copier shared by its files and its tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::detail {

// Where COPY writes before the copy is complete.
std::string temporary_of(const std::string& target);
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
// Prints the total as the progress screen shows it, at the cursor.
void print_total(std::uint32_t total_kb);

} // namespace velmora::detail
