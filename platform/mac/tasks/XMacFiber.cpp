#include "platform/mac/tasks/XMacFiber.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/values/KovaTypes.h"

#include <new>

namespace kova
{

namespace
{

thread_local XMacFiber* sCurrentFiber = nullptr;

// Waits on the semaphore, again after every interruption.
void WaitOn(mach::semaphore_t inSemaphore)
{
    while (mach::SemaphoreWait(inSemaphore) == mach::KERN_ABORTED)
    {
    }
}

} // namespace

XMacFiber::XMacFiber(Proc inProc, void* inParam, mach::semaphore_t inSemaphore)
    : fProc(inProc), fParam(inParam), fSemaphore(inSemaphore)
{
}

XMacFiber::~XMacFiber()
{
    mach::SemaphoreDestroy(fSemaphore);
    fStack.Free();
}

XMacFiber* XMacFiber::Create(size_t inStackSize, Proc inProc, void* inParam)
{
    if (inProc == nullptr)
        return nullptr;
    XMacThreadStack stack;
    if (!stack.Allocate(inStackSize))
        return nullptr;
    mach::semaphore_t semaphore = nullptr;
    mach::kern_return_t result = mach::SemaphoreCreate(&semaphore, 0);
    if (result != mach::KERN_SUCCESS)
    {
        stack.Free();
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(result)));
        return nullptr;
    }
    XMacFiber* fiber = new (std::nothrow) XMacFiber(inProc, inParam, semaphore);
    if (fiber == nullptr)
    {
        mach::SemaphoreDestroy(semaphore);
        stack.Free();
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(mach::KERN_RESOURCE_SHORTAGE)));
        return nullptr;
    }
    fiber->fStack = stack;
    if (!fiber->fStack.StartThread(&_ThreadProc, fiber, fiber->fThread))
    {
        delete fiber;
        return nullptr;
    }
    fiber->fThreadStarted = true;
    return fiber;
}

XMacFiber* XMacFiber::CreateFiberForThread(void* inParam)
{
    mach::semaphore_t semaphore = nullptr;
    mach::kern_return_t result = mach::SemaphoreCreate(&semaphore, 0);
    if (result != mach::KERN_SUCCESS)
    {
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(result)));
        return nullptr;
    }
    XMacFiber* fiber = new (std::nothrow) XMacFiber(nullptr, inParam, semaphore);
    if (fiber == nullptr)
    {
        mach::SemaphoreDestroy(semaphore);
        _ThrowError(MakeVError(kCOMPONENT_MACH, uint32_t(mach::KERN_RESOURCE_SHORTAGE)));
        return nullptr;
    }
    fiber->fThread = pthread_self();
    sCurrentFiber = fiber;
    return fiber;
}

XMacFiber* XMacFiber::GetCurrent()
{
    return sCurrentFiber;
}

void* XMacFiber::_ThreadProc(void* inFiber)
{
    XMacFiber* fiber = static_cast<XMacFiber*>(inFiber);
    sCurrentFiber = fiber;
    WaitOn(fiber->fSemaphore);
    // A fiber deleted before anybody switched to it ends here without running its procedure.
    fiber->_ExitIfAborted();
    fiber->fProc(fiber->fParam);
    sCurrentFiber = nullptr;
    return nullptr;
}

void XMacFiber::_ExitIfAborted()
{
    if (fAbort.load(std::memory_order_acquire))
    {
        sCurrentFiber = nullptr;
        pthread_exit(nullptr);
    }
}

bool XMacFiber::Run()
{
    XMacFiber* current = sCurrentFiber;
    if (current == this)
        return true;
    if (current == nullptr)
        return false;
    mach::SemaphoreSignal(fSemaphore);
    WaitOn(current->fSemaphore);
    current->_ExitIfAborted();
    return true;
}

void XMacFiber::Abort()
{
    fAbort.store(true, std::memory_order_release);
    mach::SemaphoreSignal(fSemaphore);
    if (fThreadStarted)
    {
        pthread_join(fThread, nullptr);
        fThreadStarted = false;
    }
}

void XMacFiber::Delete(XMacFiber* inFiber)
{
    if (inFiber == nullptr)
        return;
    if (!inFiber->IsCreated())
    {
        if (sCurrentFiber == inFiber)
            sCurrentFiber = nullptr;
        delete inFiber;
        return;
    }
    if (sCurrentFiber == inFiber)
        return;
    inFiber->Abort();
    delete inFiber;
}

XMacFiber* ConvertThreadToFiber(void* inParam)
{
    return XMacFiber::CreateFiberForThread(inParam);
}

XMacFiber* CreateFiberEx(size_t, size_t inReserveSize, uint32_t, XMacFiber::Proc inProc, void* inParam)
{
    return XMacFiber::Create(inReserveSize, inProc, inParam);
}

void SwitchToFiber(XMacFiber* inFiber)
{
    if (inFiber != nullptr)
        inFiber->Run();
}

void DeleteFiber(XMacFiber* inFiber)
{
    XMacFiber::Delete(inFiber);
}

XMacFiber* GetCurrentFiber()
{
    return sCurrentFiber;
}

void* GetFiberData()
{
    XMacFiber* fiber = sCurrentFiber;
    return fiber != nullptr ? fiber->GetParam() : nullptr;
}

} // namespace kova
