// COPY inside the copy loop: into a destination that keeps its copies in a
// batch, from a source the loop opened already or copied ahead.
#pragma once
#include <string>

#include "velmora/engine/engine.hpp"

namespace velmora {

// A source open as binary file `src` (closed here) copied into `dest` under
// `name`, with its progress figure: one open per entry.
void copy_opened(engine::Destination& dest, int src, const std::string& name);
// A copy made ahead (complete already): shown as if copied now, then
// finished under `name` like any copy.
void show_made(engine::Destination& dest, engine::Copy made, const std::string& name);

} // namespace velmora
