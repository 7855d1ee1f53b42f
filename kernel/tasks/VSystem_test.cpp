#include "kernel/tasks/VSystem.h"

#include "kernel/tasks/StTimeZone_test.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <string>

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
    VSystem::GetSystemUTCTime(universal.data());
    VSystem::GetSystemLocalTime(local.data());
    EXPECT_GE(universal[0], 2024);
    EXPECT_GE(universal[1], 1);
    EXPECT_LE(universal[1], 12);
    EXPECT_GE(universal[6], 0);
    EXPECT_LE(universal[6], 999);
    // Both were read a moment apart: the local fields are 5:30 ahead, give or take that moment.
    time_t gap = SecondsOf(local) - SecondsOf(universal) - 19800;
    EXPECT_GE(gap, 0);
    EXPECT_LE(gap, 2);
    EXPECT_NEAR(double(time(nullptr)), double(SecondsOf(universal)), 2.0);
}

TEST(VSystem, CenturyPivotYearIsKept)
{
    int16_t saved = VSystem::GetCenturyPivotYear();
    VSystem::SetCenturyPivotYear(1950);
    EXPECT_EQ(VSystem::GetCenturyPivotYear(), 1950);
    VSystem::SetCenturyPivotYear(saved);
}

} // namespace
} // namespace kova
