#include "kernel/text/VCollator.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VCollator_system.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

class VCollatorTest : public testing::Test
{
protected:
    static VRefPtr<VCollator> Make(uint32_t inDialect)
    {
        return VRefPtr<VCollator>(VCollator_system::Create(inDialect, nullptr));
    }

    int32_t Compare(std::u16string_view a, std::u16string_view b, bool strict) const
    {
        return fCollator->CompareString(a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), strict);
    }
    int32_t Find(std::u16string_view text, std::u16string_view pattern, bool strict, int32_t* matched) const
    {
        return fCollator->FindString(text.data(), int32_t(text.size()), pattern.data(),
                                     int32_t(pattern.size()), strict, matched);
    }
    bool Like(std::u16string_view text, std::u16string_view pattern, bool strict) const
    {
        const bool slow = fCollator->CompareString_Like(text.data(), int32_t(text.size()), pattern.data(),
                                                        int32_t(pattern.size()), strict) == 0;
        const bool fast = fCollator->EqualString_Like(text.data(), int32_t(text.size()), pattern.data(),
                                                      int32_t(pattern.size()), strict);
        EXPECT_EQ(slow, fast) << "the fast matcher and the full one disagree";
        return fast;
    }

    VRefPtr<VCollator> fCollator = Make(1033);
};

TEST_F(VCollatorTest, StrictWeighsCaseAndDiacriticsLooseNeither)
{
    ASSERT_NE(fCollator, nullptr);
    EXPECT_EQ(fCollator->GetDialect(), 1033u);
    EXPECT_EQ(fCollator->GetOptions(), 1);
    EXPECT_EQ(fCollator->GetWildChar(), u'@');

    EXPECT_EQ(Compare(u"resume", u"R\u00e9sum\u00e9", false), 0);
    EXPECT_NE(Compare(u"resume", u"R\u00e9sum\u00e9", true), 0);
    EXPECT_NE(Compare(u"abc", u"ABC", true), 0);
    EXPECT_EQ(Compare(u"abc", u"ABC", false), 0);
    // Decomposed and precomposed accents are the same text.
    EXPECT_EQ(Compare(u"e\u0301", u"\u00e9", true), 0);
    // Width counts in neither mode.
    EXPECT_EQ(Compare(u"\uff21\uff22\uff23", u"ABC", true), 0);
    EXPECT_EQ(Compare(u"\uff21\uff22\uff23", u"abc", false), 0);
    EXPECT_EQ(Compare(u"apple", u"banana", true), -1);
    EXPECT_EQ(Compare(u"banana", u"Apple", false), 1);
    // Strict equality is not the units': case orders after letters.
    EXPECT_EQ(Compare(u"a", u"B", true), -1);
}

TEST_F(VCollatorTest, EmptyAndBrokenTexts)
{
    EXPECT_EQ(Compare(u"", u"", true), 0);
    EXPECT_EQ(Compare(u"", u"a", true), -1);
    EXPECT_EQ(Compare(u"a", u"", true), 1);
    const UniChar text[] = u"abc";
    EXPECT_EQ(fCollator->CompareString(text, -4, nullptr, 3, true), 0);
    EXPECT_TRUE(fCollator->EqualString(nullptr, 2, text, 0, false));

    int32_t matched = 9;
    EXPECT_EQ(Find(u"abc", u"", true, &matched), 1);
    EXPECT_EQ(matched, 0);
    matched = 9;
    EXPECT_EQ(Find(u"", u"", true, &matched), 0);
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(Find(u"", u"a", true, &matched), 0);
    EXPECT_EQ(fCollator->FindString(text, 3, text, -1, true, nullptr), 1);
    EXPECT_EQ(fCollator->ReversedFindString(text, 3, nullptr, 2, true, &matched), 1);
    EXPECT_EQ(matched, 0);
}

