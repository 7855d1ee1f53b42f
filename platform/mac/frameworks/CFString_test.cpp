#include "platform/mac/frameworks/CFString.h"

#include <gtest/gtest.h>

#include <string>

namespace kova::cf
{
namespace
{

struct CompareCase
{
    std::u16string fFirst;
    std::u16string fSecond;
    uint32_t fFlags;
    int32_t fOrder;
};

TEST(CFString, ComparisonsLeaveOutTheDifferencesTheFlagsIgnore)
{
    constexpr uint32_t kLocalized = kCompareLocalized;
    constexpr uint32_t kNoCase = kCompareCaseInsensitive;
    constexpr uint32_t kNoAccents = kCompareDiacriticInsensitive;
    constexpr uint32_t kNoWidth = kCompareWidthInsensitive;
    const CompareCase cases[] = {
        // By code points, or by case folding.
        {u"B", u"a", 0, -1},
        {u"Stra\u00DFe", u"STRASSE", kNoCase, 0},
        {u"r\u00E9sum\u00E9", u"resume", kNoCase, 1},
        // Localized: the root collation's order, whatever the code points.
        {u"B", u"a", kLocalized, 1},
        {u"a", u"A", kLocalized, -1},
        {u"r\u00E9sum\u00E9", u"resume", kLocalized | kNoCase | kNoWidth, 1},
        {u"r\u00E9sum\u00E9", u"resume", kLocalized | kNoAccents, 0},
        {u"R\u00E9sum\u00E9", u"resume", kLocalized | kNoAccents, 1},
        {u"R\u00E9sum\u00E9", u"resume", kLocalized | kNoAccents | kNoCase, 0},
        {u"\uFF35\uFF34\uFF26", u"UTF", kLocalized, 1},
        {u"\uFF35\uFF34\uFF26", u"UTF", kLocalized | kNoWidth, 0},
        {u"ISO-8859-1", u"iso-8859-2", kLocalized | kNoCase | kNoAccents | kNoWidth, -1},
        {u"", u"a", kLocalized | kNoCase, -1},
    };
    for (const CompareCase& compare : cases)
    {
        EXPECT_EQ(StringCompare(compare.fFirst, compare.fSecond, compare.fFlags), compare.fOrder)
            << std::string(compare.fFirst.begin(), compare.fFirst.end()) << " " << compare.fFlags;
        EXPECT_EQ(StringCompare(compare.fSecond, compare.fFirst, compare.fFlags), -compare.fOrder);
    }
    EXPECT_EQ(StringCompare("Kova", "kOVA", kNoCase), 0);
}

} // namespace
} // namespace kova::cf
