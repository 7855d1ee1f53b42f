// The stack of a thread that the toolbox starts itself (a task's thread or a fiber's): whole pages
// taken from the system, never less than 64 KiB, with one inaccessible guard page below them so
// that an overflow faults instead of writing over other memory. The thread is joinable: whoever
// owns the stack joins it before freeing the pages.
//
// Under ThreadSanitizer the floor is 1 MiB: its runtime takes much of a thread's stack for itself,
// and the fibers and small-stack tasks would not even start below that.
#pragma once

#include "kernel/values/Sanitizers.h"

#include <cstddef>
#include <cstdint>
#include <pthread.h>

namespace kova
{

class XMacThreadStack
{
public:
#if defined(KOVA_THREAD_SANITIZER)
    static constexpr size_t kMinimumStackSize = 1024 * 1024;
#else
    static constexpr size_t kMinimumStackSize = 64 * 1024;
#endif

    // Reserves the stack and its guard page; a failure raises the 'MACH' error of the kernel's
    // answer and returns false.
    bool Allocate(size_t inStackSize);
    // Starts a joinable thread on the stack; a failure raises the 'POSX' error and returns false.
    bool StartThread(void* (*inProc)(void*), void* inArgument, pthread_t& outThread) const;
    // Frees the pages; the thread must have ended.
    void Free();

    bool IsAllocated() const { return fBlock != 0; }
    // The guard page's address: the block's first page.
    uintptr_t GetBlockAddress() const { return fBlock; }
    // The usable size, without the guard page.
    size_t GetStackSize() const { return fStackSize; }
    size_t GetBlockSize() const { return fBlockSize; }

private:
    uintptr_t fBlock = 0;
    size_t fBlockSize = 0;
    size_t fStackSize = 0;
};

} // namespace kova
