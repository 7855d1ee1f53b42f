#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <thread>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace kova
{
namespace
{

// A string's packed form (count, then units), placed at an odd address when asked: packed data
// carry no alignment.
class Packed
{
public:
    explicit Packed(std::u16string_view inText, bool inOdd = false)
    {
        fBytes.resize(1 + sizeof(uint32_t) + inText.size() * sizeof(UniChar));
        uint32_t count = uint32_t(inText.size());
        char* data = fBytes.data() + (inOdd ? 1 : 0);
        std::memcpy(data, &count, sizeof(count));
        std::memcpy(data + sizeof(count), inText.data(), inText.size() * sizeof(UniChar));
        fData = data;
    }
    operator const void*() const { return fData; }

private:
    std::vector<char> fBytes;
    const void* fData = nullptr;
};

// Takes the process's manager away for one scope. A thread without a task then has no manager
// at all (a task keeps the clone it was given).
class StNoIntlManager
{
public:
    StNoIntlManager() : fSaved(RetainRefCountable(VProcess::sInstance->GetIntlMgr()))
    {
        VProcess::sInstance->_SetIntlMgr(nullptr);
    }
    ~StNoIntlManager()
    {
        VProcess::sInstance->_SetIntlMgr(fSaved);
        ReleaseRefCountable(&fSaved);
    }
    StNoIntlManager(const StNoIntlManager&) = delete;
    StNoIntlManager& operator=(const StNoIntlManager&) = delete;

private:
    VIntlMgr* fSaved;
};

TEST(VStringCompare, ValueSlotsCollate)
{
    VString lower(u"a");
    VString upper(u"B");
    // Unit by unit "a" (0x61) would follow "B" (0x42).
    EXPECT_EQ(lower.CompareToSameKind(&upper, false), CR_SMALLER);
    EXPECT_EQ(lower.CompareToSameKind(&upper, true), CR_SMALLER);
    EXPECT_EQ(lower.CompareTo(upper, false), CR_SMALLER);
    EXPECT_EQ(lower.CompareToString(upper), CR_SMALLER);

    VString plain(u"resume");
    VString accented(u"R\u00e9sum\u00e9");
    EXPECT_EQ(plain.CompareToSameKind(&accented, false), CR_EQUAL);
    EXPECT_NE(plain.CompareToSameKind(&accented, true), CR_EQUAL);
    EXPECT_TRUE(plain.EqualToString(accented, false));
    EXPECT_FALSE(plain.EqualToString(accented, true));
    EXPECT_TRUE(plain.EqualToSameKindPtr(Packed(u"RESUME"), false));
    EXPECT_FALSE(plain.EqualToSameKindPtr(Packed(u"RESUME"), true));

    // A value of another kind compares by its text.
    EXPECT_EQ(VString(u"10").CompareTo(VLong(10), true), CR_EQUAL);
    EXPECT_EQ(VString(u"9").CompareTo(VLong(10), true), CR_BIGGER);
    // A null string compares as its text.
    VString null(true);
    EXPECT_EQ(null.CompareToSameKind(&VString::sEmpty, true), CR_EQUAL);
}

TEST(VStringCompare, BeginningFormsCutTheirOwnSide)
{
    VString abcdef(u"abcdef");
    VString abc(u"abc");
    VString ab(u"ab");
    // The plain beginning forms cut this text only: a shorter text is not a beginning.
    EXPECT_EQ(abcdef.CompareBeginingToSameKind(&abc, true), CR_EQUAL);
    EXPECT_EQ(ab.CompareBeginingToSameKind(&abc, true), CR_SMALLER);
    EXPECT_EQ(abcdef.CompareBeginingToSameKindPtr(Packed(u"abc"), true), CR_EQUAL);
    EXPECT_EQ(ab.CompareBeginingToSameKindPtr(Packed(u"abc"), true), CR_SMALLER);
    EXPECT_EQ(abcdef.CompareBeginingToSameKind_Like(&abc, true), CR_EQUAL);
    EXPECT_EQ(abcdef.CompareBeginingToSameKindPtr_Like(Packed(u"abc"), true), CR_EQUAL);
    // IsTheBegining cuts the packed side.
    EXPECT_EQ(abc.IsTheBeginingToSameKindPtr(Packed(u"abcdef"), true), CR_EQUAL);
    EXPECT_EQ(abcdef.IsTheBeginingToSameKindPtr(Packed(u"abc"), true), CR_BIGGER);
    EXPECT_EQ(abc.IsTheBeginingToSameKindPtr_Like(Packed(u"abcdef"), true), CR_EQUAL);

    // With options on packed data both sides are cut; on a value only this one.
    VCompareOptions beginning;
    beginning.SetBeginOnly(true);
    beginning.SetDiacritical(true);
    EXPECT_EQ(abcdef.CompareToSameKindPtrWithOptions(Packed(u"abc"), beginning), CR_EQUAL);
    EXPECT_EQ(ab.CompareToSameKindPtrWithOptions(Packed(u"abc"), beginning), CR_EQUAL);
    EXPECT_EQ(ab.Swap_CompareToSameKindPtrWithOptions(Packed(u"abc"), beginning), CR_EQUAL);
    EXPECT_EQ(abcdef.CompareToSameKindWithOptions(&abc, beginning), CR_EQUAL);
    EXPECT_EQ(ab.CompareToSameKindWithOptions(&abc, beginning), CR_SMALLER);
    // Equality ignores the beginning option.
    EXPECT_FALSE(abcdef.EqualToSameKindWithOptions(&abc, beginning));
    EXPECT_FALSE(abcdef.EqualToSameKindPtrWithOptions(Packed(u"abc"), beginning));
}

TEST(VStringCompare, SwapFormsPutThePackedTextFirst)
{
    VString b(u"b");
    EXPECT_EQ(b.CompareToSameKindPtr(Packed(u"a"), true), CR_BIGGER);
    EXPECT_EQ(b.Swap_CompareToSameKindPtr(Packed(u"a"), true), CR_SMALLER);
    // In the like forms the second text is the pattern.
    VString pattern(u"x@");
    EXPECT_EQ(pattern.Swap_CompareToSameKindPtr_Like(Packed(u"xyz"), true), CR_EQUAL);
    EXPECT_TRUE(pattern.Swap_EqualToSameKindPtr_Like(Packed(u"xyz"), true));
    EXPECT_FALSE(pattern.EqualToSameKindPtr_Like(Packed(u"xyz"), true));
    EXPECT_NE(pattern.CompareToSameKindPtr_Like(Packed(u"xyz"), true), CR_EQUAL);
}

TEST(VStringCompare, PatternsMatchThroughTheWildcard)
{
    VString text(u"ABCdef");
    VString prefix(u"abc@");
    EXPECT_EQ(text.CompareToSameKind_Like(&prefix, false), CR_EQUAL);
    EXPECT_NE(text.CompareToSameKind_Like(&prefix, true), CR_EQUAL);
    EXPECT_TRUE(text.EqualToString_Like(prefix));
    EXPECT_EQ(text.CompareToString_Like(VString(u"@DEF")), CR_EQUAL);
    EXPECT_NE(text.CompareToString_Like(VString(u"@DE")), CR_EQUAL);
    EXPECT_EQ(text.CompareToSameKindPtr_Like(Packed(u"@cd@"), false), CR_EQUAL);

    VCompareOptions like;
    like.SetLike(true);
    EXPECT_EQ(text.CompareToSameKindWithOptions(&prefix, like), CR_EQUAL);
    EXPECT_TRUE(text.EqualToSameKindWithOptions(&prefix, like));
    EXPECT_TRUE(text.EqualToSameKindPtrWithOptions(Packed(u"@DEF"), like));
    like.SetLike(false);
    EXPECT_FALSE(text.EqualToSameKindWithOptions(&prefix, like));
}

TEST(VStringCompare, OptionsUseTheirOwnManager)
{
    VRefPtr<VIntlMgr> manager(VIntlMgr::Create(1033, 1033, 1));
    ASSERT_NE(manager, nullptr);
    manager->GetCollator()->SetWildChar(u'*');
    VCompareOptions options;
    options.SetLike(true);
    options.SetIntlManager(manager.Get());

    VString text(u"abcdef");
    VString pattern(u"abc*");
    EXPECT_EQ(text.CompareToSameKindWithOptions(&pattern, options), CR_EQUAL);
    EXPECT_EQ(VString::sInfo.CompareTwoPtrToDataWithOptions(Packed(u"abcdef"), Packed(u"abc*"), options),
              CR_EQUAL);
    // For the calling task's manager the star is an ordinary character.
    EXPECT_NE(text.CompareToString_Like(pattern), CR_EQUAL);
}

TEST(VStringCompare, PackedDataOfTheKindDescriptor)
{
    const VString_info& info = VString::sInfo;
    EXPECT_EQ(info.CompareTwoPtrToData(Packed(u"a"), Packed(u"B"), true), CR_SMALLER);
    EXPECT_EQ(info.CompareTwoPtrToData(Packed(u"resume"), Packed(u"R\u00e9sum\u00e9", true), false),
              CR_EQUAL);
    EXPECT_EQ(info.CompareTwoPtrToData(Packed(u"", true), Packed(u""), true), CR_EQUAL);
    EXPECT_EQ(info.CompareTwoPtrToDataBegining(Packed(u"abcdef"), Packed(u"abc", true), true), CR_EQUAL);
    EXPECT_EQ(info.CompareTwoPtrToDataBegining(Packed(u"ab"), Packed(u"abc"), true), CR_SMALLER);
    EXPECT_EQ(info.CompareTwoPtrToData_Like(Packed(u"abcdef", true), Packed(u"@cd@"), true), CR_EQUAL);
    EXPECT_EQ(info.CompareTwoPtrToDataBegining_Like(Packed(u"abcdef"), Packed(u"abc"), true), CR_EQUAL);

    VCompareOptions beginning;
    beginning.SetBeginOnly(true);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(Packed(u"ab"), Packed(u"ABC"), beginning), CR_EQUAL);
    beginning.SetBeginOnly(false);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(Packed(u"ab"), Packed(u"ABC"), beginning), CR_SMALLER);
}

