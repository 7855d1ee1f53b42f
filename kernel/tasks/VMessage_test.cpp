#include "kernel/tasks/VMessage.h"

#include "kernel/tasks/IMessageable.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VMessageQueue.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/tasks/WaitUntil_test.h"
#include "platform/mac/frameworks/CFRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <thread>

using namespace kova;

namespace
{

// Counts the messages it receives and remembers the task they ran on.
class VCounter : public IMessageable
{
public:
    void DoMessage(VMessage&) override
    {
        fTaskID = VTaskMgr::GetCurrentTaskID();
        ++fCount;
    }

    std::atomic<int> fCount{0};
    std::atomic<int32_t> fTaskID{0};
};

// Merges with a queued message of the same signature when it is told to.
class VMergingMessage : public VMessage
{
public:
    explicit VMergingMessage(bool inAbsorb) : fAbsorb(inAbsorb) {}
    uint32_t GetCoalescingSignature() const override { return 42; }
    bool DoCoalesce(const VMessage&) override
    {
        ++fMerged;
        return !fAbsorb;
    }
    int fMerged = 0;

private:
    bool fAbsorb;
};

// A task that executes its messages until it is killed.
VRefPtr<VTask> NewReceiver()
{
    VRefPtr<VTask> task = NewTask(
        []
        {
            VTask* self = VTaskMgr::GetCurrentTask();
            while (!self->IsDying())
                VTask::ExecuteMessagesWithTimeout(20, true);
        });
    EXPECT_TRUE(task->Run());
    return task;
}

void Stop(const VRefPtr<VTask>& inTask)
{
    inTask->Kill();
    inTask->SetMessageQueueEvent();
    EXPECT_TRUE(inTask->WaitForDeath(kHungTestMilliseconds));
}

// Makes the object belong to the task.
void MoveTo(IMessageable& ioObject, const VRefPtr<VTask>& inTask)
{
    ioObject.SetMessagingTask(inTask->GetID());
}

std::atomic<uint32_t> sTicks{1000};
uint32_t FakeTicks()
{
    return sTicks.load();
}

class DelayedMessages : public testing::Test
{
protected:
    void SetUp() override { VTaskMgr::Get()->SetTickSource(&FakeTicks); }
    void TearDown() override { VTaskMgr::Get()->SetTickSource(nullptr); }

    // Runs the main task's idle check at the given tick count, then its messages.
    static void IdleAt(uint32_t inTicks)
    {
        sTicks = inTicks;
        VTask::ExecuteMessages(true);
        VTask::ExecuteMessages(false);
    }
};

} // namespace

TEST(VMessage, PostingOnTheOwnTaskWithExecuteAtOnceRunsBeforeReturning)
{
    VCounter counter;
    VRefPtr<VMessage> message(new VMessage);
    EXPECT_TRUE(message->PostTo(&counter, true));
    EXPECT_EQ(counter.fCount.load(), 1);
    EXPECT_TRUE(message->Answered());
    EXPECT_FALSE(message->IsInFlight());

    // Without execution at once it waits in the queue for the task.
    EXPECT_TRUE(message->PostTo(&counter));
    EXPECT_EQ(counter.fCount.load(), 1);
    EXPECT_FALSE(message->Answered());
    EXPECT_EQ(VTaskMgr::Get()->CountMessagesFor(&counter), 1);
    // Already in flight: not queued twice.
    EXPECT_TRUE(message->PostTo(&counter));
    EXPECT_EQ(VTaskMgr::Get()->CountMessagesFor(&counter), 1);
    EXPECT_TRUE(VTask::ExecuteMessages(false));
    EXPECT_EQ(counter.fCount.load(), 2);

    EXPECT_TRUE(message->SendTo(&counter, 10));
    EXPECT_EQ(counter.fCount.load(), 3);
}

