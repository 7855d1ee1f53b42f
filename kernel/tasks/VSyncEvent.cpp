#include "kernel/tasks/VSyncEvent.h"

#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTaskMgr.h"

#include <cerrno>
#include <ctime>

namespace kova
{

VSyncEvent::VSyncEvent()
{
    pthread_mutex_init(&fMutex, nullptr);
    // Timed waits use an absolute deadline on the monotonic clock, which setting the wall clock
    // cannot move.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&fCondition, &attributes);
    pthread_condattr_destroy(&attributes);
}

VSyncEvent::~VSyncEvent()
{
    // Nobody may be left waiting on a condition and a mutex that are about to go: let every
    // waiter through and wait until the last one has let go of the mutex.
    Unlock();
    pthread_mutex_lock(&fMutex);
    while (fThreadWaiters > 0 || fFiberWaiters.load(std::memory_order_acquire) > 0)
    {
        pthread_mutex_unlock(&fMutex);
        VTaskMgr::YieldNow();
        pthread_mutex_lock(&fMutex);
    }
    pthread_mutex_unlock(&fMutex);
    while (pthread_cond_destroy(&fCondition) == EBUSY)
    {
        pthread_cond_broadcast(&fCondition);
        VTaskMgr::YieldNow();
    }
    pthread_mutex_destroy(&fMutex);
}

bool VSyncEvent::Lock()
{
    if (VTaskMgr::IsCurrentTaskFiber())
        return _LockFiber(0, false);

    pthread_mutex_lock(&fMutex);
    ++fThreadWaiters;
    while (!fUnlocked)
        pthread_cond_wait(&fCondition, &fMutex);
    --fThreadWaiters;
    pthread_mutex_unlock(&fMutex);
    return true;
}

bool VSyncEvent::Lock(int32_t inTimeoutMilliseconds)
{
    if (VTaskMgr::IsCurrentTaskFiber())
        return _LockFiber(inTimeoutMilliseconds, true);

    pthread_mutex_lock(&fMutex);
    bool signalled = fUnlocked;
    if (!signalled && inTimeoutMilliseconds >= 1)
    {
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += inTimeoutMilliseconds / 1000;
        deadline.tv_nsec += long(inTimeoutMilliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L)
        {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        // A wake-up without a signal (spurious, or a signal undone by Reset) waits on until the
        // deadline.
        ++fThreadWaiters;
        while (!fUnlocked)
        {
            if (pthread_cond_timedwait(&fCondition, &fMutex, &deadline) == ETIMEDOUT)
                break;
        }
        --fThreadWaiters;
        signalled = fUnlocked;
    }
    pthread_mutex_unlock(&fMutex);
    return signalled;
}

bool VSyncEvent::_LockFiber(int32_t inTimeoutMilliseconds, bool inWithTimeout)
{
    if (inWithTimeout && inTimeoutMilliseconds < 1)
        return IsSignalled();

    std::atomic_ref<int32_t> stamp(fWakeStamp);
    fFiberWaiters.fetch_add(1, std::memory_order_acq_rel);
    uint32_t deadline = VSystem::GetCurrentTime() + uint32_t(inTimeoutMilliseconds);
    // The stamp is read before the flag: a signal between the two then changes the stamp, and
    // the wait below returns at once.
    int32_t seen = stamp.load(std::memory_order_acquire);
    bool signalled;
    for (;;)
    {
        signalled = IsSignalled();
        if (signalled)
            break;
        if (!inWithTimeout)
        {
            VTaskMgr::CurrentFiberWaitFlag(&fWakeStamp, seen);
        }
        else
        {
            int32_t remaining = int32_t(deadline - VSystem::GetCurrentTime());
            if (remaining <= 0)
                break;
            VTaskMgr::CurrentFiberWaitFlagWithTimeout(&fWakeStamp, seen, remaining);
        }
        seen = stamp.load(std::memory_order_acquire);
    }
    fFiberWaiters.fetch_sub(1, std::memory_order_acq_rel);
    return signalled;
}

bool VSyncEvent::Unlock()
{
    pthread_mutex_lock(&fMutex);
    fUnlocked = true;
    pthread_cond_broadcast(&fCondition);
    pthread_mutex_unlock(&fMutex);
    std::atomic_ref<int32_t>(fWakeStamp).fetch_add(1, std::memory_order_acq_rel);
    if (fFiberWaiters.load(std::memory_order_acquire) >= 1)
        VTaskMgr::WakeUpSystemEventPolling();
    return true;
}

bool VSyncEvent::Reset()
{
    pthread_mutex_lock(&fMutex);
    fUnlocked = false;
    pthread_mutex_unlock(&fMutex);
    return true;
}

bool VSyncEvent::IsSignalled() const
{
    pthread_mutex_lock(&fMutex);
    bool signalled = fUnlocked;
    pthread_mutex_unlock(&fMutex);
    return signalled;
}

int32_t VSyncEvent::CountWaiters() const
{
    pthread_mutex_lock(&fMutex);
    int32_t count = fThreadWaiters + fFiberWaiters.load(std::memory_order_acquire);
    pthread_mutex_unlock(&fMutex);
    return count;
}

} // namespace kova
