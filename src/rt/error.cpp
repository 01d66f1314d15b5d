// Runtime error report, procedure scope and signal mapping.
#include "rt/error.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/fs.hpp"
#include "rt/files.hpp"

#ifdef _WIN32
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#define RT_WRITE _write
#else
#include <pthread.h>
#include <unistd.h>
#define RT_WRITE ::write
#define RT_UNLINK ::unlink
#endif

namespace rt {
namespace {

thread_local const char* t_module = nullptr;
thread_local const char* t_proc = nullptr;
#ifndef _WIN32
// A request from outside may land on any thread (the window's); it is
// handed to the program thread, whose procedure the report names.
pthread_t g_program_thread;
thread_local bool t_program_thread = false;
#endif

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
#ifdef _WIN32
    // A text-mode stream would turn the report's CR LF into CR CR LF.
    _setmode(2, _O_BINARY);
#endif
    while (n > 0) {
        auto w = RT_WRITE(2, s, static_cast<unsigned>(n));
        if (w <= 0)
            return;
        s += w;
        n -= static_cast<int>(w);
    }
}

char g_removal[4096] = {0};
#ifdef _WIN32
// The same path as the wide-character call takes it, made when it is set.
wchar_t g_removal_wide[4096] = {0};
#endif

// Owned copies; the signal path only reads the pointers. Signals from
// outside are handed to the program thread, which alone changes these.
constexpr int k_more = 2048;
std::atomic<char*> g_more[k_more];
#ifdef _WIN32
std::atomic<wchar_t*> g_more_wide[k_more];
#endif

void remove_pending_file()
{
#ifdef _WIN32
    if (g_removal_wide[0] != L'\0')
        _wunlink(g_removal_wide);
#else
    if (g_removal[0] != '\0')
        RT_UNLINK(g_removal);
#endif
#ifdef _WIN32
    for (auto& slot : g_more_wide)
        if (wchar_t* path = slot.load())
            _wunlink(path);
#else
    for (auto& slot : g_more)
        if (char* path = slot.load())
            RT_UNLINK(path);
#endif
}

std::atomic<void (*)()> g_before_failure{nullptr};

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
        hook();
#ifdef _WIN32
    // The hooks remove half-written files, which Windows refuses while open.
    close_files_for_exit();
#endif
    remove_pending_file();
    char buf[512];
    int n = format_report(buf, sizeof buf, number, t_module, t_proc, line);
    std::fflush(stdout);
    flush_all_files();
    write_all(buf, n);
    run_failure_hooks(buf);
    std::_Exit(number);
}

extern "C" void on_signal(int sig)
{
#ifndef _WIN32
    if (!t_program_thread && (sig == SIGINT || sig == SIGTERM || sig == SIGHUP || sig == SIGQUIT)) {
        pthread_kill(g_program_thread, sig);
        return;
    }
#endif
    int number = 0;
    switch (sig) {
    case SIGINT: number = 9; break;
    case SIGILL: number = 10; break;
    case SIGFPE: number = 11; break;
    case SIGSEGV: number = 12; break;
#ifdef SIGHUP
    case SIGHUP: number = 13; break; // a closed terminal asks the program to end
    case SIGQUIT: number = 15; break;
#endif
    case SIGTERM: number = 13; break;
    case SIGABRT: number = 14; break;
    default: number = 0; break;
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
#ifndef _WIN32
    g_program_thread = pthread_self();
    t_program_thread = true;
#endif
    for (int sig : {SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM, SIGABRT})
        std::signal(sig, on_signal);
#ifdef SIGHUP
    std::signal(SIGHUP, on_signal);
    std::signal(SIGQUIT, on_signal);
    // A file over the size limit is refused with EFBIG, which the copy
    // reports, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void remove_on_abort(const std::string& path)
{
#ifdef _WIN32
    g_removal_wide[0] = L'\0';
#endif
    if (path.size() >= sizeof g_removal) {
        g_removal[0] = '\0';
        return;
    }
    // Cleared first so a signal in between never sees half a path.
    g_removal[0] = '\0';
    std::memcpy(g_removal + 1, path.c_str() + (path.empty() ? 0 : 1), path.size());
    g_removal[path.size()] = '\0';
    if (!path.empty())
        g_removal[0] = path[0];
#ifdef _WIN32
    std::wstring wide = platform::wide_path(path);
    if (wide.size() < sizeof g_removal_wide / sizeof g_removal_wide[0]) {
        std::wmemcpy(g_removal_wide + 1, wide.c_str() + (wide.empty() ? 0 : 1), wide.size());
        g_removal_wide[wide.size()] = L'\0';
        if (!wide.empty())
            g_removal_wide[0] = wide[0];
    }
#endif
}

int remove_on_abort_add(const std::string& path)
{
    for (int i = 0; i < k_more; ++i) {
        if (g_more[i].load() != nullptr)
            continue;
        char* copy = new char[path.size() + 1];
        std::memcpy(copy, path.c_str(), path.size() + 1);
        g_more[i].store(copy);
#ifdef _WIN32
        std::wstring wide = platform::wide_path(path);
        wchar_t* wcopy = new wchar_t[wide.size() + 1];
        std::wmemcpy(wcopy, wide.c_str(), wide.size() + 1);
        g_more_wide[i].store(wcopy);
#endif
        return i;
    }
    return -1;
}

void remove_on_abort_drop(int handle)
{
    if (handle >= 0 && handle < k_more) {
#ifdef _WIN32
        delete[] g_more_wide[handle].exchange(nullptr);
#endif
        delete[] g_more[handle].exchange(nullptr);
    }
}

void before_failure(void (*hook)())
{
    g_before_failure.store(hook);
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
