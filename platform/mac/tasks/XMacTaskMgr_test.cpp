#include "platform/mac/tasks/XMacTaskMgr.h"

#include "kernel/tasks/CountingScheduler_test.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/frameworks/MachThread.h"
#include "platform/mac/tasks/XMacTask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kova;

namespace
{

class UpdateEvents : public testing::Test
{
protected:
    void SetUp() override { VTaskMgr::Get()->SetFiberScheduler(fScheduler.Get()); }
    void TearDown() override
    {
        VRefPtr<VScheduler_void> plain(new VScheduler_void);
        VTaskMgr::Get()->SetFiberScheduler(plain.Get());
    }

    VRefPtr<VCountingScheduler> fScheduler{new VCountingScheduler};
};

} // namespace

TEST_F(UpdateEvents, ARunLoopTimerPollsThemWhileHandled)
{
    VTaskMgr* manager = VTaskMgr::Get();
    cf::RunLoop* loop = cf::RunLoopGetCurrent();
    int32_t timers = cf::RunLoopCountTimers(loop);

    manager->MAC_BeginHandlingUpdateEventsOnly();
    manager->MAC_BeginHandlingUpdateEventsOnly();
    EXPECT_FALSE(fScheduler->fPolling);
    EXPECT_EQ(cf::RunLoopCountTimers(loop), timers + 1);
    // The first firing is due at once.
    EXPECT_EQ(cf::RunLoopRunInMode(kHungTestMilliseconds / 1000.0, true), cf::kRunLoopRunHandledSource);
    EXPECT_EQ(fScheduler->fPolls.load(), 1);

    manager->MAC_StopHandlingUpdateEventsOnly();
    EXPECT_FALSE(fScheduler->fPolling);
    EXPECT_EQ(cf::RunLoopCountTimers(loop), timers + 1);
    manager->MAC_StopHandlingUpdateEventsOnly();
    EXPECT_TRUE(fScheduler->fPolling);
    EXPECT_EQ(cf::RunLoopCountTimers(loop), timers);
    // One stop too many changes nothing.
    manager->MAC_StopHandlingUpdateEventsOnly();
    EXPECT_TRUE(fScheduler->fPolling);
}

TEST(CFRunLoop, OneShotTimersFireOnceAndLoopsWithoutTimersFinish)
{
    std::atomic<int> fired{0};
    cf::RunLoopTimer* timer = cf::RunLoopTimerCreate(
        cf::AbsoluteTimeGetCurrent(), 0,
        [](cf::RunLoopTimer*, void* inCount) { ++*static_cast<std::atomic<int>*>(inCount); }, &fired);
    ASSERT_NE(timer, nullptr);
    std::thread thread(
        [&]
        {
            EXPECT_EQ(cf::RunLoopRunInMode(0.01, false), cf::kRunLoopRunFinished);
            cf::RunLoopAddTimer(cf::RunLoopGetCurrent(), timer);
            EXPECT_EQ(cf::RunLoopRunInMode(kHungTestMilliseconds / 1000.0, false),
                      cf::kRunLoopRunHandledSource);
            EXPECT_FALSE(cf::RunLoopTimerIsValid(timer));
            EXPECT_EQ(cf::RunLoopCountTimers(cf::RunLoopGetCurrent()), 0);
        });
    thread.join();
    EXPECT_EQ(fired.load(), 1);
    cf::RunLoopTimerRelease(timer);
}

TEST(XMacTask, TasksRunOnGuardedStacksOfTheirOwn)
{
    std::atomic<uintptr_t> local{0};
    VRefPtr<VTask> task = NewTask(
        [&]
        {
            int here = 0;
            local = reinterpret_cast<uintptr_t>(&here);
        });
    auto* platform = static_cast<XMacTask_preemptive*>(task->GetPlatformTask());
    ASSERT_NE(platform, nullptr);
    const XMacThreadStack& stack = platform->GetThreadStack();
    EXPECT_GE(stack.GetStackSize(), XMacThreadStack::kMinimumStackSize);
    EXPECT_EQ(platform->GetStackSize(), stack.GetStackSize());
    ASSERT_TRUE(task->Run());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_GT(local.load(), stack.GetBlockAddress() + mach::PageSize());
    EXPECT_LT(local.load(), stack.GetBlockAddress() + stack.GetBlockSize());
}

TEST(XMacTask, ThreadFiguresComeFromTheKernel)
{
    double system = -1;
    double user = -1;
    VTask* main = VTaskMgr::Get()->GetMainTask();
    EXPECT_TRUE(main->GetCPUTimes(system, user));
    EXPECT_GE(system, 0.0);
    EXPECT_GE(user, 0.0);
    double usage = -1;
    EXPECT_TRUE(main->GetCPUUsage(usage));
    EXPECT_GE(usage, 0.0);
    EXPECT_LE(usage, 1.0);

    mach::ThreadBasicInfo info;
    EXPECT_EQ(mach::ThreadInfo(-5, info), mach::KERN_INVALID_ARGUMENT);

    mach::semaphore_t semaphore = nullptr;
    ASSERT_EQ(mach::SemaphoreCreate(&semaphore, 0), mach::KERN_SUCCESS);
    EXPECT_EQ(mach::SemaphoreTimedWait(semaphore, 0, 1000), mach::KERN_OPERATION_TIMED_OUT);
    mach::SemaphoreSignal(semaphore);
    EXPECT_EQ(mach::SemaphoreTimedWait(semaphore, 60, 0), mach::KERN_SUCCESS);
    EXPECT_EQ(mach::SemaphoreTimedWait(semaphore, 0, 1000000000), mach::KERN_INVALID_ARGUMENT);
    mach::SemaphoreDestroy(semaphore);
}

TEST(CFRunLoop, SignalledSourcesRunOncePerSignalWhileInTheLoop)
{
    std::atomic<int> calls{0};
    cf::RunLoopSource* source = cf::RunLoopSourceCreate(
        [](cf::RunLoopSource*, void* inCalls) { ++*static_cast<std::atomic<int>*>(inCalls); }, &calls);
    ASSERT_NE(source, nullptr);
    std::thread thread(
        [&]
        {
            cf::RunLoop* loop = cf::RunLoopGetCurrent();
            cf::RunLoopAddSource(loop, source);
            EXPECT_EQ(cf::RunLoopRunInMode(0.01, true), cf::kRunLoopRunTimedOut);
            // Signalled and woken from another thread: the wait ends with the call.
            std::thread signaller(
                [&]
                {
                    cf::RunLoopSourceSignal(source);
                    cf::RunLoopWakeUp(loop);
                });
            EXPECT_EQ(cf::RunLoopRunInMode(kHungTestMilliseconds / 1000.0, true), cf::kRunLoopRunHandledSource);
            signaller.join();
            EXPECT_EQ(calls.load(), 1);

            // Out of the loop, a signal waits for the source to be added again.
            cf::RunLoopSourceSignal(source);
            cf::RunLoopRemoveSource(loop, source);
            EXPECT_TRUE(cf::RunLoopSourceIsValid(source));
            EXPECT_EQ(cf::RunLoopRunInMode(0.01, true), cf::kRunLoopRunFinished);
            EXPECT_EQ(calls.load(), 1);
            cf::RunLoopAddSource(loop, source);
            EXPECT_EQ(cf::RunLoopRunInMode(kHungTestMilliseconds / 1000.0, true), cf::kRunLoopRunHandledSource);
            EXPECT_EQ(calls.load(), 2);
            cf::RunLoopSourceInvalidate(source);
        });
    thread.join();
    cf::RunLoopSourceRelease(source);
}
