// XMacFiber emulates a fiber, a unit of execution that runs only when another hands control to it
// explicitly, with a thread of its own: the thread sleeps on its semaphore until some fiber
// switches to it, and the switching fiber then sleeps on its own semaphore, so exactly one fiber
// of a group runs at a time. The free functions follow the shape of the Windows fiber interface,
// which the fiber tasks are written against.
//
// A fiber made from an existing thread (ConvertThreadToFiber) has no procedure and no stack of its
// own; a created fiber (CreateFiberEx) runs its procedure on its own thread once switched to, and
// its thread ends when the procedure returns or when the fiber is deleted. A fiber is never
// deleted by its own thread.
#pragma once

#include "platform/mac/frameworks/MachThread.h"
#include "platform/mac/tasks/XMacThreadStack.h"

#include <atomic>
#include <cstddef>
#include <pthread.h>

namespace kova
{

class XMacFiber
{
public:
    using Proc = void (*)(void* inParam);

    // A new fiber whose thread waits to be switched to; null, with the error raised, on failure.
    static XMacFiber* Create(size_t inStackSize, Proc inProc, void* inParam);
    // Makes the calling thread a fiber; null, with the error raised, on failure.
    static XMacFiber* CreateFiberForThread(void* inParam);
    // The calling thread's fiber, or null.
    static XMacFiber* GetCurrent();

    XMacFiber(const XMacFiber&) = delete;
    XMacFiber& operator=(const XMacFiber&) = delete;
    ~XMacFiber();

    // Switches from the calling thread's fiber to this one; returns when a fiber switches back.
    // Switching to the current fiber returns at once; a thread that is no fiber cannot switch.
    bool Run();
    // Ends the fiber's thread: sets the abort flag, wakes the fiber and joins its thread.
    void Abort();

    void* GetParam() const { return fParam; }
    bool IsCreated() const { return fProc != nullptr; }
    pthread_t GetThread() const { return fThread; }
    size_t GetStackSize() const { return fStack.GetStackSize(); }

    // The fiber's deletion: see DeleteFiber.
    static void Delete(XMacFiber* inFiber);

private:
    XMacFiber(Proc inProc, void* inParam, mach::semaphore_t inSemaphore);

    static void* _ThreadProc(void* inFiber);
    // With the fiber's semaphore taken after a wait: ends the calling thread when asked to.
    void _ExitIfAborted();

    Proc fProc;
    void* fParam;
    mach::semaphore_t fSemaphore;
    XMacThreadStack fStack;
    pthread_t fThread{};
    bool fThreadStarted = false;
    std::atomic<bool> fAbort{false};
};

XMacFiber* ConvertThreadToFiber(void* inParam);
// The commit size and the flags are not used.
XMacFiber* CreateFiberEx(size_t inCommitSize, size_t inReserveSize, uint32_t inFlags, XMacFiber::Proc inProc,
                         void* inParam);
void SwitchToFiber(XMacFiber* inFiber);
// Nothing for null. A fiber made from a thread is freed (and its thread is no fiber any more when
// it is the caller). A created fiber is aborted, its thread joined and its stack freed, unless it
// is the caller's own fiber, in which case nothing happens.
void DeleteFiber(XMacFiber* inFiber);
XMacFiber* GetCurrentFiber();
// The param of the calling thread's fiber; null when the thread is no fiber.
void* GetFiberData();

} // namespace kova
