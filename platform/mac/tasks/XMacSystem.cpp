#include "platform/mac/tasks/XMacSystem.h"

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/AudioServices.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/frameworks/CFUserNotification.h"
#include "platform/mac/frameworks/Mach.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <initializer_list>
#include <new>
#include <set>
#include <string_view>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <sys/wait.h>
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

namespace
{

int64_t SystemWallClock()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::atomic<int64_t (*)()> sWallClock{nullptr};

// Our reference to the daylight-saving timer; the main run loop holds its own while it is valid.
std::atomic<cf::RunLoopTimer*> sTimeZoneTimer{nullptr};
std::atomic<void (*)()> sOnTimeZoneTransition{nullptr};

void ReplaceTimeZoneTimer(cf::RunLoopTimer* inTimer)
{
    if (cf::RunLoopTimer* previous = sTimeZoneTimer.exchange(inTimer))
    {
        cf::RunLoopTimerInvalidate(previous);
        cf::RunLoopTimerRelease(previous);
    }
}

void TimeZoneTimerFired(cf::RunLoopTimer* inTimer, void*)
{
    // Only the timer still in place takes itself out: a replaced one was released already.
    cf::RunLoopTimer* expected = inTimer;
    if (sTimeZoneTimer.compare_exchange_strong(expected, nullptr))
        cf::RunLoopTimerRelease(inTimer);
    if (void (*onTransition)() = sOnTimeZoneTransition.load(std::memory_order_acquire))
        onTransition();
}

// The zone's offset and daylight-saving state at a second.
std::pair<long, int> ZoneStateAt(time_t inSeconds)
{
    tm fields{};
    if (localtime_r(&inSeconds, &fields) == nullptr)
        return {0, -1};
    return {fields.tm_gmtoff, fields.tm_isdst};
}

} // namespace

int64_t XMacSystem::GetWallClockMilliseconds()
{
    int64_t (*clock)() = sWallClock.load(std::memory_order_acquire);
    return clock != nullptr ? clock() : SystemWallClock();
}

void XMacSystem::SetWallClockForTesting(int64_t (*inClock)())
{
    sWallClock.store(inClock, std::memory_order_release);
}

int64_t XMacSystem::FindNextTimeZoneTransition(int64_t inFrom)
{
    tzset();
    const auto start = ZoneStateAt(time_t(inFrom));
    // Transitions lie months apart: a day's step finds the first, halving finds its second.
    constexpr int64_t kStep = 86400;
    constexpr int64_t kHorizon = 400 * kStep;
    for (int64_t low = inFrom; low < inFrom + kHorizon; low += kStep)
    {
        int64_t high = low + kStep;
        if (ZoneStateAt(time_t(high)) == start)
            continue;
        while (high - low > 1)
        {
            int64_t middle = low + (high - low) / 2;
            if (ZoneStateAt(time_t(middle)) == start)
                low = middle;
            else
                high = middle;
        }
        return high;
    }
    return -1;
}

int64_t XMacSystem::ScheduleTimeZoneTransition(void (*inOnTransition)())
{
    const int64_t now = GetWallClockMilliseconds();
    const int64_t next = FindNextTimeZoneTransition(now / 1000);
    if (next < 0)
    {
        ReplaceTimeZoneTimer(nullptr);
        return INT64_MAX;
    }
    sOnTimeZoneTransition.store(inOnTransition, std::memory_order_release);
    const double delay = double(next * 1000 - now) / 1000.0;
    cf::RunLoopTimer* timer =
        cf::RunLoopTimerCreate(cf::AbsoluteTimeGetCurrent() + delay, 0, TimeZoneTimerFired, nullptr);
    if (timer != nullptr)
        cf::RunLoopAddTimer(cf::RunLoopGetMain(), timer);
    ReplaceTimeZoneTimer(timer);
    return next;
}

