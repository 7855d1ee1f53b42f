// VMessage is a unit of work addressed to an IMessageable and executed on the task that owns it.
// It is posted (queued; the sender goes on), sent (the sender waits for its execution, at most a
// time-out), or posted with waiting (the sender executes its own messages while it waits). A
// message is idle (no context), in flight (its target's context installed: queued, delayed or
// being sent), then answered (executed) or aborted; once idle again it can be posted again.
//
// The context is taken out of a message by one atomic exchange: of the receiver that executes
// it, an abort and a sender whose time-out ran out, exactly one acts.
//
//     class VPing : public VMessage { void DoExecute() override { ... } };
//     VRefPtr<VPing> ping(new VPing);
//     ping->PostTo(target);
//
// VFunctionMessage carries a callable and runs it on the receiving task.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace kova
{

class IMessageable;
class VMessageQueue;
class VMessagingContext;
class VSyncEvent;
class VTask;

class VMessage : public VObject, public IRefCountable
{
public:
    VMessage() = default;
    VMessage(const VMessage&) = delete;
    VMessage& operator=(const VMessage&) = delete;
    ~VMessage() override;

    // Messages with the same non-zero signature may be merged while queued (DoCoalesce).
    virtual uint32_t GetCoalescingSignature() const { return 0; }
    // Delivers the message to its target's DoMessage by default.
    virtual void DoExecute();
    // Asked of the queued message when inNewMessage with its signature is added: false drops the
    // new message (this one absorbed it).
    virtual bool DoCoalesce(const VMessage& inNewMessage);

    // Queues the message for the target, or runs it at once when inExecuteAtOnce and the target
    // belongs to the calling task; with a delay, queues it when the delay has passed. False when
    // the target is not reachable or the message was coalesced away; true without doing anything
    // for a message already in flight.
    bool PostTo(IMessageable* inTarget, bool inExecuteAtOnce = false, int32_t inDelayMilliseconds = 0);
    // Waits until the target's task has executed the message, at most the time-out. A time-out
    // aborts the message unless the receiver has already started it, in which case the sender
    // waits for the end. True when executed.
    bool SendTo(IMessageable* inTarget, int32_t inTimeoutMilliseconds);
    bool SendTo(IMessageable* inTarget);
    // Posts and, while waiting for the answer, executes the calling task's own messages. A
    // message whose time-out runs out before the receiver starts it does nothing later.
    bool PostToAndWaitExecutingMessages(IMessageable* inTarget, int32_t inTimeoutMilliseconds);
    bool PostToAndWaitExecutingMessages(IMessageable* inTarget);
    bool SendOrPostTo(VMessagingContext* inContext, int32_t inDelayMilliseconds, bool inExecuteAtOnce,
                      bool inSend, int32_t inTimeoutMilliseconds);

    // A delayed message whose time has come: queued for its target's task when the context is
    // still usable, else dropped.
    void RePost();
    // Run by the receiving task: executes the message unless it was aborted or executed already.
    void Execute();
    void Abort();
    // Replaces the installed context with the target's; false when none results.
    bool ActivateContext(IMessageable* inTarget);

    bool Answered() const { return fAnswered.load(std::memory_order_acquire); }
    void AnswerIt() { fAnswered.store(true, std::memory_order_release); }
    bool IsAborted() const { return fAborted.load(std::memory_order_acquire); }
    bool IsInFlight() const;

    // The object the message is delivered to; only meaningful inside DoExecute. Not retained.
    IMessageable* GetTarget() const;
    // Whether the installed context targets the object (null matches a message without context).
    bool TargetsObject(const IMessageable* inTarget) const;

private:
    // Takes over the caller's reference to the context when it is usable and returns the target's
    // task, retained; otherwise releases the context and returns null.
    VTask* _InstallContextAndRetainTask(VMessagingContext* inContext);
    bool _Post(VMessagingContext* inContext, bool inExecuteAtOnce);
    bool _Send(VMessagingContext* inContext, int32_t inTimeoutMilliseconds, bool inWaitForever);
    bool _RegisterDelayed(VMessagingContext* inContext, int32_t inDelayMilliseconds);
    bool _PostAndWait(IMessageable* inTarget, int32_t inTimeoutMilliseconds, bool inWaitForever);
    // Takes the context out and executes the message on the calling task; false when it was
    // aborted or executed already.
    bool _ExecuteHere();
    // Installs the context when none is; false otherwise.
    bool _PutContext(VMessagingContext* inContext);
    // The installed context with the message's reference, or null.
    VMessagingContext* _TakeContext();
    // Signals the reply event and the waiter queue. Each field holds a reference of its own that
    // goes with it, so a waiter that stops waiting never frees what is being signalled.
    void _WakeWaiters();

    // Guards the context pointer, so that a reader (a queue looking for a target's messages)
    // never sees a context being released.
    mutable std::mutex fContextMutex;
    VMessagingContext* fContext = nullptr;
    // The context taken out by Execute, for DoExecute.
    VMessagingContext* fExecutingContext = nullptr;
    std::atomic<VSyncEvent*> fReplyEvent{nullptr};
    std::atomic<VMessageQueue*> fWaiterQueue{nullptr};
    std::atomic<bool> fAnswered{false};
    std::atomic<bool> fAborted{false};
};

class VFunctionMessage : public VMessage
{
public:
    explicit VFunctionMessage(std::function<void()>&& inFunction) : fFunction(std::move(inFunction)) {}

    // An empty function does nothing.
    void DoExecute() override;

    // Posted without direct execution; false when the task cannot receive it or the function is
    // empty.
    static bool PostFunctionTo(VTask* inTask, std::function<void()>&& inFunction);
    // Posted, and the caller executes its own messages until it has run.
    static bool PostToAndWait(VTask* inTask, std::function<void()>&& inFunction);
    // inCallDirectly runs the function at once; otherwise it is queued for the main task, even
    // from the main task.
    static bool PostToMainTask(std::function<void()>&& inFunction, bool inCallDirectly);
    // Runs the function at once when inCallDirectly or when the caller is the main task;
    // otherwise posts it there and waits.
    static bool PostToMainTaskAndWait(std::function<void()>&& inFunction, bool inCallDirectly);

private:
    std::function<void()> fFunction;
};

} // namespace kova
