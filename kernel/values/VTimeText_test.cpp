// The text forms of VTime: RFC 3339 with its XML and JSON wrappings, the numeric and "!" forms,
// RFC 822, the localized form and the build date.
#include "kernel/values/VTime.h"

#include "kernel/tasks/StTimeZone_test.h"
#include "kernel/text/VString.h"
#include "kernel/values/VTimeTesting_test.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

using testing_time::Fields;
using testing_time::MakeTime;
using testing_time::NullTime;
using testing_time::UTCFields;

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

std::u16string Rfc3339(const VTime& inTime, uint32_t inOptions)
{
    VString text;
    inTime.GetRfc3339String(text, inOptions);
    return Text(text);
}

// What a reader left: null, the empty date with its time of day, or a date.
struct Outcome
{
    bool fNull = false;
    bool fEmpty = false;
    uint32_t fTimeOfDay = 0;
    Fields fFields{};
};

Outcome Null()
{
    return Outcome{true, false, 0, {}};
}

Outcome Empty(uint32_t inTimeOfDay)
{
    return Outcome{false, true, inTimeOfDay, {}};
}

Outcome Date(Fields inFields)
{
    return Outcome{false, false, 0, inFields};
}

void ExpectOutcome(const VTime& inTime, const Outcome& inExpected)
{
    ASSERT_EQ(inTime.IsNull(), inExpected.fNull);
    if (inExpected.fNull)
        return;
    ASSERT_EQ(inTime.IsEmptyDate(), inExpected.fEmpty);
    if (inExpected.fEmpty)
        EXPECT_EQ(inTime.GetStamp(), inExpected.fTimeOfDay);
    else
        EXPECT_EQ(UTCFields(inTime), inExpected.fFields);
}

// A reader's cases: what each text leaves, and the reader's answer (true for those that answer
// nothing).
struct ReadCase
{
    const char* fText;
    Outcome fOutcome;
    bool fResult = true;
};

template <size_t N, class Reader>
void ExpectReads(const ReadCase (&inCases)[N], Reader inRead)
{
    for (const ReadCase& c : inCases)
    {
        SCOPED_TRACE(c.fText);
        VTime time = MakeTime(2000, 1, 1);
        EXPECT_EQ(inRead(time, VString(c.fText)), c.fResult);
        ExpectOutcome(time, c.fOutcome);
    }
}

const VTime kSample = MakeTime(2026, 12, 8, 13, 45, 30, 250);

// ---------------------------------------------------------------------------------------------
// RFC 3339

TEST(VTimeText, Rfc3339WriterInUniversalTime)
{
    struct Case
    {
        uint32_t fOptions;
        const char16_t* fText;
    };
    const Case cases[] = {
        {1, u"2026-12-08T13:45:30.250Z"},
        {1 + 32, u"2026-12-08T13:45:30Z"},
        {1 + 4, u"13:45:30Z"},
        {1 + 8, u"2026-12-08"},
        {1 + 16, u"0000-00-00T13:45:30.250Z"},
        {1 + 4 + 8, u"13:45:30Z"}, // time only wins
    };
    for (const Case& c : cases)
        EXPECT_EQ(Rfc3339(kSample, c.fOptions), c.fText) << c.fOptions;

    for (uint32_t options : {0u, 1u, 2u, 4u, 8u, 33u})
        EXPECT_EQ(Rfc3339(NullTime(), options), u"0000-00-00T00:00:00Z") << options;
    EXPECT_EQ(Rfc3339(MakeTime(0, 0, 0, 10, 5, 0, 7), 1), u"0000-00-00T10:05:00.007Z");
}

