#include "platform/mac/tasks/XMacTaskMgr.h"

#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/frameworks/MachThread.h"
#include "platform/mac/tasks/XMacFiber.h"
#include "platform/mac/tasks/XMacTask.h"

#include <cstdio>
#include <new>
#include <sys/resource.h>

namespace kova
{

namespace
{

thread_local VTask* sCurrentTask = nullptr;
thread_local int32_t sForeignID = 0;

void UpdateEventsTimerFired(cf::RunLoopTimer*, void* inCallBack)
{
    reinterpret_cast<void (*)()>(inCallBack)();
}

} // namespace

bool XMacTaskMgr::Init(VProcess* inProcess)
{
    fFiberMode = inProcess != nullptr && inProcess->IsFiberMode();
    if (fFiberMode && GetCurrentFiber() == nullptr)
    {
        _FiberData* data = new (std::nothrow) _FiberData(nullptr);
        if (data == nullptr || ConvertThreadToFiber(data) == nullptr)
        {
            delete data;
            fFiberMode = false;
            return false;
        }
    }
    return true;
}

void XMacTaskMgr::Deinit()
{
    RemoveUpdateEventsTimer();
    fFiberMode = false;
}

XMacTask* XMacTaskMgr::CreateMain(VTask* inTask)
{
    XMacTask* platform = new (std::nothrow) XMacTask_preemptive(inTask, true);
    SetCurrentTask(inTask);
    return platform;
}

XMacTask* XMacTaskMgr::Create(VTask* inTask, ETaskStyle inStyle)
{
    if (inStyle == eTaskStylePreemptive)
        return XMacTask_preemptive::Create(inTask);
    if (inStyle == eTaskStyleFiber && fFiberMode)
        return new (std::nothrow) XMacTask_fiber(inTask);
    return nullptr;
}

void XMacTaskMgr::YieldToFiber(VTask* inTask)
{
    VTask* caller = GetCurrentTask();
    if (inTask == nullptr || caller == nullptr || inTask == caller)
        return;
    XMacTask* target = inTask->GetPlatformTask();
    XMacTask* current = caller->GetPlatformTask();
    if (target == nullptr || current == nullptr || target->GetFiber() == nullptr ||
        target->GetReturnTask() != current->GetReturnTask())
        return;
    SwitchToFiber(target->GetFiber());
    SetCurrentTask(caller);
}

size_t XMacTaskMgr::ComputeMainTaskStackSize() const
{
    uintptr_t top = 0;
    size_t size = 0;
    return mach::GetCurrentThreadStack(top, size) ? size : 0;
}

size_t XMacTaskMgr::GetCurrentFreeStackSize() const
{
    VTask* task = GetCurrentTask();
    XMacTask* platform = task != nullptr ? task->GetPlatformTask() : nullptr;
    if (platform == nullptr)
        return GetCurrentFreeStackSizeStatic();
    int local = 0;
    uintptr_t here = reinterpret_cast<uintptr_t>(&local);
    uintptr_t used = platform->GetStackTop() > here ? platform->GetStackTop() - here : 0;
    return used < platform->GetStackSize() ? platform->GetStackSize() - used : 0;
}

size_t XMacTaskMgr::GetCurrentFreeStackSizeStatic()
{
    rlimit limit;
    if (getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1048576;
    return size_t(limit.rlim_cur);
}

void XMacTaskMgr::SetCurrentThreadName(const VString& inName, int32_t inID) const
{
    VString name(inName);
    char suffix[32];
    snprintf(suffix, sizeof(suffix), " (id = %d)", int(inID));
    name.AppendCString(suffix);

    // The system keeps 15 bytes of a thread's name: a small buffer holds all that can be kept.
    char utf8[64];
    int32_t consumed = 0;
    size_t produced = 0;
    VFromUnicodeConverter_UTF8 converter;
    converter.Convert(name.GetCPointer(), name.GetLength(), consumed, utf8, sizeof(utf8) - 1, produced);
    utf8[produced] = 0;
    mach::SetCurrentThreadName(utf8);
}

VTask* XMacTaskMgr::GetCurrentTask()
{
    return sCurrentTask;
}

void XMacTaskMgr::SetCurrentTask(VTask* inTask)
{
    sCurrentTask = inTask;
}

int32_t XMacTaskMgr::GetForeignID()
{
    return sForeignID;
}

void XMacTaskMgr::SetForeignID(int32_t inID)
{
    sForeignID = inID;
}

bool XMacTaskMgr::AddUpdateEventsTimer(void (*inCallBack)())
{
    if (fUpdateEventsTimer != nullptr)
        return true;
    fUpdateEventsTimer = cf::RunLoopTimerCreate(cf::AbsoluteTimeGetCurrent(), 0.01, &UpdateEventsTimerFired,
                                                reinterpret_cast<void*>(inCallBack));
    if (fUpdateEventsTimer == nullptr)
        return false;
    cf::RunLoopAddTimer(cf::RunLoopGetCurrent(), fUpdateEventsTimer);
    return true;
}

void XMacTaskMgr::RemoveUpdateEventsTimer()
{
    if (fUpdateEventsTimer == nullptr)
        return;
    cf::RunLoopTimerInvalidate(fUpdateEventsTimer);
    cf::RunLoopTimerRelease(fUpdateEventsTimer);
    fUpdateEventsTimer = nullptr;
}

} // namespace kova
