// The one substring search of the library: positions are 1-based.
#pragma once
#include <cstdint>
#include <string>

namespace rt {

// Position of the first occurrence of needle at or after `from` in haystack,
// else 0; also 0 for an empty needle, an empty haystack, or `from` outside it.
std::int64_t find_from(const std::string& haystack, const std::string& needle, std::int64_t from);

} // namespace rt
