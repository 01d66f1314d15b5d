// Pacing a long copy: it is written back ahead every 64 MiB on the flusher's
// thread (its own range, without a journal commit per step, then dropped
// from the cache), so its own flush is short and the copy reuses the same
// few pages. It waits for the device when more than about a second of the
// device's writing is not yet on it (at least 128 MiB, at most 1 GiB):
// "ready" never waits long after the last copy, and the progress figure
// follows the medium.
#include <algorithm>
#include <chrono>

#include "rt/files.hpp"
#include "velmora/engine/parts.hpp"

namespace velmora::engine {

namespace {

constexpr std::int64_t k_write_back = std::int64_t(64) << 20;
constexpr std::int64_t k_least_behind = std::int64_t(128) << 20;
constexpr std::int64_t k_most_behind = std::int64_t(1) << 30;

} // namespace

void Destination::wrote(std::int64_t bytes)
{
    State& s = *s_;
    if (flushes_each())
        return;
    s.pacing.written += bytes;
    s.pacing.unflushed += bytes;
    if (s.pacing.unflushed < k_write_back)
        return;
    s.no_flusher = s.no_flusher || !s.flusher.start();
    if (!s.no_flusher)
        s.flusher.write_back(s.pacing);
}

void Flusher::write_back(Pacing& p)
{
    {
        std::unique_lock lock(m_);
        if (p.unflushed >= std::clamp(per_second_, k_least_behind, k_most_behind))
            idle(lock);
        else if (job_ != Job::none || busy_)
            return;
        back_bytes_ = p.unflushed;
        // Mostly this one copy: only its range is written back.
        const std::int64_t own = p.written - p.handed;
        back_fd_ = own * 2 >= p.unflushed && p.file >= 0 ? rt::duplicate_descriptor(p.file) : -1;
        if (back_fd_ >= 0) {
            back_from_ = p.handed;
            back_bytes_ = own;
            p.handed = p.written;
        }
        job_ = Job::write_back;
    }
    cv_.notify_all();
    p.unflushed = 0;
}

// Only a head start: failures show in the batch's flush.
void Flusher::write_back_now()
{
    const auto t0 = std::chrono::steady_clock::now();
    bool done = false;
    if (back_fd_ >= 0) {
        done = platform::write_back_range(back_fd_, back_from_, back_bytes_);
        platform::close_fd(back_fd_);
        back_fd_ = -1;
    }
    if (!done)
        platform::flush_file_system(folder_);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::lock_guard lock(m_);
    per_second_ = static_cast<std::int64_t>(static_cast<double>(back_bytes_) / std::max(took, 1e-3));
}

} // namespace velmora::engine
