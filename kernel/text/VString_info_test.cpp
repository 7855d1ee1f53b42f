// The string as a value of kind 10: its descriptor, its packed and stream forms and the value
// slots that write numbers and booleans as text.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;

bool TextIs(const VString& inText, const char16_t* inExpected)
{
    return inText.GetLength() == VString::UniCStringLength(inExpected) &&
           std::memcmp(inText.GetCPointer(), inExpected, size_t(inText.GetLength()) * 2) == 0;
}

std::vector<uint8_t> Packed(uint32_t inCount, const char16_t* inUnits)
{
    std::vector<uint8_t> bytes(4 + 2 * size_t(inCount));
    std::memcpy(bytes.data(), &inCount, 4);
    std::memcpy(bytes.data() + 4, inUnits, 2 * size_t(inCount));
    return bytes;
}

TEST(VString_info, DescribesKind10)
{
    VString text;
    EXPECT_EQ(text.GetValueInfo(), &VString::sInfo);
    EXPECT_EQ(VString::sInfo.GetKind(), VK_STRING);
    EXPECT_EQ(VString::sInfo.GetAvgSpace(), 64u);
    std::unique_ptr<VValue> made(VString::sInfo.Generate());
    auto* string = dynamic_cast<VString*>(made.get());
    ASSERT_NE(string, nullptr);
    EXPECT_TRUE(string->IsEmpty());
    EXPECT_FALSE(string->IsNull());
}

TEST(VString_info, LoadsAndSizesPackedStringsAtAnyAlignment)
{
    std::vector<uint8_t> bytes = Packed(3, u"abc");
    bytes.insert(bytes.begin(), 0xEE); // odd address
    const uint8_t* packed = bytes.data() + 1;
    EXPECT_EQ(VString::sInfo.GetSizeOfValueDataPtr(packed), 10u);
    std::unique_ptr<VValue> made(VString::sInfo.LoadFromPtr(packed, false));
    EXPECT_TRUE(TextIs(*static_cast<VString*>(made.get()), u"abc"));
    EXPECT_FALSE(made->IsNull());
}

TEST(VString_info, ByteSwapReadsTheCountBeforeOrAfterAsTheFlagSays)
{
    std::vector<uint8_t> bytes = Packed(2, u"AB");
    EXPECT_EQ(VString::sInfo.ByteSwapPtr(bytes.data(), true), bytes.data() + 8);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 0, 0, 2, 0, 'A', 0, 'B'}));
    EXPECT_EQ(VString::sInfo.ByteSwapPtr(bytes.data(), false), bytes.data() + 8);
    EXPECT_EQ(bytes, Packed(2, u"AB"));
}

TEST(VString, PackedFormRoundTripsAndHonoursTheLimit)
{
    VString text(u"hello");
    uint64_t outside = 0;
    EXPECT_EQ(text.GetSpace(outside, 0), 14u);
    EXPECT_EQ(text.GetSpace(outside, 10), 10u);

    std::vector<uint8_t> buffer(16, 0xEE);
    EXPECT_EQ(text.WriteToPtr(buffer.data(), false, 0), buffer.data() + 14);
    VString read(true);
    EXPECT_EQ(read.LoadFromPtr(buffer.data(), false), buffer.data() + 14);
    EXPECT_TRUE(TextIs(read, u"hello"));
    EXPECT_FALSE(read.IsNull());

    // A limit of 10 bytes leaves room for 3 units.
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    EXPECT_EQ(text.WriteToPtr(buffer.data(), false, 10), buffer.data() + 10);
    EXPECT_EQ(buffer[10], 0xEE);
    uint32_t count = 0;
    std::memcpy(&count, buffer.data(), 4);
    EXPECT_EQ(count, 3u);
    // A limit without room for the count writes nothing.
    EXPECT_EQ(text.WriteToPtr(buffer.data() + 12, false, 3), buffer.data() + 12);
    EXPECT_EQ(buffer[12], 0xEE);
}

TEST(VString, APackedCountBeyondTheLongestStringLeavesTheTextUnchanged)
{
    const uint8_t packed[6] = {0xFF, 0xFF, 0xFF, 0xFF, 'x', 0};
    VString text(u"keep");
    text.LoadFromPtr(packed, false);
    EXPECT_TRUE(TextIs(text, u"keep"));
}

