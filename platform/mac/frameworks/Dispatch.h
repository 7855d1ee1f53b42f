// Our stand-in for the work queues of Grand Central Dispatch: the global queues, on which blocks
// of work run on threads of a shared pool. The pool makes a thread whenever a block finds none
// idle (so a block that waits never holds up the others) and lets a thread go after it has been
// idle a while. Pool threads run no toolbox task.
//
//     dispatch::Async(dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0), [=] { ... });
//
// Beside the queues: groups that count pending work, and event sources and I/O channels, whose
// events one thread of their own waits for (epoll) and whose handlers run on the queues. A
// process source watches a child's exit through a pidfd, which never reaps the child; a timer
// source fires once or repeatedly; a channel reads a descriptor to its end. The handlers of one
// source or channel run one at a time, in order. Groups, sources and channels are reference
// counted: their Create gives the caller one reference, and pending work holds its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kova::dispatch
{

struct Queue;

inline constexpr long kQueuePriorityHigh = 2;
inline constexpr long kQueuePriorityDefault = 0;
inline constexpr long kQueuePriorityLow = -2;
inline constexpr long kQueuePriorityBackground = INT16_MIN;

// dispatch_get_global_queue: the concurrent queue of the priority; never null, never released.
// The flags must be 0.
Queue* GetGlobalQueue(long inPriority, unsigned long inFlags);

// dispatch_async: runs the block on the queue and returns at once.
void Async(Queue* inQueue, std::function<void()> inBlock);

// For tests: the blocks started so far on all queues.
uint64_t GetBlocksRunForTesting();

// A time-out that never ends.
inline constexpr int64_t kForever = -1;

// ----- Groups
struct Group;

// Null when memory runs out.
Group* GroupCreate();
void Retain(Group* inGroup);
void Release(Group* inGroup);
void GroupEnter(Group* inGroup);
// Each leave matches an enter; the last one runs the blocks waiting for the group to be empty.
void GroupLeave(Group* inGroup);
// Runs the block on the queue once the group is empty: at once when it is.
void GroupNotify(Group* inGroup, Queue* inQueue, std::function<void()> inBlock);
// Waits at most inMilliseconds (kForever: no limit) for the group to be empty; true when it is.
bool GroupWait(Group* inGroup, int64_t inMilliseconds);

// ----- Event sources
struct Source;

enum class SourceType
{
    // The handle is a process id; the mask kProcExit. The event comes once, when the process
    // has ended (also when it had ended before the source was resumed).
    kProcess,
    // No handle; see SourceSetTimer.
    kTimer,
};
inline constexpr unsigned long kProcExit = 0x80000000ul;

// A suspended source whose handlers run on the queue; null when memory runs out.
Source* SourceCreate(SourceType inType, uintptr_t inHandle, unsigned long inMask, Queue* inQueue);
void Retain(Source* inSource);
void Release(Source* inSource);
// Set before SourceResume.
void SourceSetEventHandler(Source* inSource, std::function<void()> inHandler);
void SourceSetCancelHandler(Source* inSource, std::function<void()> inHandler);
// The first event inStartMilliseconds after the resume, then one every inIntervalMilliseconds
// (0: only the first).
void SourceSetTimer(Source* inSource, int64_t inStartMilliseconds, int64_t inIntervalMilliseconds);
// Starts watching; a second resume does nothing.
void SourceResume(Source* inSource);
// No event handler starts after it (one already running finishes); the cancel handler then runs
// once. A second cancel does nothing.
void SourceCancel(Source* inSource);
bool SourceTestCancel(Source* inSource);

// ----- I/O channels of the stream type
struct Channel;

// Called once, when the channel lets the descriptor go (the descriptor is the handler's to close);
// 0 or an errno value.
using IOCleanupHandler = std::function<void(int inError)>;
// Called with each piece of data read (inDone false), then once with inDone true and 0 at the end
// of the stream, ECANCELED when the channel was closed with kIOStop, or the errno value of a
// failed read.
using IOHandler = std::function<void(bool inDone, const void* inData, size_t inSize, int inError)>;
inline constexpr unsigned long kIOStop = 1;

// A channel over the descriptor, which it makes non-blocking; null when memory runs out.
Channel* IOCreate(int inFD, Queue* inQueue, IOCleanupHandler inCleanup);
void Retain(Channel* inChannel);
void Release(Channel* inChannel);
// Reads the stream to its end (one read at a time on a channel). On a closed channel the handler
// is called at once with ECANCELED.
void IORead(Channel* inChannel, Queue* inQueue, IOHandler inHandler);
// Without kIOStop a read goes on to its end; with it the read stops. The clean-up handler runs
// once no read is left. Releasing the last reference closes the channel as well.
void IOClose(Channel* inChannel, unsigned long inFlags);

} // namespace kova::dispatch
