// Our stand-in for the run loops of CoreFoundation, reduced to what the toolbox schedules on them:
// repeating and one-shot timers, sources that wait for a file descriptor to be readable, and
// sources that are signalled. Every thread has a loop of its own, made on first use; the main loop
// is the process's main thread's. A loop does its work only while its own thread runs it
// (RunLoopRunInMode), and calls the timers' and sources' functions there; adding to a loop from
// another thread wakes it. The main task runs the main loop while it waits for its messages.
#pragma once

#include <cstdint>

namespace kova::cf
{

struct RunLoop;
struct RunLoopSource;
struct RunLoopTimer;

using RunLoopTimerCallBack = void (*)(RunLoopTimer* inTimer, void* inInfo);
using RunLoopSourceCallBack = void (*)(RunLoopSource* inSource, void* inInfo);

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

// A source with one reference for the caller whose function is called each time the loop finds the
// descriptor readable (or closed at the other end); the function must read what is there. The
// descriptor stays the caller's. Null when memory runs out.
RunLoopSource* RunLoopFileDescriptorSourceCreate(int inFD, RunLoopSourceCallBack inCallBack, void* inInfo);
// A source with one reference for the caller whose function is called once the loop runs after
// RunLoopSourceSignal (the version 0 sources of CoreFoundation). Null when memory runs out.
RunLoopSource* RunLoopSourceCreate(RunLoopSourceCallBack inCallBack, void* inInfo);
// Marks the source to be called; from any thread, without waking its loop (RunLoopWakeUp does).
void RunLoopSourceSignal(RunLoopSource* inSource);
void RunLoopSourceRetain(RunLoopSource* inSource);
// Null is ignored.
void RunLoopSourceRelease(RunLoopSource* inSource);
// The loop keeps a reference until the source is invalidated. A source belongs to one loop.
void RunLoopAddSource(RunLoop* inLoop, RunLoopSource* inSource);
// The loop lets the source go, which stays valid and may be added again.
void RunLoopRemoveSource(RunLoop* inLoop, RunLoopSource* inSource);
// The source is never called again and leaves its loop.
void RunLoopSourceInvalidate(RunLoopSource* inSource);
bool RunLoopSourceIsValid(const RunLoopSource* inSource);
// Counts the loop's sources, for tests.
int32_t RunLoopCountSources(RunLoop* inLoop);

// Runs the calling thread's loop for at most inSeconds: fires the due timers, calls the sources
// whose descriptors are readable, and waits for the next of either. Returns at once with
// kRunLoopRunFinished when the loop has neither timer nor source.
RunLoopRunResult RunLoopRunInMode(double inSeconds, bool inReturnAfterSourceHandled);
// Makes the loop's RunLoopRunInMode return kRunLoopRunStopped.
void RunLoopStop(RunLoop* inLoop);
// Wakes the loop's thread out of its wait, from any thread, so that it looks at its signalled
// sources; a wake-up alone ends no run.
void RunLoopWakeUp(RunLoop* inLoop);

} // namespace kova::cf
