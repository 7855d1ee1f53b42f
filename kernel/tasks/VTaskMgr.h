// VTaskMgr is the one task manager: it tells every lock and event who the calling task is, and it
// is the door through which fiber tasks wait and wake instead of blocking the thread they share.
// A thread that runs no task still gets an identity of its own, a negative "foreign" id drawn
// once per thread, so that locks taken on such threads exclude each other; 0 always means "no
// task". Tasks, their table and the fiber scheduler join this class in place of the plain
// answers given here while no task exists.
#pragma once

#include <cstdint>

namespace kova
{

class VTaskMgr
{
public:
    VTaskMgr() = delete;

    // The calling task's id; on a thread without a task, the thread's foreign id (-1, -2, ...),
    // fixed at the first call. Never 0 on a live thread.
    static int32_t GetCurrentTaskID();

    // Whether the calling task is a fiber, which must wait through the scheduler rather than
    // block its thread. No fibers exist yet.
    static bool IsCurrentTaskFiber();

    // Lets other tasks run: a fiber through the scheduler, any other caller through sched_yield.
    static void YieldNow();

    // Called when an event that fibers wait for is signalled. Does nothing while no fibers exist.
    static void WakeUpSystemEventPolling();

    // Suspends the calling fiber until *inFlag differs from inValueSeen (at most inMilliseconds
    // for the timed form). The flag is only ever accessed atomically. Does nothing while no
    // fibers exist: callers re-check their condition after each return.
    static void CurrentFiberWaitFlag(int32_t* inFlag, int32_t inValueSeen);
    static void CurrentFiberWaitFlagWithTimeout(int32_t* inFlag, int32_t inValueSeen, int32_t inMilliseconds);
};

} // namespace kova
