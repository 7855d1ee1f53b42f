#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

struct GrowthCase
{
    int32_t fOld;
    int32_t fNew;
    int64_t fUnits;
};

class VStringGrowth : public testing::TestWithParam<GrowthCase>
{
};

TEST_P(VStringGrowth, ComputeProgressiveResize)
{
    const GrowthCase& growth = GetParam();
    EXPECT_EQ(VString::ComputeProgressiveResize(growth.fOld, growth.fNew), growth.fUnits);
}

INSTANTIATE_TEST_SUITE_P(Policy, VStringGrowth,
                         testing::Values(GrowthCase{0, 5, 8}, GrowthCase{0, 6, 16}, GrowthCase{50, 100, 128},
                                         GrowthCase{100, 100, 104}, GrowthCase{1000, 1001, 1208},
                                         GrowthCase{255, 256, 312},
                                         // The extra margin is capped at 10,485,760 units.
                                         GrowthCase{1, 100000000, 110485768},
                                         GrowthCase{0, 2147483644, 2147483648LL},
                                         // Past the cap, only room for the text, terminator and count.
                                         GrowthCase{2000000000, 2147483644, 2147483647LL},
                                         GrowthCase{0, 2147483645, 2147483648LL}, GrowthCase{0, 2147483647, 0}));

TEST(VString, BlockSizesFollowTheGrowthPolicy)
{
    VString five;
    ASSERT_TRUE(five._ReallocBuffer(5, false));
    EXPECT_EQ(five.GetMaxLength(), 5);

    VString six;
    ASSERT_TRUE(six._ReallocBuffer(6, false));
    EXPECT_EQ(six.GetMaxLength(), 13);

    VString fifty;
    fifty.FromUniString(std::u16string(50, u'x').c_str(), 50);
    fifty.AppendUniChars(std::u16string(50, u'y').c_str(), 50);
    EXPECT_EQ(fifty.GetMaxLength(), 125);
    EXPECT_EQ(fifty.GetLength(), 100);
}

TEST(VString, TooLongARequestRaises107AndChangesNothing)
{
    StErrorContextInstaller errors;
    VString text(u"keep");
    EXPECT_FALSE(text._ReallocBuffer(INT32_MAX, true));
    EXPECT_EQ(errors.GetLastError(), VE_STRING_ALLOC_FAILED);
    EXPECT_EQ(Text(text), u"keep");

    EXPECT_FALSE(text._ReallocBuffer(-1, true));
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
    EXPECT_EQ(Text(text), u"keep");
}

TEST(VString, VStrKeepsItsTextInlineUpToItsCapacity)
{
    VStr<255> text;
    EXPECT_FALSE(text.IsNull());
    EXPECT_TRUE(text.IsDirty());
    EXPECT_EQ(text.GetMaxLength(), 255);
    std::u16string full(255, u'a');
    text.FromUniString(full.c_str(), 255);
    EXPECT_EQ(text.GetMaxLength(), 255);
    EXPECT_EQ(text.GetCPointer(), text.GetCPointerForWrite());
    const UniChar* inlineUnits = text.GetCPointer();
    text.AppendUniChar(u'b');
    EXPECT_NE(text.GetCPointer(), inlineUnits);
    EXPECT_EQ(text.GetMaxLength(), 312 - 3);
    EXPECT_EQ(text.GetLength(), 256);
    // Back to the inline buffer when a reallocation asks for no more than it holds.
    ASSERT_TRUE(text._ReallocBuffer(10, true));
    EXPECT_EQ(text.GetCPointer(), inlineUnits);
    text.Validate(10);
    EXPECT_EQ(Text(text), std::u16string(10, u'a'));
}

TEST(VString, CopiesShareBlocksAndWritesDetach)
{
    VString original(u"a text long enough for a heap block");
    VString copy(original);
    EXPECT_EQ(copy.GetCPointer(), original.GetCPointer());

    copy.AppendUniChar(u'!');
    EXPECT_NE(copy.GetCPointer(), original.GetCPointer());
    EXPECT_EQ(Text(original), u"a text long enough for a heap block");
    EXPECT_EQ(Text(copy), u"a text long enough for a heap block!");

    VString assigned;
    assigned.FromString(original);
    EXPECT_EQ(assigned.GetCPointer(), original.GetCPointer());
    ASSERT_TRUE(original.SetUniChar(1, u'A'));
    EXPECT_EQ(Text(original), u"A text long enough for a heap block");
    EXPECT_EQ(Text(assigned), u"a text long enough for a heap block");
}

