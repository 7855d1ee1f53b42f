#include "kernel/tasks/VTaskMgr.h"

#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/WaitUntil_test.h"
#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <pthread.h>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kova;

namespace
{

std::string ThreadName()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    return name;
}

// Counts the calls of the virtual loop.
class VLoopTask : public VTask
{
public:
    explicit VLoopTask(int inRunsBeforeStop) : VTask(0, eTaskStylePreemptive, {}), fRunsLeft(inRunsBeforeStop)
    {
    }

    void DoInit() override { ++fInits; }
    void DoDeInit() override { ++fDeInits; }
    bool DoRun() override
    {
        ++fRuns;
        return --fRunsLeft > 0;
    }
    void DoPrepareToDie() override { ++fPrepares; }

    std::atomic<int> fInits{0};
    std::atomic<int> fDeInits{0};
    std::atomic<int> fRuns{0};
    std::atomic<int> fPrepares{0};

private:
    int fRunsLeft;
};

} // namespace

TEST(VTaskMgr, TheMainThreadIsTheMainTaskWithItsKernelID)
{
    ASSERT_TRUE(VTaskMgr::IsInited());
    VTask* main = VTaskMgr::Get()->GetMainTask();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(VTaskMgr::GetCurrentTask(), main);
    EXPECT_TRUE(VTask::IsCurrentMain());
    EXPECT_EQ(main->GetID(), int32_t(gettid()));
    EXPECT_EQ(VTaskMgr::GetCurrentTaskID(), main->GetID());
    EXPECT_EQ(main->GetState(), TS_RUNNING);
    EXPECT_TRUE(main->IsThread());
    EXPECT_FALSE(main->IsFiber());
    EXPECT_GE(main->GetStackSize(), size_t(65536));
    EXPECT_LE(VTaskMgr::Get()->GetDefaultStackSize(), size_t(1048576));
    // A second Init changes nothing.
    EXPECT_TRUE(VTaskMgr::Init(nullptr));
    EXPECT_EQ(VTaskMgr::Get()->GetMainTask(), main);
}

