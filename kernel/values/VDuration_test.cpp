#include "kernel/values/VDuration.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

VDuration NullDuration()
{
    VDuration duration;
    duration.SetNull(true);
    return duration;
}

TEST(VDuration, ComponentsDivideTowardZero)
{
    struct Case
    {
        int64_t fMilliseconds;
        int32_t fDay, fHour, fMinute, fSecond, fMillisecond;
    };
    const Case cases[] = {
        {90061001, 1, 1, 1, 1, 1},
        {3723000, 0, 1, 2, 3, 0},
        {-1500, 0, 0, 0, -1, -500},
        {-90061001, -1, -1, -1, -1, -1},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fMilliseconds);
        VDuration duration(test.fMilliseconds);
        int32_t days, hours, minutes, seconds, milliseconds;
        duration.GetDuration(days, hours, minutes, seconds, milliseconds);
        EXPECT_EQ(days, test.fDay);
        EXPECT_EQ(hours, test.fHour);
        EXPECT_EQ(minutes, test.fMinute);
        EXPECT_EQ(seconds, test.fSecond);
        EXPECT_EQ(milliseconds, test.fMillisecond);
        EXPECT_EQ(duration.GetDay(), test.fDay);
        EXPECT_EQ(duration.GetMillisecond(), test.fMillisecond);
    }
    EXPECT_EQ(VDuration(-1500).GetLong(), -1);

    int32_t days, hours, minutes, seconds, milliseconds;
    NullDuration().GetDuration(days, hours, minutes, seconds, milliseconds);
    EXPECT_EQ(days, -1);
    EXPECT_EQ(milliseconds, -1);
}

TEST(VDuration, TextForms)
{
    struct Case
    {
        int64_t fMilliseconds;
        bool fNull;
        const char16_t* fFormatted;
        const char16_t* fISO;
        const char16_t* fPlainXML;
        const char16_t* fClock;
    };
    const Case cases[] = {
        {90061001, false, u"1:1:1:1:1", u"P1DT1H1M1.00100004673004S", u"90061", u"25:01:01"},
        {3723000, false, u"0:1:2:3:0", u"PT1H2M3S", u"3723", u"1:02:03"},
        {1500, false, u"0:0:0:1:500", u"PT0H0M1.50000000000000S", u"1", u"0:00:01"},
        {86400000, false, u"1:0:0:0:0", u"P1DT0H0M0S", u"86400", u"24:00:00"},
        // Negative durations print as negative texts, not as negative components.
        {-1000, false, u"-0:0:0:1:0", u"PT0H0M-1S", u"-1", u"-0:00:01"},
        {-61000, false, u"-0:0:1:1:0", u"PT0H-1M-1S", u"-61", u"-0:01:01"},
        {0, true, u"-1:-1:-1:-1:-1", u"P-1DT-1H-1M-1.00100004673004S", u"0", nullptr},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fMilliseconds);
        VDuration duration(test.fMilliseconds);
        duration.SetNull(test.fNull);
        VString text("prefix ");
        duration.GetFormattedString(text);
        EXPECT_EQ(Text(text), std::u16string(u"prefix ") + test.fFormatted);
        duration.GetXMLString(text, 1);
        EXPECT_EQ(Text(text), test.fISO);
        duration.GetXMLString(text, 0);
        EXPECT_EQ(Text(text), test.fPlainXML);
        if (test.fClock != nullptr)
        {
            VString clock;
            AppendDurationClockText(test.fMilliseconds, clock);
            EXPECT_EQ(Text(clock), test.fClock);
        }
    }

    VString text("old");
    NullDuration().GetString(text);
    EXPECT_TRUE(text.IsEmpty());
    VDuration(-42).GetString(text);
    EXPECT_EQ(Text(text), u"-42");
    NullDuration().GetJSONString(text, 0);
    EXPECT_EQ(Text(text), u"0");
}

