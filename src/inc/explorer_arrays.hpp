// Part of module explorer; include inc/explorer.hpp.
// Whole-array operations: search, copy and removal of one element. Copies
// and removals rebuild their target with lower bound 0.
#pragma once
#include <cstdint>
#include <string>

#include "rt/array.hpp"

namespace explorer {

// Stands for the lower (from) or upper (to) bound in INARARRY.
constexpr std::int32_t WHOLE_RANGE = -99999;

// Index of the first element from from_index to to_index that holds
// `pattern` at or after character `start`; `position` gets where. 0 when
// none matches, -1 for an empty pattern.
std::int32_t INARARRY(std::int32_t from_index, const rt::Array<std::string>& items, const std::string& pattern,
                      std::int32_t start, std::int32_t& position, std::int32_t to_index);

// Target gets bounds 0 to the source's upper bound; elements below the
// source's lower bound are empty.
void COPY_STRING_ARARRY(const rt::Array<std::string>& source_array, rt::Array<std::string>& target_array);
void COPY_INTEGER_ARARRY(const rt::Array<std::int32_t>& source_array, rt::Array<std::int32_t>& target_array);

// Remove the element at `index` (never the first or the last); 1 = removed.
std::int8_t KILL_S_ARARRY(rt::Array<std::string>& items, std::int32_t index);
std::int8_t KILL_I_ARARRY(rt::Array<std::int32_t>& items, std::int32_t index);

} // namespace explorer
