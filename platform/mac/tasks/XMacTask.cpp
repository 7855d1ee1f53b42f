#include "platform/mac/tasks/XMacTask.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "platform/mac/frameworks/MachThread.h"
#include "platform/mac/tasks/XMacFiber.h"
#include "platform/mac/tasks/XMacRunLoopWaiter.h"
#include "platform/mac/tasks/XMacTaskMgr.h"

#include <new>

namespace kova
{

namespace
{

void WaitOn(mach::Semaphore* inSemaphore)
{
    while (mach::SemaphoreWait(inSemaphore) == mach::KERN_ABORTED)
    {
    }
}

mach::Semaphore* NewSemaphore()
{
    mach::Semaphore* semaphore = nullptr;
    mach::kern_return_t result = mach::SemaphoreCreate(&semaphore, 0);
    if (result != mach::KERN_SUCCESS)
    {
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(result)));
        return nullptr;
    }
    return semaphore;
}

// Frees the fiber data of the calling thread's fiber, if any.
void FreeCurrentFiberData()
{
    if (XMacFiber* fiber = GetCurrentFiber())
        delete static_cast<_FiberData*>(fiber->GetParam());
}

} // namespace

void _FiberData::SetTask(VTask* inTask)
{
    fTask = inTask;
    fTaskID = inTask != nullptr ? inTask->GetID() : 0;
}

// ---------------------------------------------------------------------------------------------
// XMacTask

XMacTask::XMacTask(VTask* inTask, bool inAdoptedThread) : fTask(inTask), fAdoptedThread(inAdoptedThread)
{
    if (inAdoptedThread)
    {
        uintptr_t top = 0;
        size_t size = 0;
        if (mach::GetCurrentThreadStack(top, size))
        {
            fStackTop = top;
            fStackSize = size;
        }
    }
}

XMacTask::~XMacTask()
{
    if (fFiber != nullptr)
    {
        if (fAdoptedThread && GetCurrentFiber() == fFiber)
            delete static_cast<_FiberData*>(fFiber->GetParam());
        DeleteFiber(fFiber);
        fFiber = nullptr;
    }
}

void XMacTask::_RecordStart(uintptr_t inStackTop)
{
    fStackTop = inStackTop;
    fThread = pthread_self();
    fThreadPort.store(mach::ThreadSelfPort(), std::memory_order_release);
}

bool XMacTask::GetCPUTimes(double& outSystemSeconds, double& outUserSeconds) const
{
    mach::ThreadBasicInfo info;
    if (mach::ThreadInfo(GetThreadPort(), info) != mach::KERN_SUCCESS)
    {
        outSystemSeconds = 0;
        outUserSeconds = 0;
        return false;
    }
    outSystemSeconds = info.fSystemSeconds;
    outUserSeconds = info.fUserSeconds;
    return true;
}

bool XMacTask::GetCPUUsage(double& outUsage) const
{
    mach::ThreadBasicInfo info;
    if (mach::ThreadInfo(GetThreadPort(), info) != mach::KERN_SUCCESS)
    {
        outUsage = 0.0;
        return false;
    }
    outUsage = double(info.fCPUUsage) / 1000.0;
    return true;
}

// ---------------------------------------------------------------------------------------------
// XMacTask_preemptive

XMacTask_preemptive::XMacTask_preemptive(VTask* inTask, bool inAdoptedThread)
    : XMacTask(inTask, inAdoptedThread)
{
    if (!inAdoptedThread)
        return;
    fThread = pthread_self();
    fThreadPort.store(mach::ThreadSelfPort(), std::memory_order_release);
    if (VTaskMgr::Get()->GetPlatform().IsFiberMode())
    {
        fFiber = GetCurrentFiber();
        fReturnTask = inTask;
        if (fFiber != nullptr)
            static_cast<_FiberData*>(fFiber->GetParam())->SetTask(inTask);
    }
    else
    {
        // The thread waits for its messages in its run loop. A fiber must not block the thread it
        // shares: it waits on its queue's event alone.
        fRunLoopWaiter = XMacRunLoopWaiter::Create();
    }
    fSemaphore = NewSemaphore();
}

XMacTask_preemptive* XMacTask_preemptive::Create(VTask* inTask)
{
    XMacTask_preemptive* task = new (std::nothrow) XMacTask_preemptive(inTask, false);
    if (task == nullptr)
        return nullptr;
    if (!task->_CreateThread())
    {
        delete task;
        return nullptr;
    }
    return task;
}

bool XMacTask_preemptive::_CreateThread()
{
    if (!fStack.Allocate(fTask->GetStackSize()))
        return false;
    fStackSize = fStack.GetStackSize();
    fSemaphore = NewSemaphore();
    fReady = NewSemaphore();
    if (fSemaphore == nullptr || fReady == nullptr)
        return false;
    if (!fStack.StartThread(&_ThreadProc, this, fThread))
        return false;
    fThreadCreated = true;
    WaitOn(fReady);
    mach::SemaphoreDestroy(fReady);
    fReady = nullptr;
    return true;
}

XMacTask_preemptive::~XMacTask_preemptive()
{
    if (fThreadCreated && fSemaphore != nullptr)
    {
        // A thread still at its gate wakes, finds its task not run, and ends.
        mach::SemaphoreSignal(fSemaphore);
        if (pthread_equal(fThread, pthread_self()))
        {
            // Destroyed by its own thread, which cannot join itself nor free the stack it runs
            // on: the thread is left to end on its own and its stack is kept.
            pthread_detach(fThread);
            fThreadCreated = false;
        }
        else
        {
            pthread_join(fThread, nullptr);
            fThreadCreated = false;
            fStack.Free();
        }
    }
    else
    {
        fStack.Free();
    }
    if (fSemaphore != nullptr)
        mach::SemaphoreDestroy(fSemaphore);
    if (fReady != nullptr)
        mach::SemaphoreDestroy(fReady);
    delete fRunLoopWaiter;
}

