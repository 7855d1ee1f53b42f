// VSystem is the toolbox's one door to the operating system's general services: clocks, calendar
// dates in universal and local time, sleeping, processors and memory, the list of processes,
// alerts with buttons and answers, the system's version, executable search and symbol names.
// Static operations only; each does its work through XMacSystem (and XBSDSystem).
//
// Calendar dates travel as seven 16-bit fields: year, month (1-12), day (1-31), hour, minute,
// second, millisecond. Local time is that of the system's time zone (TZ when it is set).
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VFilePath;
class VJSONArray;
class VString;

// The systems the version tests know; this platform counts as the newest.
enum SystemVersion : int32_t
{
    SystemVersion_MacOSX_10_9 = 11,
    SystemVersion_MacOSX_10_10 = 12,
    SystemVersion_MacOSX_10_11 = 13,
    SystemVersion_MacOSX_10_12 = 14,
    SystemVersion_MacOSX_10_13 = 15,
    SystemVersion_MacOSX_10_14 = 16,
    SystemVersion_MacOSX_10_15 = 17,
    SystemVersion_MacOS_11 = 18,
    SystemVersion_MacOS_12 = 19,
    SystemVersion_MacOS_13 = 20,
};

// The answer of an alert.
enum ENotificationResponse : int32_t
{
    ENR_None = 0,
    ENR_OK = 1,
    ENR_Cancel = 2,
    ENR_Yes = 3,
    ENR_No = 4,
    ENR_Abort = 5,
    ENR_Retry = 6,
    ENR_Ignore = 7,
    ENR_Dismissed = 8, // closed without a button
};

