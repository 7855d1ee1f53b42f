#include "kernel/tasks/VTaskMgr.h"

#include "kernel/tasks/IFiberScheduler.h"
#include "kernel/tasks/VMessage.h"
#include "kernel/tasks/VMessageQueue.h"
#include "kernel/tasks/VScheduler_void.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VString.h"
#include "platform/mac/tasks/XMacTask.h"

#include <algorithm>
#include <climits>
#include <sched.h>

namespace kova
{

VTaskMgr VTaskMgr::sInstance;
constinit std::atomic<bool> VTaskMgr::sInstanceInited{false};

namespace
{

// Counts down from 0; constant-initialised, so usable before and after static construction.
constinit std::atomic<int32_t> sForeignIDCounter{0};

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

using StLock = std::lock_guard<std::recursive_mutex>;

constexpr size_t kMaximumDefaultStackSize = 1048576;
constexpr size_t kFallbackMainStackSize = 65536;

} // namespace

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

bool VTaskMgr::Init(VProcess* inProcess)
{
    if (IsInited())
        return true;
    bool inited = sInstance._Init(inProcess);
    sInstanceInited.store(inited, std::memory_order_release);
    if (inited)
    {
        VTask* main = sInstance.fMainTask;
        sInstance.fPlatform.TaskStarted(main);
        sInstance.fPlatform.SetCurrentThreadName(VString(), main->GetID());
    }
    return inited;
}

void VTaskMgr::DeInit()
{
    if (!IsInited())
        return;
    sInstance._DeInit();
}

bool VTaskMgr::_Init(VProcess* inProcess)
{
    fScheduler = new VScheduler_void;
    fDelayedMessages.clear();
    fDelayedDues.clear();
    if (!fPlatform.Init(inProcess))
    {
        ReleaseRefCountable(&fScheduler);
        return false;
    }
    fMainTask = new VTask(this);
    return true;
}

void VTaskMgr::_DeInit()
{
    VTask* main = fMainTask;
    main->DisposeAllData();
    main->fState.store(TS_DEAD, std::memory_order_release);
    fPurgeNeeded.store(true, std::memory_order_release);
    PurgeDeadTasks();

    sInstanceInited.store(false, std::memory_order_release);
    std::vector<VMessage*> delayed;
    IFiberScheduler* scheduler;
    {
        StLock lock(fLock);
        // Tasks still alive keep running on their own; they are no longer listed.
        main->fNextTask = nullptr;
        fMainTask = nullptr;
        delayed.swap(fDelayedMessages);
        fDelayedDues.clear();
        scheduler = fScheduler;
        fScheduler = nullptr;
        fUpdateEventsNesting = 0;
    }
    XMacTaskMgr::SetCurrentTask(nullptr);
    main->Release();
    for (VMessage* message : delayed)
    {
        message->Abort();
        message->Release();
    }
    ReleaseRefCountable(&scheduler);
    fPlatform.Deinit();
}

// ---------------------------------------------------------------------------------------------
// Ids and the calling task

int32_t VTaskMgr::GetCurrentTaskID()
{
    if (VTask* task = GetCurrentTask())
        return task->GetID();
    int32_t id = XMacTaskMgr::GetForeignID();
    if (id == 0)
    {
        id = NextForeignID();
        XMacTaskMgr::SetForeignID(id);
    }
    return id;
}

VTask* VTaskMgr::GetCurrentTask()
{
    return IsInited() ? XMacTaskMgr::GetCurrentTask() : nullptr;
}

bool VTaskMgr::IsCurrentTaskFiber()
{
    VTask* task = GetCurrentTask();
    return task != nullptr && task->IsFiber();
}

int32_t VTaskMgr::GetNewTaskID(VTask* inTask)
{
    if (inTask == nullptr || inTask->GetPlatformTask() == nullptr)
        return 0;
    int32_t id = inTask->GetPlatformTask()->GetValueForVTaskID();
    if (id != 0)
        return id;
    StLock lock(fLock);
    if (!fRecycledTaskIDs.empty())
    {
        id = fRecycledTaskIDs.back();
        fRecycledTaskIDs.pop_back();
        return id;
    }
    // Fiber ids count down like foreign ids, from a counter of their own.
    fTaskIDCounter = fTaskIDCounter > INT32_MIN + 1 ? fTaskIDCounter - 1 : -1;
    return fTaskIDCounter;
}

void VTaskMgr::_TaskStarted(VTask* inTask)
{
    fPlatform.TaskStarted(inTask);
    VString name;
    inTask->GetName(name);
    fPlatform.SetCurrentThreadName(name, inTask->GetID());
}

void VTaskMgr::_TaskStopped(VTask* inTask)
{
    fPlatform.TaskStopped(inTask);
}

// ---------------------------------------------------------------------------------------------
// The task list

void VTaskMgr::RegisterTask(VTask* inTask)
{
    if (inTask == nullptr)
        return;
    PurgeDeadTasks();
    StLock lock(fLock);
    if (fMainTask == nullptr || inTask == fMainTask)
        return;
    inTask->Retain();
    inTask->fNextTask = fMainTask->fNextTask;
    fMainTask->fNextTask = inTask;
    fTaskListStamp.fetch_add(1, std::memory_order_acq_rel);
}

void VTaskMgr::PurgeDeadTasks()
{
    if (!fPurgeNeeded.load(std::memory_order_acquire))
        return;
    std::vector<VTask*> purged;
    {
        StLock lock(fLock);
        if (fMainTask == nullptr)
            return;
        VTask* previous = fMainTask;
        while (VTask* task = previous->fNextTask)
        {
            if (task->GetState() != TS_DEAD)
            {
                previous = task;
                continue;
            }
            previous->fNextTask = task->fNextTask;
            task->fNextTask = nullptr;
            XMacTask* platform = task->GetPlatformTask();
            if (platform != nullptr && task->GetID() != 0 && task->GetID() != platform->GetValueForVTaskID())
                fRecycledTaskIDs.push_back(task->GetID());
            fTaskListStamp.fetch_add(1, std::memory_order_acq_rel);
            purged.push_back(task);
        }
        fPurgeNeeded.store(false, std::memory_order_release);
    }
    // Releasing may destroy a task, which joins its thread: never under the lock.
    for (VTask* task : purged)
        task->Release();
}

VTask* VTaskMgr::RetainTaskByID(int32_t inID)
{
    StLock lock(fLock);
    for (VTask* task = fMainTask; task != nullptr; task = task->fNextTask)
    {
        if (task->GetID() == inID && task->GetState() != TS_DEAD)
        {
            task->Retain();
            return task;
        }
    }
    return nullptr;
}

VTask* VTaskMgr::RetainMainTask() const
{
    StLock lock(fLock);
    return RetainRefCountable(fMainTask);
}

VRefPtr<VTask> VTaskMgr::GetTaskByID(int32_t inID)
{
    return VRefPtr<VTask>(RetainTaskByID(inID));
}

void VTaskMgr::GetTasks(std::vector<VRefPtr<VTask>>& ioTasks)
{
    StLock lock(fLock);
    for (VTask* task = fMainTask; task != nullptr; task = task->fNextTask)
        ioTasks.push_back(VRefPtr<VTask>::Retained(task));
}

int32_t VTaskMgr::GetTaskCount(bool inAlive)
{
    StLock lock(fLock);
    int32_t count = 0;
    for (VTask* task = fMainTask; task != nullptr; task = task->fNextTask)
    {
        ETaskState state = task->GetState();
        if (inAlive ? state <= TS_RUNNING : (state == TS_RUNNING || state == TS_DYING))
            ++count;
    }
    return count;
}

bool VTaskMgr::KillAllTasks(int32_t inMilliseconds)
{
    auto othersListed = [this]
    {
        StLock lock(fLock);
        return fMainTask != nullptr && fMainTask->fNextTask != nullptr;
    };
    VTask* current = GetCurrentTask();
    if (current == nullptr || current != fMainTask)
        return !othersListed();

    const uint32_t start = VSystem::GetCurrentTime();
    for (;;)
    {
        std::vector<VRefPtr<VTask>> others;
        {
            StLock lock(fLock);
            for (VTask* task = fMainTask->fNextTask; task != nullptr; task = task->fNextTask)
            {
                if (task->GetState() >= TS_RUNNING)
                    others.push_back(VRefPtr<VTask>::Retained(task));
            }
        }
        for (const VRefPtr<VTask>& task : others)
            task->Kill();
        others.clear();
        PurgeDeadTasks();
        YieldNow();
        VTask::ExecuteMessages(false);
        if (!othersListed())
            return true;
        if (VSystem::GetCurrentTime() - start >= uint32_t(std::max(inMilliseconds, 0)))
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Yielding and the fiber scheduler

void VTaskMgr::Yield()
{
    if (!IsCurrentTaskFiber())
        return;
    if (IFiberScheduler* scheduler = sInstance.RetainFiberScheduler())
    {
        scheduler->Yield();
        scheduler->Release();
    }
}

void VTaskMgr::YieldNow()
{
    if (IsCurrentTaskFiber())
    {
        if (IFiberScheduler* scheduler = sInstance.RetainFiberScheduler())
        {
            scheduler->YieldNow();
            scheduler->Release();
            return;
        }
    }
    sched_yield();
}

void VTaskMgr::YieldToFiber(VTask* inTask)
{
    fPlatform.YieldToFiber(inTask);
}

void VTaskMgr::CurrentFiberWaitFlag(int32_t* ioFlag, int32_t inValueSeen)
{
    if (IFiberScheduler* scheduler = sInstance.RetainFiberScheduler())
    {
        scheduler->WaitFlag(ioFlag, inValueSeen);
        scheduler->Release();
    }
}

void VTaskMgr::CurrentFiberWaitFlagWithTimeout(int32_t* ioFlag, int32_t inValueSeen, int32_t inMilliseconds)
{
    if (IFiberScheduler* scheduler = sInstance.RetainFiberScheduler())
    {
        scheduler->WaitFlagWithTimeout(ioFlag, inValueSeen, inMilliseconds);
        scheduler->Release();
    }
}

void VTaskMgr::SetFiberScheduler(IFiberScheduler* inScheduler)
{
    if (inScheduler == nullptr)
        return;
    IFiberScheduler* previous;
    {
        StLock lock(fLock);
        inScheduler->Retain();
        previous = fScheduler;
        fScheduler = inScheduler;
    }
    ReleaseRefCountable(&previous);
}

IFiberScheduler* VTaskMgr::RetainFiberScheduler()
{
    if (!IsInited())
        return nullptr;
    StLock lock(fLock);
    return RetainRefCountable(fScheduler);
}

void VTaskMgr::FiberStoppedBeingScheduled(VTask* inTask)
{
    if (inTask != nullptr && inTask->IsFiber() && inTask != GetCurrentTask() && inTask->GetState() != TS_DEAD)
        inTask->_SetStateDead();
}

void VTaskMgr::SetSystemEventPolling(bool inPolling)
{
    fSystemEventPolling.store(inPolling, std::memory_order_release);
    if (IFiberScheduler* scheduler = RetainFiberScheduler())
    {
        scheduler->SetSystemEventPolling(inPolling);
        scheduler->Release();
    }
}

void VTaskMgr::WakeUpSystemEventPolling()
{
    if (IFiberScheduler* scheduler = sInstance.RetainFiberScheduler())
    {
        scheduler->WakeUpSystemEventPolling();
        scheduler->Release();
    }
}

void VTaskMgr::PollAndExecuteUpdateEvent()
{
    if (IFiberScheduler* scheduler = RetainFiberScheduler())
    {
        scheduler->PollAndExecuteUpdateEvent();
        scheduler->Release();
    }
}

void VTaskMgr::SetDirectUpdate(bool inDirect)
{
    if (IFiberScheduler* scheduler = RetainFiberScheduler())
    {
        scheduler->SetDirectUpdate(inDirect);
        scheduler->Release();
    }
}

void VTaskMgr::MAC_BeginHandlingUpdateEventsOnly()
{
    if (++fUpdateEventsNesting != 1)
        return;
    if (IFiberScheduler* scheduler = RetainFiberScheduler())
    {
        scheduler->SetSystemEventPolling(false);
        scheduler->Release();
    }
    fPlatform.AddUpdateEventsTimer(&MAC_RunLoopTimerCallback);
}

void VTaskMgr::MAC_StopHandlingUpdateEventsOnly()
{
    if (fUpdateEventsNesting <= 0 || --fUpdateEventsNesting != 0)
        return;
    fPlatform.RemoveUpdateEventsTimer();
    if (IFiberScheduler* scheduler = RetainFiberScheduler())
    {
        scheduler->SetSystemEventPolling(true);
        scheduler->Release();
    }
}

void VTaskMgr::MAC_RunLoopTimerCallback()
{
    Yield();
    sInstance.PollAndExecuteUpdateEvent();
}

// ---------------------------------------------------------------------------------------------
// Stacks

size_t VTaskMgr::_ComputeMainTaskStackSize()
{
    StLock lock(fLock);
    if (fMainTaskStackSize == 0)
    {
        fMainTaskStackSize = fPlatform.ComputeMainTaskStackSize();
        if (fMainTaskStackSize == 0)
            fMainTaskStackSize = kFallbackMainStackSize;
    }
    return fMainTaskStackSize;
}

size_t VTaskMgr::GetStackSizeForMainTask()
{
    return _ComputeMainTaskStackSize();
}

size_t VTaskMgr::GetDefaultStackSize()
{
    StLock lock(fLock);
    if (fDefaultStackSize == 0)
        fDefaultStackSize = std::min(_ComputeMainTaskStackSize(), kMaximumDefaultStackSize);
    return fDefaultStackSize;
}

void VTaskMgr::SetDefaultStackSize(size_t inSize)
{
    StLock lock(fLock);
    fDefaultStackSize = inSize;
}

size_t VTaskMgr::GetCurrentFreeStackSize() const
{
    return fPlatform.GetCurrentFreeStackSize();
}

// ---------------------------------------------------------------------------------------------
// Data keys

size_t VTaskMgr::CreateDataKey(void (*inDestructor)(void*))
{
    StLock lock(fLock);
    for (size_t i = 0; i < fDataKeys.size(); ++i)
    {
        if (fDataKeys[i].fDeleted)
        {
            fDataKeys[i].fDestructor = inDestructor;
            fDataKeys[i].fDeleted = false;
            return i + 1;
        }
    }
    fDataKeys.push_back({inDestructor, false, 0});
    return fDataKeys.size();
}

void VTaskMgr::DeleteDataKey(size_t inKey)
{
    if (!IsInited())
        return;
    StLock lock(fLock);
    if (inKey >= 1 && inKey <= fDataKeys.size() && !fDataKeys[inKey - 1].fDeleted)
    {
        fDataKeys[inKey - 1].fDeleted = true;
        ++fDataKeys[inKey - 1].fGeneration;
    }
}

bool VTaskMgr::CheckDataKey(size_t inKey) const
{
    StLock lock(fLock);
    return inKey >= 1 && inKey <= fDataKeys.size() && !fDataKeys[inKey - 1].fDeleted;
}

bool VTaskMgr::_GetDataKeyGeneration(size_t inKey, uint32_t& outGeneration) const
{
    StLock lock(fLock);
    if (inKey < 1 || inKey > fDataKeys.size() || fDataKeys[inKey - 1].fDeleted)
        return false;
    outGeneration = fDataKeys[inKey - 1].fGeneration;
    return true;
}

void VTaskMgr::DisposeData(const DataSlot* inSlots, size_t inCount)
{
    for (size_t i = 0; i < inCount; ++i)
    {
        if (inSlots[i].fValue == nullptr)
            continue;
        void (*destructor)(void*) = nullptr;
        {
            StLock lock(fLock);
            if (i < fDataKeys.size() && !fDataKeys[i].fDeleted &&
                fDataKeys[i].fGeneration == inSlots[i].fGeneration)
                destructor = fDataKeys[i].fDestructor;
        }
        if (destructor != nullptr)
            destructor(inSlots[i].fValue);
    }
}

// ---------------------------------------------------------------------------------------------
// Delayed messages

void VTaskMgr::SetTickSource(uint32_t (*inSource)())
{
    fTickSource.store(inSource, std::memory_order_release);
}

uint32_t VTaskMgr::GetCurrentTicks() const
{
    uint32_t (*source)() = fTickSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : VSystem::GetCurrentTicks();
}

bool VTaskMgr::RegisterDelayedMessage(VMessage* inMessage, int32_t inDelayMilliseconds)
{
    if (inMessage == nullptr)
        return true;
    if (!IsInited())
        return false;
    // In 64 bits, so that long delays neither overflow nor come due at once; a delay is kept
    // below half the tick counter's range, the farthest a wrapping comparison can see.
    int64_t delayTicks = std::clamp<int64_t>(int64_t(inDelayMilliseconds) * 60 / 1000, 0, INT32_MAX);
    StLock lock(fLock);
    inMessage->Retain();
    fDelayedMessages.push_back(inMessage);
    fDelayedDues.push_back(GetCurrentTicks() + uint32_t(delayTicks));
    return true;
}

void VTaskMgr::_CheckDelayedMessages()
{
    const uint32_t now = GetCurrentTicks();
    // The difference, not the raw counts, so that the counter's wrapping is harmless.
    while (VMessage* due = _TakeDelayedMessage([now](const VMessage*, uint32_t inDue)
                                               { return int32_t(now - inDue) > 0; }))
    {
        due->RePost();
        due->Release();
    }
}

VMessage* VTaskMgr::_TakeDelayedMessage(const std::function<bool(const VMessage*, uint32_t)>& inMatch)
{
    StLock lock(fLock);
    for (size_t i = 0; i < fDelayedMessages.size(); ++i)
    {
        if (inMatch(fDelayedMessages[i], fDelayedDues[i]))
        {
            VMessage* message = fDelayedMessages[i];
            fDelayedMessages.erase(fDelayedMessages.begin() + ptrdiff_t(i));
            fDelayedDues.erase(fDelayedDues.begin() + ptrdiff_t(i));
            return message;
        }
    }
    return nullptr;
}

int32_t VTaskMgr::CountDelayedMessages() const
{
    StLock lock(fLock);
    return int32_t(fDelayedMessages.size());
}

int32_t VTaskMgr::CountMessagesFor(IMessageable* inTarget)
{
    int32_t count = 0;
    std::vector<VRefPtr<VTask>> tasks;
    {
        StLock lock(fLock);
        for (const VMessage* message : fDelayedMessages)
        {
            if (message->TargetsObject(inTarget))
                ++count;
        }
        for (VTask* task = fMainTask; task != nullptr; task = task->fNextTask)
            tasks.push_back(VRefPtr<VTask>::Retained(task));
    }
    for (const VRefPtr<VTask>& task : tasks)
        count += task->CountMessagesFor(inTarget);
    return count;
}

void VTaskMgr::CancelMessages(IMessageable* inTarget)
{
    while (VMessage* cancelled = _TakeDelayedMessage([inTarget](const VMessage* inMessage, uint32_t)
                                                     { return inMessage->TargetsObject(inTarget); }))
    {
        cancelled->Abort();
        cancelled->Release();
    }
    std::vector<VRefPtr<VTask>> tasks;
    GetTasks(tasks);
    for (const VRefPtr<VTask>& task : tasks)
        task->CancelMessages(inTarget);
}

} // namespace kova
