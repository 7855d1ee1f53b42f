// VTask is the toolbox's unit of execution, a thread or a fiber. For now it offers the static
// services that locks, waiting loops and error raising need: Sleep and the calling task's error
// state. The tasks themselves (creation, running, messages) join this class with the task
// manager's table; until then every thread counts as a task for its errors.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VErrorBase;
class VErrorContext;
class VErrorTaskContext;
class VIntlMgr;

class VTask
{
public:
    VTask() = delete;

    // 0 or less yields the processor. A positive time suspends the calling task; a thread that
    // runs no task returns at once, as only tasks can be woken early from a sleep.
    static void Sleep(int32_t inMilliseconds);

    // The calling task's international manager; until task objects exist, the process's. Not
    // retained; null while the process has none.
    static VIntlMgr* GetCurrentIntlManager();
    // The process's manager, set at start-up and cleared (null) at shut-down: retains the new
    // one and releases the previous one.
    static void SetProcessIntlManager(VIntlMgr* inManager);

    // The calling task's error state, made on demand when inCreate is true; null otherwise
    // while it has none. Not retained: it lives as long as the task.
    static VErrorTaskContext* GetErrorContext(bool inCreate);
    // Pushes the error on the calling task's innermost error context; the caller keeps its
    // reference. An error that no context silences is reported to the debug manager. False for
    // a null error or when it could not be stored.
    static bool PushError(VErrorBase* inError);
    // PushError, then releases the caller's reference.
    static void PushRetainedError(VErrorBase* inError);
    // Appends the context's errors to the calling task's innermost context.
    static void PushErrors(const VErrorContext* inContext);
    // Empties the calling task's innermost context.
    static void FlushErrors();
    // The code of the newest error of the calling task's innermost context; 0 when the task has
    // no error state or that context is empty.
    static VError GetLastError();
    // Whether the calling task's innermost context ran out of memory; false without error state.
    static bool FailedForMemory();
};

} // namespace kova
