#include "kernel/tasks/VSyncEvent.h"

#include "kernel/tasks/WaitUntil_test.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace kova;

TEST(VSyncEvent, ZeroOrNegativeTimeoutOnlyTestsTheFlag)
{
    VSyncEvent event;
    EXPECT_FALSE(event.IsSignalled());
    EXPECT_FALSE(event.Lock(0));
    EXPECT_FALSE(event.Lock(-5));

    EXPECT_TRUE(event.Unlock());
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.Lock(-5));
    // Signalled stays signalled: every waiter passes until Reset.
    EXPECT_TRUE(event.Lock());
    EXPECT_TRUE(event.Lock(0));

    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.Lock(0));
}

TEST(VSyncEvent, TimedWaitWithoutSignalReturnsFalseAtItsDeadline)
{
    VSyncEvent event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.Lock(30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(event.CountWaiters(), 0);
}

TEST(VSyncEvent, TimedWaitReturnsTrueOnSignal)
{
    VSyncEvent event;
    bool signalled = false;
    std::thread waiter([&] { signalled = event.Lock(60000); });
    WaitUntil([&] { return event.CountWaiters() == 1; });
    event.Unlock();
    waiter.join();
    EXPECT_TRUE(signalled);
}

TEST(VSyncEvent, SignalUndoneByResetDoesNotEndATimedWaitEarly)
{
    // The waiter is woken, but by the time it runs the event is no longer signalled: it must
    // either have seen the signal or wait for its whole time.
    constexpr int32_t kTimeout = 100;
    VSyncEvent event;
    bool signalled = false;
    std::chrono::steady_clock::duration waited{};
    std::thread waiter(
        [&]
        {
            auto start = std::chrono::steady_clock::now();
            signalled = event.Lock(kTimeout);
            waited = std::chrono::steady_clock::now() - start;
        });
    WaitUntil([&] { return event.CountWaiters() == 1; });
    event.Unlock();
    event.Reset();
    waiter.join();
    EXPECT_TRUE(signalled || waited >= std::chrono::milliseconds(kTimeout));
}

TEST(VSyncEvent, SignalWakesEveryWaiter)
{
    constexpr int kWaiters = 4;
    VSyncEvent event;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
    {
        waiters.emplace_back(
            [&, i]
            {
                if (i % 2 == 0 ? event.Lock() : event.Lock(60000))
                    ++woken;
            });
    }
    WaitUntil([&] { return event.CountWaiters() == kWaiters; });
    EXPECT_EQ(woken.load(), 0);
    event.Unlock();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(woken.load(), kWaiters);
}

TEST(VSyncEvent, DestroyingAnEventLetsItsWaitersGo)
{
    // The waiters hold no reference: the destructor must let them out before the event goes
    // (the address sanitizer build catches a waiter that touches it afterwards).
    VSyncEvent* event = new VSyncEvent;
    std::atomic<int> returned{0};
    std::thread untimed(
        [&]
        {
            event->Lock();
            ++returned;
        });
    std::thread timed(
        [&]
        {
            event->Lock(60000);
            ++returned;
        });
    WaitUntil([&] { return event->CountWaiters() == 2; });
    event->Release();
    untimed.join();
    timed.join();
    EXPECT_EQ(returned.load(), 2);
}
