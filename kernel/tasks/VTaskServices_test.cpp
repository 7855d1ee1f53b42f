#include "kernel/tasks/VTask.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/IIdleable.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/tasks/WaitUntil_test.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace kova;

namespace
{

constexpr VError kTaskError = MakeKovaError(9001);

std::vector<int> sDestroyed;

void DestroyIntA(void* inValue)
{
    sDestroyed.push_back(*static_cast<int*>(inValue) * 10 + 1);
}

void DestroyIntB(void* inValue)
{
    sDestroyed.push_back(*static_cast<int*>(inValue) * 10 + 2);
}

class VCountingIdler : public IIdleable
{
public:
    void DoIdle() override { ++fCalls; }
    std::atomic<int> fCalls{0};
};

// A JSON object that counts the living ones.
class VCounted : public VJSONObject
{
public:
    explicit VCounted(std::atomic<int>& ioAlive) : fAlive(ioAlive) { ++fAlive; }
    ~VCounted() override { --fAlive; }

private:
    std::atomic<int>& fAlive;
};

std::u16string Text(const VString& inText)
{
    return std::u16string(inText.GetCPointer(), size_t(inText.GetLength()));
}

} // namespace

TEST(VTaskData, KeysAreReusedAndSlotsDestroyedAtTheTasksEnd)
{
    VTaskMgr* manager = VTaskMgr::Get();
    size_t first = manager->CreateDataKey(&DestroyIntA);
    size_t second = manager->CreateDataKey(&DestroyIntA);
    size_t third = manager->CreateDataKey(nullptr);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(third, first + 2);
    EXPECT_FALSE(manager->CheckDataKey(0));
    EXPECT_TRUE(manager->CheckDataKey(second));

    sDestroyed.clear();
    int one = 1;
    int two = 2;
    int three = 3;
    RunOnTask(
        [&]
        {
            EXPECT_EQ(VTask::GetCurrentData(first), nullptr);
            EXPECT_EQ(VTask::GetCurrentData(third + 100), nullptr);
            EXPECT_EQ(VTask::GetCurrentData(0), nullptr);
            VTask::SetCurrentData(first, &one);
            VTask::SetCurrentData(second, &two);
            VTask::SetCurrentData(third, &three);
            EXPECT_EQ(VTask::GetCurrentData(second), &two);
            // The second key goes: its value is neither read nor destroyed any more, not even
            // through the key that takes its number next.
            manager->DeleteDataKey(second);
            EXPECT_FALSE(manager->CheckDataKey(second));
            EXPECT_EQ(manager->CreateDataKey(&DestroyIntB), second);
            EXPECT_EQ(VTask::GetCurrentData(second), nullptr);
        });
    EXPECT_EQ(sDestroyed, std::vector<int>{11});

    // A value set under the new key is destroyed by its destructor.
    sDestroyed.clear();
    RunOnTask([&] { VTask::SetCurrentData(second, &two); });
    EXPECT_EQ(sDestroyed, std::vector<int>{22});

    // A thread without a task has no slots.
    std::thread foreign(
        [&]
        {
            VTask::SetCurrentData(first, &one);
            EXPECT_EQ(VTask::GetCurrentData(first), nullptr);
        });
    foreign.join();
    manager->DeleteDataKey(first);
    manager->DeleteDataKey(second);
    manager->DeleteDataKey(third);
}

TEST(VTaskIdlers, RegisteredIdlersAreCalledAtIdleChecks)
{
    VCountingIdler idler;
    std::atomic<bool> registeredTwice{false};
    std::atomic<bool> stop{false};
    VRefPtr<VTask> task = NewTask(
        [&]
        {
            VTask* self = VTaskMgr::GetCurrentTask();
            idler.StartIdling();
            self->RegisterIdler(&idler);
            registeredTwice = self->IsIdlerRegistered(&idler);
            while (!stop)
                VTask::ExecuteMessagesWithTimeout(5, true);
        });
    ASSERT_TRUE(task->Run());
    WaitUntil([&] { return idler.fCalls.load() >= 2; });
    EXPECT_TRUE(registeredTwice);
    EXPECT_EQ(idler.GetIdlingTask(), task.Get());

    // Taken off from another task: never called again.
    idler.StopIdling();
    EXPECT_FALSE(task->IsIdlerRegistered(&idler));
    int calls = idler.fCalls.load();
    EXPECT_FALSE(idler.IsIdling());
    stop = true;
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(idler.fCalls.load(), calls);
}

