#include "kernel/values/VArrayTime.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VArrayDuration.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <memory>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;

VTime MakeTime(int16_t inYear, int16_t inMonth, int16_t inDay, int16_t inHour = 0)
{
    VTime time;
    time.FromUTCTime(inYear, inMonth, inDay, inHour, 0, 0, 0);
    return time;
}

TEST(VArrayTime, ElementsAreStampsAndOutOfRangeLeavesTheTimeAlone)
{
    VArrayTime array(2);
    VTime time = MakeTime(2024, 2, 29, 13);
    array.FromTime(time, 2);
    VTime out = MakeTime(1999, 1, 1);
    array.GetTime(out, 2);
    EXPECT_TRUE(out == time);
    array.GetTime(out, 3);
    EXPECT_TRUE(out == time);
    array.GetTime(out, 1);
    EXPECT_TRUE(out.IsEmptyDate());

    std::unique_ptr<VValueSingle> clone(array.CloneValue(2));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_TIME);
    EXPECT_TRUE(*static_cast<VTime*>(clone.get()) == time);
    VTime fromValue;
    array.GetValue(fromValue, 2);
    EXPECT_TRUE(fromValue == time);
    array.FromValue(fromValue, 1);
    EXPECT_EQ(array.CompareTo(time, false, 1), CR_EQUAL);
    EXPECT_EQ(array.CompareTo(MakeTime(2025, 1, 1), false, 1), CR_SMALLER);
}

TEST(VArrayTime, FindOnAValueFindsWhatTheTypedFindFinds)
{
    VArrayTime array;
    const VTime times[] = {MakeTime(2020, 5, 1), MakeTime(1990, 1, 1), MakeTime(2020, 5, 1, 1),
                           MakeTime(2001, 9, 9)};
    for (const VTime& time : times)
        array.AppendTime(time);
    for (CompareMethod method :
         {CM_VALUE_LESS_OR_EQUAL, CM_VALUE_LESS, CM_VALUE_EQUAL, CM_VALUE_GREATER, CM_VALUE_GREATER_OR_EQUAL})
    {
        for (int32_t start = 1; start <= 4; ++start)
        {
            for (uint8_t forward : {uint8_t(0), uint8_t(1)})
            {
                const VValueSingle& asValue = times[0];
                EXPECT_EQ(array.Find(asValue, start, forward, method),
                          array.Find(times[0], start, forward, method));
            }
        }
    }
    EXPECT_EQ(array.Find(times[0], 1, 1, CM_VALUE_EQUAL), 1);
    EXPECT_EQ(array.Find(times[0], 1, 1, CM_VALUE_LESS), 3);

    array.Sort(1, 4, 0);
    VTime first;
    array.GetTime(first, 1);
    EXPECT_TRUE(first == times[1]);
    VTime last;
    array.GetTime(last, 4);
    EXPECT_TRUE(last == times[2]);
}

TEST(VArrayDuration, ElementsAreMillisecondsComparedAsDurations)
{
    VArrayDuration array(3);
    array.FromDuration(VDuration(1500), 1);
    array.FromValue(VLong(2), 2); // a number is seconds for a duration
    VDuration out(99);
    array.GetDuration(out, 2);
    EXPECT_EQ(out.ConvertToMilliseconds(), 2000);
    array.GetDuration(out, 4);
    EXPECT_EQ(out.ConvertToMilliseconds(), 0);
    EXPECT_EQ(array.CompareTo(VDuration(1500), false, 1), CR_EQUAL);
    EXPECT_EQ(array.CompareTo(VDuration(1501), false, 1), CR_SMALLER);

    array.Sort(1, 3, 0);
    EXPECT_EQ(array.QuickFind(VDuration(1500)), 2);
    EXPECT_EQ(array.QuickFind(VDuration(1)), -1);
    EXPECT_EQ(array.Find(VDuration(2000), 1, 1, CM_VALUE_EQUAL), 3);
    EXPECT_EQ(array.Find(VLong(2), 1, 1, CM_VALUE_EQUAL), 3);
    std::unique_ptr<VValueSingle> clone(array.CloneValue(3));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_DURATION);
}

class VArrayTimeStream : public ::testing::TestWithParam<bool>
{
};

TEST_P(VArrayTimeStream, StampsAndMillisecondsTravelAsLong8s)
{
    bool swap = GetParam();
    VArrayTime times;
    times.AppendTime(MakeTime(2024, 12, 31, 23));
    times.AppendTime(VTime());
    Bytes written = StreamOut(times, swap);
    ASSERT_EQ(written.size(), 4u + 16u);
    // The stamp's year is its most significant part: first when the stream is big-endian.
    EXPECT_EQ(written[swap ? 4 : 11], 0x07);
    EXPECT_EQ(written[swap ? 5 : 10], 0xE8);
    VArrayTime readTimes;
    EXPECT_EQ(StreamIn(readTimes, written, swap), VE_OK);
    VTime read;
    readTimes.GetTime(read, 1);
    EXPECT_TRUE(read == MakeTime(2024, 12, 31, 23));

    VArrayDuration durations;
    durations.AppendDuration(VDuration(-5));
    written = StreamOut(durations, swap);
    Bytes expected = swap ? Bytes{0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB}
                          : Bytes{1, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(written, expected);
    VArrayDuration readDurations;
    EXPECT_EQ(StreamIn(readDurations, written, swap), VE_OK);
    VDuration duration;
    readDurations.GetDuration(duration, 1);
    EXPECT_EQ(duration.ConvertToMilliseconds(), -5);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, VArrayTimeStream, ::testing::Values(false, true));

} // namespace
} // namespace kova
