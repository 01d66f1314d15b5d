// Win32 bodies of the signal hooks: the C runtime's six signals; there is
// no hang-up, quit or file-size signal, and no thread to pass requests to.
#include "platform/signals.hpp"

#include <atomic>
#include <csignal>

namespace platform {

namespace {

std::atomic<SignalHandler> g_handler{nullptr};

extern "C" void on_signal(int sig)
{
    if (auto handler = g_handler.load())
        handler(detail::signal_named(sig));
}

} // namespace

void install_signal_handler(SignalHandler handler)
{
    g_handler.store(handler);
    for (int sig : {SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM, SIGABRT})
        std::signal(sig, on_signal);
}

} // namespace platform
