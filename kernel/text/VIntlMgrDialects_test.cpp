#include "kernel/text/VIntlMgr.h"

#include "kernel/text/IntlTesting_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace kova
{
namespace
{

TEST(VIntlMgrDialects, TableEndsAndDuplicates)
{
    std::vector<uint32_t> all{7};
    VIntlMgr::GetAllDialects(all);
    ASSERT_EQ(all.size(), 155u); // appended after what was there
    EXPECT_EQ(all[1], 1078u);
    EXPECT_EQ(all.back(), 1077u);
    EXPECT_EQ(std::count(all.begin(), all.end(), 1044u), 2);
    EXPECT_EQ(std::count(all.begin(), all.end(), 1065u), 2);

    EXPECT_TRUE(VIntlMgr::IsDialectCode(1078));
    EXPECT_TRUE(VIntlMgr::IsDialectCode(1077));
    EXPECT_TRUE(VIntlMgr::IsDialectCode(1032));
    EXPECT_FALSE(VIntlMgr::IsDialectCode(9));
}

TEST(VIntlMgrDialects, CodesOfARow)
{
    VString text;
    EXPECT_STREQ(VIntlMgr::GetISO6391LanguageCode(1050), "hr"); // the first row with 1050
    EXPECT_EQ(VIntlMgr::GetISO6391LanguageCode(9), nullptr);
    EXPECT_TRUE(VIntlMgr::GetISO6392LanguageCode(1044, text));
    EXPECT_EQ(Text(text), u"nor");
    EXPECT_TRUE(VIntlMgr::GetISOLanguageName(129, text));
    EXPECT_EQ(Text(text), u"new zealand");
    EXPECT_TRUE(VIntlMgr::GetISO3166RegionCode(2057, text));
    EXPECT_EQ(Text(text), u"GB");

    // Cleared first; false for an empty field and for a missing row.
    text.FromString(VString("old"));
    EXPECT_FALSE(VIntlMgr::GetRFC3066BisSubTagRegionCode(1033, text));
    EXPECT_TRUE(text.IsEmpty());
    text.FromString(VString("old"));
    EXPECT_FALSE(VIntlMgr::GetISO6391LanguageCode(9, text));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_TRUE(VIntlMgr::GetRFC3066BisSubTagRegionCode(1028, text));
    EXPECT_EQ(Text(text), u"Hant");
}

struct TagCase
{
    uint32_t fDialect;
    const char16_t* fBCP47;
    const char16_t* fDashed;
    const char16_t* fUnderscored;
};

TEST(VIntlMgrDialects, LanguageTagsOfADialect)
{
    const TagCase cases[] = {
        {1033, u"en-US", u"en", u"en"},
        {2057, u"en-GB", u"en-gb", u"en_gb"},
        {1, u"ar", u"ar", u"ar"},
        {1050, u"hr-HR", u"hr", u"hr"},
        {3098, u"sr-RS", u"sr-Cyrl", u"sr_Cyrl"},
        {1028, u"zh-TW", u"zh-Hant", u"zh_Hant"},
    };
    for (const TagCase& c : cases)
    {
        SCOPED_TRACE(c.fDialect);
        VString text;
        EXPECT_TRUE(VIntlMgr::GetBCP47LanguageCode(c.fDialect, text));
        EXPECT_EQ(Text(text), c.fBCP47);
        EXPECT_TRUE(VIntlMgr::GetRFC3066BisLanguageCodeWithDialectCode(c.fDialect, text, u'-'));
        EXPECT_EQ(Text(text), c.fDashed);
        EXPECT_TRUE(VIntlMgr::GetRFC3066BisLanguageCodeWithDialectCode(c.fDialect, text, u'_'));
        EXPECT_EQ(Text(text), c.fUnderscored);
    }
    VString text("old");
    EXPECT_FALSE(VIntlMgr::GetRFC3066BisLanguageCodeWithDialectCode(9, text, u'-'));
    EXPECT_TRUE(text.IsEmpty());
    text.FromString(VString("old"));
    EXPECT_FALSE(VIntlMgr::GetBCP47LanguageCode(9, text));
    EXPECT_TRUE(text.IsEmpty());
}

struct LookupCase
{
    const char16_t* fCode;
    bool fFallBack;
    bool fPreferPrimary;
    bool fFound;
    uint32_t fDialect;
};

TEST(VIntlMgrDialects, DialectOfALanguageTag)
{
    const LookupCase cases[] = {
        {u"EN_gb", true, true, true, 2057},
        {u"en-GB", true, true, true, 2057},
        {u"en", true, true, true, 1033},
        {u"en", true, false, true, 1033},
        {u"de-AT", true, true, true, 3079},
        {u"zh-Hant", true, true, true, 1028},
        {u"es-ES", true, true, true, 1034},
        // A region is matched against the subtags alone; then the language's primary dialect.
        {u"en-US", true, true, true, 1033},
        {u"fr-FR", true, true, true, 1036},
        {u"pt-PT", true, true, true, 1046},
        {u"en-US", false, true, false, VIntlMgr::kNoDialect},
        {u"zh-TW", true, true, false, VIntlMgr::kNoDialect},
        // A language alone: its first row without subtag, or that row's primary dialect.
        {u"no", true, false, true, 1044},
        {u"fr", true, false, true, 1036},
        {u"a-b-c", true, true, false, VIntlMgr::kNoDialect},
        {u"en_gb_x", true, true, false, VIntlMgr::kNoDialect},
        {u"", true, true, false, VIntlMgr::kNoDialect},
        {u"xx", true, true, false, VIntlMgr::kNoDialect},
        {u"\u00e9n", true, true, false, VIntlMgr::kNoDialect},
    };
    for (const LookupCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.fCode, c.fCode + std::char_traits<char16_t>::length(c.fCode)));
        uint32_t dialect = 0;
        EXPECT_EQ(VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(VString(c.fCode), dialect, c.fFallBack,
                                                                     c.fPreferPrimary),
                  c.fFound);
        EXPECT_EQ(dialect, c.fDialect);
    }

    uint32_t dialect = 0;
    EXPECT_TRUE(VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode("de", nullptr, dialect, true, true));
    EXPECT_EQ(dialect, 1031u);
    EXPECT_FALSE(VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(nullptr, "gb", dialect, true, true));
    EXPECT_EQ(dialect, VIntlMgr::kNoDialect);
    // A part too long for any tag is refused before it is looked at.
    std::u16string longTag = u"en-" + std::u16string(300, u'g');
    EXPECT_FALSE(VIntlMgr::GetDialectCodeWithRFC3066BisLanguageCode(VString(longTag.c_str()), dialect));
}

