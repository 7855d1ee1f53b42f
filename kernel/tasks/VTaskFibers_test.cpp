#include "kernel/tasks/CountingScheduler_test.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace kova;

namespace
{

class VFiberedProcess : public VProcess
{
public:
    VFiberedProcess() { fFiberMode = true; }
};

// Restarts the task manager with fibers for the test, and as the process object had it afterwards.
class FiberMode : public testing::Test
{
protected:
    void SetUp() override
    {
        VTaskMgr::DeInit();
        ASSERT_TRUE(VTaskMgr::Init(&fProcess));
    }
    void TearDown() override
    {
        VTaskMgr::DeInit();
        VTaskMgr::Init(VProcess::sInstance);
    }

    VFiberedProcess fProcess;
};

VRefPtr<VTask> NewFiber(std::function<void()> inBody)
{
    return VRefPtr<VTask>(new VTask(0, eTaskStyleFiber, std::move(inBody)));
}

} // namespace

TEST_F(FiberMode, TheMainTaskIsAFiberAndFiberTasksRunWhenRun)
{
    VTask* main = VTaskMgr::Get()->GetMainTask();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->IsFiber());
    EXPECT_TRUE(VTaskMgr::IsCurrentTaskFiber());

    std::atomic<int32_t> idInside{0};
    std::atomic<bool> fiberInside{false};
    VRefPtr<VTask> fiber = NewFiber(
        [&]
        {
            idInside = VTaskMgr::GetCurrentTaskID();
            fiberInside = VTaskMgr::IsCurrentTaskFiber();
            // The default scheduler lets a fiber's sleep return at once.
            VTask::Sleep(kHungTestMilliseconds);
        });
    EXPECT_LT(fiber->GetID(), 0);
    // The fiber runs to its end before Run returns: control comes back when it exits.
    ASSERT_TRUE(fiber->Run());
    EXPECT_EQ(fiber->GetState(), TS_DEAD);
    EXPECT_EQ(idInside.load(), fiber->GetID());
    EXPECT_TRUE(fiberInside);
    EXPECT_EQ(VTaskMgr::GetCurrentTask(), main);

    // Its id is handed out again once it is purged.
    int32_t id = fiber->GetID();
    VTaskMgr::Get()->PurgeDeadTasks();
    VRefPtr<VTask> next = NewFiber([] {});
    EXPECT_EQ(next->GetID(), id);
    ASSERT_TRUE(next->Run());
}

TEST_F(FiberMode, ThreadTasksRunOnFiberThreads)
{
    std::atomic<bool> fiberInside{true};
    RunOnTask([&] { fiberInside = VTaskMgr::IsCurrentTaskFiber(); });
    EXPECT_FALSE(fiberInside);
    // One destroyed before it ran frees what its thread made for the fibers.
    VRefPtr<VTask> unrun = NewTask([] {});
    EXPECT_GT(unrun->GetID(), 0);
}

TEST_F(FiberMode, FibersHandControlToEachOther)
{
    VTask* main = VTaskMgr::Get()->GetMainTask();
    std::vector<int> steps;
    VRefPtr<VTask> fiber = NewFiber(
        [&]
        {
            steps.push_back(1);
            VTaskMgr::Get()->YieldToFiber(main);
            steps.push_back(3);
        });
    ASSERT_TRUE(fiber->Run());
    steps.push_back(2);
    EXPECT_EQ(fiber->GetState(), TS_RUNNING);
    VTaskMgr::Get()->YieldToFiber(fiber.Get());
    steps.push_back(4);
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(fiber->GetState(), TS_DEAD);
}

TEST_F(FiberMode, FibersYieldAndWaitThroughTheScheduler)
{
    VRefPtr<VCountingScheduler> scheduler(new VCountingScheduler);
    VTaskMgr::Get()->SetFiberScheduler(scheduler.Get());
    VTaskMgr::Get()->SetFiberScheduler(nullptr);
    VRefPtr<VTask> fiber = NewFiber(
        []
        {
            VTask::Sleep(5);
            VTask::Sleep(0);
            VTaskMgr::Yield();
        });
    ASSERT_TRUE(fiber->Run());
    EXPECT_EQ(scheduler->fRunFibers.load(), 1);
    EXPECT_EQ(scheduler->fTimedWaits.load(), 1);
    EXPECT_EQ(scheduler->fYieldNows.load(), 1);
    EXPECT_EQ(scheduler->fYields.load(), 1);

    // Thread tasks never reach it (the main task, a fiber, does while it waits for the end).
    std::atomic<int> reached{-1};
    RunOnTask(
        [&]
        {
            int before = scheduler->fYields.load();
            VTaskMgr::Yield();
            reached = scheduler->fYields.load() - before;
        });
    EXPECT_EQ(reached.load(), 0);
}

TEST(VScheduler, TheDefaultSchedulerDeclinesEverything)
{
    VRefPtr<VScheduler_void> scheduler(new VScheduler_void);
    bool startNormally = true;
    EXPECT_FALSE(scheduler->RunFiber(nullptr, &startNormally));
    EXPECT_TRUE(startNormally);
    EXPECT_TRUE(scheduler->WithSystemEventPolling());
    EXPECT_FALSE(scheduler->ExecuteInProcess0());
    int32_t flag = 0;
    scheduler->WaitFlag(&flag, 0);
    scheduler->WaitFlagWithTimeout(&flag, 0, kHungTestMilliseconds);
}
