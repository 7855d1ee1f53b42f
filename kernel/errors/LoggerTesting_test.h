// Test helpers of the logging tests: a listener that keeps what it is handed.
#pragma once

#include "kernel/errors/ILogListener.h"
#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VValueBag.h"

#include <functional>
#include <mutex>
#include <string>
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

} // namespace kova
