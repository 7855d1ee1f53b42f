// Our stand-in for the Mach kernel services the platform classes call: virtual memory, the
// absolute clock and its timebase, thread ids. Written over POSIX and Linux.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova::mach
{

using kern_return_t = int32_t;

constexpr kern_return_t KERN_SUCCESS = 0;
constexpr kern_return_t KERN_INVALID_ADDRESS = 1;
constexpr kern_return_t KERN_NO_SPACE = 3;
constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;

size_t PageSize();

// Reserves zero-filled pages of ioAddress's size rounded up to whole pages: anywhere when
// inAnywhere, else exactly at *ioAddress (refused when that range is in use).
kern_return_t VMAllocate(uintptr_t* ioAddress, size_t size, bool inAnywhere);
kern_return_t VMDeallocate(uintptr_t address, size_t size);

// Monotonic clock in nanoseconds; the timebase is 1/1.
uint64_t AbsoluteTime();
struct TimebaseInfo
{
    uint32_t numer;
    uint32_t denom;
};
TimebaseInfo GetTimebaseInfo();

} // namespace kova::mach
