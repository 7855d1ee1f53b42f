// Our stand-in for the work queues of Grand Central Dispatch: the global queues, on which blocks
// of work run on threads of a shared pool. The pool makes a thread whenever a block finds none
// idle (so a block that waits never holds up the others) and lets a thread go after it has been
// idle a while. Pool threads run no toolbox task.
//
//     dispatch::Async(dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0), [=] { ... });
#pragma once

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

} // namespace kova::dispatch
