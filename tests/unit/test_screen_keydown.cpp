// KEY_DOWN sits in the copy loop once per chunk of bytes: it must neither
// take the screen lock nor allocate.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <new>

#include "screen/screen.hpp"
#include "screen/state.hpp"
#include "screen/testing.hpp"

namespace {
std::atomic<long> g_allocations{0};
}

// Counting replacements of the global allocation functions; they pair malloc
// with free, which the compiler cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(KeyDown, AllocatesNothing)
{
    screen::testing::reset();
    ASSERT_EQ(screen::SCREEN_OPEN(800, 400, 32), 0);
    screen::headless::hold(screen::scan::space, true);
    long before = g_allocations.load();
    long held = 0;
    for (int i = 0; i < 1000000; ++i)
        held += screen::KEY_DOWN(i % 130);
    EXPECT_EQ(g_allocations.load(), before);
    EXPECT_EQ(held, -7692); // scan code 57 came round 7692 times
    screen::testing::reset();
}

TEST(KeyDown, AnswersWhileTheScreenLockIsHeld)
{
    screen::testing::reset();
    ASSERT_EQ(screen::SCREEN_OPEN(800, 400, 32), 0);
    screen::headless::hold(screen::scan::esc, true);
    std::unique_lock lock(screen::detail::state().m);
    auto answer = std::async(std::launch::async, [] { return screen::KEY_DOWN(screen::scan::esc); });
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(answer.get(), -1);
    lock.unlock();
    screen::testing::reset();
}

} // namespace