TEST(VTimeText, Rfc3339WriterInLocalTime)
{
    StTimeZone zone("EST5");
    EXPECT_EQ(Rfc3339(kSample, 0), u"2026-12-08T08:45:30-05:00");
    EXPECT_EQ(Rfc3339(kSample, 0 + 32), u"2026-12-08T08:45:30-05:00");
    EXPECT_EQ(Rfc3339(kSample, 4), u"08:45:30-05:00");
    EXPECT_EQ(Rfc3339(kSample, 8), u"2026-12-08-05:00");
    EXPECT_EQ(Rfc3339(kSample, 16), u"0000-00-00T08:45:30-05:00");
    EXPECT_EQ(Rfc3339(kSample, 2), u"2026-12-08T08:45:30.250");
    EXPECT_EQ(Rfc3339(kSample, 2 + 32), u"2026-12-08T08:45:30");
    EXPECT_EQ(Rfc3339(kSample, 2 + 4), u"08:45:30");

    zone.Set("IST-5:30");
    EXPECT_EQ(Rfc3339(kSample, 0), u"2026-12-08T19:15:30+05:30");
}

// The offset written is the one in force at the date, whatever the season of the clock: a
// summer and a winter date both name their own instant.
TEST(VTimeText, Rfc3339OffsetIsTheDatesOwn)
{
    StTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const VTime summer = MakeTime(2024, 7, 1, 12);
    const VTime winter = MakeTime(2024, 12, 1, 12);
    EXPECT_EQ(Rfc3339(summer, 0), u"2024-07-01T14:00:00+02:00");
    EXPECT_EQ(Rfc3339(winter, 0), u"2024-12-01T13:00:00+01:00");
    for (const VTime* time : {&summer, &winter})
    {
        for (uint32_t options : {0u, 2u})
        {
            VString text;
            time->GetRfc3339String(text, options);
            VTime read;
            EXPECT_TRUE(read.FromRfc3339String(text));
            EXPECT_EQ(UTCFields(read), UTCFields(*time))
                << std::string(text.GetCPointer(), text.GetCPointer() + text.GetLength());
        }
    }
    // An offset in the text is taken as it stands, not as the zone's.
    VTime read;
    EXPECT_TRUE(read.FromRfc3339String(VString("2024-12-01T14:00:00+02:00")));
    EXPECT_EQ(UTCFields(read), (Fields{2024, 12, 1, 12, 0, 0, 0}));
}

