// VTime is the value of kind 8: a calendar date and a time of day in universal time (UTC), kept
// as broken-down fields (year, month, day, milliseconds of the day) rather than as a count. Log
// files and records, file dates, errors and JSON dates are made of it.
//
// A date-time is null, the empty date (year, month and day 0: no date, though the millisecond
// field may still hold a time of day), or a date. Arithmetic goes through a day number of the
// proleptic Gregorian calendar and the millisecond scale t = day number x 86 400 000 + ms, on
// which the empty date is 0 and null is -1. A result on that scale that names no date of the
// years 0 to 32767 is refused: the fields and the null state stay as they were, though the
// operation still marks the date-time dirty, as it does on success.
//
// Local time is the system's zone (VSystem): converting loses no millisecond, which stays UTC's.
#pragma once

#include "kernel/values/VDuration.h"
#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VTime;

// The packed datum is the time stamp, ordered as an unsigned number.
using VTime_info = VValueInfo_scalar<VTime, VK_TIME, uint64_t>;

enum VTimeInitParam
{
    eInitWithZero = 0,
    eInitWithCurrentTime = 1,
};

class VTime : public VValueSingle
{
public:
    // The empty date at 0 ms.
    VTime();
    explicit VTime(VTimeInitParam inInit);
    // From a time stamp: year << 48 | month << 40 | day << 32 | milliseconds.
    explicit VTime(uint64_t inStamp);
    // inInit true gives the empty date without reading the address.
    VTime(const uint64_t* inStamp, bool inInit);
    VTime(const VTime& inOther);
    VTime& operator=(const VTime& inOther);
    ~VTime() override;

    // Universal fields. An invalid set makes the date-time null; year, month and day all 0 store
    // the empty date with the time of day, unchecked.
    void FromUTCTime(int16_t inYear, int16_t inMonth, int16_t inDay, int16_t inHour, int16_t inMinute,
                     int16_t inSecond, int16_t inMillisecond);
    // All 0 when null.
    void GetUTCTime(int16_t& outYear, int16_t& outMonth, int16_t& outDay, int16_t& outHour,
                    int16_t& outMinute, int16_t& outSecond, int16_t& outMillisecond) const;

    // Local fields, through the system's zone.
    void FromLocalTime(int16_t inYear, int16_t inMonth, int16_t inDay, int16_t inHour, int16_t inMinute,
                       int16_t inSecond, int16_t inMillisecond);
    void GetLocalTime(int16_t& outYear, int16_t& outMonth, int16_t& outDay, int16_t& outHour,
                      int16_t& outMinute, int16_t& outSecond, int16_t& outMillisecond) const;
    int16_t GetLocalYear() const;
    int16_t GetLocalMonth() const;
    int16_t GetLocalDay() const;
    int16_t GetLocalHour() const;
    int16_t GetLocalMinute() const;
    int16_t GetLocalSecond() const;
    int16_t GetLocalMillisecond() const;
    VDuration GetLocalDurationSinceMidnight() const;
    // Seconds since 1970 of the local fields as the C library reads them (mktime), or
    // milliseconds when inMilliseconds.
    int64_t GetLocalUnixTime(bool inMilliseconds) const;
    // Set one local field. The year and month setters keep the other fields (a day that the new
    // month lacks makes the date-time null); the day setter counts through the day number and
    // the time setters through the millisecond scale, so that values out of range carry.
    void SetLocalYear(int32_t inYear);
    void SetLocalMonth(int32_t inMonth);
    void SetLocalDay(int32_t inDay);
    void SetLocalHour(int32_t inHour);
    void SetLocalMinute(int32_t inMinute);
    void SetLocalSecond(int32_t inSecond);
    void SetLocalMillisecond(int32_t inMillisecond);

    // The current time. FromSystemTime stores the clock's fields unchecked.
    void FromSystemTime();
    static void Now(VTime& outTime);
    // Today's local midnight, then inMilliseconds later.
    void FromToday(int32_t inMilliseconds);

    void FromStamp(uint64_t inStamp);
    uint64_t GetStamp() const;
    void NullIfZero();
    bool IsEmptyDate() const { return fYear == 0 && fMonth == 0 && fDay == 0; }

