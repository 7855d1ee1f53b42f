// XMacIntlMgr is the platform half of the international manager: it holds the locale of the
// manager's dialect and its calendar names (both made on first use), reads the locale's
// separators, symbols and date patterns, formats dates, times and durations, maps case, tells
// the user's preferred languages, makes the platform text converters and compares the names of
// character sets.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/values/KovaTypes.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kova
{

namespace cf
{
class Locale;
}

class VDuration;
class VString;
class VTime;
class VToUnicodeConverter;
class VFromUnicodeConverter;

class XMacIntlMgr
{
public:
    // The platform's style numbers: 0 none, 1 short, 2 medium, 3 long, 4 full.
    static constexpr int32_t kNoStyle = 0;

    // Values of a locale.
    enum ELocaleValue
    {
        eDecimalSeparator,
        eGroupingSeparator,
        eCurrencySymbol,
        eLanguageCode,
    };

    explicit XMacIntlMgr(uint32_t inDialect);
    // Copies the dialect only: the copy makes its own locale and names.
    XMacIntlMgr(const XMacIntlMgr& inOther);
    XMacIntlMgr& operator=(const XMacIntlMgr&) = delete;
    virtual ~XMacIntlMgr();

    uint32_t GetDialect() const { return fDialect; }

    // The locale of the dialect, made on first use (not retained): the user's current locale when
    // the dialect is the default one and the two share their language, so that the user's
    // regional settings apply; else the locale of the dialect's language tag. Null when none can
    // be made.
    const cf::Locale* GetCFLocaleRef() const;
    std::shared_ptr<const cf::Locale> RetainCFLocaleRef() const;
    static std::shared_ptr<const cf::Locale> CreateCFLocaleRef(uint32_t inDialect);

    // A value of the locale; false, with the text untouched, when there is no locale.
    bool GetLocaleValue(ELocaleValue inWhich, VString& outValue) const;
    // The pattern of the locale's format for a date style and a time style; false without locale.
    bool GetDateTimePattern(int32_t inDateStyle, int32_t inTimeStyle, VString& outPattern) const;
    bool GetAMPMSymbols(VString& outAM, VString& outPM) const;

    // Styles as the manager's formats (0 short, 1 medium, 2 long); see VIntlMgr.
    void FormatDate(const VTime& inTime, VString& outText, int32_t inFormat, bool inUseGMT) const;
    void FormatTime(const VTime& inTime, VString& outText, int32_t inFormat, bool inUseGMT) const;
    void FormatDuration(const VDuration& inDuration, VString& outText, int32_t inFormat) const;
    // The date-time in the platform's styles; the output is cleared first. A null date-time,
    // and a date style for the empty date, give an empty text.
    void FormatVTime(const VTime& inTime, VString& outText, int32_t inDateStyle, int32_t inTimeStyle,
                     bool inUseGMT) const;
    // The date-time by the best pattern of the locale for the fields of a template ("yMMMd").
    void FormatVTimeWithTemplate(const VTime& inTime, VString& outText, const VString& inTemplate,
                                 bool inUseGMT) const;
    // The time of day of the duration's hours, minutes and seconds, in universal time.
    void FormatVDuration(const VDuration& inDuration, VString& outText, int32_t inTimeStyle) const;

    // Month 1 to 12, day 0 (Sunday) to 6; false, with the name untouched, when out of range or
    // when the names cannot be loaded.
    bool GetMonthName(int32_t inMonth, bool inShort, VString& outName) const;
    bool GetWeekDayName(int32_t inDay, bool inShort, VString& outName) const;
    // Loads the four lists of names (once); true when all four exist.
    bool LoadCalendarSymbols() const;

    // Maps the source into the destination, whose capacity ioLength gives; ioLength becomes the
    // whole result's length, which may exceed the capacity (then only the units that fit are
    // meaningful). False when the mapping failed or gave nothing for a non-empty source.
    static bool ToUpperLowerCase(const UniChar* inSource, int32_t inLength, UniChar* outDestination,
                                 int32_t& ioLength, bool inUpper);

    // The user's preferred languages as canonical language tags, most preferred first; from the
    // system's language preference when inUIPreference.
    static void GetPreferredLanguages(std::vector<VString>& outLanguages, bool inUIPreference);

    // A new platform converter for the set, with one reference for the caller; null when the
    // platform cannot convert the set.
    static VToUnicodeConverter* NewToUnicodeConverter(CharSet inCharSet);
    static VFromUnicodeConverter* NewFromUnicodeConverter(CharSet inCharSet);

    // Two names in the platform's order, where case, diacritics and width do not count: -1, 0 or 1.
    static int32_t CompareNames(const UniChar* inName1, int32_t inLength1, const UniChar* inName2,
                                int32_t inLength2);

private:
    struct CalendarNames;

    // Both made once, on first use, so that a manager used from several threads (the process's,
    // while no task has its own) makes them once.
    uint32_t fDialect;
    mutable std::once_flag fLocaleOnce;
    mutable std::shared_ptr<const cf::Locale> fLocale;
    mutable std::once_flag fCalendarNamesOnce;
    mutable std::unique_ptr<CalendarNames> fCalendarNames;
};

} // namespace kova