TEST(VTimeText, Rfc3339Reader)
{
    const ReadCase cases[] = {
        {"2026-12-08T13:45:30.250Z", Date({2026, 12, 8, 13, 45, 30, 250})},
        {"2026-12-08T08:45:30-05:00", Date({2026, 12, 8, 13, 45, 30, 0})},
        {"2026-12-08T14:45:30.5+01:00", Date({2026, 12, 8, 13, 45, 30, 500})},
        {"2026-12-08t13:45:30.250z", Date({2026, 12, 8, 13, 45, 30, 250})}, // RFC 3339 allows both cases
        {"2026-12-08T13:45:30", Date({2026, 12, 8, 13, 45, 30, 0})},        // local (UTC here)
        {"2026-12-08", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"2026-12-08Z", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"2026-12-08+01:00", Date({2026, 12, 7, 23, 0, 0, 0})}, // midnight at the offset
        {"2026-12-08T00:30:00+23:59", Date({2026, 12, 7, 0, 31, 0, 0})},
        {"0000-00-00T00:00:00Z", Null()},
        {"0000-00-00T13:45:30.250Z", Empty(49530250)},
        {"12:30:15", Empty(45015000)},
        {"12:30:15.5", Empty(45015500)},
        {"12:30:15Z", Empty(45015000)},
        {"12:30:15-05:00", Empty(45015000)}, // a time alone keeps its zone's clock
        {"12:30", Empty(45000000)},
        {"3600", Empty(3600000)},
        {"3661", Empty(3660000)}, // the remaining second is dropped
        // A fraction is cut to milliseconds, never rounded into the next second; a leap second is
        // the last millisecond of its minute.
        {"2026-12-08T13:45:30.9999Z", Date({2026, 12, 8, 13, 45, 30, 999})},
        {"2026-12-08T13:45:59.99999999999999999Z", Date({2026, 12, 8, 13, 45, 59, 999})},
        {"2016-12-31T23:59:60Z", Date({2016, 12, 31, 23, 59, 59, 999})},
        {"2016-12-31T23:59:60.5Z", Date({2016, 12, 31, 23, 59, 59, 999})},
        // Text that is not the form is refused, whatever part of it is.
        {"2026-02-30T10:00:00Z", Null(), false},
        {"2026-02-30", Null(), false},
        {"2026-13-01T10:00:00Z", Null(), false},
        {"2026-00-01", Null(), false},
        {"2025-02-29", Null(), false},
        {"2026-12-08T24:00:00Z", Null(), false},
        {"2026-12-08T24:00:00.001Z", Null(), false},
        {"2026-12-08T25:00:00", Null(), false},
        {"2026-12-08T13:60:00Z", Null(), false},
        {"2026-12-08T13:45:61Z", Null(), false},
        {"2026-12-08T13:45:30+24:00", Null(), false},
        {"2026-12-08T13:45:30+01:60", Null(), false},
        {"2026-12-08T13:45:30+01:00Z", Null(), false},
        {"2026-12-08T13:45:30Z\n", Null(), false},
        {"2026-12-08T13:45:30.Z", Null(), false},
        {" 2026-12-08", Null(), false},
        {"2026-1-08", Null(), false},
        {"2026-12-8", Null(), false},
        {"2026-12-08T1:45:30Z", Null(), false},
        {"24:00:00", Null(), false},
        {"22001-01-01", Null(), false},
        {"abc", Null(), false},
        {"", Null(), false},
        {"2026-12-08T13:45Z", Null(), false},
        {"2026-12-08T13:45:30+01", Null(), false},
        {"99999999999", Null(), false},
        {"-3600", Null(), false},
        {"9999:00:00", Null(), false},
        {"2026-12-08T13:45:1e400Z", Null(), false},
        {"2026-12-08T13:45:nanZ", Null(), false},
    };
    ExpectReads(cases, [](VTime& ioTime, const VString& inText) { return ioTime.FromRfc3339String(inText); });

    VTime time = MakeTime(2000, 1, 1);
    EXPECT_FALSE(time.FromRfc3339String(VString(true)));
    EXPECT_TRUE(time.IsNull());
    // Digits of other scripts are no digits here.
    for (const char16_t* text :
         {u"\uFF12026-12-08", u"2026-12-0\u0668", u"\u0662\u0660\u0662\u0666-12-08T13:45:30Z"})
    {
        time = MakeTime(2000, 1, 1);
        EXPECT_FALSE(time.FromRfc3339String(VString(text)));
        EXPECT_TRUE(time.IsNull());
    }
    // A long text is read whole, never cut into a form it is not.
    std::string longText = "2026-12-08T13:45:30Z" + std::string(5000, '9');
    EXPECT_FALSE(time.FromRfc3339String(VString(longText.c_str())));
    EXPECT_TRUE(time.IsNull());
}

// Three written digits of milliseconds read back exactly, though a real holds most of them a
// little short (30.123 is 30.12299...).
TEST(VTimeText, Rfc3339RoundTripsEveryMillisecond)
{
    for (int16_t millisecond = 0; millisecond < 1000; ++millisecond)
    {
        VTime time = MakeTime(2026, 12, 8, 13, 45, 30, millisecond);
        VString text;
        time.GetRfc3339String(text, 1);
        VTime read;
        ASSERT_TRUE(read.FromRfc3339String(text));
        ASSERT_EQ(UTCFields(read), UTCFields(time)) << millisecond;
    }
}

TEST(VTimeText, XMLForms)
{
    VString text;
    kSample.GetXMLString(text, 1 + 32);
    EXPECT_EQ(Text(text), u"2026-12-08T13:45:30Z");

    ReadCase cases[] = {
        {"!!2026-12-08T13:45:30Z!!", Date({2026, 12, 8, 13, 45, 30, 0})},
        {"!!abc!!", Null(), false},
        {"!!x", Null(), false},
        {"8!12!2026", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"2026-12-08T13:45:30.250Z", Date({2026, 12, 8, 13, 45, 30, 250})},
        {"abc", Null(), false},
    };
    ExpectReads(cases, [](VTime& ioTime, const VString& inText) { return ioTime.FromXMLString(inText); });
    // The JSON reader answers 0 whatever it read.
    for (ReadCase& c : cases)
        c.fResult = true;
    ExpectReads(cases, [](VTime& ioTime, const VString& inText)
                { return ioTime.FromJSONString(inText, 0) == VE_OK; });
}