    // Calendar.
    static int32_t ComputeJulianDay(int32_t inYear, int32_t inMonth, int32_t inDay);
    // 0 is Sunday, 6 Saturday.
    static int32_t ComputeWeekDay(int32_t inYear, int32_t inMonth, int32_t inDay);
    static int32_t ComputeYearDay(int32_t inYear, int32_t inMonth, int32_t inDay);
    static bool CheckDate(int16_t inYear, int16_t inMonth, int16_t inDay);
    static bool IsLeapYear(int16_t inYear);
    // -1 when null.
    int32_t GetJulianDay() const;
    // Milliseconds become 0; the date-time becomes not null.
    void FromJulianDay(int32_t inDayNumber);
    int32_t GetWeekDay() const;
    int32_t GetYearDay() const;
    // The date in the Julian calendar; all 0 when null.
    void GetJulianDate(int16_t& outYear, int16_t& outMonth, int16_t& outDay) const;
    // The inverse of GetJulianDate: a date of the Julian calendar (its leap years every fourth
    // year), stored at midnight; an invalid date makes the date-time null.
    void FromJulianDate(int16_t inYear, int16_t inMonth, int16_t inDay);

    // The millisecond scale: -1 null, 0 the empty date.
    int64_t GetMilliseconds() const;
    void FromMilliseconds(int64_t inMilliseconds);

    // Arithmetic on the millisecond scale.
    void AddMilliseconds(int64_t inCount);
    void AddSeconds(int32_t inCount);
    void AddMinutes(int32_t inCount);
    void AddHours(int32_t inCount);
    void AddDays(int32_t inCount);
    void Add(const VDuration& inDuration);
    void Substract(const VDuration& inDuration);
    // This date-time minus the other, null counting as -1 and the empty date as 0.
    void Substract(const VTime& inOther, VDuration& outDuration) const;

    // Calendar arithmetic on the fields, unchecked: the day stays even when the month is shorter.
    void AddYears(int32_t inCount);
    void AddMonths(int32_t inCount);

    // Text forms. Every reader leaves the date-time valid, the empty date or null, and raises
    // nothing; numbers too large for a field make it null rather than wrap.
    //
    // RFC 3339. Options: 1 universal time with "Z"; 2 (without 1) local time without suffix;
    // neither: local time and its offset from universal time ("+01:00"), the offset in force at
    // that date. 4 the time only; 8 (without 4) the date only; 16 the full form with a zero date;
    // 32 the full form of 1 and 2 without milliseconds. Null writes "0000-00-00T00:00:00Z".
    void GetRfc3339String(VString& outText, uint32_t inOptions) const;
    // Date-time, date, time ("12:30:15") or a count of seconds; a "Z" or a text shorter than 11
    // characters means universal time, a trailing offset shifts it, else the text is local time.
    // A date or time of 0 gives the empty date (the null text "0000-00-00T00:00:00Z" gives null);
    // both answer true. An impossible date or time, and a text of no such form, make the date-time
    // null and answer false.
    bool FromRfc3339String(const VString& inText);
    // The RFC 3339 text.
    void GetXMLString(VString& outText, uint32_t inOptions) const override;
    // "!!text!!" and texts without "!" are RFC 3339 texts; a text with "!" is read by FromString
    // (answering true).
    bool FromXMLString(const VString& inText) override;
    // Universal time with milliseconds, or the date alone at midnight with JSON option 0x200;
    // option 0x1000 wraps the text in "!!", option 1 in double quotes. Answers 0.
    VError GetJSONString(VString& outText, uint32_t inOptions) const override;
    // FromXMLString; answers 0.
    VError FromJSONString(const VString& inText, uint32_t inOptions) override;
    // JSON null makes the time null; any other value is read from its text (FromXMLString).
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // JSON null for a null time; with option 1 a JSON date, otherwise the JSON string of
    // GetJSONString with options 0.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;
    // Up to seven numbers: year, month, day, hour, minute, second, millisecond, in universal time,
    // any non-digit between them ("2026-12-08 13:45:30:250"); or, when a "!" ends or precedes the
    // first number, day, month and year at midnight ("8!12!2026").
    void FromString(const VString& inText) override;
    // Day, month and year joined by "!"; null for a null date-time.
    void toSimpleDateString(VString& outText) const;
    // "YYYY-MM-DD hh:mm:ss:mmm" in local time (the millisecond is universal time's); empty when null.
    void GetStringLocalTime(VString& outText) const;
    // The short date and time of the current task's international manager, joined by a space.
    void FormatByOS(VString& outText, bool inUseGMT) const;
    void FormatByOS(VString& outDate, VString& outTime, bool inUseGMT) const;
    // FormatByOS in universal time.
    void GetString(VString& outText) const override;
    // "Tue, 08 Dec 2026 13:45:30 GMT"; a null date-time or the empty date has no names.
    void GetRfc822String(VString& outText) const;
    // Day, month name, year, hour, minute, second in universal time; the zone is not read. An empty
    // text gives the empty date; a month name that is none, or a missing part, gives null.
    void FromRfc822String(const VString& inText);
    // The compiler's build date ("Feb  3 2026") and time ("09:05:00"), local time.
    void FromCompilerDateTime(const char* inDate, const char* inTime);