TEST(VDuration, TextReaders)
{
    struct Case
    {
        const char* fText;
        int64_t fPlain; // FromString
        int64_t fXML;   // FromXMLString
    };
    constexpr int64_t kDay = 86400000;
    const Case cases[] = {
        {"1:02:03:004", 3723004, 3723004},
        {"2:", 120000, 120000},
        {"1:30", 90000, 90000},
        {" 1 : 30 ", 90000, 90000},
        {"1:2:3:4:5", 3723004, 3723004}, // pieces after the fourth are ignored
        {"90", 90000, 90000},
        {"-5", -5000, -5000},
        {"1.5", 1000, 1000}, // the decimal separator ends the number
        {"", 0, 0},
        {"P1Y2M3DT4H5M6.5S", 123456000, (360 + 60 + 3) * kDay + 4 * 3600000 + 5 * 60000 + 6500},
        {"PT0.0015S", 0, 1},
        {"P1H", 1000, 0},                     // a designator of the other part is text: left over
        {"PT1D2H", 12000, 12 * 3600000},      // ... or part of the next number
        {"P99999999999D", 99999999999000, 0}, // a count beyond 32 bits counts 0
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fText);
        VDuration plain(7);
        plain.SetNull(true);
        plain.SetDirty(false);
        plain.FromString(VString(c.fText));
        EXPECT_EQ(plain.ConvertToMilliseconds(), c.fPlain);
        EXPECT_FALSE(plain.IsNull());
        EXPECT_TRUE(plain.IsDirty());

        VDuration xml(7);
        xml.SetNull(true);
        EXPECT_TRUE(xml.FromXMLString(VString(c.fText)));
        EXPECT_EQ(xml.ConvertToMilliseconds(), c.fXML);
        EXPECT_FALSE(xml.IsNull());
    }

    VDuration json;
    json.SetNull(true);
    EXPECT_EQ(json.FromJSONString(VString("-1500"), 0), VE_OK);
    EXPECT_EQ(json.ConvertToMilliseconds(), -1500);
    EXPECT_FALSE(json.IsNull());

    VDuration viaString;
    VString("1:30").GetDuration(viaString);
    EXPECT_EQ(viaString.ConvertToMilliseconds(), 90000);

    // Out-of-range texts saturate or count 0; none is undefined.
    for (const char* text : {"99999999999999999999", "9999999999999:0", "PT1e400S", "PT99999999999999999999S",
                             "P2147483647Y2147483647M2147483647DT2147483647H"})
    {
        VDuration duration;
        duration.FromXMLString(VString(text));
        duration.FromString(VString(text));
    }
}

// The ISO form sums its seconds in single precision (0.7 s is written 0.69999998807907); reading
// it gives back every millisecond all the same.
TEST(VDuration, TheISOFormRoundTripsEveryMillisecond)
{
    for (int64_t base : {int64_t(0), int64_t(59000), int64_t(90061000), int64_t(-59000)})
    {
        for (int64_t millisecond = 0; millisecond < 1000; ++millisecond)
        {
            VDuration duration(base < 0 ? base - millisecond : base + millisecond);
            VString text;
            duration.GetXMLString(text, 1);
            VDuration read;
            read.FromXMLString(text);
            ASSERT_EQ(read.ConvertToMilliseconds(), duration.ConvertToMilliseconds()) << Text(text).size();
        }
    }
}

TEST(VDuration, SettersMultiplyByTheirUnitAndMarkTheValueSet)
{
    VDuration duration = NullDuration();
    duration.SetDirty(false);
    duration.AddDays(30);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 2592000000);
    EXPECT_FALSE(duration.IsNull());
    EXPECT_TRUE(duration.IsDirty());

    duration.SetDuration(1, 2, 3, 4, 5);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 86400000 + 7200000 + 180000 + 4000 + 5);
    duration.AdjustDay(3);
    EXPECT_EQ(duration.GetDay(), 3);
    EXPECT_EQ(duration.GetHour(), 2);
    duration.AdjustHour(10);
    duration.AdjustMinute(0);
    duration.AdjustSecond(59);
    duration.AdjustMillisecond(999);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 3 * 86400000 + 10 * 3600000 + 59000 + 999);
    duration.FromDecimalHour(1.5);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 5400000);
    EXPECT_DOUBLE_EQ(duration.GetDecimalHour(), 1.5);
    duration.FromNbMinutes(-2);
    EXPECT_EQ(duration.ConvertToSeconds(), -120);
    duration.FromReal(1.5);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 1500);
    duration.FromBoolean(1);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 1000);
    duration.FromLong(-5);
    EXPECT_EQ(duration.ConvertToMilliseconds(), -5000);
}

TEST(VDuration, ArithmeticOnTheExtremesNeverTraps)
{
    VDuration minimum(INT64_MIN);
    VDuration copy(minimum);
    copy.Remainder(VDuration(-1));
    EXPECT_EQ(copy.ConvertToMilliseconds(), 0);
    copy = minimum;
    copy.Remainder(VDuration(0));
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MIN);
    copy.Multiply(-1);
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MAX);
    copy.Divide(0.0);
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MAX);
    copy.Multiply(std::nan(""));
    EXPECT_EQ(copy.ConvertToMilliseconds(), 0);

    copy = minimum;
    copy.Add(VDuration(-1));
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MIN);
    copy.Substract(VDuration(1));
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MIN);
    copy.AddDays(-1);
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MIN);
    copy.AdjustHour(23);
    copy.AdjustMillisecond(999);
    copy.FromNbDays(INT64_MAX);
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MAX);
    copy.FromLong8(INT64_MIN);
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MIN);
    copy.FromDecimalHour(1e300);
    EXPECT_EQ(copy.ConvertToMilliseconds(), INT64_MAX);

    VString text;
    minimum.GetFormattedString(text);
    EXPECT_EQ(Text(text), u"-106751991167:7:12:55:808");
    text.Clear();
    AppendDurationClockText(INT64_MIN, text);
    EXPECT_EQ(Text(text), u"-2562047788015:12:55");
    EXPECT_DOUBLE_EQ(VDuration(1).Divide(VDuration(0)), INFINITY);
}

