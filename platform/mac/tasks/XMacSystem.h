// The platform half of VSystem: the clocks and the time zone from the C library, memory and
// processes from /proc, alerts through our user-notification stand-in.
#pragma once

#include "kernel/tasks/VSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kova::cf
{
struct UserNotification;
} // namespace kova::cf

namespace kova
{

class VCriticalSection;
class VString;

class XMacSystem
{
public:
    XMacSystem() = delete;

    static uint64_t GetCurrentNanoseconds();
    // The monotonic counter and its units per second.
    static uint64_t ReadProfilingCounter();
    static uint64_t GetProfilingFrequency();
    // Calendar fields of the current time; inLocal picks the system's zone over UTC.
    static void GetSystemTime(int16_t ioDate[7], bool inLocal);
    // False, with the fields unchanged, when the result does not fit them.
    static bool UTCToLocalTime(int16_t ioDate[7]);
    static bool LocalToUTCTime(int16_t ioDate[7]);
    // Offsets from GMT in seconds, now and in standard time, read from the zone at this moment.
    static void ReadGMTOffsets(int32_t* outWithDayLight, int32_t* outStandard);
    // The wall clock in milliseconds since 1970 (UTC); tests may install their own (null restores
    // the system's).
    static int64_t GetWallClockMilliseconds();
    static void SetWallClockForTesting(int64_t (*inClock)());
    // The first second after inFrom at which the local offset from GMT or the daylight-saving
    // state changes, within about a year; -1 when there is none.
    static int64_t FindNextTimeZoneTransition(int64_t inFrom);
    // Replaces the daylight-saving timer: a one-shot timer on the main run loop that calls
    // inOnTransition at the zone's next transition. Returns that transition's second, or
    // INT64_MAX when the zone has none.
    static int64_t ScheduleTimeZoneTransition(void (*inOnTransition)());
    // Makes the C library read the time zone again.
    static void ResetTimeZone();
    static void Delay(int32_t inMilliseconds);
    static uint32_t ReadLogicalProcessorCount();
    static uint32_t ReadPhysicalProcessorCount();
    // UTF-8, made once: the distribution's name ("PRETTY_NAME" of os-release) and the kernel's
    // name and release, or the kernel's alone when the distribution does not name itself.
    static const std::string& GetOSVersionText();
    // 130000: this system counts as the newest one the version tables know.
    static int32_t GetMacOSXVersionDecimal();
    // The processor's brand, as the system names it; empty when unknown.
    static std::string ReadProcessorBrand();
    // No blanks at the ends, no two spaces in a row.
    static std::string CompactProcessorBrand(const std::string& inBrand);
    // Seconds since the system started; negative on failure.
    static int64_t GetUptime();
    // Bytes; 0 on failure.
    static uint64_t GetPhysicalMemSize();
    static uint64_t GetPhysicalFreeMemSize();
    static uint64_t GetResidentSize();
    static uint64_t GetVirtualSize();
    // The mapped region holding the address (state 0) or the gap up to the next one (state 1).
    static bool VirtualQuery(const void* inAddress, size_t* outSize, uint32_t* outState, void** outBase);

    // Every live process of the system: zombies, which have quit, are left out.
    static void GetProcessList(std::vector<int>& ioPids);
    static bool GetProcessName(int inPid, std::string& outName);
    static bool GetProcessPath(int inPid, std::string& outPath);
    static bool KillProcess(int inPid);
    // Whether a process of that id exists and has not quit: an id of 0 or less names a group, not
    // a process, and a zombie has quit.
    static bool IsProcessRunning(int inPid);
    static bool WaitForProcess(int inPid, int32_t inTimeout, VSystem::EWFP_Reason* outReason);
    // 31 bits from the system's random source, or from random() when inPseudo.
    static int32_t Random(bool inPseudo);
    static void Beep();

    static bool DisplayNotification(const VString& inTitle, const VString& inMessage, uint32_t inFlags,
                                    ENotificationResponse* outResponse);
    static void CancelAllPendingUserNotifications();
    // Alerts shown without waiting, until answered or cancelled (retained), and their lock.
    static std::vector<cf::UserNotification*> sPendingUserNotifications;
    static VCriticalSection sPendingUserNotificationsMutex;

    static size_t GetVMPageSize();
    static void* VirtualAlloc(size_t size, const void* inAddress);
    static void* VirtualAllocLocked(size_t size, const void* inAddress);
    static void VirtualFree(void* inAddress, size_t size);
};

} // namespace kova