TEST(VString, InlineExclusiveAndCallerBuffersAreCopiedNeverShared)
{
    VStr<31> inlineText(u"inline");
    VString fromInline(inlineText);
    EXPECT_NE(fromInline.GetCPointer(), inlineText.GetCPointer());
    EXPECT_EQ(Text(fromInline), u"inline");

    UniChar buffer[16] = u"caller";
    VString overBuffer(buffer, sizeof(buffer));
    EXPECT_EQ(overBuffer.GetLength(), 6);
    EXPECT_EQ(overBuffer.GetMaxLength(), 15);
    VString fromBuffer(overBuffer);
    EXPECT_NE(fromBuffer.GetCPointer(), buffer);
    EXPECT_EQ(Text(fromBuffer), u"caller");

    // Writes to a string over a caller's buffer go into that buffer while the text fits.
    overBuffer.AppendUniChars(u"s!", 2);
    EXPECT_EQ(overBuffer.GetCPointer(), buffer);
    EXPECT_EQ(std::u16string(buffer), u"callers!");
    overBuffer.AppendUniChars(u" and much more text", 19);
    EXPECT_NE(overBuffer.GetCPointer(), buffer);
    EXPECT_EQ(std::u16string(buffer), u"callers!");
    EXPECT_EQ(Text(overBuffer), u"callers! and much more text");
}

TEST(VString, CallerBufferConstructors)
{
    UniChar buffer[8] = u"abc";
    VString exact(buffer, size_t(-1));
    EXPECT_EQ(exact.GetMaxLength(), 3);

    VString withLength(buffer, 2, sizeof(buffer));
    EXPECT_EQ(withLength.GetLength(), 2);
    EXPECT_EQ(withLength.GetMaxLength(), 7);

    VString nullBuffer(nullptr, 5, 100);
    EXPECT_TRUE(nullBuffer.IsNull());
    EXPECT_EQ(nullBuffer.GetLength(), 0);

    // A size smaller than the text never gives a maximum length below the text.
    VString tooSmall(buffer, size_t(2));
    EXPECT_GE(tooSmall.GetMaxLength(), tooSmall.GetLength());
}

TEST(VString, NullStringsCopyAsNull)
{
    VString null(true);
    EXPECT_TRUE(null.IsNull());
    VString copy(null);
    EXPECT_TRUE(copy.IsNull());
    EXPECT_TRUE(copy.IsEmpty());

    VString target(u"text");
    target.FromString(null);
    EXPECT_TRUE(target.IsNull());
    EXPECT_TRUE(target.IsEmpty()); // made null, the string gives its text up

    VString moved(std::move(null));
    EXPECT_TRUE(moved.IsNull());

    VString assignedFromNull(u"x");
    VString anotherNull(true);
    assignedFromNull = std::move(anotherNull);
    EXPECT_TRUE(assignedFromNull.IsNull());
}

TEST(VString, MoveTakesTheBlockAndLeavesTheSourceEmpty)
{
    VString source(u"a text long enough for a heap block");
    const UniChar* block = source.GetCPointer();
    VString moved(std::move(source));
    EXPECT_EQ(moved.GetCPointer(), block);
    EXPECT_EQ(source.GetLength(), 0);
    EXPECT_EQ(source.GetMaxLength(), 0);

    VString target(u"something else entirely, also on the heap");
    target = std::move(moved);
    EXPECT_EQ(target.GetCPointer(), block);
    EXPECT_EQ(moved.GetLength(), 0);
}

TEST(VString, DecimalAppends)
{
    struct Case
    {
        int64_t fValue;
        const char16_t* fText;
    };
    const Case longs[] = {{0, u"0"}, {7, u"7"}, {-42, u"-42"}, {INT32_MAX, u"2147483647"}, {INT32_MIN, u"-2147483648"}};
    for (const Case& c : longs)
    {
        VString text(u"=");
        text.AppendLong(int32_t(c.fValue));
        EXPECT_EQ(Text(text), std::u16string(u"=") + c.fText);
    }
    VString long8;
    long8.AppendLong8(INT64_MIN);
    EXPECT_EQ(Text(long8), u"-9223372036854775808");
    VString ulong8;
    ulong8.AppendULong8(UINT64_MAX);
    EXPECT_EQ(Text(ulong8), u"18446744073709551615");

    VString real;
    real.AppendReal(0.5).AppendUniChar(u' ').AppendReal(1e20);
    EXPECT_EQ(Text(real), u"0.5 1E+20");
}

TEST(VString, CStringsAreAsciiOrMacRoman)
{
    VString ascii("plain");
    EXPECT_EQ(Text(ascii), u"plain");

    // One byte of 0x80 or more makes the whole text Mac Roman: the UTF-8 bytes C3 A9 stay two characters.
    VString macRoman("caf\xC3\xA9");
    EXPECT_EQ(Text(macRoman), u"caf\u221A\u00A9");

    VString appended(u"x");
    appended.AppendCString("\x80\xDB");
    EXPECT_EQ(Text(appended), u"x\u00C4\u20AC");
}

