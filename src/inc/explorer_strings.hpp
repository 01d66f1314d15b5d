// Part of module explorer; include inc/explorer.hpp.
// Splitting texts into piece lists, substrings and repeaters.
#pragma once
#include <cstdint>
#include <string>

#include "rt/array.hpp"

namespace explorer {

// Piece lists: lower bound 0, element 0 empty, pieces from index 1 on.
// Splits at every occurrence of `separator`; empty pieces are not stored.
// Returns the number of pieces (the upper bound of `pieces`).
std::int32_t CUTSTR(const std::string& text, std::string separator, rt::Array<std::string>& pieces);
// Splits at a one-character separator outside parentheses; empty pieces are
// stored. Appends `separator` to `text`, which the caller keeps.
void CUTSTR3(std::string& text, std::string separator, rt::Array<std::string>& pieces);
// Characters `first` to `last`; positions past the end give code 0.
std::string MID2(const std::string& text, std::int32_t first, std::int32_t last);
// `count` times the byte char_code mod 256.
std::string MOREASCI(std::int32_t char_code, std::int32_t count);
// `text` repeated `count` times.
std::string MORETEXT(const std::string& text, std::int32_t count);

namespace detail {
// The longest text the repeaters and MID2 build: what a 32-bit position reaches.
constexpr std::int64_t k_max_text = INT32_MAX;
} // namespace detail

} // namespace explorer
