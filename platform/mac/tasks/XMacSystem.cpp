#include "platform/mac/tasks/XMacSystem.h"

#include "platform/mac/frameworks/Mach.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <set>
#include <string_view>
#include <sys/mman.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

namespace kova
{

namespace
{

tm TmFromFields(const int16_t inDate[7])
{
    tm fields{};
    fields.tm_year = int(inDate[0]) - 1900;
    fields.tm_mon = int(inDate[1]) - 1;
    fields.tm_mday = inDate[2];
    fields.tm_hour = inDate[3];
    fields.tm_min = inDate[4];
    fields.tm_sec = inDate[5];
    fields.tm_isdst = -1; // the zone's rules decide
    return fields;
}

// Year to second; false when the year does not fit 16 bits.
bool FieldsFromTm(const tm& inFields, int16_t ioDate[7])
{
    long year = long(inFields.tm_year) + 1900;
    if (year < INT16_MIN || year > INT16_MAX)
        return false;
    ioDate[0] = int16_t(year);
    ioDate[1] = int16_t(inFields.tm_mon + 1);
    ioDate[2] = int16_t(inFields.tm_mday);
    ioDate[3] = int16_t(inFields.tm_hour);
    ioDate[4] = int16_t(inFields.tm_min);
    ioDate[5] = int16_t(inFields.tm_sec);
    return true;
}

// Seconds of a broken-down time; false when it cannot be represented. -1 is a valid answer (the
// last second of 1969), so the error is told by errno.
bool SecondsFromTm(tm& ioFields, bool inLocal, time_t& outSeconds)
{
    errno = 0;
    outSeconds = inLocal ? mktime(&ioFields) : timegm(&ioFields);
    return outSeconds != time_t(-1) || errno == 0;
}

} // namespace

void XMacSystem::GetSystemTime(int16_t ioDate[7], bool inLocal)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    if (inLocal)
    {
        tzset();
        localtime_r(&now.tv_sec, &fields);
    }
    else
    {
        gmtime_r(&now.tv_sec, &fields);
    }
    FieldsFromTm(fields, ioDate);
    ioDate[6] = int16_t(now.tv_nsec / 1000000 % 1000);
}

bool XMacSystem::UTCToLocalTime(int16_t ioDate[7])
{
    tm fields = TmFromFields(ioDate);
    time_t seconds = 0;
    if (!SecondsFromTm(fields, false, seconds))
        return false;
    tzset();
    tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        return false;
    return FieldsFromTm(local, ioDate);
}

bool XMacSystem::LocalToUTCTime(int16_t ioDate[7])
{
    tzset();
    tm fields = TmFromFields(ioDate);
    time_t seconds = 0;
    if (!SecondsFromTm(fields, true, seconds))
        return false;
    tm universal{};
    if (gmtime_r(&seconds, &universal) == nullptr)
        return false;
    return FieldsFromTm(universal, ioDate);
}

void XMacSystem::ReadGMTOffsets(int32_t* outWithDayLight, int32_t* outStandard)
{
    tzset();
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    int32_t withDayLight = int32_t(local.tm_gmtoff);
    int32_t standard = withDayLight;
    if (local.tm_isdst > 0)
    {
        // The standard offset is the one in force half a year away; a zone that keeps daylight
        // saving all year round falls back on the usual hour.
        standard = withDayLight - 3600;
        const time_t kHalfYear = 182 * 86400;
        for (time_t other : {now + kHalfYear, now - kHalfYear})
        {
            tm otherFields{};
            if (localtime_r(&other, &otherFields) != nullptr && otherFields.tm_isdst == 0)
            {
                standard = int32_t(otherFields.tm_gmtoff);
                break;
            }
        }
    }
    *outWithDayLight = withDayLight;
    *outStandard = standard;
}

void XMacSystem::ResetTimeZone()
{
    tzset();
}

uint64_t XMacSystem::GetCurrentNanoseconds()
{
    mach::TimebaseInfo timebase = mach::GetTimebaseInfo();
    return mach::AbsoluteTime() * timebase.numer / timebase.denom;
}