TEST(VTaskIdlers, AnIdlerDestroyedOnAnotherTaskIsNeverCalledAgain)
{
    auto idler = std::make_unique<VCountingIdler>();
    std::atomic<bool> stop{false};
    VRefPtr<VTask> task = NewTask(
        [&]
        {
            while (!stop)
                VTask::ExecuteMessagesWithTimeout(1, true);
        });
    idler->StartIdling(task.Get());
    ASSERT_TRUE(task->Run());
    WaitUntil([&] { return idler->fCalls.load() >= 1; });
    idler.reset();
    stop = true;
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
}

TEST(VTaskIdlers, AnIdleMessageRepostsItselfWhileItsIdlerIdles)
{
    VCountingIdler idler;
    idler.StartIdling();
    VRefPtr<XIdleMessage> message(new XIdleMessage(&idler));
    ASSERT_TRUE(message->PostTo(VTaskMgr::GetCurrentTask()));
    VTask::ExecuteMessages(false);
    EXPECT_EQ(idler.fCalls.load(), 1);
    // The next one waits 16 ms among the delayed messages.
    EXPECT_EQ(VTaskMgr::Get()->CountDelayedMessages(), 1);
    idler.StopIdling();
    VTaskMgr::Get()->CancelMessages(VTaskMgr::GetCurrentTask());
    EXPECT_EQ(VTaskMgr::Get()->CountDelayedMessages(), 0);
}

TEST(VTaskIntl, EachTaskHasACloneOfTheProcessManager)
{
    VIntlMgr* process = VTask::GetProcessIntlManager();
    ASSERT_NE(process, nullptr);
    VIntlMgr* main = VTask::GetCurrentIntlManager();
    EXPECT_NE(main, process);
    EXPECT_EQ(main->GetDialectCode(), process->GetDialectCode());

    VIntlMgr* onTask = nullptr;
    uint32_t dialectOnTask = 0;
    UniChar wildOnTask = 0;
    RunOnTask(
        [&]
        {
            onTask = VTask::GetCurrentIntlManager();
            VTask::SetCurrentDialectCode(1036, 0);
            dialectOnTask = VTaskMgr::GetCurrentTask()->GetDialectCode();
            VTask::GetCurrentIntlManager()->GetCollator()->SetWildChar(u'*');
            wildOnTask = VTask::GetWildChar();
        });
    EXPECT_NE(onTask, main);
    EXPECT_NE(onTask, process);
    EXPECT_EQ(dialectOnTask, 1036u);
    EXPECT_EQ(wildOnTask, u'*');
    // The main task kept its own.
    EXPECT_EQ(VTask::GetCurrentIntlManager(), main);
    EXPECT_EQ(VTask::GetWildChar(), u'@');

    std::thread foreign([&] { EXPECT_EQ(VTask::GetCurrentIntlManager(), process); });
    foreign.join();
}

