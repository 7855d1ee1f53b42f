#include "kernel/values/VInteger.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VUUID.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;


// ---------------------------------------------------------------------------------------------
// Construction and copies

TEST(VInteger, ConstructorsAndClones)
{
    int32_t datum = 77;
    VLong fromPointer(&datum, false);
    EXPECT_EQ(fromPointer.Get(), 77);
    VLong zeroed(static_cast<const int32_t*>(nullptr), true);
    EXPECT_EQ(zeroed.Get(), 0);
    EXPECT_FALSE(zeroed.IsNull());
    EXPECT_TRUE(zeroed.IsDirty());

    VWord word(int16_t(-3));
    word.SetNull(true);
    word.SetDirty(false);
    std::unique_ptr<VValue> clone(word.Clone());
    auto* copy = dynamic_cast<VWord*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Get(), -3);
    EXPECT_TRUE(copy->IsNull());
    EXPECT_TRUE(copy->IsDirty());
    EXPECT_TRUE(copy->CanBeEvaluated());
}

// ---------------------------------------------------------------------------------------------
// Setters wrap to the width; reals go through the one saturating conversion.

TEST(VInteger, SettersWrapToTheWidth)
{
    VByte byte;
    byte.FromLong(300);
    EXPECT_EQ(byte.Get(), 44);
    byte.FromLong8(-1);
    EXPECT_EQ(byte.Get(), -1);
    VWord word;
    word.FromLong(40000);
    EXPECT_EQ(word.Get(), -25536);
    VLong value;
    value.FromLong8((int64_t(1) << 32) + 5);
    EXPECT_EQ(value.Get(), 5);
    VLong8 wide;
    wide.FromByte(-2);
    EXPECT_EQ(wide.Get(), -2);
    wide.FromBoolean(255);
    EXPECT_EQ(wide.Get(), 255);
}

TEST(VInteger, FromRealTruncatesAndSaturates)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        double fReal;
        int8_t fByte;
        int16_t fWord;
        int32_t fLong;
        int64_t fLong8;
    };
    const Case cases[] = {
        {-1.9, -1, -1, -1, -1},
        {300.7, 44, 300, 300, 300},
        // Beyond 32 bits the narrow kinds saturate first, then wrap.
        {3e9, -1, -1, INT32_MAX, 3000000000},
        {-3e9, 0, 0, INT32_MIN, -3000000000},
        {1e19, -1, -1, INT32_MAX, INT64_MAX},
        {kNaN, 0, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fReal);
        VByte byte;
        byte.FromReal(c.fReal);
        EXPECT_EQ(byte.Get(), c.fByte);
        VWord word;
        word.FromReal(c.fReal);
        EXPECT_EQ(word.Get(), c.fWord);
        VLong value;
        value.FromReal(c.fReal);
        EXPECT_EQ(value.Get(), c.fLong);
        VLong8 wide;
        wide.FromReal(c.fReal);
        EXPECT_EQ(wide.Get(), c.fLong8);
    }
}

TEST(VInteger, SettersMakeTheValueNotNullAndDirty)
{
    VLong value(5);
    value.SetNull(true);
    value.SetDirty(false);
    value.FromWord(9);
    EXPECT_FALSE(value.IsNull());
    EXPECT_TRUE(value.IsDirty());

    value.SetNull(true);
    value.Clear();
    EXPECT_EQ(value.Get(), 0);
    EXPECT_FALSE(value.IsNull());
}

// ---------------------------------------------------------------------------------------------
// Conversions through other values

TEST(VInteger, GettersWrapOrExtend)
{
    VLong8 wide(int64_t(0x123456789A));
    EXPECT_EQ(wide.GetLong(), int32_t(0x3456789A));
    EXPECT_EQ(wide.GetWord(), int16_t(0x789A));
    EXPECT_EQ(wide.GetByte(), int8_t(0x9A));
    EXPECT_EQ(wide.GetBoolean(), 1);
    VByte byte(int8_t(-7));
    EXPECT_EQ(byte.GetLong8(), -7);
    EXPECT_EQ(byte.GetReal(), -7.0);
    EXPECT_EQ(VLong(0).GetBoolean(), 0);
    EXPECT_EQ(VLong8(INT64_MAX).GetReal(), 9223372036854775808.0);
}