TEST(VMessage, PostAndSendToAnotherTask)
{
    VRefPtr<VTask> receiver = NewReceiver();
    VCounter counter;
    MoveTo(counter, receiver);

    VRefPtr<VMessage> message(new VMessage);
    ASSERT_TRUE(message->SendTo(&counter));
    EXPECT_EQ(counter.fCount.load(), 1);
    EXPECT_EQ(counter.fTaskID.load(), receiver->GetID());

    ASSERT_TRUE(message->PostTo(&counter));
    WaitUntil([&] { return counter.fCount.load() == 2; });
    WaitUntil([&] { return !message->IsInFlight(); });

    EXPECT_TRUE(message->PostToAndWaitExecutingMessages(&counter, kHungTestMilliseconds));
    EXPECT_EQ(counter.fCount.load(), 3);
    // From a thread without a task too.
    std::thread foreign([&] { EXPECT_TRUE(message->PostToAndWaitExecutingMessages(&counter)); });
    foreign.join();
    EXPECT_EQ(counter.fCount.load(), 4);
    Stop(receiver);

    // The task is dead: nothing reaches it any more.
    EXPECT_FALSE(message->PostTo(&counter));
    EXPECT_FALSE(message->SendTo(&counter, 10));
    EXPECT_FALSE(message->IsInFlight());
}

TEST(VMessage, StopMessagingRefusesPostsAndSends)
{
    VCounter counter;
    counter.StopMessaging();
    VRefPtr<VMessage> message(new VMessage);
    EXPECT_FALSE(message->PostTo(&counter));
    EXPECT_FALSE(message->SendTo(&counter));
    counter.StartMessaging();
    EXPECT_TRUE(message->PostTo(&counter, true));
    EXPECT_EQ(counter.fCount.load(), 1);
}

TEST(VMessage, AMessageForADestroyedObjectDoesNothing)
{
    auto counter = std::make_unique<VCounter>();
    VRefPtr<VMessage> message(new VMessage);
    ASSERT_TRUE(message->PostTo(counter.get()));
    counter.reset();
    // Queued still, for nobody.
    EXPECT_EQ(VTaskMgr::Get()->CountMessagesFor(nullptr), 1);
    EXPECT_TRUE(VTask::ExecuteMessages(false));
    EXPECT_TRUE(message->Answered());
}

TEST(VMessage, ACoalescedMessageIsNotQueued)
{
    VCounter counter;
    VRefPtr<VMergingMessage> first(new VMergingMessage(true));
    VRefPtr<VMergingMessage> second(new VMergingMessage(true));
    ASSERT_TRUE(first->PostTo(&counter));
    EXPECT_FALSE(second->PostTo(&counter));
    EXPECT_FALSE(second->IsInFlight());
    EXPECT_EQ(first->fMerged, 1);

    // A queued message that does not absorb lets the new one in.
    VRefPtr<VMergingMessage> keeping(new VMergingMessage(false));
    VRefPtr<VMergingMessage> third(new VMergingMessage(false));
    first->Abort();
    VTask::ExecuteMessages(false);
    ASSERT_TRUE(keeping->PostTo(&counter));
    EXPECT_TRUE(third->PostTo(&counter));
    EXPECT_EQ(VTaskMgr::Get()->CountMessagesFor(&counter), 2);
    VTask::ExecuteMessages(false);
    EXPECT_EQ(counter.fCount.load(), 2);
}

TEST(VMessage, ASendThatTimesOutAbortsTheMessageBeforeItRuns)
{
    std::atomic<bool> release{false};
    VRefPtr<VTask> receiver = NewReceiver();
    VCounter counter;
    MoveTo(counter, receiver);
    // Keep the receiver busy.
    ASSERT_TRUE(
        VFunctionMessage::PostFunctionTo(receiver.Get(), [&] { WaitUntil([&] { return release.load(); }); }));

    VRefPtr<VMessage> sent(new VMessage);
    EXPECT_FALSE(sent->SendTo(&counter, 20));
    EXPECT_TRUE(sent->IsAborted());
    VRefPtr<VMessage> waited(new VMessage);
    EXPECT_FALSE(waited->PostToAndWaitExecutingMessages(&counter, 20));
    EXPECT_TRUE(waited->IsAborted());

    release = true;
    VRefPtr<VMessage> last(new VMessage);
    ASSERT_TRUE(last->SendTo(&counter));
    // Only the last one ran.
    EXPECT_EQ(counter.fCount.load(), 1);
    // An aborted message can be sent again.
    EXPECT_TRUE(sent->SendTo(&counter));
    EXPECT_FALSE(sent->IsAborted());
    EXPECT_EQ(counter.fCount.load(), 2);
    Stop(receiver);
}

