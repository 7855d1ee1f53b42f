// Test helper: a scheduler that counts the calls the task manager routes to it and otherwise
// behaves like the default one.
#pragma once

#include "kernel/tasks/VScheduler_void.h"

#include <atomic>

namespace kova
{

class VCountingScheduler : public VScheduler_void
{
public:
    void Yield() override { ++fYields; }
    void YieldNow() override { ++fYieldNows; }
    void WaitFlag(int32_t*, int32_t) override { ++fWaits; }
    void WaitFlagWithTimeout(int32_t*, int32_t, int32_t) override { ++fTimedWaits; }
    void SetSystemEventPolling(bool inPolling) override { fPolling = inPolling; }
    void PollAndExecuteUpdateEvent() override { ++fPolls; }
    void SetSystemCallCFRunloop(bool inCall) override { fSystemCallCFRunloop = inCall; }
    bool RunFiber(VTask*, bool*) override
    {
        ++fRunFibers;
        return false;
    }

    std::atomic<int> fYields{0};
    std::atomic<int> fYieldNows{0};
    std::atomic<int> fWaits{0};
    std::atomic<int> fTimedWaits{0};
    std::atomic<int> fPolls{0};
    std::atomic<int> fRunFibers{0};
    std::atomic<bool> fPolling{true};
    std::atomic<bool> fSystemCallCFRunloop{false};
};

} // namespace kova