TEST_F(VCollatorTest, SearchesGiveTheLengthMatchedInTheText)
{
    int32_t matched = 0;
    EXPECT_EQ(Find(u"Le R\u00e9sum\u00e9", u"resume", false, &matched), 4);
    EXPECT_EQ(matched, 6);
    EXPECT_EQ(Find(u"Le R\u00e9sum\u00e9", u"resume", true, &matched), 0);
    EXPECT_EQ(matched, 0);
    // A decomposed accent is two units of the text.
    EXPECT_EQ(Find(u"cafe\u0301!", u"caf\u00e9", true, &matched), 1);
    EXPECT_EQ(matched, 5);

    const UniChar abcabc[] = u"abcabc";
    EXPECT_EQ(fCollator->ReversedFindString(abcabc, 6, u"bc", 2, true, &matched), 5);
    EXPECT_EQ(matched, 2);
    const UniChar aaa[] = u"aaa";
    EXPECT_EQ(fCollator->ReversedFindString(aaa, 3, u"aa", 2, true, &matched), 2);
    EXPECT_EQ(fCollator->ReversedFindString(aaa, 3, u"b", 1, true, &matched), 0);
    EXPECT_EQ(matched, 0);
}

TEST_F(VCollatorTest, PrefixesAndSuffixes)
{
    const UniChar text[] = u"ABCdef";
    int32_t matched = 0;
    EXPECT_TRUE(fCollator->BeginsWithString(text, 6, u"abc", 3, false, &matched));
    EXPECT_EQ(matched, 3);
    EXPECT_FALSE(fCollator->BeginsWithString(text, 6, u"abc", 3, true, &matched));
    EXPECT_EQ(matched, 0);
    EXPECT_FALSE(fCollator->BeginsWithString(text, 6, u"bc", 2, false, nullptr));
    EXPECT_TRUE(fCollator->BeginsWithString(text, 6, nullptr, 0, true, &matched));
    EXPECT_EQ(matched, 0);

    EXPECT_TRUE(fCollator->EndsWithString(text, 6, u"DEF", 3, false, &matched));
    EXPECT_EQ(matched, 3);
    EXPECT_FALSE(fCollator->EndsWithString(text, 6, u"de", 2, false, &matched));
    EXPECT_EQ(matched, 0);
    EXPECT_TRUE(fCollator->EndsWithString(text, 6, u"", 0, false, &matched));
    EXPECT_EQ(matched, 0);
    // The suffix found last decides, even after an earlier one.
    const UniChar twice[] = u"defdef";
    EXPECT_TRUE(fCollator->EndsWithString(twice, 6, u"def", 3, true, &matched));
    EXPECT_EQ(matched, 3);
}

struct LikeCase
{
    const char16_t* fText;
    const char16_t* fPattern;
    bool fStrict;
    bool fMatches;
};

TEST_F(VCollatorTest, PatternMatching)
{
    const LikeCase cases[] = {
        {u"ABCdef", u"abc@", false, true},
        {u"ABCdef", u"abc@", true, false},
        {u"xyzdef", u"@def", true, true},
        {u"xyzdefx", u"@def", true, false},
        {u"xxabcxx", u"@abc@", true, true},
        {u"xxabxx", u"@abc@", true, false},
        {u"", u"@", true, true},
        {u"", u"@@@", true, true},
        {u"anything", u"@@", true, true},
        {u"abc", u"a@c", true, true},
        {u"ac", u"a@c", true, true},
        {u"abcb", u"a@c", true, false},
        {u"aXbYc", u"a@b@c", true, true},
        {u"abXbc", u"a@b@c", true, true},
        {u"aXbY", u"a@b@c", true, false},
        // No wildcard: equality under the collation.
        {u"resume", u"R\u00e9sum\u00e9", false, true},
        {u"resume", u"R\u00e9sum\u00e9", true, false},
        {u"abc", u"ABC", true, false},
        {u"abc", u"ABC", false, true},
        // Beyond ASCII the collation decides the ends too.
        {u"R\u00e9sum\u00e9 final", u"resume@", false, true},
        {u"mon r\u00e9sum\u00e9", u"@RESUME", false, true},
        {u"mon r\u00e9sum\u00e9", u"@RESUME", true, false},
        // The empty pattern matches only the empty text.
        {u"", u"", true, true},
        {u"a", u"", true, false},
        {u"\u00e9", u"", false, false},
        // Control characters that collation ignores do not stop a match.
        {u"a\u0001bc", u"abc", true, true},
        {u"abc", u"a\u0001b@", true, true},
        {u"ab\u0001", u"ab", true, true},
        // The search finds "abc" after the ignorable character, not at the start, though the two
        // compare equal: still no match, for "xyz" never follows.
        {u"\u0001abc", u"abc@xyz", true, false},
        // Tab and line ends are no such characters.
        {u"a\tb", u"ab", true, false},
    };
    for (const LikeCase& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << "text " << std::u16string(c.fText).size() << " units, pattern "
                     << std::string(c.fPattern, c.fPattern + std::u16string(c.fPattern).size())
                     << (c.fStrict ? " strict" : " loose"));
        EXPECT_EQ(Like(c.fText, c.fPattern, c.fStrict), c.fMatches);
    }
}

