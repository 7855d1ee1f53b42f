#include "kernel/tasks/VTask.h"

#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/tasks/IFiberScheduler.h"
#include "kernel/tasks/VActivityToken.h"
#include "kernel/tasks/VMessage.h"
#include "kernel/tasks/VMessageQueue.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/tasks/XMacTask.h"

#include <mutex>
#include <new>

namespace kova
{

namespace
{

using StLock = std::lock_guard<std::recursive_mutex>;

int32_t RunProc(int32_t (*inProc)(VTask*))
{
    return inProc(VTaskMgr::GetCurrentTask());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation and destruction

VTask::VTask(size_t inStackSize, ETaskStyle inStyle, std::function<void()>&& inRun)
    : fStyle(inStyle), fManager(VTaskMgr::Get()), fRunFunction(std::move(inRun))
{
    fIsFiber = inStyle == eTaskStyleFiber;
    fIsThread = inStyle == eTaskStylePreemptive;
    _InitTask(inStackSize);
}

VTask::VTask(VObject*, size_t inStackSize, ETaskStyle inStyle, int32_t (*inProc)(VTask*))
    : VTask(inStackSize, inStyle,
            inProc != nullptr ? std::function<void()>([inProc] { RunProc(inProc); })
                              : std::function<void()>())
{
}

VTask::VTask(VTaskMgr* inManager) : fStyle(eTaskStylePreemptive), fManager(inManager)
{
    fIsMain = true;
    fIsFiber = inManager->GetPlatform().IsFiberMode();
    fIsThread = !fIsFiber;
    if (fIsFiber)
        fStyle = eTaskStyleFiber;
    fState.store(TS_RUNNING, std::memory_order_release);
    fStackSize = inManager->GetStackSizeForMainTask();
    if (VIntlMgr* process = GetProcessIntlManager())
        fIntlMgr = process->Clone();
    fPlatformTask = inManager->GetPlatform().CreateMain(this);
    fID = inManager->GetNewTaskID(this);
    SetMessagingTask(fID);
    int mark = 0;
    fStackMark = reinterpret_cast<uintptr_t>(&mark);
    fLastMessageTime.store(VSystem::GetCurrentTime(), std::memory_order_release);
}

void VTask::_InitTask(size_t inStackSize)
{
    fStackSize = inStackSize;
    if (VIntlMgr* process = GetProcessIntlManager())
        fIntlMgr = process->Clone();
    // Before the manager is up there is no platform part to make threads with.
    if (VTaskMgr::IsInited())
        fPlatformTask = fManager->GetPlatform().Create(this, fStyle);
    fID = fManager->GetNewTaskID(this);
    SetMessagingTask(fID);
}

VTask::~VTask()
{
    // First: a thread still at its start gate reads the state while it ends.
    delete fPlatformTask;
    fPlatformTask = nullptr;

    ReleaseRefCountable(&fIntlMgr);
    ReleaseRefCountable(&fErrorContext);
    delete fName;
    ReleaseRefCountable(&fProperties);
    if (VMessageQueue* queue = fMessageQueue.exchange(nullptr))
        queue->Release();
    if (fDeathWaiters != nullptr)
    {
        for (VMessageQueue* queue : *fDeathWaiters)
            queue->Release();
        delete fDeathWaiters;
    }
    if (VActivityToken* token = fActivityToken.exchange(nullptr))
        token->Release();
    _ClearJSONObjects();
}

void VTask::DoInit() {}
void VTask::DoDeInit() {}
bool VTask::DoRun()
{
    return true;
}
void VTask::DoIdle() {}
void VTask::DoPrepareToDie() {}

// ---------------------------------------------------------------------------------------------
// Life

bool VTask::Run()
{
    if (fPlatformTask == nullptr)
        return false;
    if (fStyle == eTaskStyleFiber)
    {
        if (IFiberScheduler* scheduler = fManager->RetainFiberScheduler())
        {
            bool startNormally = true;
            bool result = scheduler->RunFiber(this, &startNormally);
            scheduler->Release();
            if (!startNormally)
                return result;
        }
    }
    int32_t expected = TS_CREATED;
    if (!fState.compare_exchange_strong(expected, TS_RUN_PENDING, std::memory_order_acq_rel))
        return false;

    VString tokenName("Running task ");
    {
        StLock lock(fManager->_GetLock());
        if (fName != nullptr)
            tokenName.AppendString(*fName);
    }
    if (VActivityToken* previous = fActivityToken.exchange(new (std::nothrow) VActivityToken(tokenName)))
        previous->Release();

    fManager->RegisterTask(this);
    bool started = fPlatformTask->Run();
    if (!started)
    {
        expected = TS_RUN_PENDING;
        fState.compare_exchange_strong(expected, TS_DYING, std::memory_order_acq_rel);
        _SetStateDead();
    }
    return started;
}

void VTask::_Run()
{
    int mark = 0;
    fStackMark = reinterpret_cast<uintptr_t>(&mark);
    int32_t expected = TS_RUN_PENDING;
    if (!fState.compare_exchange_strong(expected, TS_RUNNING, std::memory_order_acq_rel))
        return;
    fManager->_TaskStarted(this);

    if (fRunFunction)
    {
        fRunFunction();
        _SetStateDying();
    }
    else
    {
        DoInit();
        do
        {
            if (fIsFiber)
                VTaskMgr::Yield();
            if (!DoRun())
            {
                Kill();
                break;
            }
            VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
            _ExecuteMessages(queue != nullptr ? queue->RetainMessage() : nullptr, true);
        } while (GetState() < TS_DYING);
        DoDeInit();
    }
    _Stop();
}

void VTask::_Stop()
{
    StopMessaging();
    if (VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire))
        queue->CancelMessages();
    _ClearJSONObjects();
    DisposeAllData();
    fManager->_TaskStopped(this);
}

void VTask::_SetStateDying()
{
    int32_t expected = TS_RUNNING;
    if (fState.compare_exchange_strong(expected, TS_DYING, std::memory_order_acq_rel))
        fDyingSince.store(fManager->GetCurrentTicks(), std::memory_order_release);
}

void VTask::Kill()
{
    if (VTaskMgr::GetCurrentTask() != this)
    {
        while (GetState() == TS_RUN_PENDING)
            VTaskMgr::YieldNow();
    }
    if (GetState() == TS_DEAD)
        return;
    DoPrepareToDie();
    _SetStateDying();
}

void VTask::Exit(VTask* inNextTask)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr || task->fPlatformTask == nullptr)
        return;
    int32_t state = task->GetState();
    if (state < TS_RUN_PENDING || state > TS_DYING)
        return;
    if (task->fState.exchange(TS_DYING, std::memory_order_acq_rel) != TS_DYING)
        task->fDyingSince.store(task->fManager->GetCurrentTicks(), std::memory_order_release);
    task->_Stop();
    task->fPlatformTask->Exit(inNextTask);
}

