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
    Signal which = Signal::abort;
    switch (sig) {
    case SIGINT: which = Signal::interrupt; break;
    case SIGILL: which = Signal::illegal_instruction; break;
    case SIGFPE: which = Signal::floating_point; break;
    case SIGSEGV: which = Signal::segmentation; break;
    case SIGTERM: which = Signal::termination; break;
    default: which = Signal::abort; break;
    }
    if (auto handler = g_handler.load())
        handler(which);
}

} // namespace

void install_signal_handler(SignalHandler handler)
{
    g_handler.store(handler);
    for (int sig : {SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM, SIGABRT})
        std::signal(sig, on_signal);
}

} // namespace platform
