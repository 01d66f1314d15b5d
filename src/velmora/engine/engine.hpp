// The copy engine: how a song reaches the destination whole.
//
// A Destination is one folder being filled. Each copy is begun from it as a
// Copy: a file without a name (or, where the file system has none, one
// under a hidden name of its own run), written, flushed, and only then
// given its name, so a file under a song's name is always complete. While a
// batch is open, finished copies wait until one flush covers them all and a
// thread of the destination's own names them; a long copy is written back
// as it goes; small files are copied ahead on a second thread. settle()
// puts everything on the medium: after it the stick can be pulled.
// Whatever ends the run (a runtime error, a signal, a kill), no partial
// file is left under a song's name, and the next run clears away what a
// killed one left.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace velmora::engine {

// How many copies without a name may be open at once. Asks the system for
// that many open files and grows the process's table to it: call once,
// before other threads start (later, growing the table makes every thread
// wait).
long reserve_open_files();

// Small files are copied ahead: up to this size, at most this many listed,
// and the destination needs this much room beyond the run's for them.
constexpr std::int64_t k_ahead_largest = std::int64_t(1) << 20;
constexpr std::size_t k_ahead_most_planned = 16384;
constexpr std::int64_t k_ahead_most_bytes = std::int64_t(32) << 20;

// A small file to copy ahead: its place in the playlist (from 1), its
// source and its size when measured.
struct Planned {
    std::int32_t entry = 0;
    std::string source;
    std::int64_t size = 0;
};

class Destination;

// One copy being made. Move-only; unless finished, its destructor closes
// it and leaves nothing of it behind.
class Copy {
public:
    Copy() = default;
    Copy(Copy&& other) noexcept;
    Copy& operator=(Copy&& other) noexcept;
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;
    ~Copy();

    explicit operator bool() const { return dest_ != nullptr; }
    // The runtime's file number to write into; -1 for a copy made ahead.
    int file() const { return file_; }
    // Bytes of a copy made ahead (complete already).
    std::int64_t size() const { return size_; }

private:
    friend class Destination;
    Destination* dest_ = nullptr;
    std::string temp_;  // its hidden name, empty for a copy without a name
    int unnamed_ = -1;  // the descriptor that keeps a copy without a name
    int file_ = -1;     // open runtime file number, -1 once closed
    std::int64_t size_ = 0;
};

class Destination {
public:
    // `folder` must exist; `unnamed_budget` as reserve_open_files gives it
    // (asked here when negative).
    explicit Destination(std::string folder, long unnamed_budget = -1);
    ~Destination();
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    const std::string& folder() const;
    // The path of a copy of that name.
    std::string target(const std::string& name) const;
    // Deletes what killed runs left here: temporaries of ours whose process
    // is gone; never another name and never a live run's. Songs a killed
    // run had set aside to put them in order come back.
    void remove_leftovers();

    // From now on finished copies wait to be flushed together; a runtime
    // error still names every finished one.
    void open_batch();
    // Whether each copy is flushed and named by itself (outside a batch,
    // or where the system cannot flush a whole file system at once).
    bool flushes_each() const;

    // A new copy, open for writing; runtime error 2 when the folder takes
    // no file. A runtime error or a signal deletes it until it is finished.
    Copy begin();
    // Bytes just written into the copy being made: a long one is written
    // back ahead, and waits when the device falls far behind.
    void wrote(std::int64_t bytes);
    // The copy is complete (`bytes` long) and becomes `name`: named now, or
    // kept with the batch until its flush. A name taken meanwhile keeps what
    // it holds and the copy goes.
    void finish(Copy& copy, const std::string& name, std::int64_t bytes);
    // Whether a copy for that name waits for its flush.
    bool waiting(const std::string& name) const;
    // Flushes what waits, then names it.
    void commit();
    // commit, then the folder itself: everything is on the medium.
    void settle();

    // Copies the planned sources ahead, in order, into files without a name
    // (nothing where the folder has none).
    void copy_ahead(std::vector<Planned> plan);
    // The copy made ahead for `entry` while `source` is still the file it
    // was made from (same node, size and status time); empty otherwise.
    // Copies for earlier entries are dropped.
    Copy take_ahead(std::int32_t entry, const std::string& source);
    // Stops copying ahead; what was not taken is dropped.
    void stop_ahead();

    // Where the file system lists a folder in the order its entries were
    // made (FAT, exFAT): puts the songs of the rewritten playlist
    // `list_name` (`names`, in playlist order; one not there is passed
    // over) in that order, by renames only; nothing else in the folder
    // moves. Nothing moves when a record here says the last run left them
    // so and this destination made no new name since. Whether it moved any.
    bool keep_order(const std::vector<std::string>& names, const std::string& list_name);

    // The copies velmora made here for the rewritten playlist `list_name`
    // that `still` says the playlist no longer names and no other playlist
    // here names, adding up their bytes. Never a file velmora did not copy.
    using Still = std::function<bool(const std::string& name)>;
    std::vector<std::string> left_behind(const std::string& list_name, const Still& still, std::int64_t& bytes) const;
    // Deletes those copies.
    void remove_songs(const std::vector<std::string>& names);

    // A file of the caller's own under a hidden name here, open as binary
    // file n (a runtime error or a signal deletes it); its path.
    std::string temporary(int n);

    struct State;
    // For each rewritten playlist, its songs in the order they stand.
    using Record = std::vector<std::pair<std::string, std::vector<std::string>>>;

private:
    friend class Copy;
    void release(Copy& copy);
    bool keeps_order() const;
    void bring_back_aside();
    bool stands_in_order(const std::vector<std::string>& songs) const;
    std::vector<std::string> all_of_ours(const std::vector<std::string>& songs, const Record& record,
                                         const std::string& list_name) const;
    void put_in_order(const std::vector<std::string>& files);
    std::vector<std::string> song_lines(const std::vector<std::string>& songs, const Record& record) const;
    void write_record(const Record& record);
    std::unique_ptr<State> s_;
};

// Makes a new file under a hidden name no one can foresee in `folder`, open
// as binary file n, never over anything there; its path, or empty when the
// folder takes no new file.
std::string try_create_temporary(int n, const std::string& folder, std::mt19937_64& random);

namespace detail {
// The hidden name for a process and a random number.
std::string temporary_name(long long pid, std::uint64_t random);
// The process a hidden name was made by; 0 for any other name.
long long owner_of(const std::string& name);
} // namespace detail

} // namespace velmora::engine
