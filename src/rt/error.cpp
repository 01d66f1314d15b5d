// Runtime error report, procedure scope and signal mapping.
#include "rt/error.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/fs.hpp"
#include "platform/signals.hpp"
#include "platform/streams.hpp"
#include "rt/files.hpp"

namespace rt {
namespace {

thread_local const char* t_module = nullptr;
thread_local const char* t_proc = nullptr;

const char* const k_names[18] = {
    "",
    "illegal function call",
    "file not found",
    "file I/O error",
    "out of memory",
    "illegal resume",
    "out of bounds array access",
    "null pointer access",
    "no priviledges",
    "\"interrupted\" signal",
    "\"illegal instruction\" signal",
    "\"floating point error\" signal",
    "\"segmentation violation\" signal",
    "\"termination request\" signal",
    "\"abnormal termination\" signal",
    "\"quit request\" signal",
    "return without gosub",
    "end of file",
};

// Formats into a fixed buffer so the signal path needs no allocation.
int format_report(char* out, size_t size, int number, const char* module, const char* proc, int line)
{
    int n = std::snprintf(out, size, "\r\nAborting due to runtime error %d", number);
    auto add = [&](const char* fmt, auto... args) {
        if (n >= 0 && static_cast<size_t>(n) < size)
            n += std::snprintf(out + n, size - static_cast<size_t>(n), fmt, args...);
    };
    if (number >= 0 && number <= 17)
        add(" (%s)", k_names[number]);
    if (line > 0)
        add(" at line %d", line);
    const char* word = line > 0 ? "of" : "in";
    if (module == nullptr)
        add("%s", "\r\n\r\n");
    else if (proc == nullptr)
        add(" %s %s()\r\n\r\n", word, module);
    else
        add(" %s %s::%s()\r\n\r\n", word, module, proc);
    if (n < 0)
        return 0;
    return static_cast<size_t>(n) < size ? n : static_cast<int>(size) - 1;
}

void write_all(const char* s, int n)
{
    if (n > 0)
        platform::write_standard_error(s, static_cast<std::size_t>(n));
}

// Names made ready when they are set; the signal path only reads the
// pointers. Signals from outside are handed to the program thread, which
// alone changes these.
std::atomic<platform::ReadyName*> g_removal{nullptr};
// As long as a path may be on POSIX (PATH_MAX); a longer one is not kept.
constexpr std::size_t k_longest_removal = 4096;
constexpr int k_more = 4096;
std::atomic<platform::ReadyName*> g_more[k_more];
// Where the search for a free place starts: places are dropped roughly in
// the order they were taken, so the next one is usually free.
std::atomic<int> g_next_more{0};

void remove_pending_file()
{
    platform::delete_ready_name(g_removal.load());
    for (auto& slot : g_more)
        platform::delete_ready_name(slot.load());
}

// Set on the program thread; run once, by whichever thread fails first.
std::atomic<void (*)(void*)> g_before_failure{nullptr};
std::atomic<void*> g_before_context{nullptr};

// Fixed slots: the failure path must not allocate or take locks.
std::atomic<void (*)(const char*)> g_failure_hooks[4];
std::atomic<bool> g_failing{false};

void run_failure_hooks(const char* report)
{
    // A second failure on the way out (in a hook, or on another thread) ends
    // without running them again.
    if (g_failing.exchange(true))
        return;
    for (auto& slot : g_failure_hooks)
        if (auto hook = slot.load())
            hook(report);
}

[[noreturn]] void report_and_exit(int number, int line)
{
    // Once only: a failure inside the hook goes straight on to the report.
    if (auto hook = g_before_failure.exchange(nullptr))
        hook(g_before_context.load());
    // The hooks remove half-written files, which some systems refuse while open.
    if (platform::open_files_block_deletion())
        close_files_for_exit();
    remove_pending_file();
    char buf[512];
    int n = format_report(buf, sizeof buf, number, t_module, t_proc, line);
    std::fflush(stdout);
    flush_all_files();
    write_all(buf, n);
    run_failure_hooks(buf);
    std::_Exit(number);
}

void on_signal(platform::Signal sig)
{
    using platform::Signal;
    int number = 0;
    switch (sig) {
    case Signal::interrupt: number = 9; break;
    case Signal::illegal_instruction: number = 10; break;
    case Signal::floating_point: number = 11; break;
    case Signal::segmentation: number = 12; break;
    case Signal::hang_up: number = 13; break; // a closed terminal asks the program to end
    case Signal::quit: number = 15; break;
    case Signal::termination: number = 13; break;
    case Signal::abort: number = 14; break;
    }
    remove_pending_file();
    char buf[512];
    int n = format_report(buf, sizeof buf, number, t_module, t_proc, 0);
    write_all(buf, n);
    std::_Exit(number);
}

std::mutex g_end_mutex;
std::vector<void (*)()>& end_hooks()
{
    static std::vector<void (*)()> hooks;
    return hooks;
}

} // namespace

const char* error_name(int number)
{
    return number >= 0 && number <= 17 ? k_names[number] : "";
}

std::string error_report(int number, const char* module, const char* proc, int line)
{
    char buf[512];
    int n = format_report(buf, sizeof buf, number, module, proc, line);
    return std::string(buf, static_cast<size_t>(n));
}

const char* current_module() { return t_module; }
const char* current_proc() { return t_proc; }

Scope::Scope(const char* module, const char* proc) noexcept : prev_module_(t_module), prev_proc_(t_proc)
{
    t_module = module;
    t_proc = proc;
}

Scope::~Scope()
{
    t_module = prev_module_;
    t_proc = prev_proc_;
}

void fail(int number, std::source_location loc)
{
    report_and_exit(number, static_cast<int>(loc.line()));
}

void fail_noline(int number)
{
    report_and_exit(number, 0);
}

void install_signal_handlers()
{
    platform::install_signal_handler(on_signal);
}

void remove_on_abort(const std::string& path)
{
    // The old name is freed only once the new one is in place, so a signal
    // in between deletes one or the other, never a freed one.
    platform::ReadyName* ready = path.size() < k_longest_removal ? platform::make_ready_name(path) : nullptr;
    platform::free_ready_name(g_removal.exchange(ready));
}

int remove_on_abort_add(const std::string& path)
{
    const int start = g_next_more.load();
    for (int k = 0; k < k_more; ++k) {
        int i = (start + k) % k_more;
        if (g_more[i].load() != nullptr)
            continue;
        platform::ReadyName* ready = platform::make_ready_name(path);
        if (ready == nullptr)
            return -1;
        g_more[i].store(ready);
        g_next_more.store((i + 1) % k_more);
        return i;
    }
    return -1;
}

void remove_on_abort_drop(int handle)
{
    if (handle >= 0 && handle < k_more)
        platform::free_ready_name(g_more[handle].exchange(nullptr));
}

void before_failure(void (*hook)(void*), void* context)
{
    g_before_context.store(context);
    g_before_failure.store(hook);
}

void drop_before_failure(void* context)
{
    if (g_before_context.load() == context)
        g_before_failure.store(nullptr);
}

void at_end(void (*hook)())
{
    std::lock_guard lock(g_end_mutex);
    auto& hooks = end_hooks();
    if (std::find(hooks.begin(), hooks.end(), hook) == hooks.end())
        hooks.push_back(hook);
}

void at_failure(void (*hook)(const char* report))
{
    for (auto& slot : g_failure_hooks) {
        void (*empty)(const char*) = nullptr;
        if (slot.load() == hook || slot.compare_exchange_strong(empty, hook))
            return;
    }
}

void end_program(int status)
{
    std::vector<void (*)()> hooks;
    {
        std::lock_guard lock(g_end_mutex);
        hooks.swap(end_hooks());
    }
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it)
        (*it)();
    std::fflush(stdout);
    flush_all_files();
    std::_Exit(status);
}

} // namespace rt
