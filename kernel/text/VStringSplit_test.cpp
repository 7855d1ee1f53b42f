#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VArrayString.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace kova
{
namespace
{

std::vector<std::u16string> Texts(const std::vector<VString>& inStrings)
{
    std::vector<std::u16string> texts;
    for (const VString& string : inStrings)
        texts.push_back(Text(string));
    return texts;
}

struct SubStringCase
{
    int32_t fStart;
    int32_t fCount;
    const char16_t* fExpected;
};

class VStringSubString : public testing::TestWithParam<SubStringCase>
{
};

TEST_P(VStringSubString, OfAbcdef)
{
    const SubStringCase& range = GetParam();
    const VString text(u"abcdef");
    VString out(u"previous text");
    out.SetDirty(false);
    text.GetSubString(range.fStart, range.fCount, out);
    EXPECT_EQ(Text(out), range.fExpected);
    EXPECT_FALSE(out.IsNull());
    EXPECT_TRUE(out.IsDirty());

    // In place: the same range kept.
    VString kept(text);
    kept.SubString(range.fStart, range.fCount);
    EXPECT_EQ(Text(kept), range.fExpected);
    EXPECT_EQ(Text(text), u"abcdef"); // the shared block is left to its other holder
}

INSTANTIATE_TEST_SUITE_P(Ranges, VStringSubString,
                         testing::Values(SubStringCase{2, 3, u"bcd"}, SubStringCase{5, 10, u"ef"},
                                         SubStringCase{1, 6, u"abcdef"}, SubStringCase{6, INT32_MAX, u"f"},
                                         SubStringCase{7, 1, u""}, SubStringCase{3, 0, u""},
                                         SubStringCase{7, 0, u""}, SubStringCase{0, 2, u""},
                                         SubStringCase{-5, 2, u""}, SubStringCase{2, -1, u""},
                                         SubStringCase{INT32_MAX, 0, u""}));

TEST(VStringSubString, IntoItselfAndOutOfANullString)
{
    VString text(u"abcdef");
    text.GetSubString(3, 2, text);
    EXPECT_EQ(Text(text), u"cd");

    VStr<15> inlineText(u"0123456789");
    inlineText.SubString(4, 3);
    EXPECT_EQ(Text(inlineText), u"345");

    VString null(true);
    VString out(u"x");
    null.GetSubString(1, 1, out);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(out.IsNull());
}

struct TrimCase
{
    const char16_t* fText;
    const char16_t* fExpected;
};

class VStringTrim : public testing::TestWithParam<TrimCase>
{
};

TEST_P(VStringTrim, OnlyTheUnit32)
{
    VString text(GetParam().fText);
    EXPECT_EQ(&text.TrimeSpaces(), &text);
    EXPECT_EQ(Text(text), GetParam().fExpected);
}

INSTANTIATE_TEST_SUITE_P(Texts, VStringTrim,
                         testing::Values(TrimCase{u"  a b ", u"a b"}, TrimCase{u"   ", u""},
                                         TrimCase{u"", u""}, TrimCase{u"\ta ", u"\ta"},
                                         TrimCase{u"a\n", u"a\n"}, TrimCase{u"ab", u"ab"},
                                         TrimCase{u" x", u"x"}));

TEST(VStringTrim, AnUntouchedTextKeepsItsFlagsAndSpacesOnlyClear)
{
    VString text(u"ab");
    text.SetDirty(false);
    text.TrimeSpaces();
    EXPECT_FALSE(text.IsDirty());

    VString spaces(u"  ");
    spaces.SetDirty(false);
    spaces.TrimeSpaces();
    EXPECT_TRUE(spaces.IsEmpty());
    EXPECT_TRUE(spaces.IsDirty());
}

struct SplitCase
{
    const char16_t* fText;
    bool fKeepEmpty;
    bool fTrim;
    std::vector<std::u16string> fExpected;
    bool fFound;
};

class VStringSplitOnUnit : public testing::TestWithParam<SplitCase>
{
};

TEST_P(VStringSplitOnUnit, Comma)
{
    const SplitCase& split = GetParam();
    std::vector<VString> pieces{VString(u"stale")};
    EXPECT_EQ(VString(split.fText).GetSubStrings(u',', pieces, split.fKeepEmpty, split.fTrim), split.fFound);
    EXPECT_EQ(Texts(pieces), split.fExpected);

    // The array form gives the same pieces.
    VArrayString array(3);
    EXPECT_EQ(VString(split.fText).GetSubStrings(u',', array, split.fKeepEmpty, split.fTrim), split.fFound);
    ASSERT_EQ(size_t(array.GetCount()), split.fExpected.size());
    for (int32_t i = 1; i <= array.GetCount(); ++i)
    {
        VString piece;
        array.GetString(piece, i);
        EXPECT_EQ(Text(piece), split.fExpected[size_t(i - 1)]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VStringSplitOnUnit,
    testing::Values(SplitCase{u"a,b,,c,", true, false, {u"a", u"b", u"", u"c", u""}, true},
                    SplitCase{u"a,b,,c,", false, false, {u"a", u"b", u"c"}, true},
                    SplitCase{u"abc", false, false, {u"abc"}, false},
                    SplitCase{u"", true, false, {u""}, false}, SplitCase{u"", false, false, {}, false},
                    SplitCase{u" a , b ", false, true, {u"a", u"b"}, true},
                    SplitCase{u" a , ,b", false, true, {u"a", u"b"}, true},
                    SplitCase{u" a , ,b", true, true, {u"a", u"", u"b"}, true},
                    SplitCase{u",", true, false, {u"", u""}, true}, SplitCase{u",", false, false, {}, true},
                    SplitCase{u",a", true, false, {u"", u"a"}, true},
                    SplitCase{u"   ", false, true, {}, false}));

class VStringSplitOnString : public testing::TestWithParam<SplitCase>
{
};

TEST_P(VStringSplitOnString, DoubleColon)
{
    const SplitCase& split = GetParam();
    std::vector<VString> pieces{VString(u"stale")};
    EXPECT_EQ(VString(split.fText).GetSubStrings(VString(u"::"), pieces, split.fKeepEmpty, split.fTrim, true),
              split.fFound);
    EXPECT_EQ(Texts(pieces), split.fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VStringSplitOnString,
    testing::Values(SplitCase{u"a::b", false, false, {u"a", u"b"}, true},
                    SplitCase{u"::a::::b::", true, false, {u"", u"a", u"", u"b", u""}, true},
                    SplitCase{u"::a::::b::", false, false, {u"a", u"b"}, true},
                    SplitCase{u" a :: b ", false, true, {u"a", u"b"}, true},
                    SplitCase{u"a:b", false, false, {u"a:b"}, false},
                    // Unlike the unit form, an empty text gives no piece even when empty ones are kept.
                    SplitCase{u"", true, false, {}, false}));

TEST(VStringSplitOnString, EmptySeparatorAndCollatedMatches)
{
    std::vector<VString> pieces;
    EXPECT_FALSE(VString(u"a::b").GetSubStrings(VString(), pieces, true, true));
    EXPECT_EQ(Texts(pieces), (std::vector<std::u16string>{u"a::b"}));

    // Without diacritics the collator matches other cases and accents.
    EXPECT_TRUE(VString(u"1x2X3\u00E9").GetSubStrings(VString(u"x"), pieces, false, false, false));
    EXPECT_EQ(Texts(pieces), (std::vector<std::u16string>{u"1", u"2", u"3\u00E9"}));
    EXPECT_TRUE(VString(u"aEbe").GetSubStrings(VString(u"\u00E9"), pieces, false, false, false));
    EXPECT_EQ(Texts(pieces), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_FALSE(VString(u"aEb").GetSubStrings(VString(u"e"), pieces, false, false, true));
    EXPECT_EQ(Texts(pieces), (std::vector<std::u16string>{u"aEb"}));
}

TEST(VStringJoin, WithUnitAndStringSeparators)
{
    const std::vector<VString> parts{VString(u"a"), VString(u"b"), VString(u"c")};
    VString joined(true);
    EXPECT_TRUE(joined.Join(parts, VString(u", ")));
    EXPECT_EQ(Text(joined), u"a, b, c");
    EXPECT_FALSE(joined.IsNull());
    EXPECT_TRUE(joined.Join(parts, u'/'));
    EXPECT_EQ(Text(joined), u"a/b/c");
    EXPECT_TRUE(joined.Join({VString(u"only")}, u'/'));
    EXPECT_EQ(Text(joined), u"only");
    EXPECT_TRUE(joined.Join({VString(), VString()}, VString()));
    EXPECT_EQ(Text(joined), u"");
    EXPECT_TRUE(joined.Join({}, u','));
    EXPECT_TRUE(joined.IsEmpty());

    // Split and join give the text back.
    std::vector<VString> pieces;
    VString(u"x,,y,").GetSubStrings(u',', pieces, true);
    EXPECT_TRUE(joined.Join(pieces, u','));
    EXPECT_EQ(Text(joined), u"x,,y,");
}

TEST(VStringJoin, ThisStringAmongItsSources)
{
    std::vector<VString> parts{VString(u"ab"), VString(u"cd")};
    parts[0].Join(parts, parts[0]);
    EXPECT_EQ(Text(parts[0]), u"ababcd");

    VStr<31> separator(u"-");
    separator.Join({VString(u"1"), VString(u"2")}, separator);
    EXPECT_EQ(Text(separator), u"1-2");

    VString shared(u"xy");
    VString copy(shared);
    shared.Join({copy, copy}, u'+');
    EXPECT_EQ(Text(shared), u"xy+xy");
    EXPECT_EQ(Text(copy), u"xy");
}

TEST(VStringJoin, TooLongRaises107AndKeepsTheText)
{
    // Caller's buffers that claim a billion units each: only their lengths are read.
    UniChar unit[2] = {u'a', 0};
    std::vector<VString> parts;
    parts.reserve(2);
    parts.emplace_back(unit, int32_t(1) << 30, sizeof(unit));
    parts.emplace_back(unit, int32_t(1) << 30, sizeof(unit));
    StErrorContextInstaller errors;
    VString joined(u"kept");
    EXPECT_FALSE(joined.Join(parts, VString()));
    EXPECT_EQ(errors.GetLastError(), VE_STRING_ALLOC_FAILED);
    EXPECT_EQ(Text(joined), u"kept");
}

TEST(VStringConcatenation, MakesANewStringAndLeavesBothAlone)
{
    const VString a(u"ab");
    const VString b(u"cd");
    VString sum = a + b;
    EXPECT_EQ(Text(sum), u"abcd");
    EXPECT_EQ(Text(a), u"ab");
    EXPECT_EQ(Text(b), u"cd");
    EXPECT_TRUE(sum.IsDirty());

    VString nullSum = VString(true) + VString();
    EXPECT_FALSE(nullSum.IsNull());
    EXPECT_TRUE(nullSum.IsEmpty());
}

} // namespace
} // namespace kova
