// VDebugContext is the debug manager's state kept inside every task: it lets the manager stay out
// of a task's way while that task already handles one of its messages (the busy flag), and lets a
// task quiet the manager for a while (low-level mode, no alerts, no breaks). Only its own task
// reads and changes it, so nothing here is locked. All counts start at zero.
#pragma once

#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VDebugContext : public VObject
{
public:
    // While not zero, the task's errors and assertions are not handled and its debug messages
    // only reach standard error.
    uint32_t GetLowLevelModeCount() const { return fLowLevelCount; }
    void StartLowLevelMode() { ++fLowLevelCount; }
    void StopLowLevelMode()
    {
        if (fLowLevelCount > 0)
            --fLowLevelCount;
    }

    // While not zero, a debug message handler shows no alert.
    uint32_t GetAlertSuppressionCount() const { return fAlertSuppressionCount; }
    void DisableAlerts() { ++fAlertSuppressionCount; }
    void EnableAlerts()
    {
        if (fAlertSuppressionCount > 0)
            --fAlertSuppressionCount;
    }

    // While not zero, nothing breaks into the debugger on this task.
    uint32_t GetBreakSuppressionCount() const { return fBreakSuppressionCount; }
    void DisableBreak() { ++fBreakSuppressionCount; }
    void EnableBreak()
    {
        if (fBreakSuppressionCount > 0)
            --fBreakSuppressionCount;
    }

    // Set while the manager handles a message, assertion or error of the task.
    bool IsBusy() const { return fBusy; }
    void SetBusy(bool inBusy) { fBusy = inBusy; }

private:
    uint32_t fLowLevelCount = 0;
    uint32_t fAlertSuppressionCount = 0;
    uint32_t fBreakSuppressionCount = 0;
    bool fBusy = false;
};

} // namespace kova