TEST(VInteger, GetStringWritesDecimalText)
{
    VString text;
    VByte(int8_t(-128)).GetString(text);
    EXPECT_TRUE(TextIs(text, "-128"));
    VWord(int16_t(0)).GetString(text);
    EXPECT_TRUE(TextIs(text, "0"));
    VLong(INT32_MIN).GetString(text);
    EXPECT_TRUE(TextIs(text, "-2147483648"));
    VLong8(INT64_MIN).GetString(text);
    EXPECT_TRUE(TextIs(text, "-9223372036854775808"));
    EXPECT_FALSE(text.IsNull());
}

// A target that records which setter a value called.
class SetterProbe : public VLong8
{
public:
    void FromWord(int16_t inValue) override { Record("word", inValue); }
    void FromLong(int32_t inValue) override { Record("long", inValue); }
    void FromLong8(int64_t inValue) override { Record("long8", inValue); }
    void Record(const char* inSetter, int64_t inValue)
    {
        fSetter = inSetter;
        fValue = inValue;
    }
    const char* fSetter = "";
};

TEST(VInteger, EachKindHandsItselfToOthersInItsOwnWidth)
{
    SetterProbe probe;
    VByte(int8_t(-5)).GetValue(probe);
    EXPECT_STREQ(probe.fSetter, "word");
    EXPECT_EQ(probe.Get(), -5);
    VWord(int16_t(7)).GetValue(probe);
    EXPECT_STREQ(probe.fSetter, "word");
    VLong(8).GetValue(probe);
    EXPECT_STREQ(probe.fSetter, "long");
    VLong8(int64_t(1) << 40).GetValue(probe);
    EXPECT_STREQ(probe.fSetter, "long8");
    EXPECT_EQ(probe.Get(), int64_t(1) << 40);
}

TEST(VInteger, FromValueTakesTheSourcesNullState)
{
    VLong8 source((int64_t(1) << 32) + 300);
    source.SetNull(true);
    VByte byte;
    byte.FromValue(source); // through GetWord: 300, then 8 bits
    EXPECT_EQ(byte.Get(), 44);
    EXPECT_TRUE(byte.IsNull());
    VLong value;
    value.FromValue(source);
    EXPECT_EQ(value.Get(), 300);
    VLong8 wide;
    wide.FromValue(source);
    EXPECT_EQ(wide.Get(), (int64_t(1) << 32) + 300);
    EXPECT_TRUE(wide.IsNull());
}

TEST(VInteger, FromANullStringTheLong8KeepsItsDatum)
{
    VString nullText(true);
    VLong8 wide(int64_t(7));
    wide.FromString(nullText);
    EXPECT_TRUE(wide.IsNull());
    EXPECT_EQ(wide.Get(), 7);

    VLong value(7);
    value.FromString(nullText);
    EXPECT_TRUE(value.IsNull());
    EXPECT_EQ(value.Get(), nullText.GetLong());
}

TEST(VInteger, FromStringReadsTheTextInEachKindsWidth)
{
    // A byte reads the text as a word, a word and a long as a long: out of range gives 0 first.
    const VString text("40000");
    VByte byte(int8_t(1));
    VWord word(int16_t(1));
    VLong value(1);
    VLong8 wide(int64_t(1));
    byte.FromString(text);
    word.FromString(text);
    value.FromString(text);
    wide.FromString(text);
    EXPECT_EQ(byte.Get(), 0);
    EXPECT_EQ(word.Get(), -25536);
    EXPECT_EQ(value.Get(), 40000);
    EXPECT_EQ(wide.Get(), 40000);

    value.FromString(VString("-12abc3"));
    EXPECT_EQ(value.Get(), -123);
    value.FromString(VString("3000000000"));
    EXPECT_EQ(value.Get(), 0);
    wide.FromString(VString("3000000000"));
    EXPECT_EQ(wide.Get(), 3000000000LL);
    // The text forms are the plain ones.
    EXPECT_TRUE(value.FromXMLString(VString("77")));
    EXPECT_EQ(value.Get(), 77);
    EXPECT_EQ(value.FromJSONString(VString("-8"), 0), VE_OK);
    EXPECT_EQ(value.Get(), -8);
}

// ---------------------------------------------------------------------------------------------
// Comparison

TEST(VInteger, CompareToUsesTheOthersLongSoAWordOf5EqualsALong8Of2To32Plus5)
{
    VWord word(int16_t(5));
    VLong8 wide((int64_t(1) << 32) + 5);
    EXPECT_EQ(word.CompareTo(wide, false), CR_EQUAL);
    EXPECT_TRUE(word.EqualTo(wide, false));
    // The long8 compares in 64 bits: bigger.
    EXPECT_EQ(wide.CompareTo(word, false), CR_BIGGER);
    EXPECT_EQ(VByte(int8_t(-1)).CompareTo(VLong(0), false), CR_SMALLER);
    EXPECT_EQ(VLong(1).CompareTo(VBoolean(true), false), CR_EQUAL);
}

