// VSyncEvent is a reference-counted one-shot event: made not signalled, signalled by Unlock (every
// waiter passes until Reset), and waited for by Lock. A thread waits on a POSIX condition; a fiber
// task waits through the task manager so that it never blocks the thread it shares.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <pthread.h>

namespace kova
{

class VSyncEvent : public VObject, public IRefCountable
{
public:
    VSyncEvent();
    VSyncEvent(const VSyncEvent&) = delete;
    VSyncEvent& operator=(const VSyncEvent&) = delete;
    // Waiters still inside Lock are let through, and the destructor returns only once they have
    // all left the event.
    ~VSyncEvent() override;

    // Waits until the event is signalled; always true.
    bool Lock();
    // Waits at most inTimeoutMilliseconds; returns whether the event is signalled. Below 1, only
    // tests the event.
    bool Lock(int32_t inTimeoutMilliseconds);
    // Signals the event and wakes every waiter.
    bool Unlock();
    // Makes the event not signalled again.
    bool Reset();

    bool IsSignalled() const;

    // For tests and diagnostics: the tasks inside Lock now.
    int32_t CountWaiters() const;

private:
    bool _LockFiber(int32_t inTimeoutMilliseconds, bool inWithTimeout);

    std::atomic<int32_t> fFiberWaiters{0};
    mutable pthread_mutex_t fMutex;
    pthread_cond_t fCondition;
    // Both under fMutex.
    bool fUnlocked = false;
    int32_t fThreadWaiters = 0;
    // Raised at every signal; fibers wait for it to change. Accessed only through std::atomic_ref,
    // as the task manager's fiber waits take a plain flag.
    alignas(std::atomic_ref<int32_t>::required_alignment) int32_t fWakeStamp = 0;
};

} // namespace kova
