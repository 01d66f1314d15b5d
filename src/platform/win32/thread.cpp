// Win32 thread start: CreateThread, whose handle goes to the caller.
#include "platform/thread.hpp"

#include <windows.h>

#include <new>

namespace platform {
namespace {

struct Start {
    ThreadRoutine routine;
    void* arg;
};

DWORD WINAPI trampoline(LPVOID p)
{
    Start s = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    s.routine(s.arg);
    return 0;
}

} // namespace

void* start_thread(ThreadRoutine routine, void* arg)
{
    if (routine == nullptr)
        return nullptr;
    auto* s = new (std::nothrow) Start{routine, arg};
    if (s == nullptr)
        return nullptr;
    HANDLE h = CreateThread(nullptr, 0, trampoline, s, 0, nullptr);
    if (h == nullptr)
        delete s;
    return h;
}

} // namespace platform