TEST(VStringCompare, WithoutAnyManagerUnitsCompareExactly)
{
    StNoIntlManager noManager;
    std::thread([] {
        ASSERT_EQ(VTask::GetCurrentIntlManager(), nullptr);
        VString lower(u"a");
        EXPECT_EQ(lower.CompareToString(VString(u"B")), CR_BIGGER);
        EXPECT_FALSE(lower.EqualToString(VString(u"A")));
        EXPECT_TRUE(VString(u"abcdef").EqualToString_Like(VString(u"abc@")));
        EXPECT_EQ(VString(u"xxabxx").Find(VString(u"ab")), 3);
        VString text(u"case");
        text.ToUpperCase();
        EXPECT_EQ(Text(text), u"CASE");
        text.ToLowerCase();
        EXPECT_EQ(Text(text), u"case");
    }).join();
}

struct RawCase
{
    const char16_t* fFirst;
    int32_t fFirstLength;
    const char16_t* fSecond;
    CompareResult fRaw;
    CompareResult fRawCase;
};

TEST(VStringCompare, RawOrderIsThatOfTheUnits)
{
    const RawCase cases[] = {
        {u"ab", 2, u"abc", CR_SMALLER, CR_SMALLER},
        {u"abc", 3, u"ab", CR_BIGGER, CR_BIGGER},
        {u"ABC", 3, u"abc", CR_SMALLER, CR_EQUAL},
        {u"a", 1, u"B", CR_BIGGER, CR_SMALLER},
        {u"\u00c9", 1, u"\u00e9", CR_SMALLER, CR_SMALLER},
        {u"\uffff", 1, u"a", CR_BIGGER, CR_BIGGER},
        {u"", 0, u"", CR_EQUAL, CR_EQUAL},
        // A unit 0 inside the text is a unit like any other.
        {u"a\0b", 3, u"a", CR_BIGGER, CR_BIGGER},
    };
    for (const RawCase& c : cases)
    {
        VString first(const_cast<UniChar*>(c.fFirst), c.fFirstLength, size_t(-1));
        VString second(c.fSecond);
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        EXPECT_EQ(first.CompareToStringRaw(second), c.fRaw);
        EXPECT_EQ(first.CompareToStringRawCase(second), c.fRawCase);
        EXPECT_EQ(first.EqualToStringRaw(second), c.fRaw == CR_EQUAL);
    }
}

