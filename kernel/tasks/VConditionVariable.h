// VConditionVariable lets tasks wait for a broadcast while they give up a critical section they
// hold, and takes the lock again for them when they wake. All the waiters of one moment must give
// up the same lock. Like VCriticalSection it holds no operating-system object until the first
// task waits; the event made then is kept until the variable goes.
#pragma once

#include <atomic>
#include <cstdint>

namespace kova
{

class VCriticalSection;
class VSyncEvent;

class VConditionVariable
{
public:
    VConditionVariable() = default;
    VConditionVariable(const VConditionVariable&) = delete;
    VConditionVariable& operator=(const VConditionVariable&) = delete;
    ~VConditionVariable();

    // Gives up one level of inLock, which the calling task must hold, waits for a broadcast (at
    // most inTimeoutMilliseconds when inWithTimeout), then takes the lock again. Returns whether a
    // broadcast came. False at once, with nothing given up, for a lock the caller does not hold
    // or another lock than the one the current waiters gave up. A waiter may wake without a
    // broadcast of its own, as with any condition: callers test their condition in a loop.
    bool _Wait(VCriticalSection* inLock, bool inWithTimeout, int32_t inTimeoutMilliseconds);
    bool Wait(VCriticalSection* inLock) { return _Wait(inLock, false, 0); }

    // Wakes every waiter; always true.
    bool Broadcast();

    // For tests and diagnostics.
    uint32_t CountWaiters() const;
    bool HasWaiterEvent() const;

private:
    VSyncEvent* fWaiterEvent = nullptr;
    VCriticalSection* fBoundLock = nullptr;
    // Bit 31 is the spin bit that guards the other fields.
    mutable std::atomic<uint32_t> fState{0};
    uint32_t fWaiterCount = 0;
    uint32_t fBroadcastsInProgress = 0;
};

} // namespace kova
