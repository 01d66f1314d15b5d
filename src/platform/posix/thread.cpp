// POSIX thread start: detached pthreads, so no caller has to join them.
#include "platform/thread.hpp"

#include <pthread.h>

#include <new>

namespace platform {
namespace {

struct Start {
    ThreadRoutine routine;
    void* arg;
};

void* trampoline(void* p)
{
    Start s = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    s.routine(s.arg);
    return nullptr;
}

} // namespace

void* start_thread(ThreadRoutine routine, void* arg)
{
    if (routine == nullptr)
        return nullptr;
    auto* s = new (std::nothrow) Start{routine, arg};
    if (s == nullptr)
        return nullptr;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        delete s;
        return nullptr;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t tid{};
    int rc = pthread_create(&tid, &attr, trampoline, s);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete s;
        return nullptr;
    }
    static_assert(sizeof(pthread_t) <= sizeof(void*));
    return reinterpret_cast<void*>(tid);
}

} // namespace platform
