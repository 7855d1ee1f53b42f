#include "kernel/tasks/VSystem.h"

#include "kernel/files/VFilePath.h"
#include "kernel/tasks/StTimeZone_test.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFRunLoop.h"
#include "platform/mac/tasks/XMacSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

using Date = std::array<int16_t, 7>;

// Each test sets the zone it needs; the one of the test main comes back after it.
class VSystemTimeZone : public testing::Test
{
protected:
    void SetTimeZone(const char* inZone) { fZone.Set(inZone); }

private:
    StTimeZone fZone{"UTC0"};
};

const char* const kParis = "CET-1CEST,M3.5.0,M10.5.0/3";
const char* const kNewYork = "EST5EDT,M3.2.0,M11.1.0";
const char* const kIndia = "IST-5:30";

// Universal and local fields of the same instant in a zone.
struct ConversionCase
{
    const char* fZone;
    Date fUTC;
    Date fLocal;
};

TEST_F(VSystemTimeZone, ConvertsBetweenUniversalAndLocalTimeBothWays)
{
    const ConversionCase cases[] = {
        {kParis, {2024, 1, 15, 12, 0, 0, 250}, {2024, 1, 15, 13, 0, 0, 250}},
        {kParis, {2024, 7, 1, 12, 30, 5, 0}, {2024, 7, 1, 14, 30, 5, 0}},
        {kParis, {2024, 12, 31, 23, 30, 0, 999}, {2025, 1, 1, 0, 30, 0, 999}},
        {kNewYork, {2024, 3, 1, 2, 0, 0, 0}, {2024, 2, 29, 21, 0, 0, 0}},
        {kIndia, {2000, 1, 1, 0, 0, 0, 1}, {2000, 1, 1, 5, 30, 0, 1}},
        {kIndia, {1960, 6, 1, 20, 0, 59, 0}, {1960, 6, 2, 1, 30, 59, 0}},
    };
    for (const ConversionCase& test : cases)
    {
        SCOPED_TRACE(test.fZone);
        SetTimeZone(test.fZone);
        Date date = test.fUTC;
        VSystem::UTCToLocalTime(date.data());
        EXPECT_EQ(date, test.fLocal);
        VSystem::LocalToUTCTime(date.data());
        EXPECT_EQ(date, test.fUTC);
    }
}

