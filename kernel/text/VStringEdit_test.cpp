#include "kernel/text/VString.h"

#include "kernel/tasks/VTask.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VMemoryBuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace kova
{
namespace
{

struct ReplaceCase
{
    const char16_t* fText;
    int32_t fStart;
    int32_t fCount;
    const char16_t* fExpected;
};

class VStringReplace : public testing::TestWithParam<ReplaceCase>
{
};

TEST_P(VStringReplace, OnAbcde)
{
    const ReplaceCase& replace = GetParam();
    VString text(u"abcde");
    text.Replace(VString(replace.fText), replace.fStart, replace.fCount);
    EXPECT_EQ(Text(text), replace.fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, VStringReplace,
    testing::Values(ReplaceCase{u"XY", 2, 2, u"aXYde"}, ReplaceCase{u"XY", 4, 5, u"abcXY"},
                    ReplaceCase{u"XY", 6, 1, u"abcde"}, ReplaceCase{u"XY", 0, 2, u"abcde"},
                    ReplaceCase{u"XY", 2, 0, u"abcde"}, ReplaceCase{u"XY", 2, -1, u"abcde"},
                    // Shorter, longer and empty replacements move the tail.
                    ReplaceCase{u"1234", 2, 1, u"a1234cde"}, ReplaceCase{u"", 2, 2, u"ade"},
                    ReplaceCase{u"Z", 1, 5, u"Z"}, ReplaceCase{u"Z", 5, 1, u"abcdZ"},
                    // The end of the range overflows 32 bits: the whole tail goes.
                    ReplaceCase{u"Z", 3, INT32_MAX, u"abZ"}));

struct RemoveCase
{
    int32_t fStart;
    int32_t fCount;
    const char16_t* fExpected;
};

class VStringRemove : public testing::TestWithParam<RemoveCase>
{
};

TEST_P(VStringRemove, OnAbcde)
{
    const RemoveCase& remove = GetParam();
    VString text(u"abcde");
    text.Remove(remove.fStart, remove.fCount);
    EXPECT_EQ(Text(text), remove.fExpected);
}

INSTANTIATE_TEST_SUITE_P(Ranges, VStringRemove,
                         testing::Values(RemoveCase{2, 10, u"a"}, RemoveCase{6, 1, u"abcde"},
                                         RemoveCase{2, 3, u"ae"}, RemoveCase{1, 5, u""},
                                         RemoveCase{0, 1, u"abcde"}, RemoveCase{2, -1, u"abcde"},
                                         RemoveCase{2, 0, u"abcde"}, RemoveCase{3, INT32_MAX, u"ab"}));

TEST(VStringEditing, EditsLeaveSharersUntouched)
{
    VString original(u"abcdefghijklmnopqrstuvwxyz");
    VString shared(original);
    shared.Replace(VString(u"--"), 2, 20);
    EXPECT_EQ(Text(shared), u"a--vwxyz");
    EXPECT_EQ(Text(original), u"abcdefghijklmnopqrstuvwxyz");

    VString other(original);
    other.Remove(1, 25);
    EXPECT_EQ(Text(other), u"z");
    EXPECT_EQ(Text(original), u"abcdefghijklmnopqrstuvwxyz");
}

TEST(VStringEditing, ReplaceWithItselfCopiesTheTextFirst)
{
    VString text(u"abcde");
    text.Replace(text, 2, 1);
    EXPECT_EQ(Text(text), u"aabcdecde");

    VStr15 inlineText(u"xyz");
    inlineText.Replace(inlineText, 3, 1);
    EXPECT_EQ(Text(inlineText), u"xyxyz");
}

TEST(VStringEditing, GrowsPastTheInlineCapacity)
{
    VStr4 text(u"abcd");
    text.Replace(VString(u"0123456789"), 2, 1);
    EXPECT_EQ(Text(text), u"a0123456789cd");
}

TEST(VStringEditing, EditsMarkTheStringChangedEvenForAnEmptyRemoval)
{
    VString text(u"abc");
    text.SetDirty(false);
    text.Remove(2, 0);
    EXPECT_TRUE(text.IsDirty());
    EXPECT_EQ(Text(text), u"abc");

    text.SetDirty(false);
    text.Replace(VString(u"x"), 4, 1);
    EXPECT_FALSE(text.IsDirty());
}

TEST(VStringEditing, InsertUnitsAndTexts)
{
    VString text(u"abc");
    text.Insert(u'Z', 10);
    EXPECT_EQ(Text(text), u"abcZ");
    text.Insert(u'0', 1);
    EXPECT_EQ(Text(text), u"0abcZ");
    text.Insert(UniChar(0), 2);
    text.Insert(u'x', 0);
    EXPECT_EQ(Text(text), u"0abcZ");

    VString words(u"ad");
    words.Insert(VString(u"bc"), 2);
    EXPECT_EQ(Text(words), u"abcd");
    words.Insert(VString(u"!"), 5);
    EXPECT_EQ(Text(words), u"abcd!");
    words.Insert(words, 1);
    EXPECT_EQ(Text(words), u"abcd!abcd!");
    words.SetDirty(false);
    words.Insert(VString(), 3);
    EXPECT_TRUE(words.IsDirty());
    EXPECT_EQ(Text(words), u"abcd!abcd!");

    VString shared(words);
    words.Insert(u'-', 6);
    EXPECT_EQ(Text(words), u"abcd!-abcd!");
    EXPECT_EQ(Text(shared), u"abcd!abcd!");
}

TEST(VStringEditing, TruncateKeepsFlagsAndOtherHolders)
{
    VString pair(u"ab\U0001F600");
    pair.SetDirty(false);
    VString cut(pair);
    cut.SetDirty(false);
    cut.Truncate(3, true);
    EXPECT_EQ(Text(cut), u"ab");
    EXPECT_FALSE(cut.IsDirty());
    VString raw(pair);
    raw.Truncate(3, false);
    EXPECT_EQ(raw.GetLength(), 3);
    EXPECT_EQ(Text(pair), u"ab\U0001F600");

    // Units referred to from a record are never written: the cut text gets its own buffer.
    VString source(u"a text long enough for a heap block");
    VInlineString record;
    ASSERT_TRUE(record.InitWithString(source));
    {
        VString referring(record, true);
        referring.Truncate(6);
        EXPECT_EQ(Text(referring), u"a text");
    }
    EXPECT_EQ(Text(VString(record, true)), u"a text long enough for a heap block");
    record.Dispose();

    // A block far larger than the text is given back.
    VString large;
    large.EnsureSize(4000);
    large.AppendUniChars(std::u16string(4000, u'x').c_str(), 4000);
    large.Truncate(10);
    EXPECT_EQ(large.GetLength(), 10);
    EXPECT_LT(large.GetMaxLength(), 100);
}

TEST(VStringEditing, SwapBetweenInlineAndHeapBuffers)
{
    // Both inline: units exchanged, the flags stay; the small one moves to a block.
    VStr4 small(u"ab");
    VStr15 medium(u"fifteen units!!");
    small.SetDirty(false);
    small.Swap(medium);
    EXPECT_EQ(Text(small), u"fifteen units!!");
    EXPECT_EQ(Text(medium), u"ab");
    EXPECT_FALSE(small.IsDirty());

    // One inline: the heap block is handed over, the inline text copied.
    VStr15 onStack(u"short");
    VString onHeap(u"a text long enough for a heap block");
    const UniChar* block = onHeap.GetCPointer();
    onStack.SetDirty(false);
    onHeap.SetDirty(false);
    onStack.Swap(onHeap);
    EXPECT_EQ(Text(onStack), u"a text long enough for a heap block");
    EXPECT_EQ(onStack.GetCPointer(), block);
    EXPECT_EQ(Text(onHeap), u"short");
    EXPECT_TRUE(onStack.IsDirty());
    EXPECT_TRUE(onHeap.IsDirty());
    onHeap.Swap(onStack);
    EXPECT_EQ(onHeap.GetCPointer(), block);
    EXPECT_EQ(Text(onStack), u"short");

    // Both on heap blocks: the blocks change hands.
    VString first(u"the first text on a heap block");
    VString second(u"the second text on a heap block");
    const UniChar* firstBlock = first.GetCPointer();
    first.Swap(second);
    EXPECT_EQ(Text(first), u"the second text on a heap block");
    EXPECT_EQ(second.GetCPointer(), firstBlock);
    first.Swap(first);
    EXPECT_EQ(Text(first), u"the second text on a heap block");
}

struct PatternExchangeCase
{
    const char16_t* fText;
    const char16_t* fPattern;
    const char16_t* fReplacement;
    int32_t fStart;
    int32_t fMaxCount;
    bool fDiacritical;
    const char16_t* fExpected;
};

TEST(VStringEditing, ExchangeThroughTheCollator)
{
    const PatternExchangeCase cases[] = {
        {u"aaa", u"a", u"bb", 1, 2, true, u"bbbba"},
        {u"aXaXa", u"a", u"bb", 3, 5, true, u"aXbbXbb"},
        {u"Hello HELLO h\u00e9llo", u"hello", u"bye", 1, INT32_MAX, false, u"bye bye bye"},
        {u"Hello HELLO hello", u"hello", u"bye", 1, INT32_MAX, true, u"Hello HELLO bye"},
        // The match may be longer than the pattern: the decomposed accent is two units.
        {u"cafe\u0301!", u"caf\u00e9", u"X", 1, INT32_MAX, true, u"X!"},
        {u"aaa", u"a", u"bb", 1, 0, true, u"aaa"},
        {u"aaa", u"", u"bb", 1, INT32_MAX, true, u"aaa"},
        {u"aaa", u"a", u"bb", 0, INT32_MAX, true, u"aaa"},
        {u"aaa", u"x", u"bb", 1, INT32_MAX, true, u"aaa"},
        {u"abab", u"ab", u"", 1, INT32_MAX, true, u""},
    };
    for (const PatternExchangeCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        VString text(c.fText);
        VString copy(text);
        text.Exchange(VString(c.fPattern), VString(c.fReplacement), c.fStart, c.fMaxCount, c.fDiacritical);
        EXPECT_EQ(Text(text), c.fExpected);
        EXPECT_EQ(Text(copy), c.fText);
    }

    VString text(u"one two one");
    text.SetDirty(false);
    text.Exchange(text.Before(4), VString(u"1"), 1, INT32_MAX, true,
                  VTask::GetCurrentIntlManager()->GetCollator());
    EXPECT_EQ(Text(text), u"1 two 1");
    EXPECT_TRUE(text.IsDirty());
    text.Exchange(VString(u"two"), text);
    EXPECT_EQ(Text(text), u"1 1 two 1 1");
}

TEST(VStringEditing, ExchangeOneUnit)
{
    VString text(u"aaa");
    VString copy(text);
    text.SetDirty(false);
    text.Exchange(u'a', u'b', 2, 10);
    EXPECT_EQ(Text(text), u"abb");
    EXPECT_FALSE(text.IsDirty());
    EXPECT_EQ(Text(copy), u"aaa");
    text.Exchange(u'b', u'c', 1, 1);
    EXPECT_EQ(Text(text), u"acb");
    text.Exchange(u'a', u'z', 0, 10);
    text.Exchange(u'a', u'z', 1, 0);
    EXPECT_EQ(Text(text), u"acb");
}

TEST(VStringEditing, CollatedSearches)
{
    VString text(u"abcabc");
    EXPECT_EQ(text.Find(VString(u"c"), 2), 3);
    EXPECT_EQ(text.Find(VString(u"C"), 4, false), 6);
    EXPECT_EQ(text.Find(VString(u"C"), 1, true), 0);
    EXPECT_EQ(text.Find(VString(u"c"), 0), 0);
    EXPECT_EQ(text.Find(VString(u"c"), 8), 0);
    EXPECT_EQ(text.Find(VString(u"x"), 1), 0);

    VString mixed(u"ABCdef");
    EXPECT_TRUE(mixed.BeginsWith(VString(u"abc")));
    EXPECT_FALSE(mixed.BeginsWith(VString(u"abc"), true));
    EXPECT_FALSE(mixed.BeginsWith(VString(u"bc")));
    EXPECT_FALSE(VString(u"abc").BeginsWith(VString(u"abcd")));
    EXPECT_TRUE(VString(u"R\u00e9sum\u00e9 and more").BeginsWith(VString(u"resume")));
    EXPECT_TRUE(mixed.EndsWith(VString(u"DEF")));
    EXPECT_FALSE(mixed.EndsWith(VString(u"DEF"), true));
    EXPECT_FALSE(mixed.EndsWith(VString(u"de")));

    EXPECT_EQ(VString(u"apple").CompareToString(VString(u"Banana")), CR_SMALLER);
    EXPECT_EQ(VString(u"apple").CompareToString(VString(u"APPLE")), CR_EQUAL);
    EXPECT_EQ(VString(u"apple").CompareToString_Like(VString(u"A@")), CR_EQUAL);
}

struct UnitSearchCase
{
    const char16_t* fText;
    UniChar fUnit;
    int32_t fStart;
    bool fBackwards;
    int32_t fFound;
};

TEST(VStringEditing, FindUniChar)
{
    const UnitSearchCase cases[] = {
        {u"abab", u'a', 3, true, 3},  {u"ab", u'b', 1, true, 0},    {u"abab", u'b', 1, false, 2},
        {u"abab", u'b', 3, false, 4}, {u"abab", u'b', 5, false, 0}, {u"abab", u'a', -2, false, 1},
        {u"abab", u'b', 4, true, 4},  {u"", u'a', 1, false, 0},     {u"abab", u'x', 1, false, 0},
    };
    for (const UnitSearchCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        EXPECT_EQ(VString(c.fText).FindUniChar(c.fUnit, c.fStart, c.fBackwards), c.fFound);
    }
}

TEST(VStringEditing, SimilarityIsMeasuredAgainstThisString)
{
    EXPECT_DOUBLE_EQ(VString(u"abcd").SimilarToString(VString(u"abc")), 0.75);
    EXPECT_DOUBLE_EQ(VString(u"abc").SimilarToString(VString(u"abcd")), 1.0);
    EXPECT_DOUBLE_EQ(VString(u"kitten").SimilarToString(VString(u"sitting")), 4.0 / 6.0);
    EXPECT_DOUBLE_EQ(VString(u"abcd").SimilarToString(VString()), 0.0);
    EXPECT_DOUBLE_EQ(VString().SimilarToString(VString(u"abc")), 0.0);
    EXPECT_DOUBLE_EQ(VString(u"same").SimilarToString(VString(u"same")), 1.0);
}

TEST(VStringEditing, CaseMappingAndNormalization)
{
    VString text(u"stra\u00dfe \u00e0 b");
    text.ToUpperCase();
    EXPECT_EQ(Text(text), u"STRASSE \u00c0 B");
    text.ToLowerCase(true);
    EXPECT_EQ(Text(text), u"strasse \u00e0 b");
    VString accent(u"e\u0301");
    accent.Decompose();
    accent.Compose();
    EXPECT_EQ(Text(accent), u"e\u0301");
}

struct WhiteCase
{
    const char16_t* fText;
    bool fLeading;
    bool fTrailing;
    bool fWithIntlMgr;
    const char16_t* fExpected;
    int32_t fLeadingCount;
    int32_t fTrailingCount;
};

TEST(VStringEditing, RemoveWhiteSpaces)
{
    const WhiteCase cases[] = {
        {u" \tab \t", true, true, false, u"ab", 2, 2},
        {u"   ", true, true, false, u"", 3, 0},
        {u"   ", false, true, false, u"", 0, 3},
        {u" a ", true, false, false, u"a ", 1, 0},
        {u"", true, true, false, u"", 0, 0},
        {u"a b", true, true, false, u"a b", 0, 0},
        // The manager's spaces: no-break space is one, tab is not.
        {u"\u00a0a\t", true, true, true, u"a\t", 1, 0},
        {u"\u3000a\u2003", true, true, true, u"a", 1, 1},
        // A high surrogate left last by the cut goes too, uncounted.
        {u"a\xd83d ", false, true, false, u"a", 0, 1},
    };
    for (const WhiteCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        VString text(c.fText);
        int32_t leading = -1;
        int32_t trailing = -1;
        text.RemoveWhiteSpaces(c.fLeading, c.fTrailing, &leading, &trailing,
                               c.fWithIntlMgr ? VTask::GetCurrentIntlManager() : nullptr, false);
        EXPECT_EQ(Text(text), c.fExpected);
        EXPECT_EQ(leading, c.fLeadingCount);
        EXPECT_EQ(trailing, c.fTrailingCount);
    }
    VString text(u" x ");
    text.RemoveWhiteSpaces();
    EXPECT_EQ(Text(text), u"x");
}

TEST(VStringEditing, GetCarriageReturnMode)
{
    const std::pair<const char16_t*, ECarriageReturnMode> cases[] = {
        {u"a\rb\nc", eCRM_CR}, {u"a\r\n", eCRM_CRLF}, {u"a\nb\r", eCRM_LF},
        {u"a\r", eCRM_CR},     {u"abc", eCRM_NONE},   {u"", eCRM_NONE},
    };
    for (const auto& [text, mode] : cases)
        EXPECT_EQ(VString(text).GetCarriageReturnMode(eCRM_NONE), mode);
    EXPECT_EQ(VString(u"abc").GetCarriageReturnMode(eCRM_CRLF), eCRM_CRLF);
}

struct LineEndCase
{
    const char16_t* fText;
    ECarriageReturnMode fMode;
    const char16_t* fExpected;
};

TEST(VStringEditing, ConvertCarriageReturnsOfStrings)
{
    const LineEndCase cases[] = {
        {u"a\rb\nc\r\nd", eCRM_CRLF, u"a\r\nb\r\nc\r\nd"},
        {u"a\r\nb\rc", eCRM_LF, u"a\nb\nc"},
        {u"a\r\nb\nc", eCRM_CR, u"a\rb\rc"},
        {u"\n\r\r\n\n", eCRM_CRLF, u"\r\n\r\n\r\n\r\n"},
        {u"\n\r\r\n\n", eCRM_LF, u"\n\n\n\n"},
        {u"a\rb\nc", eCRM_NONE, u"a\rb\nc"},
        {u"no line end", eCRM_CRLF, u"no line end"},
        {u"", eCRM_CR, u""},
    };
    for (const LineEndCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        VStr4 small(c.fText);
        VString text(c.fText);
        VString copy(text);
        text.SetDirty(false);
        EXPECT_TRUE(text.ConvertCarriageReturns(c.fMode));
        EXPECT_TRUE(small.ConvertCarriageReturns(c.fMode));
        EXPECT_EQ(Text(text), c.fExpected);
        EXPECT_EQ(Text(small), c.fExpected);
        EXPECT_FALSE(text.IsDirty());
        EXPECT_EQ(Text(copy), c.fText);
    }
}

TEST(VStringEditing, LineEndCoreConvertsWhatFitsAndTellsWhatIsNeeded)
{
    UniChar units[8] = {u'a', u'\r', u'b', u'\n', u'c'};
    size_t needed = 0;
    // Room for one more unit: only the first lone line end is expanded.
    size_t count = _ConvertCarriageReturns(units, 5, 6, eCRM_CRLF, &needed);
    EXPECT_EQ(needed, 7u);
    EXPECT_EQ(std::u16string(units, count), u"a\r\nb\nc");
    count = _ConvertCarriageReturns(units, count, 8, eCRM_CRLF, &needed);
    EXPECT_EQ(needed, 7u);
    EXPECT_EQ(std::u16string(units, count), u"a\r\nb\r\nc");

    // Every unit value survives, 0 and U+FFFF included.
    UniChar odd[6] = {0xFFFF, 0, u'\r', 0xFFFF};
    count = _ConvertCarriageReturns(odd, 4, 6, eCRM_CRLF, nullptr);
    EXPECT_EQ(std::u16string(odd, count), std::u16string(u"\uffff\0\r\n\uffff", 5));

    uint32_t wide[3] = {'\n', 0x1F600, '\r'};
    EXPECT_EQ(_ConvertCarriageReturns(wide, 3, 3, eCRM_LF, &needed), 3u);
    EXPECT_EQ(wide[2], uint32_t('\n'));
    uint8_t bytes[4] = {'x', '\r', '\n', 'y'};
    EXPECT_EQ(_ConvertCarriageReturns(bytes, 4, 4, eCRM_CR, &needed), 3u);
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(std::memcmp(bytes, "x\ry", 3), 0);
    EXPECT_EQ(_ConvertCarriageReturns(bytes, 0, 4, eCRM_CRLF, &needed), 0u);
    EXPECT_EQ(needed, 0u);
}

using ByteBuffer = VMemoryBuffer<1024ul, 2ul, 1048576ul>;

std::string Convert(const std::string& inBytes, CharSet inCharSet, ECarriageReturnMode inMode)
{
    ByteBuffer buffer;
    EXPECT_TRUE(buffer._EnlargeAmortized(inBytes.size()));
    std::memcpy(buffer.GetDataPtr(), inBytes.data(), inBytes.size());
    buffer.SetDataSize(inBytes.size());
    EXPECT_TRUE(VString::ConvertCarriageReturns(buffer, inCharSet, inMode));
    return std::string(static_cast<const char*>(buffer.GetDataPtr()), buffer.GetDataSize());
}

TEST(VStringEditing, ConvertCarriageReturnsOfEncodedBytes)
{
    using namespace std::string_literals;
    EXPECT_EQ(Convert("a\r\nb\rc", VTC_UTF_8, eCRM_CRLF), "a\r\nb\r\nc");
    EXPECT_EQ(Convert("a\r\nb\rc", VTC_UNKNOWN, eCRM_LF), "a\r\nb\rc");
    // A long text grows the buffer past its first allocation.
    std::string lines(3000, '\n');
    EXPECT_EQ(Convert(lines, VTC_ISO_8859_1, eCRM_CRLF).size(), 6000u);

    // UTF-16 by units: c with caron (U+010D) holds the byte 0x0D and stays whole.
    EXPECT_EQ(Convert("\x0d\x01\x0a\x00"s, VTC_UTF_16, eCRM_CRLF), "\x0d\x01\x0d\x00\x0a\x00"s);
    EXPECT_EQ(Convert("\x01\x0d\x00\x0a"s, VTC_UTF_16_BIGENDIAN, eCRM_CRLF), "\x01\x0d\x00\x0d\x00\x0a"s);
    EXPECT_EQ(Convert("\x00\x0d\x00\x0a\x01\x0d"s, VTC_UTF_16_BIGENDIAN, eCRM_LF), "\x00\x0a\x01\x0d"s);
    // A last, incomplete unit stays last.
    EXPECT_EQ(Convert("\x0a\x00\x41"s, VTC_UTF_16, eCRM_CRLF), "\x0d\x00\x0a\x00\x41"s);

    EXPECT_EQ(Convert("\x0d\x00\x00\x00\x0d\x01\x00\x00"s, VTC_UTF_32, eCRM_LF),
              "\x0a\x00\x00\x00\x0d\x01\x00\x00"s);
    EXPECT_EQ(Convert("\x00\x00\x00\x0d"s, VTC_UTF_32_BIGENDIAN, eCRM_CRLF),
              "\x00\x00\x00\x0d\x00\x00\x00\x0a"s);
    EXPECT_EQ(Convert("\x0a\x00\x00\x00"s, VTC_UTF_32_RAW, eCRM_CR), "\x0d\x00\x00\x00"s);
    EXPECT_EQ(Convert("\x00\x00\x00\x0a"s, VTC_UTF_32_RAW_SWAPPED, eCRM_CR), "\x00\x00\x00\x0d"s);
}

} // namespace
} // namespace kova