TEST(VInteger, SameKindComparisonsOrderSignedData)
{
    VByte small(int8_t(-1));
    VByte big(int8_t(1));
    const int8_t packedBig = 1;
    VCompareOptions options;
    EXPECT_EQ(small.CompareToSameKind(&big, false), CR_SMALLER);
    EXPECT_EQ(big.CompareToSameKind(&small, false), CR_BIGGER);
    EXPECT_EQ(small.CompareToSameKindPtr(&packedBig, false), CR_SMALLER);
    EXPECT_EQ(small.Swap_CompareToSameKindPtr(&packedBig, false), CR_BIGGER);
    EXPECT_EQ(small.CompareToSameKindWithOptions(&big, options), CR_SMALLER);
    EXPECT_EQ(big.CompareToSameKindPtrWithOptions(&packedBig, options), CR_EQUAL);
    EXPECT_TRUE(big.EqualToSameKindPtr(&packedBig, false));
    EXPECT_FALSE(small.EqualToSameKind(&big, false));
    EXPECT_TRUE(big.EqualToSameKindWithOptions(&big, options));

    // Null states are not looked at.
    VLong8 nullZero(int64_t(0));
    nullZero.SetNull(true);
    VLong8 zero(int64_t(0));
    EXPECT_TRUE(zero.EqualToSameKind(&nullZero, false));
}

TEST(VInteger, FromValueSameKindCopiesDatumAndNullState)
{
    VLong source(12);
    source.SetNull(true);
    VLong target(1);
    EXPECT_TRUE(target.FromValueSameKind(&source));
    EXPECT_EQ(target.Get(), 12);
    EXPECT_TRUE(target.IsNull());
    VWord other(int16_t(3));
    EXPECT_FALSE(target.FromValueSameKind(&other));
}

// ---------------------------------------------------------------------------------------------
// Packed form and descriptors

TEST(VInteger, PackedFormIsTheNativeDatumAtAnyAlignment)
{
    alignas(8) uint8_t buffer[16] = {};
    uint8_t* odd = buffer + 1;
    VLong8 wide(int64_t(-2));
    uint64_t space = 0;
    EXPECT_EQ(wide.GetSpace(space, 0), 8u);
    EXPECT_EQ(wide.WriteToPtr(odd, false, 0), odd + 8);
    VLong8 read(int64_t(0));
    read.SetNull(true);
    EXPECT_EQ(read.LoadFromPtr(odd, false), odd + 8);
    EXPECT_EQ(read.Get(), -2);
    EXPECT_FALSE(read.IsNull());

    std::unique_ptr<VValue> made(VLong8::sInfo.LoadFromPtr(odd, false));
    EXPECT_EQ(static_cast<VLong8*>(made.get())->Get(), -2);
    EXPECT_FALSE(made->IsNull());
}

TEST(VInteger, DescriptorsCompareSwapAndSizePackedData)
{
    const int16_t words[2] = {-1, 1};
    EXPECT_EQ(VWord::sInfo.CompareTwoPtrToData(&words[0], &words[1], false), CR_SMALLER);
    EXPECT_EQ(VWord::sInfo.CompareTwoPtrToDataBegining(&words[1], &words[0], false), CR_BIGGER);
    EXPECT_EQ(VWord::sInfo.CompareTwoPtrToDataWithOptions(&words[1], &words[1], VCompareOptions()), CR_EQUAL);
    EXPECT_EQ(VWord::sInfo.GetSizeOfValueDataPtr(words), 2u);
    EXPECT_EQ(VLong8::sInfo.GetAvgSpace(), 8u);

    uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(VLong::sInfo.ByteSwapPtr(bytes, true), bytes + 4);
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(VByte::sInfo.ByteSwapPtr(bytes, true), bytes + 1);
    EXPECT_EQ(bytes[0], 4);

    std::unique_ptr<VValue> made(VWord::sInfo.Generate());
    EXPECT_EQ(static_cast<VWord*>(made.get())->Get(), 0);
    EXPECT_FALSE(made->IsNull());
}

// ---------------------------------------------------------------------------------------------
// Stream form, both byte orders