TEST(VTaskErrors, EachTaskKeepsItsOwnErrors)
{
    VRefPtr<VTask> task = NewTask(
        []
        {
            EXPECT_EQ(VTask::GetErrorContext(false), nullptr);
            _ThrowError(kTaskError);
            EXPECT_EQ(VTask::GetLastError(), kTaskError);
            VErrorBase* last = VTask::GetErrorContext(false)->GetLast();
            ASSERT_NE(last, nullptr);
            VString name;
            int32_t id = 0;
            last->GetTaskName(name, &id);
            EXPECT_EQ(Text(name), u"Thrower");
            EXPECT_EQ(id, VTaskMgr::GetCurrentTaskID());
        });
    task->SetName("Thrower");
    {
        StErrorContextInstaller errors;
        ASSERT_TRUE(task->Run());
        ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
        EXPECT_EQ(errors.GetLastError(), VE_OK);
    }

    // A thread without a task has no error state: a push fails and nothing is kept.
    std::thread foreign(
        []
        {
            VRefPtr<VErrorBase> error(new VErrorBase(kTaskError));
            EXPECT_FALSE(VTask::PushError(error.Get()));
            StErrorContextInstaller errors;
            _ThrowError(kTaskError);
            EXPECT_EQ(VTask::GetErrorContext(true), nullptr);
            EXPECT_EQ(VTask::GetLastError(), VE_OK);
        });
    foreign.join();
}

TEST(VTaskLocks, CriticalSectionsBelongToTasks)
{
    VCriticalSection lock;
    std::atomic<int> step{0};
    std::atomic<int32_t> ownerSeen{0};
    std::atomic<bool> triedOnOther{true};
    VRefPtr<VTask> holder = NewTask(
        [&]
        {
            lock.Lock();
            lock.Lock();
            step = 1;
            WaitUntil([&] { return step.load() == 2; });
            lock.Unlock();
            lock.Unlock();
        });
    VRefPtr<VTask> waiter = NewTask(
        [&]
        {
            triedOnOther = lock.TryToLock();
            step = 2;
            lock.Lock();
            ownerSeen = lock.GetOwner();
            lock.Unlock();
        });
    ASSERT_TRUE(holder->Run());
    WaitUntil([&] { return step.load() == 1; });
    EXPECT_EQ(lock.GetOwner(), holder->GetID());
    EXPECT_EQ(lock.GetRecursionCount(), 2u);
    ASSERT_TRUE(waiter->Run());
    ASSERT_TRUE(waiter->WaitForDeath(kHungTestMilliseconds));
    ASSERT_TRUE(holder->WaitForDeath(kHungTestMilliseconds));
    EXPECT_FALSE(triedOnOther);
    EXPECT_EQ(ownerSeen.load(), waiter->GetID());
    EXPECT_EQ(lock.GetOwner(), 0);
}

TEST(VTask, SleepEndsEarlyOnWakeUp)
{
    VRefPtr<VTask> sleeper = NewTask([] { VTask::Sleep(kHungTestMilliseconds); });
    ASSERT_TRUE(sleeper->Run());
    WaitUntil([&] { return sleeper->GetWaitReason() == eWaitReasonSleeping; });
    sleeper->WakeUp();
    ASSERT_TRUE(sleeper->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(sleeper->GetWaitReason(), eWaitReasonNone);
}

TEST(VTask, KeptObjectsAndPropertiesAreReleased)
{
    std::atomic<int> alive{0};
    RunOnTask(
        [&]
        {
            VCounted* kept = new VCounted(alive);
            VTask::RegisterJSONObject(kept);
            VTask::RegisterJSONObject(kept);
            kept->Release();
            EXPECT_EQ(alive.load(), 1);
            VCounted* dropped = new VCounted(alive);
            VTask::RegisterJSONObject(dropped);
            VTask::UnregisterJSONObject(dropped);
            EXPECT_EQ(dropped->GetRefCount(), 1u);
            dropped->Release();
        });
    EXPECT_EQ(alive.load(), 0);

    VRefPtr<VTask> task = NewTask([] {});
    VRefPtr<VValueBag> bag(new VValueBag);
    task->SetProperties(bag.Get());
    EXPECT_EQ(bag->GetRefCount(), 2u);
    VValueBag* properties = task->RetainProperties();
    EXPECT_EQ(properties, bag.Get());
    ReleaseRefCountable(&properties);
    task->SetProperties(nullptr);
    EXPECT_EQ(bag->GetRefCount(), 1u);
}
