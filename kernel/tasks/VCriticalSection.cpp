#include "kernel/tasks/VCriticalSection.h"

#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"

#include <algorithm>
#include <new>

namespace kova
{

namespace
{

constexpr uint32_t kSpinBit = 0x80000000u;
constexpr uint32_t kCountMask = 0x7FFFFFFFu;

} // namespace

VCriticalSection::~VCriticalSection()
{
    // Every level goes at once, whoever holds them.
    _AcquireSpinBit(fState);
    _Leave(0);
}

uint32_t VCriticalSection::_AcquireSpinBit(std::atomic<uint32_t>& ioState)
{
    uint32_t previous = ioState.fetch_or(kSpinBit, std::memory_order_acquire);
    if ((previous & kSpinBit) == 0)
        return previous;

    // Yield first; once as many tries as there are processors failed, the holder has most
    // likely been preempted, and sleeping gives it a processor back.
    uint32_t yieldingTries = std::max<uint32_t>(8, VSystem::GetNumberOfLogicalProcessors());
    for (uint32_t tries = 1;; ++tries)
    {
        if (tries < yieldingTries)
        {
            VTask::Sleep(0);
        }
        else
        {
            // A thread without a task returns from Sleep at once: the yield keeps it from taking
            // the processor from a preempted holder for good.
            VTask::Sleep(1);
            VTaskMgr::YieldNow();
        }
        previous = ioState.fetch_or(kSpinBit, std::memory_order_acquire);
        if ((previous & kSpinBit) == 0)
            return previous;
    }
}

void VCriticalSection::_ReleaseSpinBit(std::atomic<uint32_t>& ioState, uint32_t inValue)
{
    ioState.store(inValue & ~kSpinBit, std::memory_order_release);
}

bool VCriticalSection::Lock()
{
    int32_t taskID = VTaskMgr::GetCurrentTaskID();
    uint32_t count = _AcquireSpinBit(fState);
    while (fOwner != 0 && fOwner != taskID)
    {
        if (fWaiterEvent != nullptr)
        {
            VSyncEvent* event = fWaiterEvent;
            event->Retain();
            _ReleaseSpinBit(fState, count);
            event->Lock();
            event->Release();
            count = _AcquireSpinBit(fState);
            continue;
        }

        // The event is made without the spin bit, which must never be held across an allocation.
        _ReleaseSpinBit(fState, count);
        VSyncEvent* newEvent = new (std::nothrow) VSyncEvent;
        count = _AcquireSpinBit(fState);
        if (newEvent == nullptr)
        {
            // Out of memory: wait by polling instead.
            _ReleaseSpinBit(fState, count);
            VTask::Sleep(1);
            VTaskMgr::YieldNow();
            count = _AcquireSpinBit(fState);
        }
        else if (fOwner == 0)
        {
            // Freed meanwhile: the event is not needed.
            fOwner = taskID;
            _ReleaseSpinBit(fState, count + 1);
            newEvent->Release();
            return true;
        }
        else if (fWaiterEvent != nullptr)
        {
            // Another waiter installed one first.
            _ReleaseSpinBit(fState, count);
            newEvent->Release();
            VTaskMgr::YieldNow();
            count = _AcquireSpinBit(fState);
        }
        else
        {
            fWaiterEvent = newEvent;
        }
    }
    fOwner = taskID;
    _ReleaseSpinBit(fState, count + 1);
    return true;
}

bool VCriticalSection::TryToLock()
{
    int32_t taskID = VTaskMgr::GetCurrentTaskID();
    uint32_t count = _AcquireSpinBit(fState);
    if (fOwner == 0)
        fOwner = taskID;
    if (fOwner != taskID)
    {
        _ReleaseSpinBit(fState, count);
        return false;
    }
    _ReleaseSpinBit(fState, count + 1);
    return true;
}

bool VCriticalSection::Unlock()
{
    int32_t taskID = VTaskMgr::GetCurrentTaskID();
    uint32_t count = _AcquireSpinBit(fState);
    if (count == 0 || fOwner != taskID)
    {
        _ReleaseSpinBit(fState, count);
        return false;
    }
    _Leave(count - 1);
    return true;
}

void VCriticalSection::_Leave(uint32_t inRemaining)
{
    if (inRemaining > 0)
    {
        _ReleaseSpinBit(fState, inRemaining);
        return;
    }
    // Every waiter wakes and competes again; the first to find the lock free takes it, the
    // others make a new event.
    VSyncEvent* event = fWaiterEvent;
    fWaiterEvent = nullptr;
    fOwner = 0;
    _ReleaseSpinBit(fState, 0);
    if (event != nullptr)
    {
        event->Unlock();
        event->Release();
    }
}

int32_t VCriticalSection::GetOwner() const
{
    uint32_t count = _AcquireSpinBit(fState);
    int32_t owner = fOwner;
    _ReleaseSpinBit(fState, count);
    return owner;
}

uint32_t VCriticalSection::GetRecursionCount() const
{
    return fState.load(std::memory_order_acquire) & kCountMask;
}

bool VCriticalSection::HasWaiterEvent() const
{
    uint32_t count = _AcquireSpinBit(fState);
    bool hasEvent = fWaiterEvent != nullptr;
    _ReleaseSpinBit(fState, count);
    return hasEvent;
}

} // namespace kova