TEST(VString, WideTextEncodesSupplementaryCharactersAsPairs)
{
    VString wide(L"a\U0001F600b");
    EXPECT_EQ(Text(wide), u"a\U0001F600b");
    EXPECT_EQ(wide.GetLength(), 4);
}

// Cut to 16 bits, 0x110041 would read as "A": a value beyond Unicode becomes U+FFFD.
TEST(VString, WideValuesBeyondUnicodeBecomeReplacementCharacters)
{
    const wchar_t text[] = {wchar_t(0x110041), L'b', wchar_t(0x7FFF002F), wchar_t(-1), wchar_t(0x10FFFF), 0};
    VString wide(text);
    EXPECT_EQ(Text(wide), u"\uFFFDb\uFFFD\uFFFD\U0010FFFF");
}

class WideInline : public VString
{
public:
    WideInline(const wchar_t* inText) : VString(InlineBuffer{fUnits, 3}, inText) {}

private:
    UniChar fUnits[4];
};

TEST(VString, WideInlineConstructorCopiesAtMostTheCapacity)
{
    WideInline longer(L"abcdef");
    EXPECT_EQ(Text(longer), u"abc");
    WideInline shorter(L"ab");
    EXPECT_EQ(Text(shorter), u"ab");
}

// Three units of room: a pair goes in whole or not at all, and nothing becomes ASCII by a cut.
TEST(VString, WideInlineConstructorKeepsPairsWhole)
{
    struct Case
    {
        std::wstring fText;
        std::u16string fUnits;
    };
    const Case cases[] = {
        {L"a\U0001F600b", u"a\U0001F600"},
        {L"ab\U0001F600", u"ab"},
        {L"\U0001F600\U0001F601", u"\U0001F600"},
        {L"\U0010FFFFz", u"\U0010FFFFz"},
        {std::wstring{wchar_t(0x110041), wchar_t(0x80000041), L'c', L'd'}, u"\uFFFD\uFFFDc"},
    };
    for (const Case& wide : cases)
    {
        WideInline text(wide.fText.c_str());
        EXPECT_EQ(Text(text), wide.fUnits);
        EXPECT_EQ(text.GetCPointer()[text.GetLength()], 0);
    }
}

TEST(VString, FromBlockUtf16IgnoresAnOddByte)
{
    const UniChar units[] = {u'h', u'i', u'!'};
    VString text;
    EXPECT_EQ(text.FromBlock(units, 5, VTC_UTF_16), 5u);
    EXPECT_EQ(Text(text), u"hi");
}

TEST(VString, UnitAccessIsBoundedAndOneBased)
{
    VString text(u"abc");
    EXPECT_EQ(text.GetUniChar(1), u'a');
    EXPECT_EQ(text.GetUniChar(3), u'c');
    EXPECT_EQ(text.GetUniChar(0), 0);
    EXPECT_EQ(text.GetUniChar(4), 0);
    EXPECT_FALSE(text.SetUniChar(0, u'x'));
    EXPECT_FALSE(text.SetUniChar(4, u'x'));
    VString null(true);
    EXPECT_EQ(null.GetUniChar(1), 0);
}

TEST(VString, ValidateRefusesMoreThanTheMaximumLength)
{
    VStr<4> text(u"ab");
    EXPECT_FALSE(text.Validate(5));
    EXPECT_EQ(Text(text), u"ab");
    text.GetCPointerForWrite()[2] = u'c';
    EXPECT_TRUE(text.Validate(3));
    EXPECT_EQ(Text(text), u"abc");
}

TEST(VString, ANegativeCountRaises107AndChangesNothing)
{
    StErrorContextInstaller errors;
    VString text(u"keep");
    text.SetDirty(false);
    text.FromUniString(u"other", -1);
    EXPECT_EQ(errors.GetLastError(), VE_STRING_ALLOC_FAILED);
    EXPECT_EQ(Text(text), u"keep");
    EXPECT_FALSE(text.IsDirty());

    VString shared(u"a text long enough for a heap block");
    VString copy(shared);
    copy.FromUniString(u"other", -5);
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
    EXPECT_EQ(Text(copy), u"a text long enough for a heap block");
    EXPECT_EQ(copy.GetCPointer(), shared.GetCPointer());
}

TEST(VString, AppendingFromItsOwnBufferSurvivesReallocation)
{
    VString text(u"0123456789");
    text.AppendUniChars(text.GetCPointer(), text.GetLength());
    text.AppendUniChars(text.GetCPointer(), text.GetLength());
    EXPECT_EQ(Text(text), u"0123456789012345678901234567890123456789");
    text.FromUniString(text.GetCPointer() + 30, 10);
    EXPECT_EQ(Text(text), u"0123456789");
}

