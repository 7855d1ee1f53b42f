// The text forms of VTime: RFC 3339 (also its XML and JSON forms), the simple numeric and "!"
// forms, RFC 822, the localized form and the compiler's build date.
//
// The readers take text from outside: every number is read with its bounds checked, and a field
// that would not fit its 16 bits makes the value null instead of wrapping into another date.
#include "kernel/values/VTime.h"

#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kova
{

namespace
{

constexpr int64_t kHour = VDuration::kMillisecondsPerHour;
constexpr int64_t kMinute = VDuration::kMillisecondsPerMinute;
constexpr int64_t kSecond = VDuration::kMillisecondsPerSecond;

// Numbers read from text stop growing here: far beyond every field, and the sums of the fields
// still fit 64 bits.
constexpr int64_t kNumberCeiling = 1000000000;

const char* const kWeekDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLowerMonthNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};

// The room of the readers' C text, terminator included; longer text is cut.
constexpr size_t kTextRoom = 256;

void SetFromCText(VString& outText, const char* inText, int inLength)
{
    UniChar units[kTextRoom];
    int32_t length = inLength < 0 ? 0 : (inLength > int(kTextRoom) - 1 ? int(kTextRoom) - 1 : inLength);
    for (int32_t i = 0; i < length; ++i)
        units[i] = UniChar(uint8_t(inText[i]));
    outText.FromUniString(units, length);
}

bool IsCSpace(char inCharacter)
{
    return inCharacter == ' ' || (inCharacter >= '\t' && inCharacter <= '\r');
}

bool IsASCIIDigit(uint32_t inUnit)
{
    return inUnit >= '0' && inUnit <= '9';
}

// The RFC 3339 text read on its units: every field has its digits, ASCII ones only, and nothing
// may stand before or after the form.
class Rfc3339Reader
{
public:
    Rfc3339Reader(const UniChar* inUnits, int32_t inLength) : fUnits(inUnits), fLength(inLength) {}

    bool AtEnd() const { return fPosition == fLength; }
    int32_t Position() const { return fPosition; }

    // Exactly inCount digits.
    bool Digits(int inCount, int64_t& outValue)
    {
        if (fLength - fPosition < inCount)
            return false;
        int64_t value = 0;
        for (int i = 0; i < inCount; ++i)
        {
            const UniChar unit = fUnits[fPosition + i];
            if (!IsASCIIDigit(unit))
                return false;
            value = value * 10 + (unit - u'0');
        }
        fPosition += inCount;
        outValue = value;
        return true;
    }

    // One of the units (a letter in either case, a sign).
    bool Take(UniChar inUnit, UniChar inOtherCase = 0)
    {
        if (fPosition < fLength &&
            (fUnits[fPosition] == inUnit || (inOtherCase != 0 && fUnits[fPosition] == inOtherCase)))
        {
            ++fPosition;
            return true;
        }
        return false;
    }

    // "." and one or more digits: the milliseconds of the first three, the rest cut.
    bool Fraction(int64_t& outMilliseconds)
    {
        outMilliseconds = 0;
        if (!Take(u'.'))
            return true;
        int digits = 0;
        for (; fPosition < fLength && IsASCIIDigit(fUnits[fPosition]); ++fPosition, ++digits)
        {
            if (digits < 3)
                outMilliseconds = outMilliseconds * 10 + (fUnits[fPosition] - u'0');
        }
        for (int i = digits; i < 3; ++i)
            outMilliseconds *= 10;
        return digits > 0;
    }

    // "Z", "z", or a sign and hh:mm of at most 23:59; outMinutes east of universal time. False
    // for anything else; outZone tells whether a zone was there at all.
    bool Zone(bool& outZone, int64_t& outMinutes)
    {
        outZone = false;
        outMinutes = 0;
        if (AtEnd())
            return true;
        outZone = true;
        if (Take(u'Z', u'z'))
            return true;
        const bool negative = fUnits[fPosition] == u'-';
        if (!Take(u'+') && !Take(u'-'))
            return false;
        int64_t hours = 0;
        int64_t minutes = 0;
        if (!Digits(2, hours) || !Take(u':') || !Digits(2, minutes) || hours > 23 || minutes > 59)
            return false;
        outMinutes = (negative ? -1 : 1) * (hours * 60 + minutes);
        return true;
    }

private:
    const UniChar* fUnits;
    int32_t fLength;
    int32_t fPosition = 0;
};

// An unsigned decimal number of a run of digits, held below the ceiling.
void Accumulate(int64_t& ioValue, uint32_t inDigit)
{
    if (ioValue < kNumberCeiling)
        ioValue = ioValue * 10 + inDigit;
}

// The C library's atoi, bounded.
int64_t ReadCompilerNumber(const char* inText)
{
    while (IsCSpace(*inText))
        ++inText;
    bool negative = *inText == '-';
    if (*inText == '+' || *inText == '-')
        ++inText;
    int64_t value = 0;
    for (; IsASCIIDigit(uint8_t(*inText)); ++inText)
        Accumulate(value, uint32_t(*inText - '0'));
    return negative ? -value : value;
}

// The dates the RFC 3339 reader accepts: a month, a day of that month and a year below 22001.
bool IsTextDate(int64_t inYear, int64_t inMonth, int64_t inDay)
{
    static constexpr int64_t kDaysInMonth[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (inMonth < 1 || inMonth > 12 || inYear >= 22001 || inDay < 1 || inDay > kDaysInMonth[inMonth])
        return false;
    bool leap = (inYear % 4 == 0 && inYear % 100 != 0) || inYear % 400 == 0;
    return inMonth != 2 || inDay != 29 || leap;
}

// Days since day 0 times 86 400 plus the seconds of the day, for the offset between two sets of
// fields.
int64_t SecondsOf(const int16_t inFields[7])
{
    return int64_t(VTime::ComputeJulianDay(inFields[0], inFields[1], inFields[2])) * 86400 +
           inFields[3] * 3600 + inFields[4] * 60 + inFields[5];
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Fields from text

void VTime::_FromTextFields(const int64_t inFields[7], bool inLocal)
{
    if (inFields[0] == 0 && inFields[1] == 0 && inFields[2] == 0)
    {
        // The empty date keeps its time of day unchecked, as FromUTCTime does, while the field can
        // hold it: a negative or larger time would wrap into another.
        int64_t timeOfDay = inFields[3] * kHour + inFields[4] * kMinute + inFields[5] * kSecond + inFields[6];
        if (timeOfDay < 0 || timeOfDay > int64_t(UINT32_MAX))
        {
            _MakeNull();
            return;
        }
        _SetFields(0, 0, 0, uint32_t(timeOfDay));
        _MarkSet();
        return;
    }
    int16_t fields[7];
    for (int i = 0; i < 7; ++i)
    {
        if (inFields[i] < INT16_MIN || inFields[i] > INT16_MAX)
        {
            _MakeNull();
            return;
        }
        fields[i] = int16_t(inFields[i]);
    }
    if (inLocal)
        FromLocalTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    else
        FromUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
}

// ---------------------------------------------------------------------------------------------
// RFC 3339

void VTime::GetRfc3339String(VString& outText, uint32_t inOptions) const
{
    char buffer[255];
    if (IsNull())
    {
        SetFromCText(outText, "0000-00-00T00:00:00Z", 20);
        return;
    }
    int16_t fields[7];
    GetUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    bool universal = (inOptions & 1) != 0;
    bool withOffset = !universal && (inOptions & 2) == 0;
    long offset = 0;
    if (!universal)
    {
        int16_t utc[7];
        std::memcpy(utc, fields, sizeof(utc));
        VSystem::UTCToLocalTime(fields);
        // The offset in force at that date, so that the text names the same instant; the empty
        // date is no instant and takes the current one.
        offset = IsEmptyDate() ? long(VSystem::GetGMTOffset(true)) : long(SecondsOf(fields) - SecondsOf(utc));
    }
    int y = fields[0], mo = fields[1], d = fields[2], h = fields[3], mi = fields[4], s = fields[5],
        ms = fields[6];
    bool timeOnly = (inOptions & 4) != 0;
    bool dateOnly = !timeOnly && (inOptions & 8) != 0;
    if (!timeOnly && !dateOnly && (inOptions & 16) != 0)
        y = mo = d = 0;
    int length;
    if (withOffset)
    {
        char sign = offset >= 0 ? '+' : '-';
        long size = offset >= 0 ? offset : -offset;
        long offsetHours = size / 3600;
        long offsetMinutes = size % 3600 / 60;
        if (timeOnly)
            length = std::snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d%c%02ld:%02ld", h, mi, s, sign,
                                   offsetHours, offsetMinutes);
        else if (dateOnly)
            length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d%c%02ld:%02ld", y, mo, d, sign,
                                   offsetHours, offsetMinutes);
        else
            length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", y,
                                   mo, d, h, mi, s, sign, offsetHours, offsetMinutes);
    }
    else
    {
        const char* zone = universal ? "Z" : "";
        if (timeOnly)
            length = std::snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d%s", h, mi, s, zone);
        else if (dateOnly)
            length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d", y, mo, d);
        else if ((inOptions & 32) != 0)
            length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02dT%02d:%02d:%02d%s", y, mo, d, h, mi,
                                   s, zone);
        else
            length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%s", y, mo, d,
                                   h, mi, s, ms, zone);
    }
    SetFromCText(outText, buffer, length);
}

