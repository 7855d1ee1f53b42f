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
#include "kernel/values/RealToInteger.h"

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

// The string as UTF-8 C text, cut to what fits; answers its length in bytes.
size_t ToCText(const VString& inText, char (&outText)[kTextRoom])
{
    int32_t consumed = 0;
    size_t produced = 0;
    VTextConverters::Get()->ConvertFromVString(inText, consumed, outText, kTextRoom - 1, produced, VTC_UTF_8);
    if (produced > kTextRoom - 1)
        produced = kTextRoom - 1;
    outText[produced] = 0;
    return std::strlen(outText);
}

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

// A decimal integer as the C library's "%d" reads it (white space, a sign, digits), at most
// inWidth characters after the white space when inWidth is not 0. A number beyond 32 bits is no
// number.
bool ReadInteger(const char*& ioCursor, int inWidth, int64_t& outValue)
{
    const char* cursor = ioCursor;
    int remaining = inWidth == 0 ? int(kTextRoom) : inWidth;
    bool negative = false;
    if (remaining > 0 && (*cursor == '+' || *cursor == '-'))
    {
        negative = *cursor == '-';
        ++cursor;
        --remaining;
    }
    int64_t magnitude = 0;
    int digits = 0;
    for (; remaining > 0 && IsASCIIDigit(uint8_t(*cursor)); ++cursor, --remaining, ++digits)
    {
        if (magnitude <= INT32_MAX)
            magnitude = magnitude * 10 + (*cursor - '0');
    }
    if (digits == 0 || magnitude > (negative ? int64_t(INT32_MAX) + 1 : INT32_MAX))
        return false;
    outValue = negative ? -magnitude : magnitude;
    ioCursor = cursor;
    return true;
}

// A real as "%lf" reads it, in the C conventions whatever the locale; what is not finite is no
// number.
bool ReadReal(const char*& ioCursor, double& outValue)
{
    const char* start = ioCursor;
    if (*start == '+' && start[1] != '-')
        ++start;
    double value = 0;
    auto [end, error] = std::from_chars(start, start + std::strlen(start), value);
    if (error != std::errc() || !std::isfinite(value))
        return false;
    outValue = value;
    ioCursor = end;
    return true;
}

// The C library's scanf for the directives the date readers use ("%d", "%2d", "%4d", "%lf" and
// plain characters), without its undefined behaviour on numbers out of range. The integers go to
// outIntegers in order, the real to outReal. Answers the number of directives converted.
int ScanText(const char* inText, const char* inFormat, int64_t* outIntegers, double* outReal)
{
    const char* cursor = inText;
    int converted = 0;
    for (const char* directive = inFormat; *directive != 0; ++directive)
    {
        if (*directive != '%')
        {
            if (*cursor != *directive)
                return converted;
            ++cursor;
            continue;
        }
        int width = 0;
        for (++directive; IsASCIIDigit(uint8_t(*directive)); ++directive)
            width = width * 10 + (*directive - '0');
        while (IsCSpace(*cursor))
            ++cursor;
        if (*directive == 'l')
        {
            ++directive; // the 'f' of "%lf"
            if (!ReadReal(cursor, *outReal))
                return converted;
        }
        else if (!ReadInteger(cursor, width, *outIntegers++))
        {
            return converted;
        }
        ++converted;
    }
    return converted;
}

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

bool VTime::FromRfc3339String(const VString& inText)
{
    if (inText.IsNull() || inText.IsEmpty())
    {
        _MakeNull();
        return false;
    }
    char text[kTextRoom];
    size_t length = ToCText(inText, text);

    enum Form
    {
        eDateTime,
        eTime,
        eSeconds,
        eDate
    };
    // Positions counted from 1; 0 when the character is absent.
    auto firstPosition = [&text](char inCharacter) -> size_t
    {
        const char* found = std::strchr(text, inCharacter);
        return found == nullptr ? 0 : size_t(found - text) + 1;
    };
    auto lastPosition = [&text](char inCharacter) -> size_t
    {
        const char* found = std::strrchr(text, inCharacter);
        return found == nullptr ? 0 : size_t(found - text) + 1;
    };
    size_t colon = firstPosition(':');
    Form form = firstPosition('T') == 11     ? eDateTime
                : (colon >= 3 && colon <= 5) ? eTime
                : firstPosition('-') != 5    ? eSeconds
                                             : eDate;

    // Year, month, day, hour, minute; the seconds as a real.
    int64_t numbers[5] = {0, 0, 0, 0, 0};
    double seconds = 0;
    bool read = false;
    switch (form)
    {
    case eDateTime:
        read = ScanText(text, "%4d-%2d-%2dT%2d:%2d:%lf", numbers, &seconds) == 6;
        break;
    case eDate:
        read = ScanText(text, "%4d-%2d-%2d", numbers, &seconds) == 3;
        break;
    case eTime:
    {
        int count = ScanText(text, "%d:%2d:%lf", numbers + 3, &seconds);
        read = count == 2 || count == 3;
        break;
    }
    case eSeconds:
    {
        int64_t count = 0;
        read = ScanText(text, "%d", &count, &seconds) == 1;
        // The whole hours and minutes of the count; its remaining seconds are dropped.
        numbers[3] = count / 3600;
        numbers[4] = count % 3600 / 60;
        break;
    }
    }
    if (!read)
    {
        _MakeNull();
        return false;
    }

    // The milliseconds of the three written digits come back exactly, though the real holds them
    // only approximately (30.123 is a little less).
    int64_t wholeSeconds = RealToInteger<int32_t>(seconds);
    int64_t milliseconds = RealToInteger<int32_t>((seconds - double(wholeSeconds)) * 1000.0 + 1e-6);
    if (milliseconds > 999)
        milliseconds = 999;

    bool universal = std::strchr(text, 'Z') != nullptr || length < 11;
    size_t sign = lastPosition('+');
    if (sign == 0)
    {
        sign = lastPosition('-');
        if ((form == eDate || form == eDateTime) && sign <= 10)
            sign = 0;
    }

    int64_t fields[7] = {numbers[0], numbers[1],   numbers[2],  numbers[3],
                         numbers[4], wholeSeconds, milliseconds};
    bool dateIsZero = fields[0] == 0 && fields[1] == 0 && fields[2] == 0;
    if (!dateIsZero && !IsTextDate(fields[0], fields[1], fields[2]))
    {
        // An impossible date counts as no date and no time.
        for (int64_t& field : fields)
            field = 0;
        dateIsZero = true;
    }
    if (dateIsZero)
    {
        bool allZero = fields[3] == 0 && fields[4] == 0 && fields[5] == 0 && fields[6] == 0;
        if (form == eDateTime && allZero)
        {
            // The text that null writes.
            _MakeNull();
            return true;
        }
        _FromTextFields(fields, false);
        return !IsNull();
    }
    if (universal)
    {
        _FromTextFields(fields, false);
        return true;
    }
    if (sign == 0)
    {
        _FromTextFields(fields, true);
        return true;
    }
    int64_t offset[2] = {0, 0};
    double unused = 0;
    if (ScanText(text + sign, "%2d:%2d", offset, &unused) < 2)
    {
        _MakeNull();
        return false;
    }
    if (text[sign - 1] == '-')
    {
        offset[0] = -offset[0];
        offset[1] = -offset[1];
    }
    // The fields are the local time of that offset: universal time is that much earlier.
    _FromTextFields(fields, false);
    if (!IsNull())
        AddSeconds(-int32_t((offset[0] * 60 + offset[1]) * 60));
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
