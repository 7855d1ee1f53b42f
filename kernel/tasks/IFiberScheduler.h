// IFiberScheduler is the door through which fiber tasks, which share threads, hand control to each
// other instead of blocking: the task manager routes every yield of a fiber, every wait of a fiber
// on a flag and the polling of system events through the one scheduler it holds. Thread tasks
// never reach it except through the calls every task makes (RunFiber is offered fiber tasks only).
// The toolbox installs VScheduler_void, which does nothing; VTaskMgr::SetFiberScheduler installs
// another.
#pragma once

#include "kernel/values/IRefCountable.h"

#include <cstdint>

namespace kova
{

class VTask;

class IFiberScheduler : public IRefCountable
{
public:
    // Lets other fibers run if they are due.
    virtual void Yield() = 0;
    // Lets other fibers run now.
    virtual void YieldNow() = 0;
    // Suspends the calling fiber until *ioFlag differs from inValueSeen (at most inMilliseconds
    // for the timed form). The flag is accessed atomically only.
    virtual void WaitFlag(int32_t* ioFlag, int32_t inValueSeen) = 0;
    virtual void WaitFlagWithTimeout(int32_t* ioFlag, int32_t inValueSeen, int32_t inMilliseconds) = 0;
    virtual void SetSystemEventPolling(bool inPolling) = 0;
    virtual bool WithSystemEventPolling() const = 0;
    virtual void PollAndExecuteUpdateEvent() = 0;
    virtual void SetDirectUpdate(bool inDirect) = 0;
    virtual void WakeUpSystemEventPolling() = 0;
    virtual void RequiresSystemEventPolling() = 0;
    // Offered a fiber task by VTask::Run with *ioStartNormally true: a scheduler that takes the
    // task over sets it to false, and its result becomes Run's.
    virtual bool RunFiber(VTask* inTask, bool* ioStartNormally) = 0;
    virtual void SetSystemCallCFRunloop(bool inCall) = 0;
    virtual bool ExecuteInProcess0() = 0;
    virtual void SetDirectUpdateAllowedEvenIfWaitingForFlag(bool inAllowed) = 0;
};

} // namespace kova