TEST(VIntlMgrDialects, DialectOfALanguageName)
{
    const std::pair<const char16_t*, uint32_t> found[] = {
        {u"english", 1033}, {u"French", 1036}, {u"spanish", 1110}, {u"SAMI", 1083}, {u"fr\u00e9nch", 1036}};
    for (const auto& [name, code] : found)
    {
        uint32_t dialect = 0;
        EXPECT_TRUE(VIntlMgr::GetDialectCodeWithISOLanguageName(VString(name), dialect));
        EXPECT_EQ(dialect, code);
    }
    uint32_t dialect = 0;
    EXPECT_FALSE(VIntlMgr::GetDialectCodeWithISOLanguageName(VString("klingon"), dialect));
    EXPECT_EQ(dialect, VIntlMgr::kNoDialect);
}

TEST(VIntlMgrDialects, CompareLanguageTags)
{
    const std::tuple<const char*, const char*, int32_t> cases[] = {
        {"fr-CA", "fr", 3}, {"fr", "fr-CA", 2}, {"fr-CA", "fr-BE", 1}, {"fr", "de", 0},
        {"xx", "fr", -1},   {"fr", "xx", -1},   {"FR-ca", "fr-CA", 4}, {"en-US", "en", 3},
    };
    for (const auto& [first, second, result] : cases)
    {
        SCOPED_TRACE(std::string(first) + " " + second);
        EXPECT_EQ(VIntlMgr::Compare2RFC3066LanguageCodes(VString(first), VString(second)), result);
    }
}

TEST(VIntlMgrDialects, RightToLeftAndScripts)
{
    EXPECT_TRUE(VIntlMgr::IsRightToLeftDialect(1037));
    EXPECT_TRUE(VIntlMgr::IsRightToLeftDialect(0x3001));
    EXPECT_TRUE(VIntlMgr::IsRightToLeftDialect(1056));
    EXPECT_TRUE(VIntlMgr::IsRightToLeftDialect(1065));
    EXPECT_FALSE(VIntlMgr::IsRightToLeftDialect(1033));

    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(1033), 0u);
    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(1041), 1u);
    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(3076), 3u);
    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(16385), 5u);
    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(7194), 8u);
    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(1055), 16u);
    EXPECT_EQ(VIntlMgr::DialectCodeToScriptCode(1056), 0xFFFFFFFFu);
}

TEST(VIntlMgrDialects, DialectsHavingCollator)
{
    std::vector<std::pair<VString, uint32_t>> dialects;
    VIntlMgr::GetDialectsHavingCollator(dialects);
    ASSERT_EQ(dialects.size(), 154u);
    EXPECT_EQ(Text(dialects[0].first), u"af");
    EXPECT_EQ(dialects[0].second, 1078u);
    // Each pair names the language of the first row with the code.
    EXPECT_EQ(Text(dialects[95].first), u"no");
    EXPECT_EQ(dialects[95].second, 1044u);
    EXPECT_EQ(Text(dialects[116].first), u"hr");
}

} // namespace
} // namespace kova
