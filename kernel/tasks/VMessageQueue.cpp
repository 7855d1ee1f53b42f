#include "kernel/tasks/VMessageQueue.h"

#include "kernel/tasks/VMessage.h"
#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VSystem.h"

#include <algorithm>
#include <vector>

namespace kova
{

VMessageQueue::VMessageQueue() : fEvent(new VSyncEvent) {}

VMessageQueue::~VMessageQueue()
{
    for (VMessage* message : fMessages)
        message->Release();
    fEvent->Release();
}

bool VMessageQueue::AddMessage(VMessage* inMessage)
{
    if (inMessage == nullptr)
        return false;
    uint32_t signature = inMessage->GetCoalescingSignature();
    if (signature != 0)
    {
        bool keep = true;
        StLocker locker(fLock);
        for (VMessage* queued : fMessages)
        {
            if (queued != inMessage && queued->GetCoalescingSignature() == signature)
            {
                keep = queued->DoCoalesce(*inMessage);
                break;
            }
        }
        if (!keep)
            return false;
    }
    StLocker locker(fLock);
    if (fMessages.empty())
        _EventSignalled();
    fStamp.fetch_add(1, std::memory_order_acq_rel);
    inMessage->Retain();
    fMessages.push_back(inMessage);
    return true;
}

VMessage* VMessageQueue::_RetainMessage()
{
    if (fMessages.empty())
        return nullptr;
    VMessage* message = fMessages.front();
    fMessages.pop_front();
    if (fMessages.empty() && !fEventSet)
        fEvent->Reset();
    return message;
}

VMessage* VMessageQueue::RetainMessage()
{
    StLocker locker(fLock);
    return _RetainMessage();
}

void VMessageQueue::_EventSignalled()
{
    fEvent->Unlock();
    if (fWaiter != nullptr)
        fWaiter->WakeUp();
}

bool VMessageQueue::_WaitIn(IMessageQueueWaiter& ioWaiter, int32_t inMilliseconds)
{
    const uint32_t start = VSystem::GetCurrentTime();
    for (bool waited = false;; waited = true)
    {
        if (fEvent->IsSignalled())
            return true;
        const uint32_t elapsed = VSystem::GetCurrentTime() - start;
        if (waited && elapsed >= uint32_t(std::max(inMilliseconds, 0)))
            return false;
        ioWaiter.Wait(inMilliseconds > int32_t(elapsed) ? inMilliseconds - int32_t(elapsed) : 0);
    }
}

VMessage* VMessageQueue::RetainMessageWithTimeout(int32_t inMilliseconds, bool* outTimedOut,
                                                  IMessageQueueWaiter* inWaiter)
{
    // A waiter's work may wait for messages again: the outer wait's waiter comes back after it.
    IMessageQueueWaiter* outerWaiter;
    {
        StLocker locker(fLock);
        ++fWaiters;
        outerWaiter = fWaiter;
        if (inWaiter != nullptr)
            fWaiter = inWaiter;
    }
    bool signalled = inWaiter != nullptr ? _WaitIn(*inWaiter, inMilliseconds) : fEvent->Lock(inMilliseconds);
    StLocker locker(fLock);
    --fWaiters;
    fWaiter = outerWaiter;
    if (fEventSet)
    {
        if (outTimedOut != nullptr)
            *outTimedOut = false;
        fEventSet = false;
        if (fMessages.empty())
            fEvent->Reset();
        return nullptr;
    }
    if (outTimedOut != nullptr)
        *outTimedOut = !signalled;
    return signalled ? _RetainMessage() : nullptr;
}

void VMessageQueue::SetEvent()
{
    StLocker locker(fLock);
    fStamp.fetch_add(1, std::memory_order_acq_rel);
    fEventSet = true;
    _EventSignalled();
}

void VMessageQueue::_Cancel(const IMessageable* inTarget, bool inAll)
{
    std::vector<VMessage*> cancelled;
    {
        StLocker locker(fLock);
        std::deque<VMessage*> kept;
        for (VMessage* message : fMessages)
        {
            if (inAll || message->TargetsObject(inTarget))
                cancelled.push_back(message);
            else
                kept.push_back(message);
        }
        fMessages.swap(kept);
        if (!fEventSet && fMessages.empty())
            fEvent->Reset();
    }
    // Aborting wakes senders, which may release their last references: outside the lock.
    for (VMessage* message : cancelled)
    {
        message->Abort();
        message->Release();
    }
}

void VMessageQueue::CancelMessages(IMessageable* inTarget)
{
    _Cancel(inTarget, false);
}

void VMessageQueue::CancelMessages()
{
    _Cancel(nullptr, true);
}

bool VMessageQueue::RemoveMessage(VMessage* inMessage)
{
    {
        StLocker locker(fLock);
        auto found = std::find(fMessages.begin(), fMessages.end(), inMessage);
        if (found == fMessages.end())
            return false;
        fMessages.erase(found);
        if (!fEventSet && fMessages.empty())
            fEvent->Reset();
    }
    inMessage->Release();
    return true;
}

int32_t VMessageQueue::CountMessages() const
{
    StLocker locker(fLock);
    return int32_t(fMessages.size());
}

int32_t VMessageQueue::CountMessagesFor(const IMessageable* inTarget) const
{
    StLocker locker(fLock);
    int32_t count = 0;
    for (const VMessage* message : fMessages)
    {
        if (message->TargetsObject(inTarget))
            ++count;
    }
    return count;
}

bool VMessageQueue::IsEmpty() const
{
    StLocker locker(fLock);
    return fMessages.empty();
}

int32_t VMessageQueue::CountWaiters() const
{
    StLocker locker(fLock);
    return fWaiters;
}

} // namespace kova
