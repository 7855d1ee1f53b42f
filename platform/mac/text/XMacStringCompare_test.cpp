#include "platform/mac/text/XMacStringCompare.h"

#include "platform/mac/frameworks/CFLocale.h"

#include <gtest/gtest.h>

#include <string>

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

} // namespace
} // namespace kova
