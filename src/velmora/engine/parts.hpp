// The engine's inner parts, for its own files only: the open-file budget,
// a file without a name, the batch with its flushing thread, the pacing of
// long copies, and the copying ahead. Each belongs to one Destination.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/fs.hpp"
#include "velmora/engine/engine.hpp"

namespace velmora::engine {

// Copies without a name open at once, on either thread, against the most
// the process may have.
class Budget {
public:
    explicit Budget(long most) : most_(most) {}
    // One more copy without a name open; false when no more may be.
    bool take();
    void give_back() { --open_; }

private:
    const long most_;
    std::atomic<long> open_{0};
};

// The descriptor that keeps a file without a name alive, counted in the
// budget; closed and counted out when it goes.
class Unnamed {
public:
    Unnamed() = default;
    Unnamed(int fd, Budget* budget) : fd_(fd), budget_(budget) {}
    Unnamed(Unnamed&& o) noexcept : fd_(o.fd_), budget_(o.budget_) { o.fd_ = -1; }
    Unnamed& operator=(Unnamed&& o) noexcept;
    ~Unnamed() { close(); }
    int fd() const { return fd_; }
    void close();
    // Gives the descriptor up, still counted: its new owner releases it.
    int give_up() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
    Budget* budget_ = nullptr;
};

// A finished copy waiting for the flush that precedes its name.
struct Waiting {
    std::string temp;   // its hidden name; empty for one without a name
    std::string target;
    int handle = -1;    // its place in the runtime's list of files to delete
    bool done = false;
    Unnamed unnamed;
};

// How much of the copy being written is not yet on the medium.
struct Pacing {
    int file = -1;               // the copy being written, its file number
    std::int64_t written = 0;    // of it
    std::int64_t handed = 0;     // of it, handed to the flusher to write back
    std::int64_t unflushed = 0;  // of everything, since the last flush began
};

// The thread that flushes and names a full batch, and writes a long copy
// back ahead. The program thread hands it work only when it is idle and
// takes the results back before handing more; the runtime's list of files
// to delete is changed by the program thread alone.
class Flusher {
public:
    explicit Flusher(std::string folder) : folder_(std::move(folder)) {}
    ~Flusher();
    // false when no thread can be started: then the caller works in place.
    bool start();
    void hand_batch(std::vector<Waiting> batch);
    // Waits until idle; what it named leaves `done` true. false when a
    // flush or a name failed. The list handed last is moved into `back`.
    bool take_back(std::vector<Waiting>& back);
    // Hands the thread a write-back of what `pacing` holds unflushed, when
    // it is idle; waits for it first when the device fell far behind.
    void write_back(Pacing& pacing);

private:
    enum class Job { none, write_back, batch, quit };
    void main();
    void idle(std::unique_lock<std::mutex>& lock);
    void write_back_now();

    const std::string folder_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    Job job_ = Job::none;
    bool busy_ = false;
    bool failed_ = false;
    bool finished_ = false; // `handed_` holds results to take back
    std::vector<Waiting> handed_;
    int back_fd_ = -1;
    std::int64_t back_from_ = 0;
    std::int64_t back_bytes_ = 0;
    std::int64_t per_second_ = 0;
};

// One flush of the folder, then each copy of the list gets its name; false
// when the flush or a name failed (what failed is not done).
bool flush_and_name(const std::string& folder, std::vector<Waiting>& list);

// The copy thread ahead of the copy loop. It touches no file number of the
// runtime: plain descriptors, and its queue behind its own mutex.
class Ahead {
public:
    Ahead(std::string folder, Budget& budget) : folder_(std::move(folder)), budget_(budget) {}
    ~Ahead() { stop(); }
    void start(std::vector<Planned> plan);
    // The descriptor of the copy made for `entry` from `source`, unchanged
    // since, and its size; an empty Unnamed otherwise.
    Unnamed take(std::int32_t entry, const std::string& source, std::int64_t& size);
    void stop();

    struct Made {
        std::int32_t entry = 0;
        platform::FileFacts facts; // of the source, before and after its copy
        Unnamed file;
    };

private:
    void work();
    bool full(bool spare) const;
    Made make_one(const Planned& p, unsigned char* buffer, bool& give_up);

    const std::string folder_;
    Budget& budget_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Planned> plan_;
    std::size_t next_ = 0;
    std::deque<Made> made_;
    std::int64_t made_bytes_ = 0;
    std::int32_t reached_ = 0; // the entry the copy loop is at
    std::int32_t working_ = 0; // the entry being copied, 0 for none
    bool stopping_ = false;
};

struct Destination::State {
    State(std::string f, long most_unnamed)
        : folder(std::move(f)), here(folder.empty() ? "." : folder), budget(most_unnamed), flusher(here),
          ahead(here, budget)
    {
    }
    const std::string folder;
    const std::string here; // the folder as the system is asked about it ("." for the current one)
    Budget budget;
    std::mt19937_64 random;
    bool batch_open = false;
    bool no_unnamed = false; // the folder makes no file without a name
    bool direct = false;     // copies skip the page cache (a FUSE driver)
    bool no_flusher = false; // its thread could not be started
    std::unordered_set<std::string> made; // names of the copies finished here
    bool order_unknown = false; // a killed run's songs set aside came back
    std::vector<Waiting> batch;
    // The targets of this batch and of the one being flushed, until named.
    std::unordered_set<std::string> targets;
    std::int64_t batch_bytes = 0;
    Pacing pacing;
    Flusher flusher;
    Ahead ahead;
};

} // namespace velmora::engine