void XMacSystem::ReadGMTOffsets(int32_t* outWithDayLight, int32_t* outStandard)
{
    tzset();
    time_t now = time_t(GetWallClockMilliseconds() / 1000);
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

uint64_t XMacSystem::ReadProfilingCounter()
{
    return mach::AbsoluteTime();
}

uint64_t XMacSystem::GetProfilingFrequency()
{
    mach::TimebaseInfo timebase = mach::GetTimebaseInfo();
    return uint64_t(timebase.denom) * 1000000000u / timebase.numer;
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

// The rest of the first line of a text file that begins with the prefix, line end removed; false
// when the file cannot be read or holds no such line.
bool ReadLineAfter(const char* inPath, std::string_view inPrefix, std::string& outRest)
{
    std::FILE* file = std::fopen(inPath, "r");
    if (file == nullptr)
        return false;
    bool found = false;
    char line[1024];
    while (!found && std::fgets(line, sizeof line, file) != nullptr)
    {
        std::string_view text(line);
        if (text.substr(0, inPrefix.size()) != inPrefix)
            continue;
        text.remove_prefix(inPrefix.size());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        outRest = text;
        found = true;
    }
    std::fclose(file);
    return found;
}

// The value of PRETTY_NAME in an os-release file: quotes removed, backslash escapes read. Empty
// when the file cannot be read or holds no such line.
std::string ReadPrettyName(const char* inPath)
{
    std::string line;
    if (!ReadLineAfter(inPath, "PRETTY_NAME=", line))
        return {};
    std::string_view text(line);
    char quote = !text.empty() && (text.front() == '"' || text.front() == '\'') ? text.front() : 0;
    if (quote != 0)
        text.remove_prefix(1);
    std::string value;
    for (size_t i = 0; i < text.size() && text[i] != quote; ++i)
    {
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        value.push_back(text[i]);
    }
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

// ---------------------------------------------------------------------------------------------
// Version, processor, memory

int32_t XMacSystem::GetMacOSXVersionDecimal()
{
    return 130000;
}

std::string XMacSystem::ReadProcessorBrand()
{
    // "model name\t: Brand"
    std::string line;
    if (!ReadLineAfter("/proc/cpuinfo", "model name", line))
        return {};
    size_t colon = line.find(':');
    if (colon == std::string::npos)
        return {};
    size_t start = colon + 1 < line.size() && line[colon + 1] == ' ' ? colon + 2 : colon + 1;
    return line.substr(start);
}

std::string XMacSystem::CompactProcessorBrand(const std::string& inBrand)
{
    std::string compact;
    for (char c : inBrand)
    {
        bool blank = c == ' ' || c == '\t';
        if (blank && (compact.empty() || (c == ' ' && compact.back() == ' ')))
            continue;
        compact.push_back(c);
    }
    while (!compact.empty() && (compact.back() == ' ' || compact.back() == '\t'))
        compact.pop_back();
    return compact;
}

int64_t XMacSystem::GetUptime()
{
    struct sysinfo information = {};
    if (sysinfo(&information) != 0)
        return -1;
    return int64_t(information.uptime);
}

uint64_t XMacSystem::GetPhysicalMemSize()
{
    struct sysinfo information = {};
    if (sysinfo(&information) != 0)
        return 0;
    return uint64_t(information.totalram) * information.mem_unit;
}

uint64_t XMacSystem::GetPhysicalFreeMemSize()
{
    long pages = sysconf(_SC_AVPHYS_PAGES);
    return pages > 0 ? uint64_t(pages) * GetVMPageSize() : 0;
}

namespace
{

// Total and resident pages of the process (/proc/self/statm); false when unreadable.
bool ReadStatm(uint64_t& outTotal, uint64_t& outResident)
{
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr)
        return false;
    unsigned long long total = 0;
    unsigned long long resident = 0;
    bool read = std::fscanf(file, "%llu %llu", &total, &resident) == 2;
    std::fclose(file);
    outTotal = total;
    outResident = resident;
    return read;
}

} // namespace

uint64_t XMacSystem::GetResidentSize()
{
    uint64_t total = 0;
    uint64_t resident = 0;
    return ReadStatm(total, resident) ? resident * GetVMPageSize() : 0;
}

uint64_t XMacSystem::GetVirtualSize()
{
    uint64_t total = 0;
    uint64_t resident = 0;
    return ReadStatm(total, resident) ? total * GetVMPageSize() : 0;
}

bool XMacSystem::VirtualQuery(const void* inAddress, size_t* outSize, uint32_t* outState, void** outBase)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(inAddress);
    size_t size = 0;
    uint32_t state = 0;
    uintptr_t base = 0;
    if (std::FILE* maps = std::fopen("/proc/self/maps", "r"))
    {
        char line[1024];
        while (std::fgets(line, sizeof line, maps) != nullptr)
        {
            unsigned long long start = 0;
            unsigned long long end = 0;
            if (std::sscanf(line, "%llx-%llx", &start, &end) != 2 || end <= address)
                continue;
            if (start > address)
            {
                size = size_t(start - address);
                state = 1;
                base = address;
            }
            else
            {
                size = size_t(end - start);
                base = uintptr_t(start);
            }
            break;
        }
        std::fclose(maps);
    }
    if (outSize != nullptr)
        *outSize = size;
    if (outState != nullptr)
        *outState = state;
    if (outBase != nullptr)
        *outBase = reinterpret_cast<void*>(base);
    return size != 0;
}

// ---------------------------------------------------------------------------------------------
// Processes

namespace
{

// The state letter of /proc/PID/stat (after the command name, which may hold blanks and
// parentheses); 0 when the process is gone.
char ProcessState(const char* inPid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", inPid);
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr)
        return 0;
    char line[1024];
    char state = 0;
    if (std::fgets(line, sizeof line, file) != nullptr)
    {
        const char* close = std::strrchr(line, ')');
        if (close != nullptr && close[1] == ' ')
            state = close[2];
    }
    std::fclose(file);
    return state;
}

bool IsPidName(const char* inName)
{
    if (*inName == 0)
        return false;
    for (const char* c = inName; *c != 0; ++c)
    {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

} // namespace

void XMacSystem::GetProcessList(std::vector<int>& ioPids)
{
    DIR* folder = opendir("/proc");
    if (folder == nullptr)
        return;
    while (dirent* entry = readdir(folder))
    {
        if (!IsPidName(entry->d_name))
            continue;
        // A zombie has quit: only its parent has not yet read its status.
        char state = ProcessState(entry->d_name);
        if (state == 0 || state == 'Z' || state == 'X')
            continue;
        long pid = std::strtol(entry->d_name, nullptr, 10);
        if (pid > 0 && pid <= INT_MAX)
            ioPids.push_back(int(pid));
    }
    closedir(folder);
}

bool XMacSystem::GetProcessName(int inPid, std::string& outName)
{
    // The kernel's own short name is the main thread's, which the task manager renames: the
    // executable's name is read instead, from its link when readable, else from the command line.
    std::string path;
    if (!GetProcessPath(inPid, path))
    {
        char file[64];
        std::snprintf(file, sizeof file, "/proc/%d/cmdline", inPid);
        std::FILE* commandLine = std::fopen(file, "r");
        if (commandLine == nullptr)
            return false;
        char first[PATH_MAX] = {};
        size_t read = std::fread(first, 1, sizeof first - 1, commandLine);
        std::fclose(commandLine);
        path.assign(first, strnlen(first, read));
    }
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return false;
    outName = name;
    return true;
}

bool XMacSystem::GetProcessPath(int inPid, std::string& outPath)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%d/exe", inPid);
    char target[PATH_MAX];
    ssize_t length = readlink(link, target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target)
        return false;
    outPath.assign(target, size_t(length));
    return true;
}

bool XMacSystem::KillProcess(int inPid)
{
    // 0 and negative ids name process groups, -1 every process the user may signal.
    if (inPid <= 0)
        return false;
    return kill(inPid, SIGKILL) == 0;
}

bool XMacSystem::IsProcessRunning(int inPid)
{
    if (inPid <= 0)
        return false;
    // Another user's process refuses the signal but exists.
    if (kill(inPid, 0) != 0 && errno == ESRCH)
        return false;
    char name[16];
    std::snprintf(name, sizeof name, "%d", inPid);
    // Unreadable state (a /proc that hides other users' processes): kill's answer stands.
    const char state = ProcessState(name);
    return state != 'Z' && state != 'X';
}

bool XMacSystem::WaitForProcess(int inPid, int32_t inTimeout, VSystem::EWFP_Reason* outReason)
{
    const int options = WEXITED | (inTimeout < 0 ? 0 : WNOHANG);
    for (;;)
    {
        // Under WNOHANG a child still running leaves the record as it was: only a zeroed si_pid
        // tells it apart from one that has ended.
        siginfo_t info;
        std::memset(&info, 0, sizeof info);
        if (waitid(P_PID, id_t(inPid), &info, options) == 0)
        {
            if (info.si_pid != 0)
                return true;
            if (outReason != nullptr)
                *outReason = VSystem::EWFP_StillRunning;
            return false;
        }
        if (errno == EINTR)
            continue;
        if ((errno == ECHILD || errno == EINVAL) && outReason != nullptr)
            *outReason = VSystem::EWFP_NoSuchChild;
        return false;
    }
}

int32_t XMacSystem::Random(bool inPseudo)
{
    if (inPseudo)
        return int32_t(random());
    uint32_t value = 0;
    if (getrandom(&value, sizeof value, 0) != ssize_t(sizeof value))
        value = uint32_t(random());
    return int32_t(value & 0x7FFFFFFFu);
}

void XMacSystem::Beep()
{
    cf::AudioServicesPlayAlertSound(cf::kSystemSoundID_UserPreferredAlert);
}

// ---------------------------------------------------------------------------------------------
// Alerts

std::vector<cf::UserNotification*> XMacSystem::sPendingUserNotifications;
VCriticalSection XMacSystem::sPendingUserNotificationsMutex;

namespace
{

struct ButtonRow
{
    const char* fTitle;
    ENotificationResponse fAnswer;
};

// The buttons of a flag set, the default one first.
std::vector<cf::UserNotificationButton> ButtonsOf(uint32_t inFlags)
{
    auto buttons = [](std::initializer_list<ButtonRow> inRows)
    {
        std::vector<cf::UserNotificationButton> result;
        for (const ButtonRow& row : inRows)
            result.push_back({row.fTitle, row.fAnswer});
        return result;
    };
    const bool defaultYesOrOK = (inFlags & ENF_DefaultYesOrOK) != 0;
    switch (inFlags & ENF_ButtonsMask)
    {
    case ENF_OKCancel:
        return defaultYesOrOK ? buttons({{"OK", ENR_OK}, {"Cancel", ENR_Cancel}})
                              : buttons({{"Cancel", ENR_Cancel}, {"OK", ENR_OK}});
    case ENF_YesNo:
        return defaultYesOrOK ? buttons({{"Yes", ENR_Yes}, {"No", ENR_No}})
                              : buttons({{"No", ENR_No}, {"Yes", ENR_Yes}});
    case ENF_YesNoCancel:
        switch (inFlags & (ENF_DefaultYesOrOK | ENF_DefaultNo))
        {
        case ENF_DefaultYesOrOK:
            return buttons({{"Yes", ENR_Yes}, {"No", ENR_No}, {"Cancel", ENR_Cancel}});
        case ENF_DefaultNo:
            return buttons({{"No", ENR_No}, {"Yes", ENR_Yes}, {"Cancel", ENR_Cancel}});
        default:
            return buttons({{"Cancel", ENR_Cancel}, {"No", ENR_No}, {"Yes", ENR_Yes}});
        }
    case ENF_RetryIgnoreAbort:
        return buttons({{"Retry", ENR_Retry}, {"Ignore", ENR_Ignore}, {"Abort", ENR_Abort}});
    default:
        // The system's default button, under its own title.
        return buttons({{"", ENR_OK}});
    }
}

void UserNotificationAnswered(cf::UserNotification* inNotification, int32_t, void*)
{
    StLocker lock(XMacSystem::sPendingUserNotificationsMutex);
    auto& pending = XMacSystem::sPendingUserNotifications;
    auto found = std::find(pending.begin(), pending.end(), inNotification);
    if (found != pending.end())
    {
        pending.erase(found);
        cf::UserNotificationRelease(inNotification);
    }
}

} // namespace

bool XMacSystem::DisplayNotification(const VString& inTitle, const VString& inMessage, uint32_t inFlags,
                                     ENotificationResponse* outResponse)
{
    cf::UserNotificationDescription description;
    // Without a title, the message is the header.
    if (!inTitle.IsEmpty())
    {
        description.fHeader = to_string(inTitle);
        description.fMessage = to_string(inMessage);
    }
    else
    {
        description.fHeader = to_string(inMessage);
    }
    description.fButtons = ButtonsOf(inFlags);
    description.fDismissedAnswer = ENR_Dismissed;
    description.fCaution = (inFlags & ENF_Caution) != 0;
    if (outResponse != nullptr)
        *outResponse = ENR_None;
    cf::UserNotification* notification = cf::UserNotificationCreate(description);
    if (notification == nullptr)
        return false;
    if (outResponse != nullptr)
    {
        *outResponse = ENotificationResponse(cf::UserNotificationReceiveResponse(notification));
        cf::UserNotificationRelease(notification);
        return true;
    }
    {
        StLocker lock(sPendingUserNotificationsMutex);
        try
        {
            sPendingUserNotifications.push_back(notification);
        }
        catch (const std::bad_alloc&)
        {
            cf::UserNotificationRelease(notification);
            return true;
        }
    }
    // The list's reference goes when the alert is answered (at once when it already is).
    cf::UserNotificationNotifyWhenAnswered(notification, UserNotificationAnswered, nullptr);
    return true;
}

void XMacSystem::CancelAllPendingUserNotifications()
{
    StLocker lock(sPendingUserNotificationsMutex);
    std::vector<cf::UserNotification*> pending;
    pending.swap(sPendingUserNotifications);
    for (cf::UserNotification* notification : pending)
    {
        cf::UserNotificationCancel(notification);
        cf::UserNotificationRelease(notification);
    }
}

} // namespace kova