TEST_F(VCollatorTest, WildcardOnlyAtTheEnds)
{
    auto like = [this](std::u16string_view text, std::u16string_view pattern)
    {
        return fCollator->_CompareString_Like_IgnoreWildCharInMiddle(
            text.data(), int32_t(text.size()), pattern.data(), int32_t(pattern.size()), true);
    };
    EXPECT_EQ(like(u"abcdef", u"abc@"), 0);
    EXPECT_EQ(like(u"xyzdef", u"@def"), 0);
    EXPECT_EQ(like(u"xx-a@b-xx", u"@a@b@"), 0); // the middle one is an ordinary character
    EXPECT_NE(like(u"xx-aXb-xx", u"@a@b@"), 0);
    EXPECT_EQ(like(u"a@b", u"a@b"), 0);
    EXPECT_EQ(like(u"whatever", u"@@"), 0);
    EXPECT_EQ(like(u"xyzdeg", u"@def"), 1);
    EXPECT_EQ(like(u"xy", u"@def"), -1);
}

TEST_F(VCollatorTest, WildcardIsTheCollatorsOwn)
{
    fCollator->SetWildChar(u'*');
    EXPECT_TRUE(Like(u"abc", u"a*", true));
    EXPECT_FALSE(Like(u"abc", u"a@", true));
    VRefPtr<VCollator> clone(fCollator->Clone());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetWildChar(), u'*');
    EXPECT_EQ(clone->GetDialect(), 1033u);
    fCollator->Reset();
    EXPECT_EQ(fCollator->GetWildChar(), VCollator::sDefaultWildChar);
    EXPECT_EQ(clone->GetWildChar(), u'*');
}

TEST_F(VCollatorTest, PatternsABinarySearchCanAnswer)
{
    auto compatible = [this](std::u16string_view pattern) {
        return fCollator->IsPatternCompatibleWithDichotomyAndDiacritics(pattern.data(),
                                                                        int32_t(pattern.size()));
    };
    EXPECT_TRUE(compatible(u""));
    EXPECT_TRUE(compatible(u"abc"));
    EXPECT_TRUE(compatible(u"abc@"));
    EXPECT_FALSE(compatible(u"a@c"));
    EXPECT_FALSE(compatible(u"@abc"));
    EXPECT_FALSE(compatible(u"\u30a2bc"));
    EXPECT_FALSE(compatible(u"ab\uff71"));
    EXPECT_TRUE(compatible(u"\u4e00"));
}

TEST_F(VCollatorTest, EachDialectCollatesByItsOwnRules)
{
    // In Swedish "ä" is a letter of its own, after "z"; in English an accented "a".
    VRefPtr<VCollator> swedish = Make(1053);
    ASSERT_NE(swedish, nullptr);
    const UniChar a[] = u"a";
    const UniChar aUmlaut[] = u"\u00e4";
    const UniChar z[] = u"z";
    EXPECT_FALSE(swedish->EqualString(aUmlaut, 1, a, 1, false));
    EXPECT_EQ(swedish->CompareString(aUmlaut, 1, z, 1, false), 1);
    EXPECT_TRUE(fCollator->EqualString(aUmlaut, 1, a, 1, false));
    EXPECT_EQ(fCollator->CompareString(aUmlaut, 1, z, 1, false), -1);
}

TEST_F(VCollatorTest, SignatureNamesTheSystem)
{
    VString signature;
    fCollator->GetStringComparisonAlgorithmSignature(signature);
    ASSERT_GT(signature.GetLength(), 7);
    EXPECT_EQ(Text(signature).substr(0, 7), u"system:");
}

} // namespace
} // namespace kova
