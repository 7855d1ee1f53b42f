#include "kernel/tasks/VCriticalSection.h"

#include "kernel/tasks/VTaskMgr.h"
#include "kernel/tasks/WaitUntil_test.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <new>
#include <thread>
#include <vector>

using namespace kova;

namespace
{

bool TryToLockFromAnotherThread(VCriticalSection& lock)
{
    bool locked = false;
    std::thread(
        [&]
        {
            locked = lock.TryToLock();
            if (locked)
                lock.Unlock();
        })
        .join();
    return locked;
}

} // namespace

TEST(VCriticalSection, NestedLocksNeedAsManyUnlocks)
{
    VCriticalSection lock;
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.TryToLock());
    EXPECT_EQ(lock.GetRecursionCount(), 3u);
    EXPECT_EQ(lock.GetOwner(), VTaskMgr::GetCurrentTaskID());

    for (uint32_t remaining = 3; remaining > 0; --remaining)
    {
        EXPECT_FALSE(TryToLockFromAnotherThread(lock)) << remaining << " levels held";
        EXPECT_TRUE(lock.Unlock());
        EXPECT_EQ(lock.GetRecursionCount(), remaining - 1);
    }
    EXPECT_EQ(lock.GetOwner(), 0);
    EXPECT_TRUE(TryToLockFromAnotherThread(lock));
    EXPECT_EQ(lock.GetOwner(), 0);
}

TEST(VCriticalSection, UnbalancedUnlockChangesNothing)
{
    VCriticalSection lock;
    EXPECT_FALSE(lock.Unlock());
    EXPECT_EQ(lock.GetOwner(), 0);
    EXPECT_EQ(lock.GetRecursionCount(), 0u);

    lock.Lock();
    lock.Lock();
    bool unlockedByOther = true;
    std::thread([&] { unlockedByOther = lock.Unlock(); }).join();
    EXPECT_FALSE(unlockedByOther);
    EXPECT_EQ(lock.GetOwner(), VTaskMgr::GetCurrentTaskID());
    EXPECT_EQ(lock.GetRecursionCount(), 2u);

    EXPECT_TRUE(lock.Unlock());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(lock.Unlock());
    EXPECT_EQ(lock.GetRecursionCount(), 0u);
    // Still usable after the refused Unlocks.
    EXPECT_TRUE(TryToLockFromAnotherThread(lock));
}

TEST(VCriticalSection, WaiterWakesOnLastUnlockAndTheEventIsDropped)
{
    VCriticalSection lock;
    lock.Lock();
    lock.Lock();
    std::atomic<bool> acquired{false};
    std::thread waiter(
        [&]
        {
            lock.Lock();
            acquired = true;
            lock.Unlock();
        });
    WaitUntil([&] { return lock.HasWaiterEvent(); });

    lock.Unlock();
    EXPECT_FALSE(acquired.load());
    EXPECT_TRUE(lock.HasWaiterEvent());
    lock.Unlock();
    waiter.join();

    EXPECT_TRUE(acquired.load());
    EXPECT_FALSE(lock.HasWaiterEvent());
    EXPECT_EQ(lock.GetOwner(), 0);
    EXPECT_EQ(lock.GetRecursionCount(), 0u);
}

TEST(VCriticalSection, DestroyingAHeldLockReleasesItAndWakesItsWaiter)
{
    // The storage outlives the lock so that the woken waiter can take what is left of it.
    alignas(VCriticalSection) std::byte storage[sizeof(VCriticalSection)];
    VCriticalSection* lock = new (storage) VCriticalSection;
    lock->Lock();
    lock->Lock();
    std::atomic<bool> acquired{false};
    std::thread waiter(
        [&]
        {
            lock->Lock();
            acquired = true;
        });
    WaitUntil([&] { return lock->HasWaiterEvent(); });
    EXPECT_FALSE(acquired.load());

    lock->~VCriticalSection();
    waiter.join();
    EXPECT_TRUE(acquired.load());
}

TEST(VCriticalSection, ExcludesUnderContention)
{
    constexpr int kThreads = 8;
    constexpr int kIncrements = 20000;
    VCriticalSection lock;
    int64_t counter = 0;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&]
            {
                WaitUntil([&] { return go.load(); });
                for (int i = 0; i < kIncrements; ++i)
                {
                    if (i % 16 == 0)
                    {
                        while (!lock.TryToLock())
                            std::this_thread::yield();
                        lock.Lock();
                        ++counter;
                        lock.Unlock();
                        lock.Unlock();
                    }
                    else
                    {
                        StLocker locker(lock);
                        ++counter;
                    }
                }
            });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(counter, int64_t(kThreads) * kIncrements);
    EXPECT_EQ(lock.GetOwner(), 0);
    EXPECT_EQ(lock.GetRecursionCount(), 0u);
    EXPECT_FALSE(lock.HasWaiterEvent());
}
