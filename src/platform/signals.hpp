// The signals that end the program, handed to one handler on the program
// thread; a signal that cannot be caught on this system is never handed on.
#pragma once

namespace platform {

enum class Signal { interrupt, illegal_instruction, floating_point, segmentation, termination, abort, hang_up, quit };

// Must not return: it ends the program. Runs in a signal handler, so it
// may only do what is safe there.
using SignalHandler = void (*)(Signal);

// Hands every signal above to `handler`. Requests from outside (interrupt,
// termination, hang-up, quit) that land on another thread go to the thread
// that called this, so the handler sees that thread's state. A file over the
// size limit is refused with an error instead of a signal.
void install_signal_handler(SignalHandler handler);

namespace detail {
// What a C signal number stands for; anything unknown is an abort.
Signal signal_named(int sig);
} // namespace detail

} // namespace platform
