#include "kernel/tasks/IIdleable.h"

#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"

namespace kova
{

IIdleable::~IIdleable()
{
    StopIdling();
}

void IIdleable::DoIdle() {}

void IIdleable::StartIdling(VTask* inTask)
{
    fActive.store(true, std::memory_order_release);
    if (inTask == fTask)
        return;
    if (fTask != nullptr)
        fTask->UnregisterIdler(this);
    RetainRefCountable(inTask);
    VTask* previous = fTask;
    fTask = inTask;
    ReleaseRefCountable(&previous);
    if (fTask != nullptr)
        fTask->RegisterIdler(this);
}

void IIdleable::StartIdling()
{
    StartIdling(VTaskMgr::GetCurrentTask());
}

void IIdleable::StopIdling()
{
    if (fTask == nullptr)
        return;
    fActive.store(false, std::memory_order_release);
    fTask->UnregisterIdler(this);
    ReleaseRefCountable(&fTask);
}

void IIdleable::Idle()
{
    if (fActive.load(std::memory_order_acquire))
        DoIdle();
}

void XIdleMessage::DoExecute()
{
    VTask* task = VTaskMgr::GetCurrentTask();
    // The idler may be gone: it is only called while its task still lists it.
    if (task == nullptr || !task->_CallRegisteredIdler(fIdler))
        return;
    XIdleMessage* next = new XIdleMessage(fIdler);
    next->PostTo(task, false, 16);
    next->Release();
}

} // namespace kova
