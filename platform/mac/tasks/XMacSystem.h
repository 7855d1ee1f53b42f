// The platform half of VSystem.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class XMacSystem
{
public:
    XMacSystem() = delete;

    static uint64_t GetCurrentNanoseconds();
    static void Delay(int32_t inMilliseconds);
    static uint32_t ReadLogicalProcessorCount();
    static uint32_t ReadPhysicalProcessorCount();
    static size_t GetVMPageSize();
    static void* VirtualAlloc(size_t size, const void* inAddress);
    static void* VirtualAllocLocked(size_t size, const void* inAddress);
    static void VirtualFree(void* inAddress, size_t size);
};

} // namespace kova
