#include "kernel/values/VArrayBoolean.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;

// "1010": element 1 first.
VArrayBoolean MakeBits(const std::string& inBits)
{
    VArrayBoolean array;
    for (char bit : inBits)
        array.AppendBoolean(bit == '1' ? 1 : 0);
    return array;
}

std::string Bits(const VArrayBoolean& inArray)
{
    std::string bits;
    for (int32_t i = 1; i <= inArray.GetCount(); ++i)
        bits += inArray.GetBoolean(i) != 0 ? '1' : '0';
    return bits;
}

std::string Ones(int32_t inCount)
{
    return std::string(size_t(inCount), '1');
}

TEST(VArrayBoolean, ElementsArePackedLeastSignificantBitFirst)
{
    VArrayBoolean array = MakeBits("1000000011");
    ASSERT_EQ(array.GetDataSize(), 2);
    EXPECT_EQ(array.LockAndGetData()[0], 0x01);
    EXPECT_EQ(array.LockAndGetData()[1], 0x03);
    array.FromBoolean(200, 4);
    EXPECT_EQ(array.GetBoolean(4), 1);
    EXPECT_EQ(array.GetBoolean(0), 0);
    EXPECT_EQ(array.GetBoolean(11), 0);
    EXPECT_EQ(VArrayBoolean(8).GetDataSize(), 2); // one byte more when the count fills whole bytes
    EXPECT_EQ(VArrayBoolean(7).GetDataSize(), 1);
}

TEST(VArrayBoolean, InsertDeleteAndShrinkingMoveBitsAndLeaveNoneBehind)
{
    VArrayBoolean array = MakeBits("1101");
    EXPECT_TRUE(array.Insert(2, 9));
    EXPECT_EQ(Bits(array), "1000000000101");
    array.Delete(1, 10);
    EXPECT_EQ(Bits(array), "101");
    array.Delete(2, 1);
    EXPECT_EQ(Bits(array), "11");
    // Bits past the count inside the kept byte come back cleared.
    VArrayBoolean full = MakeBits(Ones(12));
    EXPECT_TRUE(full.SetCount(3));
    EXPECT_TRUE(full.SetCount(12));
    EXPECT_EQ(Bits(full), "111000000000");
    full.MoveElements(0, 9, 3);
    EXPECT_EQ(Bits(full), "111000000111");
    full.MoveElements(8, 2, 4);
    EXPECT_EQ(Bits(full), "110111000111");
}

TEST(VArrayBoolean, FindComparesFalseBeforeTrue)
{
    VArrayBoolean array = MakeBits("101");
    EXPECT_EQ(array.Find(uint8_t(0), 1, 1, CM_VALUE_EQUAL), 2);
    EXPECT_EQ(array.Find(uint8_t(0), 3, 0, CM_VALUE_EQUAL), 2);
    EXPECT_EQ(array.Find(uint8_t(1), 2, 1, CM_VALUE_EQUAL), 3);
    EXPECT_EQ(array.Find(uint8_t(7), 2, 0, CM_VALUE_EQUAL), 1);
    EXPECT_EQ(array.Find(uint8_t(1), 1, 1, CM_VALUE_GREATER), 2); // true > false
    EXPECT_EQ(array.Find(uint8_t(0), 1, 1, CM_VALUE_LESS), 1);
    EXPECT_EQ(array.Find(uint8_t(0), 4, 1, CM_VALUE_EQUAL), -1);
    EXPECT_EQ(array.Find(VLong(0), 1, 1, CM_VALUE_EQUAL), 2);
    EXPECT_EQ(array.CompareTo(VBoolean(true), false, 2), CR_SMALLER);
    EXPECT_EQ(array.CompareTo(VBoolean(false), false, 1), CR_BIGGER);
}

