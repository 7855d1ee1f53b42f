#include "kernel/values/VTime.h"

#include "kernel/files/VStream.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/values/ByteSwap.h"

#include <cstring>
#include <ctime>

namespace kova
{

namespace
{

constexpr int64_t kDay = VDuration::kMillisecondsPerDay;
constexpr int64_t kHour = VDuration::kMillisecondsPerHour;
constexpr int64_t kMinute = VDuration::kMillisecondsPerMinute;
constexpr int64_t kSecond = VDuration::kMillisecondsPerSecond;

// Days before each month in a year that starts on 1 March (index = month).
constexpr int64_t kDaysBeforeMonth[13] = {0, 306, 337, 0, 31, 61, 92, 122, 153, 184, 214, 245, 275};
constexpr int32_t kDaysInMonth[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr int64_t FloorDiv(int64_t inNumerator, int64_t inDenominator)
{
    int64_t quotient = inNumerator / inDenominator;
    return (inNumerator % inDenominator != 0 && (inNumerator < 0) != (inDenominator < 0)) ? quotient - 1
                                                                                          : quotient;
}

constexpr int64_t DayNumber(int64_t inYear, int64_t inMonth, int64_t inDay)
{
    // Months outside the table carry into the years rather than read past it.
    if (inMonth < 0 || inMonth > 12)
    {
        inYear += FloorDiv(inMonth - 1, 12);
        inMonth = inMonth - 12 * FloorDiv(inMonth - 1, 12);
    }
    int64_t year = inMonth < 3 ? inYear - 1 : inYear;
    return inDay + kDaysBeforeMonth[inMonth] + 365 * year + FloorDiv(year, 4) - FloorDiv(year, 100) +
           FloorDiv(year, 400) + 1721118;
}

// The dates that the fields can hold: 0000-01-01 to 32767-12-31, last millisecond included.
constexpr int64_t kFirstScale = DayNumber(0, 1, 1) * kDay;
constexpr int64_t kLastScale = (DayNumber(32767, 12, 31) + 1) * kDay - 1;
static_assert(DayNumber(2000, 1, 1) == 2451544);

bool IsLeap(int64_t inYear)
{
    return (inYear % 4 == 0 && inYear % 100 != 0) || inYear % 400 == 0;
}

bool IsValidTimeOfDay(int16_t inHour, int16_t inMinute, int16_t inSecond, int16_t inMillisecond)
{
    return inHour >= 0 && inHour <= 23 && inMinute >= 0 && inMinute <= 59 && inSecond >= 0 &&
           inSecond <= 59 && inMillisecond >= 0 && inMillisecond <= 999;
}

} // namespace

const VTime_info VTime::sInfo;

VTime::VTime() = default;

VTime::VTime(VTimeInitParam inInit)
{
    if (inInit == eInitWithCurrentTime)
        Now(*this);
}

VTime::VTime(uint64_t inStamp)
{
    FromStamp(inStamp);
}

VTime::VTime(const uint64_t* inStamp, bool inInit)
{
    if (!inInit && inStamp != nullptr)
        FromStamp(*inStamp);
}

VTime::VTime(const VTime& inOther)
    : VValueSingle(inOther), fYear(inOther.fYear), fMonth(inOther.fMonth), fDay(inOther.fDay),
      fMilliseconds(inOther.fMilliseconds)
{
    fFlags |= kFlagDirty;
}

VTime& VTime::operator=(const VTime& inOther)
{
    FromTime(inOther);
    return *this;
}

VTime::~VTime() = default;

void VTime::_MakeNull()
{
    Clear();
    SetNull(true);
}

void VTime::_SetFields(int16_t inYear, uint8_t inMonth, uint8_t inDay, uint32_t inMilliseconds)
{
    fYear = inYear;
    fMonth = inMonth;
    fDay = inDay;
    fMilliseconds = inMilliseconds;
}

// ---------------------------------------------------------------------------------------------
// Fields

void VTime::FromUTCTime(int16_t inYear, int16_t inMonth, int16_t inDay, int16_t inHour, int16_t inMinute,
                        int16_t inSecond, int16_t inMillisecond)
{
    if (inYear == 0 && inMonth == 0 && inDay == 0)
    {
        int64_t timeOfDay = inHour * kHour + inMinute * kMinute + inSecond * kSecond + inMillisecond;
        _SetFields(0, 0, 0, uint32_t(timeOfDay));
        _MarkSet();
        return;
    }
    if (!CheckDate(inYear, inMonth, inDay) || !IsValidTimeOfDay(inHour, inMinute, inSecond, inMillisecond))
    {
        _MakeNull();
        return;
    }
    _SetFields(inYear, uint8_t(inMonth), uint8_t(inDay),
               uint32_t(inHour * kHour + inMinute * kMinute + inSecond * kSecond + inMillisecond));
    _MarkSet();
}

void VTime::GetUTCTime(int16_t& outYear, int16_t& outMonth, int16_t& outDay, int16_t& outHour,
                       int16_t& outMinute, int16_t& outSecond, int16_t& outMillisecond) const
{
    if (IsNull())
    {
        outYear = outMonth = outDay = outHour = outMinute = outSecond = outMillisecond = 0;
        return;
    }
    outYear = fYear;
    outMonth = fMonth;
    outDay = fDay;
    outHour = int16_t(fMilliseconds / kHour);
    outMinute = int16_t(fMilliseconds % kHour / kMinute);
    outSecond = int16_t(fMilliseconds % kMinute / kSecond);
    outMillisecond = int16_t(fMilliseconds % kSecond);
}

void VTime::_GetLocalFields(int16_t outFields[7]) const
{
    GetUTCTime(outFields[0], outFields[1], outFields[2], outFields[3], outFields[4], outFields[5],
               outFields[6]);
    VSystem::UTCToLocalTime(outFields);
}

int16_t VTime::_GetLocalField(int32_t inIndex) const
{
    int16_t fields[7];
    _GetLocalFields(fields);
    return fields[inIndex];
}

void VTime::_FromLocalFields(int16_t ioFields[7])
{
    // The zone's conversion would quietly move an impossible date (30 February) to another day.
    bool empty = ioFields[0] == 0 && ioFields[1] == 0 && ioFields[2] == 0;
    if (!empty && (!CheckDate(ioFields[0], ioFields[1], ioFields[2]) ||
                   !IsValidTimeOfDay(ioFields[3], ioFields[4], ioFields[5], ioFields[6])))
    {
        _MakeNull();
        return;
    }
    VSystem::LocalToUTCTime(ioFields);
    FromUTCTime(ioFields[0], ioFields[1], ioFields[2], ioFields[3], ioFields[4], ioFields[5], ioFields[6]);
}

void VTime::FromLocalTime(int16_t inYear, int16_t inMonth, int16_t inDay, int16_t inHour, int16_t inMinute,
                          int16_t inSecond, int16_t inMillisecond)
{
    int16_t fields[7] = {inYear, inMonth, inDay, inHour, inMinute, inSecond, inMillisecond};
    _FromLocalFields(fields);
}

void VTime::GetLocalTime(int16_t& outYear, int16_t& outMonth, int16_t& outDay, int16_t& outHour,
                         int16_t& outMinute, int16_t& outSecond, int16_t& outMillisecond) const
{
    int16_t fields[7];
    _GetLocalFields(fields);
    outYear = fields[0];
    outMonth = fields[1];
    outDay = fields[2];
    outHour = fields[3];
    outMinute = fields[4];
    outSecond = fields[5];
    outMillisecond = fields[6];
}

int16_t VTime::GetLocalYear() const
{
    return _GetLocalField(0);
}

int16_t VTime::GetLocalMonth() const
{
    return _GetLocalField(1);
}

int16_t VTime::GetLocalDay() const
{
    return _GetLocalField(2);
}

int16_t VTime::GetLocalHour() const
{
    return _GetLocalField(3);
}

int16_t VTime::GetLocalMinute() const
{
    return _GetLocalField(4);
}

int16_t VTime::GetLocalSecond() const
{
    return _GetLocalField(5);
}

int16_t VTime::GetLocalMillisecond() const
{
    return _GetLocalField(6);
}

VDuration VTime::GetLocalDurationSinceMidnight() const
{
    int16_t fields[7];
    _GetLocalFields(fields);
    return VDuration(fields[3] * kHour + fields[4] * kMinute + fields[5] * kSecond + fields[6]);
}

int64_t VTime::GetLocalUnixTime(bool inMilliseconds) const
{
    int16_t fields[7];
    _GetLocalFields(fields);
    tm local{};
    local.tm_year = fields[0] - 1900;
    local.tm_mon = fields[1] - 1;
    local.tm_mday = fields[2];
    local.tm_hour = fields[3];
    local.tm_min = fields[4];
    local.tm_sec = fields[5];
    local.tm_isdst = -1;
    int64_t seconds = int64_t(mktime(&local));
    return inMilliseconds ? seconds * 1000 + fields[6] : seconds;
}

void VTime::SetLocalYear(int32_t inYear)
{
    int16_t fields[7];
    _GetLocalFields(fields);
    if (inYear < 0 || inYear > INT16_MAX)
    {
        _MakeNull();
        return;
    }
    fields[0] = int16_t(inYear);
    _FromLocalFields(fields);
}

void VTime::SetLocalMonth(int32_t inMonth)
{
    int16_t fields[7];
    _GetLocalFields(fields);
    int64_t years = FloorDiv(int64_t(inMonth) - 1, 12);
    int64_t year = fields[0] + years;
    if (year < 0 || year > INT16_MAX)
    {
        _MakeNull();
        return;
    }
    fields[0] = int16_t(year);
    fields[1] = int16_t(inMonth - 12 * years);
    _FromLocalFields(fields);
}

void VTime::SetLocalDay(int32_t inDay)
{
    int16_t fields[7];
    _GetLocalFields(fields);
    int64_t dayNumber = DayNumber(fields[0], fields[1], fields[2]) - fields[2] + inDay;
    // Checked first: on the scale, day number 0 would read as the empty date.
    if (dayNumber * kDay < kFirstScale || dayNumber * kDay > kLastScale)
    {
        _MakeNull();
        return;
    }
    VTime date;
    date._FromScale(dayNumber * kDay);
    fields[0] = date.fYear;
    fields[1] = date.fMonth;
    fields[2] = date.fDay;
    _FromLocalFields(fields);
}

void VTime::_SetLocalTimeField(int32_t inField, int64_t inCount, int64_t inUnit)
{
    // The field is counted from 0 through the millisecond scale, so that a count out of its
    // range carries into the other fields.
    int16_t fields[7];
    _GetLocalFields(fields);
    fields[inField] = 0;
    int64_t scale = DayNumber(fields[0], fields[1], fields[2]) * kDay + fields[3] * kHour +
                    fields[4] * kMinute + fields[5] * kSecond + fields[6] + inCount * inUnit;
    if (scale < kFirstScale || scale > kLastScale)
    {
        _MakeNull();
        return;
    }
    VTime date;
    date._FromScale(scale);
    date.GetUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    _FromLocalFields(fields);
}

void VTime::SetLocalHour(int32_t inHour)
{
    _SetLocalTimeField(3, inHour, kHour);
}

void VTime::SetLocalMinute(int32_t inMinute)
{
    _SetLocalTimeField(4, inMinute, kMinute);
}

void VTime::SetLocalSecond(int32_t inSecond)
{
    _SetLocalTimeField(5, inSecond, kSecond);
}

void VTime::SetLocalMillisecond(int32_t inMillisecond)
{
    _SetLocalTimeField(6, inMillisecond, 1);
}

// ---------------------------------------------------------------------------------------------
// Current time, stamps

void VTime::FromSystemTime()
{
    int16_t fields[7];
    VSystem::GetSystemUTCTime(fields);
    _SetFields(fields[0], uint8_t(fields[1]), uint8_t(fields[2]),
               uint32_t(fields[3] * kHour + fields[4] * kMinute + fields[5] * kSecond + fields[6]));
    _MarkSet();
}

void VTime::Now(VTime& outTime)
{
    int16_t fields[7];
    VSystem::GetSystemUTCTime(fields);
    outTime.FromUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
}

void VTime::FromToday(int32_t inMilliseconds)
{
    int16_t fields[7];
    VSystem::GetSystemLocalTime(fields);
    fields[3] = fields[4] = fields[5] = fields[6] = 0;
    VSystem::LocalToUTCTime(fields);
    FromUTCTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    AddMilliseconds(inMilliseconds);
}

void VTime::FromStamp(uint64_t inStamp)
{
    _SetFields(int16_t(uint16_t(inStamp >> 48)), uint8_t(inStamp >> 40), uint8_t(inStamp >> 32),
               uint32_t(inStamp));
    _MarkSet();
}

uint64_t VTime::GetStamp() const
{
    return uint64_t(uint16_t(fYear)) << 48 | uint64_t(fMonth) << 40 | uint64_t(fDay) << 32 | fMilliseconds;
}

void VTime::NullIfZero()
{
    if (IsEmptyDate())
        SetNull(true);
}

// ---------------------------------------------------------------------------------------------
// Calendar

int32_t VTime::ComputeJulianDay(int32_t inYear, int32_t inMonth, int32_t inDay)
{
    return int32_t(DayNumber(inYear, inMonth, inDay));
}

int32_t VTime::ComputeWeekDay(int32_t inYear, int32_t inMonth, int32_t inDay)
{
    return int32_t((DayNumber(inYear, inMonth, inDay) + 2) % 7);
}

int32_t VTime::ComputeYearDay(int32_t inYear, int32_t inMonth, int32_t inDay)
{
    return int32_t(DayNumber(inYear, inMonth, inDay) - DayNumber(inYear, 1, 1) + 1);
}

bool VTime::CheckDate(int16_t inYear, int16_t inMonth, int16_t inDay)
{
    if (inYear < 0 || inMonth < 1 || inMonth > 12 || inDay < 1 || inDay > kDaysInMonth[inMonth])
        return false;
    return inMonth != 2 || inDay != 29 || IsLeap(inYear);
}

bool VTime::IsLeapYear(int16_t inYear)
{
    return IsLeap(inYear);
}

int32_t VTime::GetJulianDay() const
{
    return IsNull() ? -1 : ComputeJulianDay(fYear, fMonth, fDay);
}

void VTime::FromJulianDay(int32_t inDayNumber)
{
    int64_t a = (int64_t(inDayNumber) - 1721118) * 100 - 25;
    int64_t b = FloorDiv(a, 3652425);
    int64_t c = b - FloorDiv(b, 4);
    int64_t year = FloorDiv(a + 100 * c, 36525);
    int64_t d = int64_t(inDayNumber) - 1721118 + c - 365 * year - FloorDiv(year, 4);
    int64_t month = (5 * d + 456) / 153;
    int64_t day = d - (153 * month - 457) / 5;
    if (month >= 13)
    {
        year += 1;
        month -= 12;
    }
    _SetFields(int16_t(year), uint8_t(month), uint8_t(day), 0);
    if (IsNull())
    {
        // Not null, and the dirty flag is left as it is.
        fFlags &= uint8_t(~kFlagNull);
        DoNullChanged();
    }
}

int32_t VTime::GetWeekDay() const
{
    return IsNull() ? -1 : ComputeWeekDay(fYear, fMonth, fDay);
}

int32_t VTime::GetYearDay() const
{
    return IsNull() ? -1 : ComputeYearDay(fYear, fMonth, fDay);
}

void VTime::GetJulianDate(int16_t& outYear, int16_t& outMonth, int16_t& outDay) const
{
    if (IsNull())
    {
        outYear = outMonth = outDay = 0;
        return;
    }
    int64_t n = DayNumber(fYear, fMonth, fDay) - 1721116;
    int64_t year = FloorDiv(100 * n - 25, 36525);
    int64_t d = n - 365 * year - FloorDiv(year, 4);
    int64_t month = (5 * d + 456) / 153;
    int64_t day = d - (153 * month - 457) / 5;
    if (month >= 13)
    {
        year += 1;
        month -= 12;
    }
    outYear = int16_t(year);
    outMonth = int16_t(month);
    outDay = int16_t(day);
}

void VTime::FromJulianDate(int16_t inYear, int16_t inMonth, int16_t inDay)
{
    // Julian leap years are every fourth year, with no exception.
    bool valid = inMonth >= 1 && inMonth <= 12 && inDay >= 1 && inDay <= kDaysInMonth[inMonth] &&
                 (inMonth != 2 || inDay != 29 || inYear % 4 == 0);
    int64_t dayNumber = 0;
    if (valid)
    {
        int64_t year = inMonth < 3 ? int64_t(inYear) - 1 : inYear;
        int64_t month = inMonth < 3 ? inMonth + 12 : inMonth;
        dayNumber = inDay + (153 * month - 457) / 5 + 365 * year + FloorDiv(year, 4) + 1721116;
        valid = dayNumber * kDay >= kFirstScale && dayNumber * kDay <= kLastScale;
    }
    if (!valid)
    {
        _MakeNull();
        return;
    }
    FromJulianDay(int32_t(dayNumber));
    SetDirty(true);
}

// ---------------------------------------------------------------------------------------------
// Millisecond scale

int64_t VTime::GetMilliseconds() const
{
    if (IsNull())
        return -1;
    if (IsEmptyDate())
        return 0;
    return DayNumber(fYear, fMonth, fDay) * kDay + fMilliseconds;
}

bool VTime::_FromScale(int64_t inMilliseconds)
{
    if (inMilliseconds == -1)
    {
        SetNull(true);
        return true;
    }
    if (inMilliseconds == 0)
    {
        _SetFields(0, 0, 0, 0);
        SetNull(false);
        return true;
    }
    if (inMilliseconds < kFirstScale || inMilliseconds > kLastScale)
        return false;
    int64_t dayNumber = inMilliseconds / kDay;
    FromJulianDay(int32_t(dayNumber));
    fMilliseconds = uint32_t(inMilliseconds - dayNumber * kDay);
    SetNull(false);
    return true;
}

void VTime::FromMilliseconds(int64_t inMilliseconds)
{
    _FromScale(inMilliseconds);
    SetDirty(true);
}

void VTime::_AddToScale(int64_t inDelta)
{
    int64_t scale;
    if (!__builtin_add_overflow(GetMilliseconds(), inDelta, &scale))
        _FromScale(scale);
    SetDirty(true);
}

void VTime::AddMilliseconds(int64_t inCount)
{
    _AddToScale(inCount);
}

void VTime::AddSeconds(int32_t inCount)
{
    _AddToScale(inCount * kSecond);
}

void VTime::AddMinutes(int32_t inCount)
{
    _AddToScale(inCount * kMinute);
}

void VTime::AddHours(int32_t inCount)
{
    _AddToScale(inCount * kHour);
}

void VTime::AddDays(int32_t inCount)
{
    _AddToScale(inCount * kDay);
}

void VTime::Add(const VDuration& inDuration)
{
    _AddToScale(inDuration.ConvertToMilliseconds());
}

void VTime::Substract(const VDuration& inDuration)
{
    int64_t count = inDuration.ConvertToMilliseconds();
    int64_t scale;
    if (count != INT64_MIN && !__builtin_sub_overflow(GetMilliseconds(), count, &scale))
        _FromScale(scale);
    SetDirty(true);
}

void VTime::Substract(const VTime& inOther, VDuration& outDuration) const
{
    outDuration.FromNbMilliseconds(GetMilliseconds() - inOther.GetMilliseconds());
}

void VTime::AddYears(int32_t inCount)
{
    fYear = int16_t(int64_t(fYear) + inCount);
}

void VTime::AddMonths(int32_t inCount)
{
    int64_t months = int64_t(fMonth) - 1 + inCount;
    int64_t years = FloorDiv(months, 12);
    fYear = int16_t(fYear + years);
    fMonth = uint8_t(months - 12 * years + 1);
}

// ---------------------------------------------------------------------------------------------
// Comparison

CompareResult VTime::_Compare(const VTime& inOther) const
{
    if (fYear != inOther.fYear)
        return fYear < inOther.fYear ? CR_SMALLER : CR_BIGGER;
    if (fMonth != inOther.fMonth)
        return fMonth < inOther.fMonth ? CR_SMALLER : CR_BIGGER;
    if (fDay != inOther.fDay)
        return fDay < inOther.fDay ? CR_SMALLER : CR_BIGGER;
    return CompareNatives(fMilliseconds, inOther.fMilliseconds);
}

bool VTime::operator==(const VTime& inOther) const
{
    return fYear == inOther.fYear && fMonth == inOther.fMonth && fDay == inOther.fDay &&
           fMilliseconds == inOther.fMilliseconds;
}

CompareResult VTime::CompareTo(const VValueSingle& inValue, bool) const
{
    VTime other;
    inValue.GetTime(other);
    return _Compare(other);
}

CompareResult VTime::CompareToSameKind(const VValue* inValue, bool) const
{
    return _Compare(*static_cast<const VTime*>(inValue));
}

bool VTime::EqualToSameKind(const VValue* inValue, bool) const
{
    return *this == *static_cast<const VTime*>(inValue);
}

CompareResult VTime::CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return _Compare(*static_cast<const VTime*>(inValue));
}

bool VTime::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return *this == *static_cast<const VTime*>(inValue);
}