TEST(VTimeText, JSONString)
{
    const VTime midnight = MakeTime(2026, 12, 8);
    struct Case
    {
        const VTime* fTime;
        uint32_t fOptions;
        const char16_t* fText;
    };
    const Case cases[] = {
        {&kSample, 0, u"2026-12-08T13:45:30.250Z"},
        {&kSample, 0x200, u"2026-12-08T13:45:30.250Z"},
        {&midnight, 0x200, u"2026-12-08"},
        {&midnight, 0, u"2026-12-08T00:00:00.000Z"},
        {&kSample, 0x1000, u"!!2026-12-08T13:45:30.250Z!!"},
        {&kSample, 1, u"\"2026-12-08T13:45:30.250Z\""},
        {&kSample, 1 + 0x1000, u"\"!!2026-12-08T13:45:30.250Z!!\""},
    };
    for (const Case& c : cases)
    {
        VString text;
        EXPECT_EQ(c.fTime->GetJSONString(text, c.fOptions), VE_OK);
        EXPECT_EQ(Text(text), c.fText) << c.fOptions;
    }
}

// ---------------------------------------------------------------------------------------------
// Numeric forms

TEST(VTimeText, SimpleNumericForms)
{
    const ReadCase cases[] = {
        {"2026-12-08 13:45:30:250", Date({2026, 12, 8, 13, 45, 30, 250})},
        {"2026/12/08", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"  2026 -- 12 , 8 T 1", Date({2026, 12, 8, 1, 0, 0, 0})},
        {"8!12!2026", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"!8!12!2026", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"8!12!2026 13:45", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"2026-12-08!13:45", Date({2026, 12, 8, 0, 0, 0, 0})}, // a later "!" ends the reading
        {"2026!12!08", Null()},                                // day 2026
        {"2023-02-29", Null()},
        {"", Empty(0)},
        {"0-0-0 1:2:3:4", Empty(3723004)},
        // Would wrap into 2000-01-01 or into another time of day.
        {"67536-01-01", Null()},
        {"0-0-0 99999999999999999999", Null()},
    };
    ExpectReads(cases,
                [](VTime& ioTime, const VString& inText)
                {
                    ioTime.FromString(inText);
                    return true;
                });

    VString text;
    kSample.toSimpleDateString(text);
    EXPECT_EQ(Text(text), u"8!12!2026");
    NullTime().toSimpleDateString(text);
    EXPECT_TRUE(text.IsNull());
}

TEST(VTimeText, StringsConvertThroughTheTextForms)
{
    VTime time;
    VString("2026-12-08 13:45:30:250").GetTime(time);
    EXPECT_EQ(UTCFields(time), UTCFields(kSample));

    VString text;
    text.FromTime(kSample);
    VString expected;
    kSample.GetString(expected);
    EXPECT_EQ(Text(text), Text(expected));
    EXPECT_FALSE(text.IsEmpty());
}

TEST(VTimeText, LocalTimeForLogs)
{
    StTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    VString text("old");
    kSample.GetStringLocalTime(text);
    EXPECT_EQ(Text(text), u"2026-12-08 14:45:30:250");
    NullTime().GetStringLocalTime(text);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(text.IsNull());
}

// ---------------------------------------------------------------------------------------------
// Localized form (the test main's manager is English, United States)

