// The platform half of VSystem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova
{

class XMacSystem
{
public:
    XMacSystem() = delete;

    static uint64_t GetCurrentNanoseconds();
    // Calendar fields of the current time; inLocal picks the system's zone over UTC.
    static void GetSystemTime(int16_t ioDate[7], bool inLocal);
    // False, with the fields unchanged, when the result does not fit them.
    static bool UTCToLocalTime(int16_t ioDate[7]);
    static bool LocalToUTCTime(int16_t ioDate[7]);
    // Offsets from GMT in seconds, now and in standard time, read from the zone at this moment.
    static void ReadGMTOffsets(int32_t* outWithDayLight, int32_t* outStandard);
    // Makes the C library read the time zone again.
    static void ResetTimeZone();
    static void Delay(int32_t inMilliseconds);
    static uint32_t ReadLogicalProcessorCount();
    static uint32_t ReadPhysicalProcessorCount();
    // UTF-8, made once: the distribution's name ("PRETTY_NAME" of os-release) and the kernel's
    // name and release, or the kernel's alone when the distribution does not name itself.
    static const std::string& GetOSVersionText();
    static size_t GetVMPageSize();
    static void* VirtualAlloc(size_t size, const void* inAddress);
    static void* VirtualAllocLocked(size_t size, const void* inAddress);
    static void VirtualFree(void* inAddress, size_t size);
};

} // namespace kova
