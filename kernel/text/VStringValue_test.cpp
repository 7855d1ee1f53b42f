// The string's value slots: clearing and the null state, equality and copies of the same kind,
// the conversions through the other kinds' text forms, the hash, the debug dump and the handing
// out of buffers.
#include "kernel/text/VString.h"

#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

constexpr const char16_t* kLongText = u"a text long enough to need a heap block of its own";

// Releases a block handed out by RetainBuffer, as its receivers do.
void ReleaseRetained(UniChar* inUnits, int32_t inLength, int32_t inMaxLength)
{
    VInlineString record{inLength, inUnits, inMaxLength};
    record.Dispose();
}

TEST(VStringValue, ClearReturnsToTheEmptyInlineBuffer)
{
    struct Case
    {
        const char* fName;
        std::unique_ptr<VString> fText;
        int32_t fInlineCapacity;
    };
    UniChar callerUnits[32] = {u'c', u'a', u'l', u'l', u'e', u'r', 0};
    Case cases[] = {
        {"shared block", std::make_unique<VString>(kLongText), 0},
        {"VStr grown to a block", std::make_unique<VStr<15>>(VString(kLongText)), 15},
        {"VStr inline", std::make_unique<VStr<15>>("short"), 15},
        {"caller's buffer", std::make_unique<VString>(callerUnits, sizeof(callerUnits)), 0},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.fName);
        const std::u16string before = Text(*c.fText);
        VString copy(*c.fText);
        c.fText->SetDirty(false);
        c.fText->_Clear();
        EXPECT_TRUE(c.fText->IsEmpty());
        EXPECT_FALSE(c.fText->IsDirty()); // _Clear leaves the flags
        EXPECT_EQ(c.fText->GetMaxLength(), c.fInlineCapacity);

        c.fText->AppendCString("again");
        c.fText->SetNull(true);
        c.fText->SetDirty(false);
        c.fText->Clear();
        EXPECT_TRUE(c.fText->IsEmpty());
        EXPECT_FALSE(c.fText->IsNull());
        EXPECT_TRUE(c.fText->IsDirty());
        EXPECT_EQ(c.fText->GetMaxLength(), c.fInlineCapacity);
        EXPECT_EQ(Text(copy), before);
    }
    // The caller's units were left alone, and the copies kept their text.
    EXPECT_EQ(std::u16string(callerUnits), u"caller");
}

TEST(VStringValue, BecomingNullGivesTheTextUp)
{
    VString text(kLongText);
    VString copy(text);
    text.SetNull(true);
    EXPECT_TRUE(text.IsNull());
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(Text(copy), kLongText); // the shared block lost only this string's reference
    text.SetNull(false);
    EXPECT_TRUE(text.IsEmpty());

    VStr<15> small("abc");
    small.SetNull(true);
    EXPECT_TRUE(small.IsEmpty());
    EXPECT_EQ(small.GetMaxLength(), 15);
}

TEST(VStringValue, EqualityGoesThroughTheInternationalManager)
{
    VString accented(u"\u00E9t\u00E9");
    VString plain(u"ete");
    EXPECT_TRUE(accented.EqualToSameKind(&plain, false));
    EXPECT_FALSE(accented.EqualToSameKind(&plain, true));
    EXPECT_TRUE(accented.EqualToSameKind(&accented, true));

    VString text(u"abcdef");
    VString pattern(u"abc@");
    EXPECT_TRUE(text.EqualToSameKind_Like(&pattern, true));
    EXPECT_FALSE(text.EqualToSameKind(&pattern, true));
    VString other(u"abd@");
    EXPECT_FALSE(text.EqualToSameKind_Like(&other, true));
}

TEST(VStringValue, FromValueSameKindCopiesAStringOnly)
{
    VString target(u"old");
    VString source(kLongText);
    EXPECT_TRUE(target.FromValueSameKind(&source));
    EXPECT_EQ(Text(target), kLongText);

    VLong number(5);
    EXPECT_FALSE(target.FromValueSameKind(&number));
    EXPECT_EQ(Text(target), kLongText);

    VString null(true);
    EXPECT_TRUE(target.FromValueSameKind(&null));
    EXPECT_TRUE(target.IsNull());

    std::unique_ptr<VValue> clone(VStr<4>("abcd").Clone());
    ASSERT_NE(dynamic_cast<VString*>(clone.get()), nullptr);
    EXPECT_EQ(Text(*static_cast<VString*>(clone.get())), u"abcd");
}

