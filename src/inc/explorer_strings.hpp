// Part of module explorer; include inc/explorer.hpp.
// Splitting texts into piece lists, substrings, repeaters, number tests and
// random integers between two bounds.
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

// 1 when every character is a digit or ".", also for the empty text; else 0.
std::int8_t ISNUMBER(const std::string& text);
// 1 for even numbers, 0 for odd ones.
std::int32_t GERADE(std::int32_t number);
// A random integer from `from` to `to` inclusive, bounds in either order.
std::int32_t RND_VON_BIS(std::int32_t from, std::int32_t to);

namespace detail {
// The longest text the repeaters and MID2 build: what a 32-bit position reaches.
constexpr std::int64_t k_max_text = INT32_MAX;
// The scaling step of RND_VON_BIS for a given draw 0 <= r < 1 (from <= to).
std::int32_t rnd_pick(std::int32_t from, std::int32_t to, double r);
// The seed used when the draw that divides the timer is exactly 0.
constexpr double k_fallback_seed = 5489.0;
} // namespace detail

} // namespace explorer