TEST(VArrayBoolean, SortsTheWholeArrayByCountingAndRangesByComparing)
{
    for (int32_t count : {3, 8, 9, 21})
    {
        std::string bits;
        for (int32_t i = 0; i < count; ++i)
            bits += (i * 5) % 3 == 0 ? '1' : '0';
        size_t trues = size_t(std::count(bits.begin(), bits.end(), '1'));
        VArrayBoolean array = MakeBits(bits);
        array.Sort(1, count, 0);
        EXPECT_EQ(Bits(array), std::string(size_t(count) - trues, '0') + std::string(trues, '1'));
        array.Sort(1, count, 1);
        EXPECT_EQ(Bits(array), std::string(trues, '1') + std::string(size_t(count) - trues, '0'));
    }
    VArrayBoolean part = MakeBits("1101001");
    part.Sort(2, 5, 0);
    EXPECT_EQ(Bits(part), "1001101");
    part.Sort(0, 7, 0);
    part.Sort(3, 3, 0);
    EXPECT_EQ(Bits(part), "1001101");
    part.Unsort();
    std::string unsorted = Bits(part);
    EXPECT_EQ(std::count(unsorted.begin(), unsorted.end(), '1'), 4);
    EXPECT_NE(unsorted, "1001101");
}

TEST(VArrayBoolean, ValuesGoThroughTheBooleanSetterAndGetter)
{
    VArrayBoolean array(2);
    array.FromValue(VLong(5), 1);
    array.FromValue(VLong(0), 2);
    EXPECT_EQ(Bits(array), "10");
    VLong out;
    array.GetValue(out, 1);
    EXPECT_EQ(out.Get(), 1);
    std::unique_ptr<VValueSingle> clone(array.CloneValue(1));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_BOOLEAN);
    EXPECT_EQ(clone->GetBoolean(), 1);
    VArrayBoolean copy(array);
    array.FromBoolean(0, 1);
    EXPECT_EQ(Bits(copy), "10");
}

class VArrayBooleanStream : public ::testing::TestWithParam<bool>
{
};

TEST_P(VArrayBooleanStream, WritesTheCountThenTheBlockAsStored)
{
    bool swap = GetParam();
    const Bytes countOf8 = swap ? Bytes{0, 0, 0, 8} : Bytes{8, 0, 0, 0};
    Bytes eight = countOf8;
    eight.insert(eight.end(), {0xA5, 0x00});
    EXPECT_EQ(StreamOut(MakeBits("10100101"), swap), eight);
    Bytes seven = StreamOut(MakeBits("1010010"), swap);
    EXPECT_EQ(seven.size(), 5u);
    EXPECT_EQ(seven.back(), 0x25);
    Bytes empty = StreamOut(VArrayBoolean(), swap);
    EXPECT_EQ(empty, Bytes(4, 0));

    VArrayBoolean read = MakeBits("111");
    Bytes emptyThenMore = empty;
    emptyThenMore.push_back(0xFF);
    int64_t pos = 0;
    EXPECT_EQ(StreamIn(read, emptyThenMore, swap, nullptr, &pos), VE_OK);
    EXPECT_EQ(read.GetCount(), 0);
    EXPECT_EQ(pos, 4);

    EXPECT_EQ(StreamIn(read, eight, swap), VE_OK);
    EXPECT_EQ(Bits(read), "10100101");
}

TEST_P(VArrayBooleanStream, BitsPastTheCountInTheStreamAreDropped)
{
    bool swap = GetParam();
    Bytes three = swap ? Bytes{0, 0, 0, 3, 0xFF} : Bytes{3, 0, 0, 0, 0xFF};
    VArrayBoolean array;
    EXPECT_EQ(StreamIn(array, three, swap), VE_OK);
    EXPECT_EQ(Bits(array), "111");
    EXPECT_TRUE(array.SetCount(8));
    EXPECT_EQ(Bits(array), "11100000");

    // Two bytes announced, one present: refused before the array changes.
    Bytes cut = swap ? Bytes{0, 0, 0, 9, 0xFF} : Bytes{9, 0, 0, 0, 0xFF};
    EXPECT_EQ(StreamIn(array, cut, swap), VE_STREAM_EOF);
    EXPECT_EQ(Bits(array), "11100000");
    StErrorContextInstaller context;
    Bytes negative = swap ? Bytes{0x80, 0, 0, 0} : Bytes{0, 0, 0, 0x80};
    EXPECT_EQ(StreamIn(array, negative, swap), VE_STREAM_BAD_SIGNATURE);
    EXPECT_EQ(array.GetCount(), 8);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, VArrayBooleanStream, ::testing::Values(false, true));

} // namespace
} // namespace kova
