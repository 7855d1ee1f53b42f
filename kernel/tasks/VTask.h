// VTask is the toolbox's unit of execution: a thread of its own (a preemptive task) or, when the
// process runs with fibers, a fiber that hands control to others explicitly. A task has an id (the
// owner of every lock it takes), a name, a state, a queue of messages made on first need, its own
// stack of error contexts, its own international manager (a clone of the process's), data slots,
// idlers, and a properties bag. The task manager (VTaskMgr) lists the running tasks and knows the
// calling thread's task.
//
// A task does its work either through a run function given at creation, or through its virtual
// loop: DoInit, then DoRun and one pending message at a time until the task is dying, then
// DoDeInit. Its life goes 0 created -> 1 Run called -> 2 running -> 3 dying -> 4 dead; Kill asks a
// running task to die, and the task notices at its next look at its state.
//
//     VRefPtr<VTask> worker(new VTask(0, eTaskStylePreemptive, [] { ... }));
//     worker->SetName("Worker");
//     worker->Run();
//     ...
//     worker->Kill();
//     worker->WaitForDeath(1000);
//
// The static services work on the calling task; on a thread that runs no task they give their
// neutral answer (0, null, false, nothing done), except the international manager, for which
// such a thread uses the process's.
#pragma once

#include "kernel/errors/VDebugContext.h"
#include "kernel/tasks/IMessageable.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <vector>

namespace kova
{

class IIdleable;
class VActivityToken;
class VErrorBase;
class VErrorContext;
class VErrorTaskContext;
class VIntlMgr;
class VJSONObject;
class VMessage;
class VMessageQueue;
class VString;
class VValueBag;
class XMacTask;

enum ETaskStyle : int32_t
{
    eTaskStylePreemptive = 1,
    // Not implemented on this platform: such a task gets no platform object and cannot run.
    eTaskStyleCooperative = 2,
    eTaskStyleFiber = 3,
};

enum ETaskState : int32_t
{
    TS_CREATED = 0,
    TS_RUN_PENDING = 1,
    TS_RUNNING = 2,
    TS_DYING = 3,
    TS_DEAD = 4,
};

enum ETaskWaitReason : int32_t
{
    eWaitReasonNone = 0,
    eWaitReasonSleeping = 1,
    eWaitReasonMessage = 4,
    eWaitReasonReply = 5,
    eWaitReasonDeath = 8,
};

class VTask : public VObject, public IMessageable, public IRefCountable
{
public:
    // A task in state 0 with its suspended thread (or its fiber to be made). inStackSize 0 takes
    // the manager's default. An empty run function selects the virtual loop.
    VTask(size_t inStackSize, ETaskStyle inStyle, std::function<void()>&& inRun);
    // The run function calls inProc with the task; inOwner is not kept.
    VTask(VObject* inOwner, size_t inStackSize, ETaskStyle inStyle, int32_t (*inProc)(VTask*));
    // The main task, made by the manager's Init around the calling thread.
    explicit VTask(VTaskMgr* inManager);
    VTask(const VTask&) = delete;
    VTask& operator=(const VTask&) = delete;
    ~VTask() override;

    // The virtual loop; all do nothing by default and DoRun returns true. DoPrepareToDie runs in
    // Kill, on the killing task.
    virtual void DoInit();
    virtual void DoDeInit();
    virtual bool DoRun();
    virtual void DoIdle();
    virtual void DoPrepareToDie();

    // Starts the task. False when it has no platform object, was run before, or its thread or
    // fiber could not start.
    bool Run();
    // Asks the task to die: it becomes dying; it is neither woken nor waited for.
    void Kill();
    // Ends the calling task at once: its thread ends (or control goes to the fiber inNextTask).
    static void Exit(VTask* inNextTask);
    // Waits at most inMilliseconds, executing the calling task's messages, until the task is
    // dead; returns whether it is. 0 only looks. False on the task itself.
    bool WaitForDeath(int32_t inMilliseconds);
    // State 3 or 4; *outTicks gets the ticks since the task became dying (0 when it is not).
    bool IsDying(uint32_t* outTicks = nullptr) const;
    ETaskState GetState() const { return ETaskState(fState.load(std::memory_order_acquire)); }
    // Whether the calling task is the main task; before the manager exists, true.
    static bool IsCurrentMain();

