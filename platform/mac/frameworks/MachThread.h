// Our stand-in for the Mach services that tasks and fibers call: semaphores (over POSIX sem_t),
// thread ports (the kernel's thread id, gettid), thread information (from /proc), the stack of
// the calling thread, page protection and thread names.
#pragma once

#include "platform/mac/frameworks/Mach.h"

#include <cstddef>
#include <cstdint>

namespace kova::mach
{

// A counting semaphore; waiters are woken in the order they arrived.
struct Semaphore;
using semaphore_t = Semaphore*;

kern_return_t SemaphoreCreate(semaphore_t* outSemaphore, int32_t inValue);
// Null is ignored.
kern_return_t SemaphoreDestroy(semaphore_t inSemaphore);
kern_return_t SemaphoreSignal(semaphore_t inSemaphore);
// KERN_ABORTED when a signal handler interrupted the wait.
kern_return_t SemaphoreWait(semaphore_t inSemaphore);
// Waits at most the relative time on the monotonic clock, resuming after interruptions;
// KERN_OPERATION_TIMED_OUT when the time ran out.
kern_return_t SemaphoreTimedWait(semaphore_t inSemaphore, uint32_t inSeconds, int32_t inNanoseconds);

// The calling thread's port: its kernel thread id, positive and unique among live threads.
int32_t ThreadSelfPort();

struct ThreadBasicInfo
{
    double fUserSeconds = 0;
    double fSystemSeconds = 0;
    // Share of one processor used over the thread's life, 0 to 1000.
    int32_t fCPUUsage = 0;
};

// KERN_INVALID_ARGUMENT when no thread of this process has the port.
kern_return_t ThreadInfo(int32_t inPort, ThreadBasicInfo& outInfo);

// The calling thread's stack: its highest address and its size in bytes. False when the system
// does not tell.
bool GetCurrentThreadStack(uintptr_t& outTop, size_t& outSize);

// Removes every access from the pages of the range.
kern_return_t VMProtectNone(uintptr_t inAddress, size_t inSize);

// Names the calling thread. The system keeps 15 bytes of UTF-8: a longer name is cut before the
// first character that would not fit whole. Returns the pthread result.
int SetCurrentThreadName(const char* inUTF8Name);

} // namespace kova::mach
