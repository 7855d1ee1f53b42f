// VSystem is the toolbox's one door to the operating system's general services: clocks, calendar
// dates in universal and local time, sleeping, processors and virtual memory (more services join
// it as the toolbox grows). Static operations only; each does its work through XMacSystem.
//
// Calendar dates travel as seven 16-bit fields: year, month (1-12), day (1-31), hour, minute,
// second, millisecond. Local time is that of the system's time zone (TZ when it is set).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class VString;

class VSystem
{
public:
    VSystem() = delete;

    // Milliseconds of the monotonic clock.
    static uint32_t GetCurrentTime();
    // Ticks of 1/60 s of the same clock, and the distance of the tick count from inSince.
    static uint32_t GetCurrentTicks();
    static uint32_t GetCurrentDeltaTicks(uint32_t inSince);
    // Sleeps for inMilliseconds, resuming after interruptions.
    static void Delay(int32_t inMilliseconds);

    // The current date and time, in universal or in local time.
    static void GetSystemUTCTime(int16_t ioDate[7]);
    static void GetSystemLocalTime(int16_t ioDate[7]);
    // Convert year to second in place; the millisecond stays. The empty date (year 0 with month
    // or day 0) and a date whose conversion would not fit the fields are left unchanged.
    static void UTCToLocalTime(int16_t ioDate[7]);
    static void LocalToUTCTime(int16_t ioDate[7]);
    // Local time minus universal time in seconds, now (inWithDayLight) or in standard time.
    // Both are computed once and cached until UpdateGMTOffset or SystemDateTimeChanged.
    static int32_t GetGMTOffset(bool inWithDayLight);
    static void UpdateGMTOffset();
    // The system's time zone or clock changed: reread the zone and recompute the offsets.
    static void SystemDateTimeChanged();
    // Kept for the date parsers; nothing here reads it.
    static void SetCenturyPivotYear(int16_t inYear);
    static int16_t GetCenturyPivotYear();

    // Cached after the first call; at least 1.
    static uint32_t GetNumberOfLogicalProcessors();
    static uint32_t GetNumberOfPhysicalProcessors();

    // The operating system's name and version, read once.
    static void GetOSVersionString(VString& outVersion);

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
