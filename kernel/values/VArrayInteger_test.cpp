#include "kernel/values/VArrayInteger.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VDuration.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;

constexpr int32_t kWithKind = int32_t(FourCharCode("VVAL"));

Bytes StreamOutWithKind(const VValue& inValue, bool inSwap)
{
    VPtrStream stream;
    stream.SetNeedSwap(inSwap);
    stream.OpenWriting();
    inValue.WriteToStream(&stream, kWithKind);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    const auto* begin = static_cast<const uint8_t*>(data.fData);
    Bytes bytes(begin, begin + data.fSize);
    stream.CloseWriting();
    return bytes;
}

TEST(VArrayInteger, MinAndMaxOfEmptyArraysAreTheOppositeBounds)
{
    EXPECT_EQ(VArrayByte().GetMin(), 127);
    EXPECT_EQ(VArrayByte().GetMax(), -128);
    EXPECT_EQ(VArrayWord().GetMin(), 32767);
    EXPECT_EQ(VArrayWord().GetMax(), -32768);
    EXPECT_EQ(VArrayLong().GetMin(), 2147483647);
    EXPECT_EQ(VArrayLong().GetMax(), -2147483647 - 1);

    VArrayLong array;
    for (int32_t value : {4, -9, 12, 0})
        array.AppendLong(value);
    EXPECT_EQ(array.GetMin(), -9);
    EXPECT_EQ(array.GetMax(), 12);
    VArrayByte bytes;
    bytes.AppendByte(-128);
    bytes.AppendByte(127);
    EXPECT_EQ(bytes.GetMin(), -128);
    EXPECT_EQ(bytes.GetMax(), 127);
}

TEST(VArrayInteger, ElementsOutOfRangeReadAsZeroAndAreNotWritten)
{
    VArrayWord array(2);
    array.FromWord(7, 0);
    array.FromWord(7, 3);
    array.FromWord(5, 2);
    EXPECT_EQ(array.GetWord(0), 0);
    EXPECT_EQ(array.GetWord(3), 0);
    EXPECT_EQ(array.GetWord(1), 0);
    EXPECT_EQ(array.GetWord(2), 5);
    VLong out(9);
    array.GetValue(out, 3);
    EXPECT_EQ(out.Get(), 0);
}

TEST(VArrayInteger, ValuesConvertThroughTheSettersAndGettersOfTheWidth)
{
    VArrayByte bytes(1);
    bytes.FromValue(VLong(300), 1); // a value's GetByte keeps the low bits
    EXPECT_EQ(bytes.GetByte(1), 44);
    VString text;
    bytes.GetValue(text, 1);
    EXPECT_TRUE(TextIs(text, "44"));

    VArrayLong longs(2);
    longs.FromValue(VWord(-123), 1);
    longs.FromValue(VBoolean(true), 2);
    EXPECT_EQ(longs.GetLong(1), -123);
    EXPECT_EQ(longs.GetLong(2), 1);

    VArrayLong8 long8s(1);
    long8s.FromLong8(int64_t(1) << 40, 1);
    VDuration duration;
    long8s.GetValue(duration, 1); // a duration takes a number as seconds
    EXPECT_EQ(duration.ConvertToSeconds(), int64_t(1) << 40);

    std::unique_ptr<VValueSingle> clone(longs.CloneValue(1));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_LONG);
    EXPECT_EQ(clone->GetLong(), -123);
    std::unique_ptr<VValueSingle> byteClone(bytes.CloneValue(1));
    EXPECT_EQ(byteClone->GetTrueValueKind(), VK_BYTE);

    EXPECT_EQ(longs.CompareTo(VLong(-123), false, 1), CR_EQUAL);
    EXPECT_EQ(longs.CompareTo(VLong(0), false, 1), CR_SMALLER);
    EXPECT_EQ(longs.CompareTo(VLong(0), false, 2), CR_BIGGER);
}

TEST(VArrayInteger, DirectSortOrdersSignedElements)
{
    VArrayByte bytes;
    for (int8_t value : {5, -1, 127, -128, 0, 3, 3, -7, 9, 100, -50})
        bytes.AppendByte(value);
    bytes.Sort(1, bytes.GetCount(), 0);
    for (int32_t i = 2; i <= bytes.GetCount(); ++i)
        EXPECT_LE(bytes.GetByte(i - 1), bytes.GetByte(i));
    EXPECT_EQ(bytes.GetByte(1), -128);
    bytes.Sort(2, 4, 1); // -50, -7, -1 become -1, -7, -50
    EXPECT_EQ(bytes.GetByte(2), -1);
    EXPECT_EQ(bytes.GetByte(4), -50);
    EXPECT_EQ(bytes.GetByte(1), -128);
    EXPECT_EQ(bytes.GetByte(5), 0);
}

// ---------------------------------------------------------------------------------------------
// Stream forms

struct StreamCase
{
    const char* fName;
    bool fSwap;
};

