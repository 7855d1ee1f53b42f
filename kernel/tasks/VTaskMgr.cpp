#include "kernel/tasks/VTaskMgr.h"

#include <atomic>
#include <climits>
#include <sched.h>

namespace kova
{

namespace
{

// Counts down from 0; constant-initialised, so usable before and after static construction.
std::atomic<int32_t> sForeignIDCounter{0};

// 0 until the thread asks for its id.
thread_local int32_t sForeignID = 0;

int32_t NextForeignID()
{
    int32_t current = sForeignIDCounter.load(std::memory_order_relaxed);
    int32_t next;
    do
    {
        // After 2^31 threads the ids start again at -1 rather than reach 0 or turn positive.
        next = (current <= 0 && current != INT32_MIN) ? current - 1 : -1;
    } while (!sForeignIDCounter.compare_exchange_weak(current, next, std::memory_order_relaxed));
    return next;
}

} // namespace

int32_t VTaskMgr::GetCurrentTaskID()
{
    if (sForeignID == 0)
        sForeignID = NextForeignID();
    return sForeignID;
}

bool VTaskMgr::IsCurrentTaskFiber()
{
    return false;
}

void VTaskMgr::YieldNow()
{
    sched_yield();
}

void VTaskMgr::WakeUpSystemEventPolling() {}

void VTaskMgr::CurrentFiberWaitFlag(int32_t*, int32_t) {}

void VTaskMgr::CurrentFiberWaitFlagWithTimeout(int32_t*, int32_t, int32_t) {}

} // namespace kova
