// Small copies made ahead. While the copy loop shows one entry, a thread of
// its own copies the next small files into files without a name; the loop
// then only names them. A copy made ahead is taken only for its own entry
// and only while its source is the same file, unchanged since (same node,
// size and status time); anything else is dropped and the loop copies the
// entry itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.hpp"

namespace velmora::durable::ahead {

// Only files up to this size are copied ahead: for them the making of the
// file costs more than its data. At most this many wait, taking about this
// much room on the destination, and the plan lists at most this many.
constexpr std::int64_t k_largest = std::int64_t(1) << 20;
constexpr std::size_t k_most_files = 8192;
constexpr std::int64_t k_most_bytes = std::int64_t(32) << 20;
constexpr std::size_t k_most_planned = 16384;

struct Planned {
    std::int32_t entry = 0; // its place in the playlist, from 1
    std::string source;
    std::int64_t size = 0;
};

// Starts copying the planned sources, in order, into new files without a
// name in `folder` (nothing where the folder has no such files).
void start(const std::string& folder, std::vector<Planned> plan);
// The copy made for `entry` into `folder`, while `source` is still the file
// it was made from (asked by its name): its descriptor and `size`, or -1.
// Copies for this and earlier entries leave the queue; one being made for
// this entry is waited for.
int take(std::int32_t entry, const std::string& source, const std::string& folder, std::int64_t& size);
// Stops the thread; what was not taken is dropped.
void stop();

} // namespace velmora::durable::ahead
