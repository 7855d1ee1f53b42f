// Our stand-in for the date formatters, Gregorian dates and time zones of CoreFoundation, over
// ICU's date formats (udat) and date-time pattern generator.
//
// Absolute times count seconds from 2001-01-01 00:00:00 UTC, as the platform counts them. Time
// zones are named by ICU identifiers ("GMT", "Europe/Paris") or as offsets ("GMT+01:00").
#pragma once

#include "platform/mac/frameworks/CFLocale.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kova::cf
{

using AbsoluteTime = double;

// The platform's style numbers.
enum DateFormatterStyle
{
    kDateFormatterNoStyle = 0,
    kDateFormatterShortStyle = 1,
    kDateFormatterMediumStyle = 2,
    kDateFormatterLongStyle = 3,
    kDateFormatterFullStyle = 4,
};

enum class DateSymbols
{
    kAMPM,
    kWeekdays, // Sunday first
    kShortWeekdays,
    kMonths,
    kShortMonths,
};

class DateFormatter
{
public:
    // Both styles none gives an empty pattern, which formats every date as empty text. The
    // formatter starts in ICU's default time zone, with the Gregorian calendar for every date
    // (no switch to the Julian calendar in 1582).
    DateFormatter(const Locale& locale, DateFormatterStyle dateStyle, DateFormatterStyle timeStyle);
    ~DateFormatter();
    DateFormatter(const DateFormatter&) = delete;
    DateFormatter& operator=(const DateFormatter&) = delete;

    // False when ICU could not make the format; every other operation then answers empty.
    bool IsValid() const { return fFormat != nullptr; }

    std::u16string GetFormat() const;
    bool SetFormat(std::u16string_view pattern);
    // False, with the zone unchanged, when the zone cannot be made.
    bool SetTimeZone(std::u16string_view zone);
    // Empty when the locale has none.
    std::vector<std::u16string> CopySymbols(DateSymbols which) const;
    std::u16string CreateStringWithAbsoluteTime(AbsoluteTime time) const;

private:
    void* fFormat = nullptr; // ICU's UDateFormat
    std::string fLocale;
};

// The platform's broken-down date; months and days out of range carry into the next fields.
struct GregorianDate
{
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t hour;
    int32_t minute;
    double second;
};

// The absolute time of a date read in universal time.
AbsoluteTime GregorianDateGetAbsoluteTime(const GregorianDate& date);

// The pattern that best shows the fields of a template ("yMMMd") in the locale; empty on failure.
std::u16string DateFormatterCreateDateFormatFromTemplate(std::u16string_view templateText,
                                                         const Locale& locale);

// The system's time zone at that moment: TZ when ICU knows the zone it names, else the C
// library's offset from universal time at that moment (so that POSIX rules in TZ are followed);
// ICU's default zone when TZ is not set.
std::u16string TimeZoneCopySystemName(AbsoluteTime time);

} // namespace kova::cf