    // Field by field: year (signed), month, day, milliseconds; the null state takes no part.
    bool operator==(const VTime& inOther) const;
    bool operator!=(const VTime& inOther) const { return !(*this == inOther); }
    bool operator<(const VTime& inOther) const { return _Compare(inOther) == CR_SMALLER; }
    bool operator>(const VTime& inOther) const { return _Compare(inOther) == CR_BIGGER; }
    bool operator<=(const VTime& inOther) const { return _Compare(inOther) != CR_BIGGER; }
    bool operator>=(const VTime& inOther) const { return _Compare(inOther) != CR_SMALLER; }

    // The value protocol.
    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override;
    // The empty date at 0 ms, not null, dirty.
    void Clear() override;
    bool CanBeEvaluated() const override;

    // The millisecond scale.
    int64_t GetLong8OrMilliSeconds() const override;
    // The time stamp.
    double GetReal() const override;
    void GetTime(VTime& outTime) const override;
    void GetValue(VValueSingle& outValue) const override;
    // Copies the fields and the null state; dirty only when the null state changed.
    void FromTime(const VTime& inTime) override;
    void FromValue(const VValueSingle& inValue) override;
    bool FromValueSameKind(const VValue* inValue) override;

    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const override;
    bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindWithOptions(const VValue* inValue,
                                               const VCompareOptions& inOptions) const override;
    bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    // Against the date-time of the time stamp at the address.
    CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtrWithOptions(const void* inData,
                                                  const VCompareOptions& inOptions) const override;

    // Packed form: the time stamp in the processor's order.
    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    // Stream form, 8 bytes: year (2, stream order), month, day, milliseconds (4, stream order).
    // Reading keeps the flags, and keeps the fields when the bytes could not be read.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VTime_info sInfo;

private:
    CompareResult _Compare(const VTime& inOther) const;
    // Sets the date-time from the millisecond scale; false, with nothing changed, for a value
    // that names no date of the years 0 to 32767.
    bool _FromScale(int64_t inMilliseconds);
    // t + inDelta on the millisecond scale; a sum that overflows or names no date changes no
    // field. Dirty either way.
    void _AddToScale(int64_t inDelta);
    // The empty date, null: what an invalid set of fields gives.
    void _MakeNull();
    void _SetFields(int16_t inYear, uint8_t inMonth, uint8_t inDay, uint32_t inMilliseconds);
    // Local fields of this date-time, a local change, then back through UTC.
    void _GetLocalFields(int16_t outFields[7]) const;
    int16_t _GetLocalField(int32_t inIndex) const;
    // Sets one local time field (3 hour to 6 millisecond) to inCount units.
    void _SetLocalTimeField(int32_t inField, int64_t inCount, int64_t inUnit);
    void _FromLocalFields(int16_t ioFields[7]);
    // Fields read from a text (year to millisecond). The empty date takes any time of day that
    // its field holds; otherwise a number beyond 16 bits makes the date-time null.
    void _FromTextFields(const int64_t inFields[7], bool inLocal);

    int16_t fYear = 0;
    uint8_t fMonth = 0;
    uint8_t fDay = 0;
    uint32_t fMilliseconds = 0;
};

} // namespace kova