TEST(VDuration, RemainderKeepsTheSignOfTheDividend)
{
    VDuration duration(-7500);
    duration.Remainder(VDuration(1000));
    EXPECT_EQ(duration.ConvertToMilliseconds(), -500);
    EXPECT_DOUBLE_EQ(VDuration(3000).Divide(VDuration(-1500)), -2.0);
}

TEST(VDuration, CopiesAndClonesAreNeverNull)
{
    VDuration null = NullDuration();
    std::unique_ptr<VValue> clone(null.Clone());
    EXPECT_FALSE(clone->IsNull());
    EXPECT_FALSE(VDuration(null).IsNull());
    VDuration assigned(5);
    assigned.SetNull(true);
    assigned = null;
    EXPECT_FALSE(assigned.IsNull());
}

TEST(VDuration, ConvertsToOtherKindsAsWholeSeconds)
{
    VDuration duration(300500);
    EXPECT_EQ(duration.GetBoolean(), 1);
    EXPECT_EQ(duration.GetByte(), int8_t(300 - 256));
    EXPECT_EQ(duration.GetWord(), 300);
    EXPECT_EQ(duration.GetLong8(), 300);
    EXPECT_EQ(duration.GetLong8OrMilliSeconds(), 300500);
    EXPECT_DOUBLE_EQ(duration.GetReal(), 300.5);
    EXPECT_EQ(VDuration(0).GetBoolean(), 0);

    // Through the value protocol, both ways.
    VDuration target(1);
    target.SetDirty(false);
    duration.GetDuration(target);
    EXPECT_EQ(target.ConvertToMilliseconds(), 300500);
    EXPECT_FALSE(target.IsDirty());

    VDuration fromNull(9);
    fromNull.FromValue(NullDuration());
    EXPECT_TRUE(fromNull.IsNull());
    // A date-time has no duration: the getter's default gives 0.
    VTime time;
    time.FromUTCTime(2024, 1, 1, 0, 0, 0, 0);
    fromNull.FromValue(time);
    EXPECT_EQ(fromNull.ConvertToMilliseconds(), 0);
    EXPECT_FALSE(fromNull.IsNull());
}

TEST(VDuration, ComparesCountsWhateverTheNullState)
{
    VDuration small(-5);
    VDuration big(7);
    EXPECT_EQ(small.CompareTo(big, false), CR_SMALLER);
    EXPECT_EQ(big.CompareToSameKind(&small, false), CR_BIGGER);
    VDuration nullZero = NullDuration();
    VDuration zero(0);
    EXPECT_EQ(nullZero.CompareToSameKind(&zero, false), CR_EQUAL);
    int64_t packed = 7;
    EXPECT_EQ(big.CompareToSameKindPtr(&packed, false), CR_EQUAL);
    EXPECT_TRUE(big.EqualToSameKindPtr(&packed, false));
    EXPECT_TRUE(small < big);
    EXPECT_TRUE(nullZero == VDuration(0));
    int64_t other = 100;
    EXPECT_EQ(VDuration::sInfo.CompareTwoPtrToData(&packed, &other, false), CR_SMALLER);
}

// Options and the diacritics flag take no part: the signed counts alone decide.
TEST(VDuration, ComparisonsWithOptionsOrderTheCounts)
{
    VCompareOptions plain;
    VCompareOptions everything;
    everything.SetLike(true);
    everything.SetDiacritical(true);
    everything.SetBeginOnly(true);
    everything.SetEpsilon(1e9);
    struct Case
    {
        int64_t fThis, fOther;
        CompareResult fResult;
    };
    const Case cases[] = {
        {-5, 7, CR_SMALLER}, {7, -5, CR_BIGGER}, {7, 7, CR_EQUAL}, {INT64_MIN, INT64_MAX, CR_SMALLER},
        {1, 2, CR_SMALLER},
    };
    for (const Case& c : cases)
    {
        for (const VCompareOptions* options : {&plain, &everything})
        {
            SCOPED_TRACE(testing::Message()
                         << c.fThis << " vs " << c.fOther << (options == &plain ? "" : " all options"));
            VDuration self(c.fThis);
            VDuration other(c.fOther);
            other.SetNull(true);
            EXPECT_EQ(self.CompareToSameKindWithOptions(&other, *options), c.fResult);
            EXPECT_EQ(self.CompareToSameKindPtrWithOptions(&c.fOther, *options), c.fResult);
            EXPECT_EQ(self.EqualToSameKindWithOptions(&other, *options), c.fResult == CR_EQUAL);
            EXPECT_EQ(self.EqualToSameKindPtrWithOptions(&c.fOther, *options), c.fResult == CR_EQUAL);
            EXPECT_EQ(self.Swap_CompareToSameKindPtrWithOptions(&c.fOther, *options),
                      VValue::InvertCompResult(c.fResult));
        }
    }
}

