#include "platform/mac/text/XMacIntlMgr.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VIntlMgr.h"
#include "platform/mac/frameworks/CFLocale.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

TEST(XMacIntlMgr, TheDefaultDialectTakesTheUsersRegionalSettings)
{
    ASSERT_EQ(VIntlMgr::ResolveDialectCode(0), 1033u);
    {
        StEnvironment environment{{"LC_ALL", "en_GB.UTF-8"}};
        XMacIntlMgr english(1033);
        ASSERT_NE(english.GetCFLocaleRef(), nullptr);
        EXPECT_EQ(english.GetCFLocaleRef()->GetIdentifier(), "en_GB");
        // Another dialect keeps its own locale.
        XMacIntlMgr british(2057);
        EXPECT_EQ(british.GetCFLocaleRef()->GetIdentifier(), "en_GB");
        XMacIntlMgr french(1036);
        EXPECT_EQ(french.GetCFLocaleRef()->GetIdentifier(), "fr_FR");
    }
    {
        // Regional settings of another language do not apply.
        StEnvironment environment{{"LC_ALL", "fr_CA.UTF-8"}};
        XMacIntlMgr english(1033);
        EXPECT_EQ(english.GetCFLocaleRef()->GetIdentifier(), "en_US");
    }
    // A copy makes its locale again.
    XMacIntlMgr english(1033);
    english.GetCFLocaleRef();
    XMacIntlMgr copy(english);
    EXPECT_EQ(copy.GetDialect(), 1033u);
    EXPECT_NE(copy.RetainCFLocaleRef(), english.RetainCFLocaleRef());
    EXPECT_EQ(XMacIntlMgr::CreateCFLocaleRef(9), nullptr);
}

TEST(XMacIntlMgr, CaseMappingReportsTheWholeLength)
{
    const UniChar source[] = u"stra\u00dfe";
    UniChar destination[4];
    int32_t length = 4;
    EXPECT_TRUE(XMacIntlMgr::ToUpperLowerCase(source, 6, destination, length, true));
    EXPECT_EQ(length, 7);
    length = 0;
    EXPECT_TRUE(XMacIntlMgr::ToUpperLowerCase(source, 0, nullptr, length, true));
    EXPECT_EQ(length, 0);
    length = 4;
    EXPECT_FALSE(XMacIntlMgr::ToUpperLowerCase(source, -1, destination, length, true));
}

} // namespace
} // namespace kova
