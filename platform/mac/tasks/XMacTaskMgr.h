// XMacTaskMgr is the platform part of the task manager, embedded in it: the calling thread's task
// and foreign id (thread-local), the fiber mode, thread names, stack sizes and the run-loop timer
// of update events. It makes the platform tasks (XMacTask) of the tasks.
#pragma once

#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

namespace cf
{
struct RunLoopTimer;
} // namespace cf

class VProcess;
class VString;
class VTask;
class XMacTask;
enum ETaskStyle : int32_t;

class XMacTaskMgr : public VObject
{
public:
    // Fiber mode from the process; in fiber mode the calling (main) thread becomes a fiber.
    bool Init(VProcess* inProcess);
    void Deinit();
    void TaskStarted(VTask*) {}
    void TaskStopped(VTask*) {}

    // The platform task around the calling thread, which becomes the task's thread.
    XMacTask* CreateMain(VTask* inTask);
    // A preemptive task's thread is made at once, suspended; a fiber is made when the task runs
    // (fiber mode only). Null for anything else or on failure.
    XMacTask* Create(VTask* inTask, ETaskStyle inStyle);
    void YieldToFiber(VTask* inTask);

    size_t ComputeMainTaskStackSize() const;
    size_t GetCurrentFreeStackSize() const;
    // The soft stack limit, or 1 MiB when the system does not tell.
    static size_t GetCurrentFreeStackSizeStatic();
    // Names the calling thread: the name followed by " (id = N)".
    void SetCurrentThreadName(const VString& inName, int32_t inID) const;

    bool IsFiberMode() const { return fFiberMode; }

    static VTask* GetCurrentTask();
    static void SetCurrentTask(VTask* inTask);
    // 0 until set.
    static int32_t GetForeignID();
    static void SetForeignID(int32_t inID);

    // A repeating timer (every 10 ms, first firing now) on the calling thread's run loop.
    bool AddUpdateEventsTimer(void (*inCallBack)());
    void RemoveUpdateEventsTimer();
    bool HasUpdateEventsTimer() const { return fUpdateEventsTimer != nullptr; }

private:
    bool fFiberMode = false;
    cf::RunLoopTimer* fUpdateEventsTimer = nullptr;
};

} // namespace kova
