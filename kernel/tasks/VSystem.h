// VSystem is the toolbox's one door to the operating system's general services: clocks, sleeping,
// processors and virtual memory (more services join it as the toolbox grows). Static operations
// only; each does its work through XMacSystem.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class VSystem
{
public:
    VSystem() = delete;

    // Milliseconds of the monotonic clock.
    static uint32_t GetCurrentTime();
    // Sleeps for inMilliseconds, resuming after interruptions.
    static void Delay(int32_t inMilliseconds);

    // Cached after the first call; at least 1.
    static uint32_t GetNumberOfLogicalProcessors();
    static uint32_t GetNumberOfPhysicalProcessors();

    static size_t GetVMPageSize();
    static size_t RoundUpVMPageSize(size_t size);

    // Reserves zero-filled whole pages, anywhere when inAddress is null, else at that address.
    // Null on failure.
    static void* VirtualAlloc(size_t size, const void* inAddress);
    // The same, meant to stay in physical memory: *outInPhysicalMemory tells whether the
    // platform granted that (a second, ordinary attempt follows a refusal).
    static void* VirtualAllocPhysicalMemory(size_t size, const void* inAddress, bool* outInPhysicalMemory);
    static void VirtualFree(void* inAddress, size_t size, bool inPhysicalMemory);
};

} // namespace kova