CompareResult VTime::CompareToSameKindPtr(const void* inData, bool) const
{
    uint64_t stamp;
    std::memcpy(&stamp, inData, sizeof(stamp));
    return _Compare(VTime(stamp));
}

CompareResult VTime::CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return CompareToSameKindPtr(inData, false);
}

// ---------------------------------------------------------------------------------------------
// Value protocol

const VValueInfo* VTime::GetValueInfo() const
{
    return &sInfo;
}

VValue* VTime::Clone() const
{
    return new VTime(*this);
}

void VTime::Clear()
{
    _SetFields(0, 0, 0, 0);
    _MarkSet();
}

bool VTime::CanBeEvaluated() const
{
    return true;
}

int64_t VTime::GetLong8OrMilliSeconds() const
{
    return GetMilliseconds();
}

double VTime::GetReal() const
{
    return double(GetStamp());
}

void VTime::GetTime(VTime& outTime) const
{
    outTime.FromTime(*this);
}

void VTime::GetValue(VValueSingle& outValue) const
{
    outValue.FromTime(*this);
}

void VTime::FromTime(const VTime& inTime)
{
    _SetFields(inTime.fYear, inTime.fMonth, inTime.fDay, inTime.fMilliseconds);
    SetNull(inTime.IsNull());
}

