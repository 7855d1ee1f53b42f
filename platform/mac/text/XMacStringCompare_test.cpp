#include "platform/mac/text/XMacStringCompare.h"

#include "platform/mac/frameworks/CFLocale.h"

#include <gtest/gtest.h>

#include <unicode/ucol.h>
#include <unicode/usearch.h>

#include <string>
#include <vector>

namespace kova
{
namespace
{

class XMacStringCompareTest : public testing::Test
{
protected:
    int32_t Compare(std::u16string_view a, std::u16string_view b, bool strict)
    {
        return fCompare.CompareString(a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), strict);
    }
    int32_t Find(std::u16string_view text, std::u16string_view pattern, bool strict, int32_t* matched)
    {
        return fCompare.FindString(text.data(), int32_t(text.size()), pattern.data(), int32_t(pattern.size()),
                                   strict, matched);
    }

    XMacStringCompare fCompare{cf::LocaleCreate("en-US")};
};

TEST_F(XMacStringCompareTest, WidthNeverCounts)
{
    // Full-width Latin, half-width katakana with its voiced mark, the ideographic space.
    EXPECT_EQ(Compare(u"\uff41\uff42\uff43", u"abc", true), 0);
    EXPECT_NE(Compare(u"\uff21\uff42\uff43", u"abc", true), 0);
    EXPECT_EQ(Compare(u"\uff76\uff9e", u"\u30ac", true), 0);
    EXPECT_EQ(Compare(u"a\u3000b", u"a b", true), 0);

    int32_t matched = 0;
    EXPECT_EQ(Find(u"x\uff41\uff42\uff43y", u"abc", true, &matched), 2);
    EXPECT_EQ(matched, 3);
    EXPECT_EQ(Find(u"xabc", u"\uff41\uff42", true, &matched), 2);
    EXPECT_EQ(matched, 2);
}

TEST_F(XMacStringCompareTest, IgnorablePatternsAndEmptyTexts)
{
    // A pattern of characters that collation ignores is found where an empty one would be.
    int32_t matched = 9;
    EXPECT_EQ(Find(u"abc", u"\u0001", true, &matched), 1);
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(Find(u"abc", u"", true, &matched), 0);
    EXPECT_EQ(fCompare.FindString(nullptr, 4, u"a", 1, true, &matched), 0);
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(fCompare.CompareString(nullptr, 3, u"", -2, true), 0);
}

TEST_F(XMacStringCompareTest, ACopyComparesAlike)
{
    XMacStringCompare copy(fCompare);
    ASSERT_NE(copy.GetLocale(), nullptr);
    EXPECT_NE(copy.GetLocale(), fCompare.GetLocale());
    EXPECT_EQ(copy.GetLocale()->GetIdentifier(), "en_US");
    const UniChar a[] = u"Resume";
    const UniChar b[] = u"r\u00e9sum\u00e9";
    EXPECT_EQ(copy.CompareString(a, 6, b, 6, false), 0);
    XMacStringCompare root(nullptr);
    EXPECT_EQ(root.CompareString(a, 6, b, 6, false), 0);
    EXPECT_NE(root.CompareString(a, 6, b, 6, true), 0);
}

// ICU's string search itself, with the collator set as the comparison sets its own: what a search
// must answer however it is made. The 1-based position, and the matched length.
class ICUSearch
{
public:
    ICUSearch(const std::string& inLocale, bool inStrict)
    {
        UErrorCode status = U_ZERO_ERROR;
        fCollator = ucol_open(inLocale.c_str(), &status);
        ucol_setStrength(fCollator, inStrict ? UCOL_TERTIARY : UCOL_PRIMARY);
        ucol_setAttribute(fCollator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        EXPECT_TRUE(U_SUCCESS(status)) << inLocale;
    }
    ~ICUSearch() { ucol_close(fCollator); }

    std::pair<int32_t, int32_t> Find(std::u16string_view inText, std::u16string_view inPattern) const
    {
        UErrorCode status = U_ZERO_ERROR;
        UStringSearch* search =
            usearch_openFromCollator(inPattern.data(), int32_t(inPattern.size()), inText.data(),
                                     int32_t(inText.size()), fCollator, nullptr, &status);
        const int32_t start = usearch_first(search, &status);
        const int32_t length = usearch_getMatchedLength(search);
        usearch_close(search);
        if (U_FAILURE(status) || start == USEARCH_DONE)
            return {0, 0};
        return {start + 1, length};
    }

private:
    UCollator* fCollator = nullptr;
};

std::pair<int32_t, int32_t> Found(const XMacStringCompare& inCompare, std::u16string_view inText,
                                  std::u16string_view inPattern, bool inStrict)
{
    int32_t matched = -1;
    const int32_t position = inCompare.FindString(inText.data(), int32_t(inText.size()), inPattern.data(),
                                                  int32_t(inPattern.size()), inStrict, &matched);
    return {position, matched};
}

// Plain ASCII in plain ASCII is searched without ICU's string search where the locale orders
// ASCII as the root order does; the answers must stay ICU's, character by character.
TEST(XMacStringCompareSearchTest, ASCIIIsFoundAsICUFindsIt)
{
    std::u16string all;
    for (UniChar unit = 0x20; unit <= 0x7E; ++unit)
        all.push_back(unit);
    for (const char* tag : {"en-US", ""})
    {
        XMacStringCompare compare(*tag != 0 ? cf::LocaleCreate(tag) : nullptr);
        const std::string identifier =
            compare.GetLocale() != nullptr ? compare.GetLocale()->GetIdentifier() : "";
        for (bool strict : {false, true})
        {
            const ICUSearch icu(identifier, strict);
            for (UniChar pattern : all)
            {
                for (UniChar text : all)
                {
                    const std::u16string_view one(&text, 1);
                    ASSERT_EQ(Found(compare, one, std::u16string_view(&pattern, 1), strict),
                              icu.Find(one, std::u16string_view(&pattern, 1)))
                        << tag << " " << strict << " " << char(pattern) << " in " << char(text);
                }
                // Each character and each pair of neighbours in the whole printable range.
                for (size_t length : {1, 2})
                {
                    const size_t at = size_t(pattern - 0x20);
                    if (at + length > all.size())
                        continue;
                    const std::u16string_view piece = std::u16string_view(all).substr(at, length);
                    ASSERT_EQ(Found(compare, all, piece, strict), icu.Find(all, piece))
                        << tag << " " << strict;
                }
            }
        }
    }
}

// Locales whose rules touch ASCII: contractions (Czech "ch", Danish "aa"), the Turkish dotted and
// dotless i, punctuation ignored. Their searches go through ICU's.
TEST(XMacStringCompareSearchTest, LocalesThatTouchASCIIAnswerAsICU)
{
    struct Case
    {
        const char* fLocale;
        std::u16string_view fText;
        std::u16string_view fPattern;
    };
    const Case cases[] = {
        {"cs", u"chata", u"c"},
        {"cs", u"CHATA", u"h"},
        {"tr", u"KIRMIZI", u"i"},
        {"tr", u"kirmizi", u"I"},
        {"da", u"Haabet", u"a"},
        {"en-US-u-ka-shifted", u"a-b", u"ab"},
        {"en-US", u"en.lproj", u".LPROJ"},
    };
    for (const Case& test : cases)
    {
        XMacStringCompare compare(cf::LocaleCreate(test.fLocale));
        ASSERT_NE(compare.GetLocale(), nullptr);
        for (bool strict : {false, true})
        {
            const ICUSearch icu(compare.GetLocale()->GetIdentifier(), strict);
            EXPECT_EQ(Found(compare, test.fText, test.fPattern, strict), icu.Find(test.fText, test.fPattern))
                << test.fLocale << " " << strict;
        }
    }
}

} // namespace
} // namespace kova
