#include "kernel/tasks/VSleepNotifier.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/tasks/CountingScheduler_test.h"
#include "kernel/tasks/ProcessTesting_test.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace kova;

namespace
{

// Writes what it is told into the shared journal, and whether it is still alive when told.
class VJournalHandler : public VObject, public VSleepNotifier::ISleepHandler
{
public:
    VJournalHandler(std::string inName, std::vector<std::string>& ioJournal)
        : fName(std::move(inName)), fJournal(ioJournal)
    {
    }
    ~VJournalHandler() override { fJournal.push_back(fName + " gone"); }

    void DoSleep() override
    {
        fJournal.push_back(fName + " sleeps");
        if (fOnSleep)
            fOnSleep();
    }
    void DoWakeup() override { fJournal.push_back(fName + " wakes"); }
    VString GetSleepHandlerName() override { return VString(fName.c_str()); }

    std::string fName;
    std::function<void()> fOnSleep;

private:
    std::vector<std::string>& fJournal;
};

// Named A, B, C ... in ascending address order, whatever the allocator does.
std::vector<VJournalHandler*> NewHandlers(int32_t inCount, std::vector<std::string>& ioJournal)
{
    std::vector<VJournalHandler*> handlers;
    for (int32_t i = 0; i < inCount; ++i)
        handlers.push_back(new VJournalHandler("", ioJournal));
    std::sort(handlers.begin(), handlers.end());
    for (size_t i = 0; i < handlers.size(); ++i)
        handlers[i]->fName = std::string(1, char('A' + i));
    return handlers;
}

} // namespace

TEST(VSleepNotifier, HandlersAreRetainedOnceAndNullIsRefused)
{
    std::vector<std::string> journal;
    VSleepNotifier notifier;
    VRefPtr<VJournalHandler> handler(new VJournalHandler("A", journal));
    EXPECT_EQ(notifier.RegisterSleepHandler(nullptr), VE_INVALID_PARAMETER);
    EXPECT_EQ(notifier.UnregisterSleepHandler(nullptr), VE_INVALID_PARAMETER);

    EXPECT_EQ(notifier.RegisterSleepHandler(handler.Get()), VE_OK);
    EXPECT_EQ(notifier.RegisterSleepHandler(handler.Get()), VE_OK);
    EXPECT_EQ(handler->GetRefCount(), 2u);
    EXPECT_EQ(notifier.UnregisterSleepHandler(handler.Get()), VE_OK);
    EXPECT_EQ(handler->GetRefCount(), 1u);
    // Not registered: nothing changes.
    EXPECT_EQ(notifier.UnregisterSleepHandler(handler.Get()), VE_OK);
    EXPECT_EQ(handler->GetRefCount(), 1u);
    notifier.HaveSleepNotification();
    EXPECT_TRUE(journal.empty());

    // The notifier's destruction releases the handlers it still holds.
    {
        VSleepNotifier other;
        other.RegisterSleepHandler(handler.Get());
        EXPECT_EQ(handler->GetRefCount(), 2u);
    }
    EXPECT_EQ(handler->GetRefCount(), 1u);
    EXPECT_EQ(notifier.UnregisterSleepHandlers(), VE_OK);
}

TEST(VSleepNotifier, HandlersAreToldInAddressOrderWithTheMessageLoggedAndTheSchedulerSwitched)
{
    StTestProcess process(true, "Tool");
    VRecordingListener* listener = new VRecordingListener;
    process.GetLogger()->AddLogListener(listener);
    VRefPtr<VCountingScheduler> scheduler(new VCountingScheduler);
    VRefPtr<IFiberScheduler> previous(VTaskMgr::Get()->RetainFiberScheduler());
    VTaskMgr::Get()->SetFiberScheduler(scheduler.Get());

    std::vector<std::string> journal;
    std::vector<VJournalHandler*> handlers = NewHandlers(3, journal);
    VSleepNotifier notifier;
    // Registered out of order.
    for (size_t i : {2u, 0u, 1u})
        notifier.RegisterSleepHandler(handlers[i]);

    notifier.HaveSleepNotification();
    EXPECT_TRUE(scheduler->fSystemCallCFRunloop);
    notifier.HaveWakeupNotification();
    EXPECT_FALSE(scheduler->fSystemCallCFRunloop);
    EXPECT_EQ(journal, (std::vector<std::string>{"A sleeps", "B sleeps", "C sleeps", "A wakes", "B wakes",
                                                 "C wakes"}));

    process.GetLogger()->Flush();
    std::vector<VRecordingListener::Record> records = listener->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fMessage, "System is going to sleep");
    EXPECT_EQ(records[1].fMessage, "System woke up from sleep");
    for (const VRecordingListener::Record& record : records)
    {
        EXPECT_EQ(record.fSource, "sleepNotifications");
        // INFO, the level's default, is left out of the record.
        EXPECT_FALSE(record.fHasLevel);
    }

    VTaskMgr::Get()->SetFiberScheduler(previous.Get());
    process.GetLogger()->RemoveLogListener(listener);
    listener->Release();
    notifier.UnregisterSleepHandlers();
    for (VJournalHandler* handler : handlers)
        handler->Release();
}

TEST(VSleepNotifier, AHandlerUnregisteredWhileOthersAreToldLivesUntilItsOwnCallReturns)
{
    std::vector<std::string> journal;
    std::vector<VJournalHandler*> handlers = NewHandlers(3, journal);
    VSleepNotifier notifier;
    for (VJournalHandler* handler : handlers)
        notifier.RegisterSleepHandler(handler);
    // The notifier holds the only reference of B and C. A drops them both and registers a newcomer,
    // which is not told this time.
    handlers[1]->Release();
    handlers[2]->Release();
    VRefPtr<VJournalHandler> newcomer(new VJournalHandler("N", journal));
    handlers[0]->fOnSleep = [&]
    {
        notifier.UnregisterSleepHandler(handlers[1]);
        notifier.UnregisterSleepHandler(handlers[2]);
        notifier.RegisterSleepHandler(newcomer.Get());
    };

    notifier.HaveSleepNotification();
    EXPECT_EQ(journal, (std::vector<std::string>{"A sleeps", "B sleeps", "B gone", "C sleeps", "C gone"}));
    journal.clear();
    notifier.HaveWakeupNotification();
    EXPECT_EQ(journal.size(), 2u);
    notifier.UnregisterSleepHandlers();
    handlers[0]->Release();
}
