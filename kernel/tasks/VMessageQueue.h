// VMessageQueue is a task's queue of messages: made on first need, drained by the task's loop and
// by its waits. It holds one reference to each queued message. Its event is signalled on the
// change from empty to not empty (not at every message) and by SetEvent, whose wake-up the next
// RetainMessageWithTimeout consumes: that is how a task blocked in a wait is woken without a
// message (another task died, or somebody wants it to look at its state).
//
// A task that has more to serve than its queue while it waits (the main task: the main run loop)
// waits through an IMessageQueueWaiter, which the queue wakes each time its event is signalled.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <deque>

namespace kova
{

class IMessageable;
class VMessage;
class VSyncEvent;

// What a task blocks in, in place of its queue's event, while it waits for a message.
class IMessageQueueWaiter
{
public:
    virtual ~IMessageQueueWaiter() = default;
    // Blocks at most inMilliseconds (below 1, not at all), doing the waiter's own work meanwhile;
    // returns early after a WakeUp, or after some of that work.
    virtual void Wait(int32_t inMilliseconds) = 0;
    // From any thread, with the queue's lock held: ends the Wait in progress, or the next one.
    virtual void WakeUp() = 0;
};

class VMessageQueue : public VObject, public IRefCountable
{
public:
    VMessageQueue();
    VMessageQueue(const VMessageQueue&) = delete;
    VMessageQueue& operator=(const VMessageQueue&) = delete;
    // Queued messages are released without being aborted.
    ~VMessageQueue() override;

    // Appends the message (retained). A message whose non-zero coalescing signature matches a
    // queued one is offered to that one first (DoCoalesce); false when it was absorbed.
    bool AddMessage(VMessage* inMessage);
    // The front message, with the queue's reference; null when empty.
    VMessage* RetainMessage();
    // Waits at most inMilliseconds (below 1, only looks) for a message, in inWaiter when given
    // (which then does its work once even for a wait below 1). Null when none came or when
    // SetEvent woke the wait; *outTimedOut tells the two apart.
    VMessage* RetainMessageWithTimeout(int32_t inMilliseconds, bool* outTimedOut,
                                       IMessageQueueWaiter* inWaiter = nullptr);
    // Wakes a waiter without a message.
    void SetEvent();
    // Aborts and removes the messages whose target is the object (null: messages without
    // context).
    void CancelMessages(IMessageable* inTarget);
    // Aborts and removes every message.
    void CancelMessages();
    // Removes the message without aborting it; false when it was not queued.
    bool RemoveMessage(VMessage* inMessage);

    int32_t CountMessages() const;
    int32_t CountMessagesFor(const IMessageable* inTarget) const;
    bool IsEmpty() const;
    uint32_t GetStamp() const { return fStamp.load(std::memory_order_acquire); }
    // Tasks inside RetainMessageWithTimeout now.
    int32_t CountWaiters() const;

private:
    // With the lock held: pops the front message for the caller.
    VMessage* _RetainMessage();
    // With the lock held: the event was signalled.
    void _EventSignalled();
    // Whether the event was signalled within inMilliseconds, waited for in the waiter.
    bool _WaitIn(IMessageQueueWaiter& ioWaiter, int32_t inMilliseconds);
    void _Cancel(const IMessageable* inTarget, bool inAll);

    std::deque<VMessage*> fMessages;
    mutable VCriticalSection fLock;
    VSyncEvent* fEvent;
    std::atomic<uint32_t> fStamp{0};
    int32_t fWaiters = 0;
    // The waiter of the wait in progress, if any.
    IMessageQueueWaiter* fWaiter = nullptr;
    bool fEventSet = false;
};

} // namespace kova
