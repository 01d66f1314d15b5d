// The thread that copies small files ahead of the copy loop. It touches no
// file number of the runtime and nothing the program thread owns: plain
// descriptors, and its queue behind its own mutex. The copies have no name,
// so whatever ends the run, nothing of them is left behind.
#include "velmora/durable_ahead.hpp"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "velmora/durable.hpp"

namespace velmora::durable::ahead {

namespace {

constexpr std::size_t k_buffer = std::size_t(256) << 10;

struct Made {
    std::int32_t entry = 0;
    platform::FileFacts facts; // of the source, before and after its copy
    int fd = -1;
};

struct State {
    std::mutex m;
    std::condition_variable cv;
    std::string folder;
    std::vector<Planned> plan;
    std::size_t next = 0;
    std::deque<Made> made;
    std::int64_t made_bytes = 0;
    std::int32_t reached = 0; // the entry the copy loop is at
    std::int32_t working = 0; // the entry being copied, 0 for none
    bool running = false;
    bool stopping = false;
};

// Made once, never freed: the thread may still be in a copy when the
// program ends.
State* g_state = nullptr;

// Once the queue is full, the thread waits until an eighth of it is free
// (`spare`): the loop does not wake it for every copy it takes.
bool full(const State& s, bool spare)
{
    const std::size_t files = spare ? k_most_files / 8 : 0;
    const std::int64_t bytes = spare ? k_most_bytes / 8 : 0;
    return s.made.size() + files >= k_most_files || s.made_bytes + bytes >= k_most_bytes;
}

bool same(const platform::FileFacts& a, const platform::FileFacts& b)
{
    return a.size == b.size && a.device == b.device && a.node == b.node && a.changed == b.changed;
}

void drop(Made& m)
{
    platform::close_fd(m.fd);
    detail::release_unnamed();
    m.fd = -1;
}

// Exactly `size` bytes from in to out, inside the kernel where it can.
bool copy_all(int in, int out, std::int64_t size, std::unique_ptr<unsigned char[]>& buffer)
{
    std::int64_t left = size;
    while (left > 0) {
        std::size_t moved = 0;
        platform::Io io = platform::copy_range(in, out, static_cast<std::size_t>(left), moved);
        if (io == platform::Io::unsupported) {
            if (!buffer)
                buffer = std::make_unique<unsigned char[]>(k_buffer);
            std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, k_buffer));
            io = platform::read_some(in, buffer.get(), want, moved);
            if (io == platform::Io::ok && moved > 0)
                io = platform::write_all(out, buffer.get(), moved);
        }
        if (io != platform::Io::ok || moved == 0)
            return false; // a failure, or the source ended early
        left -= static_cast<std::int64_t>(moved);
    }
    return true;
}

// The copy of one planned source; fd -1 when it was not made, and
// `give_up` when no more can be (no such files here, or the device refused).
Made make_one(const std::string& folder, const Planned& p, std::unique_ptr<unsigned char[]>& buffer, bool& give_up)
{
    Made made;
    made.entry = p.entry;
    int in = platform::open_regular(p.source, platform::OpenMode::read, made.facts);
    if (in < 0)
        return made; // the loop will tell
    // A source that changed since it was measured is left to the loop; when
    // no more files may be held open, copying ahead ends.
    give_up = made.facts.size == p.size && !detail::hold_unnamed();
    if (made.facts.size != p.size || give_up) {
        platform::close_fd(in);
        return made;
    }
    platform::FileFacts unused;
    int out = platform::open_unnamed(folder, unused);
    if (out < 0) {
        detail::release_unnamed();
        platform::close_fd(in);
        give_up = true;
        return made;
    }
    bool copied = copy_all(in, out, p.size, buffer);
    platform::FileFacts after;
    bool unchanged = copied && platform::facts_of(in, after) && same(made.facts, after);
    platform::close_fd(in);
    made.fd = out;
    if (!unchanged) {
        drop(made);
        give_up = !copied;
    }
    return made;
}

void work(State* s)
{
    std::unique_ptr<unsigned char[]> buffer;
    std::unique_lock lock(s->m);
    std::int64_t unflushed = 0;
    while (!s->stopping && s->next < s->plan.size()) {
        if (full(*s, false)) {
            if (s->reached == 0 && unflushed > 0) {
                // Full before the loop takes any: the device, idle until the
                // loop's first flush, writes what was made meanwhile, so
                // that flush finds little left to write.
                lock.unlock();
                platform::flush_file_system(s->folder);
                lock.lock();
                unflushed = 0;
            }
            s->cv.wait(lock, [s] { return s->stopping || !full(*s, true); });
            if (s->stopping)
                break;
        }
        const Planned& p = s->plan[s->next++];
        if (p.entry <= s->reached)
            continue; // the loop is past it
        s->working = p.entry;
        lock.unlock();
        bool give_up = false;
        Made made = make_one(s->folder, p, buffer, give_up);
        lock.lock();
        s->working = 0;
        if (made.fd >= 0) {
            if (made.entry < s->reached || s->stopping) {
                drop(made);
            } else {
                s->made_bytes += made.facts.size;
                unflushed += made.facts.size;
                s->made.push_back(made);
            }
        }
        s->cv.notify_all();
        if (give_up)
            break;
    }
    s->running = false;
    s->cv.notify_all();
}

} // namespace

void start(const std::string& folder, std::vector<Planned> plan)
{
    stop();
    if (plan.empty())
        return;
    if (g_state == nullptr)
        g_state = new State;
    State& s = *g_state;
    std::lock_guard lock(s.m);
    s.folder = folder;
    s.plan = std::move(plan);
    s.next = 0;
    s.reached = 0;
    s.stopping = false;
    s.running = true;
    try {
        std::thread(work, g_state).detach();
    } catch (const std::system_error&) {
        s.running = false; // then the loop copies every entry itself
    }
}

int take(std::int32_t entry, const std::string& source, const std::string& folder, std::int64_t& size)
{
    if (g_state == nullptr)
        return -1;
    State& s = *g_state;
    Made mine;
    {
        std::unique_lock lock(s.m);
        if (s.made.empty() && !s.running)
            return -1;
        s.reached = entry;
        s.cv.wait(lock, [&] { return s.working != entry; });
        while (!s.made.empty() && s.made.front().entry <= entry) {
            Made m = s.made.front();
            s.made.pop_front();
            s.made_bytes -= m.facts.size;
            if (m.entry == entry && folder == s.folder)
                mine = m;
            else
                drop(m);
        }
        if (!full(s, true))
            s.cv.notify_all();
    }
    if (mine.fd < 0)
        return -1;
    // One status call by name instead of an open, a status call and a close.
    platform::FileFacts now;
    if (!platform::facts_at(source, now) || !same(mine.facts, now)) {
        drop(mine);
        return -1;
    }
    size = mine.facts.size;
    return mine.fd;
}

void stop()
{
    if (g_state == nullptr)
        return;
    State& s = *g_state;
    std::unique_lock lock(s.m);
    s.stopping = true;
    s.cv.notify_all();
    s.cv.wait(lock, [&] { return !s.running; });
    for (auto& m : s.made)
        drop(m);
    s.made.clear();
    s.made_bytes = 0;
    s.plan.clear();
    s.plan.shrink_to_fit();
}

} // namespace velmora::durable::ahead
