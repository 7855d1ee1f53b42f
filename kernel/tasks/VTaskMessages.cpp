// VTask: the task's queue of messages, their execution and the idle check.
#include "kernel/tasks/VTask.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/tasks/IFiberScheduler.h"
#include "kernel/tasks/VMessage.h"
#include "kernel/tasks/VMessageQueue.h"
#include "kernel/tasks/VSystem.h"
#include "platform/mac/tasks/XMacTask.h"

#include <algorithm>
#include <new>

namespace kova
{

VMessageQueue* VTask::_AllocateMessageQueueIfNeeded()
{
    VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
    if (queue != nullptr)
        return queue;
    VMessageQueue* made = new (std::nothrow) VMessageQueue;
    if (made == nullptr)
        return nullptr;
    if (fMessageQueue.compare_exchange_strong(queue, made, std::memory_order_acq_rel))
        return made;
    made->Release();
    return queue;
}

VMessageQueue* VTask::RetainMessageQueue()
{
    return RetainRefCountable(_AllocateMessageQueueIfNeeded());
}

bool VTask::AddMessage(VMessage* inMessage)
{
    VMessageQueue* queue = _AllocateMessageQueueIfNeeded();
    if (queue == nullptr || !queue->AddMessage(inMessage))
        return false;
    // A dead task aborts what it had queued once; what comes after is refused here.
    if (GetState() == TS_DEAD && queue->RemoveMessage(inMessage))
        return false;
    return true;
}

void VTask::CancelMessages(IMessageable* inTarget)
{
    if (VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire))
        queue->CancelMessages(inTarget);
}

int32_t VTask::CountMessagesFor(IMessageable* inTarget)
{
    VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
    return queue != nullptr ? queue->CountMessagesFor(inTarget) : 0;
}

bool VTask::IsAnyMessagePending()
{
    VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
    return queue != nullptr && !queue->IsEmpty();
}

uint32_t VTask::GetMessageQueueStamp()
{
    VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
    return queue != nullptr ? queue->GetStamp() : 0;
}

void VTask::SetMessageQueueEvent()
{
    VMessageQueue* queue = _AllocateMessageQueueIfNeeded();
    fQueueEventStamp.fetch_add(1, std::memory_order_acq_rel);
    if (queue != nullptr)
        queue->SetEvent();
}

bool VTask::_ExecuteMessages(VMessage* inMessage, bool inAllowIdle)
{
    const bool executed = inMessage != nullptr;
    VMessageQueue* queue = fMessageQueue.load(std::memory_order_acquire);
    for (VMessage* message = inMessage; message != nullptr;
         message = queue != nullptr ? queue->RetainMessage() : nullptr)
    {
        {
            StErrorContextInstaller errors(false, false);
            message->Execute();
        }
        message->Release();
    }
    if (!executed)
    {
        if (fManager->IsSystemEventPolling() && fPlatformTask != nullptr)
            fPlatformTask->CheckSystemMessages();
        if (inAllowIdle)
            _CheckIdleEvents();
    }
    fLastMessageTime.store(VSystem::GetCurrentTime(), std::memory_order_release);
    return executed;
}

void VTask::_CheckIdleEvents()
{
    if (fInIdle)
        return;
    uint32_t ticks = fManager->GetCurrentTicks();
    uint32_t distance = ticks >= fLastIdleTicks ? ticks - fLastIdleTicks : fLastIdleTicks - ticks;
    if (distance <= fIdlePeriod)
        return;
    fInIdle = true;
    fLastIdleTicks = ticks;
    DoIdle();
    CallIdlers();
    fManager->_CheckDelayedMessages();
    fInIdle = false;
}

VMessage* VTask::_RetainMessageWithTimeout(int32_t inMilliseconds, bool* outTimedOut)
{
    IFiberScheduler* scheduler = fManager->RetainFiberScheduler();
    if (scheduler != nullptr)
        scheduler->SetDirectUpdateAllowedEvenIfWaitingForFlag(true);
    bool waiting = _BeginWait(eWaitReasonMessage);
    VMessageQueue* queue = _AllocateMessageQueueIfNeeded();
    // The main task serves the main run loop while it waits.
    IMessageQueueWaiter* waiter = fPlatformTask != nullptr ? fPlatformTask->GetMessageQueueWaiter() : nullptr;
    VMessage* message =
        queue != nullptr ? queue->RetainMessageWithTimeout(inMilliseconds, outTimedOut, waiter) : nullptr;
    if (waiting)
        _EndWait();
    if (scheduler != nullptr)
    {
        scheduler->SetDirectUpdateAllowedEvenIfWaitingForFlag(false);
        scheduler->Release();
    }
    return message;
}

bool VTask::ExecuteMessages(bool inAllowIdle)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return false;
    VMessageQueue* queue = task->fMessageQueue.load(std::memory_order_acquire);
    return task->_ExecuteMessages(queue != nullptr ? queue->RetainMessage() : nullptr, inAllowIdle);
}

bool VTask::ExecuteMessagesWithTimeout(int32_t inMilliseconds, bool inAllowIdle)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return false;
    return task->_ExecuteMessages(task->_RetainMessageWithTimeout(inMilliseconds, nullptr), inAllowIdle);
}

VMessage* VTask::RetainMessageWithTimeout(int32_t inMilliseconds)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    return task != nullptr ? task->_RetainMessageWithTimeout(inMilliseconds, nullptr) : nullptr;
}

bool VTask::WaitAndExecuteMessages(int32_t inMilliseconds, bool* outElapsed)
{
    bool elapsed = false;
    bool completed = false;
    VTask* task = VTaskMgr::GetCurrentTask();
    if (inMilliseconds < 1)
    {
        elapsed = true;
        completed = true;
    }
    else if (task != nullptr && !task->IsDying())
    {
        const uint32_t stamp = task->fQueueEventStamp.load(std::memory_order_acquire);
        const uint32_t start = VSystem::GetCurrentTime();
        for (;;)
        {
            if (task->fQueueEventStamp.load(std::memory_order_acquire) != stamp)
                break;
            uint32_t spent = VSystem::GetCurrentTime() - start;
            int32_t remaining = spent >= uint32_t(inMilliseconds) ? 0 : inMilliseconds - int32_t(spent);
            bool timedOut = true;
            VMessage* message = task->_RetainMessageWithTimeout(std::min(remaining, 1000), &timedOut);
            if (message == nullptr && !timedOut)
                break;
            task->_ExecuteMessages(message, true);
            if (VSystem::GetCurrentTime() - start >= uint32_t(inMilliseconds))
            {
                elapsed = true;
                completed = true;
                break;
            }
            if (task->IsDying())
                break;
        }
    }
    if (outElapsed != nullptr)
        *outElapsed = elapsed;
    return completed;
}

bool VTask::WaitAndExecuteMessages()
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return false;
    return WaitAndExecuteMessagesSince(task->GetMessageQueueEventStamp());
}

bool VTask::WaitAndExecuteMessagesSince(uint32_t inEventStamp)
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return false;
    while (!task->IsDying())
    {
        if (task->fQueueEventStamp.load(std::memory_order_acquire) != inEventStamp)
            return true;
        bool timedOut = true;
        VMessage* message = task->_RetainMessageWithTimeout(1000, &timedOut);
        if (message == nullptr && !timedOut)
            return true;
        task->_ExecuteMessages(message, true);
    }
    return false;
}

bool VTask::IsResponding() const
{
    return VSystem::GetCurrentTime() - fLastMessageTime.load(std::memory_order_acquire) < 1000;
}

} // namespace kova
