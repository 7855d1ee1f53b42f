#include "kernel/values/VUUID.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VCompareOptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;

Bytes BytesOf(const VUUID& inUUID)
{
    VUUIDBuffer buffer;
    inUUID.ToBuffer(buffer);
    return Bytes(buffer.fBytes, buffer.fBytes + 16);
}

const Bytes kSample{0x6B, 0x29, 0xFC, 0x40, 0xCA, 0x47, 0x10, 0x67,
                    0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA};

// ---------------------------------------------------------------------------------------------
// Generation and null

TEST(VUUID, GeneratedIdentifiersAreVersion4AndDistinct)
{
    std::set<Bytes> seen;
    for (int i = 0; i < 64; ++i)
    {
        VUUID uuid(true);
        EXPECT_FALSE(uuid.IsNull());
        Bytes bytes = BytesOf(uuid);
        EXPECT_EQ(bytes[6] & 0xF0, 0x40);
        EXPECT_EQ(bytes[8] & 0xC0, 0x80);
        seen.insert(bytes);
    }
    EXPECT_EQ(seen.size(), 64u);

    VUUID regenerated;
    regenerated.Regenerate();
    EXPECT_FALSE(regenerated.IsNull());
    EXPECT_NE(regenerated, VUUID::sNullUUID);
}

TEST(VUUID, MakingItNullZeroesTheBytes)
{
    VUUID uuid(true);
    uuid.SetNull(true);
    EXPECT_EQ(uuid, VUUID::sNullUUID);
    EXPECT_TRUE(VUUID::sNullUUID.IsNull());
    EXPECT_TRUE(VUUID().IsNull());
    EXPECT_TRUE(VUUID(false).IsNull());

    VUUID cleared(true);
    cleared.Clear();
    EXPECT_TRUE(cleared.IsNull());
    EXPECT_EQ(cleared, VUUID::sNullUUID);
}

TEST(VUUID, NullFollowsTheBytesOrTheSourceAsEachSetterSays)
{
    VUUIDBuffer zero;
    EXPECT_TRUE(VUUID(zero).IsNull());
    VUUID fromBuffer(true);
    fromBuffer.FromBuffer(zero);
    EXPECT_TRUE(fromBuffer.IsNull());

    // A stream read is never null, even of zero bytes; its clone follows the bytes.
    VUUID read;
    EXPECT_EQ(StreamIn(read, Bytes(16, 0), false), VE_OK);
    EXPECT_FALSE(read.IsNull());
    std::unique_ptr<VValue> clone(read.Clone());
    EXPECT_TRUE(clone->IsNull());
    // Copies take the source's null state.
    VUUID copy(read);
    EXPECT_FALSE(copy.IsNull());
    VUUID target;
    target.FromVUUID(read);
    EXPECT_FALSE(target.IsNull());
}

// ---------------------------------------------------------------------------------------------
// Text

TEST(VUUID, TextIs32UpperCaseDigits)
{
    VString text;
    VUUID::sNullUUID.GetString(text);
    EXPECT_TRUE(TextIs(text, "00000000000000000000000000000000"));
    EXPECT_FALSE(VUUID::IsUUIDString(text, false));
    EXPECT_TRUE(VUUID::IsUUIDString(text, true));

    VUUID uuid;
    uuid.FromString(VString("{6B29FC40-CA47-1067-B31D-00DD010662DA}"));
    EXPECT_EQ(BytesOf(uuid), kSample);
    uuid.GetString(text);
    EXPECT_TRUE(TextIs(text, "6B29FC40CA471067B31D00DD010662DA"));
    EXPECT_TRUE(VUUID::IsUUIDString(text, false));
    EXPECT_FALSE(VUUID::IsUUIDString(VString("6b29fc40ca471067b31d00dd010662da"), false));
    EXPECT_FALSE(VUUID::IsUUIDString(VString("6B29FC40CA471067B31D00DD010662D"), true));

    VUUID lower;
    lower.FromString(VString("6b29fc40ca471067b31d00dd010662da"));
    EXPECT_EQ(lower, uuid);

    EXPECT_EQ(uuid.GetJSONString(text, 0), VE_OK);
    EXPECT_TRUE(TextIs(text, "\"6B29FC40CA471067B31D00DD010662DA\""));
}