struct StreamCase
{
    const char* fName;
    std::unique_ptr<VValueSingle> (*fMake)();
    Bytes fHostOrder;
    Bytes fSwapped;
};

TEST(VInteger, StreamFormInBothByteOrders)
{
    const StreamCase cases[] = {
        {"byte -1", [] { return std::unique_ptr<VValueSingle>(new VByte(int8_t(-1))); }, {0xFF, 0xFF}, {0xFF, 0xFF}},
        {"byte 0x12", [] { return std::unique_ptr<VValueSingle>(new VByte(int8_t(0x12))); }, {0x12, 0x00}, {0x00, 0x12}},
        {"word", [] { return std::unique_ptr<VValueSingle>(new VWord(int16_t(0x1234))); }, {0x34, 0x12}, {0x12, 0x34}},
        {"long",
         [] { return std::unique_ptr<VValueSingle>(new VLong(0x01020304)); },
         {0x04, 0x03, 0x02, 0x01},
         {0x01, 0x02, 0x03, 0x04}},
        {"long8",
         [] { return std::unique_ptr<VValueSingle>(new VLong8(int64_t(0x0102030405060708))); },
         {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01},
         {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}},
    };
    for (const StreamCase& c : cases)
    {
        SCOPED_TRACE(c.fName);
        std::unique_ptr<VValueSingle> value = c.fMake();
        EXPECT_EQ(value->GetStreamSpace(), c.fHostOrder.size());
        for (bool swap : {false, true})
        {
            const Bytes& expected = swap ? c.fSwapped : c.fHostOrder;
            EXPECT_EQ(StreamOut(*value, swap), expected);
            std::unique_ptr<VValueSingle> read = c.fMake();
            read->Clear();
            read->SetNull(true);
            EXPECT_EQ(StreamIn(*read, expected, swap), VE_OK);
            EXPECT_EQ(read->GetLong8(), value->GetLong8());
            EXPECT_TRUE(read->IsNull()); // reading does not touch the flags
        }
    }
}

TEST(VInteger, AByteReadKeepsTheLowBitsOfTheWord)
{
    VByte byte;
    EXPECT_EQ(StreamIn(byte, Bytes{0xFF, 0x01}, false), VE_OK);
    EXPECT_EQ(byte.Get(), -1);
}

TEST(VInteger, AFailedReadLeavesZeroAndReturnsTheStreamsError)
{
    VLong value(99);
    value.SetNull(true);
    VError streamError = VE_OK;
    EXPECT_EQ(StreamIn(value, Bytes{0x01, 0x02}, false, &streamError), VE_STREAM_EOF);
    EXPECT_EQ(streamError, VE_STREAM_EOF);
    EXPECT_EQ(value.Get(), 0);
    EXPECT_TRUE(value.IsNull());
}

TEST(VInteger, DurationsTravelInEachKindsWidth)
{
    // A duration takes integers as seconds.
    VDuration duration(int64_t(0));
    VLong8((int64_t(1) << 32) + 9).GetDuration(duration);
    EXPECT_EQ(duration.GetLong8(), (int64_t(1) << 32) + 9);
    VByte(int8_t(-3)).GetDuration(duration);
    EXPECT_EQ(duration.GetLong8OrMilliSeconds(), -3000);

    // A duration gives whole seconds.
    VDuration source(((int64_t(1) << 32) + 300) * 1000 + 999);
    source.SetNull(true);
    VByte byte;
    byte.FromDuration(source);
    EXPECT_EQ(byte.Get(), 44);
    EXPECT_TRUE(byte.IsNull());
    VLong value;
    value.FromDuration(source);
    EXPECT_EQ(value.Get(), 300);
    VLong8 wide;
    wide.FromDuration(source);
    EXPECT_EQ(wide.Get(), (int64_t(1) << 32) + 300);
}

// ---------------------------------------------------------------------------------------------
// Conversions the integers leave to the defaults

TEST(VInteger, UUIDAndTextFormsFollowTheDefaults)
{
    VLong value(5);
    VUUID uuid(true);
    value.GetVUUID(uuid);
    EXPECT_TRUE(uuid.IsNull());
    value.FromVUUID(VUUID(true));
    EXPECT_EQ(value.Get(), 5);

    VString text;
    EXPECT_EQ(value.GetJSONString(text, 0), VE_OK);
    EXPECT_TRUE(TextIs(text, "5"));
    value.GetXMLString(text, 0);
    EXPECT_TRUE(TextIs(text, "5"));
}

} // namespace
} // namespace kova
