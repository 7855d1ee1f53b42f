#include "platform/mac/tasks/XMacSleepNotifier.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/tasks/ProcessTesting_test.h"
#include "kernel/tasks/VSleepNotifier.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/frameworks/IOKitPower.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kova;

namespace
{

// Records each call with the thread it came on.
class VThreadHandler : public VObject, public VSleepNotifier::ISleepHandler
{
public:
    void DoSleep() override
    {
        fCalls.push_back({"sleep", gettid()});
        if (fOnSleep)
            fOnSleep();
    }
    void DoWakeup() override { fCalls.push_back({"wake", gettid()}); }
    VString GetSleepHandlerName() override { return VString("threads"); }

    std::vector<std::pair<std::string, pid_t>> fCalls;
    std::function<void()> fOnSleep;
};

// Runs the calling thread's loop until it has nothing left to fire.
void RunLoopUntilIdle()
{
    while (cf::RunLoopRunInMode(0.01, true) == cf::kRunLoopRunHandledSource)
    {
    }
}

} // namespace

TEST(XMacSleepNotifier, MessagesReachTheHandlersOnTheRunLoopOfTheThreadThatStartedIt)
{
    StTestProcess process(true, "Tool");
    VRecordingListener* listener = new VRecordingListener;
    process.GetLogger()->AddLogListener(listener);
    VRefPtr<VThreadHandler> handler(new VThreadHandler);
    const int32_t allowedBefore = io::CountAllowedPowerChangesForTesting();

    pid_t loopThread = 0;
    std::thread(
        [&]
        {
            loopThread = gettid();
            VSleepNotifier notifier;
            {
                // No power source here: the start succeeds all the same, without error.
                StErrorContextInstaller errors(false, true);
                EXPECT_EQ(notifier.Init(), VE_OK);
                EXPECT_EQ(errors.GetContext()->GetErrorCount(), 0u);
            }
            EXPECT_EQ(VSleepNotifier::Instance(), &notifier);
            notifier.RegisterSleepHandler(handler.Get());

            // Posted from elsewhere, they wait for this thread's loop.
            std::thread(
                []
                {
                    io::PostSystemPowerMessageForTesting(io::kMessageCanSystemSleep, 11);
                    io::PostSystemPowerMessageForTesting(io::kMessageSystemWillSleep, 12);
                    io::PostSystemPowerMessageForTesting(0xE0000310, 13);
                    io::PostSystemPowerMessageForTesting(io::kMessageSystemHasPoweredOn, 14);
                })
                .join();
            EXPECT_TRUE(handler->fCalls.empty());
            RunLoopUntilIdle();
        })
        .join();

    EXPECT_EQ(handler->fCalls,
              (std::vector<std::pair<std::string, pid_t>>{{"sleep", loopThread}, {"wake", loopThread}}));
    // Can-sleep and will-sleep are allowed, the latter once its handlers returned.
    EXPECT_EQ(io::CountAllowedPowerChangesForTesting(), allowedBefore + 2);
    EXPECT_EQ(io::GetLastAllowedPowerChangeForTesting(), 12);
    EXPECT_EQ(VSleepNotifier::Instance(), nullptr);
    EXPECT_EQ(handler->GetRefCount(), 1u);

    process.GetLogger()->Flush();
    EXPECT_EQ(listener->Messages(),
              (std::vector<std::string>{"System is going to sleep", "System woke up from sleep"}));
    process.GetLogger()->RemoveLogListener(listener);
    listener->Release();
}

TEST(XMacSleepNotifier, ASleepWithoutHandlersIsLoggedAndAllowedAndNothingComesOnceItIsGone)
{
    StTestProcess process(true, "Tool");
    VRecordingListener* listener = new VRecordingListener;
    process.GetLogger()->AddLogListener(listener);
    const int32_t allowedBefore = io::CountAllowedPowerChangesForTesting();
    std::thread(
        [&]
        {
            {
                VSleepNotifier notifier;
                ASSERT_EQ(notifier.Init(), VE_OK);
                io::PostSystemPowerMessageForTesting(io::kMessageSystemWillSleep, 21);
                RunLoopUntilIdle();
                // Posted, then the notifier goes before the loop runs: dropped with it.
                io::PostSystemPowerMessageForTesting(io::kMessageSystemWillSleep, 22);
            }
            RunLoopUntilIdle();
        })
        .join();
    EXPECT_EQ(io::CountAllowedPowerChangesForTesting(), allowedBefore + 1);
    EXPECT_EQ(io::GetLastAllowedPowerChangeForTesting(), 21);
    process.GetLogger()->Flush();
    EXPECT_EQ(listener->Messages(), std::vector<std::string>{"System is going to sleep"});
    process.GetLogger()->RemoveLogListener(listener);
    listener->Release();
}

TEST(XMacSleepNotifier, AHandlerMayEndTheNotifierWhileItIsTold)
{
    const int32_t allowedBefore = io::CountAllowedPowerChangesForTesting();
    VRefPtr<VThreadHandler> handler(new VThreadHandler);
    std::thread(
        [&]
        {
            VSleepNotifier* notifier = new VSleepNotifier;
            ASSERT_EQ(notifier->Init(), VE_OK);
            notifier->RegisterSleepHandler(handler.Get());
            handler->fOnSleep = [&]
            {
                delete notifier;
                notifier = nullptr;
            };
            io::PostSystemPowerMessageForTesting(io::kMessageSystemWillSleep, 31);
            io::PostSystemPowerMessageForTesting(io::kMessageSystemHasPoweredOn, 32);
            RunLoopUntilIdle();
            EXPECT_EQ(notifier, nullptr);
        })
        .join();
    // The sleep was allowed; the wake-up went with the notifier.
    EXPECT_EQ(io::CountAllowedPowerChangesForTesting(), allowedBefore + 1);
    ASSERT_EQ(handler->fCalls.size(), 1u);
    EXPECT_EQ(handler->fCalls[0].first, "sleep");
    EXPECT_EQ(handler->GetRefCount(), 1u);
}

TEST(XMacSleepNotifier, AFailedRegistrationRaises1150TwiceAndStartsNothing)
{
    VSleepNotifier notifier;
    StErrorContextInstaller errors(false, true);
    io::FailNextRegistrationForTesting();
    EXPECT_EQ(notifier.Init(), VE_SLEEP_NOTIFIER_NOT_REGISTERED);
    ASSERT_EQ(errors.GetContext()->GetErrorCount(), 2u);
    EXPECT_EQ(errors.GetContext()->GetNthError(1)->GetError(), VE_SLEEP_NOTIFIER_NOT_REGISTERED);
    EXPECT_EQ(errors.GetContext()->GetNthError(2)->GetError(), VE_SLEEP_NOTIFIER_NOT_REGISTERED);
    EXPECT_EQ(VSleepNotifier::Instance(), nullptr);
    // A callback without its object does nothing.
    XMacSleepNotifier::SystemCallback(nullptr, 0, io::kMessageSystemWillSleep, nullptr);
}