TEST(VStringCompare, RawPrefixesSuffixesAndCStrings)
{
    VString abc(u"abc");
    EXPECT_TRUE(abc.EqualToUSASCIICString("abc"));
    EXPECT_FALSE(abc.EqualToUSASCIICString("ab"));
    EXPECT_FALSE(abc.EqualToUSASCIICString("abcd"));
    EXPECT_FALSE(abc.EqualToUSASCIICString("ABC"));
    EXPECT_FALSE(abc.EqualToUSASCIICString(nullptr));
    EXPECT_TRUE(VString().EqualToUSASCIICString(nullptr));
    EXPECT_TRUE(VString().EqualToUSASCIICString(""));
    // A unit 0 inside the text does not end it early.
    UniChar withZero[] = u"ab\0c";
    EXPECT_FALSE(VString(withZero, 4, size_t(-1)).EqualToUSASCIICString("ab"));
    // Bytes above 0x7F never stand for Latin-1 units.
    EXPECT_FALSE(VString(u"\u00e9").EqualToUSASCIICString("\xe9"));

    EXPECT_TRUE(abc.BeginsWithRawString(VString(u"ab")));
    EXPECT_TRUE(abc.BeginsWithRawString(VString()));
    EXPECT_FALSE(abc.BeginsWithRawString(VString(u"AB")));
    EXPECT_FALSE(abc.BeginsWithRawString(VString(u"abcd")));
    EXPECT_TRUE(abc.EndsWithRawString(VString(u"bc")));
    EXPECT_TRUE(abc.EndsWithRawString(abc));
    EXPECT_FALSE(abc.EndsWithRawString(VString(u"ab")));
    EXPECT_FALSE(abc.EndsWithRawString(VString(u"xabc")));
}

