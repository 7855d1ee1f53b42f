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
#include <utility>

namespace kova
{

namespace
{

constexpr int32_t kFlushTaskStackSize = 64000;
constexpr int32_t kStopMilliseconds = 3000;

EMessageLevel LevelOf(const VValueBag& inRecord)
{
    const VValueSingle* level = inRecord.GetAttributeValue(ILoggerBagKeys::level);
    return EMessageLevel(
        uint32_t(level != nullptr ? level->GetLong() : ILoggerBagKeys::level.GetDefault().Get()));
}

// Holds the ring lock. Its holders keep it for a moment only, while waiting on the lock parks the
// thread, and the side that keeps logging takes the lock back before the parked one runs: a few
// tries first spare the flush task that convoy.
class StRingLocker
{
public:
    explicit StRingLocker(VCriticalSection& ioLock) : fLock(ioLock)
    {
        for (int32_t i = 0; i < kTries; ++i)
        {
            if (fLock.TryToLock())
                return;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#elif defined(__aarch64__)
            asm volatile("yield");
#endif
        }
        fLock.Lock();
    }
    ~StRingLocker()
    {
        fLock.Unlock();
    }
    StRingLocker(const StRingLocker&) = delete;
    StRingLocker& operator=(const StRingLocker&) = delete;

private:
    static constexpr int32_t kTries = 200;
    VCriticalSection& fLock;
};

void ReleaseRecords(std::vector<const VValueBag*>& ioRecords)
{
    for (const VValueBag* record : ioRecords)
        record->Release();
    ioRecords.clear();
}

} // namespace

VLogger::Entry& VLogger::Entry::operator=(Entry&& inOther) noexcept
{
    if (this != &inOther)
    {
        if (fRecord != nullptr)
            fRecord->Release();
        fRecord = std::exchange(inOther.fRecord, nullptr);
        fHasParts = std::exchange(inOther.fHasParts, false);
        fLevel = inOther.fLevel;
        fSourceLength = inOther.fSourceLength;
        fMessageLength = inOther.fMessageLength;
        if (fHasParts)
            std::copy_n(inOther.fText, fSourceLength + fMessageLength, fText);
    }
    return *this;
}

VLogger::Entry::~Entry()
{
    if (fRecord != nullptr)
        fRecord->Release();
}

EMessageLevel VLogger::Entry::GetLevel() const
{
    return fRecord != nullptr ? LevelOf(*fRecord) : fLevel;
}

namespace
{

// The record LogMessage makes: source, level unless INFO (the key's default), message.
VValueBag* NewRecord(EMessageLevel inLevel, const VString& inSource, const VString& inMessage)
{
    VValueBag* record = new (std::nothrow) VValueBag;
    if (record == nullptr)
        return nullptr;
    ILoggerBagKeys::source.Set(*record, inSource);
    if (inLevel != EML_Info)
        ILoggerBagKeys::level.Set(*record, VLong(int32_t(inLevel)));
    ILoggerBagKeys::message.Set(*record, inMessage);
    return record;
}

} // namespace

const VValueBag* VLogger::Entry::RetainRecord() const
{
    if (fRecord != nullptr)
    {
        fRecord->Retain();
        return fRecord;
    }
    if (!fHasParts)
        return nullptr;
    // Strings over the entry's units, read while the bag copies them.
    VString source(const_cast<UniChar*>(fText), fSourceLength, size_t(fSourceLength) * sizeof(UniChar));
    VString message(const_cast<UniChar*>(fText) + fSourceLength, fMessageLength,
                    size_t(fMessageLength) * sizeof(UniChar));
    return NewRecord(fLevel, source, message);
}

VLogger::VLogger() = default;

VLogger::~VLogger()
{
    _StopFlushTask();
    for (ILogListener* listener : fListeners)
        listener->Release();
    fListeners.clear();
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

void VLogger::_Store(Entry& ioEntry)
{
    if (fWriteIndex >= kRingSize)
    {
        fWriteIndex = 0;
        fWrapped = true;
    }
    // Moved out first, so that nothing is freed under the lock.
    Entry& slot = fRing[fWriteIndex];
    Entry overwritten(std::move(slot));
    slot = std::move(ioEntry);
    ++fWriteIndex;
    ioEntry = std::move(overwritten);
}

void VLogger::AddLogBag(const VValueBag* inRecord)
{
    if (inRecord == nullptr)
        return;
    Entry entry;
    entry.fRecord = inRecord;
    inRecord->Retain();
    _Store(entry);
}

void VLogger::LogBag(const VValueBag* inRecord)
{
    if (inRecord == nullptr || !ShouldLog(LevelOf(*inRecord)))
        return;
    Entry entry;
    entry.fRecord = inRecord;
    inRecord->Retain();
    _Log(entry);
}

void VLogger::_Log(Entry& ioEntry)
{
    bool halfFull;
    {
        StRingLocker lock(fRingLock);
        _Store(ioEntry);
        // Each half ring since the last take, so that a full ring keeps waking the task.
        halfFull = ++fStoredSinceTake % (kRingSize / 2) == 0;
    }
    // The overwritten entry, now in ioEntry, is freed outside the lock: it is lost undelivered.
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
    const VString* source = &inSource;
    VString found;
    if (inSource.IsEmpty())
    {
        VTask* task = VTaskMgr::GetCurrentTask();
        VRefPtr<VValueBag> properties(task != nullptr ? task->RetainProperties() : nullptr);
        if (!properties || !ILoggerBagKeys::source.Get(*properties, found))
        {
            if (VProcess::sInstance != nullptr)
                found = VProcess::sInstance->GetLogSourceIdentifier();
        }
        source = &found;
    }
    Entry entry;
    const int32_t sourceLength = source->GetLength();
    const int32_t messageLength = inMessage.GetLength();
    if (sourceLength + messageLength <= Entry::kTextUnits)
    {
        entry.fHasParts = true;
        entry.fLevel = inLevel;
        entry.fSourceLength = sourceLength;
        entry.fMessageLength = messageLength;
        std::copy_n(source->GetCPointer(), sourceLength, entry.fText);
        std::copy_n(inMessage.GetCPointer(), messageLength, entry.fText + sourceLength);
    }
    else
    {
        entry.fRecord = NewRecord(inLevel, *source, inMessage);
        if (entry.fRecord == nullptr)
            return;
    }
    _Log(entry);
}

VLogger::Taken VLogger::_SwapRing()
{
    Taken taken{fRing, fWriteIndex, fWrapped};
    std::swap(fRing, fSpare);
    fWriteIndex = 0;
    fWrapped = false;
    fStoredSinceTake = 0;
    return taken;
}

template <class VISIT>
void VLogger::_WalkTaken(const Taken& inTaken, VISIT&& inVisit)
{
    auto walk = [&](int32_t inFrom, int32_t inTo)
    {
        for (int32_t i = inFrom; i < inTo; ++i)
        {
            Entry& entry = inTaken.fEntries[i];
            if (!entry.IsEmpty())
            {
                inVisit(entry);
                entry = Entry();
            }
        }
    };
    if (inTaken.fWrapped)
        walk(inTaken.fWriteIndex, kRingSize);
    walk(0, inTaken.fWriteIndex);
}

std::vector<const VValueBag*> VLogger::Read()
{
    std::vector<const VValueBag*> records;
    records.reserve(kRingSize);
    // The caller holds the ring lock: the entries are taken where they lie.
    Taken inPlace{fRing, fWriteIndex, fWrapped};
    fWriteIndex = 0;
    fWrapped = false;
    _WalkTaken(inPlace,
               [&](const Entry& inEntry)
               {
                   if (const VValueBag* record = inEntry.RetainRecord())
                       records.push_back(record);
               });
    return records;
}

void VLogger::Flush()
{
    if (!fFlushEnabled.load(std::memory_order_relaxed))
        return;
    std::vector<const VValueBag*> batch;
    {
        // Taking the records under the listener lock keeps batches in order when two tasks
        // flush at once, and lets no Flush return while an earlier batch is still on its way.
        // The ring lock is held only to swap the ring: logging never waits for a listener.
        StLocker listenersLock(fListenerLock);
        Taken taken;
        {
            StRingLocker ringLock(fRingLock);
            // Read again under the ring lock: nothing logged after DisableFlush goes out.
            if (fFlushEnabled.load(std::memory_order_relaxed))
                taken = _SwapRing();
        }
        if (taken.fEntries == nullptr)
            return;
        batch.reserve(kRingSize);
        _WalkTaken(taken,
                   [&](const Entry& inEntry)
                   {
                       if (const VValueBag* record = inEntry.RetainRecord())
                           batch.push_back(record);
                   });
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
    StLocker listenersLock(fListenerLock);
    Taken taken;
    {
        // Under the ring lock, so that no flush hands out what gathered before it is filtered.
        StRingLocker lock(fRingLock);
        fFlushEnabled.store(true, std::memory_order_relaxed);
        taken = _SwapRing();
        _WalkTaken(taken,
                   [&](Entry& ioEntry)
                   {
                       if (ShouldLog(ioEntry.GetLevel()))
                           _Store(ioEntry);
                   });
    }
}

void VLogger::DisableFlush()
{
    StRingLocker lock(fRingLock);
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
