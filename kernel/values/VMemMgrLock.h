// VMemMgrLock is the memory manager's main lock: recursive, and cheap because every request of the
// pooled arenas takes it twice (Malloc, then Free). Taking it free costs one compare-and-swap and
// giving it back one plain store: a POSIX recursive mutex costs a second read-modify-write on
// every unlock (to find sleepers to wake), which on its own costs about as much as serving a
// small block.
//
// So nobody is ever woken: a thread that finds the lock taken spins a little (the manager holds it
// for a few dozen instructions), then yields, then sleeps for a bounded time that doubles up to
// half a millisecond and looks again. Long holds (a statistics walk, a new chunk of virtual
// memory) are rare, and a sleeper is late by at most its last sleep.
//
// The owner is named by the address of a thread-local variable, so that a thread recognises its
// own hold with a plain load. Unlock must be called by the owner, once per Lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace kova
{

class VMemMgrLock
{
public:
    VMemMgrLock() = default;
    VMemMgrLock(const VMemMgrLock&) = delete;
    VMemMgrLock& operator=(const VMemMgrLock&) = delete;

    void Lock()
    {
        const void* self = CurrentThread();
        // Only this thread ever stores its own identity: a relaxed load that sees it is our hold.
        if (fOwner.load(std::memory_order_relaxed) == self)
        {
            ++fDepth;
            return;
        }
        bool expected = false;
        if (!fLocked.compare_exchange_strong(expected, true, std::memory_order_acquire,
                                             std::memory_order_relaxed))
            _LockContended();
        fOwner.store(self, std::memory_order_relaxed);
        fDepth = 1;
    }

    void Unlock()
    {
        if (--fDepth > 0)
            return;
        fOwner.store(nullptr, std::memory_order_relaxed);
        fLocked.store(false, std::memory_order_release);
    }

    // Whether the calling thread holds the lock.
    bool IsHeldByCurrentThread() const { return fOwner.load(std::memory_order_relaxed) == CurrentThread(); }

    // A name of the calling thread, unique among the threads alive.
    static const void* CurrentThread()
    {
        static thread_local const char sIdentity = 0;
        return &sIdentity;
    }

private:
    void _LockContended();

    std::atomic<bool> fLocked{false};
    std::atomic<const void*> fOwner{nullptr};
    uint32_t fDepth = 0;
};

} // namespace kova