IMessageQueueWaiter* XMacTask_preemptive::GetMessageQueueWaiter()
{
    return fRunLoopWaiter;
}

void* XMacTask_preemptive::_ThreadProc(void* inPlatformTask)
{
    XMacTask_preemptive* self = static_cast<XMacTask_preemptive*>(inPlatformTask);
    VTask* task = self->fTask;
    if (VTaskMgr::Get()->GetPlatform().IsFiberMode())
    {
        _FiberData* data = new (std::nothrow) _FiberData(task);
        self->fFiber = data != nullptr ? ConvertThreadToFiber(data) : nullptr;
        if (self->fFiber == nullptr)
            delete data;
        self->fReturnTask = task;
    }
    self->fThreadPort.store(mach::ThreadSelfPort(), std::memory_order_release);
    mach::SemaphoreSignal(self->fReady);

    WaitOn(self->fSemaphore);
    if (task->GetState() != TS_RUN_PENDING)
    {
        FreeCurrentFiberData();
        return nullptr;
    }

    int stackTop = 0;
    self->_RecordStart(reinterpret_cast<uintptr_t>(&stackTop));
    XMacTaskMgr::SetCurrentTask(task);
    task->_Run();
    self->Exit(self->fReturnTask == task ? nullptr : self->fReturnTask);
    return nullptr;
}

bool XMacTask_preemptive::Run()
{
    if (!fThreadCreated)
        return false;
    mach::SemaphoreSignal(fSemaphore);
    return true;
}

void XMacTask_preemptive::WakeUp()
{
    mach::SemaphoreSignal(fSemaphore);
}

void XMacTask_preemptive::Freeze()
{
    WaitOn(fSemaphore);
}

void XMacTask_preemptive::Sleep(int32_t inMilliseconds)
{
    if (inMilliseconds < 1)
        return;
    mach::SemaphoreTimedWait(fSemaphore, uint32_t(inMilliseconds / 1000),
                             int32_t(inMilliseconds % 1000) * 1000000);
}

void XMacTask_preemptive::Exit(VTask*)
{
    FreeCurrentFiberData();
    VTask* task = fTask;
    XMacTaskMgr::SetCurrentTask(nullptr);
    // From here on, another task may purge and destroy the task: nothing of it is touched.
    task->_SetStateDead();
    pthread_exit(nullptr);
}

// ---------------------------------------------------------------------------------------------
// XMacTask_fiber

bool XMacTask_fiber::Run()
{
    VTask* caller = XMacTaskMgr::GetCurrentTask();
    if (caller == nullptr || GetCurrentFiber() == nullptr || fFiber != nullptr)
        return false;
    fStackSize = fTask->GetStackSize();
    _FiberData* data = new (std::nothrow) _FiberData(fTask);
    if (data == nullptr)
        return false;
    fFiber = CreateFiberEx(0, fStackSize, 1, &_FiberProc, data);
    if (fFiber == nullptr)
    {
        delete data;
        return false;
    }
    fStackSize = fFiber->GetStackSize();
    XMacTask* callerPlatform = caller->GetPlatformTask();
    VTask* callerReturn = callerPlatform != nullptr ? callerPlatform->GetReturnTask() : nullptr;
    fReturnTask = callerReturn != nullptr ? callerReturn : caller;
    SwitchToFiber(fFiber);
    XMacTaskMgr::SetCurrentTask(caller);
    return true;
}

void XMacTask_fiber::_FiberProc(void* inData)
{
    VTask* task = static_cast<_FiberData*>(inData)->fTask;
    XMacTask_fiber* self = static_cast<XMacTask_fiber*>(task->GetPlatformTask());
    int stackTop = 0;
    self->_RecordStart(reinterpret_cast<uintptr_t>(&stackTop));
    XMacTaskMgr::SetCurrentTask(task);
    task->_Run();
    self->Exit(self->fReturnTask == task ? nullptr : self->fReturnTask);
}

void XMacTask_fiber::WakeUp()
{
    std::atomic_ref<int32_t>(fWakeCounter).fetch_add(1, std::memory_order_acq_rel);
    VTaskMgr::YieldNow();
}

void XMacTask_fiber::Freeze()
{
    VTaskMgr::CurrentFiberWaitFlag(&fWakeCounter,
                                   std::atomic_ref<int32_t>(fWakeCounter).load(std::memory_order_acquire));
}

void XMacTask_fiber::Sleep(int32_t inMilliseconds)
{
    VTaskMgr::CurrentFiberWaitFlagWithTimeout(
        &fWakeCounter, std::atomic_ref<int32_t>(fWakeCounter).load(std::memory_order_acquire),
        inMilliseconds);
}

void XMacTask_fiber::Exit(VTask* inNextTask)
{
    // Everything needed is read before the task is marked dead: from then on another task may
    // destroy it, and this fiber with it once it has switched away.
    XMacTask* next = inNextTask != nullptr ? inNextTask->GetPlatformTask() : nullptr;
    XMacFiber* nextFiber = next != nullptr ? next->GetFiber() : nullptr;
    VTask* task = fTask;
    FreeCurrentFiberData();
    XMacTaskMgr::SetCurrentTask(nullptr);
    task->_SetStateDead();
    if (nextFiber != nullptr)
        SwitchToFiber(nextFiber);
}

} // namespace kova
