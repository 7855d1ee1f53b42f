// Our stand-in for the run loops of CoreFoundation, reduced to what the toolbox schedules on them:
// repeating and one-shot timers. Every thread has a loop of its own, made on first use; the main
// loop is the process's main thread's. A loop does its work only while its own thread runs it
// (RunLoopRunInMode), and calls the timers' functions there.
#pragma once

#include <cstdint>

namespace kova::cf
{

struct RunLoop;
struct RunLoopTimer;

using RunLoopTimerCallBack = void (*)(RunLoopTimer* inTimer, void* inInfo);

enum RunLoopRunResult : int32_t
{
    kRunLoopRunFinished = 1, // nothing to wait for
    kRunLoopRunStopped = 2,  // RunLoopStop
    kRunLoopRunTimedOut = 3,
    kRunLoopRunHandledSource = 4,
};

// Seconds of the monotonic clock: the time base of fire dates.
double AbsoluteTimeGetCurrent();

RunLoop* RunLoopGetCurrent();
RunLoop* RunLoopGetMain();

// A timer with one reference for the caller, first firing at inFireDate and then every
// inInterval seconds (once when the interval is 0 or less). Null when memory runs out.
RunLoopTimer* RunLoopTimerCreate(double inFireDate, double inInterval, RunLoopTimerCallBack inCallBack,
                                 void* inInfo);
void RunLoopTimerRetain(RunLoopTimer* inTimer);
// Null is ignored.
void RunLoopTimerRelease(RunLoopTimer* inTimer);
// The loop keeps a reference until the timer is invalidated. A timer belongs to one loop.
void RunLoopAddTimer(RunLoop* inLoop, RunLoopTimer* inTimer);
// The timer never fires again and leaves its loop.
void RunLoopTimerInvalidate(RunLoopTimer* inTimer);
bool RunLoopTimerIsValid(const RunLoopTimer* inTimer);
// Counts the loop's timers, for tests.
int32_t RunLoopCountTimers(RunLoop* inLoop);

// Runs the calling thread's loop for at most inSeconds: fires the due timers and waits for the
// next one. Returns at once with kRunLoopRunFinished when the loop has no timer.
RunLoopRunResult RunLoopRunInMode(double inSeconds, bool inReturnAfterSourceHandled);
// Makes the loop's RunLoopRunInMode return kRunLoopRunStopped.
void RunLoopStop(RunLoop* inLoop);

} // namespace kova::cf