// The forms: date-time "YYYY-MM-DDThh:mm:ss[.fraction][zone]", date "YYYY-MM-DD[zone]", time
// "hh:mm[:ss[.fraction]][zone]" and a count of seconds; zone "Z" or "+hh:mm" / "-hh:mm", "T" and
// "Z" in either case. Hour 23, minute 59 and second 60 at most: a leap second reads as the last
// millisecond of its minute. A fraction is cut to milliseconds, never rounded into the next second.
bool VTime::FromRfc3339String(const VString& inText)
{
    auto refuse = [this]
    {
        _MakeNull();
        return false;
    };
    const int32_t length = inText.IsNull() ? 0 : inText.GetLength();
    if (length == 0)
        return refuse();
    const UniChar* units = inText.GetCPointer();
    Rfc3339Reader reader(units, length);

    int64_t fields[7] = {0, 0, 0, 0, 0, 0, 0};
    bool dateForm = false;
    bool timeForm = false;
    if (length > 4 && units[4] == u'-')
    {
        dateForm = true;
        if (!reader.Digits(4, fields[0]) || !reader.Take(u'-') || !reader.Digits(2, fields[1]) ||
            !reader.Take(u'-') || !reader.Digits(2, fields[2]))
            return refuse();
        timeForm = reader.Take(u'T', u't');
    }
    else if (length > 2 && units[2] == u':')
    {
        timeForm = true;
    }
    else
    {
        // A count of seconds: its whole hours and minutes, the seconds left over dropped.
        int64_t count = 0;
        if (length > 10 || !reader.Digits(length, count) || count > INT32_MAX)
            return refuse();
        fields[3] = count / 3600;
        fields[4] = count % 3600 / 60;
    }
    if (timeForm)
    {
        const bool optionalSeconds = !dateForm;
        if (!reader.Digits(2, fields[3]) || !reader.Take(u':') || !reader.Digits(2, fields[4]))
            return refuse();
        if (reader.Take(u':'))
        {
            if (!reader.Digits(2, fields[5]) || !reader.Fraction(fields[6]))
                return refuse();
        }
        else if (!optionalSeconds)
        {
            return refuse();
        }
        if (fields[3] > 23 || fields[4] > 59 || fields[5] > 60)
            return refuse();
        if (fields[5] == 60)
        {
            fields[5] = 59;
            fields[6] = 999;
        }
    }
    bool zone = false;
    int64_t offsetMinutes = 0;
    if (!reader.Zone(zone, offsetMinutes) || !reader.AtEnd())
        return refuse();

    const bool dateIsZero = fields[0] == 0 && fields[1] == 0 && fields[2] == 0;
    if (dateIsZero)
    {
        // The empty date holds the time of day; a time-only text's zone is not applied. The text
        // that null writes gives null.
        if (dateForm && timeForm && fields[3] == 0 && fields[4] == 0 && fields[5] == 0 && fields[6] == 0)
        {
            _MakeNull();
            return true;
        }
        _FromTextFields(fields, false);
        return !IsNull();
    }
    if (!IsTextDate(fields[0], fields[1], fields[2]))
        return refuse();
    // A date without a zone is universal time; a date-time without one is local time.
    if (!zone && timeForm)
    {
        _FromTextFields(fields, true);
        return !IsNull();
    }
    _FromTextFields(fields, false);
    if (IsNull())
        return false;
    // The fields are the local time of that offset: universal time is that much earlier.
    if (offsetMinutes != 0)
        AddSeconds(-int32_t(offsetMinutes * 60));
    return true;
}