struct FindCase
{
    const char16_t* fText;
    const char16_t* fPattern;
    int32_t fStart;
    int32_t fFound;
};

TEST(VStringCompare, FindRawString)
{
    const FindCase cases[] = {
        {u"abcdef", u"", 3, 3},
        {u"abcdef", u"cd", 0, 0},
        {u"abcdef", u"cd", 1, 3},
        {u"abcdef", u"cd", 4, 0},
        {u"abcdef", u"", 7, 7},
        {u"abcdef", u"", 8, 0},
        {u"abcdef", u"ef", 5, 5},
        {u"abcdef", u"efg", 5, 0},
        {u"", u"", 1, 1},
        {u"", u"a", 1, 0},
        {u"abcdef", u"CD", 1, 0},
        // Partial matches that the failure table must step back over.
        {u"aabaabaaab", u"aabaaab", 1, 4},
        {u"abababca", u"ababca", 1, 3},
        {u"aaaa", u"aa", 2, 2},
    };
    for (const FindCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        EXPECT_EQ(VString(c.fText).FindRawString(VString(c.fPattern), c.fStart), c.fFound);
    }
    EXPECT_EQ(VString::FindRawString(u"abc", 3, u"", 0), 1);
    EXPECT_EQ(VString::FindRawString(u"", 0, u"", 0), 1);
    EXPECT_EQ(VString::FindRawString(nullptr, 5, u"a", 1), 0);
}

TEST(VStringCompare, LongPatternsAreFoundLikeShortOnes)
{
    // 300 units: the failure table no longer fits the stack.
    std::u16string pattern;
    for (int i = 0; i < 299; ++i)
        pattern += u'a';
    pattern += u'b';
    std::u16string text = u"x" + pattern.substr(0, 299) + pattern;
    VString haystack(text.c_str());
    EXPECT_EQ(haystack.FindRawString(VString(pattern.c_str()), 1), 301);
    EXPECT_EQ(haystack.FindRawString(VString(pattern.c_str()), 302), 0);
    EXPECT_EQ(VString(u"abcdefghij").FindRawString(VString(u"cdefghij"), 1), 3);
}