TEST(VMessage, MessagesLeftWhenATaskStopsAreAbortedAndTheirSendersWake)
{
    std::atomic<bool> release{false};
    VCounter counter;
    VRefPtr<VTask> task = NewTask([&] { WaitUntil([&] { return release.load(); }); });
    MoveTo(counter, task);
    ASSERT_TRUE(task->Run());

    std::atomic<int> sent{-1};
    VRefPtr<VMessage> message(new VMessage);
    std::thread sender([&] { sent = message->SendTo(&counter) ? 1 : 0; });
    WaitUntil([&] { return task->IsAnyMessagePending(); });
    release = true;
    sender.join();
    EXPECT_EQ(sent.load(), 0);
    EXPECT_TRUE(message->IsAborted());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
    EXPECT_EQ(counter.fCount.load(), 0);
    // A dead task takes no message, even one added directly.
    VRefPtr<VMessage> late(new VMessage);
    EXPECT_FALSE(task->AddMessage(late.Get()));
    EXPECT_FALSE(task->IsAnyMessagePending());
}

TEST(VMessageQueue, SetEventWakesAWaiterWithoutAMessage)
{
    VRefPtr<VMessageQueue> queue(new VMessageQueue);
    uint32_t stamp = queue->GetStamp();
    queue->SetEvent();
    EXPECT_NE(queue->GetStamp(), stamp);
    bool timedOut = true;
    EXPECT_EQ(queue->RetainMessageWithTimeout(kHungTestMilliseconds, &timedOut), nullptr);
    EXPECT_FALSE(timedOut);
    // The wake-up is consumed.
    EXPECT_EQ(queue->RetainMessageWithTimeout(0, &timedOut), nullptr);
    EXPECT_TRUE(timedOut);

    VCounter counter;
    VRefPtr<VMessage> kept(new VMessage);
    VRefPtr<VMessage> cancelled(new VMessage);
    ASSERT_TRUE(kept->ActivateContext(nullptr) == false);
    ASSERT_TRUE(cancelled->ActivateContext(&counter));
    EXPECT_TRUE(queue->AddMessage(kept.Get()));
    EXPECT_TRUE(queue->AddMessage(cancelled.Get()));
    EXPECT_EQ(queue->CountMessagesFor(&counter), 1);
    EXPECT_EQ(queue->CountMessagesFor(nullptr), 1);
    queue->CancelMessages(&counter);
    EXPECT_TRUE(cancelled->IsAborted());
    EXPECT_EQ(queue->CountMessages(), 1);
    EXPECT_TRUE(queue->RemoveMessage(kept.Get()));
    EXPECT_FALSE(queue->RemoveMessage(kept.Get()));
    EXPECT_TRUE(queue->IsEmpty());
}

TEST(VFunctionMessage, FunctionsRunOnTheirTask)
{
    EXPECT_FALSE(VFunctionMessage::PostFunctionTo(VTaskMgr::Get()->GetMainTask(), {}));
    EXPECT_FALSE(VFunctionMessage::PostToMainTask({}, true));

    std::atomic<int32_t> ranOn{0};
    ASSERT_TRUE(VFunctionMessage::PostToMainTask([&] { ranOn = VTaskMgr::GetCurrentTaskID(); }, false));
    EXPECT_EQ(ranOn.load(), 0);
    VTask::ExecuteMessages(false);
    EXPECT_EQ(ranOn.load(), VTaskMgr::GetCurrentTaskID());

    // From another task, the main task runs it while the caller waits.
    std::atomic<bool> done{false};
    std::atomic<int32_t> waitedOn{0};
    VRefPtr<VTask> caller = NewTask(
        [&]
        {
            VFunctionMessage::PostToMainTaskAndWait([&] { waitedOn = VTaskMgr::GetCurrentTaskID(); }, false);
            done = true;
        });
    ASSERT_TRUE(caller->Run());
    while (!done)
        VTask::ExecuteMessagesWithTimeout(10, false);
    EXPECT_EQ(waitedOn.load(), VTaskMgr::GetCurrentTaskID());
    ASSERT_TRUE(caller->WaitForDeath(kHungTestMilliseconds));

    // On the main task it runs at once.
    int direct = 0;
    EXPECT_TRUE(VFunctionMessage::PostToMainTaskAndWait([&] { ++direct; }, false));
    EXPECT_EQ(direct, 1);
}