// ---------------------------------------------------------------------------------------------
// XML and JSON

void VTime::GetXMLString(VString& outText, uint32_t inOptions) const
{
    GetRfc3339String(outText, inOptions);
}

bool VTime::FromXMLString(const VString& inText)
{
    const UniChar* units = inText.GetCPointer();
    int32_t length = inText.GetLength();
    if (length >= 3 && units[0] == u'!' && units[1] == u'!')
    {
        VString inner;
        if (length > 4)
            inner.FromUniString(units + 2, length - 4);
        return FromRfc3339String(inner);
    }
    for (int32_t i = 0; i < length; ++i)
    {
        if (units[i] == u'!')
        {
            FromString(inText);
            return true;
        }
    }
    return FromRfc3339String(inText);
}

VError VTime::GetJSONString(VString& outText, uint32_t inOptions) const
{
    uint32_t options = ((inOptions & 0x200) != 0 && fMilliseconds == 0) ? 9 : 1;
    GetRfc3339String(outText, options);
    if ((inOptions & 0x1000) != 0)
    {
        VString wrapped(u"!!");
        wrapped.AppendString(outText);
        wrapped.AppendUniChars(u"!!", 2);
        outText.FromString(wrapped);
    }
    if ((inOptions & 1) != 0)
    {
        VString quoted(u"\"");
        quoted.AppendString(outText);
        quoted.AppendUniChar(u'"');
        outText.FromString(quoted);
    }
    return VE_OK;
}

