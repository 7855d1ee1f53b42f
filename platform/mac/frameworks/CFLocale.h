// Our stand-in for the locales and language preferences of CoreFoundation, over ICU's locale data
// and the POSIX locale variables.
//
// - A locale is named by an ICU locale identifier ("fr_CA"); it is made from a language tag in
//   either form ("fr-CA" or "fr_CA") and shared through std::shared_ptr, which stands for the
//   retain and release of the platform's locale references.
// - The user's preferred languages (the list the system's "AppleLanguages" preference holds) come
//   from LANGUAGE (a colon-separated list), else the first of LC_ALL, LC_MESSAGES and LANG that
//   is set: "fr_FR.UTF-8" gives "fr-FR", "C" and "POSIX" give "en-US".
// - The user's current locale (the regional settings) comes from LC_ALL, else LANG, read the same
//   way; en_US when neither is set.
// Nothing here calls setlocale: the C library keeps its "C" locale for numbers.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kova::cf
{

enum class LocaleKey
{
    kLanguageCode,
    kDecimalSeparator,
    kGroupingSeparator,
    kCurrencySymbol,
};

class Locale
{
public:
    explicit Locale(std::string identifier) : fIdentifier(std::move(identifier)) {}

    // The ICU form of the identifier ("en_US").
    const std::string& GetIdentifier() const { return fIdentifier; }

    // Empty when the locale data has no such value.
    std::u16string GetValue(LocaleKey key) const;

private:
    std::string fIdentifier;
};

using LocaleRef = std::shared_ptr<const Locale>;

// Null for an empty or malformed tag.
LocaleRef LocaleCreate(std::string_view tag);
LocaleRef LocaleCopyCurrent();
// A new locale object with the same identifier.
LocaleRef LocaleCreateCopy(const Locale& locale);

// The user's preferred languages as language tags, most preferred first; may be empty.
std::vector<std::string> LocaleCopyPreferredLanguages();
// The "AppleLanguages" preference: on this platform the same list.
std::vector<std::string> PreferencesCopyAppleLanguages();

// The canonical language tag of a tag given in either form ("fr_fr" gives "fr-FR"); empty when
// the text is no language tag.
std::string LocaleCreateCanonicalLanguageIdentifierFromString(std::string_view tag);

// One entry of a POSIX locale variable as a language tag: the code set and modifier dropped,
// "_" turned into "-", "C" and "POSIX" read as "en-US"; empty for an empty entry.
std::string LanguageTagFromPosixLocale(std::string_view value);

} // namespace kova::cf
