#include "kernel/tasks/VConditionVariable.h"

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/tasks/WaitUntil_test.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace kova;

TEST(VConditionVariable, BroadcastWithoutWaiterDoesNothing)
{
    VConditionVariable condition;
    EXPECT_TRUE(condition.Broadcast());
    EXPECT_FALSE(condition.HasWaiterEvent());
    EXPECT_EQ(condition.CountWaiters(), 0u);
}

TEST(VConditionVariable, BroadcastWakesEveryWaiterHoldingTheLockAgain)
{
    constexpr int kWaiters = 3;
    VConditionVariable condition;
    VCriticalSection lock;
    bool ready = false;
    std::atomic<int> wokenOwning{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
    {
        waiters.emplace_back(
            [&]
            {
                lock.Lock();
                while (!ready)
                    condition.Wait(&lock);
                if (lock.GetOwner() == VTaskMgr::GetCurrentTaskID() && lock.GetRecursionCount() == 1)
                    ++wokenOwning;
                lock.Unlock();
            });
    }
    WaitUntil([&] { return condition.CountWaiters() == kWaiters; });
    lock.Lock();
    ready = true;
    lock.Unlock();
    EXPECT_TRUE(condition.Broadcast());
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(wokenOwning.load(), kWaiters);
    EXPECT_EQ(condition.CountWaiters(), 0u);

    // The last waiter out reset the event: a new wait finds no broadcast.
    lock.Lock();
    EXPECT_FALSE(condition._Wait(&lock, true, 20));
    EXPECT_EQ(lock.GetOwner(), VTaskMgr::GetCurrentTaskID());
    EXPECT_EQ(lock.GetRecursionCount(), 1u);
    lock.Unlock();
}

TEST(VConditionVariable, WaitWithAnotherLockThanTheWaitersIsRefused)
{
    VConditionVariable condition;
    VCriticalSection first;
    VCriticalSection second;
    bool woken = false;
    std::thread waiter(
        [&]
        {
            first.Lock();
            woken = condition.Wait(&first);
            first.Unlock();
        });
    WaitUntil([&] { return condition.CountWaiters() == 1; });

    second.Lock();
    EXPECT_FALSE(condition._Wait(&second, true, 10));
    EXPECT_EQ(second.GetOwner(), VTaskMgr::GetCurrentTaskID());
    EXPECT_EQ(second.GetRecursionCount(), 1u);
    EXPECT_EQ(condition.CountWaiters(), 1u);
    second.Unlock();

    condition.Broadcast();
    waiter.join();
    EXPECT_TRUE(woken);
}

TEST(VConditionVariable, WaitOnALockTheCallerDoesNotHoldIsRefused)
{
    VConditionVariable condition;
    EXPECT_FALSE(condition._Wait(nullptr, true, 10));

    VCriticalSection freeLock;
    EXPECT_FALSE(condition.Wait(&freeLock));
    EXPECT_EQ(freeLock.GetOwner(), 0);
    EXPECT_EQ(freeLock.GetRecursionCount(), 0u);

    VCriticalSection othersLock;
    int32_t otherID = 0;
    std::thread(
        [&]
        {
            othersLock.Lock();
            otherID = VTaskMgr::GetCurrentTaskID();
        })
        .join();
    EXPECT_FALSE(condition.Wait(&othersLock));
    EXPECT_EQ(othersLock.GetOwner(), otherID);
    EXPECT_EQ(othersLock.GetRecursionCount(), 1u);
    EXPECT_EQ(condition.CountWaiters(), 0u);
}