TEST(VTimeText, LocalizedFormJoinsDateAndTime)
{
    VString date;
    VString time;
    kSample.FormatByOS(date, time, true);
    EXPECT_EQ(Text(date), u"12/8/26");
    ASSERT_GE(time.GetLength(), 4);
    EXPECT_EQ(Text(time).substr(0, 4), u"1:45");

    VString joined;
    kSample.FormatByOS(joined, true);
    EXPECT_EQ(Text(joined), Text(date) + u" " + Text(time));
    VString viaValue;
    kSample.GetString(viaValue);
    EXPECT_EQ(Text(viaValue), Text(joined));

    {
        StTimeZone zone("EST5");
        kSample.FormatByOS(date, time, false);
        EXPECT_EQ(Text(time).substr(0, 4), u"8:45");
    }

    date.AppendCString("x");
    time.AppendCString("x");
    NullTime().FormatByOS(date, time, true);
    EXPECT_TRUE(date.IsEmpty());
    EXPECT_TRUE(time.IsEmpty());
    NullTime().FormatByOS(joined, true);
    EXPECT_TRUE(joined.IsEmpty());
}

// ---------------------------------------------------------------------------------------------
// RFC 822

TEST(VTimeText, Rfc822Writer)
{
    VString text;
    MakeTime(2026, 12, 8, 13, 45, 30, 250).GetRfc822String(text);
    EXPECT_EQ(Text(text), u"Tue, 08 Dec 2026 13:45:30 GMT");
    MakeTime(2000, 1, 1).GetRfc822String(text);
    EXPECT_EQ(Text(text), u"Sat, 01 Jan 2000 00:00:00 GMT");
    NullTime().GetRfc822String(text);
    EXPECT_EQ(Text(text), u", 00  0000 00:00:00 GMT");
    // The empty date names no day either.
    MakeTime(0, 0, 0, 10).GetRfc822String(text);
    EXPECT_EQ(Text(text), u", 00  0000 10:00:00 GMT");
    // Unchecked fields never index past the names.
    VTime unchecked(uint64_t(2026) << 48 | uint64_t(13) << 40 | uint64_t(40) << 32);
    unchecked.GetRfc822String(text);
    EXPECT_EQ(Text(text), u", 40  2026 00:00:00 GMT");
}

TEST(VTimeText, Rfc822Reader)
{
    const ReadCase cases[] = {
        {"Tue, 08 Dec 2026 13:45:30 GMT", Date({2026, 12, 8, 13, 45, 30, 0})},
        {"8 Dec 2026 13:45:30 +0100", Date({2026, 12, 8, 13, 45, 30, 0})}, // the zone is not read
        {"08 Dec 2026", Date({2026, 12, 8, 0, 0, 0, 0})},
        {"Tue, 08 Foo 2026 13:45:30 GMT", Null()},
        {"Tue, 31 Feb 2026 13:45:30 GMT", Null()},
        {"Tue, 08 Dec 2026 25:00:00 GMT", Null()},
        {"", Empty(0)},
        {"99999999999999999999 Dec 2026", Null()},
    };
    ExpectReads(cases,
                [](VTime& ioTime, const VString& inText)
                {
                    ioTime.FromRfc822String(inText);
                    return true;
                });
}

// ---------------------------------------------------------------------------------------------
// Build date

TEST(VTimeText, CompilerDateAndTimeAreLocal)
{
    StTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    VTime time;
    time.FromCompilerDateTime("Feb  3 2026", "09:05:00");
    EXPECT_EQ(UTCFields(time), (Fields{2026, 2, 3, 8, 5, 0, 0}));
    time.FromCompilerDateTime("jul 14 2025", "23:59:59");
    EXPECT_EQ(UTCFields(time), (Fields{2025, 7, 14, 21, 59, 59, 0}));

    for (const char* date : {"FEB  3 2026", "Feb 30 2026", "Feb  3 99999"})
    {
        time = MakeTime(2000, 1, 1);
        time.FromCompilerDateTime(date, "09:05:00");
        EXPECT_TRUE(time.IsNull()) << date;
    }
    // Text that does not fit the reader's room is refused rather than cut into another time.
    std::string longDate = "Feb  3 2026" + std::string(300, ' ');
    time = MakeTime(2000, 1, 1);
    time.FromCompilerDateTime(longDate.c_str(), "09:05:00");
    EXPECT_TRUE(time.IsNull());
}

} // namespace
} // namespace kova