// The main task waits for its messages in the main run loop, whose timers and sources a process
// has no other way to run.
TEST(VMessage, TheMainTaskRunsTheMainRunLoopWhileItWaitsForMessages)
{
    ASSERT_TRUE(VTask::IsCurrentMain());
    VCounter counter;
    cf::RunLoopTimer* timer = cf::RunLoopTimerCreate(
        cf::AbsoluteTimeGetCurrent() + 0.01, 0,
        [](cf::RunLoopTimer*, void* inCounter)
        {
            VRefPtr<VMessage> message(new VMessage);
            message->PostTo(static_cast<VCounter*>(inCounter));
        },
        &counter);
    ASSERT_NE(timer, nullptr);
    cf::RunLoopAddTimer(cf::RunLoopGetMain(), timer);
    // The timer fires within the wait, and what it posts ends the wait.
    EXPECT_TRUE(VTask::ExecuteMessagesWithTimeout(kHungTestMilliseconds, false));
    EXPECT_EQ(counter.fCount.load(), 1);
    EXPECT_FALSE(cf::RunLoopTimerIsValid(timer));
    cf::RunLoopTimerRelease(timer);

    // A message from another thread wakes the loop out of its wait at once.
    std::thread poster(
        [&counter]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            VRefPtr<VMessage> message(new VMessage);
            message->PostTo(&counter);
        });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(VTask::ExecuteMessagesWithTimeout(kHungTestMilliseconds, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kHungTestMilliseconds));
    EXPECT_EQ(counter.fCount.load(), 2);
    poster.join();
}

TEST_F(DelayedMessages, AShortDelayFallsDueOnceTheTicksMoveOn)
{
    VCounter counter;
    VRefPtr<VMessage> message(new VMessage);
    sTicks = 5000;
    // 10 ms are 0 ticks: due at once, reposted by the first idle check after the tick.
    ASSERT_TRUE(message->PostTo(&counter, false, 10));
    EXPECT_TRUE(message->IsInFlight());
    EXPECT_EQ(VTaskMgr::Get()->CountDelayedMessages(), 1);
    EXPECT_EQ(VTaskMgr::Get()->CountMessagesFor(&counter), 1);
    IdleAt(5000);
    EXPECT_EQ(counter.fCount.load(), 0);
    IdleAt(5002);
    EXPECT_EQ(counter.fCount.load(), 1);
    EXPECT_EQ(VTaskMgr::Get()->CountDelayedMessages(), 0);

    // 1000 ms are 60 ticks.
    ASSERT_TRUE(message->PostTo(&counter, false, 1000));
    IdleAt(5060);
    EXPECT_EQ(counter.fCount.load(), 1);
    IdleAt(5063);
    EXPECT_EQ(counter.fCount.load(), 2);
}

TEST_F(DelayedMessages, DueTimesSurviveTheCounterWrapping)
{
    VCounter counter;
    VRefPtr<VMessage> message(new VMessage);
    sTicks = 0x7FFFFFF0u;
    ASSERT_TRUE(message->PostTo(&counter, false, 500)); // 30 ticks: due past 0x80000000
    IdleAt(0x80000003u);
    EXPECT_EQ(counter.fCount.load(), 0);
    IdleAt(0x80000010u);
    EXPECT_EQ(counter.fCount.load(), 1);

    // The longest delay neither overflows nor falls due at once.
    sTicks = 0xFFFFFFF0u;
    ASSERT_TRUE(message->PostTo(&counter, false, INT32_MAX));
    IdleAt(0x00000100u);
    IdleAt(0x00001000u);
    EXPECT_EQ(counter.fCount.load(), 1);
    VTaskMgr::Get()->CancelMessages(&counter);
    EXPECT_TRUE(message->IsAborted());
    EXPECT_EQ(VTaskMgr::Get()->CountDelayedMessages(), 0);
}

TEST_F(DelayedMessages, AMessageForAGoneTargetIsDroppedWhenDue)
{
    auto counter = std::make_unique<VCounter>();
    VRefPtr<VMessage> message(new VMessage);
    sTicks = 9000;
    ASSERT_TRUE(message->PostTo(counter.get(), false, 100));
    counter.reset();
    IdleAt(9100);
    EXPECT_EQ(VTaskMgr::Get()->CountDelayedMessages(), 0);
    EXPECT_FALSE(message->IsInFlight());
    EXPECT_FALSE(VTask::ExecuteMessages(false));
}
