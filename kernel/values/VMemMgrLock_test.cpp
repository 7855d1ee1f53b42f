#include "kernel/values/VMemMgrLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

TEST(VMemMgrLock, IsRecursiveAndKnowsItsOwner)
{
    VMemMgrLock lock;
    EXPECT_FALSE(lock.IsHeldByCurrentThread());
    lock.Lock();
    lock.Lock();
    EXPECT_TRUE(lock.IsHeldByCurrentThread());
    lock.Unlock();
    // Still held once: another thread cannot take it.
    EXPECT_TRUE(lock.IsHeldByCurrentThread());
    bool otherHeld = true;
    std::thread([&] { otherHeld = lock.IsHeldByCurrentThread(); }).join();
    EXPECT_FALSE(otherHeld);
    lock.Unlock();
    EXPECT_FALSE(lock.IsHeldByCurrentThread());
}

// Threads that find the lock taken spin, yield and then sleep; each must still get it, and no two
// may hold it at once.
TEST(VMemMgrLock, ExcludesOtherThreadsThroughEveryWaitingStage)
{
    VMemMgrLock lock;
    constexpr int kThreads = 6;
    constexpr int kRounds = 2000;
    int64_t counter = 0; // plain: only the lock protects it
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};

    // A long hold first, so that the waiters reach their sleeping stage.
    lock.Lock();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (int round = 0; round < kRounds; ++round)
                {
                    lock.Lock();
                    if (inside.fetch_add(1) != 0)
                        overlap = true;
                    ++counter;
                    inside.fetch_sub(1);
                    lock.Unlock();
                }
            });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lock.Unlock();
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(counter, int64_t(kThreads) * kRounds);
}

} // namespace
} // namespace kova
