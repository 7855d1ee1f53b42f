// XMacRunLoopWaiter is how the main task waits for its messages: in the main run loop, so that the
// loop's timers and sources (file-system events, the time zone's transitions, update events) run
// while the task has nothing else to do, as the main run loop of an application does. The task's
// queue signals the waiter's source when a message comes, which ends the loop's run at once.
#pragma once

#include "kernel/tasks/VMessageQueue.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

namespace cf
{
struct RunLoop;
struct RunLoopSource;
} // namespace cf

class XMacRunLoopWaiter : public VObject, public IMessageQueueWaiter
{
public:
    // A waiter that runs the calling thread's run loop; null when it cannot be made.
    static XMacRunLoopWaiter* Create();
    ~XMacRunLoopWaiter() override;
    XMacRunLoopWaiter(const XMacRunLoopWaiter&) = delete;
    XMacRunLoopWaiter& operator=(const XMacRunLoopWaiter&) = delete;

    // On the loop's thread: runs the loop until a timer or source was served, WakeUp was called,
    // or inMilliseconds have passed.
    void Wait(int32_t inMilliseconds) override;
    void WakeUp() override;

private:
    XMacRunLoopWaiter(cf::RunLoop* inLoop, cf::RunLoopSource* inSource) : fLoop(inLoop), fSource(inSource) {}

    cf::RunLoop* fLoop;
    // In the loop only while the thread waits in it, so that a loop run by hand meanwhile is
    // the same as without it.
    cf::RunLoopSource* fSource;
    // Waits within waits: a timer or source of the loop may wait for messages itself.
    int32_t fDepth = 0;
};

} // namespace kova
