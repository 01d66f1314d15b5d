// Module explorer: captured command output, RUN2's hand-off slot and its
// thread routine, and thread starts. The system's own bodies of DEL and RUNN
// are in posix/explorer_shell.cpp and win32/explorer_shell.cpp.
#include "inc/explorer_shell.hpp"

#include <atomic>
#include <cstdint>

#include "platform/process.hpp"
#include "platform/thread.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"

namespace explorer {

namespace {

// The hand-off slot of RUN2. Only whoever has set busy from 0 to 1 may
// touch the rest; pending tells that a request waits for its thread.
struct RunSlot {
    std::atomic<std::uint8_t> busy{0};
    std::string program;
    std::string arguments;
    bool pending = false;
    // Which RUN2 call the pending request belongs to.
    std::uint64_t request = 0;
};

RunSlot& slot()
{
    static RunSlot s;
    return s;
}

} // namespace

namespace detail {

std::string captured_text(const std::string& raw)
{
    std::string out;
    std::string line;
    auto end_line = [&] {
        if (!line.empty())
            out += (out.empty() ? "" : "\r\n") + line;
        line.clear();
    };
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            end_line();
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else if (raw[i] == '\n') {
            end_line();
        } else {
            line.push_back(raw[i]);
        }
    }
    end_line();
    return out;
}

bool cmd_quote(const std::string& text, std::string& out)
{
    if (text.find_first_of(std::string("\"\r\n\0", 4)) != std::string::npos)
        return false;
    out = "\"" + text + "\"";
    return true;
}

bool wildcard_match(const std::string& pattern, const std::string& name)
{
    // Greedy with one back-track point: linear enough for file names.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool run_slot_idle()
{
    if (slot().busy.exchange(1, std::memory_order_acquire) != 0)
        return false;
    bool pending = slot().pending;
    slot().busy.store(0, std::memory_order_release);
    return !pending;
}

} // namespace detail

namespace {

// Waits for busy to be 0 and sets it to 1 in one step.
void take_slot()
{
    while (slot().busy.exchange(1, std::memory_order_acquire) != 0)
        screen::WAIT_MS(1);
}

void free_slot()
{
    slot().busy.store(0, std::memory_order_release);
}

void run_thread_entry(void*)
{
    RUNTHREARD();
}

} // namespace

std::string SCHELL(const std::string& command)
{
    RT_PROC("explorer", "SCHELL");
    int n = rt::free_file();
    rt::open_pipe(n, command);
    std::string out;
    while (!rt::eof(n)) {
        std::string line = rt::read_line(n);
        if (line.empty())
            continue;
        out += line;
        out += "\r\n";
    }
    // Closed at once, or every call would keep a file number for ever.
    rt::close(n);
    if (!out.empty())
        out.resize(out.size() - 2);
    return out;
}

ThreadHandle RUN2(const std::string& program, const std::string& arguments)
{
    RT_PROC("explorer", "RUN2");
    // A request still waiting for its thread keeps the slot: filling it
    // again would lose that request and run this one twice.
    for (;;) {
        take_slot();
        if (!slot().pending)
            break;
        free_slot();
        screen::WAIT_MS(1);
    }
    screen::WAIT_MS(1);
    slot().program = program;
    slot().arguments = arguments;
    slot().pending = true;
    std::uint64_t mine = ++slot().request;
    screen::WAIT_MS(1);
    free_slot();
    ThreadHandle h = platform::start_thread(run_thread_entry, nullptr);
    if (h == nullptr) {
        // No thread will take it; withdraw it, unless it was taken already.
        take_slot();
        if (slot().pending && slot().request == mine)
            slot().pending = false;
        free_slot();
    }
    return h;
}

void RUNTHREARD()
{
    RT_PROC("explorer", "RUNTHREARD");
    take_slot();
    screen::WAIT_MS(1);
    bool mine = slot().pending;
    std::string program = slot().program;
    std::string arguments = slot().arguments;
    slot().pending = false;
    screen::WAIT_MS(1);
    free_slot();
    // Only a pending request is run: an old one must not run again.
    if (mine)
        platform::run_program_wait(program, arguments);
}

ThreadHandle THCREATE(ThreadRoutine routine)
{
    RT_PROC("explorer", "THCREATE");
    return platform::start_thread(routine, nullptr);
}

} // namespace explorer
