// Pieces of the copier shared by its files and its tests.
#pragma once
#include <cstdint>
#include <string>

namespace velmora::detail {

// Where COPY writes before the copy is complete.
std::string temporary_of(const std::string& target);
// The percentage shown for a position in a file.
double progress(std::int64_t position, std::int64_t length);

} // namespace velmora::detail
