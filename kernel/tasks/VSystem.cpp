#include "kernel/tasks/VSystem.h"

#include "platform/mac/tasks/XMacSystem.h"

#include <atomic>

namespace kova
{

uint32_t VSystem::GetCurrentTime()
{
    return uint32_t(XMacSystem::GetCurrentNanoseconds() / 1000000u);
}

void VSystem::Delay(int32_t inMilliseconds)
{
    XMacSystem::Delay(inMilliseconds);
}

uint32_t VSystem::GetNumberOfLogicalProcessors()
{
    static std::atomic<uint32_t> sCount{0};
    uint32_t count = sCount.load(std::memory_order_relaxed);
    if (count == 0)
    {
        count = XMacSystem::ReadLogicalProcessorCount();
        sCount.store(count, std::memory_order_relaxed);
    }
    return count;
}

uint32_t VSystem::GetNumberOfPhysicalProcessors()
{
    static std::atomic<uint32_t> sCount{0};
    uint32_t count = sCount.load(std::memory_order_relaxed);
    if (count == 0)
    {
        count = XMacSystem::ReadPhysicalProcessorCount();
        sCount.store(count, std::memory_order_relaxed);
    }
    return count;
}

size_t VSystem::GetVMPageSize()
{
    return XMacSystem::GetVMPageSize();
}

size_t VSystem::RoundUpVMPageSize(size_t size)
{
    size_t page = GetVMPageSize();
    return (size + page - 1) / page * page;
}

void* VSystem::VirtualAlloc(size_t size, const void* inAddress)
{
    return XMacSystem::VirtualAlloc(size, inAddress);
}

void* VSystem::VirtualAllocPhysicalMemory(size_t size, const void* inAddress, bool* outInPhysicalMemory)
{
    if (outInPhysicalMemory != nullptr)
        *outInPhysicalMemory = false;
    void* block = XMacSystem::VirtualAllocLocked(size, inAddress);
    if (block != nullptr)
    {
        if (outInPhysicalMemory != nullptr)
            *outInPhysicalMemory = true;
        return block;
    }
    return XMacSystem::VirtualAlloc(size, inAddress);
}

void VSystem::VirtualFree(void* inAddress, size_t size, bool)
{
    XMacSystem::VirtualFree(inAddress, size);
}

} // namespace kova
