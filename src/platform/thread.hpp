// Starting a thread on a plain routine and handing back the system's handle.
#pragma once

namespace platform {

using ThreadRoutine = void (*)(void*);

// Starts `routine(arg)` with the default stack size. The handle is the
// system's (a Win32 thread handle, a pthread_t on POSIX, where the thread is
// detached so that it needs no join); null when no thread could be started.
void* start_thread(ThreadRoutine routine, void* arg);

} // namespace platform
