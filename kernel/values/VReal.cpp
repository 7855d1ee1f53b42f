#include "kernel/values/VReal.h"

#include "kernel/files/VStream.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/CNumberText.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/RealToInteger.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VUUID.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kova
{

const VReal::VValueInfo_real VReal::sInfo;

namespace
{

double ReadReal(const void* inData)
{
    double value;
    std::memcpy(&value, inData, sizeof(value));
    return value;
}

// The rule of every comparison within a tolerance: equal when closer than it, else 1 when the
// first is bigger and -1 otherwise (also when either is NaN).
CompareResult CompareWithin(double inFirst, double inSecond, double inTolerance)
{
    if (std::fabs(inFirst - inSecond) < inTolerance)
        return CR_EQUAL;
    return inFirst > inSecond ? CR_BIGGER : CR_SMALLER;
}

bool EqualWithin(double inFirst, double inSecond, double inTolerance)
{
    return std::fabs(inFirst - inSecond) < inTolerance;
}

CompareResult CompareExactly(double inFirst, double inSecond)
{
    if (inFirst == inSecond)
        return CR_EQUAL;
    return inFirst > inSecond ? CR_BIGGER : CR_SMALLER;
}

// Step 1 of both text forms: an integral value that a double holds exactly, as an integer.
bool WriteAsInteger(double inValue, VString& outText)
{
    constexpr int64_t kLargestExact = (int64_t(1) << 53) - 1;
    const int64_t whole = RealToInteger<int64_t>(inValue);
    if (whole < -kLargestExact || whole > kLargestExact || double(whole) != inValue)
        return false;
    outText.FromLong8(whole);
    return true;
}

// "%.14G" with '.' as the decimal point whatever the locale.
void WriteFinite(double inValue, VString& outText)
{
    char buffer[255];
    WriteCReal(buffer, sizeof(buffer), inValue);
    outText.FromCString(buffer);
}

} // namespace

VReal::VReal(const VReal& inOther) : VValueSingle(inOther), fValue(inOther.fValue)
{
    fFlags |= kFlagDirty;
}

VReal::~VReal() = default;

const VValueInfo* VReal::GetValueInfo() const
{
    return &sInfo;
}

VValue* VReal::Clone() const
{
    return new VReal(*this);
}

void VReal::Clear()
{
    _Set(0.0);
}

bool VReal::CanBeEvaluated() const
{
    return true;
}

// ---------------------------------------------------------------------------------------------
// Conversions

int8_t VReal::GetByte() const
{
    return int8_t(RealToInteger<int32_t>(fValue));
}

int16_t VReal::GetWord() const
{
    return int16_t(RealToInteger<int32_t>(fValue));
}

int32_t VReal::GetLong() const
{
    return RealToInteger<int32_t>(fValue);
}

int64_t VReal::GetLong8() const
{
    return RealToInteger<int64_t>(fValue);
}

void VReal::GetDuration(VDuration& outDuration) const
{
    outDuration.FromReal(fValue);
}

void VReal::GetString(VString& outString) const
{
    outString.FromReal(fValue);
}

void VReal::GetValue(VValueSingle& outValue) const
{
    outValue.FromReal(fValue);
}

void VReal::FromBoolean(uint8_t inValue)
{
    _Set(inValue);
}

void VReal::FromByte(int8_t inValue)
{
    _Set(inValue);
}

void VReal::FromWord(int16_t inValue)
{
    _Set(inValue);
}

void VReal::FromLong(int32_t inValue)
{
    _Set(inValue);
}

void VReal::FromLong8(int64_t inValue)
{
    _Set(double(inValue));
}

void VReal::FromReal(double inValue)
{
    _Set(inValue);
}

void VReal::FromDuration(const VDuration& inDuration)
{
    FromValue(inDuration);
}

void VReal::FromValue(const VValueSingle& inValue)
{
    fValue = inValue.GetReal();
    SetNull(inValue.IsNull());
    SetDirty(true);
}

void VReal::FromString(const VString& inString)
{
    if (!inString.IsNull())
        fValue = inString.GetReal();
    SetNull(inString.IsNull());
    SetDirty(true);
}

// ---------------------------------------------------------------------------------------------
// Text forms

void VReal::RealToXMLString(double inValue, VString& outText)
{
    if (WriteAsInteger(inValue, outText))
        return;
    if (std::isnan(inValue))
        outText.FromCString("NaN");
    else if (std::isfinite(inValue))
        WriteFinite(inValue, outText);
    else
        outText.FromCString(std::signbit(inValue) ? "-INF" : "INF");
}

void VReal::RealToJSONString(double inValue, VString& outText)
{
    if (WriteAsInteger(inValue, outText))
        return;
    if (std::isfinite(inValue))
        WriteFinite(inValue, outText);
    else
        outText.FromCString("null");
}

void VReal::GetXMLString(VString& outString, uint32_t) const
{
    RealToXMLString(fValue, outString);
}

bool VReal::FromXMLString(const VString& inString)
{
    // The text and its zero must fit 255 bytes.
    char buffer[255];
    int32_t consumed = 0;
    size_t produced = 0;
    VTextConverters::Get()->ConvertFromVString(inString, consumed, buffer, sizeof(buffer) - 1, produced,
                                               VTC_UTF_8);
    if (consumed != inString.GetLength())
        return false;
    buffer[produced] = 0;
    for (size_t i = 0; i < produced; ++i)
    {
        if (buffer[i] == ',')
            buffer[i] = '.';
    }
    char* end = nullptr;
    double value = ReadCReal(buffer, &end);
    // The whole text, up to its own end: a zero inside it ends the number too early.
    if (end != buffer + produced)
        return false;
    _Set(value);
    return true;
}

VError VReal::GetJSONString(VString& outJSONString, uint32_t) const
{
    RealToJSONString(fValue, outJSONString);
    return VE_OK;
}

VError VReal::FromJSONString(const VString& inJSONString, uint32_t)
{
    if (!FromXMLString(inJSONString))
        _Set(0.0);
    return VE_OK;
}

VError VReal::FromJSONValue(const VJSONValue& inJSONValue)
{
    if (inJSONValue.IsNull())
        SetNull(true);
    else
        _Set(inJSONValue.GetNumber());
    return VE_OK;
}

VError VReal::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    if (IsNull())
        outJSONValue.SetNull();
    else
        outJSONValue.SetNumber(fValue);
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Comparison

CompareResult VReal::CompareTo(const VValueSingle& inValue, bool) const
{
    return CompareWithin(fValue, inValue.GetReal(), kTolerance);
}

CompareResult VReal::CompareToSameKind(const VValue* inValue, bool) const
{
    return CompareWithin(fValue, static_cast<const VReal*>(inValue)->fValue, kTolerance);
}

bool VReal::EqualToSameKind(const VValue* inValue, bool) const
{
    return EqualWithin(fValue, static_cast<const VReal*>(inValue)->fValue, kTolerance);
}

CompareResult VReal::CompareToSameKindPtr(const void* inData, bool) const
{
    return CompareWithin(fValue, ReadReal(inData), kTolerance);
}

bool VReal::EqualToSameKindPtr(const void* inData, bool) const
{
    return EqualWithin(fValue, ReadReal(inData), kTolerance);
}

CompareResult VReal::CompareToSameKindWithOptions(const VValue* inValue,
                                                  const VCompareOptions& inOptions) const
{
    return CompareWithin(fValue, static_cast<const VReal*>(inValue)->fValue, inOptions.GetEpsilon());
}

bool VReal::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const
{
    return EqualWithin(fValue, static_cast<const VReal*>(inValue)->fValue, inOptions.GetEpsilon());
}

CompareResult VReal::CompareToSameKindPtrWithOptions(const void* inData,
                                                     const VCompareOptions& inOptions) const
{
    return CompareWithin(fValue, ReadReal(inData), inOptions.GetEpsilon());
}

bool VReal::EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const
{
    return EqualWithin(fValue, ReadReal(inData), inOptions.GetEpsilon());
}

bool VReal::FromValueSameKind(const VValue* inValue)
{
    const auto* other = dynamic_cast<const VReal*>(inValue);
    if (other == nullptr)
        return false;
    fValue = other->fValue;
    SetNull(other->IsNull());
    SetDirty(true);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms

const void* VReal::LoadFromPtr(const void* inData, bool)
{
    _Set(ReadReal(inData));
    return static_cast<const uint8_t*>(inData) + sizeof(double);
}

void* VReal::WriteToPtr(void* outData, bool, size_t) const
{
    std::memcpy(outData, &fValue, sizeof(fValue));
    return static_cast<uint8_t*>(outData) + sizeof(fValue);
}

size_t VReal::GetSpace(uint64_t&, size_t) const
{
    return sizeof(double);
}

size_t VReal::GetStreamSpace() const
{
    return sizeof(double);
}

VError VReal::ReadFromStream(VStream* ioStream, int32_t)
{
    fValue = 0.0;
    return ioStream->Get(fValue);
}

VError VReal::WriteToStream(VStream* ioStream, int32_t) const
{
    return ioStream->Put(fValue);
}

// ---------------------------------------------------------------------------------------------
// Descriptor

CompareResult VReal::VValueInfo_real::CompareTwoPtrToData(const void* inData1, const void* inData2,
                                                          bool inDiacritical) const
{
    const double first = ReadReal(inData1);
    const double second = ReadReal(inData2);
    return inDiacritical ? CompareExactly(first, second) : CompareWithin(first, second, kTolerance);
}

CompareResult VReal::VValueInfo_real::CompareTwoPtrToDataBegining(const void* inData1, const void* inData2,
                                                                  bool inDiacritical) const
{
    return CompareTwoPtrToData(inData1, inData2, inDiacritical);
}

CompareResult VReal::VValueInfo_real::CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                                     const VCompareOptions& inOptions) const
{
    const double first = ReadReal(inData1);
    const double second = ReadReal(inData2);
    if (std::isnan(first))
        return std::isnan(second) ? CR_EQUAL : CR_SMALLER;
    if (std::isnan(second))
        return CR_BIGGER;
    return inOptions.IsDiacritical() ? CompareExactly(first, second)
                                     : CompareWithin(first, second, inOptions.GetEpsilon());
}

// ---------------------------------------------------------------------------------------------
// Values prepared for JSON

VValueSingle* VValueSingle::ConvertVValueToJSONScalar(const VValueSingle& inValue,
                                                      bool inDurationInMilliseconds)
{
    switch (inValue.GetValueInfo()->GetKind())
    {
    case VK_BYTE:
    case VK_WORD:
    case VK_LONG:
    case VK_LONG8:
    case 7:
    case 16:
    {
        auto* real = new VReal(inValue.GetReal());
        real->SetNull(inValue.IsNull());
        real->SetDirty(true);
        return real;
    }
    case VK_DURATION:
    {
        auto* real = new VReal();
        if (inValue.IsNull())
        {
            real->SetNull(true);
        }
        else
        {
            VDuration duration;
            inValue.GetDuration(duration);
            double milliseconds = double(duration.ConvertToMilliseconds());
            real->FromReal(inDurationInMilliseconds ? milliseconds : milliseconds / 1000.0);
        }
        real->SetDirty(true);
        return real;
    }
    case VK_UUID:
    case 14:
    case 17:
    case 19:
    case 20:
    {
        auto* text = new VString();
        text->FromValue(inValue);
        return text;
    }
    default:
        return static_cast<VValueSingle*>(inValue.Clone());
    }
}

JSONType VValueSingle::ValueKindToJsonType(ValueKind inKind)
{
    switch (inKind)
    {
    case VK_BOOLEAN:
        return JSON_true;
    case VK_REAL:
        return JSON_number;
    case VK_TIME:
        return JSON_date;
    case VK_STRING:
        return JSON_string;
    default:
        return JSON_null;
    }
}

// ---------------------------------------------------------------------------------------------
// Packed decimal numbers

double MAPM_FloatToReal(const void* inPacked)
{
    // Past a thousand digits nothing changes the nearest float.
    constexpr int32_t kMostDigits = 1000;
    const auto* bytes = static_cast<const uint8_t*>(inPacked);
    int32_t exponent;
    int8_t sign;
    int32_t digitCount;
    std::memcpy(&exponent, bytes, sizeof(exponent));
    std::memcpy(&sign, bytes + 4, sizeof(sign));
    std::memcpy(&digitCount, bytes + 5, sizeof(digitCount));
    if (sign == 0 || digitCount <= 0)
        return 0.0;
    const int32_t digits = digitCount < kMostDigits ? digitCount : kMostDigits;
    const uint8_t* mantissa = bytes + 9;

    // Sign, the digits with a point after the first, "E", the exponent: at most 1 + 1001 + 13.
    char text[1024];
    size_t length = 0;
    if (sign == -1)
        text[length++] = '-';
    for (int32_t i = 0; i < digits; ++i)
    {
        const uint8_t pair = mantissa[i / 2];
        if (pair > 99)
            return 0.0;
        text[length++] = char('0' + ((i % 2 == 0) ? pair / 10 : pair % 10));
        if (i == 0)
            text[length++] = '.';
    }
    const int64_t power = int64_t(exponent) - 1;
    std::snprintf(text + length, sizeof(text) - length, power >= 0 ? "E+%lld" : "E%lld", (long long)power);
    return ReadCReal(text, nullptr);
}

} // namespace kova
