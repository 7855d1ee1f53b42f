#include "kernel/tasks/VSystem.h"

#include "kernel/text/CharSet.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"
#include "platform/mac/tasks/XBSDSystem.h"
#include "platform/mac/tasks/XMacSystem.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <mutex>
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
// The second of the zone's next daylight-saving transition: past it, the offsets are stale.
std::atomic<int64_t> sNextTimeZoneTransition{INT64_MAX};
std::atomic<int16_t> sCenturyPivotYear{0};

void TimeZoneTransitionCame()
{
    sGMTOffsetValid.store(false, std::memory_order_release);
}

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
    if (!sGMTOffsetValid.load(std::memory_order_acquire) ||
        XMacSystem::GetWallClockMilliseconds() / 1000 >=
            sNextTimeZoneTransition.load(std::memory_order_relaxed))
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
    sNextTimeZoneTransition.store(XMacSystem::ScheduleTimeZoneTransition(TimeZoneTransitionCame),
                                  std::memory_order_relaxed);
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

int64_t VSystem::GetUptime()
{
    return XMacSystem::GetUptime();
}

uint64_t VSystem::GetProfilingCounter(int64_t& outCounter)
{
    uint64_t counter = XMacSystem::ReadProfilingCounter();
    outCounter = int64_t(counter);
    return counter;
}

uint64_t VSystem::GetProfilingFrequency()
{
    return XMacSystem::GetProfilingFrequency();
}

double VSystem::GetMicrosecFromProfilingCounter()
{
    int64_t counter = 0;
    GetProfilingCounter(counter);
    return double(counter) * (1000000.0 / double(GetProfilingFrequency()));
}

uint32_t VSystem::GetDoubleClicTicks()
{
    // The system keeps no double-click preference here: its usual half second.
    return 30;
}

uint32_t VSystem::GetEnabledCoresNumber()
{
    return XMacSystem::ReadPhysicalProcessorCount();
}

bool VSystem::IsSystemVersionOrAbove(SystemVersion)
{
    return true;
}

int32_t VSystem::MAC_GetSystemVersionDecimal()
{
    return XMacSystem::GetMacOSXVersionDecimal();
}

void VSystem::GetProcessorTypeString(VString& outText, bool inCompact)
{
    static std::once_flag sOnce;
    static std::string sBrand;
    std::call_once(sOnce,
                   [inCompact]
                   {
                       std::string brand = XMacSystem::ReadProcessorBrand();
                       if (brand.empty())
                           sBrand.push_back('-');
                       else
                           sBrand = inCompact && brand.size() >= 2 ? XMacSystem::CompactProcessorBrand(brand)
                                                                   : brand;
                   });
    outText.Clear();
    outText.AppendBlock(sBrand.data(), sBrand.size(), VTC_UTF_8);
}

void VSystem::DemangleSymbol(const char* inSymbol, VString& outName)
{
    outName.Clear();
    if (inSymbol == nullptr)
        return;
    int status = 0;
    char* demangled = abi::__cxa_demangle(inSymbol, nullptr, nullptr, &status);
    const char* text = status == 0 && demangled != nullptr ? demangled : inSymbol;
    outName.AppendBlock(text, std::strlen(text), VTC_UTF_8);
    std::free(demangled);
}

bool VSystem::SearchExecutablePath(const VString& inName, VFilePath& outPath)
{
    // No application search stands behind the executable search on this platform.
    return XBSDSystem::SearchExecutablePath(inName, outPath);
}

int32_t VSystem::Random(bool inPseudo)
{
    return XMacSystem::Random(inPseudo);
}

bool VSystem::Init()
{
    Random(false);
    return true;
}

void VSystem::GetProcessList(std::vector<int>& ioPids)
{
    XMacSystem::GetProcessList(ioPids);
}

void VSystem::GetProcessName(int inPid, VString& outName)
{
    std::string name;
    if (XMacSystem::GetProcessName(inPid, name))
        outName = VString(name.data(), name.size(), VTC_UTF_8);
}

void VSystem::GetProcessPath(int inPid, VString& outPath)
{
    std::string path;
    if (XMacSystem::GetProcessPath(inPid, path))
        outPath = VString(path.data(), path.size(), VTC_UTF_8);
}

bool VSystem::KillProcess(int inPid)
{
    return XMacSystem::KillProcess(inPid);
}

bool VSystem::WaitForProcess(int inPid, int32_t inTimeout, EWFP_Reason* outReason)
{
    return XMacSystem::WaitForProcess(inPid, inTimeout, outReason);
}

bool VSystem::DisplayNotification(const VString& inTitle, const VString& inMessage, uint32_t inFlags,
                                  ENotificationResponse* outResponse)
{
    return XMacSystem::DisplayNotification(inTitle, inMessage, inFlags, outResponse);
}

void VSystem::CancelAllPendingUserNotifications()
{
    XMacSystem::CancelAllPendingUserNotifications();
}

void VSystem::Beep()
{
    XMacSystem::Beep();
}

bool VSystem::VirtualQuery(const void* inAddress, size_t* outSize, uint32_t* outState, void** outBase)
{
    return XMacSystem::VirtualQuery(inAddress, outSize, outState, outBase);
}

uint64_t VSystem::GetPhysicalMemSize()
{
    return XMacSystem::GetPhysicalMemSize();
}

uint64_t VSystem::GetPhysicalFreeMemSize()
{
    return XMacSystem::GetPhysicalFreeMemSize();
}

uint64_t VSystem::GetApplicationPhysicalMemSize()
{
    return XMacSystem::GetResidentSize();
}

uint64_t VSystem::VirtualMemoryUsedSize()
{
    return XMacSystem::GetVirtualSize();
}

void VSystem::GetNetworkAdaptersInformations(VJSONArray& outAdapters)
{
    XMacSystem::GetNetworkAdaptersInformations(outAdapters);
}

void VSystem::GetDiskPartitionsInfos(VJSONArray& outVolumes)
{
    XMacSystem::GetDiskPartitionsInfos(outVolumes);
}

bool VSystem::GetInOutNetworkStats(std::vector<double>& outRates)
{
    outRates.clear();
    return XMacSystem::GetInOutNetworkStats(outRates);
}

bool VSystem::GetProcessorsPercentageUse(double& outLoad)
{
    outLoad = 0;
    return XMacSystem::GetProcessorsPercentageUse(outLoad);
}

double VSystem::GetApplicationProcessorsPercentageUse()
{
    return XMacSystem::GetApplicationProcessorsPercentageUse();
}

void VSystem::GetHostName(VString& outName)
{
    XMacSystem::GetHostName(outName);
}

void VSystem::GetLoginUserName(VString& outName)
{
    XMacSystem::GetLoginUserName(outName);
}

void VSystem::GetCurrentUserName(VString& outName)
{
    XMacSystem::GetCurrentUserName(outName);
}

VError VSystem::GetSystemBuildNumber(VString& outBuild)
{
    return XMacSystem::GetSystemBuildNumber(outBuild);
}

VError VSystem::GetComputerManufacturer(VString& outModel)
{
    return XMacSystem::GetComputerManufacturer(outModel);
}

void VSystem::GetFullOSName(VString& outName)
{
    XMacSystem::GetFullOSName(outName);
}

} // namespace kova
