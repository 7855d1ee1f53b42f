#include "platform/mac/text/XMacIntlMgr.h"

#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VTime.h"
#include "platform/mac/frameworks/CFDateFormatter.h"
#include "platform/mac/frameworks/CFString.h"
#include "platform/mac/frameworks/CFLocale.h"
#include "platform/mac/text/XMacFromUnicodeConverter.h"
#include "platform/mac/text/XMacToUnicodeConverter.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

namespace kova
{

struct XMacIntlMgr::CalendarNames
{
    std::vector<std::u16string> fWeekdays;
    std::vector<std::u16string> fMonths;
    std::vector<std::u16string> fShortWeekdays;
    std::vector<std::u16string> fShortMonths;
};

namespace
{

template <class Converter, class Interface>
Interface* NewValidConverter(CharSet inCharSet)
{
    auto* converter = new (std::nothrow) Converter(inCharSet);
    if (converter != nullptr && !converter->IsValid())
    {
        converter->Release();
        converter = nullptr;
    }
    return converter;
}

void SetText(VString& outText, const std::u16string& inText)
{
    outText.FromUniString(inText.data(), int32_t(inText.size()));
}

// The language tags of the dialect table are ASCII.
std::string ToASCII(const VString& inText)
{
    std::string text;
    for (int32_t i = 0; i < inText.GetLength(); ++i)
    {
        UniChar unit = inText.GetCPointer()[i];
        text.push_back(unit < 0x80 ? char(unit) : '?');
    }
    return text;
}

bool EqualASCIIIgnoringCase(const std::u16string& inText, const char* inASCII)
{
    size_t i = 0;
    for (; i < inText.size() && inASCII[i] != 0; ++i)
    {
        char16_t a = inText[i] >= u'A' && inText[i] <= u'Z' ? char16_t(inText[i] + 32) : inText[i];
        char b = inASCII[i] >= 'A' && inASCII[i] <= 'Z' ? char(inASCII[i] + 32) : inASCII[i];
        if (a != char16_t(static_cast<unsigned char>(b)))
            return false;
    }
    return i == inText.size() && inASCII[i] == 0;
}

cf::DateFormatterStyle Style(int32_t inStyle)
{
    return inStyle >= cf::kDateFormatterNoStyle && inStyle <= cf::kDateFormatterFullStyle
               ? cf::DateFormatterStyle(inStyle)
               : cf::kDateFormatterNoStyle;
}

// The date-time's universal fields as an absolute time; the empty date stands on the reference
// day so that its time of day can still be shown.
cf::AbsoluteTime AbsoluteTimeOf(const VTime& inTime)
{
    int16_t year, month, day, hour, minute, second, millisecond;
    inTime.GetUTCTime(year, month, day, hour, minute, second, millisecond);
    if (inTime.IsEmptyDate())
    {
        year = 2001;
        month = 1;
        day = 1;
    }
    // Milliseconds are not shown.
    return cf::GregorianDateGetAbsoluteTime({year, month, day, hour, minute, double(second)});
}

void FormatWith(cf::DateFormatter& ioFormatter, cf::AbsoluteTime inTime, bool inUseGMT, VString& outText)
{
    ioFormatter.SetTimeZone(inUseGMT ? std::u16string(u"GMT") : cf::TimeZoneCopySystemName(inTime));
    SetText(outText, ioFormatter.CreateStringWithAbsoluteTime(inTime));
}

// Time style for the manager's styles 0 to 2 (short, medium, long); none above.
int32_t TimeStyleOf(int32_t inFormat)
{
    return inFormat >= 0 && inFormat <= 2 ? inFormat + 1 : cf::kDateFormatterNoStyle;
}

} // namespace

XMacIntlMgr::XMacIntlMgr(uint32_t inDialect) : fDialect(inDialect) {}

XMacIntlMgr::XMacIntlMgr(const XMacIntlMgr& inOther) : fDialect(inOther.fDialect) {}

XMacIntlMgr::~XMacIntlMgr() = default;

const cf::Locale* XMacIntlMgr::GetCFLocaleRef() const
{
    std::call_once(
        fLocaleOnce,
        [this]
        {
            if (fDialect == VIntlMgr::ResolveDialectCode(0))
            {
                std::shared_ptr<const cf::Locale> current = cf::LocaleCopyCurrent();
                const char* language = VIntlMgr::GetISO6391LanguageCode(fDialect);
                if (current != nullptr && language != nullptr &&
                    EqualASCIIIgnoringCase(current->GetValue(cf::LocaleKey::kLanguageCode), language))
                {
                    fLocale = std::move(current);
                }
            }
            if (fLocale == nullptr)
                fLocale = CreateCFLocaleRef(fDialect);
        });
    return fLocale.get();
}

std::shared_ptr<const cf::Locale> XMacIntlMgr::RetainCFLocaleRef() const
{
    GetCFLocaleRef();
    return fLocale;
}

std::shared_ptr<const cf::Locale> XMacIntlMgr::CreateCFLocaleRef(uint32_t inDialect)
{
    VString tag;
    if (!VIntlMgr::GetBCP47LanguageCode(inDialect, tag))
        return nullptr;
    return cf::LocaleCreate(ToASCII(tag));
}

bool XMacIntlMgr::GetLocaleValue(ELocaleValue inWhich, VString& outValue) const
{
    const cf::Locale* locale = GetCFLocaleRef();
    if (locale == nullptr)
        return false;
    cf::LocaleKey key = cf::LocaleKey::kLanguageCode;
    switch (inWhich)
    {
    case eDecimalSeparator:
        key = cf::LocaleKey::kDecimalSeparator;
        break;
    case eGroupingSeparator:
        key = cf::LocaleKey::kGroupingSeparator;
        break;
    case eCurrencySymbol:
        key = cf::LocaleKey::kCurrencySymbol;
        break;
    case eLanguageCode:
        key = cf::LocaleKey::kLanguageCode;
        break;
    }
    SetText(outValue, locale->GetValue(key));
    return true;
}

bool XMacIntlMgr::GetDateTimePattern(int32_t inDateStyle, int32_t inTimeStyle, VString& outPattern) const
{
    const cf::Locale* locale = GetCFLocaleRef();
    if (locale == nullptr)
        return false;
    cf::DateFormatter formatter(*locale, Style(inDateStyle), Style(inTimeStyle));
    if (!formatter.IsValid())
        return false;
    SetText(outPattern, formatter.GetFormat());
    return true;
}

bool XMacIntlMgr::GetAMPMSymbols(VString& outAM, VString& outPM) const
{
    const cf::Locale* locale = GetCFLocaleRef();
    if (locale == nullptr)
        return false;
    cf::DateFormatter formatter(*locale, cf::kDateFormatterNoStyle, cf::kDateFormatterShortStyle);
    std::vector<std::u16string> symbols = formatter.CopySymbols(cf::DateSymbols::kAMPM);
    if (symbols.size() < 2)
        return false;
    SetText(outAM, symbols[0]);
    SetText(outPM, symbols[1]);
    return true;
}

void XMacIntlMgr::FormatDate(const VTime& inTime, VString& outText, int32_t inFormat, bool inUseGMT) const
{
    static constexpr int32_t kDateStyles[3] = {cf::kDateFormatterShortStyle, cf::kDateFormatterMediumStyle,
                                               cf::kDateFormatterFullStyle};
    if (inFormat >= 0 && inFormat <= 2)
        FormatVTime(inTime, outText, kDateStyles[inFormat], cf::kDateFormatterNoStyle, inUseGMT);
}

void XMacIntlMgr::FormatTime(const VTime& inTime, VString& outText, int32_t inFormat, bool inUseGMT) const
{
    FormatVTime(inTime, outText, cf::kDateFormatterNoStyle, TimeStyleOf(inFormat), inUseGMT);
}

void XMacIntlMgr::FormatDuration(const VDuration& inDuration, VString& outText, int32_t inFormat) const
{
    FormatVDuration(inDuration, outText, TimeStyleOf(inFormat));
}

void XMacIntlMgr::FormatVTime(const VTime& inTime, VString& outText, int32_t inDateStyle, int32_t inTimeStyle,
                              bool inUseGMT) const
{
    outText.Clear();
    const cf::Locale* locale = GetCFLocaleRef();
    if (locale == nullptr || inTime.IsNull() ||
        (inTime.IsEmptyDate() && Style(inDateStyle) != cf::kDateFormatterNoStyle))
        return;
    cf::DateFormatter formatter(*locale, Style(inDateStyle), Style(inTimeStyle));
    FormatWith(formatter, AbsoluteTimeOf(inTime), inUseGMT, outText);
}

void XMacIntlMgr::FormatVTimeWithTemplate(const VTime& inTime, VString& outText, const VString& inTemplate,
                                          bool inUseGMT) const
{
    outText.Clear();
    const cf::Locale* locale = GetCFLocaleRef();
    if (locale == nullptr || inTime.IsNull())
        return;
    std::u16string pattern = cf::DateFormatterCreateDateFormatFromTemplate(
        std::u16string_view(inTemplate.GetCPointer(), size_t(inTemplate.GetLength())), *locale);
    cf::DateFormatter formatter(*locale, cf::kDateFormatterNoStyle, cf::kDateFormatterNoStyle);
    if (!formatter.SetFormat(pattern))
        return;
    FormatWith(formatter, AbsoluteTimeOf(inTime), inUseGMT, outText);
}

void XMacIntlMgr::FormatVDuration(const VDuration& inDuration, VString& outText, int32_t inTimeStyle) const
{
    outText.Clear();
    const cf::Locale* locale = GetCFLocaleRef();
    if (locale == nullptr || inDuration.IsNull())
        return;
    int32_t days, hours, minutes, seconds, milliseconds;
    inDuration.GetDuration(days, hours, minutes, seconds, milliseconds);
    // A duration is shown as a time of day: in universal time, or the zone's offset would be
    // added to it.
    cf::DateFormatter formatter(*locale, cf::kDateFormatterNoStyle, Style(inTimeStyle));
    FormatWith(formatter,
               cf::GregorianDateGetAbsoluteTime({2001, 1, 1 + days, hours, minutes, double(seconds)}), true,
               outText);
}

bool XMacIntlMgr::LoadCalendarSymbols() const
{
    std::call_once(fCalendarNamesOnce,
                   [this]
                   {
                       const cf::Locale* locale = GetCFLocaleRef();
                       if (locale == nullptr)
                           return;
                       auto names = std::make_unique<CalendarNames>();
                       cf::DateFormatter formatter(*locale, cf::kDateFormatterNoStyle,
                                                   cf::kDateFormatterNoStyle);
                       names->fWeekdays = formatter.CopySymbols(cf::DateSymbols::kWeekdays);
                       names->fMonths = formatter.CopySymbols(cf::DateSymbols::kMonths);
                       names->fShortWeekdays = formatter.CopySymbols(cf::DateSymbols::kShortWeekdays);
                       names->fShortMonths = formatter.CopySymbols(cf::DateSymbols::kShortMonths);
                       fCalendarNames = std::move(names);
                   });
    const CalendarNames* names = fCalendarNames.get();
    return names != nullptr && names->fWeekdays.size() == 7 && names->fMonths.size() >= 12 &&
           names->fShortWeekdays.size() == 7 && names->fShortMonths.size() >= 12;
}

bool XMacIntlMgr::GetMonthName(int32_t inMonth, bool inShort, VString& outName) const
{
    if (inMonth < 1 || inMonth > 12 || !LoadCalendarSymbols())
        return false;
    const std::vector<std::u16string>& names =
        inShort ? fCalendarNames->fShortMonths : fCalendarNames->fMonths;
    SetText(outName, names[size_t(inMonth - 1)]);
    return true;
}

bool XMacIntlMgr::GetWeekDayName(int32_t inDay, bool inShort, VString& outName) const
{
    if (inDay < 0 || inDay > 6 || !LoadCalendarSymbols())
        return false;
    const std::vector<std::u16string>& names =
        inShort ? fCalendarNames->fShortWeekdays : fCalendarNames->fWeekdays;
    SetText(outName, names[size_t(inDay)]);
    return true;
}

bool XMacIntlMgr::ToUpperLowerCase(const UniChar* inSource, int32_t inLength, UniChar* outDestination,
                                   int32_t& ioLength, bool inUpper)
{
    if (inSource == nullptr || inLength < 0 || ioLength < 0 || (outDestination == nullptr && ioLength > 0))
        return false;
    UErrorCode status = U_ZERO_ERROR;
    // The root locale: no language's special rules (Turkish dotted i and the like).
    int32_t length = inUpper ? u_strToUpper(outDestination, ioLength, inSource, inLength, "", &status)
                             : u_strToLower(outDestination, ioLength, inSource, inLength, "", &status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR)
        return false;
    ioLength = length;
    return length > 0 || inLength == 0;
}

void XMacIntlMgr::GetPreferredLanguages(std::vector<VString>& outLanguages, bool inUIPreference)
{
    outLanguages.clear();
    std::vector<std::string> languages =
        inUIPreference ? cf::PreferencesCopyAppleLanguages() : cf::LocaleCopyPreferredLanguages();
    for (const std::string& language : languages)
    {
        std::string canonical = cf::LocaleCreateCanonicalLanguageIdentifierFromString(language);
        // The platform hands the identifier over in at most 80 bytes.
        if (canonical.size() >= 80)
            canonical.clear();
        outLanguages.emplace_back();
        outLanguages.back().AppendBlock(canonical.data(), canonical.size(), VTC_UTF_8);
    }
}

VToUnicodeConverter* XMacIntlMgr::NewToUnicodeConverter(CharSet inCharSet)
{
    return NewValidConverter<XMacToUnicodeConverter, VToUnicodeConverter>(inCharSet);
}

VFromUnicodeConverter* XMacIntlMgr::NewFromUnicodeConverter(CharSet inCharSet)
{
    return NewValidConverter<XMacFromUnicodeConverter, VFromUnicodeConverter>(inCharSet);
}

int32_t XMacIntlMgr::CompareNames(const UniChar* inName1, int32_t inLength1, const UniChar* inName2,
                                  int32_t inLength2)
{
    return cf::StringCompare(std::u16string_view(inName1, size_t(std::max(inLength1, 0))),
                             std::u16string_view(inName2, size_t(std::max(inLength2, 0))),
                             cf::kCompareLocalized | cf::kCompareCaseInsensitive |
                                 cf::kCompareDiacriticInsensitive | cf::kCompareWidthInsensitive);
}

} // namespace kova