void XMacSystem::Delay(int32_t inMilliseconds)
{
    if (inMilliseconds <= 0)
        return;
    timespec remaining{inMilliseconds / 1000, long(inMilliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR)
    {
    }
}

uint32_t XMacSystem::ReadLogicalProcessorCount()
{
    long count = sysconf(_SC_NPROCESSORS_CONF);
    return count < 2 ? 1 : uint32_t(count);
}

uint32_t XMacSystem::ReadPhysicalProcessorCount()
{
    // Distinct (physical package, core) pairs; hyperthreads share a core.
    std::set<std::pair<int, int>> cores;
    for (uint32_t cpu = 0;; ++cpu)
    {
        char path[128];
        std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%u/topology/core_id", cpu);
        FILE* coreFile = std::fopen(path, "r");
        if (coreFile == nullptr)
            break;
        int core = -1;
        int package = 0;
        if (std::fscanf(coreFile, "%d", &core) != 1)
            core = int(cpu);
        std::fclose(coreFile);
        std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%u/topology/physical_package_id", cpu);
        if (FILE* packageFile = std::fopen(path, "r"))
        {
            if (std::fscanf(packageFile, "%d", &package) != 1)
                package = 0;
            std::fclose(packageFile);
        }
        cores.emplace(package, core);
    }
    return cores.size() < 2 ? 1 : uint32_t(cores.size());
}

namespace
{

// The value of PRETTY_NAME in an os-release file: quotes removed, backslash escapes read. Empty
// when the file cannot be read or holds no such line.
std::string ReadPrettyName(const char* inPath)
{
    std::FILE* file = std::fopen(inPath, "r");
    if (file == nullptr)
        return {};
    std::string value;
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr)
    {
        std::string_view text(line);
        constexpr std::string_view kKey = "PRETTY_NAME=";
        if (text.substr(0, kKey.size()) != kKey)
            continue;
        text.remove_prefix(kKey.size());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        char quote = !text.empty() && (text.front() == '"' || text.front() == '\'') ? text.front() : 0;
        if (quote != 0)
            text.remove_prefix(1);
        for (size_t i = 0; i < text.size() && text[i] != quote; ++i)
        {
            if (text[i] == '\\' && i + 1 < text.size())
                ++i;
            value.push_back(text[i]);
        }
        break;
    }
    std::fclose(file);
    return value;
}

} // namespace

const std::string& XMacSystem::GetOSVersionText()
{
    static const std::string sVersion = []
    {
        std::string kernel;
        struct utsname names = {};
        if (uname(&names) == 0)
            kernel = std::string(names.sysname) + " " + names.release;
        std::string distribution = ReadPrettyName("/etc/os-release");
        if (distribution.empty())
            distribution = ReadPrettyName("/usr/lib/os-release");
        if (distribution.empty())
            return kernel;
        return kernel.empty() ? distribution : distribution + " (" + kernel + ")";
    }();
    return sVersion;
}

size_t XMacSystem::GetVMPageSize()
{
    return mach::PageSize();
}

void* XMacSystem::VirtualAlloc(size_t size, const void* inAddress)
{
    uintptr_t address = reinterpret_cast<uintptr_t>(inAddress);
    if (mach::VMAllocate(&address, size, inAddress == nullptr) != mach::KERN_SUCCESS)
        return nullptr;
    return reinterpret_cast<void*>(address);
}

void* XMacSystem::VirtualAllocLocked(size_t size, const void* inAddress)
{
    void* block = VirtualAlloc(size, inAddress);
    if (block != nullptr && mlock(block, size) != 0)
    {
        VirtualFree(block, size);
        return nullptr;
    }
    return block;
}

void XMacSystem::VirtualFree(void* inAddress, size_t size)
{
    mach::VMDeallocate(reinterpret_cast<uintptr_t>(inAddress), size);
}

} // namespace kova
