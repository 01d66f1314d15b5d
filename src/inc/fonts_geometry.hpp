// Part of module fonts, for its widgets only: the edge arithmetic the
// buttons and the text field share.
#pragma once
#include <algorithm>
#include <cstdint>
#include <limits>

namespace fonts::detail {

// Wide arithmetic for the edges; the drawing clips whatever lies outside.
inline int coord(std::int64_t v)
{
    constexpr std::int64_t lim = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::clamp(v, -lim, lim));
}

// Strictly between: a pointer on an edge is not inside.
inline bool inside_open(std::int64_t lo, std::int64_t v, std::int64_t hi) { return lo < v && v < hi; }

} // namespace fonts::detail