TEST(VString, InlineRecordsShareOrOnlyRefer)
{
    VString source(u"shared between a string and a record");
    VInlineString record;
    ASSERT_TRUE(record.InitWithString(source));
    EXPECT_EQ(record.fString, source.GetCPointer());

    VString sharing(record);
    EXPECT_EQ(sharing.GetCPointer(), record.fString);

    VString referring(record, true);
    EXPECT_EQ(referring.GetCPointer(), record.fString);
    // A string that only refers to a record's units never writes into them.
    referring.AppendUniChar(u'!');
    EXPECT_NE(referring.GetCPointer(), record.fString);
    EXPECT_EQ(Text(source), u"shared between a string and a record");
    record.Dispose();
    EXPECT_EQ(record.fString, nullptr);

    VInlineString fromInline;
    VStr<15> small(u"small");
    ASSERT_TRUE(fromInline.InitWithString(small));
    EXPECT_NE(fromInline.fString, small.GetCPointer());
    EXPECT_EQ(VString(fromInline).GetLength(), 5);
    fromInline.Dispose();

    VInlineString empty;
    EXPECT_TRUE(VString(empty).IsEmpty());
}

// A block of an odd number of units (a text of even length and 3) gets one more, so that the
// count after the terminator lies inside it; the sanitizer build sees any write past the block.
TEST(VString, ARecordBlockHoldsItsReferenceCountInside)
{
    for (const char16_t* text : {u"", u"ab", u"abcd", u"abcdefghij"})
    {
        VStr<15> source(text);
        VInlineString record;
        ASSERT_TRUE(record.InitWithString(source));
        EXPECT_EQ(record.fMaxLength, source.GetLength());
        {
            VString sharing(record);
            VString copy(sharing);
            copy.AppendUniChar(u'!');
            EXPECT_EQ(Text(sharing), text);
            EXPECT_EQ(Text(copy), std::u16string(text) + u"!");
        }
        EXPECT_EQ(Text(VString(record, true)), text);
        record.Dispose();
    }
}

TEST(VString, TruncateKeepsSurrogatePairsWholeWhenAsked)
{
    VString pair(u"a\U0001F600b");
    VString cut(pair);
    cut.Truncate(2, true);
    EXPECT_EQ(Text(cut), u"a");
    VString raw(pair);
    raw.Truncate(2, false);
    EXPECT_EQ(raw.GetLength(), 2);
    raw.Truncate(-5);
    EXPECT_TRUE(raw.IsEmpty());
    EXPECT_EQ(Text(pair), u"a\U0001F600b");
}

TEST(VString, ClearLeavesAnEmptyNotNullDirtyString)
{
    VString text(true);
    text.SetDirty(false);
    text.Clear();
    EXPECT_FALSE(text.IsNull());
    EXPECT_TRUE(text.IsDirty());
    EXPECT_TRUE(text.IsEmpty());

    VString shared(u"a text long enough for a heap block");
    VString copy(shared);
    copy.Clear();
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(Text(shared), u"a text long enough for a heap block");
}

TEST(VString, OsTypesReadMostSignificantByteFirst)
{
    VOsTypeString code(FourCharCode("kova"));
    EXPECT_EQ(Text(code), u"kova");
    VString appended;
    appended.AppendOsType(FourCharCode("UPQL"));
    EXPECT_EQ(Text(appended), u"UPQL");
}

TEST(VString, NewStringHoldsItsUnitsInline)
{
    VString* text = VString::NewString(20);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetMaxLength(), 20);
    EXPECT_EQ(text->GetInlineCapacity(), 20u);
    const UniChar* units = text->GetCPointer();
    text->AppendUniChars(u"twenty units exactly", 20);
    EXPECT_EQ(text->GetCPointer(), units);
    delete text;
}

TEST(VString, EmptyConstantAndUnitLength)
{
    EXPECT_TRUE(VString::sEmpty.IsEmpty());
    EXPECT_FALSE(VString::sEmpty.IsNull());
    EXPECT_EQ(VString::UniCStringLength(nullptr), 0);
    EXPECT_EQ(VString::UniCStringLength(u"four"), 4);
    EXPECT_TRUE(VString(u"x").IsStringValid());
}

TEST(VString, AppendsClearNullAndSetDirtyEvenWhenAddingNothing)
{
    VString text(true);
    text.SetDirty(false);
    text.AppendUniCString(nullptr);
    EXPECT_FALSE(text.IsNull());
    EXPECT_TRUE(text.IsDirty());
}

} // namespace
} // namespace kova
