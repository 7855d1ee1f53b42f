#include "kernel/values/VArrayString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;

// Null entries leave the slot empty.
VArrayString MakeTexts(const std::vector<const char*>& inTexts)
{
    VArrayString array(int32_t(inTexts.size()));
    for (size_t i = 0; i < inTexts.size(); ++i)
    {
        if (inTexts[i] != nullptr)
            array.FromString(VString(inTexts[i]), int32_t(i + 1));
    }
    return array;
}

// "-" for an empty slot.
std::string Joined(const VArrayString& inArray)
{
    std::string joined;
    for (int32_t i = 1; i <= inArray.GetCount(); ++i)
    {
        VString text;
        inArray.GetString(text, i);
        if (!joined.empty())
            joined += ',';
        if (text.IsNull())
            joined += '-';
        for (int32_t u = 0; u < text.GetLength(); ++u)
            joined += char(text.GetCPointer()[u]);
    }
    return joined;
}

TEST(VArrayString, SlotsStartEmptyAndOwnCopiesOfTheirStrings)
{
    VArrayString array(2);
    EXPECT_EQ(Joined(array), "-,-");
    VString text("abc");
    array.FromString(text, 1);
    text.AppendCString("def");
    EXPECT_EQ(Joined(array), "abc,-");
    array.FromString(VString("xy"), 1);
    array.FromString(VString("zz"), 3);
    array.FromString(VString("zz"), 0);
    EXPECT_EQ(Joined(array), "xy,-");

    VString out("keep");
    array.GetString(out, 5);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(out.IsNull());
    array.GetString(out, 2);
    EXPECT_TRUE(out.IsNull());
}

TEST(VArrayString, EditsMoveOwnershipWithoutLosingOrSharingStrings)
{
    VArrayString array = MakeTexts({"a", "b", "c", "d"});
    EXPECT_TRUE(array.Insert(2, 2));
    EXPECT_EQ(Joined(array), "a,-,-,b,c,d");
    array.Delete(4, 2);
    EXPECT_EQ(Joined(array), "a,-,-,d");
    EXPECT_TRUE(array.SetCount(2));
    EXPECT_TRUE(array.SetCount(3));
    EXPECT_EQ(Joined(array), "a,-,-");

    VArrayString copy(array);
    array.FromString(VString("changed"), 1);
    EXPECT_EQ(Joined(copy), "a,-,-");
    std::unique_ptr<VValue> clone(copy.Clone());
    copy.Clear();
    EXPECT_EQ(Joined(*static_cast<VArrayString*>(clone.get())), "a,-,-");
    copy = array;
    EXPECT_EQ(Joined(copy), "changed,-,-");
}

TEST(VArrayString, SortPutsEmptySlotsFirst)
{
    VArrayString array = MakeTexts({"pear", nullptr, "apple", "fig", nullptr, "banana"});
    array.Sort(1, 6, 0);
    EXPECT_EQ(Joined(array), "-,-,apple,banana,fig,pear");
    array.Sort(1, 6, 1);
    EXPECT_EQ(Joined(array), "pear,fig,banana,apple,-,-");
    EXPECT_EQ(array.CompareTo(VString("pear"), true, 1), CR_EQUAL);
    EXPECT_EQ(array.CompareTo(VString("a"), true, 5), CR_SMALLER);
    EXPECT_EQ(array.CompareTo(VString("a"), true, 7), CR_SMALLER);
}

TEST(VArrayString, SearchesSkipEmptySlots)
{
    VArrayString array = MakeTexts({"b", nullptr, "d", "b"});
    EXPECT_EQ(array.Find(VString("b"), 2, 1, CM_VALUE_EQUAL), 4);
    EXPECT_EQ(array.Find(VString("b"), 3, 0, CM_VALUE_EQUAL), 1);
    EXPECT_EQ(array.Find(VString("c"), 1, 1, CM_VALUE_LESS), 3);
    EXPECT_EQ(array.Find(VString(""), 2, 1, CM_VALUE_LESS_OR_EQUAL), 3);
    EXPECT_EQ(array.Find(VLong(7), 1, 1, CM_VALUE_EQUAL), -1);

    VArrayString sorted = MakeTexts({nullptr, "10", "7", "alpha", "beta", "gamma"});
    EXPECT_EQ(sorted.QuickFind(VString("beta")), 5);
    EXPECT_EQ(sorted.QuickFind(VString("10")), 2);
    EXPECT_EQ(sorted.QuickFind(VString("delta")), -1);
    EXPECT_EQ(sorted.Find(VLong(7), 1, 1, CM_VALUE_EQUAL), 3);
}

TEST(VArrayString, ValuesConvertThroughTheirText)
{
    VArrayString array(2);
    array.FromValue(VLong(-12), 1);
    EXPECT_EQ(Joined(array), "-12,-");
    VLong8 number;
    array.GetValue(number, 2);
    EXPECT_TRUE(number.IsNull());
    std::unique_ptr<VValueSingle> clone(array.CloneValue(1));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_STRING);
    EXPECT_TRUE(TextIs(*static_cast<VString*>(clone.get()), "-12"));
}

class VArrayStringStream : public ::testing::TestWithParam<bool>
{
protected:
    Bytes Word32(uint32_t inValue) const
    {
        Bytes bytes = {uint8_t(inValue), uint8_t(inValue >> 8), uint8_t(inValue >> 16),
                       uint8_t(inValue >> 24)};
        if (GetParam())
            std::reverse(bytes.begin(), bytes.end());
        return bytes;
    }
};

TEST_P(VArrayStringStream, EmptySlotsAreWrittenAsNullAndReadBackEmpty)
{
    VArrayString array = MakeTexts({"hi", nullptr});
    Bytes expected = Word32(2);
    for (const Bytes& piece : {Word32(2), StreamOut(VString("hi"), GetParam()), Word32(FourCharCode("NULL"))})
        expected.insert(expected.end(), piece.begin(), piece.end());
    Bytes written = StreamOut(array, GetParam());
    EXPECT_EQ(written, expected);

    VArrayString read = MakeTexts({"old", "older", "oldest"});
    EXPECT_EQ(StreamIn(read, written, GetParam()), VE_OK);
    EXPECT_EQ(Joined(read), "hi,-");
}

TEST_P(VArrayStringStream, BadMarkersAndCountsAreRefused)
{
    Bytes badMarker = Word32(1);
    Bytes marker = Word32(3);
    badMarker.insert(badMarker.end(), marker.begin(), marker.end());
    VArrayString array;
    {
        StErrorContextInstaller context;
        EXPECT_EQ(StreamIn(array, badMarker, GetParam()), VE_STREAM_BAD_SIGNATURE);
        EXPECT_EQ(context.GetLastError(), VE_STREAM_BAD_SIGNATURE);
    }
    array = MakeTexts({"kept"});
    // Every slot takes at least its 4-byte marker: a count the rest cannot hold is refused.
    Bytes tooMany = Word32(0x10000000);
    Bytes empty = Word32(FourCharCode("NULL"));
    tooMany.insert(tooMany.end(), empty.begin(), empty.end());
    EXPECT_EQ(StreamIn(array, tooMany, GetParam()), VE_STREAM_EOF);
    EXPECT_EQ(Joined(array), "kept");

    // A cut string leaves the stream's end of data.
    Bytes cut = StreamOut(MakeTexts({"abcdef"}), GetParam());
    cut.resize(cut.size() - 3);
    EXPECT_EQ(StreamIn(array, cut, GetParam()), VE_STREAM_EOF);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, VArrayStringStream, ::testing::Values(false, true));

} // namespace
} // namespace kova
