#include "platform/mac/frameworks/CFDateFormatter.h"
#include "platform/mac/frameworks/CFLocale.h"

#include "kernel/text/IntlTesting_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova::cf
{
namespace
{

TEST(CFLocale, PosixLocaleNamesBecomeLanguageTags)
{
    EXPECT_EQ(LanguageTagFromPosixLocale("fr_FR.UTF-8"), "fr-FR");
    EXPECT_EQ(LanguageTagFromPosixLocale("de_DE@euro"), "de-DE");
    EXPECT_EQ(LanguageTagFromPosixLocale("C"), "en-US");
    EXPECT_EQ(LanguageTagFromPosixLocale("POSIX"), "en-US");
    EXPECT_EQ(LanguageTagFromPosixLocale("C.UTF-8"), "en-US");
    EXPECT_EQ(LanguageTagFromPosixLocale(""), "");

    EXPECT_EQ(LocaleCreateCanonicalLanguageIdentifierFromString("fr_fr"), "fr-FR");
    EXPECT_EQ(LocaleCreateCanonicalLanguageIdentifierFromString("zh-hant-tw"), "zh-Hant-TW");
    EXPECT_EQ(LocaleCreateCanonicalLanguageIdentifierFromString(""), "");
}

TEST(CFLocale, PreferredLanguagesFromTheEnvironment)
{
    {
        StEnvironment environment{{"LANGUAGE", "fr_CA.UTF-8::en"}, {"LANG", "de_DE.UTF-8"}};
        EXPECT_EQ(LocaleCopyPreferredLanguages(), (std::vector<std::string>{"fr-CA", "en"}));
        EXPECT_EQ(PreferencesCopyAppleLanguages(), LocaleCopyPreferredLanguages());
    }
    {
        StEnvironment environment{
            {"LANGUAGE", ""}, {"LC_ALL", nullptr}, {"LC_MESSAGES", "es_MX"}, {"LANG", "de_DE.UTF-8"}};
        EXPECT_EQ(LocaleCopyPreferredLanguages(), std::vector<std::string>{"es-MX"});
    }
    {
        StEnvironment environment{
            {"LANGUAGE", nullptr}, {"LC_ALL", nullptr}, {"LC_MESSAGES", nullptr}, {"LANG", nullptr}};
        EXPECT_TRUE(LocaleCopyPreferredLanguages().empty());
    }
}

TEST(CFLocale, CurrentLocaleIsTheRegionalSetting)
{
    {
        StEnvironment environment{{"LC_ALL", nullptr}, {"LANG", "en_GB.UTF-8"}};
        EXPECT_EQ(LocaleCopyCurrent()->GetIdentifier(), "en_GB");
    }
    {
        StEnvironment environment{{"LC_ALL", "POSIX"}, {"LANG", "en_GB.UTF-8"}};
        EXPECT_EQ(LocaleCopyCurrent()->GetIdentifier(), "en_US");
    }
    {
        StEnvironment environment{{"LC_ALL", nullptr}, {"LANG", nullptr}};
        EXPECT_EQ(LocaleCopyCurrent()->GetIdentifier(), "en_US");
    }
}

TEST(CFLocale, Values)
{
    LocaleRef french = LocaleCreate("fr-FR");
    ASSERT_NE(french, nullptr);
    EXPECT_EQ(french->GetIdentifier(), "fr_FR");
    EXPECT_EQ(french->GetValue(LocaleKey::kLanguageCode), u"fr");
    EXPECT_EQ(french->GetValue(LocaleKey::kDecimalSeparator), u",");
    EXPECT_EQ(french->GetValue(LocaleKey::kCurrencySymbol), u"\u20ac");
    EXPECT_EQ(LocaleCreateCopy(*french)->GetIdentifier(), "fr_FR");
    EXPECT_EQ(LocaleCreate(""), nullptr);
}

TEST(CFDateFormatter, AbsoluteTimes)
{
    EXPECT_EQ(GregorianDateGetAbsoluteTime({2001, 1, 1, 0, 0, 0}), 0.0);
    EXPECT_EQ(GregorianDateGetAbsoluteTime({1970, 1, 1, 0, 0, 0}), -978307200.0);
    EXPECT_EQ(GregorianDateGetAbsoluteTime({2001, 1, 2, 1, 1, 1.5}), 86400.0 + 3661.5);
    // Months and days out of range carry.
    EXPECT_EQ(GregorianDateGetAbsoluteTime({2001, 13, 1, 0, 0, 0}),
              GregorianDateGetAbsoluteTime({2002, 1, 1, 0, 0, 0}));
    EXPECT_EQ(GregorianDateGetAbsoluteTime({2001, 0, 1, 0, 0, 0}),
              GregorianDateGetAbsoluteTime({2000, 12, 1, 0, 0, 0}));
    EXPECT_EQ(GregorianDateGetAbsoluteTime({2001, 3, 0, 0, 0, 0}),
              GregorianDateGetAbsoluteTime({2001, 2, 28, 0, 0, 0}));
}

TEST(CFDateFormatter, EveryDateIsGregorian)
{
    LocaleRef english = LocaleCreate("en-US");
    DateFormatter formatter(*english, kDateFormatterNoStyle, kDateFormatterNoStyle);
    ASSERT_TRUE(formatter.IsValid());
    EXPECT_EQ(formatter.GetFormat(), u"");
    ASSERT_TRUE(formatter.SetFormat(u"yyyy-MM-dd HH:mm"));
    ASSERT_TRUE(formatter.SetTimeZone(u"GMT"));
    EXPECT_EQ(formatter.CreateStringWithAbsoluteTime(GregorianDateGetAbsoluteTime({1500, 3, 1, 12, 5, 0})),
              u"1500-03-01 12:05");
    EXPECT_EQ(formatter.CreateStringWithAbsoluteTime(GregorianDateGetAbsoluteTime({32767, 12, 31, 0, 0, 0})),
              u"32767-12-31 00:00");
    EXPECT_FALSE(formatter.SetTimeZone(u"Nowhere/Land"));
    EXPECT_EQ(formatter.CreateStringWithAbsoluteTime(0.0), u"2001-01-01 00:00");
    ASSERT_TRUE(formatter.SetTimeZone(u"GMT+02:30"));
    EXPECT_EQ(formatter.CreateStringWithAbsoluteTime(0.0), u"2001-01-01 02:30");

    std::vector<std::u16string> weekdays = formatter.CopySymbols(DateSymbols::kWeekdays);
    ASSERT_EQ(weekdays.size(), 7u);
    EXPECT_EQ(weekdays[0], u"Sunday");
    EXPECT_EQ(formatter.CopySymbols(DateSymbols::kShortMonths).at(11), u"Dec");
    EXPECT_EQ(formatter.CopySymbols(DateSymbols::kAMPM), (std::vector<std::u16string>{u"AM", u"PM"}));
}

TEST(CFDateFormatter, SystemTimeZone)
{
    {
        StEnvironment environment{{"TZ", "Europe/Paris"}};
        EXPECT_EQ(TimeZoneCopySystemName(0.0), u"Europe/Paris");
    }
    {
        StEnvironment environment{{"TZ", ":UTC"}};
        EXPECT_EQ(TimeZoneCopySystemName(0.0), u"UTC");
    }
    {
        // A rule ICU does not know: the offset of that moment (winter, then summer).
        StEnvironment environment{{"TZ", "CET-1CEST,M3.5.0,M10.5.0/3"}};
        tzset();
        EXPECT_EQ(TimeZoneCopySystemName(GregorianDateGetAbsoluteTime({2024, 1, 15, 12, 0, 0})),
                  u"GMT+01:00");
        EXPECT_EQ(TimeZoneCopySystemName(GregorianDateGetAbsoluteTime({2024, 7, 15, 12, 0, 0})),
                  u"GMT+02:00");
    }
    tzset();
}

} // namespace
} // namespace kova::cf
