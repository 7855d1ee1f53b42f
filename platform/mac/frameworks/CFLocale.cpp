#include "platform/mac/frameworks/CFLocale.h"

#include <unicode/uloc.h>
#include <unicode/unum.h>

#include <algorithm>
#include <cstdlib>

namespace kova::cf
{

namespace
{

// Language tags and identifiers longer than this are not locales anyone names.
constexpr int32_t kMaxIdentifier = 157;

std::string IdentifierFromTag(std::string_view tag)
{
    std::string dashed(tag);
    std::replace(dashed.begin(), dashed.end(), '_', '-');
    char identifier[kMaxIdentifier + 1] = {};
    int32_t parsed = 0;
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uloc_forLanguageTag(dashed.c_str(), identifier, kMaxIdentifier, &parsed, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0)
        return {};
    return std::string(identifier, size_t(length));
}

const char* NonEmptyVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != 0 ? value : nullptr;
}

std::u16string NumberSymbol(const std::string& identifier, UNumberFormatStyle style,
                            UNumberFormatSymbol symbol)
{
    UErrorCode status = U_ZERO_ERROR;
    UNumberFormat* format = unum_open(style, nullptr, 0, identifier.c_str(), nullptr, &status);
    std::u16string value;
    if (U_SUCCESS(status))
    {
        UChar buffer[32];
        int32_t length = unum_getSymbol(format, symbol, buffer, 32, &status);
        if (U_SUCCESS(status) && length > 0 && length <= 32)
            value.assign(buffer, size_t(length));
    }
    unum_close(format);
    return value;
}

} // namespace

std::u16string Locale::GetValue(LocaleKey key) const
{
    switch (key)
    {
    case LocaleKey::kLanguageCode:
    {
        char language[ULOC_LANG_CAPACITY] = {};
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = uloc_getLanguage(fIdentifier.c_str(), language, ULOC_LANG_CAPACITY, &status);
        if (U_FAILURE(status) || length <= 0 || length >= ULOC_LANG_CAPACITY)
            return {};
        return std::u16string(language, language + length);
    }
    case LocaleKey::kDecimalSeparator:
        return NumberSymbol(fIdentifier, UNUM_DECIMAL, UNUM_DECIMAL_SEPARATOR_SYMBOL);
    case LocaleKey::kGroupingSeparator:
        return NumberSymbol(fIdentifier, UNUM_DECIMAL, UNUM_GROUPING_SEPARATOR_SYMBOL);
    case LocaleKey::kCurrencySymbol:
        return NumberSymbol(fIdentifier, UNUM_CURRENCY, UNUM_CURRENCY_SYMBOL);
    }
    return {};
}

LocaleRef LocaleCreate(std::string_view tag)
{
    std::string identifier = IdentifierFromTag(tag);
    if (identifier.empty())
        return nullptr;
    return std::make_shared<const Locale>(std::move(identifier));
}

LocaleRef LocaleCopyCurrent()
{
    const char* value = NonEmptyVariable("LC_ALL");
    if (value == nullptr)
        value = NonEmptyVariable("LANG");
    LocaleRef locale = value != nullptr ? LocaleCreate(LanguageTagFromPosixLocale(value)) : nullptr;
    return locale != nullptr ? locale : std::make_shared<const Locale>("en_US");
}

LocaleRef LocaleCreateCopy(const Locale& locale)
{
    return std::make_shared<const Locale>(locale.GetIdentifier());
}

std::vector<std::string> LocaleCopyPreferredLanguages()
{
    std::vector<std::string> languages;
    if (const char* list = NonEmptyVariable("LANGUAGE"))
    {
        std::string_view rest(list);
        while (!rest.empty())
        {
            size_t colon = rest.find(':');
            std::string tag = LanguageTagFromPosixLocale(rest.substr(0, colon));
            if (!tag.empty())
                languages.push_back(std::move(tag));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    if (languages.empty())
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        {
            if (const char* value = NonEmptyVariable(name))
            {
                std::string tag = LanguageTagFromPosixLocale(value);
                if (!tag.empty())
                    languages.push_back(std::move(tag));
                break;
            }
        }
    }
    return languages;
}

std::vector<std::string> PreferencesCopyAppleLanguages()
{
    return LocaleCopyPreferredLanguages();
}

std::string LocaleCreateCanonicalLanguageIdentifierFromString(std::string_view tag)
{
    std::string identifier = IdentifierFromTag(tag);
    if (identifier.empty())
        return {};
    char canonical[kMaxIdentifier + 1] = {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uloc_toLanguageTag(identifier.c_str(), canonical, kMaxIdentifier, false, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0)
        return {};
    return std::string(canonical, size_t(length));
}

std::string LanguageTagFromPosixLocale(std::string_view value)
{
    std::string_view name = value.substr(0, value.find_first_of(".@"));
    if (name == "C" || name == "POSIX")
        return "en-US";
    std::string tag(name);
    std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

} // namespace kova::cf
