#include "kernel/errors/VLogger.h"

#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/LoggerTesting_test.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/ProcessTesting_test.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/tasks/WaitUntil_test.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

VRefPtr<VValueBag> Record(const char* inMessage, int32_t inLevel)
{
    VRefPtr<VValueBag> record(new VValueBag);
    ILoggerBagKeys::message.Set(*record, VString(inMessage));
    ILoggerBagKeys::level.Set(*record, VLong(inLevel));
    return record;
}

// A started logger with one recording listener, flushed by the test alone: the flush task
// waits a minute between its rounds.
class LoggerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fLogger->_SetFlushPeriodForTesting(60000);
        fLogger->Start();
        ASSERT_TRUE(fLogger->AddLogListener(fListener.Get()));
    }

    // The logger's task, once it waits between two rounds.
    VRefPtr<VTask> WaitForTheFlushTaskToSleep()
    {
        VRefPtr<VTask> flushTask;
        WaitUntil(
            [&]
            {
                std::vector<VRefPtr<VTask>> tasks;
                VTaskMgr::Get()->GetTasks(tasks);
                for (VRefPtr<VTask>& task : tasks)
                {
                    if (task->GetKind() == FourCharCode("LOGG") &&
                        task->GetWaitReason() == eWaitReasonSleeping)
                        flushTask = task;
                }
                return bool(flushTask);
            });
        return flushTask;
    }

    VRefPtr<VLogger> fLogger{new VLogger};
    VRefPtr<VRecordingListener> fListener{new VRecordingListener};
};

TEST(VLoggerLevels, KeepsNothingBeforeStartAndOnlyWhatTheMaskPasses)
{
    VRefPtr<VLogger> logger(new VLogger);
    EXPECT_FALSE(logger->ShouldLog(EML_Error));
    logger->LogBag(Record("before", EML_Error).Get());
    EXPECT_TRUE(logger->Read().empty());

    logger->Start();
    const bool kept[] = {false, false, false, false, true, true, true, true};
    for (uint32_t level = 0; level < 8; ++level)
        EXPECT_EQ(logger->ShouldLog(EMessageLevel(level)), kept[level]) << level;
    // The mask bit is taken modulo 32.
    EXPECT_TRUE(logger->ShouldLog(EMessageLevel(36)));

    EXPECT_FALSE(logger->WithAssert(true));
    EXPECT_TRUE(logger->ShouldLog(EML_Assert));
    EXPECT_TRUE(logger->WithAssert(false));
    EXPECT_TRUE(logger->WithInfo(false));
    EXPECT_FALSE(logger->ShouldLog(EML_Info));
}

TEST_F(LoggerTest, DisabledFlushKeepsEveryLevelUntilEnabled)
{
    fLogger->DisableFlush();
    fLogger->LogBag(Record("debug 1", EML_Debug).Get());
    fLogger->LogBag(Record("info 1", EML_Info).Get());
    fLogger->LogBag(Record("debug 2", EML_Debug).Get());
    fLogger->LogBag(Record("info 2", EML_Info).Get());
    fLogger->Flush();
    EXPECT_TRUE(fListener->Messages().empty());

    fLogger->EnableFlush();
    fLogger->Flush();
    EXPECT_EQ(fListener->Messages(), (std::vector<std::string>{"info 1", "info 2"}));
}

TEST_F(LoggerTest, AFullRingLosesItsOldestRecord)
{
    // Without the flush task, which the ring half full would wake.
    fLogger->Stop();
    for (int i = 0; i <= VLogger::kRingSize; ++i)
        fLogger->LogBag(Record(std::to_string(i).c_str(), EML_Info).Get());
    fLogger->Flush();
    std::vector<std::string> messages = fListener->Messages();
    ASSERT_EQ(messages.size(), size_t(VLogger::kRingSize));
    EXPECT_EQ(messages.front(), "1");
    EXPECT_EQ(messages.back(), "1000");
    EXPECT_EQ(fListener->Batches(), 1);
}

TEST_F(LoggerTest, LogMessageLeavesInfoOutAndFindsItsSource)
{
    StTestProcess process(false, "Product");
    fLogger->LogMessage(EML_Info, VString("plain"), VString("Engine"));
    fLogger->LogMessage(EML_Warning, VString("warned"), VString());
    RunOnTask(
        [this]
        {
            VRefPtr<VValueBag> properties(new VValueBag);
            ILoggerBagKeys::source.Set(*properties, VString("FromTask"));
            VTaskMgr::GetCurrentTask()->SetProperties(properties.Get());
            fLogger->LogMessage(EML_Error, VString("on task"), VString());
        });
    fLogger->Flush();
    std::vector<VRecordingListener::Record> records = fListener->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(records[0].fHasLevel);
    EXPECT_EQ(records[0].fLevel, EML_Info);
    EXPECT_EQ(records[0].fSource, "Engine");
    EXPECT_EQ(records[1].fLevel, EML_Warning);
    EXPECT_EQ(records[1].fSource, "Product");
    EXPECT_EQ(records[2].fSource, "FromTask");
}

