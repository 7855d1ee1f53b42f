// Our stand-in for the Mach kernel services the platform classes call: virtual memory, the
// absolute clock and its timebase, thread ids, the texts of the return codes. Written over POSIX
// and Linux.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova::mach
{

using kern_return_t = int32_t;

// Every code the stand-ins answer with.
constexpr kern_return_t KERN_SUCCESS = 0;
constexpr kern_return_t KERN_INVALID_ADDRESS = 1;
constexpr kern_return_t KERN_PROTECTION_FAILURE = 2;
constexpr kern_return_t KERN_NO_SPACE = 3;
constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;
constexpr kern_return_t KERN_FAILURE = 5;
constexpr kern_return_t KERN_RESOURCE_SHORTAGE = 6;
constexpr kern_return_t KERN_ABORTED = 14;
constexpr kern_return_t KERN_OPERATION_TIMED_OUT = 49;

// mach_error_string: a short description of a code, in our own words; null for a code the
// stand-ins never answer with.
const char* ErrorString(kern_return_t inCode);

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
