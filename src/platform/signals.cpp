// The C signal numbers both systems share, named once; hang-up and quit
// exist on POSIX only.
#include "platform/signals.hpp"

#include <csignal>

namespace platform::detail {

Signal signal_named(int sig)
{
    switch (sig) {
    case SIGINT: return Signal::interrupt;
    case SIGILL: return Signal::illegal_instruction;
    case SIGFPE: return Signal::floating_point;
    case SIGSEGV: return Signal::segmentation;
    case SIGTERM: return Signal::termination;
#ifdef SIGHUP
    case SIGHUP: return Signal::hang_up;
#endif
#ifdef SIGQUIT
    case SIGQUIT: return Signal::quit;
#endif
    default: return Signal::abort;
    }
}

} // namespace platform::detail
