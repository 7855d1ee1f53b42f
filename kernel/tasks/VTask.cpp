#include "kernel/tasks/VTask.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VRefPtr.h"

#include <atomic>
#include <new>

namespace kova
{

namespace
{

// Until tasks exist, the error state belongs to the calling thread; the task table takes it over
// here and nowhere else.
thread_local VRefPtr<VErrorTaskContext> sThreadErrorContext;

// Read from any thread; set and cleared only by the start-up and shut-down of the process.
std::atomic<VIntlMgr*> sProcessIntlMgr{nullptr};

// The debug manager hears of every error that no context silences. It does not exist yet, so
// nothing listens.
void ReportErrorThrown(VErrorBase*) {}

} // namespace

void VTask::Sleep(int32_t inMilliseconds)
{
    if (inMilliseconds <= 0)
    {
        VTaskMgr::YieldNow();
        return;
    }
    // Every thread is still a thread without a task: nothing to suspend.
}

VIntlMgr* VTask::GetCurrentIntlManager()
{
    return sProcessIntlMgr.load(std::memory_order_acquire);
}

void VTask::SetProcessIntlManager(VIntlMgr* inManager)
{
    if (inManager != nullptr)
        inManager->Retain();
    VIntlMgr* previous = sProcessIntlMgr.exchange(inManager, std::memory_order_acq_rel);
    if (previous != nullptr)
        previous->Release();
}

VErrorTaskContext* VTask::GetErrorContext(bool inCreate)
{
    if (!sThreadErrorContext && inCreate)
        sThreadErrorContext.Reset(new (std::nothrow) VErrorTaskContext);
    return sThreadErrorContext.Get();
}

bool VTask::PushError(VErrorBase* inError)
{
    if (inError == nullptr)
        return false;
    VErrorTaskContext* errors = GetErrorContext(true);
    if (errors == nullptr)
        return false;
    bool silent = false;
    bool pushed = errors->PushError(inError, &silent);
    if (!silent)
        ReportErrorThrown(inError);
    return pushed;
}

void VTask::PushRetainedError(VErrorBase* inError)
{
    PushError(inError);
    if (inError != nullptr)
        inError->Release();
}

void VTask::PushErrors(const VErrorContext* inContext)
{
    if (inContext == nullptr || inContext->IsEmpty())
        return;
    if (VErrorTaskContext* errors = GetErrorContext(true))
        errors->PushErrorsFromContext(inContext);
}

void VTask::FlushErrors()
{
    if (VErrorTaskContext* errors = GetErrorContext(false))
        errors->Flush();
}

VError VTask::GetLastError()
{
    VErrorTaskContext* errors = GetErrorContext(false);
    return errors == nullptr ? VE_OK : errors->GetLastError();
}

bool VTask::FailedForMemory()
{
    VErrorTaskContext* errors = GetErrorContext(false);
    return errors != nullptr && errors->FailedForMemory();
}

} // namespace kova
