#include "kernel/tasks/VSystem.h"

#include "kernel/text/CharSet.h"
#include "kernel/text/VString.h"
#include "platform/mac/tasks/XMacSystem.h"

#include <atomic>
#include <string>

namespace kova
{

namespace
{

// Replaced one by one; a reader between the two stores sees one offset of each computation,
// which only matters across a time-zone change.
std::atomic<int32_t> sGMTOffset{0};
std::atomic<int32_t> sGMTOffsetWithDayLight{0};
std::atomic<bool> sGMTOffsetValid{false};
std::atomic<int16_t> sCenturyPivotYear{0};

bool IsEmptyDate(const int16_t inDate[7])
{
    return inDate[0] == 0 && (inDate[1] == 0 || inDate[2] == 0);
}

} // namespace

void VSystem::GetSystemUTCTime(int16_t ioDate[7])
{
    XMacSystem::GetSystemTime(ioDate, false);
}

void VSystem::GetSystemLocalTime(int16_t ioDate[7])
{
    XMacSystem::GetSystemTime(ioDate, true);
}

void VSystem::UTCToLocalTime(int16_t ioDate[7])
{
    if (!IsEmptyDate(ioDate))
        XMacSystem::UTCToLocalTime(ioDate);
}

void VSystem::LocalToUTCTime(int16_t ioDate[7])
{
    if (!IsEmptyDate(ioDate))
        XMacSystem::LocalToUTCTime(ioDate);
}

int32_t VSystem::GetGMTOffset(bool inWithDayLight)
{
    if (!sGMTOffsetValid.load(std::memory_order_acquire))
        UpdateGMTOffset();
    return inWithDayLight ? sGMTOffsetWithDayLight.load(std::memory_order_relaxed)
                          : sGMTOffset.load(std::memory_order_relaxed);
}

void VSystem::UpdateGMTOffset()
{
    int32_t withDayLight = 0;
    int32_t standard = 0;
    XMacSystem::ReadGMTOffsets(&withDayLight, &standard);
    sGMTOffsetWithDayLight.store(withDayLight, std::memory_order_relaxed);
    sGMTOffset.store(standard, std::memory_order_relaxed);
    sGMTOffsetValid.store(true, std::memory_order_release);
}

void VSystem::SystemDateTimeChanged()
{
    XMacSystem::ResetTimeZone();
    UpdateGMTOffset();
}

void VSystem::SetCenturyPivotYear(int16_t inYear)
{
    sCenturyPivotYear.store(inYear, std::memory_order_relaxed);
}

int16_t VSystem::GetCenturyPivotYear()
{
    return sCenturyPivotYear.load(std::memory_order_relaxed);
}

uint32_t VSystem::GetCurrentTime()
{
    return uint32_t(XMacSystem::GetCurrentNanoseconds() / 1000000u);
}

uint32_t VSystem::GetCurrentTicks()
{
    // Microseconds first, so that the product cannot overflow.
    return uint32_t(XMacSystem::GetCurrentNanoseconds() / 1000u * 60u / 1000000u);
}

uint32_t VSystem::GetCurrentDeltaTicks(uint32_t inSince)
{
    uint32_t now = GetCurrentTicks();
    return now >= inSince ? now - inSince : inSince - now;
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

void VSystem::GetOSVersionString(VString& outVersion)
{
    const std::string& version = XMacSystem::GetOSVersionText();
    outVersion.Clear();
    outVersion.AppendBlock(version.data(), version.size(), VTC_UTF_8);
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
