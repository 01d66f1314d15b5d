// How a finished copy reaches its name and the medium. A copy is written
// under a temporary name of its own (or none at all), flushed, and only then
// given a name nothing holds; "ready" comes after one last flush of the folder.
#pragma once
#include <cstdint>
#include <string>

#include "platform/fs.hpp"

namespace velmora::durable {

// A copy being made: under a hidden name of its own, or, while a group is
// open and the file system allows it, with no name at all until it takes
// its target's (held open meanwhile; nothing is left if the run ends).
struct Temporary {
    std::string path; // empty for a copy without a name
    int held = -1;    // a descriptor on a copy without a name
};
// Opens the copy for `target` under file number n. A runtime error or a
// signal deletes it until it is handed over.
Temporary create_copy(int n, const std::string& target);
// The copy made ahead of playlist entry `entry` into `folder` from
// `source` (durable_ahead.hpp), while that is still the file copied:
// complete, without a name, `size` bytes long; held is -1 when there is
// none to take. The source need not be opened for it.
Temporary made_ahead(std::int32_t entry, const std::string& source, const std::string& folder, std::int64_t& size);
// A copy given up (closed already): deleted.
void abandon(Temporary& copy);

// Opens a new temporary beside `target` under file number n, made
// exclusively under a name no one can foresee; its path. A runtime error
// or a signal deletes it until it is handed over.
std::string create_temporary(int n, const std::string& target);
// The same, but empty when the folder takes no new file.
std::string try_create_temporary(int n, const std::string& target);
// Whether a copy must be flushed by itself before its close (outside a
// group, or where a group cannot be flushed at once).
bool flush_each();
// A complete, closed copy for `target`: named now, or kept with the group
// until its flush. A name that is taken meanwhile is left alone and the
// copy dropped.
void hand_over(Temporary& copy, const std::string& target, std::int64_t bytes);
// Bytes just written into the copy being made: a long copy is flushed
// ahead in the background.
void wrote(std::int64_t bytes);

// While a group is open, finished copies wait to be flushed together.
void open_group();
// Whether a copy for that target waits in the group.
bool waiting(const std::string& target);
// Flushes what waits, then gives each its name; waits for a group being
// flushed in the background first.
void commit();
// commit, then the folder itself: everything of the run is on the medium.
void settle(const std::string& folder);

// Makes room for the copies held open, once, before the program starts
// other threads (later, growing the process's table of open files makes
// every thread wait).
void make_room();

// Deletes what killed runs left in the folder: temporaries of ours whose
// process is gone; never another name and never a live run's.
void remove_leftovers(const std::string& folder);

namespace detail {
// Counts a copy without a name about to be made, on either thread; false
// when the process may hold no more open. A held copy is released when it
// is named or dropped.
bool hold_unnamed();
void release_unnamed();
// The temporary name for a process and a random number.
std::string temporary_name(long long pid, std::uint64_t random);
// The process a name of ours was made by; 0 for any other name.
long long owner_of(const std::string& name);
} // namespace detail

} // namespace velmora::durable
