#include "platform/mac/tasks/XMacRunLoopWaiter.h"

#include "platform/mac/frameworks/CFRunLoop.h"

#include <new>

namespace kova
{

XMacRunLoopWaiter* XMacRunLoopWaiter::Create()
{
    cf::RunLoop* loop = cf::RunLoopGetCurrent();
    // The source only has to end the run: its function has nothing to do.
    cf::RunLoopSource* source = cf::RunLoopSourceCreate([](cf::RunLoopSource*, void*) {}, nullptr);
    XMacRunLoopWaiter* waiter =
        loop != nullptr && source != nullptr ? new (std::nothrow) XMacRunLoopWaiter(loop, source) : nullptr;
    if (waiter == nullptr)
        cf::RunLoopSourceRelease(source);
    return waiter;
}

XMacRunLoopWaiter::~XMacRunLoopWaiter()
{
    cf::RunLoopSourceInvalidate(fSource);
    cf::RunLoopSourceRelease(fSource);
}

void XMacRunLoopWaiter::Wait(int32_t inMilliseconds)
{
    if (fDepth++ == 0)
        cf::RunLoopAddSource(fLoop, fSource);
    cf::RunLoopRunInMode(inMilliseconds > 0 ? inMilliseconds / 1000.0 : 0.0, true);
    if (--fDepth == 0)
        cf::RunLoopRemoveSource(fLoop, fSource);
}

void XMacRunLoopWaiter::WakeUp()
{
    cf::RunLoopSourceSignal(fSource);
    cf::RunLoopWakeUp(fLoop);
}

} // namespace kova
