#include "platform/mac/text/XMacIntlMgr.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

int32_t Compare(const std::u16string& inName1, const std::u16string& inName2)
{
    return XMacIntlMgr::CompareNames(inName1.data(), int32_t(inName1.size()), inName2.data(),
                                     int32_t(inName2.size()));
}

// Character-set names match whatever their case, accents or width, and sort as words do.
TEST(XMacIntlMgr, NamesCompareWithoutCaseDiacriticsOrWidth)
{
    EXPECT_EQ(Compare(u"utf-8", u"UTF-8"), 0);
    EXPECT_EQ(Compare(u"M\u00E1cRoman", u"macroman"), 0);
    EXPECT_EQ(Compare(u"\uFF35\uFF34\uFF26-8", u"utf-8"), 0);
    EXPECT_EQ(Compare(u"UTF-8", u"UTF-16"), 1);
    EXPECT_EQ(Compare(u"a", u"B"), -1);
    EXPECT_EQ(Compare(u"", u"x"), -1);
    EXPECT_EQ(XMacIntlMgr::CompareNames(u"x", -3, nullptr, 0), 0);
}

} // namespace
} // namespace kova
