#include "kernel/values/VMemMgrLock.h"

#include <chrono>
#include <thread>

namespace kova
{

namespace
{

// Spinning covers the usual hold, a few microseconds at most; yielding a busy machine's core
// comes next, then sleeps from 2 to 512 microseconds.
constexpr int kSpins = 64;
constexpr int kYields = 16;
constexpr int kFirstSleep = 2;
constexpr int kLongestSleep = 512;

void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

} // namespace

void VMemMgrLock::_LockContended()
{
    int attempt = 0;
    int sleep = kFirstSleep;
    for (;;)
    {
        // Read before trying, so that waiters do not take the lock's cache line from its holder.
        if (!fLocked.load(std::memory_order_relaxed))
        {
            bool expected = false;
            if (fLocked.compare_exchange_weak(expected, true, std::memory_order_acquire,
                                              std::memory_order_relaxed))
                return;
        }
        if (attempt < kSpins)
        {
            Pause();
        }
        else if (attempt < kSpins + kYields)
        {
            std::this_thread::yield();
        }
        else
        {
            std::this_thread::sleep_for(std::chrono::microseconds(sleep));
            if (sleep < kLongestSleep)
                sleep *= 2;
        }
        ++attempt;
    }
}

} // namespace kova
