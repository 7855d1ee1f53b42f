#include "kernel/tasks/VMessage.h"

#include "kernel/tasks/IMessageable.h"
#include "kernel/tasks/VMessageQueue.h"
#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"

#include <algorithm>
#include <new>

namespace kova
{

namespace
{

// Sets the calling task's wait reason for one scope.
class StWaitReason
{
public:
    StWaitReason(VTask* inTask, ETaskWaitReason inReason) : fTask(inTask)
    {
        if (fTask != nullptr)
            fSet = fTask->_BeginWait(inReason);
    }
    ~StWaitReason()
    {
        if (fSet)
            fTask->_EndWait();
    }
    StWaitReason(const StWaitReason&) = delete;
    StWaitReason& operator=(const StWaitReason&) = delete;

private:
    VTask* fTask;
    bool fSet = false;
};

} // namespace

VMessage::~VMessage()
{
    ReleaseRefCountable(&fContext);
    if (VSyncEvent* event = fReplyEvent.exchange(nullptr))
        event->Release();
    if (VMessageQueue* queue = fWaiterQueue.exchange(nullptr))
        queue->Release();
}

void VMessage::DoExecute()
{
    if (IMessageable* target = GetTarget())
        target->DoMessage(*this);
}

bool VMessage::DoCoalesce(const VMessage&)
{
    return true;
}

bool VMessage::_PutContext(VMessagingContext* inContext)
{
    std::lock_guard<std::mutex> lock(fContextMutex);
    if (fContext != nullptr)
        return false;
    fContext = inContext;
    return true;
}

VMessagingContext* VMessage::_TakeContext()
{
    std::lock_guard<std::mutex> lock(fContextMutex);
    VMessagingContext* context = fContext;
    fContext = nullptr;
    return context;
}

bool VMessage::IsInFlight() const
{
    std::lock_guard<std::mutex> lock(fContextMutex);
    return fContext != nullptr;
}

IMessageable* VMessage::GetTarget() const
{
    if (fExecutingContext != nullptr)
        return fExecutingContext->GetTarget();
    std::lock_guard<std::mutex> lock(fContextMutex);
    return fContext != nullptr ? fContext->GetTarget() : nullptr;
}

bool VMessage::TargetsObject(const IMessageable* inTarget) const
{
    std::lock_guard<std::mutex> lock(fContextMutex);
    return (fContext != nullptr ? fContext->GetTarget() : nullptr) == inTarget;
}

VTask* VMessage::_InstallContextAndRetainTask(VMessagingContext* inContext)
{
    if (inContext == nullptr)
        return nullptr;
    fAnswered.store(false, std::memory_order_release);
    // A message posted again after an abort starts afresh.
    fAborted.store(false, std::memory_order_release);
    VTask* task = inContext->RetainTaskIfUsable();
    if (task == nullptr || !_PutContext(inContext))
    {
        ReleaseRefCountable(&task);
        inContext->Release();
        return nullptr;
    }
    return task;
}

void VMessage::_WakeWaiters()
{
    if (VSyncEvent* event = fReplyEvent.exchange(nullptr))
    {
        event->Unlock();
        event->Release();
    }
    if (VMessageQueue* queue = fWaiterQueue.exchange(nullptr))
    {
        queue->SetEvent();
        queue->Release();
    }
}

bool VMessage::_Post(VMessagingContext* inContext, bool inExecuteAtOnce)
{
    VTask* task = _InstallContextAndRetainTask(inContext);
    if (task == nullptr)
        return false;
    bool posted = true;
    if (inExecuteAtOnce && task == VTaskMgr::GetCurrentTask())
    {
        _ExecuteHere();
    }
    else if (!task->AddMessage(this))
    {
        VMessagingContext* context = _TakeContext();
        ReleaseRefCountable(&context);
        posted = false;
    }
    task->Release();
    return posted;
}

bool VMessage::_RegisterDelayed(VMessagingContext* inContext, int32_t inDelayMilliseconds)
{
    VTask* task = _InstallContextAndRetainTask(inContext);
    if (task == nullptr)
        return false;
    task->Release();
    return VTaskMgr::Get()->RegisterDelayedMessage(this, inDelayMilliseconds);
}

bool VMessage::PostTo(IMessageable* inTarget, bool inExecuteAtOnce, int32_t inDelayMilliseconds)
{
    if (inTarget == nullptr)
        return false;
    if (IsInFlight())
        return true;
    VMessagingContext* context = inTarget->RetainMessagingContext();
    if (inDelayMilliseconds > 0)
        return _RegisterDelayed(context, inDelayMilliseconds);
    return _Post(context, inExecuteAtOnce);
}

bool VMessage::_Send(VMessagingContext* inContext, int32_t inTimeoutMilliseconds, bool inWaitForever)
{
    VTask* task = _InstallContextAndRetainTask(inContext);
    if (task == nullptr)
        return false;
    bool executed = false;
    VTask* current = VTaskMgr::GetCurrentTask();
    if (task == current)
    {
        _ExecuteHere();
        executed = true;
    }
    else
    {
        VSyncEvent* reply = new VSyncEvent;
        // The field's own reference; the sender keeps the creation one.
        reply->Retain();
        if (VSyncEvent* stale = fReplyEvent.exchange(reply))
            stale->Release();
        if (!task->AddMessage(this))
        {
            VMessagingContext* context = _TakeContext();
            ReleaseRefCountable(&context);
        }
        else
        {
            bool signalled;
            {
                StWaitReason waiting(current, eWaitReasonReply);
                signalled = inWaitForever ? reply->Lock() : reply->Lock(inTimeoutMilliseconds);
            }
            if (signalled)
            {
                executed = !IsAborted();
            }
            else if (VMessagingContext* context = _TakeContext())
            {
                // The receiver has not started it: it stays queued and does nothing.
                fAborted.store(true, std::memory_order_release);
                context->Release();
            }
            else
            {
                // The receiver has begun: wait for the end.
                StWaitReason waiting(current, eWaitReasonReply);
                reply->Lock();
                executed = !IsAborted();
            }
        }
        if (VSyncEvent* unused = fReplyEvent.exchange(nullptr))
            unused->Release();
        reply->Release();
    }
    task->Release();
    return executed;
}

bool VMessage::SendTo(IMessageable* inTarget, int32_t inTimeoutMilliseconds)
{
    if (inTarget == nullptr || IsInFlight())
        return false;
    return _Send(inTarget->RetainMessagingContext(), inTimeoutMilliseconds, false);
}

bool VMessage::SendTo(IMessageable* inTarget)
{
    if (inTarget == nullptr || IsInFlight())
        return false;
    return _Send(inTarget->RetainMessagingContext(), 0, true);
}

bool VMessage::PostToAndWaitExecutingMessages(IMessageable* inTarget, int32_t inTimeoutMilliseconds)
{
    return _PostAndWait(inTarget, inTimeoutMilliseconds, false);
}

bool VMessage::PostToAndWaitExecutingMessages(IMessageable* inTarget)
{
    return _PostAndWait(inTarget, 0, true);
}

bool VMessage::_PostAndWait(IMessageable* inTarget, int32_t inTimeoutMilliseconds, bool inWaitForever)
{
    if (inTarget == nullptr || IsInFlight())
        return false;

    // A thread without a task has no queue of its own: it waits on one made for the call.
    VTask* current = VTaskMgr::GetCurrentTask();
    VMessageQueue* waiter = current != nullptr ? current->RetainMessageQueue() : new VMessageQueue;
    waiter->Retain();
    if (VMessageQueue* stale = fWaiterQueue.exchange(waiter))
        stale->Release();

    const uint32_t start = VSystem::GetCurrentTime();
    auto elapsed = [start] { return int64_t(VSystem::GetCurrentTime() - start); };
    if (_Post(inTarget->RetainMessagingContext(), true) && !Answered())
    {
        for (;;)
        {
            int64_t remaining = inWaitForever ? 1000 : int64_t(inTimeoutMilliseconds) - elapsed();
            int32_t slice = int32_t(std::clamp<int64_t>(remaining, 0, 1000));
            if (current != nullptr)
            {
                StWaitReason waiting(current, eWaitReasonReply);
                VTask::ExecuteMessagesWithTimeout(slice, true);
            }
            else if (VMessage* unexpected = waiter->RetainMessageWithTimeout(slice, nullptr))
            {
                unexpected->Release();
            }
            if (Answered() || IsAborted())
                break;
            if (!inWaitForever &&
                (elapsed() >= int64_t(inTimeoutMilliseconds) || (current != nullptr && current->IsDying())))
                break;
        }
        if (!Answered() && !IsAborted())
        {
            if (VMessagingContext* context = _TakeContext())
            {
                fAborted.store(true, std::memory_order_release);
                context->Release();
            }
            else
            {
                // Execution began: it cannot be called back.
                while (!Answered() && !IsAborted())
                {
                    if (current != nullptr)
                        VTask::Sleep(10);
                    else
                        VSystem::Delay(10);
                }
            }
        }
    }
    if (VMessageQueue* unused = fWaiterQueue.exchange(nullptr))
        unused->Release();
    waiter->Release();
    return Answered();
}

bool VMessage::SendOrPostTo(VMessagingContext* inContext, int32_t inDelayMilliseconds, bool inExecuteAtOnce,
                            bool inSend, int32_t inTimeoutMilliseconds)
{
    if (inContext == nullptr || IsInFlight())
        return false;
    inContext->Retain();
    if (inDelayMilliseconds > 0)
        return _RegisterDelayed(inContext, inDelayMilliseconds);
    if (inSend)
        return _Send(inContext, inTimeoutMilliseconds, false);
    return _Post(inContext, inExecuteAtOnce);
}

void VMessage::RePost()
{
    VMessagingContext* context = _TakeContext();
    if (context == nullptr)
        return;
    VTask* task = context->RetainTaskIfUsable();
    if (task == nullptr || !_PutContext(context))
    {
        ReleaseRefCountable(&task);
        context->Release();
        return;
    }
    if (!task->AddMessage(this))
    {
        context = _TakeContext();
        ReleaseRefCountable(&context);
    }
    task->Release();
}

void VMessage::Execute()
{
    if (_ExecuteHere())
        _WakeWaiters();
}

bool VMessage::_ExecuteHere()
{
    VMessagingContext* context = _TakeContext();
    if (context == nullptr)
        return false;
    fExecutingContext = context;
    DoExecute();
    fExecutingContext = nullptr;
    AnswerIt();
    context->Release();
    return true;
}

void VMessage::Abort()
{
    VMessagingContext* context = _TakeContext();
    if (context == nullptr)
        return;
    fAborted.store(true, std::memory_order_release);
    _WakeWaiters();
    context->Release();
}

bool VMessage::ActivateContext(IMessageable* inTarget)
{
    VMessagingContext* context = inTarget != nullptr ? inTarget->RetainMessagingContext() : nullptr;
    VMessagingContext* previous;
    {
        std::lock_guard<std::mutex> lock(fContextMutex);
        previous = fContext;
        fContext = context;
    }
    ReleaseRefCountable(&previous);
    return context != nullptr;
}

// ---------------------------------------------------------------------------------------------
// VFunctionMessage

void VFunctionMessage::DoExecute()
{
    if (fFunction)
        fFunction();
}

bool VFunctionMessage::PostFunctionTo(VTask* inTask, std::function<void()>&& inFunction)
{
    if (inTask == nullptr || !inFunction)
        return false;
    VFunctionMessage* message = new VFunctionMessage(std::move(inFunction));
    bool posted = message->PostTo(inTask, false, 0);
    message->Release();
    return posted;
}

bool VFunctionMessage::PostToAndWait(VTask* inTask, std::function<void()>&& inFunction)
{
    if (inTask == nullptr || !inFunction)
        return false;
    VFunctionMessage* message = new VFunctionMessage(std::move(inFunction));
    bool answered = message->PostToAndWaitExecutingMessages(inTask);
    message->Release();
    return answered;
}

bool VFunctionMessage::PostToMainTask(std::function<void()>&& inFunction, bool inCallDirectly)
{
    if (!inFunction)
        return false;
    if (inCallDirectly)
    {
        inFunction();
        return true;
    }
    return PostFunctionTo(VTaskMgr::Get()->GetMainTask(), std::move(inFunction));
}

bool VFunctionMessage::PostToMainTaskAndWait(std::function<void()>&& inFunction, bool inCallDirectly)
{
    if (!inFunction)
        return false;
    if (inCallDirectly || VTask::IsCurrentMain())
    {
        inFunction();
        return true;
    }
    return PostToAndWait(VTaskMgr::Get()->GetMainTask(), std::move(inFunction));
}

} // namespace kova