    int32_t GetID() const { return fID; }
    ETaskStyle GetStyle() const { return fStyle; }
    bool IsMain() const { return fIsMain; }
    bool IsFiber() const { return fIsFiber; }
    bool IsThread() const { return fIsThread; }
    ETaskWaitReason GetWaitReason() const
    {
        return ETaskWaitReason(fWaitReason.load(std::memory_order_acquire));
    }

    void SetName(const VString& inName);
    void GetName(VString& outName) const;
    VValueBag* RetainProperties() const;
    void SetProperties(const VValueBag* inProperties);
    // A four-character code telling what the task is for ('LOGG' for the logger's); 0 unless set.
    OsType GetKind() const { return fKind.load(std::memory_order_relaxed); }
    void SetKind(OsType inKind) { fKind.store(inKind, std::memory_order_relaxed); }
    // The debug manager's state for this task; only the task itself touches it.
    VDebugContext& GetDebugContext() { return fDebugContext; }

    // The thread's pthread id; 0 without platform object.
    uintptr_t GetSystemID() const;
    // A fraction of one processor.
    bool GetCPUUsage(double& outUsage) const;
    bool GetCPUTimes(double& outSystemSeconds, double& outUserSeconds) const;
    // 0 at creation means the manager's default (the main task's: its thread's); fixed at the
    // first call.
    size_t GetStackSize();
    // Bytes left on the calling task's stack.
    static size_t GetCurrentFreeStackSize();

    // 0 or less yields the processor. A positive time suspends the calling task at most that
    // long (WakeUp ends it early); a thread that runs no task returns at once.
    static void Sleep(int32_t inMilliseconds);
    void WakeUp();

    // Messages.
    bool AddMessage(VMessage* inMessage);
    // Made if needed; null only when memory runs out.
    VMessageQueue* RetainMessageQueue();
    VMessageQueue* _AllocateMessageQueueIfNeeded();
    void CancelMessages(IMessageable* inTarget);
    int32_t CountMessagesFor(IMessageable* inTarget);
    bool IsAnyMessagePending();
    uint32_t GetMessageQueueStamp();
    // Wakes the task from a wait for messages without a message.
    void SetMessageQueueEvent();
    // Executes the calling task's pending messages without waiting; with nothing pending, runs
    // the idle check when allowed. True when a message was executed.
    static bool ExecuteMessages(bool inAllowIdle);
    static bool ExecuteMessagesWithTimeout(int32_t inMilliseconds, bool inAllowIdle);
    static VMessage* RetainMessageWithTimeout(int32_t inMilliseconds);
    // Executes messages for inMilliseconds; *outElapsed is true when the whole time passed, false
    // when the task was woken without a message or is dying.
    static bool WaitAndExecuteMessages(int32_t inMilliseconds, bool* outElapsed);
    static bool WaitAndExecuteMessages();
    // The stamp SetMessageQueueEvent advances. Code that must not miss a wake-up reads it while
    // its condition is still guarded, then waits from it: a wake-up in between ends the wait at
    // once. False when the task is dying, or outside a task.
    uint32_t GetMessageQueueEventStamp() const { return fQueueEventStamp.load(std::memory_order_acquire); }
    static bool WaitAndExecuteMessagesSince(uint32_t inEventStamp);
    // Whether the task finished executing its messages less than a second ago.
    bool IsResponding() const;
    // The calling task stops counting as activity.
    static void ReleaseCurrentActivityToken();

    // Task-local data: slots by keys from VTaskMgr::CreateDataKey. Null for key 0, for a key
    // the task never set, or outside a task.
    static void* GetCurrentData(size_t inKey);
    static void SetCurrentData(size_t inKey, void* inValue);
    // Calls the destructors of the non-null slots whose keys still exist, then empties the slots.
    void DisposeAllData();

    // Idlers. Registering twice keeps one entry.
    void RegisterIdler(IIdleable* inIdler);
    void UnregisterIdler(IIdleable* inIdler);
    // On the task itself: calls each registered idler.
    void CallIdlers();
    bool IsIdlerRegistered(const IIdleable* inIdler) const;
    // Calls the idler when the task lists it, keeping it from being unregistered meanwhile.
    bool _CallRegisteredIdler(IIdleable* inIdler);

