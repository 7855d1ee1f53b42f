#include "kernel/values/VDuration.h"

#include "kernel/files/VStream.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/RealToInteger.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kova
{

namespace
{

int64_t SaturatedAdd(int64_t inFirst, int64_t inSecond)
{
    int64_t sum;
    if (__builtin_add_overflow(inFirst, inSecond, &sum))
        return inSecond > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

int64_t SaturatedMultiply(int64_t inFirst, int64_t inSecond)
{
    int64_t product;
    if (__builtin_mul_overflow(inFirst, inSecond, &product))
        return (inFirst < 0) != (inSecond < 0) ? INT64_MIN : INT64_MAX;
    return product;
}

// The size of a count, which the most negative count has too.
uint64_t Magnitude(int64_t inMilliseconds)
{
    return inMilliseconds < 0 ? 0 - uint64_t(inMilliseconds) : uint64_t(inMilliseconds);
}

// A text's integer as the string reads integers: every digit counts wherever it stands
// (wrapping past 64 bits), a "-" before the first non-zero digit makes the number negative, the
// first unit of the task's decimal separator ends it, and every other unit is passed over.
int64_t ReadLong8(const UniChar* inUnits, int32_t inLength)
{
    UniChar separator = u'.';
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager())
        separator =
            manager->GetDecimalSeparator().IsEmpty() ? 0 : manager->GetDecimalSeparator().GetCPointer()[0];
    uint64_t value = 0;
    bool negative = false;
    for (int32_t i = 0; i < inLength; ++i)
    {
        UniChar unit = inUnits[i];
        if (unit >= u'0' && unit <= u'9')
            value = value * 10 + uint64_t(unit - u'0');
        else if (unit == u'-')
            negative = negative || value == 0;
        else if (unit == separator)
            break;
    }
    return int64_t(negative ? 0 - value : value);
}

// The same, 0 when the number does not fit 32 bits.
int32_t ReadLong(const UniChar* inUnits, int32_t inLength)
{
    int64_t value = ReadLong8(inUnits, inLength);
    return value >= INT32_MIN && value <= INT32_MAX ? int32_t(value) : 0;
}

// A real as "%lf" reads it, in the C conventions; 0 when the text holds none.
double ReadSeconds(const VString& inText)
{
    char text[256];
    int32_t length = 0;
    const UniChar* units = inText.GetCPointer();
    for (int32_t i = 0; i < inText.GetLength() && length < int32_t(sizeof(text)) - 1; ++i)
        text[length++] = units[i] < 0x80 ? char(units[i]) : '?'; // no other unit is part of a number
    text[length] = 0;
    const char* start = text;
    while (*start == ' ' || (*start >= '\t' && *start <= '\r'))
        ++start;
    if (*start == '+' && start[1] != '-')
        ++start;
    double seconds = 0;
    auto [end, error] = std::from_chars(start, text + length, seconds);
    return error == std::errc() && std::isfinite(seconds) ? seconds : 0;
}

void AppendTwoDigits(uint64_t inValue, VString& ioText)
{
    if (inValue < 10)
        ioText.AppendUniChar(u'0');
    ioText.AppendULong8(inValue);
}

} // namespace

const VDuration_info VDuration::sInfo;

VDuration::VDuration(int64_t inMilliseconds) : fMilliseconds(inMilliseconds) {}

VDuration::VDuration(const int64_t* inMilliseconds, bool inInit)
    : fMilliseconds(inInit || inMilliseconds == nullptr ? 0 : *inMilliseconds)
{
}

VDuration::VDuration(const VDuration& inOther) : VValueSingle(inOther), fMilliseconds(inOther.fMilliseconds)
{
    fFlags = uint8_t((fFlags & ~kFlagNull) | kFlagDirty);
}

VDuration& VDuration::operator=(const VDuration& inOther)
{
    FromDuration(inOther);
    return *this;
}

VDuration::~VDuration() = default;

void VDuration::_Set(int64_t inMilliseconds)
{
    fMilliseconds = inMilliseconds;
    _MarkSet();
}

// ---------------------------------------------------------------------------------------------
// Setters

void VDuration::FromNbMilliseconds(int64_t inCount)
{
    _Set(inCount);
}

void VDuration::FromNbSeconds(int64_t inCount)
{
    _Set(SaturatedMultiply(inCount, kMillisecondsPerSecond));
}

void VDuration::FromNbMinutes(int64_t inCount)
{
    _Set(SaturatedMultiply(inCount, kMillisecondsPerMinute));
}

void VDuration::FromNbHours(int64_t inCount)
{
    _Set(SaturatedMultiply(inCount, kMillisecondsPerHour));
}

void VDuration::FromNbDays(int64_t inCount)
{
    _Set(SaturatedMultiply(inCount, kMillisecondsPerDay));
}

void VDuration::SetDuration(int32_t inDays, int32_t inHours, int32_t inMinutes, int32_t inSeconds,
                            int32_t inMilliseconds)
{
    // Each product of a 32-bit count and a unit fits 64 bits, and so does their sum.
    _Set(inDays * kMillisecondsPerDay + inHours * kMillisecondsPerHour + inMinutes * kMillisecondsPerMinute +
         inSeconds * kMillisecondsPerSecond + inMilliseconds);
}

void VDuration::AddDuration(int32_t inDays, int32_t inHours, int32_t inMinutes, int32_t inSeconds,
                            int32_t inMilliseconds)
{
    _Set(SaturatedAdd(fMilliseconds, inDays * kMillisecondsPerDay + inHours * kMillisecondsPerHour +
                                         inMinutes * kMillisecondsPerMinute +
                                         inSeconds * kMillisecondsPerSecond + inMilliseconds));
}

void VDuration::AddDays(int32_t inCount)
{
    _Set(SaturatedAdd(fMilliseconds, inCount * kMillisecondsPerDay));
}

void VDuration::AddHours(int32_t inCount)
{
    _Set(SaturatedAdd(fMilliseconds, inCount * kMillisecondsPerHour));
}

void VDuration::AddMinutes(int32_t inCount)
{
    _Set(SaturatedAdd(fMilliseconds, inCount * kMillisecondsPerMinute));
}

void VDuration::AddSeconds(int32_t inCount)
{
    _Set(SaturatedAdd(fMilliseconds, inCount * kMillisecondsPerSecond));
}

void VDuration::AddMilliseconds(int64_t inCount)
{
    _Set(SaturatedAdd(fMilliseconds, inCount));
}

void VDuration::AdjustDay(int32_t inDay)
{
    _Set(SaturatedAdd(fMilliseconds % kMillisecondsPerDay, inDay * kMillisecondsPerDay));
}

void VDuration::AdjustHour(int32_t inHour)
{
    _Set(SaturatedAdd(fMilliseconds, (int64_t(inHour) - GetHour()) * kMillisecondsPerHour));
}

void VDuration::AdjustMinute(int32_t inMinute)
{
    _Set(SaturatedAdd(fMilliseconds, (int64_t(inMinute) - GetMinute()) * kMillisecondsPerMinute));
}

void VDuration::AdjustSecond(int32_t inSecond)
{
    _Set(SaturatedAdd(fMilliseconds, (int64_t(inSecond) - GetSecond()) * kMillisecondsPerSecond));
}

void VDuration::AdjustMillisecond(int32_t inMillisecond)
{
    _Set(SaturatedAdd(fMilliseconds - fMilliseconds % kMillisecondsPerSecond, inMillisecond));
}

void VDuration::FromDecimalHour(double inHours)
{
    _Set(RealToInteger<int64_t>(inHours * double(kMillisecondsPerHour)));
}

void VDuration::AddDecimalHour(double inHours)
{
    _Set(SaturatedAdd(fMilliseconds, RealToInteger<int64_t>(inHours * double(kMillisecondsPerHour))));
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

void VDuration::Add(const VDuration& inOther)
{
    fMilliseconds = SaturatedAdd(fMilliseconds, inOther.fMilliseconds);
}

void VDuration::Substract(const VDuration& inOther)
{
    int64_t difference;
    if (__builtin_sub_overflow(fMilliseconds, inOther.fMilliseconds, &difference))
        difference = inOther.fMilliseconds < 0 ? INT64_MAX : INT64_MIN;
    fMilliseconds = difference;
}

VDuration& VDuration::Multiply(double inFactor)
{
    fMilliseconds = RealToInteger<int64_t>(double(fMilliseconds) * inFactor);
    return *this;
}

VDuration& VDuration::Divide(double inDivisor)
{
    fMilliseconds = RealToInteger<int64_t>(double(fMilliseconds) / inDivisor);
    return *this;
}

double VDuration::Divide(const VDuration& inDivisor) const
{
    return double(fMilliseconds) / double(inDivisor.fMilliseconds);
}

void VDuration::Remainder(const VDuration& inDivisor)
{
    // Any count divides by -1 exactly; the machine would trap on the most negative one.
    if (inDivisor.fMilliseconds == -1)
        fMilliseconds = 0;
    else if (inDivisor.fMilliseconds != 0)
        fMilliseconds %= inDivisor.fMilliseconds;
}

// ---------------------------------------------------------------------------------------------
// Components

int32_t VDuration::GetDay() const
{
    return int32_t(fMilliseconds / kMillisecondsPerDay);
}

int32_t VDuration::GetHour() const
{
    return int32_t(fMilliseconds % kMillisecondsPerDay / kMillisecondsPerHour);
}

int32_t VDuration::GetMinute() const
{
    return int32_t(fMilliseconds % kMillisecondsPerHour / kMillisecondsPerMinute);
}

int32_t VDuration::GetSecond() const
{
    return int32_t(fMilliseconds % kMillisecondsPerMinute / kMillisecondsPerSecond);
}

int32_t VDuration::GetMillisecond() const
{
    return int32_t(fMilliseconds % kMillisecondsPerSecond);
}

void VDuration::GetDuration(int32_t& outDays, int32_t& outHours, int32_t& outMinutes, int32_t& outSeconds,
                            int32_t& outMilliseconds) const
{
    if (IsNull())
    {
        outDays = outHours = outMinutes = outSeconds = outMilliseconds = -1;
        return;
    }
    outDays = GetDay();
    outHours = GetHour();
    outMinutes = GetMinute();
    outSeconds = GetSecond();
    outMilliseconds = GetMillisecond();
}

double VDuration::GetDecimalHour() const
{
    return double(fMilliseconds) / double(kMillisecondsPerHour);
}

// ---------------------------------------------------------------------------------------------
// Text forms

void VDuration::GetFormattedString(VString& ioString) const
{
    if (IsNull())
    {
        ioString.AppendCString("-1:-1:-1:-1:-1");
        return;
    }
    if (fMilliseconds < 0)
        ioString.AppendUniChar(u'-');
    uint64_t size = Magnitude(fMilliseconds);
    ioString.AppendULong8(size / uint64_t(kMillisecondsPerDay));
    ioString.AppendUniChar(u':');
    ioString.AppendULong8(size % uint64_t(kMillisecondsPerDay) / uint64_t(kMillisecondsPerHour));
    ioString.AppendUniChar(u':');
    ioString.AppendULong8(size % uint64_t(kMillisecondsPerHour) / uint64_t(kMillisecondsPerMinute));
    ioString.AppendUniChar(u':');
    ioString.AppendULong8(size % uint64_t(kMillisecondsPerMinute) / uint64_t(kMillisecondsPerSecond));
    ioString.AppendUniChar(u':');
    ioString.AppendULong8(size % uint64_t(kMillisecondsPerSecond));
}

void VDuration::GetXMLString(VString& outString, uint32_t inOptions) const
{
    outString.Clear();
    if ((inOptions & 1) == 0)
    {
        outString.AppendLong8(ConvertToSeconds());
        return;
    }
    bool isNull = IsNull();
    long long days = isNull ? -1 : fMilliseconds / kMillisecondsPerDay;
    int hours = isNull ? -1 : GetHour();
    int minutes = isNull ? -1 : GetMinute();
    int seconds = isNull ? -1 : GetSecond();
    int milliseconds = isNull ? -1 : GetMillisecond();
    // The seconds with their fraction are summed in single precision, as readers of this form
    // have always received them (1.001 s reads 1.00100004673004).
    double fractional = double(float(seconds) + float(milliseconds / 1000.0));
    char buffer[256];
    if (days == 0 && !isNull)
    {
        if (milliseconds == 0)
            std::snprintf(buffer, sizeof(buffer), "PT%dH%dM%dS", hours, minutes, seconds);
        else
            std::snprintf(buffer, sizeof(buffer), "PT%dH%dM%.14fS", hours, minutes, fractional);
    }
    else if (milliseconds == 0)
    {
        std::snprintf(buffer, sizeof(buffer), "P%lldDT%dH%dM%dS", days, hours, minutes, seconds);
    }
    else
    {
        std::snprintf(buffer, sizeof(buffer), "P%lldDT%dH%dM%.14fS", days, hours, minutes, fractional);
    }
    outString.AppendCString(buffer);
}

VError VDuration::GetJSONString(VString& outJSONString, uint32_t) const
{
    outJSONString.Clear();
    outJSONString.AppendLong8(fMilliseconds);
    return VE_OK;
}

void VDuration::FromString(const VString& inString)
{
    // The pieces between colons, empty ones kept; those after the fourth are not read.
    std::vector<VString> texts;
    inString.GetSubStrings(u':', texts, true, true);
    int64_t pieces[4] = {0, 0, 0, 0};
    const size_t count = texts.size() < 4 ? texts.size() : 4;
    for (size_t i = 0; i < count; ++i)
        pieces[i] = ReadLong8(texts[i].GetCPointer(), texts[i].GetLength());
    if (count <= 1)
    {
        _Set(SaturatedMultiply(pieces[0], kMillisecondsPerSecond));
        return;
    }
    int64_t hours = 0;
    int64_t minutes;
    int64_t seconds;
    int64_t milliseconds = 0;
    if (count == 2)
    {
        minutes = pieces[0];
        seconds = pieces[1];
    }
    else
    {
        hours = pieces[0];
        minutes = pieces[1];
        seconds = pieces[2];
        if (count == 4)
            milliseconds = pieces[3];
    }
    int64_t total = SaturatedMultiply(hours, kMillisecondsPerHour);
    total = SaturatedAdd(total, SaturatedMultiply(minutes, kMillisecondsPerMinute));
    total = SaturatedAdd(total, SaturatedMultiply(seconds, kMillisecondsPerSecond));
    _Set(SaturatedAdd(total, milliseconds));
}

bool VDuration::FromXMLString(const VString& inString)
{
    const UniChar* units = inString.GetCPointer();
    const int32_t length = inString.GetLength();
    if (length == 0 || units[0] != u'P')
    {
        FromString(inString);
        return true;
    }
    int32_t years = 0, months = 0, days = 0, hours = 0, minutes = 0;
    double seconds = 0;
    bool timePart = false;
    VStr<31> accumulator;
    for (int32_t i = 1; i < length; ++i)
    {
        UniChar unit = units[i];
        int32_t* taken = nullptr;
        if (unit == u'T')
        {
            timePart = true;
            continue;
        }
        if (!timePart && unit == u'Y')
            taken = &years;
        else if (unit == u'M')
            taken = timePart ? &minutes : &months;
        else if (!timePart && unit == u'D')
            taken = &days;
        else if (timePart && unit == u'H')
            taken = &hours;
        if (taken != nullptr)
        {
            *taken = ReadLong(accumulator.GetCPointer(), accumulator.GetLength());
            accumulator.Clear();
        }
        else if (timePart && unit == u'S')
        {
            seconds = ReadSeconds(accumulator);
            accumulator.Clear();
        }
        else
        {
            accumulator.AppendUniChar(unit);
        }
    }
    int64_t wholeSeconds = RealToInteger<int64_t>(seconds);
    // The writer sums the seconds in single precision (0.7 s is written 0.69999998807907): a
    // hundredth of a millisecond more gives its milliseconds back.
    double fraction = (seconds - double(wholeSeconds)) * 1000.0;
    int64_t milliseconds = RealToInteger<int64_t>(fraction + std::copysign(0.01, fraction));
    int64_t dayCount = int64_t(years) * 360 + int64_t(months) * 30 + days;
    int64_t total = SaturatedMultiply(dayCount, kMillisecondsPerDay);
    total = SaturatedAdd(total, SaturatedMultiply(hours, kMillisecondsPerHour));
    total = SaturatedAdd(total, SaturatedMultiply(minutes, kMillisecondsPerMinute));
    total = SaturatedAdd(total, SaturatedMultiply(wholeSeconds, kMillisecondsPerSecond));
    _Set(SaturatedAdd(total, milliseconds));
    return true;
}

VError VDuration::FromJSONString(const VString& inJSONString, uint32_t)
{
    _Set(ReadLong8(inJSONString.GetCPointer(), inJSONString.GetLength()));
    return VE_OK;
}

VError VDuration::FromJSONValue(const VJSONValue& inJSONValue)
{
    if (inJSONValue.IsNull())
        SetNull(true);
    else
        _Set(RealToInteger<int64_t>(inJSONValue.GetNumber() * 1000.0));
    return VE_OK;
}

VError VDuration::GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const
{
    if (IsNull())
    {
        outJSONValue.SetNull();
    }
    else if ((inOptions & 4) != 0)
    {
        // Each field on two digits at least: 25:01:01.
        char text[64];
        std::snprintf(text, sizeof(text), "%02lld:%02lld:%02lld",
                      (long long)(fMilliseconds / kMillisecondsPerHour),
                      (long long)((fMilliseconds / kMillisecondsPerMinute) % 60),
                      (long long)((fMilliseconds / kMillisecondsPerSecond) % 60));
        outJSONValue.SetString(VString(text));
    }
    else if ((inOptions & 2) != 0)
    {
        outJSONValue.SetNumber(double(fMilliseconds));
    }
    else
    {
        outJSONValue.SetNumber(double(fMilliseconds) / 1000.0);
    }
    return VE_OK;
}

void AppendDurationClockText(int64_t inMilliseconds, VString& ioText)
{
    if (inMilliseconds < 0)
        ioText.AppendUniChar(u'-');
    uint64_t size = Magnitude(inMilliseconds);
    ioText.AppendULong8(size / uint64_t(VDuration::kMillisecondsPerHour));
    ioText.AppendUniChar(u':');
    AppendTwoDigits(size / uint64_t(VDuration::kMillisecondsPerMinute) % 60, ioText);
    ioText.AppendUniChar(u':');
    AppendTwoDigits(size / uint64_t(VDuration::kMillisecondsPerSecond) % 60, ioText);
}

// ---------------------------------------------------------------------------------------------
// Value protocol

const VValueInfo* VDuration::GetValueInfo() const
{
    return &sInfo;
}

VValue* VDuration::Clone() const
{
    return new VDuration(*this);
}

void VDuration::Clear()
{
    _Set(0);
}

bool VDuration::CanBeEvaluated() const
{
    return true;
}

uint8_t VDuration::GetBoolean() const
{
    return fMilliseconds != 0 ? 1 : 0;
}

int8_t VDuration::GetByte() const
{
    return int8_t(ConvertToSeconds());
}

int16_t VDuration::GetWord() const
{
    return int16_t(ConvertToSeconds());
}

int32_t VDuration::GetLong() const
{
    return int32_t(ConvertToSeconds());
}

int64_t VDuration::GetLong8() const
{
    return ConvertToSeconds();
}

int64_t VDuration::GetLong8OrMilliSeconds() const
{
    return fMilliseconds;
}

double VDuration::GetReal() const
{
    return double(fMilliseconds) / 1000.0;
}

void VDuration::GetDuration(VDuration& outDuration) const
{
    outDuration.fMilliseconds = fMilliseconds;
}

void VDuration::GetString(VString& outString) const
{
    outString.Clear();
    if (!IsNull())
        outString.AppendLong8(fMilliseconds);
}

void VDuration::GetValue(VValueSingle& outValue) const
{
    outValue.FromDuration(*this);
}

void VDuration::FromBoolean(uint8_t inValue)
{
    _Set(inValue != 0 ? kMillisecondsPerSecond : 0);
}

void VDuration::FromByte(int8_t inValue)
{
    _Set(inValue * kMillisecondsPerSecond);
}

void VDuration::FromWord(int16_t inValue)
{
    _Set(inValue * kMillisecondsPerSecond);
}

void VDuration::FromLong(int32_t inValue)
{
    _Set(inValue * kMillisecondsPerSecond);
}

void VDuration::FromLong8(int64_t inValue)
{
    _Set(SaturatedMultiply(inValue, kMillisecondsPerSecond));
}

void VDuration::FromReal(double inValue)
{
    _Set(RealToInteger<int64_t>(inValue * 1000.0));
}

void VDuration::FromDuration(const VDuration& inDuration)
{
    _Set(inDuration.fMilliseconds);
}

void VDuration::FromValue(const VValueSingle& inValue)
{
    inValue.GetDuration(*this);
    SetNull(inValue.IsNull());
    SetDirty(true);
}

bool VDuration::FromValueSameKind(const VValue* inValue)
{
    const auto* other = dynamic_cast<const VDuration*>(inValue);
    if (other == nullptr)
        return false;
    FromDuration(*other);
    SetNull(other->IsNull());
    SetDirty(true);
    return true;
}

CompareResult VDuration::CompareTo(const VValueSingle& inValue, bool) const
{
    VDuration other;
    inValue.GetDuration(other);
    return CompareNatives(fMilliseconds, other.fMilliseconds);
}

CompareResult VDuration::CompareToSameKind(const VValue* inValue, bool) const
{
    return CompareNatives(fMilliseconds, static_cast<const VDuration*>(inValue)->fMilliseconds);
}

CompareResult VDuration::CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return CompareToSameKind(inValue, false);
}

CompareResult VDuration::CompareToSameKindPtr(const void* inData, bool) const
{
    int64_t other;
    std::memcpy(&other, inData, sizeof(other));
    return CompareNatives(fMilliseconds, other);
}

CompareResult VDuration::CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return CompareToSameKindPtr(inData, false);
}

const void* VDuration::LoadFromPtr(const void* inData, bool)
{
    std::memcpy(&fMilliseconds, inData, sizeof(fMilliseconds));
    _MarkSet();
    return static_cast<const uint8_t*>(inData) + sizeof(fMilliseconds);
}

void* VDuration::WriteToPtr(void* outData, bool, size_t) const
{
    std::memcpy(outData, &fMilliseconds, sizeof(fMilliseconds));
    return static_cast<uint8_t*>(outData) + sizeof(fMilliseconds);
}

size_t VDuration::GetSpace(uint64_t&, size_t) const
{
    return sizeof(fMilliseconds);
}

VError VDuration::ReadFromStream(VStream* ioStream, int32_t)
{
    int64_t count = 0;
    if (ioStream->GetLong8(count) == VE_OK)
        fMilliseconds = count;
    return ioStream->GetLastError();
}

VError VDuration::WriteToStream(VStream* ioStream, int32_t) const
{
    ioStream->PutLong8(fMilliseconds);
    return ioStream->GetLastError();
}

} // namespace kova
