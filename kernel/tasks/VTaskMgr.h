// VTaskMgr is the one task manager (sInstance, made by static initialisation): it lists the tasks
// from their Run until they are purged after their death, hands out task ids, knows the calling
// thread's task, adopts the main thread as the main task at Init, keeps the data keys and the
// delayed messages, and holds the fiber scheduler through which fiber tasks yield and wait.
//
// Task ids: a thread task's id is its thread's kernel id; a fiber task's is a negative number of
// its own; a thread that runs no task gets a negative "foreign" id, drawn once per thread, so
// that locks taken on such threads exclude each other; 0 always means "no task". Foreign ids are
// given before Init and after DeInit too, for the same reason.
//
// The manager's lock is recursive per thread. A task never holds it while it waits for a
// message, an event or another task; data destructors, reposted delayed messages, idler calls
// and the release of purged tasks run after it is released.
#pragma once

#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/tasks/XMacTaskMgr.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kova
{

class IFiberScheduler;
class IMessageable;
class VMessage;
class VProcess;
class VTask;

class VTaskMgr : public VObject
{
public:
    VTaskMgr() = default;
    VTaskMgr(const VTaskMgr&) = delete;
    VTaskMgr& operator=(const VTaskMgr&) = delete;
    ~VTaskMgr() override = default;

    static VTaskMgr* Get() { return &sInstance; }
    // Makes the calling thread the main task; fibers when the process asks for them (a null
    // process asks for none). A second Init without DeInit returns the first result.
    static bool Init(VProcess* inProcess);
    static void DeInit();
    static bool IsInited() { return sInstanceInited.load(std::memory_order_acquire); }

    // The calling task's id; on a thread without a task, the thread's foreign id (-1, -2, ...),
    // fixed at its first call. Never 0 on a live thread.
    static int32_t GetCurrentTaskID();
    // The calling thread's task, or null. Not retained: a task lives while it runs.
    static VTask* GetCurrentTask();
    // Whether the calling task is a fiber, which must wait through the scheduler rather than
    // block its thread.
    static bool IsCurrentTaskFiber();
    // Null before Init and after DeInit. Not retained.
    VTask* GetMainTask() const { return fMainTask; }
    // The same, retained: safe on any thread while the manager may be going down.
    VTask* RetainMainTask() const;

    int32_t GetNewTaskID(VTask* inTask);
    void _TaskStarted(VTask* inTask);
    void _TaskStopped(VTask* inTask);

    void RegisterTask(VTask* inTask);
    void PurgeDeadTasks();
    // The first listed task with the id that is not dead, retained; or null.
    VTask* RetainTaskByID(int32_t inID);
    VRefPtr<VTask> GetTaskByID(int32_t inID);
    // Appends every listed task.
    void GetTasks(std::vector<VRefPtr<VTask>>& ioTasks);
    // inAlive: the tasks created, run or running; otherwise the running and dying ones.
    int32_t GetTaskCount(bool inAlive);
    uint32_t GetTaskListStamp() const { return fTaskListStamp.load(std::memory_order_acquire); }
    // On the main task: kills every other task and waits at most inMilliseconds for them to be
    // gone. True when no task but the main one is listed.
    bool KillAllTasks(int32_t inMilliseconds);

    // A fiber lets other fibers run if due; others do nothing.
    static void Yield();
    // A fiber lets other fibers run now; others yield the processor.
    static void YieldNow();
    // Hands control to the fiber task when it shares the calling task's return task.
    void YieldToFiber(VTask* inTask);
    // Suspend the calling fiber until *ioFlag differs from inValueSeen (at most inMilliseconds
    // for the timed form), through the scheduler. Callers check their condition again after
    // each return.
    static void CurrentFiberWaitFlag(int32_t* ioFlag, int32_t inValueSeen);
    static void CurrentFiberWaitFlagWithTimeout(int32_t* ioFlag, int32_t inValueSeen, int32_t inMilliseconds);

    size_t GetDefaultStackSize();
    void SetDefaultStackSize(size_t inSize);
    size_t GetStackSizeForMainTask();
    size_t GetCurrentFreeStackSize() const;

    // A null scheduler is ignored.
    void SetFiberScheduler(IFiberScheduler* inScheduler);
    // Null before Init.
    IFiberScheduler* RetainFiberScheduler();
    void FiberStoppedBeingScheduled(VTask* inTask);
    void SetSystemEventPolling(bool inPolling);
    bool IsSystemEventPolling() const { return fSystemEventPolling.load(std::memory_order_acquire); }
    static void WakeUpSystemEventPolling();
    void PollAndExecuteUpdateEvent();
    void SetDirectUpdate(bool inDirect);
    // A repeating timer on the calling thread's run loop that polls update events, nested.
    void MAC_BeginHandlingUpdateEventsOnly();
    void MAC_StopHandlingUpdateEventsOnly();
    static void MAC_RunLoopTimerCallback();

    // Data keys: 1 and up; a deleted key is handed out again before a new one.
    size_t CreateDataKey(void (*inDestructor)(void*));
    void DeleteDataKey(size_t inKey);
    bool CheckDataKey(size_t inKey) const;
    // A task's slot: the value and the generation of its key when it was set. Deleting a key
    // moves its generation on, so that the values set under it are neither read nor destroyed
    // through the key that later reuses its number.
    struct DataSlot
    {
        void* fValue = nullptr;
        uint32_t fGeneration = 0;
    };
    // The generation of a live key; false for key 0, a key beyond the entries or a deleted one.
    bool _GetDataKeyGeneration(size_t inKey, uint32_t& outGeneration) const;
    // Calls the destructor of each non-null slot's key (index i is key i + 1) while the key is
    // the one the value was set under.
    void DisposeData(const DataSlot* inSlots, size_t inCount);

    // Delayed messages. The message carries its target's context already.
    bool RegisterDelayedMessage(VMessage* inMessage, int32_t inDelayMilliseconds);
    // Reposts the delayed messages whose time has come.
    void _CheckDelayedMessages();
    // Delayed and queued messages whose target is the object.
    int32_t CountMessagesFor(IMessageable* inTarget);
    void CancelMessages(IMessageable* inTarget);
    int32_t CountDelayedMessages() const;

    // The tick count the delayed messages are measured with: VSystem::GetCurrentTicks unless a
    // test installs its own clock (null restores the system's).
    void SetTickSource(uint32_t (*inSource)());
    uint32_t GetCurrentTicks() const;

    XMacTaskMgr& GetPlatform() { return fPlatform; }
    std::recursive_mutex& _GetLock() const { return fLock; }

    static VTaskMgr sInstance;

private:
    friend class VTask;

    bool _Init(VProcess* inProcess);
    void _DeInit();
    size_t _ComputeMainTaskStackSize();
    // Removes and returns, with its reference, the first delayed message that matches.
    VMessage* _TakeDelayedMessage(const std::function<bool(const VMessage*, uint32_t)>& inMatch);

    static std::atomic<bool> sInstanceInited;

    VTask* fMainTask = nullptr;
    size_t fMainTaskStackSize = 0;
    size_t fDefaultStackSize = 0;
    mutable std::recursive_mutex fLock;
    XMacTaskMgr fPlatform;
    std::vector<VMessage*> fDelayedMessages;
    std::vector<uint32_t> fDelayedDues;
    int32_t fTaskIDCounter = 0;
    std::vector<int32_t> fRecycledTaskIDs;
    struct DataKey
    {
        void (*fDestructor)(void*);
        bool fDeleted;
        uint32_t fGeneration;
    };
    std::vector<DataKey> fDataKeys;
    IFiberScheduler* fScheduler = nullptr;
    std::atomic<bool> fSystemEventPolling{false};
    std::atomic<bool> fPurgeNeeded{false};
    std::atomic<uint32_t> fTaskListStamp{0};
    std::atomic<uint32_t (*)()> fTickSource{nullptr};
    int32_t fUpdateEventsNesting = 0;
};

} // namespace kova
