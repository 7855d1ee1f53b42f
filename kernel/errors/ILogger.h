// ILogger is the interface of the process logger (VLogger): records are value bags keyed by
// ILoggerBagKeys, kept when their level passes the logger's mask, and handed in batches to the
// listeners. It also turns errors and failed assertions into records, and numbers the lines of the
// log files with one process-wide counter.
//
//     if (VLogger* logger = VProcess::sInstance->GetLogger())
//         logger->LogMessage(EML_Info, "Update starting", "Updater");
#pragma once

#include "kernel/values/IRefCountable.h"

#include <atomic>
#include <cstdint>

namespace kova
{

class ILogListener;
class VErrorBase;
class VString;
class VValueBag;

// Bit n of a level mask stands for level n.
enum EMessageLevel : uint32_t
{
    EML_Dump = 0,
    EML_Trace = 1,
    EML_Assert = 2,
    EML_Debug = 3,
    EML_Info = 4,
    EML_Warning = 5,
    EML_Error = 6,
    EML_Fatal = 7,
};

class ILogger : public IRefCountable
{
public:
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void EnableFlush() = 0;
    virtual void DisableFlush() = 0;
    virtual bool IsStarted() const = 0;
    virtual bool ShouldLog(EMessageLevel inLevel) const = 0;
    // The logger retains the record: a caller must not change a bag once logged.
    virtual void LogBag(const VValueBag* inRecord) = 0;
    // An empty source is taken from the calling task's properties, else from the process.
    virtual void LogMessage(EMessageLevel inLevel, const VString& inMessage, const VString& inSource) = 0;
    virtual void Flush() = 0;
    // Each sets or clears its level's bit of the mask and returns the bit's previous state.
    virtual bool WithTrace(bool inOn) = 0;
    virtual bool WithDump(bool inOn) = 0;
    virtual bool WithDebug(bool inOn) = 0;
    virtual bool WithWarning(bool inOn) = 0;
    virtual bool WithError(bool inOn) = 0;
    virtual bool WithFatal(bool inOn) = 0;
    virtual bool WithAssert(bool inOn) = 0;
    virtual bool WithInfo(bool inOn) = 0;
    virtual bool AddLogListener(ILogListener* inListener) = 0;
    virtual bool RemoveLogListener(ILogListener* inListener) = 0;

    // An ERROR record of the error: its bag form, its message, its component, and the source and
    // job of the calling task.
    void LogErrorIfNecessary(VErrorBase* inError);
    // An ASSERT record with the file's name, the line and the caller's stack.
    void LogAssertIfNecessary(const char* inMessage, const char* inFile, int inLine);

    // 1 on the first call, then 2, 3, ... from any task, never twice the same.
    static uint64_t GetSequenceNumber();

    // A stack crawl of one frame a line as one line: each frame without its argument list,
    // namespace, thunk prefix and trailing const, the frames joined by " <- ".
    static void CompactStackCrawl(const VString& inCrawl, VString& outLine);

private:
    static std::atomic<uint64_t> sSequenceNumber;
};

} // namespace kova