void VTask::_SetStateDead()
{
    if (VActivityToken* token = fActivityToken.exchange(nullptr))
        token->Release();

    // Held past the state change: from then on another task may destroy this one.
    VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
    RetainRefCountable(queue);
    std::vector<VMessageQueue*>* waiters;
    {
        StLock lock(fManager->_GetLock());
        waiters = fDeathWaiters;
        fDeathWaiters = nullptr;
        fState.store(TS_DEAD, std::memory_order_seq_cst);
        fManager->fPurgeNeeded.store(true, std::memory_order_release);
    }
    // Messages that were queued while the task died reach nobody: their senders learn it now
    // (AddMessage refuses messages from here on).
    if (queue != nullptr)
    {
        queue->CancelMessages();
        queue->Release();
    }
    if (waiters != nullptr)
    {
        for (VMessageQueue* waiter : *waiters)
        {
            waiter->SetEvent();
            waiter->Release();
        }
        delete waiters;
    }
}

bool VTask::WaitForDeath(int32_t inMilliseconds)
{
    VTask* caller = VTaskMgr::GetCurrentTask();
    if (caller == this)
        return false;
    const uint32_t start = VSystem::GetCurrentTime();
    // A thread without a task waits on a queue made for the call.
    VMessageQueue* queue =
        caller != nullptr ? caller->RetainMessageQueue() : new (std::nothrow) VMessageQueue;
    if (queue == nullptr)
        return GetState() == TS_DEAD;

    bool deadAlready;
    {
        StLock lock(fManager->_GetLock());
        deadAlready = GetState() == TS_DEAD;
        if (!deadAlready)
        {
            if (fDeathWaiters == nullptr)
                fDeathWaiters = new std::vector<VMessageQueue*>;
            queue->Retain();
            fDeathWaiters->push_back(queue);
        }
    }

    bool waiting = caller != nullptr && caller->_BeginWait(eWaitReasonDeath);
    while (GetState() != TS_DEAD && inMilliseconds > 0)
    {
        uint32_t elapsed = VSystem::GetCurrentTime() - start;
        if (elapsed >= uint32_t(inMilliseconds))
            break;
        int32_t remaining = inMilliseconds - int32_t(elapsed);
        if (caller != nullptr)
        {
            if (VMessage* message = caller->_RetainMessageWithTimeout(remaining, nullptr))
                caller->_ExecuteMessages(message, false);
        }
        else if (VMessage* message = queue->RetainMessageWithTimeout(remaining, nullptr))
        {
            message->Release();
        }
    }
    if (waiting)
        caller->_EndWait();

    if (!deadAlready)
    {
        StLock lock(fManager->_GetLock());
        if (fDeathWaiters != nullptr)
        {
            for (auto it = fDeathWaiters->begin(); it != fDeathWaiters->end(); ++it)
            {
                if (*it == queue)
                {
                    fDeathWaiters->erase(it);
                    queue->Release();
                    break;
                }
            }
        }
    }
    queue->Release();
    return GetState() == TS_DEAD;
}