TEST_F(VSystemTimeZone, TheEmptyDateAndUnrepresentableResultsAreLeftUnchanged)
{
    SetTimeZone(kParis);
    const Date unchanged[] = {
        {0, 0, 0, 10, 0, 0, 5},
        {0, 0, 0, 0, 0, 0, 0},
        {0, 3, 0, 12, 0, 0, 0},
        {32767, 12, 31, 23, 30, 0, 0}, // one hour later is year 32768
    };
    for (const Date& original : unchanged)
    {
        Date date = original;
        VSystem::UTCToLocalTime(date.data());
        EXPECT_EQ(date, original);
    }
    Date empty = {0, 0, 0, 0, 0, 0, 0};
    VSystem::LocalToUTCTime(empty.data());
    EXPECT_EQ(empty, (Date{0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(VSystemTimeZone, OffsetsFromGMTWithAndWithoutDaylightSaving)
{
    SetTimeZone(kIndia);
    EXPECT_EQ(VSystem::GetGMTOffset(true), 19800);
    EXPECT_EQ(VSystem::GetGMTOffset(false), 19800);

    // Whatever the season now, standard time in New York is five hours behind.
    SetTimeZone(kNewYork);
    EXPECT_EQ(VSystem::GetGMTOffset(false), -18000);
    int32_t now = VSystem::GetGMTOffset(true);
    EXPECT_TRUE(now == -18000 || now == -14400) << now;
}

TEST_F(VSystemTimeZone, OffsetsAreCachedUntilTheSystemSaysTheZoneChanged)
{
    SetTimeZone(kIndia);
    ASSERT_EQ(VSystem::GetGMTOffset(true), 19800);
    setenv("TZ", "UTC0", 1);
    EXPECT_EQ(VSystem::GetGMTOffset(true), 19800);
    VSystem::SystemDateTimeChanged();
    EXPECT_EQ(VSystem::GetGMTOffset(true), 0);
    EXPECT_EQ(VSystem::GetGMTOffset(false), 0);
}

time_t SecondsOf(const Date& inDate)
{
    tm fields{};
    fields.tm_year = inDate[0] - 1900;
    fields.tm_mon = inDate[1] - 1;
    fields.tm_mday = inDate[2];
    fields.tm_hour = inDate[3];
    fields.tm_min = inDate[4];
    fields.tm_sec = inDate[5];
    return timegm(&fields);
}

TEST_F(VSystemTimeZone, CurrentTimeInBothZones)
{
    SetTimeZone(kIndia);
    Date universal{};
    Date local{};
    Date after{};
    const time_t before = time(nullptr);
    VSystem::GetSystemUTCTime(universal.data());
    VSystem::GetSystemLocalTime(local.data());
    VSystem::GetSystemUTCTime(after.data());
    EXPECT_GE(universal[0], 2024);
    EXPECT_GE(universal[1], 1);
    EXPECT_LE(universal[1], 12);
    EXPECT_GE(universal[6], 0);
    EXPECT_LE(universal[6], 999);
    // The local fields are 5:30 ahead of a time read between the two universal readings, however
    // long apart those were.
    EXPECT_GE(SecondsOf(local) - 19800, SecondsOf(universal));
    EXPECT_LE(SecondsOf(local) - 19800, SecondsOf(after));
    // The system's clock: time() may lag the precise clock by a tick.
    EXPECT_GE(SecondsOf(universal), before);
    EXPECT_LE(SecondsOf(universal), time(nullptr) + 1);
}

TEST(VSystem, CenturyPivotYearIsKept)
{
    int16_t saved = VSystem::GetCenturyPivotYear();
    VSystem::SetCenturyPivotYear(1950);
    EXPECT_EQ(VSystem::GetCenturyPivotYear(), 1950);
    VSystem::SetCenturyPivotYear(saved);
}

// The wall clock the offsets are read at, for the scope.
class StWallClock
{
public:
    explicit StWallClock(int64_t inMilliseconds)
    {
        Set(inMilliseconds);
        XMacSystem::SetWallClockForTesting([] { return sNow.load(); });
    }
    ~StWallClock() { XMacSystem::SetWallClockForTesting(nullptr); }
    StWallClock(const StWallClock&) = delete;
    StWallClock& operator=(const StWallClock&) = delete;

    void Set(int64_t inMilliseconds) { sNow.store(inMilliseconds); }

private:
    static inline std::atomic<int64_t> sNow{0};
};

// Paris goes to summer time at 2024-03-31 01:00:00 UTC.
constexpr int64_t kParisSummer2024 = 1711846800;

TEST_F(VSystemTimeZone, OffsetsAreReadAgainOnceTheWallClockPassesTheNextTransition)
{
    SetTimeZone(kParis);
    StWallClock clock((kParisSummer2024 - 1) * 1000);
    VSystem::UpdateGMTOffset();
    EXPECT_EQ(VSystem::GetGMTOffset(true), 3600);
    clock.Set((kParisSummer2024 + 1) * 1000);
    EXPECT_EQ(VSystem::GetGMTOffset(true), 7200);
    EXPECT_EQ(VSystem::GetGMTOffset(false), 3600);
    EXPECT_EQ(XMacSystem::FindNextTimeZoneTransition(kParisSummer2024 - 100000), kParisSummer2024);
    EXPECT_EQ(XMacSystem::FindNextTimeZoneTransition(kParisSummer2024), 1729990800);
    SetTimeZone(kIndia);
    EXPECT_EQ(XMacSystem::FindNextTimeZoneTransition(kParisSummer2024), -1);
}

TEST_F(VSystemTimeZone, TheTransitionTimerOnTheMainRunLoopMarksTheOffsetsStale)
{
    cf::RunLoop* mainLoop = cf::RunLoopGetMain();
    ASSERT_EQ(cf::RunLoopGetCurrent(), mainLoop) << "the tests run on the main thread";
    const int32_t before = cf::RunLoopCountTimers(mainLoop);
    SetTimeZone(kParis);
    StWallClock clock(kParisSummer2024 * 1000 - 30);
    VSystem::UpdateGMTOffset();
    // One timer for the zone, replaced rather than added to.
    EXPECT_EQ(cf::RunLoopCountTimers(mainLoop), before + 1);
    VSystem::UpdateGMTOffset();
    EXPECT_EQ(cf::RunLoopCountTimers(mainLoop), before + 1);

    EXPECT_EQ(cf::RunLoopRunInMode(10.0, true), cf::kRunLoopRunHandledSource);
    EXPECT_EQ(cf::RunLoopCountTimers(mainLoop), before);
    // Stale: the next question reads the zone again and sets the next timer.
    EXPECT_EQ(VSystem::GetGMTOffset(true), 3600);
    EXPECT_EQ(cf::RunLoopCountTimers(mainLoop), before + 1);
    SetTimeZone("UTC0");
    EXPECT_EQ(cf::RunLoopCountTimers(mainLoop), before);
}

TEST(VSystemProcesses, TheListAppendsEveryLiveProcessButNoZombie)
{
    // Once it has quit, the child stays a zombie until its status is read.
    const pid_t zombie = NewZombie();
    ASSERT_GT(zombie, 0);

    std::vector<int> pids{-7};
    VSystem::GetProcessList(pids);
    EXPECT_EQ(pids.front(), -7);
    EXPECT_NE(std::find(pids.begin(), pids.end(), int(getpid())), pids.end());
    EXPECT_EQ(std::find(pids.begin(), pids.end(), int(zombie)), pids.end());
    EXPECT_TRUE(VSystem::WaitForProcess(zombie, 0, nullptr));
}

TEST(VSystemProcesses, NameAndPathOfAProcess)
{
    VString name("unchanged");
    VString path("unchanged");
    VSystem::GetProcessName(int(getpid()), name);
    VSystem::GetProcessPath(int(getpid()), path);
    char executable[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", executable, sizeof executable - 1), 0);
    EXPECT_EQ(to_string(path), executable);
    std::string base = std::string(executable).substr(std::string(executable).rfind('/') + 1);
    // The executable's name, whatever the main thread is called.
    EXPECT_EQ(to_string(name), base);

    VString untouched("unchanged");
    VSystem::GetProcessName(INT_MAX, untouched);
    VSystem::GetProcessPath(INT_MAX, untouched);
    EXPECT_EQ(to_string(untouched), "unchanged");
}

TEST(VSystemProcesses, WaitingAndKilling)
{
    // No process group, nor every process, is ever signalled.
    EXPECT_FALSE(VSystem::KillProcess(0));
    EXPECT_FALSE(VSystem::KillProcess(-1));

    VSystem::EWFP_Reason reason = VSystem::EWFP_Reason(0);
    EXPECT_FALSE(VSystem::WaitForProcess(1, 0, &reason));
    EXPECT_EQ(reason, VSystem::EWFP_NoSuchChild);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        pause();
        _exit(0);
    }
    reason = VSystem::EWFP_Reason(0);
    EXPECT_FALSE(VSystem::WaitForProcess(child, 0, &reason));
    EXPECT_EQ(reason, VSystem::EWFP_StillRunning);
    EXPECT_TRUE(VSystem::KillProcess(child));
    EXPECT_TRUE(VSystem::WaitForProcess(child, -1, &reason));
    EXPECT_FALSE(VSystem::WaitForProcess(child, 0, &reason));
    EXPECT_EQ(reason, VSystem::EWFP_NoSuchChild);
}

// Alerts are answered at once, without a desktop session, and written to a log file.
class VSystemAlerts : public testing::Test
{
protected:
    std::vector<std::string> Shown()
    {
        std::ifstream file(fLog);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

    std::string fLog = testing::TempDir() + "vsystem-alerts-" + std::to_string(getpid()) + ".jsonl";
    StEnvironment fEnvironment{{"DISPLAY", nullptr},
                               {"WAYLAND_DISPLAY", nullptr},
                               {"KOVA_NOTIFICATION_ANSWER", nullptr},
                               {"KOVA_NOTIFICATION_LOG", fLog.c_str()}};
    void SetUp() override { std::remove(fLog.c_str()); }
    void TearDown() override { std::remove(fLog.c_str()); }
};

TEST_F(VSystemAlerts, TheFlagsChooseTheButtonsAndTheDefaultAnswers)
{
    struct Case
    {
        uint32_t fFlags;
        const char* fButtons;
        ENotificationResponse fDefault;
    };
    const Case kCases[] = {
        {ENF_OKCancel | ENF_DefaultYesOrOK, R"(["OK","Cancel"])", ENR_OK},
        {ENF_OKCancel, R"(["Cancel","OK"])", ENR_Cancel},
        {ENF_YesNo | ENF_DefaultYesOrOK, R"(["Yes","No"])", ENR_Yes},
        {ENF_YesNo, R"(["No","Yes"])", ENR_No},
        {ENF_OK, R"(["OK"])", ENR_OK},
        {ENF_YesNoCancel | ENF_DefaultYesOrOK, R"(["Yes","No","Cancel"])", ENR_Yes},
        {ENF_YesNoCancel | ENF_DefaultNo, R"(["No","Yes","Cancel"])", ENR_No},
        {ENF_YesNoCancel | ENF_DefaultYesOrOK | ENF_DefaultNo, R"(["Cancel","No","Yes"])", ENR_Cancel},
        {ENF_RetryIgnoreAbort | ENF_Caution, R"(["Retry","Ignore","Abort"])", ENR_Retry},
        {0, R"(["OK"])", ENR_OK},
        {9, R"(["OK"])", ENR_OK},
    };
    for (const Case& test : kCases)
    {
        ENotificationResponse response = ENR_None;
        EXPECT_TRUE(VSystem::DisplayNotification(VString("Title"), VString("Text"), test.fFlags, &response));
        EXPECT_EQ(response, test.fDefault) << test.fFlags;
    }
    std::vector<std::string> shown = Shown();
    ASSERT_EQ(shown.size(), std::size(kCases));
    for (size_t i = 0; i < shown.size(); ++i)
    {
        EXPECT_EQ(shown[i], std::string(R"({"title":"Title","message":"Text","buttons":)") +
                                kCases[i].fButtons + ",\"answer\":" + std::to_string(kCases[i].fDefault) +
                                "}");
    }
}

TEST_F(VSystemAlerts, AnAnswerIsGivenByNumberOrTitleAndOneTheAlertLacksIsItsDefault)
{
    struct Case
    {
        const char* fAnswer;
        ENotificationResponse fResponse;
    };
    for (const Case& test : {Case{"Yes", ENR_Yes}, Case{"3", ENR_Yes}, Case{"4", ENR_No},
                             Case{"Abort", ENR_No}, Case{"6", ENR_No}, Case{"", ENR_No}})
    {
        StEnvironment answer{{"KOVA_NOTIFICATION_ANSWER", test.fAnswer}};
        ENotificationResponse response = ENR_None;
        EXPECT_TRUE(VSystem::DisplayNotification(VString("T"), VString("M"), ENF_YesNo, &response));
        EXPECT_EQ(response, test.fResponse) << test.fAnswer;
    }
}

TEST_F(VSystemAlerts, WithoutATitleTheMessageIsTheHeaderAndNothingStaysPending)
{
    EXPECT_TRUE(VSystem::DisplayNotification(VString(), VString("Only \"text\"\n"), ENF_OK, nullptr));
    EXPECT_TRUE(XMacSystem::sPendingUserNotifications.empty());
    VSystem::CancelAllPendingUserNotifications();
    EXPECT_EQ(Shown(), std::vector<std::string>{
                           R"({"title":"Only \"text\"\n","message":"","buttons":["OK"],"answer":1})"});
}

TEST(VSystemInformation, VersionProcessorAndMemory)
{
    EXPECT_TRUE(VSystem::IsSystemVersionOrAbove(SystemVersion_MacOS_13));
    EXPECT_TRUE(VSystem::IsSystemVersionOrAbove(SystemVersion(25)));
    EXPECT_EQ(VSystem::MAC_GetSystemVersionDecimal(), 130000);
    VString brand;
    VSystem::GetProcessorTypeString(brand, true);
    EXPECT_FALSE(brand.IsEmpty());
    EXPECT_EQ(XMacSystem::CompactProcessorBrand("  Some   CPU  @ 3.0GHz   "), "Some CPU @ 3.0GHz");

    EXPECT_GT(VSystem::GetUptime(), 0);
    EXPECT_GT(VSystem::GetPhysicalMemSize(), 0u);
    EXPECT_LE(VSystem::GetPhysicalFreeMemSize(), VSystem::GetPhysicalMemSize());
    EXPECT_GT(VSystem::GetApplicationPhysicalMemSize(), 0u);
    EXPECT_LE(VSystem::GetApplicationPhysicalMemSize(), VSystem::VirtualMemoryUsedSize());
    int32_t random = VSystem::Random(false);
    EXPECT_GE(random, 0);
    EXPECT_GT(VSystem::GetProfilingFrequency(), 0u);

    VString demangled;
    VSystem::DemangleSymbol("_ZN4kova7VSystem5DelayEi", demangled);
    EXPECT_EQ(to_string(demangled), "kova::VSystem::Delay(int)");
    VSystem::DemangleSymbol("plain_c_name", demangled);
    EXPECT_EQ(to_string(demangled), "plain_c_name");
}

TEST(VSystemInformation, VirtualQueryTellsRegionsFromGaps)
{
    const size_t page = VSystem::GetVMPageSize();
    char* block = static_cast<char*>(mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(block, MAP_FAILED);
    ASSERT_EQ(munmap(block + page, page), 0);
    size_t size = 0;
    uint32_t state = 7;
    void* base = nullptr;
    EXPECT_TRUE(VSystem::VirtualQuery(block + page + 10, &size, &state, &base));
    EXPECT_EQ(state, 1u);
    EXPECT_EQ(base, block + page + 10);
    EXPECT_EQ(size, page - 10);
    EXPECT_TRUE(VSystem::VirtualQuery(block + 5, &size, &state, &base));
    EXPECT_EQ(state, 0u);
    EXPECT_LE(static_cast<char*>(base), block);
    EXPECT_GE(static_cast<char*>(base) + size, block + page);
    munmap(block, page);
    munmap(block + 2 * page, page);
}

} // namespace
} // namespace kova
