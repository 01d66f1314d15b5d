// Small copies made ahead. While the copy loop shows one entry, a thread of
// its own copies the next small files into files without a name; the loop
// then only names them. A copy made ahead is taken only for its own entry
// and only while its source is the same file, unchanged since; anything
// else is dropped and the loop copies the entry itself. The copies have no
// name, so whatever ends the run, nothing of them is left behind.
#include <memory>

#include "velmora/engine/parts.hpp"

namespace velmora::engine {

namespace {

// At most this many wait, taking about k_ahead_most_bytes on the destination.
constexpr std::size_t k_most_files = 8192;
constexpr std::size_t k_buffer = std::size_t(256) << 10;

bool same(const platform::FileFacts& a, const platform::FileFacts& b)
{
    return a.size == b.size && a.device == b.device && a.node == b.node && a.changed == b.changed;
}

// Exactly `size` bytes from in to out.
bool copy_all(int in, int out, std::int64_t size, unsigned char* buffer)
{
    platform::Mover mover;
    mover.same_device = true; // where it is not, the kernel says so once
    std::int64_t left = size;
    while (left > 0) {
        std::size_t moved = 0;
        platform::Io io = platform::move_bytes(mover, in, out, buffer, k_buffer, static_cast<std::size_t>(left), moved);
        if (io != platform::Io::ok || moved == 0)
            return false; // a failure, or the source ended early
        left -= static_cast<std::int64_t>(moved);
    }
    return true;
}

} // namespace

// Once the queue is full, the thread waits until an eighth of it is free
// (`spare`): the loop does not wake it for every copy it takes.
bool Ahead::full(bool spare) const
{
    const std::size_t files = spare ? k_most_files / 8 : 0;
    const std::int64_t bytes = spare ? k_ahead_most_bytes / 8 : 0;
    return made_.size() + files >= k_most_files || made_bytes_ + bytes >= k_ahead_most_bytes;
}

// The copy of one planned source; no file when it was not made, and
// `give_up` when no more can be (no such files here, or the device refused).
Ahead::Made Ahead::make_one(const Planned& p, unsigned char* buffer, bool& give_up)
{
    Made made;
    made.entry = p.entry;
    int in = platform::open_regular(p.source, platform::OpenMode::read, made.facts);
    if (in < 0)
        return made; // the loop will tell
    // A source that changed since it was measured is left to the loop; when
    // no more files may be open, copying ahead ends.
    give_up = made.facts.size == p.size && !budget_.take();
    if (made.facts.size != p.size || give_up) {
        platform::close_fd(in);
        return made;
    }
    platform::FileFacts unused;
    Unnamed out(platform::open_unnamed(folder_, unused), &budget_);
    if (out.fd() < 0) {
        budget_.give_back();
        platform::close_fd(in);
        give_up = true;
        return made;
    }
    bool copied = copy_all(in, out.fd(), p.size, buffer);
    platform::FileFacts after;
    bool unchanged = copied && platform::facts_of(in, after) && same(made.facts, after);
    platform::close_fd(in);
    if (unchanged)
        made.file = std::move(out);
    else
        give_up = !copied;
    return made;
}

void Ahead::work()
{
    auto buffer = std::make_unique<unsigned char[]>(k_buffer);
    std::unique_lock lock(m_);
    std::int64_t unflushed = 0;
    while (!stopping_ && next_ < plan_.size()) {
        if (full(false)) {
            if (reached_ == 0 && unflushed > 0) {
                // Full before the loop takes any: the device, idle until the
                // loop's first flush, writes what was made meanwhile, so
                // that flush finds little left to write.
                lock.unlock();
                platform::flush_file_system(folder_);
                lock.lock();
                unflushed = 0;
            }
            cv_.wait(lock, [this] { return stopping_ || !full(true); });
            if (stopping_)
                break;
        }
        const Planned& p = plan_[next_++];
        if (p.entry <= reached_)
            continue; // the loop is past it
        working_ = p.entry;
        lock.unlock();
        bool give_up = false;
        Made made = make_one(p, buffer.get(), give_up);
        lock.lock();
        working_ = 0;
        if (made.file.fd() >= 0 && made.entry >= reached_ && !stopping_) {
            made_bytes_ += made.facts.size;
            unflushed += made.facts.size;
            made_.push_back(std::move(made));
        }
        cv_.notify_all();
        if (give_up)
            break;
    }
}

void Ahead::start(std::vector<Planned> plan)
{
    stop();
    if (plan.empty())
        return;
    std::lock_guard lock(m_);
    plan_ = std::move(plan);
    next_ = 0;
    reached_ = 0;
    stopping_ = false;
    try {
        thread_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // then the loop copies every entry itself
    }
}

Unnamed Ahead::take(std::int32_t entry, const std::string& source, std::int64_t& size)
{
    Made mine;
    {
        std::unique_lock lock(m_);
        if (made_.empty() && !thread_.joinable())
            return {};
        reached_ = entry;
        cv_.wait(lock, [&] { return working_ != entry; });
        while (!made_.empty() && made_.front().entry <= entry) {
            made_bytes_ -= made_.front().facts.size;
            if (made_.front().entry == entry)
                mine = std::move(made_.front());
            made_.pop_front();
        }
        if (!full(true))
            cv_.notify_all();
    }
    // One status call by name instead of an open, a status call and a close.
    platform::FileFacts now;
    if (mine.file.fd() < 0 || !platform::facts_at(source, now) || !same(mine.facts, now))
        return {};
    size = mine.facts.size;
    return std::move(mine.file);
}

void Ahead::stop()
{
    if (thread_.joinable()) {
        {
            std::lock_guard lock(m_);
            stopping_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    std::lock_guard lock(m_);
    made_.clear();
    made_bytes_ = 0;
    plan_.clear();
    plan_.shrink_to_fit();
}

} // namespace velmora::engine
