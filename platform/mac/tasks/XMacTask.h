// XMacTask is the platform half of a task (VTask): XMacTask_preemptive runs the task on a thread
// of its own, with its own stack and a guard page, held at a start gate (a semaphore) until the
// task is run; XMacTask_fiber runs it on an emulated fiber (XMacFiber) that the running task
// switches to. The main thread's platform task is a preemptive one built around the thread.
//
// On this platform a thread's id is its kernel thread id: the new thread publishes it before it
// waits at the gate, so that the task has its id as soon as it is made.
#pragma once

#include "kernel/values/VObject.h"
#include "platform/mac/tasks/XMacThreadStack.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <pthread.h>

namespace kova
{

namespace mach
{
struct Semaphore;
} // namespace mach

class IMessageQueueWaiter;
class VTask;
class XMacFiber;
class XMacRunLoopWaiter;

// What a fiber carries: its task and the task's id (0 without task).
struct _FiberData
{
    explicit _FiberData(VTask* inTask) { SetTask(inTask); }
    void SetTask(VTask* inTask);

    VTask* fTask = nullptr;
    int32_t fTaskID = 0;
};

class XMacTask : public VObject
{
public:
    // With inAdoptedThread, the platform task of the calling thread, whose stack it reads.
    XMacTask(VTask* inTask, bool inAdoptedThread);
    XMacTask(const XMacTask&) = delete;
    XMacTask& operator=(const XMacTask&) = delete;
    ~XMacTask() override;

    virtual bool Run() = 0;
    virtual void WakeUp() = 0;
    virtual void Freeze() = 0;
    virtual void Sleep(int32_t inMilliseconds) = 0;
    virtual bool CheckSystemMessages() = 0;
    // Ends the calling task: marks it dead and ends its thread, or switches to inNextTask's
    // fiber.
    virtual void Exit(VTask* inNextTask) = 0;
    // The id the task takes from its thread; 0 when it has none.
    virtual int32_t GetValueForVTaskID() const { return 0; }
    // What the task waits for its messages in, on its own thread; null for its queue's event.
    virtual IMessageQueueWaiter* GetMessageQueueWaiter() { return nullptr; }
    virtual bool GetCPUUsage(double& outUsage) const;
    virtual bool GetCPUTimes(double& outSystemSeconds, double& outUserSeconds) const;

    uintptr_t GetSystemID() const { return uintptr_t(fThread); }
    int32_t GetThreadPort() const { return fThreadPort.load(std::memory_order_acquire); }
    VTask* GetTask() const { return fTask; }
    VTask* GetReturnTask() const { return fReturnTask; }
    XMacFiber* GetFiber() const { return fFiber; }
    size_t GetStackSize() const { return fStackSize; }
    uintptr_t GetStackTop() const { return fStackTop; }
    bool IsAdoptedThread() const { return fAdoptedThread; }

protected:
    // On the task's own thread or fiber, before its body runs.
    void _RecordStart(uintptr_t inStackTop);

    pthread_t fThread{};
    std::atomic<int32_t> fThreadPort{0};
    XMacFiber* fFiber = nullptr;
    VTask* fTask;
    VTask* fReturnTask = nullptr;
    size_t fStackSize = 0;
    uintptr_t fStackTop = 0;
    bool fAdoptedThread;
};

class XMacTask_preemptive : public XMacTask
{
public:
    // A suspended thread for the task; null (the error raised) when it cannot be made.
    static XMacTask_preemptive* Create(VTask* inTask);
    // The platform task of the calling thread (inAdoptedThread true), which then waits for its
    // messages in the thread's run loop, unless it is a fiber.
    XMacTask_preemptive(VTask* inTask, bool inAdoptedThread);
    // A thread still at its gate ends without running the task; the thread is joined and its
    // stack freed.
    ~XMacTask_preemptive() override;

    bool Run() override;
    void WakeUp() override;
    void Freeze() override;
    void Sleep(int32_t inMilliseconds) override;
    bool CheckSystemMessages() override { return false; }
    void Exit(VTask* inNextTask) override;
    int32_t GetValueForVTaskID() const override { return GetThreadPort(); }
    IMessageQueueWaiter* GetMessageQueueWaiter() override;

    const XMacThreadStack& GetThreadStack() const { return fStack; }

private:
    bool _CreateThread();
    static void* _ThreadProc(void* inPlatformTask);

    XMacThreadStack fStack;
    mach::Semaphore* fSemaphore = nullptr;
    // Posted by the new thread once its id is published.
    mach::Semaphore* fReady = nullptr;
    XMacRunLoopWaiter* fRunLoopWaiter = nullptr;
    bool fThreadCreated = false;
};

class XMacTask_fiber : public XMacTask
{
public:
    explicit XMacTask_fiber(VTask* inTask) : XMacTask(inTask, false) {}

    // Makes the fiber and switches to it; returns when control comes back. False when the fiber
    // cannot be made or the calling thread is no fiber task.
    bool Run() override;
    void WakeUp() override;
    void Freeze() override;
    void Sleep(int32_t inMilliseconds) override;
    bool CheckSystemMessages() override { return false; }
    void Exit(VTask* inNextTask) override;

private:
    static void _FiberProc(void* inData);

    alignas(std::atomic_ref<int32_t>::required_alignment) int32_t fWakeCounter = 0;
};

} // namespace kova