TEST(VUUID, TheReaderNeverRefuses)
{
    struct Case
    {
        const char* fName;
        VString fText;
        Bytes fBytes;
    };
    const Case cases[] = {
        {"ABC",
         VString("ABC"),
         {0x41, 0x42, 0x43, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20}},
        {"empty", VString(), Bytes(16, 0x20)},
        // 31 digits: the text's first 16 bytes.
        {"31 digits",
         VString("0123456789ABCDEF0123456789ABCDE"),
         {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'}},
        // 40 digits: the first 32.
        {"40 digits", VString("6B29FC40CA471067B31D00DD010662DA12345678"), kSample},
        // Whole UTF-8 characters only: e-acute takes two bytes and the 16th byte stays blank.
        {"UTF-8",
         VString(u"\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9z\u00E9"),
         {0xC3, 0xA9, 0xC3, 0xA9, 0xC3, 0xA9, 0xC3, 0xA9, 0xC3, 0xA9, 0xC3, 0xA9, 0xC3, 0xA9, 'z', 0x20}},
        // The text's UTF-8 form as the toolbox's converter writes it: a pair is one character, a
        // lone surrogate its own three bytes, a high surrogate that ends the text too.
        {"surrogate pair",
         VString(u"a\U0001F600"),
         {'a', 0xF0, 0x9F, 0x98, 0x80, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20}},
        {"lone low surrogate",
         VString(u"ab\xDC00"
                 u"c"),
         {'a', 'b', 0xED, 0xB0, 0x80, 'c', 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20}},
        {"high surrogate at the end",
         VString(u"a\xD800"),
         {'a', 0xED, 0xA0, 0x80, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fName);
        VUUID uuid;
        uuid.SetDirty(false);
        uuid.FromString(c.fText);
        EXPECT_EQ(BytesOf(uuid), c.fBytes);
        EXPECT_FALSE(uuid.IsNull());
        EXPECT_TRUE(uuid.IsDirty());
    }
}

TEST(VUUID, FromCStringByLength)
{
    VUUID abc("ABC");
    EXPECT_EQ(BytesOf(abc), (Bytes{0x41, 0x42, 0x43, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(abc.IsNull());

    VUUID hex("6b29fc40ca471067b31d00dd010662da");
    EXPECT_EQ(BytesOf(hex), kSample);
    // A character that is no digit counts as 0.
    VUUID odd("X000000000000000000000000000000Z");
    EXPECT_TRUE(odd.IsNull());

    VUUID kept("6b29fc40ca471067b31d00dd010662da");
    kept.FromBuffer("0123456789abcdefg"); // 17 characters: unchanged
    EXPECT_EQ(BytesOf(kept), kSample);
    EXPECT_TRUE(VUUID("0123456789abcdefg").IsNull());
    EXPECT_TRUE(VUUID(static_cast<const char*>(nullptr)).IsNull());
}

TEST(VUUID, TheCachedTextFollowsEveryChange)
{
    VUUID uuid;
    uuid.FromString(VString("6B29FC40CA471067B31D00DD010662DA"));
    EXPECT_EQ(uuid.GetCachedConvertedString(false), nullptr);
    const VString* cached = uuid.GetCachedConvertedString(true);
    ASSERT_NE(cached, nullptr);
    EXPECT_TRUE(TextIs(*cached, "6B29FC40CA471067B31D00DD010662DA"));
    EXPECT_FALSE(cached->IsNull());

    uuid.SetNull(true);
    EXPECT_TRUE(cached->IsNull());
    EXPECT_TRUE(cached->IsEmpty()); // a string made null gives its text up
    uuid.FromBuffer("ABC");
    EXPECT_TRUE(TextIs(*cached, "41424300000000000000000000000000"));
    EXPECT_FALSE(cached->IsNull());

    // Copies start without one.
    VUUID copy(uuid);
    EXPECT_EQ(copy.GetCachedConvertedString(false), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Order and comparison

TEST(VUUID, OrderIsByteWiseUnsignedFromByteZero)
{
    VUUIDBuffer high;
    high.fBytes[0] = 0x80;
    VUUIDBuffer low;
    low.fBytes[0] = 0x7F;
    std::memset(low.fBytes + 1, 0xFF, 15);
    VUUID big(high);
    VUUID small(low);
    EXPECT_TRUE(small < big);
    EXPECT_FALSE(big < small);
    EXPECT_EQ(big.CompareToSameKind(&small, false), CR_BIGGER);
    EXPECT_EQ(small.CompareToSameKindPtr(high.fBytes, false), CR_SMALLER);
    EXPECT_EQ(big.CompareToSameKindWithOptions(&big, VCompareOptions()), CR_EQUAL);
    EXPECT_TRUE(big.EqualToSameKindPtr(high.fBytes, false));
    EXPECT_EQ(VUUID::sInfo.CompareTwoPtrToData(low.fBytes, high.fBytes, false), CR_SMALLER);
    EXPECT_EQ(big.CompareTo(small, false), CR_BIGGER);
}

TEST(VUUID, CompareToAnotherKindCannotOrder)
{
    VUUID uuid;
    uuid.FromString(VString("6B29FC40CA471067B31D00DD010662DA"));
    VString text;
    uuid.GetString(text);
    EXPECT_EQ(uuid.CompareTo(text, false), CR_UNRELEVANT);
    EXPECT_FALSE(uuid.EqualTo(text, false));
}

TEST(VUUID, ConversionsGoThroughFromVUUID)
{
    VUUID uuid;
    uuid.FromString(VString("6B29FC40CA471067B31D00DD010662DA"));
    VUUID target;
    uuid.GetValue(target);
    EXPECT_EQ(target, uuid);
    VUUID fromValue;
    fromValue.FromValue(uuid);
    EXPECT_EQ(fromValue, uuid);
    VString text;
    uuid.GetValue(text);
    EXPECT_TRUE(TextIs(text, "6B29FC40CA471067B31D00DD010662DA"));
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms: the 16 bytes as they are, in either byte order.

TEST(VUUID, PackedAndStreamFormsAreTheBytes)
{
    VUUID uuid;
    uuid.FromString(VString("6B29FC40CA471067B31D00DD010662DA"));
    uint8_t packed[17];
    EXPECT_EQ(uuid.WriteToPtr(packed + 1, false, 0), packed + 17);
    EXPECT_EQ(Bytes(packed + 1, packed + 17), kSample);
    VUUID loaded;
    EXPECT_EQ(loaded.LoadFromPtr(packed + 1, false), packed + 17);
    EXPECT_EQ(loaded, uuid);
    std::unique_ptr<VValue> made(VUUID::sInfo.LoadFromPtr(packed + 1, false));
    EXPECT_EQ(*static_cast<VUUID*>(made.get()), uuid);
    EXPECT_EQ(VUUID::sInfo.ByteSwapPtr(packed + 1, true), packed + 1);
    EXPECT_EQ(VUUID::sInfo.GetSizeOfValueDataPtr(packed), 16u);

    for (bool swap : {false, true})
    {
        EXPECT_EQ(StreamOut(uuid, swap), kSample);
        VUUID read;
        EXPECT_EQ(StreamIn(read, kSample, swap), VE_OK);
        EXPECT_EQ(read, uuid);
    }
}

TEST(VUUID, ACutStreamLeavesTheIdentifierAsItWas)
{
    VUUID uuid;
    EXPECT_EQ(StreamIn(uuid, Bytes(kSample.begin(), kSample.begin() + 10), false), VE_STREAM_EOF);
    EXPECT_TRUE(uuid.IsNull());
    EXPECT_EQ(uuid, VUUID::sNullUUID);
}

} // namespace
} // namespace kova
