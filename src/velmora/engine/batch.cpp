// The batch: finished copies wait until one flush covers them all, then each
// takes its name. Each flush of the whole file system also writes its shared
// metadata (bitmaps, inode tables, the folder) again: fewer, larger batches
// of small files cost less. A full batch goes to the flusher's thread while
// the next one is copied: the device writes while the program copies.
#include <utility>

#include "rt/error.hpp"
#include "rt/files.hpp"
#include "velmora/engine/parts.hpp"

namespace velmora::engine {

namespace {

// Two batches (one being flushed, one filling) must fit the runtime's list
// of files to delete.
constexpr std::size_t k_batch_files = 2000;
constexpr std::int64_t k_batch_bytes = std::int64_t(64) << 20;

// Gives the copy its name; a name that something else took meanwhile keeps
// what it holds, and the copy goes.
bool name(Waiting& w)
{
    if (w.unnamed.fd() < 0) {
        switch (platform::rename_new(w.temp, w.target)) {
        case platform::Placed::ok: return true;
        case platform::Placed::taken: platform::delete_file(w.temp); return true;
        case platform::Placed::failed: return false;
        }
        return false;
    }
    if (platform::link_unnamed(w.unnamed.fd(), w.target) == platform::Placed::failed)
        return false;
    w.unnamed.close(); // named, or a name taken meanwhile: then it goes with its descriptor
    return true;
}

} // namespace

bool flush_and_name(const std::string& folder, std::vector<Waiting>& list)
{
    if (list.empty())
        return true;
    if (!platform::flush_file_system(folder))
        return false;
    bool ok = true;
    for (auto& w : list) {
        if (!w.done && name(w))
            w.done = true;
        ok = ok && w.done;
    }
    return ok;
}

Flusher::~Flusher()
{
    if (!thread_.joinable())
        return;
    {
        std::unique_lock lock(m_);
        idle(lock);
        job_ = Job::quit;
    }
    cv_.notify_all();
    thread_.join();
}

bool Flusher::start()
{
    if (thread_.joinable())
        return true;
    try {
        thread_ = std::thread([this] { main(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Flusher::idle(std::unique_lock<std::mutex>& lock)
{
    cv_.wait(lock, [this] { return job_ == Job::none && !busy_; });
}

void Flusher::main()
{
    std::unique_lock lock(m_);
    for (;;) {
        cv_.wait(lock, [this] { return job_ != Job::none; });
        const Job job = job_;
        if (job == Job::quit)
            return;
        busy_ = true;
        lock.unlock();
        if (job == Job::batch) {
            bool ok = flush_and_name(folder_, handed_);
            lock.lock();
            failed_ = !ok;
            finished_ = true;
        } else {
            write_back_now();
            lock.lock();
        }
        job_ = Job::none;
        busy_ = false;
        cv_.notify_all();
    }
}

void Flusher::hand_batch(std::vector<Waiting> batch)
{
    {
        std::lock_guard lock(m_);
        handed_ = std::move(batch);
        job_ = Job::batch;
    }
    cv_.notify_all();
}

bool Flusher::take_back(std::vector<Waiting>& back)
{
    if (!thread_.joinable())
        return true;
    std::unique_lock lock(m_);
    idle(lock);
    if (!finished_)
        return true;
    back = std::move(handed_);
    handed_.clear();
    finished_ = false;
    return !std::exchange(failed_, false);
}

namespace {

// The copies of `list` that took their names leave the batch's books; the
// rest is returned, to wait again.
std::vector<Waiting> forget_named(Destination::State& s, std::vector<Waiting>& list)
{
    std::vector<Waiting> again;
    for (auto& w : list) {
        if (w.done) {
            s.targets.erase(w.target);
            rt::remove_on_abort_drop(w.handle);
        } else {
            again.push_back(std::move(w));
        }
    }
    list.clear();
    return again;
}

// Takes back what the flusher named; what it could not name waits again,
// first. false when it failed.
bool take_back(Destination::State& s)
{
    std::vector<Waiting> back;
    bool ok = s.flusher.take_back(back);
    std::vector<Waiting> again = forget_named(s, back);
    if (!again.empty()) {
        for (auto& w : s.batch)
            again.push_back(std::move(w));
        s.batch = std::move(again);
    }
    return ok;
}

// false when a flush or a name failed; what failed stays waiting.
bool commit_waiting(Destination::State& s)
{
    bool ok = take_back(s);
    ok = flush_and_name(s.here, s.batch) && ok;
    s.batch = forget_named(s, s.batch);
    if (s.batch.empty()) {
        s.batch_bytes = 0;
        s.pacing.unflushed = 0;
    }
    return ok;
}

// On a runtime error: what is finished still takes its name.
void commit_on_failure(void* state)
{
    commit_waiting(*static_cast<Destination::State*>(state));
}

// The full batch goes to the flusher; the copy loop goes on meanwhile.
void hand_to_flusher(Destination::State& s)
{
    if (!take_back(s))
        rt::fail(3);
    s.no_flusher = s.no_flusher || !s.flusher.start();
    if (s.no_flusher) {
        if (!commit_waiting(s))
            rt::fail(3);
        return;
    }
    s.flusher.hand_batch(std::exchange(s.batch, {}));
    s.batch_bytes = 0;
    s.pacing.unflushed = 0;
}

// A copy under a hidden name that cannot wait (outside a batch, or the list
// of files to delete is full) takes its name at once.
void name_now(Destination::State& s, Waiting& w, bool flushed)
{
    if (!flushed && !platform::flush_file_system(s.here))
        rt::fail(3);
    if (!name(w))
        rt::fail(3);
    rt::remove_on_abort("");
    if (!s.batch_open && !platform::flush_folder(s.here))
        rt::fail(3);
}

} // namespace

void Destination::open_batch()
{
    s_->batch_open = true;
    rt::before_failure(commit_on_failure, s_.get());
}

bool Destination::flushes_each() const
{
    return !(s_->batch_open && platform::k_flush_whole_file_system);
}

bool Destination::waiting(const std::string& name) const
{
    return s_->targets.count(target(name)) != 0;
}

// A complete, closed copy joins the batch, or takes its name at once.
void Destination::finish(Copy& copy, const std::string& name, std::int64_t bytes)
{
    State& s = *s_;
    if (copy.file_ >= 0) {
        if (flushes_each())
            rt::flush_to_medium(copy.file_);
        rt::close(std::exchange(copy.file_, -1));
    }
    Waiting w{copy.temp_, target(name), -1, false, Unnamed(std::exchange(copy.unnamed_, -1), &s.budget)};
    copy.dest_ = nullptr;
    s.made.insert(name);
    if (w.unnamed.fd() < 0) {
        w.handle = flushes_each() ? -1 : rt::remove_on_abort_add(w.temp);
        if (w.handle < 0) {
            name_now(s, w, flushes_each());
            return;
        }
        rt::remove_on_abort("");
    }
    s.targets.insert(w.target);
    s.batch.push_back(std::move(w));
    s.batch_bytes += bytes;
    if (s.batch.size() >= k_batch_files || s.batch_bytes >= k_batch_bytes)
        hand_to_flusher(s);
}

void Destination::commit()
{
    if (!commit_waiting(*s_))
        rt::fail(3);
}

void Destination::settle()
{
    commit();
    if (!platform::flush_folder(s_->here))
        rt::fail(3);
}

Destination::~Destination()
{
    // Finished copies keep their names even when the run never settles.
    stop_ahead();
    commit_waiting(*s_);
    rt::drop_before_failure(s_.get());
}

} // namespace velmora::engine