class VArrayIntegerStream : public ::testing::TestWithParam<StreamCase>
{
protected:
    bool Swap() const { return GetParam().fSwap; }
    // The bytes of a number in the order of the case.
    template <class T>
    void Append(Bytes& ioBytes, T inValue) const
    {
        uint8_t raw[sizeof(T)];
        std::memcpy(raw, &inValue, sizeof(T));
        for (size_t i = 0; i < sizeof(T); ++i)
            ioBytes.push_back(Swap() ? raw[sizeof(T) - 1 - i] : raw[i]);
    }
};

TEST_P(VArrayIntegerStream, EachWidthWritesItsElementsInTheStreamsOrder)
{
    VArrayByte bytes;
    VArrayWord words;
    VArrayLong longs;
    VArrayLong8 long8s;
    for (int32_t value : {1, -2, 300})
    {
        bytes.AppendByte(int8_t(value));
        words.AppendWord(int16_t(value));
        longs.AppendLong(value);
        long8s.AppendLong8(value * (int64_t(1) << 33));
    }
    Bytes expectedBytes, expectedWords, expectedLongs, expectedLong8s;
    for (Bytes* expected : {&expectedBytes, &expectedWords, &expectedLongs, &expectedLong8s})
        Append<int32_t>(*expected, 3);
    for (int32_t value : {1, -2, 300})
    {
        expectedBytes.push_back(uint8_t(int8_t(value)));
        Append<int16_t>(expectedWords, int16_t(value));
        Append<int32_t>(expectedLongs, value);
        Append<int64_t>(expectedLong8s, value * (int64_t(1) << 33));
    }
    EXPECT_EQ(StreamOut(bytes, Swap()), expectedBytes);
    EXPECT_EQ(StreamOut(words, Swap()), expectedWords);
    EXPECT_EQ(StreamOut(longs, Swap()), expectedLongs);
    EXPECT_EQ(StreamOut(long8s, Swap()), expectedLong8s);

    VArrayLong8 readLong8s(5);
    EXPECT_EQ(StreamIn(readLong8s, expectedLong8s, Swap()), VE_OK);
    ASSERT_EQ(readLong8s.GetCount(), 3);
    EXPECT_EQ(readLong8s.GetLong8(3), 300 * (int64_t(1) << 33));
    VArrayWord readWords;
    EXPECT_EQ(StreamIn(readWords, expectedWords, Swap()), VE_OK);
    EXPECT_EQ(readWords.GetWord(2), -2);
    VArrayByte readBytes;
    EXPECT_EQ(StreamIn(readBytes, expectedBytes, Swap()), VE_OK);
    EXPECT_EQ(readBytes.GetByte(3), int8_t(300 & 0xFF));
}

TEST_P(VArrayIntegerStream, TheKindTagPutsTheEmptyKindFirst)
{
    Bytes expected;
    Append<uint32_t>(expected, 65535);
    Append<int32_t>(expected, 0);
    EXPECT_EQ(StreamOutWithKind(VArrayLong(), Swap()), expected);

    // Whoever chose the class consumed the kind: reading starts at the count.
    VArrayLong read(3);
    Bytes count(expected.begin() + 4, expected.end());
    int64_t pos = 0;
    EXPECT_EQ(StreamIn(read, count, Swap(), nullptr, &pos), VE_OK);
    EXPECT_EQ(read.GetCount(), 0);
    EXPECT_EQ(pos, 4);
}

// Counts from outside are checked before anything is allocated; the array keeps its elements.
TEST_P(VArrayIntegerStream, HostileCountsAreRefusedBeforeAllocating)
{
    VArrayLong array;
    array.AppendLong(42);
    {
        StErrorContextInstaller context;
        Bytes negative;
        Append<int32_t>(negative, -1);
        Append<int32_t>(negative, 7);
        int64_t pos = 0;
        EXPECT_EQ(StreamIn(array, negative, Swap(), nullptr, &pos), VE_STREAM_BAD_SIGNATURE);
        EXPECT_EQ(pos, 4);
        EXPECT_EQ(context.GetLastError(), VE_STREAM_BAD_SIGNATURE);
    }
    for (int32_t count : {3, 0x40000000, INT32_MAX})
    {
        Bytes tooMany;
        Append<int32_t>(tooMany, count);
        Append<int32_t>(tooMany, 1);
        Append<int32_t>(tooMany, 2);
        VError streamError = VE_OK;
        EXPECT_EQ(StreamIn(array, tooMany, Swap(), &streamError), VE_STREAM_EOF) << count;
        EXPECT_EQ(streamError, VE_STREAM_EOF);
    }
    ASSERT_EQ(array.GetCount(), 1);
    EXPECT_EQ(array.GetLong(1), 42);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, VArrayIntegerStream,
                         ::testing::Values(StreamCase{"native", false}, StreamCase{"swapped", true}),
                         [](const ::testing::TestParamInfo<StreamCase>& inInfo)
                         { return inInfo.param.fName; });

} // namespace
} // namespace kova
