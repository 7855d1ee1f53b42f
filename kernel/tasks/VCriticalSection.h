// VCriticalSection is the toolbox's lock: recursive, and owned by a task id rather than a thread,
// so that fiber tasks sharing a thread exclude each other and a task keeps its lock across the
// threads it runs on. It holds no operating-system object until somebody has to wait: the
// uncontended path is one atomic OR, a fence and a store.
#pragma once

#include <atomic>
#include <cstdint>

namespace kova
{

class VSyncEvent;

class VCriticalSection
{
public:
    VCriticalSection() = default;
    VCriticalSection(const VCriticalSection&) = delete;
    VCriticalSection& operator=(const VCriticalSection&) = delete;
    // A lock still held is released completely, so its waiters wake.
    ~VCriticalSection();

    bool Lock();
    bool TryToLock();
    // Leaves one level. False, and nothing changes, when the calling task does not hold the lock.
    bool Unlock();

    // For tests and diagnostics.
    int32_t GetOwner() const;
    uint32_t GetRecursionCount() const;
    bool HasWaiterEvent() const;

private:
    friend class VConditionVariable;

    // The spin bit guards the other fields of a word's owner. Acquiring returns the word as it was
    // (bit 31 clear); releasing stores inValue, whose bit 31 must be clear.
    static uint32_t _AcquireSpinBit(std::atomic<uint32_t>& ioState);
    static void _ReleaseSpinBit(std::atomic<uint32_t>& ioState, uint32_t inValue);

    // With the spin bit held: leaves the lock at inRemaining levels, releasing the spin bit, and
    // wakes the waiters when none remains.
    void _Leave(uint32_t inRemaining);

    VSyncEvent* fWaiterEvent = nullptr;
    int32_t fOwner = 0;
    // Bit 31 is the spin bit that guards the three fields; bits 0-30 the recursion count.
    mutable std::atomic<uint32_t> fState{0};
};

// Holds a critical section for one scope.
class StLocker
{
public:
    explicit StLocker(VCriticalSection& lock) : fLock(lock) { fLock.Lock(); }
    ~StLocker() { fLock.Unlock(); }
    StLocker(const StLocker&) = delete;
    StLocker& operator=(const StLocker&) = delete;

private:
    VCriticalSection& fLock;
};

} // namespace kova
