#include "kernel/tasks/VConditionVariable.h"

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VTaskMgr.h"

#include <new>

namespace kova
{

VConditionVariable::~VConditionVariable()
{
    ReleaseRefCountable(&fWaiterEvent);
}

bool VConditionVariable::_Wait(VCriticalSection* inLock, bool inWithTimeout, int32_t inTimeoutMilliseconds)
{
    // Only the caller can make itself the owner or stop being it, so this answer holds until
    // the caller gives the lock up below.
    if (inLock == nullptr || inLock->GetOwner() != VTaskMgr::GetCurrentTaskID())
        return false;

    VSyncEvent* spareEvent = nullptr;
    VCriticalSection::_AcquireSpinBit(fState);
    if (fWaiterEvent == nullptr)
    {
        // Made without the spin bit, which is never held across an allocation.
        VCriticalSection::_ReleaseSpinBit(fState, 0);
        spareEvent = new (std::nothrow) VSyncEvent;
        if (spareEvent == nullptr)
            return false;
        VCriticalSection::_AcquireSpinBit(fState);
        if (fWaiterEvent == nullptr)
        {
            fWaiterEvent = spareEvent;
            spareEvent = nullptr;
        }
    }

    bool accepted = true;
    if (fWaiterCount == 0)
        fBoundLock = inLock;
    else if (fBoundLock != inLock)
        accepted = false;
    VSyncEvent* event = nullptr;
    if (accepted)
    {
        ++fWaiterCount;
        event = RetainRefCountable(fWaiterEvent);
    }
    VCriticalSection::_ReleaseSpinBit(fState, 0);
    ReleaseRefCountable(&spareEvent);
    if (!accepted)
        return false;

    inLock->Unlock();
    bool signalled = inWithTimeout ? event->Lock(inTimeoutMilliseconds) : event->Lock();
    event->Release();

    VCriticalSection::_AcquireSpinBit(fState);
    if (--fWaiterCount == 0)
    {
        // The event stays signalled for the waiters of a broadcast until the last one is out.
        if (fBroadcastsInProgress == 0)
            fWaiterEvent->Reset();
        fBoundLock = nullptr;
    }
    VCriticalSection::_ReleaseSpinBit(fState, 0);

    inLock->Lock();
    return signalled;
}

bool VConditionVariable::Broadcast()
{
    VCriticalSection::_AcquireSpinBit(fState);
    if (fWaiterEvent != nullptr)
    {
        ++fBroadcastsInProgress;
        VCriticalSection::_ReleaseSpinBit(fState, 0);
        fWaiterEvent->Unlock();
        VCriticalSection::_AcquireSpinBit(fState);
        --fBroadcastsInProgress;
        if (fWaiterCount == 0 && fBroadcastsInProgress == 0)
            fWaiterEvent->Reset();
    }
    VCriticalSection::_ReleaseSpinBit(fState, 0);
    return true;
}

uint32_t VConditionVariable::CountWaiters() const
{
    VCriticalSection::_AcquireSpinBit(fState);
    uint32_t count = fWaiterCount;
    VCriticalSection::_ReleaseSpinBit(fState, 0);
    return count;
}

bool VConditionVariable::HasWaiterEvent() const
{
    VCriticalSection::_AcquireSpinBit(fState);
    bool hasEvent = fWaiterEvent != nullptr;
    VCriticalSection::_ReleaseSpinBit(fState, 0);
    return hasEvent;
}

} // namespace kova
