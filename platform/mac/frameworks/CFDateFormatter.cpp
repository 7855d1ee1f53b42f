#include "platform/mac/frameworks/CFDateFormatter.h"

#include <unicode/ucal.h>
#include <unicode/udat.h>
#include <unicode/udatpg.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kova::cf
{

namespace
{

// Seconds from 1970-01-01 to 2001-01-01.
constexpr double kReferenceFromUnixEpoch = 978307200.0;
// ICU's earliest date: the Gregorian calendar then holds for every date it can show.
constexpr UDate kProlepticGregorianChange = -184303902528000000.0;

UDateFormatStyle ICUStyle(DateFormatterStyle style)
{
    switch (style)
    {
    case kDateFormatterShortStyle:
        return UDAT_SHORT;
    case kDateFormatterMediumStyle:
        return UDAT_MEDIUM;
    case kDateFormatterLongStyle:
        return UDAT_LONG;
    case kDateFormatterFullStyle:
        return UDAT_FULL;
    default:
        return UDAT_NONE;
    }
}

// Runs an ICU call that writes into a buffer, once more with the size it asked for when the
// first buffer was too small. Empty on failure.
template <class Call>
std::u16string ReadICUString(Call call)
{
    std::u16string text(64, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = call(text.data(), int32_t(text.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && length > 0)
    {
        text.assign(size_t(length), u'\0');
        status = U_ZERO_ERROR;
        length = call(text.data(), int32_t(text.size()), &status);
    }
    if (U_FAILURE(status) || length < 0 || size_t(length) > text.size())
        return {};
    text.resize(size_t(length));
    return text;
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 1970-01-01 of a proleptic Gregorian date, month 1 to 12.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = FloorDiv(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool IsKnownZone(const std::u16string& zone, bool* outIsSystemZone)
{
    UChar canonical[128];
    UBool isSystem = false;
    UErrorCode status = U_ZERO_ERROR;
    ucal_getCanonicalTimeZoneID(zone.data(), int32_t(zone.size()), canonical, 128, &isSystem, &status);
    if (outIsSystemZone != nullptr)
        *outIsSystemZone = isSystem;
    return U_SUCCESS(status);
}

} // namespace

DateFormatter::DateFormatter(const Locale& locale, DateFormatterStyle dateStyle, DateFormatterStyle timeStyle)
    : fLocale(locale.GetIdentifier())
{
    UDateFormatStyle date = ICUStyle(dateStyle);
    UDateFormatStyle time = ICUStyle(timeStyle);
    UErrorCode status = U_ZERO_ERROR;
    UDateFormat* format;
    if (date == UDAT_NONE && time == UDAT_NONE)
        format = udat_open(UDAT_PATTERN, UDAT_PATTERN, fLocale.c_str(), nullptr, 0, u"", 0, &status);
    else
        format = udat_open(time, date, fLocale.c_str(), nullptr, 0, nullptr, 0, &status);
    if (U_FAILURE(status))
    {
        udat_close(format);
        return;
    }
    fFormat = format;
    UChar zone[128];
    status = U_ZERO_ERROR;
    int32_t length = ucal_getDefaultTimeZone(zone, 128, &status);
    if (U_SUCCESS(status) && length > 0 && length <= 128)
        SetTimeZone(std::u16string_view(zone, size_t(length)));
}

DateFormatter::~DateFormatter()
{
    if (fFormat != nullptr)
        udat_close(static_cast<UDateFormat*>(fFormat));
}

std::u16string DateFormatter::GetFormat() const
{
    if (fFormat == nullptr)
        return {};
    auto* format = static_cast<UDateFormat*>(fFormat);
    return ReadICUString([format](UChar* buffer, int32_t capacity, UErrorCode* status)
                         { return udat_toPattern(format, false, buffer, capacity, status); });
}

bool DateFormatter::SetFormat(std::u16string_view pattern)
{
    if (fFormat == nullptr || pattern.size() > size_t(INT32_MAX))
        return false;
    udat_applyPattern(static_cast<UDateFormat*>(fFormat), false, pattern.data(), int32_t(pattern.size()));
    return true;
}

bool DateFormatter::SetTimeZone(std::u16string_view zone)
{
    std::u16string name(zone);
    if (fFormat == nullptr || name.size() > 127 || !IsKnownZone(name, nullptr))
        return false;
    UErrorCode status = U_ZERO_ERROR;
    UCalendar* calendar =
        ucal_open(name.data(), int32_t(name.size()), fLocale.c_str(), UCAL_GREGORIAN, &status);
    if (U_SUCCESS(status))
        ucal_setGregorianChange(calendar, kProlepticGregorianChange, &status);
    if (U_SUCCESS(status))
        udat_setCalendar(static_cast<UDateFormat*>(fFormat), calendar);
    ucal_close(calendar);
    return U_SUCCESS(status);
}

std::vector<std::u16string> DateFormatter::CopySymbols(DateSymbols which) const
{
    std::vector<std::u16string> symbols;
    if (fFormat == nullptr)
        return symbols;
    UDateFormatSymbolType type = UDAT_AM_PMS;
    int32_t first = 0;
    switch (which)
    {
    case DateSymbols::kAMPM:
        type = UDAT_AM_PMS;
        break;
    case DateSymbols::kWeekdays:
        type = UDAT_WEEKDAYS;
        first = 1; // ICU's entry 0 is empty; Sunday is 1
        break;
    case DateSymbols::kShortWeekdays:
        type = UDAT_SHORT_WEEKDAYS;
        first = 1;
        break;
    case DateSymbols::kMonths:
        type = UDAT_MONTHS;
        break;
    case DateSymbols::kShortMonths:
        type = UDAT_SHORT_MONTHS;
        break;
    }
    auto* format = static_cast<const UDateFormat*>(fFormat);
    const int32_t count = udat_countSymbols(format, type);
    for (int32_t index = first; index < count; ++index)
    {
        symbols.push_back(
            ReadICUString([format, type, index](UChar* buffer, int32_t capacity, UErrorCode* status)
                          { return udat_getSymbols(format, type, index, buffer, capacity, status); }));
    }
    return symbols;
}

std::u16string DateFormatter::CreateStringWithAbsoluteTime(AbsoluteTime time) const
{
    if (fFormat == nullptr || !std::isfinite(time))
        return {};
    auto* format = static_cast<const UDateFormat*>(fFormat);
    const UDate date = (time + kReferenceFromUnixEpoch) * 1000.0;
    return ReadICUString([format, date](UChar* buffer, int32_t capacity, UErrorCode* status)
                         { return udat_format(format, date, buffer, capacity, nullptr, status); });
}

AbsoluteTime GregorianDateGetAbsoluteTime(const GregorianDate& date)
{
    const int64_t monthIndex = int64_t(date.month) - 1;
    const int64_t year = int64_t(date.year) + FloorDiv(monthIndex, 12);
    const int64_t month = monthIndex - FloorDiv(monthIndex, 12) * 12 + 1;
    const int64_t days = DaysFromCivil(year, month, 1) + int64_t(date.day) - 1;
    const double seconds =
        double(days) * 86400.0 + double(date.hour) * 3600.0 + double(date.minute) * 60.0 + date.second;
    return seconds - kReferenceFromUnixEpoch;
}

std::u16string DateFormatterCreateDateFormatFromTemplate(std::u16string_view templateText,
                                                         const Locale& locale)
{
    if (templateText.size() > size_t(INT32_MAX))
        return {};
    UErrorCode status = U_ZERO_ERROR;
    UDateTimePatternGenerator* generator = udatpg_open(locale.GetIdentifier().c_str(), &status);
    std::u16string pattern;
    if (U_SUCCESS(status))
    {
        pattern = ReadICUString(
            [generator, templateText](UChar* buffer, int32_t capacity, UErrorCode* callStatus)
            {
                return udatpg_getBestPattern(generator, templateText.data(), int32_t(templateText.size()),
                                             buffer, capacity, callStatus);
            });
    }
    udatpg_close(generator);
    return pattern;
}

std::u16string TimeZoneCopySystemName(AbsoluteTime time)
{
    const char* variable = std::getenv("TZ");
    if (variable == nullptr || *variable == 0)
    {
        return ReadICUString([](UChar* buffer, int32_t capacity, UErrorCode* status)
                             { return ucal_getDefaultTimeZone(buffer, capacity, status); });
    }
    std::string_view name(variable);
    if (name.front() == ':')
        name.remove_prefix(1);
    std::u16string zone;
    bool ascii = name.size() < 128;
    for (char c : name)
    {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        zone.push_back(char16_t(static_cast<unsigned char>(c)));
    }
    bool isSystemZone = false;
    if (ascii && !zone.empty() && IsKnownZone(zone, &isSystemZone) && isSystemZone)
        return zone;

    // A zone ICU does not know (a POSIX rule): the offset the C library applies at that moment.
    double unixSeconds = std::isfinite(time) ? std::floor(time + kReferenceFromUnixEpoch) : 0.0;
    if (std::fabs(unixSeconds) > 1e15)
        unixSeconds = 0.0;
    const time_t when = time_t(unixSeconds);
    struct tm local = {};
    long offset = 0;
    if (localtime_r(&when, &local) != nullptr)
        offset = local.tm_gmtoff;
    if (offset == 0)
        return u"GMT";
    const long minutes = std::labs(offset) / 60;
    char text[16];
    std::snprintf(text, sizeof text, "GMT%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60 % 100,
                  minutes % 60);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

} // namespace kova::cf
