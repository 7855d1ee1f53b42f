// VLogger is the process logger. Any task may log: a record (a value bag, retained, never copied)
// whose level passes the mask waits in a ring of 1000 until the logger's own task, "Logger", hands
// the waiting records every 100 ms, oldest first, to each listener. A logging task never waits for
// a listener: the ring lock and the listener lock are never held together. When records come
// faster than they are handed out, the ring overwrites its oldest record, which is lost.
//
// Flushes are serialised by the listener lock, the ring lock taken inside it for the moment of
// emptying the ring: batches reach the listeners in the order they were taken, and Flush returns
// only once what was logged before it has been handed out. No lock is taken in the other order.
//
// The flush task is made by the first AddLogListener; it is also woken whenever half a ring of
// records has come since it last emptied the ring.
// The process makes the logger at start-up (flag 16), starts it, and stops it before releasing it.
//
// LogMessage keeps the parts of its record (level, source and message, copied in when short) in
// the ring, and the record's bag is made when it is handed out, on the flush task: a logging
// call costs the caller one lock and no allocation. The bag is the one LogMessage would have made.
#pragma once

#include "kernel/errors/ILogger.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class VTask;

class VLogger : public VObject, public ILogger
{
public:
    static constexpr int32_t kRingSize = 1000;
    static constexpr int32_t kFlushPeriodMilliseconds = 100;

    // Empty, INFO to FATAL, not started, flushing enabled.
    VLogger();
    VLogger(const VLogger&) = delete;
    VLogger& operator=(const VLogger&) = delete;
    // Stops the flush task and releases the listeners and the waiting records.
    ~VLogger() override;

    // Until Start nothing is kept (while flushing is enabled).
    void Start() override;
    // Ends the flush task (waiting at most 3 s); records go on being kept.
    void Stop() override;
    // Keeps again only what the mask passes, of what gathered meanwhile.
    void EnableFlush() override;
    // Every level is kept and nothing is handed out until EnableFlush.
    void DisableFlush() override;
    bool IsStarted() const override { return fStarted.load(std::memory_order_relaxed); }
    bool ShouldLog(EMessageLevel inLevel) const override;
    void LogBag(const VValueBag* inRecord) override;
    void LogMessage(EMessageLevel inLevel, const VString& inMessage, const VString& inSource) override;
    // Hands the waiting records to every listener, on the calling task; returns once every record
    // logged before the call has reached the listeners (a batch the flush task is handing out
    // included).
    void Flush() override;
    bool WithTrace(bool inOn) override { return WithTag(EML_Trace, inOn); }
    bool WithDump(bool inOn) override { return WithTag(EML_Dump, inOn); }
    bool WithDebug(bool inOn) override { return WithTag(EML_Debug, inOn); }
    bool WithWarning(bool inOn) override { return WithTag(EML_Warning, inOn); }
    bool WithError(bool inOn) override { return WithTag(EML_Error, inOn); }
    bool WithFatal(bool inOn) override { return WithTag(EML_Fatal, inOn); }
    bool WithAssert(bool inOn) override { return WithTag(EML_Assert, inOn); }
    bool WithInfo(bool inOn) override { return WithTag(EML_Info, inOn); }
    // Bit (inBit mod 32) of the mask; returns its previous state.
    bool WithTag(uint32_t inBit, bool inOn);
    // The listener added last receives each batch first. False for null or one already there.
    bool AddLogListener(ILogListener* inListener) override;
    // Delivers the waiting records first, to this listener too. False for null or a stranger.
    bool RemoveLogListener(ILogListener* inListener) override;

    // The waiting records, oldest first, with their references; the ring is left empty. The
    // caller holds the ring lock.
    std::vector<const VValueBag*> Read();
    // Stores a record (retained) without the level test and without the lock.
    void AddLogBag(const VValueBag* inRecord);
    // The flush task's body: flushes every 100 ms until the task is dying.
    void LogReaderTaskProc();
    // For tests: the flush task's period.
    void _SetFlushPeriodForTesting(int32_t inMilliseconds) { fFlushPeriod.store(inMilliseconds); }

private:
    // A slot of the ring: a record given to LogBag (retained), or the parts of one LogMessage
    // made, its source and message copied in when they fit (longer ones make their bag at once).
    struct Entry
    {
        static constexpr int32_t kTextUnits = 88;

        const VValueBag* fRecord = nullptr;
        bool fHasParts = false;
        EMessageLevel fLevel = EML_Info;
        int32_t fSourceLength = 0;
        int32_t fMessageLength = 0;
        // The source's units, then the message's.
        UniChar fText[kTextUnits];

        Entry() = default;
        Entry(Entry&& inOther) noexcept { *this = std::move(inOther); }
        // Into an emptied entry, nothing is freed.
        Entry& operator=(Entry&& inOther) noexcept;
        ~Entry();
        bool IsEmpty() const { return fRecord == nullptr && !fHasParts; }
        EMessageLevel GetLevel() const;
        // The record, with one reference for the caller; null when memory runs out.
        const VValueBag* RetainRecord() const;
    };

    // Stores the entry, moving the overwritten one into ioEntry (to be freed by the caller
    // outside the lock). Under the ring lock.
    void _Store(Entry& ioEntry);
    void _Log(Entry& ioEntry);
    // The entries a swap took out of the ring: the spare array, with the ring's place and state.
    struct Taken
    {
        Entry* fEntries = nullptr;
        int32_t fWriteIndex = 0;
        bool fWrapped = false;
    };
    // Under the ring lock, and the listener lock that orders the takes: the ring's entries move
    // to the spare array in one swap, so that logging waits for no walk through them.
    Taken _SwapRing();
    // Calls inVisit with each taken entry, oldest first, then empties it.
    template <class VISIT>
    static void _WalkTaken(const Taken& inTaken, VISIT&& inVisit);
    void _StopFlushTask();

    // The ring and its spare, which is empty between two takes.
    Entry fEntries[2][kRingSize];
    Entry* fRing = fEntries[0];
    Entry* fSpare = fEntries[1];
    int32_t fWriteIndex = 0;
    bool fWrapped = false;
    // Records stored since the ring was last emptied; the flush task is woken at each half ring.
    uint32_t fStoredSinceTake = 0;
    VCriticalSection fRingLock;
    VCriticalSection fListenerLock;
    // Read by every logging task without a lock.
    std::atomic<uint32_t> fLevelMask{0xF0};
    std::atomic<bool> fStarted{false};
    std::atomic<bool> fFlushEnabled{true};
    // Retained; under the listener lock.
    std::vector<ILogListener*> fListeners;
    // Retained; made under the listener lock, read by logging tasks to wake it.
    std::atomic<VTask*> fFlushTask{nullptr};
    std::atomic<int32_t> fFlushPeriod{kFlushPeriodMilliseconds};
};

} // namespace kova