TEST_F(LoggerTest, AMessageOfAnyLengthMakesTheSameRecord)
{
    std::string longText(300, 'x');
    longText += "é";
    for (const std::string& text : {std::string("short"), longText})
    {
        VString message(text.data(), text.size(), VTC_UTF_8);
        fLogger->LogMessage(EML_Warning, message, VString("Source"));
    }
    fLogger->Flush();
    std::vector<VRecordingListener::Record> records = fListener->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fMessage, "short");
    EXPECT_EQ(records[1].fMessage, longText);
    for (const VRecordingListener::Record& record : records)
    {
        EXPECT_EQ(record.fSource, "Source");
        EXPECT_EQ(record.fLevel, EML_Warning);
    }
}

TEST_F(LoggerTest, ListenersAreAddedOnceAndTheLastAddedHearsFirst)
{
    VRefPtr<VRecordingListener> second(new VRecordingListener);
    std::vector<const VRecordingListener*> calls;
    fListener->fLog = &calls;
    second->fLog = &calls;
    EXPECT_FALSE(fLogger->AddLogListener(fListener.Get()));
    EXPECT_FALSE(fLogger->AddLogListener(nullptr));
    EXPECT_TRUE(fLogger->AddLogListener(second.Get()));

    fLogger->LogBag(Record("one", EML_Info).Get());
    fLogger->Flush();
    EXPECT_EQ(calls, (std::vector<const VRecordingListener*>{second.Get(), fListener.Get()}));
    EXPECT_EQ(fListener->Messages(), std::vector<std::string>{"one"});

    // Removing delivers what waits, to the listener that goes too.
    fLogger->LogBag(Record("two", EML_Info).Get());
    EXPECT_TRUE(fLogger->RemoveLogListener(fListener.Get()));
    EXPECT_FALSE(fLogger->RemoveLogListener(fListener.Get()));
    EXPECT_EQ(fListener->Messages(), (std::vector<std::string>{"one", "two"}));
    fLogger->LogBag(Record("three", EML_Info).Get());
    fLogger->Flush();
    EXPECT_EQ(fListener->Messages().size(), 2u);
    EXPECT_EQ(second->Messages(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(LoggerTest, TheFlushTaskIsWokenWhenTheRingIsHalfFull)
{
    VRefPtr<VTask> flushTask = WaitForTheFlushTaskToSleep();
    VString name;
    flushTask->GetName(name);
    EXPECT_EQ(to_string(name), "Logger");

    // The task sleeps a minute: only the wake at 500 records brings them out now.
    for (int i = 0; i < VLogger::kRingSize / 2; ++i)
        fLogger->LogBag(Record("r", EML_Info).Get());
    WaitUntil([&] { return fListener->Messages().size() == size_t(VLogger::kRingSize / 2); });

    // Stopping wakes the task, which hands out what is left before it ends.
    fLogger->LogBag(Record("last", EML_Info).Get());
    fLogger->Stop();
    EXPECT_EQ(flushTask->GetState(), TS_DEAD);
    EXPECT_EQ(fListener->Messages().back(), "last");
}

TEST_F(LoggerTest, FlushReturnsOnceTheBatchOnItsWayHasArrived)
{
    std::mutex gate;
    gate.lock();
    std::atomic<bool> inPut{false};
    fListener->fOnRecord = [&](const VValueBag&)
    {
        if (!inPut.exchange(true))
        {
            gate.lock(); // the first record waits for the test
            gate.unlock();
        }
    };
    // The flush task takes the first half-ring and waits in the listener.
    WaitForTheFlushTaskToSleep();
    for (int i = 0; i < VLogger::kRingSize / 2; ++i)
        fLogger->LogBag(Record("r", EML_Info).Get());
    WaitUntil([&] { return inPut.load(); });
    std::atomic<bool> flushed{false};
    std::thread flusher(
        [&]
        {
            fLogger->Flush();
            flushed = true;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(flushed.load());
    gate.unlock();
    flusher.join();
    EXPECT_EQ(fListener->Messages().size(), size_t(VLogger::kRingSize / 2));
}

TEST_F(LoggerTest, ManyTasksLoggingAtOnceDeliverEachRecordOnceInTheirOrder)
{
    fLogger->_SetFlushPeriodForTesting(1);
    // Fewer in all than the ring holds: nothing is overwritten.
    LogFromTasks(*fLogger, 16, 60);
    fLogger->Flush();
    EXPECT_EQ(ExpectEachTasksOrder(fListener->Messages()), 16u * 60u);
}

TEST(ILoggerTest, SequenceNumbersNeverRepeatAcrossTasks)
{
    uint64_t first = ILogger::GetSequenceNumber();
    EXPECT_EQ(ILogger::GetSequenceNumber(), first + 1);
    constexpr int kThreads = 8;
    constexpr int kEach = 1000;
    std::vector<std::vector<uint64_t>> numbers(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&numbers, t]
            {
                for (int i = 0; i < kEach; ++i)
                    numbers[t].push_back(ILogger::GetSequenceNumber());
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::set<uint64_t> all;
    for (const auto& some : numbers)
    {
        EXPECT_TRUE(std::is_sorted(some.begin(), some.end()));
        all.insert(some.begin(), some.end());
    }
    EXPECT_EQ(all.size(), size_t(kThreads * kEach));
    EXPECT_EQ(*all.begin(), first + 2);
    EXPECT_EQ(*all.rbegin(), first + 1 + kThreads * kEach);
}

TEST(ILoggerTest, CompactsAStackCrawlIntoOneLine)
{
    struct Case
    {
        const char16_t* fCrawl;
        const char16_t* fLine;
    };
    const Case kCases[] = {
        {u"   {0} 0x00001000 - main\n", u"{0} 0x00001000 - main"},
        {u"   {1} 0x00002000 - kova::VFile::Open(int, bool) const\n   {0} 0x00001000 - main\n",
         u"{1} 0x00002000 - VFile::Open <- {0} 0x00001000 - main"},
        {u"{2} 0x3 - non-virtual thunk to kova::VTask::Run()\n\n{0} 0x1 - f",
         u"{2} 0x3 - VTask::Run <-  <- {0} 0x1 - f"},
        // A parenthesis in the first place is no argument list.
        {u"(anonymous) x const", u"(anonymous) x"},
    };
    for (const Case& test : kCases)
    {
        VString line;
        ILogger::CompactStackCrawl(VString(test.fCrawl), line);
        EXPECT_EQ(std::u16string(line.GetCPointer(), size_t(line.GetLength())), test.fLine);
    }
}

TEST(ILoggerTest, AnErrorBecomesOneErrorRecord)
{
    StTestProcess process(true, "Product");
    VLogger* logger = process.GetLogger();
    logger->_SetFlushPeriodForTesting(60000);
    VRefPtr<VRecordingListener> listener(new VRecordingListener);
    std::vector<std::string> checks;
    listener->fOnRecord = [&](const VValueBag& inBag)
    {
        int64_t code = 0;
        int32_t signature = 0;
        VString taskName;
        EXPECT_TRUE(inBag.GetLong8("error_code", code));
        EXPECT_EQ(uint64_t(code), VE_FILE_NOT_FOUND);
        EXPECT_TRUE(inBag.GetLong("component_signature", signature));
        EXPECT_EQ(uint32_t(signature), kCOMPONENT_KOVA);
        EXPECT_TRUE(inBag.AttributeExists("task_id"));
        EXPECT_TRUE(inBag.AttributeExists("task_name"));
        EXPECT_FALSE(inBag.AttributeExists("stack_crawl"));
        EXPECT_NE(inBag.GetElements("parameters"), nullptr);
        checks.push_back("checked");
    };
    ASSERT_TRUE(logger->AddLogListener(listener.Get()));

    VRefPtr<VErrorBase> error(new VErrorBase(VE_FILE_NOT_FOUND));
    logger->LogErrorIfNecessary(error.Get());
    logger->WithError(false);
    logger->LogErrorIfNecessary(error.Get());
    logger->Flush();
    std::vector<VRecordingListener::Record> records = listener->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fLevel, EML_Error);
    EXPECT_EQ(records[0].fSource, "Product");
    EXPECT_EQ(records[0].fMessage, "Error code: 600 (kova)");
    EXPECT_EQ(checks.size(), 1u);
    logger->RemoveLogListener(listener.Get());
}

TEST(ILoggerTest, AFailedAssertionIsLoggedOnceTheMaskAsksForIt)
{
    StTestProcess process;
    VLogger* logger = process.GetLogger();
    logger->_SetFlushPeriodForTesting(60000);
    VRefPtr<VRecordingListener> listener(new VRecordingListener);
    std::string fileName;
    int32_t line = 0;
    std::string crawl;
    listener->fOnRecord = [&](const VValueBag& inBag)
    {
        VString text;
        inBag.GetString("file_name", text);
        fileName = to_string(text);
        inBag.GetLong("line_number", line);
        if (inBag.GetString("stack_crawl", text))
            crawl = to_string(text);
    };
    ASSERT_TRUE(logger->AddLogListener(listener.Get()));
    logger->LogAssertIfNecessary("x > 0", "/src/kernel/Thing.cpp", 42);
    logger->Flush();
    EXPECT_TRUE(listener->Messages().empty());

    logger->WithAssert(true);
    logger->LogAssertIfNecessary("x > 0", "/src/kernel/Thing.cpp", 42);
    logger->Flush();
    ASSERT_EQ(listener->Messages(), std::vector<std::string>{"x > 0"});
    EXPECT_EQ(listener->Records()[0].fLevel, EML_Assert);
    EXPECT_EQ(fileName, "Thing.cpp");
    EXPECT_EQ(line, 42);
    // The caller's frames, one line, the last without a trailing separator.
    EXPECT_NE(crawl.find(" <- "), std::string::npos);
    EXPECT_NE(crawl.substr(crawl.size() - 4), " <- ");
    logger->RemoveLogListener(listener.Get());
}

} // namespace
} // namespace kova