VError VTime::FromJSONString(const VString& inText, uint32_t)
{
    FromXMLString(inText);
    return VE_OK;
}

VError VTime::FromJSONValue(const VJSONValue& inJSONValue)
{
    if (inJSONValue.IsNull())
    {
        SetNull(true);
        return VE_OK;
    }
    VString text;
    inJSONValue.GetString(text);
    FromXMLString(text);
    return VE_OK;
}

VError VTime::GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const
{
    if (IsNull())
    {
        outJSONValue.SetNull();
    }
    else if ((inOptions & 1) != 0)
    {
        outJSONValue.SetTime(*this);
    }
    else
    {
        VString text;
        GetJSONString(text, 0);
        outJSONValue.SetString(text);
    }
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Simple numeric forms

void VTime::FromString(const VString& inText)
{
    int64_t numbers[7] = {0, 0, 0, 0, 0, 0, 0};
    int count = 0;
    bool inNumber = false;
    bool bangForm = false;
    const UniChar* units = inText.GetCPointer();
    for (int32_t i = 0; i < inText.GetLength() && count < 7; ++i)
    {
        UniChar unit = units[i];
        if (IsASCIIDigit(unit))
        {
            Accumulate(numbers[count], uint32_t(unit - u'0'));
            inNumber = true;
            continue;
        }
        // The numbers completed before this character.
        int completed = count;
        if (inNumber)
        {
            ++count;
            inNumber = false;
        }
        if (unit == u'!' && !bangForm)
        {
            if (completed > 0)
                break;
            bangForm = true;
        }
    }
    if (bangForm)
    {
        const int64_t fields[7] = {numbers[2], numbers[1], numbers[0], 0, 0, 0, 0};
        _FromTextFields(fields, false);
    }
    else
    {
        _FromTextFields(numbers, false);
    }
}

void VTime::toSimpleDateString(VString& outText) const
{
    if (IsNull())
    {
        outText.SetNull(true);
        return;
    }
    char buffer[64];
    int length = std::snprintf(buffer, sizeof(buffer), "%d!%d!%d", int(fDay), int(fMonth), int(fYear));
    SetFromCText(outText, buffer, length);
}

void VTime::GetStringLocalTime(VString& outText) const
{
    outText.Clear();
    if (IsNull())
        return;
    int16_t fields[7];
    _GetLocalFields(fields);
    char buffer[64];
    int length = std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d:%03d", fields[0],
                               fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    SetFromCText(outText, buffer, length);
}

// ---------------------------------------------------------------------------------------------
// Localized forms

void VTime::FormatByOS(VString& outText, bool inUseGMT) const
{
    if (IsNull())
    {
        outText.Clear();
        return;
    }
    VString date;
    VString time;
    FormatByOS(date, time, inUseGMT);
    date.AppendUniChar(u' ');
    date.AppendString(time);
    outText.FromString(date);
}

void VTime::FormatByOS(VString& outDate, VString& outTime, bool inUseGMT) const
{
    outDate.Clear();
    outTime.Clear();
    VIntlMgr* manager = VTask::GetCurrentIntlManager();
    if (IsNull() || manager == nullptr)
        return;
    manager->FormatDate(*this, outDate, eOS_SHORT_FORMAT, inUseGMT);
    manager->FormatTime(*this, outTime, eOS_SHORT_FORMAT, inUseGMT);
}

void VTime::GetString(VString& outText) const
{
    FormatByOS(outText, true);
}

// ---------------------------------------------------------------------------------------------
// RFC 822

void VTime::GetRfc822String(VString& outText) const
{
    int16_t fields[7];
    GetUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    // Names only for a date: the empty date and unchecked fields name no day.
    bool named = !IsNull() && CheckDate(fields[0], fields[1], fields[2]);
    char buffer[128];
    int length =
        std::snprintf(buffer, sizeof(buffer), "%s, %02d %s %04d %02d:%02d:%02d GMT",
                      named ? kWeekDayNames[ComputeWeekDay(fields[0], fields[1], fields[2])] : "", fields[2],
                      named ? kMonthNames[fields[1] - 1] : "", fields[0], fields[3], fields[4], fields[5]);
    SetFromCText(outText, buffer, length);
}

void VTime::FromRfc822String(const VString& inText)
{
    if (inText.IsEmpty())
    {
        Clear();
        return;
    }
    const VIntlMgr* manager = VTask::GetCurrentIntlManager();
    // A digit is one whose value is known.
    auto isDigit = [manager](UniChar inUnit)
    { return IsASCIIDigit(inUnit) && (manager == nullptr || manager->IsDigit(inUnit)); };
    auto isAlpha = [manager](UniChar inUnit)
    {
        if (manager != nullptr)
            return manager->IsAlpha(inUnit);
        return (inUnit >= u'a' && inUnit <= u'z') || (inUnit >= u'A' && inUnit <= u'Z');
    };
    const UniChar* units = inText.GetCPointer();
    const int32_t length = inText.GetLength();
    int32_t position = 0;
    // The next run of digits as a number; false when the text has none left.
    auto nextNumber = [&](int64_t& outValue) -> bool
    {
        while (position < length && !isDigit(units[position]))
            ++position;
        if (position == length)
            return false;
        for (; position < length && isDigit(units[position]); ++position)
            Accumulate(outValue, uint32_t(units[position] - u'0'));
        return true;
    };

    // Day, month, year, hour, minute, second.
    int64_t day = 0;
    int64_t month = 0;
    int64_t rest[4] = {0, 0, 0, 0};
    nextNumber(day);
    while (position < length && !isAlpha(units[position]))
        ++position;
    int32_t nameStart = position;
    while (position < length && isAlpha(units[position]))
        ++position;
    if (position > nameStart)
    {
        for (int32_t m = 0; m < 12 && month == 0; ++m)
        {
            UniChar name[3] = {UniChar(kMonthNames[m][0]), UniChar(kMonthNames[m][1]),
                               UniChar(kMonthNames[m][2])};
            bool equal =
                manager != nullptr
                    ? manager->EqualString(units + nameStart, position - nameStart, name, 3, false)
                    : (position - nameStart == 3 && std::memcmp(units + nameStart, name, sizeof(name)) == 0);
            if (equal)
                month = m + 1;
        }
    }
    for (int64_t& number : rest)
    {
        if (!nextNumber(number))
            break;
    }
    const int64_t fields[7] = {rest[0], month, day, rest[1], rest[2], rest[3], 0};
    _FromTextFields(fields, false);
}

// ---------------------------------------------------------------------------------------------
// Build date and time

void VTime::FromCompilerDateTime(const char* inDate, const char* inTime)
{
    char joined[255];
    int length = std::snprintf(joined, sizeof(joined), "%s %s", inDate != nullptr ? inDate : "",
                               inTime != nullptr ? inTime : "");
    if (length < 0 || length >= int(sizeof(joined)))
    {
        // Cut, it would name another time.
        _MakeNull();
        return;
    }
    // Month name, day, year, hour, minute, second.
    int64_t fields[7] = {0, 0, 0, 0, 0, 0, 0};
    int token = 0;
    for (char* cursor = joined; *cursor != 0 && token < 6;)
    {
        size_t skipped = std::strspn(cursor, " ,:");
        cursor += skipped;
        size_t size = std::strcspn(cursor, " ,:");
        if (size == 0)
            break;
        char saved = cursor[size];
        cursor[size] = 0;
        if (token == 0)
        {
            for (int m = 0; m < 12; ++m)
            {
                if (std::strcmp(cursor, kLowerMonthNames[m]) == 0 || std::strcmp(cursor, kMonthNames[m]) == 0)
                    fields[1] = m + 1;
            }
        }
        else
        {
            static constexpr int kFieldOfToken[6] = {1, 2, 0, 3, 4, 5};
            fields[kFieldOfToken[token]] = ReadCompilerNumber(cursor);
        }
        cursor[size] = saved;
        cursor += size;
        ++token;
    }
    _FromTextFields(fields, true);
}

} // namespace kova
