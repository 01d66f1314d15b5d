// Module fonts: the grid font and cursor, text placement, standard-output
// printing, immediate-mode widgets, colour channels and gradients.
#pragma once
#include <cstdint>
#include <string>

#include "rt/array.hpp"
#include "screen/screen.hpp"

namespace fonts {

// Grid procedures.
std::int32_t SET_VXFONT(std::int32_t height);
std::int32_t GETFONT();
void PRINTCURSOR(std::int32_t& row, std::int32_t& column, std::int32_t& visible);

} // namespace fonts