TEST(VTaskMgr, ThreadsWithoutTaskGetDistinctStableNegativeIDs)
{
    constexpr int kThreads = 16;
    std::vector<int32_t> firstIDs(kThreads);
    std::vector<int32_t> secondIDs(kThreads);
    std::vector<int> withTask(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
    {
        threads.emplace_back(
            [&, i]
            {
                firstIDs[size_t(i)] = VTaskMgr::GetCurrentTaskID();
                secondIDs[size_t(i)] = VTaskMgr::GetCurrentTaskID();
                withTask[size_t(i)] = VTaskMgr::GetCurrentTask() != nullptr;
            });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::set<int32_t> distinct;
    for (int i = 0; i < kThreads; ++i)
    {
        EXPECT_LT(firstIDs[size_t(i)], 0);
        EXPECT_EQ(secondIDs[size_t(i)], firstIDs[size_t(i)]);
        EXPECT_FALSE(withTask[size_t(i)]);
        distinct.insert(firstIDs[size_t(i)]);
    }
    EXPECT_EQ(distinct.size(), size_t(kThreads));
}

TEST(VTask, SleepReturnsAtOnceOnAThreadWithoutTask)
{
    std::thread thread(
        []
        {
            auto start = std::chrono::steady_clock::now();
            VTask::Sleep(0);
            VTask::Sleep(-1);
            VTask::Sleep(100000);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(50));
        });
    thread.join();
}

TEST(VTask, ARunFunctionRunsOnATaskOfItsOwn)
{
    std::atomic<int32_t> idInside{0};
    std::atomic<int32_t> kernelID{0};
    std::atomic<bool> wasCurrent{false};
    std::string nameInside;
    VRefPtr<VTask> task = NewTask(
        [&]
        {
            idInside = VTaskMgr::GetCurrentTaskID();
            kernelID = int32_t(gettid());
            wasCurrent =
                VTaskMgr::GetCurrentTask() != nullptr && VTaskMgr::GetCurrentTask()->GetState() == TS_RUNNING;
            nameInside = ThreadName();
        });
    // The thread exists, suspended, from creation on: the id is known before Run.
    EXPECT_GT(task->GetID(), 0);
    EXPECT_NE(task->GetID(), VTaskMgr::GetCurrentTaskID());
    EXPECT_NE(task->GetSystemID(), uintptr_t(0));
    EXPECT_EQ(task->GetState(), TS_CREATED);
    task->SetName("Worker");
    VString name;
    task->GetName(name);
    EXPECT_EQ(std::u16string(name.GetCPointer(), size_t(name.GetLength())), u"Worker");

    ASSERT_TRUE(task->Run());
    EXPECT_FALSE(task->Run());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(task->GetState(), TS_DEAD);
    EXPECT_EQ(idInside.load(), task->GetID());
    EXPECT_EQ(kernelID.load(), task->GetID());
    EXPECT_TRUE(wasCurrent);
    // The system keeps 15 bytes of "Worker (id = N)".
    EXPECT_EQ(nameInside, ("Worker (id = " + std::to_string(task->GetID())).substr(0, 15));
    uint32_t ticks = 1;
    EXPECT_TRUE(task->IsDying(&ticks));
}

TEST(VTask, TheVirtualLoopInitsAndDeInitsEvenWhenDoRunStopsAtOnce)
{
    VRefPtr<VLoopTask> task(new VLoopTask(1));
    ASSERT_TRUE(task->Run());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(task->fInits.load(), 1);
    EXPECT_EQ(task->fRuns.load(), 1);
    EXPECT_EQ(task->fDeInits.load(), 1);
    // DoRun returning false kills the task.
    EXPECT_EQ(task->fPrepares.load(), 1);
}

TEST(VTask, KillEndsTheVirtualLoop)
{
    VRefPtr<VLoopTask> task(new VLoopTask(INT32_MAX));
    ASSERT_TRUE(task->Run());
    WaitUntil([&] { return task->fRuns.load() > 0; });
    uint32_t ticks = 7;
    EXPECT_FALSE(task->IsDying(&ticks));
    EXPECT_EQ(ticks, 0u);
    EXPECT_FALSE(task->WaitForDeath(0));
    task->Kill();
    EXPECT_TRUE(task->IsDying());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(task->fDeInits.load(), 1);
    EXPECT_EQ(task->fPrepares.load(), 1);
}

TEST(VTask, WaitForDeathOfItselfIsFalse)
{
    std::atomic<int> answer{-1};
    RunOnTask([&] { answer = VTaskMgr::GetCurrentTask()->WaitForDeath(10) ? 1 : 0; });
    EXPECT_EQ(answer.load(), 0);
}

TEST(VTask, AThreadWithoutTaskWaitsForADeathToo)
{
    std::atomic<bool> release{false};
    VRefPtr<VTask> task = NewTask([&] { WaitUntil([&] { return release.load(); }); });
    ASSERT_TRUE(task->Run());
    std::atomic<int> answer{-1};
    std::thread waiter([&] { answer = task->WaitForDeath(kHungTestMilliseconds) ? 1 : 0; });
    release = true;
    waiter.join();
    EXPECT_EQ(answer.load(), 1);
}

TEST(VTask, ATaskDestroyedBeforeRunEndsAtItsGateWithoutRunning)
{
    std::atomic<bool> ran{false};
    {
        VRefPtr<VTask> task = NewTask([&] { ran = true; });
        EXPECT_GT(task->GetID(), 0);
    }
    EXPECT_FALSE(ran);
}

TEST(VTask, AFiberTaskWithoutFiberModeCannotRun)
{
    VRefPtr<VTask> fiber(new VTask(0, eTaskStyleFiber, [] {}));
    EXPECT_EQ(fiber->GetID(), 0);
    EXPECT_EQ(fiber->GetPlatformTask(), nullptr);
    EXPECT_FALSE(fiber->Run());
    VRefPtr<VTask> cooperative(new VTask(0, eTaskStyleCooperative, [] {}));
    EXPECT_FALSE(cooperative->Run());
}

TEST(VTask, DeadTasksArePurgedAndNotFoundByID)
{
    VRefPtr<VTask> task = NewTask([] {});
    int32_t id = task->GetID();
    uint32_t stamp = VTaskMgr::Get()->GetTaskListStamp();
    ASSERT_TRUE(task->Run());
    EXPECT_NE(VTaskMgr::Get()->GetTaskListStamp(), stamp);
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(VTaskMgr::Get()->RetainTaskByID(id), nullptr);
    VTaskMgr::Get()->PurgeDeadTasks();
    std::vector<VRefPtr<VTask>> tasks;
    VTaskMgr::Get()->GetTasks(tasks);
    for (const VRefPtr<VTask>& listed : tasks)
        EXPECT_NE(listed.Get(), task.Get());
    // Only this test's reference is left.
    EXPECT_EQ(task->GetRefCount(), 1u);
}

TEST(VTaskMgr, KillAllTasksOnlyFromTheMainTask)
{
    VRefPtr<VLoopTask> looping(new VLoopTask(INT32_MAX));
    ASSERT_TRUE(looping->Run());
    WaitUntil([&] { return looping->fRuns.load() > 0; });

    std::atomic<int> fromOther{-1};
    RunOnTask([&] { fromOther = VTaskMgr::Get()->KillAllTasks(10) ? 1 : 0; });
    EXPECT_EQ(fromOther.load(), 0);
    EXPECT_FALSE(looping->IsDying());

    EXPECT_TRUE(VTaskMgr::Get()->KillAllTasks(kHungTestMilliseconds));
    EXPECT_EQ(looping->GetState(), TS_DEAD);
    EXPECT_EQ(VTaskMgr::Get()->GetTaskCount(true), 1);
}

TEST(VTaskMgr, ThreadNamesEndWithTheID)
{
    std::string named;
    std::string unnamed;
    std::thread thread(
        [&]
        {
            VTaskMgr::Get()->GetPlatform().SetCurrentThreadName(VString(), 5);
            unnamed = ThreadName();
            VTaskMgr::Get()->GetPlatform().SetCurrentThreadName(
                VString("\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9", 10, VTC_UTF_8), 5);
            named = ThreadName();
        });
    thread.join();
    EXPECT_EQ(unnamed, " (id = 5)");
    // Cut before a character that would not fit whole.
    EXPECT_EQ(named, "\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9 (id ");
}

TEST(VTaskMgr, FreeStackOfAThreadWithoutTaskIsTheStackLimit)
{
    std::thread thread(
        [] { EXPECT_EQ(VTask::GetCurrentFreeStackSize(), XMacTaskMgr::GetCurrentFreeStackSizeStatic()); });
    thread.join();
    size_t taskFree = 0;
    size_t taskStack = 0;
    RunOnTask(
        [&]
        {
            taskFree = VTask::GetCurrentFreeStackSize();
            taskStack = VTaskMgr::GetCurrentTask()->GetStackSize();
        });
    EXPECT_GT(taskFree, 0u);
    EXPECT_LT(taskFree, taskStack);
}

TEST(VTask, ExitEndsTheCallingTaskAtOnce)
{
    std::atomic<int> reached{0};
    VRefPtr<VTask> task = NewTask(
        [&]
        {
            reached = 1;
            VTask::Exit(nullptr);
            reached = 2;
        });
    ASSERT_TRUE(task->Run());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(reached.load(), 1);
    // Outside a task it does nothing.
    std::thread foreign([] { VTask::Exit(nullptr); });
    foreign.join();
}

TEST(VTaskMgr, ThreadsKeepForeignIDsWhileTheManagerIsDown)
{
    VTaskMgr::DeInit();
    EXPECT_FALSE(VTaskMgr::IsInited());
    EXPECT_EQ(VTaskMgr::GetCurrentTask(), nullptr);
    EXPECT_EQ(VTaskMgr::Get()->GetMainTask(), nullptr);
    // Locks taken now must still tell threads apart: never 0, the id of a free lock.
    int32_t down = VTaskMgr::GetCurrentTaskID();
    EXPECT_LT(down, 0);
    EXPECT_EQ(VTaskMgr::GetCurrentTaskID(), down);
    // No task can be made meanwhile.
    VRefPtr<VTask> orphan = NewTask([] {});
    EXPECT_EQ(orphan->GetID(), 0);
    EXPECT_FALSE(orphan->Run());
    ASSERT_TRUE(VTaskMgr::Init(nullptr));
    EXPECT_EQ(VTaskMgr::GetCurrentTaskID(), int32_t(gettid()));
}