void VTime::FromValue(const VValueSingle& inValue)
{
    inValue.GetTime(*this);
    SetNull(inValue.IsNull());
    SetDirty(true);
}

bool VTime::FromValueSameKind(const VValue* inValue)
{
    const auto* other = dynamic_cast<const VTime*>(inValue);
    if (other == nullptr)
        return false;
    FromTime(*other);
    SetNull(other->IsNull());
    SetDirty(true);
    return true;
}

const void* VTime::LoadFromPtr(const void* inData, bool)
{
    uint64_t stamp;
    std::memcpy(&stamp, inData, sizeof(stamp));
    FromStamp(stamp);
    return static_cast<const uint8_t*>(inData) + sizeof(stamp);
}

void* VTime::WriteToPtr(void* outData, bool, size_t) const
{
    uint64_t stamp = GetStamp();
    std::memcpy(outData, &stamp, sizeof(stamp));
    return static_cast<uint8_t*>(outData) + sizeof(stamp);
}

size_t VTime::GetSpace(uint64_t&, size_t) const
{
    return sizeof(uint64_t);
}

VError VTime::ReadFromStream(VStream* ioStream, int32_t)
{
    uint8_t bytes[8];
    size_t read = 0;
    if (ioStream->GetData(bytes, sizeof(bytes), &read) == VE_OK && read == sizeof(bytes))
    {
        int16_t year;
        uint32_t milliseconds;
        std::memcpy(&year, bytes, 2);
        std::memcpy(&milliseconds, bytes + 4, 4);
        if (ioStream->NeedSwap())
        {
            year = ByteSwap(year);
            milliseconds = ByteSwap(milliseconds);
        }
        _SetFields(year, bytes[2], bytes[3], milliseconds);
    }
    return ioStream->GetLastError();
}

VError VTime::WriteToStream(VStream* ioStream, int32_t) const
{
    int16_t year = ioStream->NeedSwap() ? ByteSwap(fYear) : fYear;
    uint32_t milliseconds = ioStream->NeedSwap() ? ByteSwap(fMilliseconds) : fMilliseconds;
    uint8_t bytes[8];
    std::memcpy(bytes, &year, 2);
    bytes[2] = fMonth;
    bytes[3] = fDay;
    std::memcpy(bytes + 4, &milliseconds, 4);
    ioStream->PutData(bytes, sizeof(bytes));
    return ioStream->GetLastError();
}

} // namespace kova
