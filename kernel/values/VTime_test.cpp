#include "kernel/values/VTime.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/tasks/StTimeZone_test.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VTimeTesting_test.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_time::Fields;
using testing_time::LocalFields;
using testing_time::MakeTime;
using testing_time::NullTime;
using testing_time::UTCFields;

TEST(VTime, DayNumbersAndWeekDays)
{
    EXPECT_EQ(VTime::ComputeJulianDay(2000, 1, 1), 2451544);
    EXPECT_EQ(VTime::ComputeWeekDay(2000, 1, 1), 6);
    EXPECT_EQ(VTime::ComputeWeekDay(2026, 12, 8), 2);
    EXPECT_EQ(VTime::ComputeYearDay(2024, 12, 31), 366);
    EXPECT_EQ(VTime::ComputeYearDay(2023, 3, 1), 60);
    EXPECT_EQ(VTime::ComputeJulianDay(2024, 3, 1) - VTime::ComputeJulianDay(2024, 2, 28), 2);
    EXPECT_EQ(VTime::ComputeJulianDay(0, 3, 1) - VTime::ComputeJulianDay(0, 2, 28), 2);
    // Months past the table carry into the years instead of reading beyond it.
    EXPECT_EQ(VTime::ComputeJulianDay(2023, 13, 1), VTime::ComputeJulianDay(2024, 1, 1));
    EXPECT_EQ(VTime::ComputeJulianDay(2024, -1, 1), VTime::ComputeJulianDay(2023, 11, 1));

    VTime time = NullTime();
    time.SetDirty(false);
    time.FromJulianDay(2451544);
    EXPECT_EQ(UTCFields(time), (Fields{2000, 1, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(time.IsNull());
    EXPECT_FALSE(time.IsDirty());
    for (int32_t dayNumber : {1721060, 2299161, 2451604, 2460000, 5000000})
    {
        time.FromJulianDay(dayNumber);
        EXPECT_EQ(time.GetJulianDay(), dayNumber);
    }
    EXPECT_EQ(NullTime().GetJulianDay(), -1);
    EXPECT_EQ(NullTime().GetWeekDay(), -1);
    EXPECT_EQ(NullTime().GetYearDay(), -1);
    EXPECT_EQ(MakeTime(2000, 1, 1).GetYearDay(), 1);
}

TEST(VTime, UTCFieldsAreCheckedAndAnInvalidSetMakesTheValueNull)
{
    struct Case
    {
        Fields fFields;
        bool fValid;
    };
    const Case cases[] = {
        {{2023, 2, 29, 12, 0, 0, 0}, false},  {{2024, 2, 29, 12, 0, 0, 0}, true},
        {{2000, 2, 29, 0, 0, 0, 0}, true},    {{1900, 2, 29, 0, 0, 0, 0}, false},
        {{0, 1, 1, 0, 0, 0, 0}, true},        {{-1, 1, 1, 0, 0, 0, 0}, false},
        {{2024, 4, 31, 0, 0, 0, 0}, false},   {{2024, 13, 1, 0, 0, 0, 0}, false},
        {{2024, 1, 0, 0, 0, 0, 0}, false},    {{2024, 1, 1, 24, 0, 0, 0}, false},
        {{2024, 1, 1, 0, 60, 0, 0}, false},   {{2024, 1, 1, 0, 0, 60, 0}, false},
        {{2024, 1, 1, 0, 0, 0, 1000}, false}, {{32767, 12, 31, 23, 59, 59, 999}, true},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fFields[0] * 10000 + test.fFields[1] * 100 + test.fFields[2]);
        VTime time = MakeTime(test.fFields[0], test.fFields[1], test.fFields[2], test.fFields[3],
                              test.fFields[4], test.fFields[5], test.fFields[6]);
        EXPECT_EQ(time.IsNull(), !test.fValid);
        EXPECT_TRUE(time.IsDirty());
        EXPECT_EQ(UTCFields(time), test.fValid ? test.fFields : Fields{});
    }
    EXPECT_FALSE(MakeTime(0, 1, 1).IsEmptyDate());
    EXPECT_TRUE(VTime::CheckDate(2024, 2, 29));
    EXPECT_FALSE(VTime::CheckDate(2100, 2, 29));
    EXPECT_FALSE(VTime::CheckDate(0, 0, 0));
    EXPECT_TRUE(VTime::IsLeapYear(2000));
    EXPECT_FALSE(VTime::IsLeapYear(1900));
}

TEST(VTime, TheEmptyDateKeepsATimeOfDayButSitsAtZero)
{
    VTime time = MakeTime(0, 0, 0, 10, 0, 0, 0);
    EXPECT_FALSE(time.IsNull());
    EXPECT_TRUE(time.IsEmptyDate());
    EXPECT_EQ(time.GetStamp(), 36000000u);
    EXPECT_EQ(time.GetMilliseconds(), 0);
    time.NullIfZero();
    EXPECT_TRUE(time.IsNull());
    EXPECT_EQ(NullTime().GetMilliseconds(), -1);
    EXPECT_EQ(MakeTime(2000, 1, 1).GetMilliseconds(), 211813401600000);
}

TEST(VTime, ArithmeticOnTheMillisecondScale)
{
    VTime time = MakeTime(2024, 2, 28, 23);
    time.AddDays(1);
    EXPECT_EQ(UTCFields(time), (Fields{2024, 2, 29, 23, 0, 0, 0}));
    time.AddHours(2);
    EXPECT_EQ(UTCFields(time), (Fields{2024, 3, 1, 1, 0, 0, 0}));
    time.AddMinutes(-121);
    time.AddSeconds(59);
    time.AddMilliseconds(1000);
    EXPECT_EQ(UTCFields(time), (Fields{2024, 2, 29, 23, 0, 0, 0}));
    time.Add(VDuration(86400000));
    time.Substract(VDuration(3600000));
    EXPECT_EQ(UTCFields(time), (Fields{2024, 3, 1, 22, 0, 0, 0}));

    VTime start = MakeTime(2024, 1, 1);
    VDuration difference;
    time.Substract(start, difference);
    EXPECT_EQ(difference.ConvertToMilliseconds(), (31 + 29) * 86400000LL + 22 * 3600000LL);

    VDuration nullDifference(5);
    nullDifference.SetNull(true);
    NullTime().Substract(NullTime(), nullDifference);
    EXPECT_EQ(nullDifference.ConvertToMilliseconds(), 0);
    EXPECT_FALSE(nullDifference.IsNull());
    VTime().Substract(NullTime(), nullDifference);
    EXPECT_EQ(nullDifference.ConvertToMilliseconds(), 1);
}

TEST(VTime, ScaleResultsOfMinusOneAndZeroAreNullAndEmpty)
{
    VTime time;
    time.Substract(VDuration(1));
    EXPECT_TRUE(time.IsNull());
    time.AddMilliseconds(1);
    EXPECT_FALSE(time.IsNull());
    EXPECT_TRUE(time.IsEmptyDate());
    EXPECT_EQ(time.GetStamp(), 0u);
    time.FromMilliseconds(-1);
    EXPECT_TRUE(time.IsNull());
    time.FromMilliseconds(MakeTime(1999, 12, 31, 23, 59, 59, 999).GetMilliseconds());
    EXPECT_EQ(UTCFields(time), (Fields{1999, 12, 31, 23, 59, 59, 999}));
}

TEST(VTime, ScaleResultsThatNameNoDateAreRefused)
{
    // Each leaves the fields and the null state as they were; like all arithmetic, it still makes
    // the date-time dirty.
    struct Case
    {
        const char* fName;
        VTime fStart;
        void (*fOperation)(VTime&);
    };
    const VTime date = MakeTime(2024, 5, 6, 7);
    const Case cases[] = {
        {"empty minus 5 ms", VTime(), [](VTime& t) { t.Substract(VDuration(5)); }},
        {"after the empty date, before year 0", VTime(), [](VTime& t) { t.AddMilliseconds(1000); }},
        {"sum past INT64_MAX", date, [](VTime& t) { t.AddMilliseconds(INT64_MAX); }},
        {"sum past INT64_MIN", date, [](VTime& t) { t.AddMilliseconds(INT64_MIN); }},
        {"minus INT64_MIN", date, [](VTime& t) { t.Substract(VDuration(INT64_MIN)); }},
        {"days past year 32767", date, [](VTime& t) { t.AddDays(INT32_MAX); }},
        {"a scale before year 0", date, [](VTime& t) { t.FromMilliseconds(-86400000); }},
        {"after the last date", MakeTime(32767, 12, 31, 23, 59, 59, 999),
         [](VTime& t) { t.AddMilliseconds(1); }},
        {"before the first date", MakeTime(0, 1, 1), [](VTime& t) { t.AddMilliseconds(-1); }},
        {"null minus a day", NullTime(), [](VTime& t) { t.AddDays(-1); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fName);
        VTime time(c.fStart);
        time.SetDirty(false);
        c.fOperation(time);
        EXPECT_EQ(time.GetStamp(), c.fStart.GetStamp());
        EXPECT_EQ(time.IsNull(), c.fStart.IsNull());
        EXPECT_TRUE(time.IsDirty());
    }
}

TEST(VTime, CalendarArithmeticOnTheFieldsIsUnchecked)
{
    VTime time = MakeTime(2024, 1, 15);
    time.SetDirty(false);
    time.AddMonths(-1);
    EXPECT_EQ(UTCFields(time), (Fields{2023, 12, 15, 0, 0, 0, 0}));
    time.AddMonths(25);
    EXPECT_EQ(UTCFields(time), (Fields{2026, 1, 15, 0, 0, 0, 0}));
    EXPECT_FALSE(time.IsDirty());

    VTime endOfMonth = MakeTime(2024, 1, 31);
    endOfMonth.AddMonths(1);
    EXPECT_EQ(endOfMonth.GetStamp(), uint64_t(2024) << 48 | uint64_t(2) << 40 | uint64_t(31) << 32);
    VTime leapDay = MakeTime(2024, 2, 29);
    leapDay.AddYears(1);
    EXPECT_EQ(leapDay.GetStamp(), uint64_t(2025) << 48 | uint64_t(2) << 40 | uint64_t(29) << 32);
}

TEST(VTime, UncheckedFieldsNeverReadOutOfBounds)
{
    VTime time(uint64_t(2024) << 48 | uint64_t(200) << 40 | uint64_t(250) << 32 | 0xFFFFFFFFu);
    EXPECT_GT(time.GetMilliseconds(), 0);
    time.GetWeekDay();
    int16_t year, month, day;
    time.GetJulianDate(year, month, day);
    time.AddDays(1);
    time.AddMonths(INT32_MAX);
    time.AddYears(INT32_MAX);
    SUCCEED();
}

TEST(VTime, JulianCalendarDates)
{
    int16_t year, month, day;
    MakeTime(2000, 1, 1).GetJulianDate(year, month, day);
    EXPECT_EQ(year, 1999);
    EXPECT_EQ(month, 12);
    EXPECT_EQ(day, 19);
    NullTime().GetJulianDate(year, month, day);
    EXPECT_EQ(year, 0);

    VTime time;
    time.FromJulianDate(1999, 12, 19);
    EXPECT_EQ(UTCFields(time), (Fields{2000, 1, 1, 0, 0, 0, 0}));
    time.FromJulianDate(2100, 2, 29); // a Julian leap day
    EXPECT_FALSE(time.IsNull());
    time.GetJulianDate(year, month, day);
    EXPECT_EQ(month, 2);
    EXPECT_EQ(day, 29);
    time.FromJulianDate(2023, 2, 29);
    EXPECT_TRUE(time.IsNull());
    time.FromJulianDate(2023, 13, 1);
    EXPECT_TRUE(time.IsNull());
}

TEST(VTime, ComparesFieldByFieldWhateverTheNullState)
{
    VTime early = MakeTime(2024, 1, 1, 12);
    VTime late = MakeTime(2024, 1, 2);
    VTime nullLate(late);
    nullLate.SetNull(true);
    EXPECT_TRUE(early < late);
    EXPECT_TRUE(late >= early);
    EXPECT_TRUE(late == nullLate);
    EXPECT_EQ(early.CompareToSameKind(&late, false), CR_SMALLER);
    EXPECT_EQ(late.CompareTo(early, false), CR_BIGGER);
    EXPECT_TRUE(late.EqualToSameKind(&nullLate, false));
    uint64_t stamp = late.GetStamp();
    EXPECT_EQ(late.CompareToSameKindPtr(&stamp, false), CR_EQUAL);
    EXPECT_EQ(early.CompareToSameKindPtr(&stamp, false), CR_SMALLER);
    uint64_t earlyStamp = early.GetStamp();
    EXPECT_EQ(VTime::sInfo.CompareTwoPtrToData(&earlyStamp, &stamp, false), CR_SMALLER);
    // A value of another kind converts first; a duration has no date-time and gives the empty one.
    EXPECT_EQ(VTime().CompareTo(VDuration(5), false), CR_EQUAL);
}

// Options take no part: the fields alone decide, as for the plain comparisons.
TEST(VTime, ComparisonsWithOptionsGoFieldByField)
{
    VCompareOptions plain;
    VCompareOptions everything;
    everything.SetLike(true);
    everything.SetDiacritical(true);
    everything.SetBeginOnly(true);
    struct Case
    {
        const char* fName;
        VTime fThis, fOther;
        CompareResult fResult;
    };
    const Case cases[] = {
        {"same", MakeTime(2024, 1, 2, 3), MakeTime(2024, 1, 2, 3), CR_EQUAL},
        {"year first", MakeTime(2023, 12, 31, 23), MakeTime(2024, 1, 1), CR_SMALLER},
        {"then month", MakeTime(2024, 3, 1), MakeTime(2024, 2, 29, 23), CR_BIGGER},
        {"then day", MakeTime(2024, 3, 1, 23), MakeTime(2024, 3, 2), CR_SMALLER},
        {"then time of day", MakeTime(2024, 3, 1, 0, 0, 0, 1), MakeTime(2024, 3, 1), CR_BIGGER},
        {"empty date holding a time", MakeTime(0, 0, 0, 10), VTime(), CR_BIGGER},
        {"null state ignored", NullTime(), VTime(), CR_EQUAL},
    };
    for (const Case& c : cases)
    {
        for (const VCompareOptions* options : {&plain, &everything})
        {
            SCOPED_TRACE(testing::Message() << c.fName << (options == &plain ? "" : ", all options"));
            uint64_t stamp = c.fOther.GetStamp();
            EXPECT_EQ(c.fThis.CompareToSameKindWithOptions(&c.fOther, *options), c.fResult);
            EXPECT_EQ(c.fThis.CompareToSameKindPtrWithOptions(&stamp, *options), c.fResult);
            EXPECT_EQ(c.fThis.EqualToSameKindWithOptions(&c.fOther, *options), c.fResult == CR_EQUAL);
            EXPECT_EQ(c.fThis.EqualToSameKindPtrWithOptions(&stamp, *options), c.fResult == CR_EQUAL);
        }
    }
}

TEST(VTime, FromValueSameKindRefusesAnotherClass)
{
    VTime time = MakeTime(2001, 2, 3);
    time.SetDirty(false);
    VLong number(5);
    EXPECT_FALSE(time.FromValueSameKind(&number));
    EXPECT_EQ(UTCFields(time), (Fields{2001, 2, 3, 0, 0, 0, 0}));
    EXPECT_FALSE(time.IsDirty());

    VTime null = NullTime();
    EXPECT_TRUE(time.FromValueSameKind(&null));
    EXPECT_TRUE(time.IsNull());
    EXPECT_TRUE(time.IsDirty());
}

TEST(VTime, CopiesKeepTheNullState)
{
    VTime null = NullTime();
    std::unique_ptr<VValue> clone(null.Clone());
    EXPECT_TRUE(clone->IsNull());
    VTime assigned = MakeTime(2020, 5, 5);
    assigned.SetDirty(false);
    assigned = MakeTime(2021, 6, 6);
    EXPECT_FALSE(assigned.IsDirty()); // same null state: FromTime leaves the flag
    assigned = null;
    EXPECT_TRUE(assigned.IsNull());
    EXPECT_TRUE(assigned.IsDirty());

    VTime fromValue;
    fromValue.SetDirty(false);
    fromValue.FromValue(MakeTime(1999, 1, 2));
    EXPECT_EQ(UTCFields(fromValue), (Fields{1999, 1, 2, 0, 0, 0, 0}));
    EXPECT_TRUE(fromValue.IsDirty());
    EXPECT_EQ(fromValue.GetLong8OrMilliSeconds(), fromValue.GetMilliseconds());
    EXPECT_DOUBLE_EQ(fromValue.GetReal(), double(fromValue.GetStamp()));
}

TEST(VTime, RegisteredAsKind8WithAPackedStamp)
{
    std::unique_ptr<VValue> made(VValue::NewValueFromValueKind(VK_TIME));
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(static_cast<VTime*>(made.get())->IsEmptyDate());

    VTime time = MakeTime(2026, 12, 8, 13, 45, 30, 250);
    uint8_t buffer[8];
    EXPECT_EQ(time.WriteToPtr(buffer, false, 0), buffer + 8);
    std::unique_ptr<VValue> loaded(VTime::sInfo.LoadFromPtr(buffer, false));
    EXPECT_EQ(UTCFields(*static_cast<VTime*>(loaded.get())), (Fields{2026, 12, 8, 13, 45, 30, 250}));
    VTime reloaded = NullTime();
    EXPECT_EQ(reloaded.LoadFromPtr(buffer, false), buffer + 8);
    EXPECT_FALSE(reloaded.IsNull());
    EXPECT_EQ(reloaded, time);
}

TEST(VTime, StreamFormInBothByteOrders)
{
    struct Case
    {
        bool fSwap;
        std::vector<uint8_t> fBytes;
    };
    const Case cases[] = {
        {false, {0xEA, 0x07, 0x0C, 0x08, 0x8A, 0xC5, 0xF3, 0x02}},
        {true, {0x07, 0xEA, 0x0C, 0x08, 0x02, 0xF3, 0xC5, 0x8A}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fSwap);
        VPtrStream stream;
        stream.SetNeedSwap(test.fSwap);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(MakeTime(2026, 12, 8, 13, 45, 30, 250).WriteToStream(&stream, 0), VE_OK);
        ASSERT_EQ(stream.CloseWriting(), VE_OK);
        VStream::UnderlyingData data = stream.GetUnderlyingData();
        const auto* bytes = static_cast<const uint8_t*>(data.fData);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + data.fSize), test.fBytes);

        ASSERT_EQ(stream.OpenReading(), VE_OK);
        VTime read = NullTime();
        read.SetDirty(false);
        EXPECT_EQ(read.ReadFromStream(&stream, 0), VE_OK);
        EXPECT_TRUE(read.IsNull());
        EXPECT_FALSE(read.IsDirty());
        read.SetNull(false);
        EXPECT_EQ(UTCFields(read), (Fields{2026, 12, 8, 13, 45, 30, 250}));
    }

    StErrorContextInstaller errors(false);
    const uint8_t shortBytes[3] = {0xEA, 0x07, 0x0C};
    VConstPtrStream shortStream(shortBytes, sizeof(shortBytes));
    ASSERT_EQ(shortStream.OpenReading(), VE_OK);
    VTime kept = MakeTime(2001, 2, 3);
    EXPECT_EQ(kept.ReadFromStream(&shortStream, 0), VE_STREAM_EOF);
    EXPECT_EQ(UTCFields(kept), (Fields{2001, 2, 3, 0, 0, 0, 0}));
}

TEST(VTime, CurrentTime)
{
    // Between two readings of the system's clock, however long apart those were.
    VTime before;
    before.FromSystemTime();
    VTime now(eInitWithCurrentTime);
    VTime system;
    system.FromSystemTime();
    EXPECT_FALSE(now.IsNull());
    EXPECT_GE(UTCFields(now)[0], 2024);
    EXPECT_TRUE(before <= now);
    EXPECT_TRUE(now <= system);
    VTime later;
    VTime::Now(later);
    EXPECT_TRUE(later >= now);
    EXPECT_TRUE(VTime(eInitWithZero).IsEmptyDate());
}

// Local time in a zone of fixed rules; TZ is put back after.
class VTimeLocal : public testing::Test
{
private:
    StTimeZone fZone{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST_F(VTimeLocal, LocalFieldsGoThroughTheZone)
{
    VTime time;
    time.FromLocalTime(2024, 7, 1, 14, 30, 0, 5);
    EXPECT_EQ(UTCFields(time), (Fields{2024, 7, 1, 12, 30, 0, 5}));
    EXPECT_EQ(LocalFields(time), (Fields{2024, 7, 1, 14, 30, 0, 5}));
    EXPECT_EQ(time.GetLocalHour(), 14);
    EXPECT_EQ(time.GetLocalMillisecond(), 5);
    EXPECT_EQ(time.GetLocalDurationSinceMidnight().ConvertToMilliseconds(),
              14 * 3600000LL + 30 * 60000LL + 5);
    EXPECT_EQ(time.GetLocalUnixTime(false), 1719837000);
    EXPECT_EQ(time.GetLocalUnixTime(true), 1719837000005);

    VTime winter = MakeTime(2024, 12, 31, 23, 30);
    EXPECT_EQ(LocalFields(winter), (Fields{2025, 1, 1, 0, 30, 0, 0}));
    EXPECT_EQ(winter.GetLocalYear(), 2025);

    time.FromLocalTime(2023, 2, 29, 0, 0, 0, 0);
    EXPECT_TRUE(time.IsNull());
}

TEST_F(VTimeLocal, LocalSettersCarryOrRefuseAsTheirFieldAsks)
{
    VTime time;
    time.FromLocalTime(2024, 2, 29, 10, 0, 0, 0);
    time.SetLocalYear(2028);
    EXPECT_EQ(LocalFields(time), (Fields{2028, 2, 29, 10, 0, 0, 0}));
    time.SetLocalYear(2023);
    EXPECT_TRUE(time.IsNull());

    time.FromLocalTime(2024, 1, 31, 10, 0, 0, 0);
    time.SetLocalMonth(14);
    EXPECT_TRUE(time.IsNull()); // 31 February 2025
    time.FromLocalTime(2024, 1, 15, 10, 0, 0, 0);
    time.SetLocalMonth(0);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 12, 15, 10, 0, 0, 0}));

    time.SetLocalDay(0);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 11, 30, 10, 0, 0, 0}));
    time.SetLocalDay(32);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 12, 2, 10, 0, 0, 0}));
    // Day number 0 is no date, though the scale would read it as the empty date; day number 1 is
    // before year 0.
    for (int32_t dayNumber : {0, 1})
    {
        time.FromLocalTime(2024, 1, 15, 10, 0, 0, 0);
        time.SetLocalDay(dayNumber + 1 - VTime::ComputeJulianDay(2024, 1, 1));
        EXPECT_TRUE(time.IsNull()) << dayNumber;
    }
    time.FromLocalTime(2023, 12, 2, 10, 0, 0, 0);

    time.SetLocalHour(25);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 12, 3, 1, 0, 0, 0}));
    time.SetLocalMinute(-1);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 12, 3, 0, 59, 0, 0}));
    time.SetLocalSecond(3600);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 12, 3, 1, 59, 0, 0}));
    time.SetLocalMillisecond(1500);
    EXPECT_EQ(LocalFields(time), (Fields{2023, 12, 3, 1, 59, 1, 500}));
    // Across the change to summer time, local hours still count from local midnight.
    time.FromLocalTime(2024, 3, 31, 0, 0, 0, 0);
    time.SetLocalHour(5);
    EXPECT_EQ(LocalFields(time), (Fields{2024, 3, 31, 5, 0, 0, 0}));
    EXPECT_EQ(UTCFields(time), (Fields{2024, 3, 31, 3, 0, 0, 0}));
}

TEST_F(VTimeLocal, TodayStartsAtLocalMidnight)
{
    VTime today;
    today.FromToday(1000);
    Fields local = LocalFields(today);
    EXPECT_EQ(local[3], 0);
    EXPECT_EQ(local[4], 0);
    EXPECT_EQ(local[5], 1);
    Fields now{};
    VSystem::GetSystemLocalTime(now.data());
    // Unless midnight passed between the two readings.
    if (now[3] != 0 || now[4] != 0)
    {
        EXPECT_EQ(local[2], now[2]);
    }
}

} // namespace
} // namespace kova