bool VTask::IsDying(uint32_t* outTicks) const
{
    bool dying = GetState() >= TS_DYING;
    if (outTicks != nullptr)
        *outTicks = dying ? fManager->GetCurrentTicks() - fDyingSince.load(std::memory_order_acquire) : 0;
    return dying;
}

bool VTask::IsCurrentMain()
{
    VTask* main = VTaskMgr::Get()->GetMainTask();
    if (!VTaskMgr::IsInited())
        return main == nullptr;
    return main != nullptr && VTaskMgr::GetCurrentTask() == main;
}

bool VTask::_BeginWait(ETaskWaitReason inReason)
{
    int32_t expected = eWaitReasonNone;
    return fWaitReason.compare_exchange_strong(expected, inReason, std::memory_order_acq_rel);
}

void VTask::_EndWait()
{
    fWaitReason.store(eWaitReasonNone, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// Name, properties, platform figures

void VTask::SetName(const VString& inName)
{
    {
        StLock lock(fManager->_GetLock());
        delete fName;
        fName = inName.IsEmpty() ? nullptr : new VString(inName);
    }
    if (VTaskMgr::GetCurrentTask() == this)
        fManager->GetPlatform().SetCurrentThreadName(inName, fID);
}

void VTask::GetName(VString& outName) const
{
    StLock lock(fManager->_GetLock());
    if (fName != nullptr)
        outName.FromString(*fName);
    else
        outName.Clear();
}

VValueBag* VTask::RetainProperties() const
{
    StLock lock(fManager->_GetLock());
    return RetainRefCountable(fProperties);
}

void VTask::SetProperties(const VValueBag* inProperties)
{
    VValueBag* previous;
    {
        StLock lock(fManager->_GetLock());
        RetainRefCountable(inProperties);
        previous = fProperties;
        fProperties = const_cast<VValueBag*>(inProperties);
    }
    ReleaseRefCountable(&previous);
}

uintptr_t VTask::GetSystemID() const
{
    return fPlatformTask != nullptr ? fPlatformTask->GetSystemID() : 0;
}

bool VTask::GetCPUUsage(double& outUsage) const
{
    outUsage = 0.0;
    return fPlatformTask != nullptr && fPlatformTask->GetCPUUsage(outUsage);
}

bool VTask::GetCPUTimes(double& outSystemSeconds, double& outUserSeconds) const
{
    outSystemSeconds = 0.0;
    outUserSeconds = 0.0;
    return fPlatformTask != nullptr && fPlatformTask->GetCPUTimes(outSystemSeconds, outUserSeconds);
}

size_t VTask::GetStackSize()
{
    if (fStackSize == 0)
        fStackSize = fIsMain ? fManager->GetStackSizeForMainTask() : fManager->GetDefaultStackSize();
    return fStackSize;
}

size_t VTask::GetCurrentFreeStackSize()
{
    return VTaskMgr::Get()->GetCurrentFreeStackSize();
}

// ---------------------------------------------------------------------------------------------
// Sleeping

void VTask::Sleep(int32_t inMilliseconds)
{
    if (inMilliseconds <= 0)
    {
        VTaskMgr::YieldNow();
        return;
    }
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return;
    bool waiting = task->_BeginWait(eWaitReasonSleeping);
    if (task->fIsFiber)
    {
        std::atomic_ref<int32_t>(task->fFiberWakeFlag).store(0, std::memory_order_release);
        VTaskMgr::CurrentFiberWaitFlagWithTimeout(&task->fFiberWakeFlag, 0, inMilliseconds);
    }
    else if (task->fPlatformTask != nullptr)
    {
        task->fPlatformTask->Sleep(inMilliseconds);
    }
    if (waiting)
        task->_EndWait();
}

void VTask::WakeUp()
{
    if (fIsFiber)
        std::atomic_ref<int32_t>(fFiberWakeFlag).store(1, std::memory_order_release);
    else if (fPlatformTask != nullptr)
        fPlatformTask->WakeUp();
}

void VTask::ReleaseCurrentActivityToken()
{
    if (VTask* task = VTaskMgr::GetCurrentTask())
    {
        if (VActivityToken* token = task->fActivityToken.exchange(nullptr))
            token->Release();
    }
}

} // namespace kova