TEST(VString, StreamFormInBothByteOrders)
{
    VString abc(u"abc");
    const Bytes hostOrder{0xFD, 0xFF, 0xFF, 0xFF, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00};
    const Bytes swapped{0xFF, 0xFF, 0xFF, 0xFD, 0x00, 0x61, 0x00, 0x62, 0x00, 0x63};
    EXPECT_EQ(StreamOut(abc, false), hostOrder);
    EXPECT_EQ(StreamOut(abc, true), swapped);
    EXPECT_EQ(abc.GetSizeInStream(), 16u);
    for (bool swap : {false, true})
    {
        VString read(true);
        EXPECT_EQ(StreamIn(read, swap ? swapped : hostOrder, swap), VE_OK);
        EXPECT_TRUE(TextIs(read, u"abc"));
        EXPECT_FALSE(read.IsNull());
    }

    VString empty;
    EXPECT_EQ(StreamOut(empty, true), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(empty.GetSizeInStream(), 4u);
    VString read(u"something");
    read.SetNull(true);
    EXPECT_EQ(StreamIn(read, Bytes{0, 0, 0, 0}, false), VE_OK);
    EXPECT_TRUE(read.IsEmpty());
    EXPECT_FALSE(read.IsNull());
}

TEST(VString, TheOlderStreamFormIsStillRead)
{
    const Bytes version2{3, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 'b', 0, 'c', 0, 0, 0};
    VString text;
    EXPECT_EQ(StreamIn(text, version2, false), VE_OK);
    EXPECT_TRUE(TextIs(text, u"abc"));

    // An unknown version passes the record's units over and leaves the text alone.
    Bytes version3 = version2;
    version3[4] = 3;
    version3.push_back(0x77);
    VString kept(u"kept");
    VError streamError = VE_OK;
    int64_t pos = 0;
    EXPECT_EQ(StreamIn(kept, version3, false, &streamError, &pos), VE_OK);
    EXPECT_EQ(pos, 16);
    EXPECT_TRUE(TextIs(kept, u"kept"));
}

TEST(VString, ACountPastTheStreamsEndReadsWhatIsThere)
{
    struct Case
    {
        const char* fName;
        Bytes fBytes;
        const char16_t* fText;
    };
    const Case cases[] = {
        {"-1000 then 3 units", {0x18, 0xFC, 0xFF, 0xFF, 'a', 0, 'b', 0, 'c', 0}, u"abc"},
        {"-2^31", {0x00, 0x00, 0x00, 0x80, 'a', 0, 'b'}, u"a"},
        {"older form cut", {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 'x', 0}, u"x"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fName);
        VString text(u"before");
        VError streamError = VE_OK;
        EXPECT_EQ(StreamIn(text, c.fBytes, false, &streamError), VE_STREAM_EOF);
        EXPECT_EQ(streamError, VE_STREAM_EOF);
        EXPECT_TRUE(TextIs(text, c.fText));
    }
}

TEST(VString, NumbersAndBooleansAsText)
{
    VString text(u"a long text that lives in a heap block of its own");
    text.FromLong(-42);
    EXPECT_TRUE(TextIs(text, u"-42"));
    text.FromByte(-128);
    EXPECT_TRUE(TextIs(text, u"-128"));
    text.FromWord(32767);
    EXPECT_TRUE(TextIs(text, u"32767"));
    text.FromLong8(INT64_MIN);
    EXPECT_TRUE(TextIs(text, u"-9223372036854775808"));
    text.FromBoolean(2);
    EXPECT_TRUE(TextIs(text, u"true"));
    text.FromBoolean(0);
    EXPECT_TRUE(TextIs(text, u"false"));

    VStr<4> small;
    small.SetNull(true);
    small.FromLong(7);
    EXPECT_TRUE(TextIs(small, u"7"));
    EXPECT_FALSE(small.IsNull());
    EXPECT_EQ(small.GetMaxLength(), 4);
}

TEST(VString, RewritingANumberDetachesASharedBlock)
{
    VString original(u"a text long enough to need a heap block");
    VString shared(original);
    shared.FromLong(5);
    EXPECT_TRUE(TextIs(shared, u"5"));
    EXPECT_TRUE(TextIs(original, u"a text long enough to need a heap block"));
}

TEST(VString, CompareToOrdersTheOtherValuesText)
{
    VString text(u"10");
    EXPECT_EQ(text.CompareTo(VLong(10), false), CR_EQUAL);
    EXPECT_EQ(text.CompareTo(VLong(9), false), CR_SMALLER);
    EXPECT_EQ(text.CompareTo(VString(u"1"), false), CR_BIGGER);
}

} // namespace
} // namespace kova
