// Part of module explorer; include inc/explorer.hpp.
// Number tests and random integers between two bounds.
#pragma once
#include <cstdint>
#include <string>

namespace explorer {

// 1 when every character is a digit or ".", also for the empty text; else 0.
std::int8_t ISNUMBER(const std::string& text);
// 1 for even numbers, 0 for odd ones.
std::int32_t GERADE(std::int32_t number);
// A random integer from `from` to `to` inclusive, bounds in either order.
std::int32_t RND_VON_BIS(std::int32_t from, std::int32_t to);

namespace detail {
// The scaling step of RND_VON_BIS for a given draw 0 <= r < 1 (from <= to).
std::int32_t rnd_pick(std::int32_t from, std::int32_t to, double r);
// The seed used when the draw that divides the timer is exactly 0.
constexpr double k_fallback_seed = 5489.0;
} // namespace detail

} // namespace explorer