TEST(VDuration, FromValueSameKindRefusesAnotherClass)
{
    VDuration duration(77);
    duration.SetDirty(false);
    VLong number(5);
    EXPECT_FALSE(duration.FromValueSameKind(&number));
    EXPECT_EQ(duration.ConvertToMilliseconds(), 77);
    EXPECT_FALSE(duration.IsDirty());

    VDuration source(9);
    source.SetNull(true);
    EXPECT_TRUE(duration.FromValueSameKind(&source));
    EXPECT_EQ(duration.ConvertToMilliseconds(), 9);
    EXPECT_TRUE(duration.IsNull());
}

TEST(VDuration, RegisteredAsKind9WithAPackedCount)
{
    EXPECT_EQ(VDuration(1).GetValueKind(), VK_DURATION);
    std::unique_ptr<VValue> made(VValue::NewValueFromValueKind(VK_DURATION));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(static_cast<VDuration*>(made.get())->ConvertToMilliseconds(), 0);

    uint8_t buffer[9] = {};
    VDuration duration(-90061001);
    uint64_t outside = 0;
    EXPECT_EQ(duration.GetSpace(outside, 0), 8u);
    EXPECT_EQ(duration.WriteToPtr(buffer + 1, false, 0), buffer + 9);
    std::unique_ptr<VValue> loaded(VDuration::sInfo.LoadFromPtr(buffer + 1, false));
    EXPECT_EQ(static_cast<VDuration*>(loaded.get())->ConvertToMilliseconds(), -90061001);
    VDuration reloaded = NullDuration();
    EXPECT_EQ(reloaded.LoadFromPtr(buffer + 1, false), buffer + 9);
    EXPECT_FALSE(reloaded.IsNull());
    EXPECT_EQ(reloaded, duration);
}

TEST(VDuration, StreamFormInBothByteOrders)
{
    struct Case
    {
        bool fSwap;
        std::vector<uint8_t> fBytes;
    };
    const Case cases[] = {
        {false, {0xC9, 0x38, 0x5E, 0x05, 0x00, 0x00, 0x00, 0x00}},
        {true, {0x00, 0x00, 0x00, 0x00, 0x05, 0x5E, 0x38, 0xC9}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fSwap);
        VPtrStream stream;
        stream.SetNeedSwap(test.fSwap);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(VDuration(90061001).WriteToStream(&stream, 0), VE_OK);
        EXPECT_EQ(stream.PutValue(VDuration(-1), true), VE_OK);
        ASSERT_EQ(stream.CloseWriting(), VE_OK);
        VStream::UnderlyingData data = stream.GetUnderlyingData();
        const auto* bytes = static_cast<const uint8_t*>(data.fData);
        ASSERT_EQ(data.fSize, 18u);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 8), test.fBytes);
        EXPECT_EQ(bytes[8], test.fSwap ? 0 : 9);

        ASSERT_EQ(stream.OpenReading(), VE_OK);
        VDuration read = NullDuration();
        read.SetDirty(false);
        EXPECT_EQ(read.ReadFromStream(&stream, 0), VE_OK);
        EXPECT_EQ(read.ConvertToMilliseconds(), 90061001);
        EXPECT_TRUE(read.IsNull());
        EXPECT_FALSE(read.IsDirty());
        std::unique_ptr<VValue> value(stream.GetValue());
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->GetTrueValueKind(), VK_DURATION);
        EXPECT_EQ(static_cast<VDuration*>(value.get())->ConvertToMilliseconds(), -1);
    }
}

TEST(VDuration, AShortStreamLeavesTheCountAndKeepsTheError)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    VConstPtrStream stream(bytes, sizeof(bytes));
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VDuration duration(77);
    EXPECT_EQ(duration.ReadFromStream(&stream, 0), VE_STREAM_EOF);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 77);
    EXPECT_EQ(stream.GetLastError(), VE_STREAM_EOF);
}

} // namespace
} // namespace kova
