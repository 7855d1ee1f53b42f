// Test helpers of the logging tests: a listener that keeps what it is handed, tasks that log at
// once, and the folder of a death test.
#pragma once

#include "kernel/errors/ILogListener.h"
#include "kernel/errors/ILogger.h"
#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VValueBag.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace kova
{

class VRecordingListener : public VObject, public ILogListener
{
public:
    struct Record
    {
        std::string fMessage;
        std::string fSource;
        int32_t fLevel = 0;
        bool fHasLevel = false;
        const VValueBag* fBag = nullptr; // valid only during Put
    };

    void Put(const std::vector<const VValueBag*>& inRecords) override
    {
        std::lock_guard<std::mutex> lock(fMutex);
        ++fBatches;
        for (const VValueBag* bag : inRecords)
        {
            Record record;
            VString text;
            if (ILoggerBagKeys::message.Get(*bag, text))
                record.fMessage = to_string(text);
            if (ILoggerBagKeys::source.Get(*bag, text))
                record.fSource = to_string(text);
            VLong level;
            record.fHasLevel = ILoggerBagKeys::level.Get(*bag, level);
            record.fLevel = level.Get();
            fRecords.push_back(record);
            if (fOnRecord)
                fOnRecord(*bag);
        }
        if (fLog != nullptr)
            fLog->push_back(this);
    }

    std::vector<Record> Records() const
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fRecords;
    }
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        for (const Record& record : Records())
            messages.push_back(record.fMessage);
        return messages;
    }
    int32_t Batches() const
    {
        std::lock_guard<std::mutex> lock(fMutex);
        return fBatches;
    }

    // Each Put appends the listener here, to tell the order in which listeners were called.
    std::vector<const VRecordingListener*>* fLog = nullptr;
    // Called for each record during Put, with the bag.
    std::function<void(const VValueBag&)> fOnRecord;

private:
    mutable std::mutex fMutex;
    std::vector<Record> fRecords;
    int32_t fBatches = 0;
};

// A folder path of the test's own that the child of a death test, which runs the test again from
// its start, finds too: the parent names it in its environment.
inline std::string DeathTestFolder(const char* inTag)
{
    const std::string variable = std::string("KOVA_TEST_FOLDER_") + inTag;
    if (const char* inherited = std::getenv(variable.c_str()))
        return inherited;
    const std::string path = testing::TempDir() + "kova-" + inTag + "-" + std::to_string(getpid());
    setenv(variable.c_str(), path.c_str(), 1);
    return path;
}

// Runs inTasks tasks at once, task t logging the messages "t:0" to "t:<inEach - 1>" at INFO from
// the source "T", and returns once all of them have ended.
inline void LogFromTasks(ILogger& ioLogger, int inTasks, int inEach)
{
    std::vector<VRefPtr<VTask>> tasks;
    for (int t = 0; t < inTasks; ++t)
    {
        tasks.push_back(NewTask(
            [&ioLogger, t, inEach]
            {
                for (int i = 0; i < inEach; ++i)
                {
                    std::string message = std::to_string(t) + ":" + std::to_string(i);
                    ioLogger.LogMessage(EML_Info, VString(message.c_str()), VString("T"));
                }
            }));
    }
    for (VRefPtr<VTask>& task : tasks)
        ASSERT_TRUE(task->Run());
    for (VRefPtr<VTask>& task : tasks)
        ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
}

// Each message of LogFromTasks came once, in its task's order; answers how many came.
inline size_t ExpectEachTasksOrder(const std::vector<std::string>& inMessages)
{
    std::map<int, int> next;
    std::set<std::string> seen;
    for (const std::string& message : inMessages)
    {
        EXPECT_TRUE(seen.insert(message).second) << message;
        size_t colon = message.find(':');
        int task = std::stoi(message.substr(0, colon));
        EXPECT_EQ(std::stoi(message.substr(colon + 1)), next[task]++) << message;
    }
    return seen.size();
}

} // namespace kova
