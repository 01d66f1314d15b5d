// Number text and rounding used by every printed or converted number.
#pragma once
#include <cstdint>
#include <string>

namespace rt {

// "%.16g" with a trailing "." removed.
std::string number_text(double value);
// Nearest integer, halves to the even neighbour.
double round_even(double value);
std::int64_t round_even_i64(double value);

} // namespace rt