TEST(VStringValue, ConversionsGoThroughTheOtherKindsTexts)
{
    VString text(u"1:30");
    VDuration duration;
    text.GetDuration(duration);
    EXPECT_EQ(duration.ConvertToMilliseconds(), 90000);
    text.FromDuration(VDuration(1500));
    EXPECT_EQ(Text(text), u"1500");

    VTime time;
    VString(u"2026-12-08 13:45:30:250").GetValue(time);
    EXPECT_EQ(time.GetStamp(),
              VTime(uint64_t(2026) << 48 | uint64_t(12) << 40 | uint64_t(8) << 32 | 49530250).GetStamp());

    VUUID uuid;
    VString(u"6B29FC40CA471067B31D00DD010662DA").GetVUUID(uuid);
    text.FromVUUID(uuid);
    EXPECT_EQ(Text(text), u"6B29FC40CA471067B31D00DD010662DA");
    text.FromValue(VLong(-3));
    EXPECT_EQ(Text(text), u"-3");
}

TEST(VStringValue, HashReadsAtMostSixteenUnits)
{
    EXPECT_EQ(VString().GetHashValue(), 0u);
    EXPECT_EQ(VString(u"A").GetHashValue(), 966u);
    EXPECT_EQ(VString(u"abc").GetHashValue(), 516202353u);

    const std::u16string seventeen = u"abcdefghijklmnopq";
    const uint32_t hash = VString(seventeen.c_str()).GetHashValue();
    for (size_t position = 0; position < seventeen.size(); ++position)
    {
        std::u16string changed = seventeen;
        changed[position] = u'#';
        // Unit 9 (the middle one) is not read.
        EXPECT_EQ(VString(changed.c_str()).GetHashValue() == hash, position == 8) << position;
    }
}

TEST(VStringValue, DebugDumpCopiesWholeUnitsThatFit)
{
    VString text(u"hello");
    char buffer[32] = {};
    int size = 8;
    EXPECT_EQ(text.DebugDump(buffer, size), VTC_UTF_16);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer), 3), u"hel");
    size = sizeof(buffer);
    text.DebugDump(buffer, size);
    EXPECT_EQ(size, 10);
    for (int tooSmall : {0, 1, 2, 3})
    {
        size = tooSmall;
        text.DebugDump(buffer, size);
        EXPECT_EQ(size, 0) << tooSmall;
    }
    VString dumped;
    text.DebugDump(dumped);
    EXPECT_EQ(Text(dumped), u"hello");
}

TEST(VStringValue, RetainBufferSharesABlockOrCopiesTheText)
{
    // A shared block is handed out itself, with one more reference.
    VString text(kLongText);
    int32_t length = -1;
    int32_t maxLength = -1;
    UniChar* units = text.RetainBuffer(&length, &maxLength);
    EXPECT_EQ(units, text.GetCPointer());
    EXPECT_EQ(length, text.GetLength());
    EXPECT_EQ(maxLength, text.GetMaxLength());
    text.SetUniChar(1, u'A'); // held by two now: the string takes a block of its own
    EXPECT_NE(text.GetCPointer(), units);
    EXPECT_EQ(std::u16string(units), kLongText);
    ReleaseRetained(units, length, maxLength);

    // Inline and caller's units are copied into a block of exactly the text.
    UniChar callerUnits[8] = {u'x', u'y', 0};
    VStr<15> inlineText("abc");
    VString callerText(callerUnits, sizeof(callerUnits));
    for (VString* source : {static_cast<VString*>(&inlineText), &callerText})
    {
        units = source->RetainBuffer(&length, &maxLength);
        ASSERT_NE(units, nullptr);
        EXPECT_NE(units, source->GetCPointer());
        EXPECT_EQ(length, source->GetLength());
        EXPECT_EQ(maxLength, source->GetLength());
        EXPECT_EQ(std::u16string(units), Text(*source));
        VString sharing(VInlineString{length, units, maxLength}); // a receiver holds the block
        ReleaseRetained(units, length, maxLength);
        EXPECT_EQ(Text(sharing), Text(*source));
    }

    for (VString* none : {new VString(), new VString(true)})
    {
        length = maxLength = -1;
        EXPECT_EQ(none->RetainBuffer(&length, &maxLength), nullptr);
        EXPECT_EQ(length, 0);
        EXPECT_EQ(maxLength, 0);
        delete none;
    }
}

} // namespace
} // namespace kova
