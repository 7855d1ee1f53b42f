// VScheduler_void is the scheduler the task manager installs at start-up: it does nothing, so a
// fiber's yield returns at once, a fiber's wait on a flag returns at once (its caller checks its
// condition again), and fiber tasks start the normal way.
#pragma once

#include "kernel/tasks/IFiberScheduler.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VScheduler_void : public VObject, public IFiberScheduler
{
public:
    void Yield() override {}
    void YieldNow() override {}
    void WaitFlag(int32_t*, int32_t) override {}
    void WaitFlagWithTimeout(int32_t*, int32_t, int32_t) override {}
    void SetSystemEventPolling(bool) override {}
    bool WithSystemEventPolling() const override { return true; }
    void PollAndExecuteUpdateEvent() override {}
    void SetDirectUpdate(bool) override {}
    void WakeUpSystemEventPolling() override {}
    void RequiresSystemEventPolling() override {}
    bool RunFiber(VTask*, bool*) override { return false; }
    void SetSystemCallCFRunloop(bool) override {}
    bool ExecuteInProcess0() override { return false; }
    void SetDirectUpdateAllowedEvenIfWaitingForFlag(bool) override {}
};

} // namespace kova
