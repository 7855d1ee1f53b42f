#include "kernel/errors/VLogger.h"

#include "kernel/errors/ILogListener.h"
#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <algorithm>
#include <new>

namespace kova
{

namespace
{

constexpr int32_t kFlushTaskStackSize = 64000;
constexpr int32_t kStopMilliseconds = 3000;

EMessageLevel LevelOf(const VValueBag& inRecord)
{
    VLong level;
    ILoggerBagKeys::level.Get(inRecord, level);
    return EMessageLevel(uint32_t(level.Get()));
}

void ReleaseRecords(std::vector<const VValueBag*>& ioRecords)
{
    for (const VValueBag* record : ioRecords)
        record->Release();
    ioRecords.clear();
}

} // namespace

VLogger::VLogger() = default;

VLogger::~VLogger()
{
    _StopFlushTask();
    for (ILogListener* listener : fListeners)
        listener->Release();
    fListeners.clear();
    for (const VValueBag*& record : fRing)
        ReleaseRefCountable(&record);
    if (VTask* task = fFlushTask.exchange(nullptr))
        task->Release();
}

void VLogger::Start()
{
    fStarted.store(true, std::memory_order_relaxed);
}

void VLogger::Stop()
{
    _StopFlushTask();
}

void VLogger::_StopFlushTask()
{
    VTask* task = fFlushTask.load(std::memory_order_acquire);
    if (task == nullptr)
        return;
    task->Kill();
    // A task is not woken by Kill: without this, stopping would wait out its sleep.
    task->WakeUp();
    task->WaitForDeath(kStopMilliseconds);
}

bool VLogger::ShouldLog(EMessageLevel inLevel) const
{
    if (!fFlushEnabled.load(std::memory_order_relaxed))
        return true;
    if (!fStarted.load(std::memory_order_relaxed))
        return false;
    return (fLevelMask.load(std::memory_order_relaxed) & (1u << (uint32_t(inLevel) % 32))) != 0;
}

bool VLogger::WithTag(uint32_t inBit, bool inOn)
{
    const uint32_t bit = 1u << (inBit % 32);
    uint32_t previous = inOn ? fLevelMask.fetch_or(bit, std::memory_order_relaxed)
                             : fLevelMask.fetch_and(~bit, std::memory_order_relaxed);
    return (previous & bit) != 0;
}

const VValueBag* VLogger::_Store(const VValueBag* inRecord)
{
    inRecord->Retain();
    if (fWriteIndex >= kRingSize)
    {
        fWriteIndex = 0;
        fWrapped = true;
    }
    const VValueBag* overwritten = fRing[fWriteIndex];
    fRing[fWriteIndex++] = inRecord;
    return overwritten;
}

void VLogger::AddLogBag(const VValueBag* inRecord)
{
    if (inRecord == nullptr)
        return;
    if (const VValueBag* overwritten = _Store(inRecord))
        overwritten->Release();
}

void VLogger::LogBag(const VValueBag* inRecord)
{
    if (inRecord != nullptr)
        _LogBag(inRecord, LevelOf(*inRecord));
}

void VLogger::_LogBag(const VValueBag* inRecord, EMessageLevel inLevel)
{
    if (!ShouldLog(inLevel))
        return;
    const VValueBag* overwritten;
    bool halfFull;
    {
        StLocker lock(fRingLock);
        overwritten = _Store(inRecord);
        halfFull = !fWrapped && fWriteIndex == kRingSize / 2;
    }
    // The lost record is freed outside the lock, so that logging tasks do not wait for it.
    if (overwritten != nullptr)
        overwritten->Release();
    if (halfFull)
    {
        if (VTask* task = fFlushTask.load(std::memory_order_acquire))
            task->WakeUp();
    }
}

void VLogger::LogMessage(EMessageLevel inLevel, const VString& inMessage, const VString& inSource)
{
    if (!ShouldLog(inLevel))
        return;
    VRefPtr<VValueBag> record(new (std::nothrow) VValueBag);
    if (!record)
        return;
    if (!inSource.IsEmpty())
    {
        ILoggerBagKeys::source.Set(*record, inSource);
    }
    else
    {
        VString source;
        VTask* task = VTaskMgr::GetCurrentTask();
        VRefPtr<VValueBag> properties(task != nullptr ? task->RetainProperties() : nullptr);
        if (!properties || !ILoggerBagKeys::source.Get(*properties, source))
        {
            if (VProcess::sInstance != nullptr)
                source = VProcess::sInstance->GetLogSourceIdentifier();
        }
        ILoggerBagKeys::source.Set(*record, source);
    }
    // INFO is the key's default: it is left out.
    if (inLevel != EML_Info)
        ILoggerBagKeys::level.Set(*record, VLong(int32_t(inLevel)));
    ILoggerBagKeys::message.Set(*record, inMessage);
    _LogBag(record.Get(), inLevel);
}

void VLogger::_TakeRecords(std::vector<const VValueBag*>& ioRecords)
{
    auto take = [&](int32_t inFrom, int32_t inTo)
    {
        for (int32_t i = inFrom; i < inTo; ++i)
        {
            if (fRing[i] != nullptr)
                ioRecords.push_back(fRing[i]);
            fRing[i] = nullptr;
        }
    };
    if (fWrapped)
        take(fWriteIndex, kRingSize);
    take(0, fWriteIndex);
    fWriteIndex = 0;
    fWrapped = false;
}

std::vector<const VValueBag*> VLogger::Read()
{
    std::vector<const VValueBag*> records;
    records.reserve(kRingSize);
    _TakeRecords(records);
    return records;
}

void VLogger::Flush()
{
    if (!fFlushEnabled.load(std::memory_order_relaxed))
        return;
    std::vector<const VValueBag*> batch;
    batch.reserve(kRingSize);
    {
        // Taking the records under the listener lock keeps batches in order when two tasks
        // flush at once, and lets no Flush return while an earlier batch is still on its way.
        // The ring lock is held only to empty the ring: logging never waits for a listener.
        StLocker listenersLock(fListenerLock);
        {
            StLocker ringLock(fRingLock);
            // Read again under the ring lock: nothing logged after DisableFlush goes out.
            if (fFlushEnabled.load(std::memory_order_relaxed))
                _TakeRecords(batch);
        }
        if (!batch.empty())
        {
            for (ILogListener* listener : fListeners)
                listener->Put(batch);
        }
    }
    ReleaseRecords(batch);
}

void VLogger::EnableFlush()
{
    std::vector<const VValueBag*> records;
    records.reserve(kRingSize);
    {
        // Under the ring lock, so that no flush hands out what gathered before it is filtered.
        StLocker lock(fRingLock);
        fFlushEnabled.store(true, std::memory_order_relaxed);
        _TakeRecords(records);
        for (const VValueBag* record : records)
        {
            if (ShouldLog(LevelOf(*record)))
                AddLogBag(record);
        }
    }
    // The records kept were retained again when stored back: the references taken out go now,
    // and with them the records that no longer pass.
    ReleaseRecords(records);
}

void VLogger::DisableFlush()
{
    StLocker lock(fRingLock);
    fFlushEnabled.store(false, std::memory_order_relaxed);
}

bool VLogger::AddLogListener(ILogListener* inListener)
{
    if (inListener == nullptr)
        return false;
    StLocker lock(fListenerLock);
    if (fFlushTask.load(std::memory_order_relaxed) == nullptr)
    {
        VTask* task = new (std::nothrow)
            VTask(kFlushTaskStackSize, eTaskStylePreemptive, [this] { LogReaderTaskProc(); });
        if (task != nullptr)
        {
            task->SetName(VString("Logger"));
            task->SetKind(FourCharCode("LOGG"));
            if (task->Run())
                fFlushTask.store(task, std::memory_order_release);
            else
                task->Release();
        }
    }
    if (std::find(fListeners.begin(), fListeners.end(), inListener) != fListeners.end())
        return false;
    fListeners.insert(fListeners.begin(), inListener);
    inListener->Retain();
    return true;
}

bool VLogger::RemoveLogListener(ILogListener* inListener)
{
    Flush();
    if (inListener == nullptr)
        return false;
    StLocker lock(fListenerLock);
    auto found = std::find(fListeners.begin(), fListeners.end(), inListener);
    if (found == fListeners.end())
        return false;
    fListeners.erase(found);
    inListener->Release();
    return true;
}

void VLogger::LogReaderTaskProc()
{
    VTask::ReleaseCurrentActivityToken();
    VTask* task = VTaskMgr::GetCurrentTask();
    while (task != nullptr && !task->IsDying())
    {
        Flush();
        VTask::Sleep(fFlushPeriod.load(std::memory_order_relaxed));
    }
    // What was logged before the logger stopped still reaches the listeners.
    Flush();
}

} // namespace kova