    // International text. The calling task's manager; on a thread without a task the
    // process's; null when neither exists. Not retained.
    static VIntlMgr* GetCurrentIntlManager();
    static void SetCurrentIntlManager(VIntlMgr* inManager);
    // Installs a new manager of that dialect on the calling task.
    static void SetCurrentDialectCode(uint32_t inDialect, uint8_t inOptions);
    uint32_t GetDialectCode() const;
    // '@' when there is no manager.
    static UniChar GetWildChar();
    // The process object's manager (VProcess::GetIntlMgr), or null without process object. New
    // tasks start with a clone of it.
    static VIntlMgr* GetProcessIntlManager();

    // Errors: the calling task's stack of error contexts.
    // Made on demand when inCreate is true. Not retained: it lives as long as the task.
    static VErrorTaskContext* GetErrorContext(bool inCreate);
    // Pushes the error on the calling task's innermost context; the caller keeps its reference.
    // An error that no context silences is reported to the debug manager. False for a null
    // error, outside a task, or when it could not be stored.
    static bool PushError(VErrorBase* inError);
    // PushError, then releases the caller's reference.
    static void PushRetainedError(VErrorBase* inError);
    static void PushErrors(const VErrorContext* inContext);
    static void FlushErrors();
    // The calling task's answers: 0 and false without error state.
    static VError GetLastError();
    static bool FailedForMemory();

    // JSON objects the calling task keeps alive until it ends or unregisters them (retained).
    static void RegisterJSONObject(VJSONObject* inObject);
    static void UnregisterJSONObject(VJSONObject* inObject);

    // For the platform layer and the manager.
    XMacTask* GetPlatformTask() const { return fPlatformTask; }
    // The task body, on the task's own thread or fiber.
    void _Run();
    void _SetStateDead();
    // Sets the wait reason when none is set; true when this call set it.
    bool _BeginWait(ETaskWaitReason inReason);
    void _EndWait();
    VTask* _GetNextTask() const { return fNextTask; }
    void _SetNextTask(VTask* inTask) { fNextTask = inTask; }
    uintptr_t GetStackMark() const { return fStackMark; }

private:
    void _InitTask(size_t inStackSize);
    // The end common to the task body and Exit.
    void _Stop();
    void _SetStateDying();
    void _ClearJSONObjects();
    bool _ExecuteMessages(VMessage* inMessage, bool inAllowIdle);
    void _CheckIdleEvents();
    VMessage* _RetainMessageWithTimeout(int32_t inMilliseconds, bool* outTimedOut);

    XMacTask* fPlatformTask = nullptr;
    int32_t fID = 0;
    ETaskStyle fStyle;
    VTaskMgr* fManager;
    std::atomic<int32_t> fState{TS_CREATED};
    std::atomic<int32_t> fWaitReason{eWaitReasonNone};
    std::atomic<uint32_t> fDyingSince{0};
    VTask* fNextTask = nullptr;
    uint32_t fLastIdleTicks = 0;
    uint32_t fIdlePeriod = 1;
    uintptr_t fStackMark = 0;
    std::function<void()> fRunFunction;
    // Under the manager's lock.
    VString* fName = nullptr;
    VValueBag* fProperties = nullptr;
    std::atomic<VMessageQueue*> fMessageQueue{nullptr};
    std::atomic<uint32_t> fQueueEventStamp{0};
    size_t fStackSize = 0;
    VErrorTaskContext* fErrorContext = nullptr;
    bool fIsMain = false;
    bool fIsFiber = false;
    bool fIsThread = false;
    std::atomic<OsType> fKind{0};
    VDebugContext fDebugContext;
    // Under the manager's lock.
    std::vector<IIdleable*> fIdlers;
    const IIdleable* fCallingIdler = nullptr;
    bool fCallingIdlers = false;
    bool fInIdle = false;
    std::vector<VTaskMgr::DataSlot> fDataSlots;
    VIntlMgr* fIntlMgr = nullptr;
    // Under the manager's lock; retained queues.
    std::vector<VMessageQueue*>* fDeathWaiters = nullptr;
    // What a fiber sleeps on; accessed through std::atomic_ref only, as the scheduler's waits
    // take a plain flag.
    alignas(std::atomic_ref<int32_t>::required_alignment) int32_t fFiberWakeFlag = 0;
    std::atomic<uint32_t> fLastMessageTime{0};
    std::atomic<VActivityToken*> fActivityToken{nullptr};
    std::set<VJSONObject*> fJSONObjects;

    friend class VTaskMgr;
};

} // namespace kova