// Alert flags: the low four bits choose the buttons, the next two the default button.
enum ENotificationFlags : uint32_t
{
    ENF_OKCancel = 1,
    ENF_YesNo = 2,
    ENF_OK = 3, // one button with the system's default title
    ENF_YesNoCancel = 4,
    ENF_RetryIgnoreAbort = 5,
    ENF_ButtonsMask = 0x0F,
    ENF_DefaultYesOrOK = 0x10,
    ENF_DefaultNo = 0x20,
    ENF_Caution = 0x200,
};

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
    // Seconds since the system started; negative when it cannot be read.
    static int64_t GetUptime();
    // The monotonic counter (also stored in outCounter), its units per second, and its value now
    // in microseconds.
    static uint64_t GetProfilingCounter(int64_t& outCounter);
    static uint64_t GetProfilingFrequency();
    static double GetMicrosecFromProfilingCounter();
    // User-interface timings in ticks and distances in pixels.
    static uint32_t GetCaretTicks() { return 60; }
    static uint32_t GetTipsDelayTicks() { return 60; }
    static uint32_t GetTipsTimeoutTicks() { return 600; }
    static uint32_t GetSelectDelayTicks() { return 15; }
    static uint32_t GetDoubleClicTicks();
    static int32_t GetDoubleClicOffsetWidth() { return 2; }
    static int32_t GetDoubleClicOffsetHeight() { return 2; }
    static int32_t GetDragOffset() { return 2; }

    // The current date and time, in universal or in local time.
    static void GetSystemUTCTime(int16_t ioDate[7]);
    static void GetSystemLocalTime(int16_t ioDate[7]);
    // Convert year to second in place; the millisecond stays. The empty date (year 0 with month
    // or day 0) and a date whose conversion would not fit the fields are left unchanged.
    static void UTCToLocalTime(int16_t ioDate[7]);
    static void LocalToUTCTime(int16_t ioDate[7]);
    // Local time minus universal time in seconds, now (inWithDayLight) or in standard time.
    // Both are computed once and cached until UpdateGMTOffset, SystemDateTimeChanged or the
    // zone's next daylight-saving transition: a timer on the main run loop marks the cache stale
    // then, and, as that loop may not be running, the wall clock is also checked against it.
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
    // Read at each call.
    static uint32_t GetEnabledCoresNumber();

    // The operating system's name and version, read once.
    static void GetOSVersionString(VString& outVersion);
    // Always true here: this system is at least as new as any the tests name.
    static bool IsSystemVersionOrAbove(SystemVersion inVersion);
    // major * 10000 + minor * 100 + patch of the system the tables know: 130000.
    static int32_t MAC_GetSystemVersionDecimal();
    // The processor's brand, "-" when unknown; read once, in the form the first call asks for
    // (compact: no blanks at the ends, no double spaces).
    static void GetProcessorTypeString(VString& outText, bool inCompact);
    // The demangled symbol, or the symbol itself.
    static void DemangleSymbol(const char* inSymbol, VString& outName);
    // See XBSDSystem::SearchExecutablePath.
    static bool SearchExecutablePath(const VString& inName, VFilePath& outPath);
    // A random number of 31 bits, from the system's random source or (inPseudo) from random().
    static int32_t Random(bool inPseudo);
    static bool Init();
    static void DeInit() {}

    // Appends the id of every live process (zombies, which have quit, are left out).
    static void GetProcessList(std::vector<int>& ioPids);
    // The executable's name and path; unchanged when unknown.
    static void GetProcessName(int inPid, VString& outName);
    static void GetProcessPath(int inPid, VString& outPath);
    // SIGKILL; false for an id that names no single process (0 or less) or when refused.
    static bool KillProcess(int inPid);
    // Whether the child has ended, waiting for it with a negative time-out, else only looking.
    enum EWFP_Reason : int32_t
    {
        EWFP_NoSuchChild = 1,
        EWFP_StillRunning = 2,
    };
    static bool WaitForProcess(int inPid, int32_t inTimeout, EWFP_Reason* outReason);

    // Shows an alert; with outResponse, waits for the answer (never headless, see the
    // notification stand-in). False when it cannot be shown.
    static bool DisplayNotification(const VString& inTitle, const VString& inMessage, uint32_t inFlags,
                                    ENotificationResponse* outResponse);
    static void CancelAllPendingUserNotifications();
    // The alert sound: the terminal bell, when there is a terminal.
    static void Beep();

    static size_t GetVMPageSize();
    static size_t RoundUpVMPageSize(size_t size);

    // Reserves zero-filled whole pages, anywhere when inAddress is null, else at that address.
    // Null on failure.
    static void* VirtualAlloc(size_t size, const void* inAddress);
    // The same, meant to stay in physical memory: *outInPhysicalMemory tells whether the
    // platform granted that (a second, ordinary attempt follows a refusal).
    static void* VirtualAllocPhysicalMemory(size_t size, const void* inAddress, bool* outInPhysicalMemory);
    static void VirtualFree(void* inAddress, size_t size, bool inPhysicalMemory);
    // The region at or after the address: *outState 0 and the region when it holds the address,
    // 1 and the gap up to the next region otherwise; false (all 0) when there is none.
    static bool VirtualQuery(const void* inAddress, size_t* outSize, uint32_t* outState, void** outBase);
    static uint64_t GetPhysicalMemSize();
    static uint64_t GetPhysicalFreeMemSize();
    // The process's resident and virtual sizes.
    static uint64_t GetApplicationPhysicalMemSize();
    static uint64_t VirtualMemoryUsedSize();
    static bool AllowedToGetSystemInfo() { return true; }

    // System information for reports (see XMacSystem): the network adapters and the volumes with
    // their disks, appended as JSON objects.
    static void GetNetworkAdaptersInformations(VJSONArray& outAdapters);
    static void GetDiskPartitionsInfos(VJSONArray& outVolumes);
    // The vector is cleared, then on success receives the bytes per second received and sent
    // since the previous call.
    static bool GetInOutNetworkStats(std::vector<double>& outRates);
    // The load is 0 unless a share of all processors in use since the previous call is computed.
    static bool GetProcessorsPercentageUse(double& outLoad);
    static double GetApplicationProcessorsPercentageUse();
    static void GetHostName(VString& outName);
    static void GetLoginUserName(VString& outName);
    static void GetCurrentUserName(VString& outName);
    static VError GetSystemBuildNumber(VString& outBuild);
    static VError GetComputerManufacturer(VString& outModel);
    static void GetFullOSName(VString& outName);
};

} // namespace kova
