#include "kernel/tasks/IMessageable.h"

#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"

#include <new>

namespace kova
{

VMessagingContext::VMessagingContext(IMessageable* inTarget, int32_t inTaskID)
    : fTarget(inTarget), fTaskID(inTaskID)
{
}

int32_t VMessagingContext::GetMessagingTask() const
{
    return GetTarget() == nullptr ? 0 : fTaskID.load(std::memory_order_acquire);
}

VTask* VMessagingContext::RetainTaskIfUsable() const
{
    int32_t taskID = fTaskID.load(std::memory_order_acquire);
    if (!IsEnabled() || GetTarget() == nullptr || taskID == 0)
        return nullptr;
    return VTaskMgr::Get()->RetainTaskByID(taskID);
}

IMessageable::IMessageable()
    : fMessagingContext(new (std::nothrow) VMessagingContext(this, VTaskMgr::GetCurrentTaskID()))
{
}

IMessageable::~IMessageable()
{
    if (fMessagingContext != nullptr)
    {
        fMessagingContext->_SetTarget(nullptr);
        fMessagingContext->Release();
    }
}

void IMessageable::DoMessage(VMessage&) {}

void IMessageable::StartMessaging()
{
    if (fMessagingContext != nullptr)
        fMessagingContext->_SetEnabled(true);
}

void IMessageable::StopMessaging()
{
    if (fMessagingContext != nullptr)
        fMessagingContext->_SetEnabled(false);
}

int32_t IMessageable::GetMessagingTask() const
{
    return fMessagingContext != nullptr ? fMessagingContext->GetMessagingTask() : 0;
}

void IMessageable::SetMessagingTask(int32_t inTaskID)
{
    if (fMessagingContext != nullptr)
        fMessagingContext->_SetMessagingTask(inTaskID);
}

VMessagingContext* IMessageable::RetainMessagingContext() const
{
    return RetainRefCountable(fMessagingContext);
}

} // namespace kova