struct ExchangeCase
{
    const char16_t* fText;
    const char16_t* fPattern;
    const char16_t* fReplacement;
    int32_t fStart;
    int32_t fMaxCount;
    const char16_t* fExpected;
    int32_t fReplaced;
};

TEST(VStringCompare, ExchangeRawString)
{
    const ExchangeCase cases[] = {
        {u"banana", u"a", u"xyz", 1, INT32_MAX, u"bxyznxyznxyz", 3},
        {u"banana", u"a", u"xyz", 1, 2, u"bxyznxyzna", 2},
        {u"banana", u"ana", u"A", 1, INT32_MAX, u"bAna", 1},
        {u"banana", u"a", u"xy", 3, INT32_MAX, u"banxynxy", 2},
        {u"banana", u"an", u"AN", 1, INT32_MAX, u"bANANa", 2},
        {u"banana", u"an", u"", 1, INT32_MAX, u"ba", 2},
        {u"banana", u"a", u"", 1, 1, u"bnana", 1},
        {u"aaaa", u"aa", u"b", 1, INT32_MAX, u"bb", 2},
        {u"aaa", u"a", u"aa", 1, INT32_MAX, u"aaaaaa", 3},
        {u"banana", u"x", u"y", 1, INT32_MAX, u"banana", 0},
        {u"banana", u"", u"y", 1, INT32_MAX, u"banana", 0},
        {u"banana", u"a", u"y", 0, INT32_MAX, u"banana", 0},
        {u"banana", u"a", u"y", 8, INT32_MAX, u"banana", 0},
        {u"banana", u"a", u"y", 1, 0, u"banana", 0},
        {u"banana", u"banana", u"", 1, INT32_MAX, u"", 1},
    };
    for (const ExchangeCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        VString text(c.fText);
        VString copy(text);
        text.SetDirty(false);
        EXPECT_EQ(text.ExchangeRawString(VString(c.fPattern), VString(c.fReplacement), c.fStart, c.fMaxCount),
                  c.fReplaced);
        EXPECT_EQ(Text(text), c.fExpected);
        EXPECT_EQ(text.IsDirty(), c.fReplaced > 0);
        EXPECT_EQ(Text(copy), c.fText);
    }
}

TEST(VStringCompare, ExchangeReadsItsOwnTextBeforeWritingIt)
{
    VString text(u"abab");
    EXPECT_EQ(text.ExchangeRawString(text, VString(u"x")), 1);
    EXPECT_EQ(Text(text), u"x");

    VStr15 grow(u"ab");
    EXPECT_EQ(grow.ExchangeRawString(VString(u"b"), grow), 1);
    EXPECT_EQ(Text(grow), u"aab");
}

TEST(VStringCompare, ExchangeGrowsPastManyOccurrences)
{
    // More occurrences than the positions kept on the stack.
    std::u16string source(3000, u'a');
    source += u"end";
    VString text(source.c_str());
    EXPECT_EQ(text.ExchangeRawString(VString(u"a"), VString(u"xy")), 3000);
    std::u16string expected;
    for (int i = 0; i < 3000; ++i)
        expected += u"xy";
    expected += u"end";
    EXPECT_EQ(Text(text), expected);
}

TEST(VStringCompare, BeforeAndAfter)
{
    VString text(u"a text long enough for a heap block");
    const int32_t length = text.GetLength();
    EXPECT_TRUE(text.Before(1).IsEmpty());
    EXPECT_TRUE(text.Before(-3).IsEmpty());
    EXPECT_EQ(Text(text.Before(3)), u"a ");
    EXPECT_EQ(text.Before(length + 1).GetCPointer(), text.GetCPointer()); // shares the block
    EXPECT_EQ(Text(text.Before(length)), Text(text).substr(0, size_t(length) - 1));
    EXPECT_TRUE(text.After(length).IsEmpty());
    EXPECT_EQ(Text(text.After(length - 2)), u"ck");
    EXPECT_EQ(text.After(0).GetCPointer(), text.GetCPointer());

    VString null(true);
    EXPECT_FALSE(null.Before(5).IsNull());
    EXPECT_FALSE(null.After(0).IsNull());
}

} // namespace
} // namespace kova
