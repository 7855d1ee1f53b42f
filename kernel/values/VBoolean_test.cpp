#include "kernel/values/VBoolean.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VInteger.h"

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


TEST(VBoolean, ByteSettersKeepTheByteOthersStoreZeroOrOne)
{
    VBoolean value;
    value.FromByte(2);
    EXPECT_EQ(value.GetBoolean(), 2);
    value.FromBoolean(255);
    EXPECT_EQ(value.GetBoolean(), 255);
    EXPECT_EQ(value.GetByte(), -1);
    EXPECT_EQ(value.GetLong(), 255);
    EXPECT_EQ(value.GetReal(), 255.0);

    value.FromLong(-7);
    EXPECT_EQ(value.GetBoolean(), 1);
    value.FromLong8(int64_t(1) << 40);
    EXPECT_EQ(value.GetBoolean(), 1);
    value.FromWord(0);
    EXPECT_EQ(value.GetBoolean(), 0);
    value.FromReal(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(value.GetBoolean(), 1);
    value.FromReal(0.0);
    EXPECT_EQ(value.GetBoolean(), 0);

    VBoolean fromValue;
    VLong source(300);
    source.SetNull(true);
    fromValue.FromValue(source);
    EXPECT_EQ(fromValue.GetBoolean(), 1);
    EXPECT_TRUE(fromValue.IsNull());
}

TEST(VBoolean, ATwoWritesThePackedOneAndComparesBiggerThanOne)
{
    VBoolean two;
    two.FromByte(2);
    VBoolean one(true);
    uint8_t packed = 0xAA;
    EXPECT_EQ(two.WriteToPtr(&packed, false, 0), &packed + 1);
    EXPECT_EQ(packed, 1);

    EXPECT_EQ(two.CompareToSameKind(&one, false), CR_BIGGER);
    // Unequal bytes order by whether this one is set: one against two is bigger too.
    EXPECT_EQ(one.CompareToSameKind(&two, false), CR_BIGGER);
    EXPECT_FALSE(two.EqualToSameKind(&one, false));
    VBoolean off(false);
    EXPECT_EQ(off.CompareToSameKind(&two, false), CR_SMALLER);
    EXPECT_EQ(two.CompareTo(one, false), CR_BIGGER);

    // The options forms order the bytes unsigned.
    VCompareOptions options;
    EXPECT_EQ(one.CompareToSameKindWithOptions(&two, options), CR_SMALLER);
    const uint8_t packedTwo = 2;
    EXPECT_EQ(one.CompareToSameKindPtrWithOptions(&packedTwo, options), CR_SMALLER);
    EXPECT_EQ(one.CompareToSameKindPtr(&packedTwo, false), CR_BIGGER);
    EXPECT_TRUE(two.EqualToSameKindPtr(&packedTwo, false));

    EXPECT_EQ(VBoolean::sInfo.CompareTwoPtrToData(&packedTwo, &packed, false), CR_BIGGER);
}

TEST(VBoolean, PackedAndGeneratedForms)
{
    const uint8_t packed = 7;
    VBoolean value;
    EXPECT_EQ(value.LoadFromPtr(&packed, false), &packed + 1);
    EXPECT_EQ(value.GetBoolean(), 1);
    uint64_t space = 0;
    EXPECT_EQ(value.GetSpace(space, 0), 1u);

    // The descriptor keeps the byte as stored.
    std::unique_ptr<VValue> loaded(VBoolean::sInfo.LoadFromPtr(&packed, false));
    EXPECT_EQ(static_cast<VBoolean*>(loaded.get())->GetBoolean(), 1);
    std::unique_ptr<VValue> made(VBoolean::sInfo.Generate());
    EXPECT_EQ(static_cast<VBoolean*>(made.get())->GetBoolean(), 0);
    EXPECT_FALSE(made->IsNull());
}

TEST(VBoolean, FromXMLStringTakesExactlyFourTexts)
{
    struct Case
    {
        const char* fText;
        bool fTaken;
        uint8_t fValue;
    };
    const Case cases[] = {
        {"TRUE", true, 1}, {"False", true, 0}, {"1", true, 1},     {"0", true, 0},    {"tRuE", true, 1},
        {"yes", false, 0}, {" true", false, 0}, {"", false, 0},    {"2", false, 0},   {"truex", false, 0},
        {"tru", false, 0}, {"10", false, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fText);
        VBoolean value;
        value.FromByte(9);
        value.SetNull(true);
        value.SetDirty(false);
        EXPECT_EQ(value.FromXMLString(VString(c.fText)), c.fTaken);
        if (c.fTaken)
        {
            EXPECT_EQ(value.GetBoolean(), c.fValue);
            EXPECT_FALSE(value.IsNull());
            EXPECT_TRUE(value.IsDirty());
        }
        else
        {
            EXPECT_EQ(value.GetBoolean(), 9);
            EXPECT_TRUE(value.IsNull());
            EXPECT_FALSE(value.IsDirty());
        }
    }
}

TEST(VBoolean, TextForms)
{
    VBoolean value;
    value.SetNull(true);
    EXPECT_EQ(value.FromJSONString(VString("yes"), 0), VE_OK);
    EXPECT_EQ(value.GetBoolean(), 0);
    EXPECT_FALSE(value.IsNull());
    EXPECT_EQ(value.FromJSONString(VString("True"), 0), VE_OK);
    EXPECT_EQ(value.GetBoolean(), 1);

    VString text;
    value.SetNull(true);
    EXPECT_EQ(value.GetJSONString(text, 0), VE_OK);
    EXPECT_TRUE(TextIs(text, "true"));
    value.FromByte(3);
    value.GetXMLString(text, 0);
    EXPECT_TRUE(TextIs(text, "true"));
    value.GetString(text);
    EXPECT_TRUE(TextIs(text, "true"));
    VBoolean(false).GetXMLString(text, 0);
    EXPECT_TRUE(TextIs(text, "false"));
}

TEST(VBoolean, FromStringIsTrueOnlyForTheWordTrue)
{
    VBoolean value(true);
    value.SetNull(true);
    value.FromString(VString("1"));
    EXPECT_EQ(value.GetBoolean(), 0);
    EXPECT_FALSE(value.IsNull());
    value.FromString(VString("true"));
    EXPECT_EQ(value.GetBoolean(), 1);
    value.FromString(VString("false"));
    EXPECT_EQ(value.GetBoolean(), 0);
    value.FromString(VString("TRUE"));
    EXPECT_EQ(value.GetBoolean(), 1);
    value.FromString(VString(true));
    EXPECT_TRUE(value.IsNull());
}

TEST(VBoolean, StreamFormIsAWordInBothByteOrders)
{
    VBoolean value;
    value.FromByte(2);
    EXPECT_EQ(value.GetStreamSpace(), 2u);
    EXPECT_EQ(StreamOut(value, false), (Bytes{0x02, 0x00}));
    EXPECT_EQ(StreamOut(value, true), (Bytes{0x00, 0x02}));

    VBoolean read;
    EXPECT_EQ(StreamIn(read, Bytes{0x00, 0x01}, false), VE_OK);
    EXPECT_EQ(read.GetBoolean(), 1);
    EXPECT_EQ(StreamIn(read, Bytes{0x00, 0x00}, true), VE_OK);
    EXPECT_EQ(read.GetBoolean(), 0);
    EXPECT_EQ(StreamIn(read, Bytes{0x01}, true), VE_STREAM_EOF);
    EXPECT_EQ(read.GetBoolean(), 0);
}

TEST(VBoolean, ClonesCopyTheByteAndTheFlags)
{
    VBoolean value;
    value.FromByte(4);
    value.SetNull(true);
    value.SetDirty(false);
    std::unique_ptr<VValue> clone(value.Clone());
    auto* copy = static_cast<VBoolean*>(clone.get());
    EXPECT_EQ(copy->GetBoolean(), 4);
    EXPECT_TRUE(copy->IsNull());
    EXPECT_TRUE(copy->IsDirty());
    VBoolean target;
    EXPECT_TRUE(target.FromValueSameKind(&value));
    EXPECT_EQ(target.GetBoolean(), 4);
    EXPECT_TRUE(target.IsNull());
}

} // namespace
} // namespace kova
