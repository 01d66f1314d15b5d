// POSIX bodies of the signal hooks. A request from outside may land on any
// thread (the window's); it is passed on to the program thread.
#include "platform/signals.hpp"

#include <pthread.h>

#include <atomic>
#include <csignal>

namespace platform {

namespace {

std::atomic<SignalHandler> g_handler{nullptr};
pthread_t g_program_thread;
thread_local bool t_program_thread = false;

extern "C" void on_signal(int sig)
{
    bool request = sig == SIGINT || sig == SIGTERM || sig == SIGHUP || sig == SIGQUIT;
    if (request && !t_program_thread) {
        pthread_kill(g_program_thread, sig);
        return;
    }
    if (auto handler = g_handler.load())
        handler(detail::signal_named(sig));
}

} // namespace

void install_signal_handler(SignalHandler handler)
{
    g_handler.store(handler);
    g_program_thread = pthread_self();
    t_program_thread = true;
    for (int sig : {SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM, SIGABRT, SIGHUP, SIGQUIT})
        std::signal(sig, on_signal);
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
