// Our stand-in for the FSEvents streams of CoreServices, over inotify: a stream watches one folder
// and everything below it, and calls its function on the main run loop with the folders in which
// something changed, gathered for the stream's latency.
//
// The process has one inotify descriptor, opened at the first watch and read as a source of the
// main run loop; every stream is delivered there. Each folder of a watched tree has a watch of its
// own (folders only, links never followed): new sub-folders get theirs as they appear, and the ones
// moved away or deleted lose them. When the kernel's queue overflows, the stream's watches are
// made again over the tree as it stands and the stream reports its root with
// kEventFlagMustScanSubDirs and kEventFlagKernelDropped: what changed meanwhile must be found by
// looking. Event paths are folder paths ending with "/".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova::cf
{
struct RunLoop;
} // namespace kova::cf

namespace kova::fsevents
{

struct EventStream;

inline constexpr uint32_t kEventFlagNone = 0;
inline constexpr uint32_t kEventFlagMustScanSubDirs = 0x01;
inline constexpr uint32_t kEventFlagUserDropped = 0x02;
inline constexpr uint32_t kEventFlagKernelDropped = 0x04;
inline constexpr uint32_t kEventFlagHistoryDone = 0x10;
inline constexpr uint32_t kEventFlagRootChanged = 0x20;
inline constexpr uint64_t kEventIdSinceNow = ~uint64_t(0);

// The stream's function: inCount paths (folders ending with "/") with a flag word each.
using EventStreamCallback = void (*)(EventStream* inStream, void* inInfo, size_t inCount,
                                     const char* const* inPaths, const uint32_t* inFlags);

// FSEventStreamCreate for one path, since now (the only start this stand-in knows), with the
// latency in seconds and no flags. The stream starts nothing until EventStreamStart. Null, with
// errno set, for a path that is no absolute path or when memory runs out.
EventStream* EventStreamCreate(EventStreamCallback inCallback, void* inInfo, const std::string& inPath,
                               uint64_t inSinceWhen, double inLatency, uint32_t inFlags);
// FSEventStreamScheduleWithRunLoop: the main run loop is the only one the stream is delivered on.
void EventStreamScheduleWithRunLoop(EventStream* inStream, cf::RunLoop* inLoop);
// Watches the folder's tree. False, with errno set, when the folder cannot be watched or the
// system's limit of watches is reached (ENOSPC): then no watch of the stream is left behind.
bool EventStreamStart(EventStream* inStream);
// The stream's watches go; nothing is delivered any more.
void EventStreamStop(EventStream* inStream);
void EventStreamInvalidate(EventStream* inStream);
// Frees the stream, stopping it first when it still runs.
void EventStreamRelease(EventStream* inStream);

// For tests: the watches the process may hold at most, below the system's own limit; 0 goes back
// to the system's.
void SetWatchLimitForTesting(size_t inLimit);
// For tests: the kernel's queue overflows: the events read next are lost, and the overflow told.
void SimulateQueueOverflowForTesting();

} // namespace kova::fsevents
