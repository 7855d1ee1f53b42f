#include "kernel/values/VInteger.h"

#include "kernel/files/VStream.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/RealToInteger.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace kova
{

// Built and registered before the entry point runs; nothing relies on their order.
const VValueInfo_scalar<VWord, VK_WORD, int16_t> VWord::sInfo;
const VValueInfo_scalar<VLong, VK_LONG, int32_t> VLong::sInfo;
const VValueInfo_scalar<VLong8, VK_LONG8, int64_t> VLong8::sInfo;
const VValueInfo_scalar<VByte, VK_BYTE, int8_t> VByte::sInfo;

namespace
{

// The width in which a kind hands itself to other values and travels in streams: a word for
// VByte and VWord, a long for VLong, a long8 for VLong8.
template <class T>
using HandOff = std::conditional_t<(sizeof(T) <= 2), int16_t, T>;

// The width in which a kind compares with a value of another kind, and through which a real
// reaches it: a long for the three narrow kinds, a long8 for VLong8.
template <class T>
using CompareWidth = std::conditional_t<(sizeof(T) <= 4), int32_t, int64_t>;

void HandTo(VValueSingle& outValue, int16_t inValue)
{
    outValue.FromWord(inValue);
}

void HandTo(VValueSingle& outValue, int32_t inValue)
{
    outValue.FromLong(inValue);
}

void HandTo(VValueSingle& outValue, int64_t inValue)
{
    outValue.FromLong8(inValue);
}

// What a kind reads from another value: a word for VByte and VWord, a long for VLong, a long8 for
// VLong8.
template <class T>
HandOff<T> ReadFrom(const VValueSingle& inValue)
{
    if constexpr (sizeof(T) <= 2)
        return inValue.GetWord();
    else if constexpr (sizeof(T) == 4)
        return inValue.GetLong();
    else
        return inValue.GetLong8();
}

} // namespace

template <class T>
T VIntegerValue<T>::_Read(const void* inData)
{
    T datum;
    std::memcpy(&datum, inData, sizeof(T));
    return datum;
}

template <class T>
void VIntegerValue<T>::Clear()
{
    _Set(0);
}

// ---------------------------------------------------------------------------------------------
// Conversions

template <class T>
void VIntegerValue<T>::GetDuration(VDuration& outDuration) const
{
    HandTo(outDuration, HandOff<T>(fValue));
}

template <class T>
void VIntegerValue<T>::GetString(VString& outString) const
{
    HandTo(outString, HandOff<T>(fValue));
}

template <class T>
void VIntegerValue<T>::GetValue(VValueSingle& outValue) const
{
    HandTo(outValue, HandOff<T>(fValue));
}

template <class T>
void VIntegerValue<T>::FromReal(double inValue)
{
    _Set(T(RealToInteger<CompareWidth<T>>(inValue)));
}

template <class T>
void VIntegerValue<T>::FromDuration(const VDuration& inDuration)
{
    FromValue(inDuration);
}

template <class T>
void VIntegerValue<T>::FromString(const VString& inString)
{
    if constexpr (sizeof(T) == 1)
        fValue = T(inString.GetWord());
    else if constexpr (sizeof(T) <= 4)
        fValue = T(inString.GetLong());
    else if (!inString.IsNull()) // a null string leaves the datum of a long8 as it was
        fValue = inString.GetLong8();
    SetNull(inString.IsNull());
    SetDirty(true);
}

template <class T>
void VIntegerValue<T>::FromValue(const VValueSingle& inValue)
{
    fValue = T(ReadFrom<T>(inValue));
    SetNull(inValue.IsNull());
    SetDirty(true);
}

// ---------------------------------------------------------------------------------------------
// Comparison

template <class T>
CompareResult VIntegerValue<T>::CompareTo(const VValueSingle& inValue, bool) const
{
    if constexpr (sizeof(T) <= 4)
        return CompareNatives(CompareWidth<T>(fValue), inValue.GetLong());
    else
        return CompareNatives(CompareWidth<T>(fValue), inValue.GetLong8());
}

template <class T>
CompareResult VIntegerValue<T>::CompareToSameKind(const VValue* inValue, bool) const
{
    return CompareNatives(fValue, static_cast<const VIntegerValue*>(inValue)->fValue);
}

template <class T>
bool VIntegerValue<T>::EqualToSameKind(const VValue* inValue, bool) const
{
    return fValue == static_cast<const VIntegerValue*>(inValue)->fValue;
}

template <class T>
CompareResult VIntegerValue<T>::CompareToSameKindPtr(const void* inData, bool) const
{
    return CompareNatives(fValue, _Read(inData));
}

template <class T>
bool VIntegerValue<T>::EqualToSameKindPtr(const void* inData, bool) const
{
    return fValue == _Read(inData);
}

template <class T>
CompareResult VIntegerValue<T>::CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return CompareToSameKind(inValue, false);
}

template <class T>
bool VIntegerValue<T>::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return EqualToSameKind(inValue, false);
}

template <class T>
CompareResult VIntegerValue<T>::CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return CompareToSameKindPtr(inData, false);
}

template <class T>
bool VIntegerValue<T>::EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return EqualToSameKindPtr(inData, false);
}

template <class T>
bool VIntegerValue<T>::FromValueSameKind(const VValue* inValue)
{
    auto* other = dynamic_cast<const VIntegerValue*>(inValue);
    if (other == nullptr)
        return false;
    fValue = other->fValue;
    SetNull(other->IsNull());
    SetDirty(true);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms

template <class T>
const void* VIntegerValue<T>::LoadFromPtr(const void* inData, bool)
{
    _Set(_Read(inData));
    return static_cast<const char*>(inData) + sizeof(T);
}

template <class T>
void* VIntegerValue<T>::WriteToPtr(void* outData, bool, size_t) const
{
    std::memcpy(outData, &fValue, sizeof(T));
    return static_cast<char*>(outData) + sizeof(T);
}

template <class T>
size_t VIntegerValue<T>::GetSpace(uint64_t&, size_t) const
{
    return sizeof(T);
}

template <class T>
size_t VIntegerValue<T>::GetStreamSpace() const
{
    return sizeof(HandOff<T>) > sizeof(T) ? sizeof(HandOff<T>) : sizeof(T);
}

// A byte travels as a word, sign-extended; reading keeps its low 8 bits.
template <class T>
VError VIntegerValue<T>::ReadFromStream(VStream* ioStream, int32_t)
{
    fValue = 0;
    HandOff<T> datum = 0;
    VError error = ioStream->Get(datum);
    fValue = T(datum);
    return error;
}

template <class T>
VError VIntegerValue<T>::WriteToStream(VStream* ioStream, int32_t) const
{
    return ioStream->Put(HandOff<T>(fValue));
}

template <class T>
VError VIntegerValue<T>::FromJSONValue(const VJSONValue& inJSONValue)
{
    using Wide = CompareWidth<T>;
    // Both bounds are powers of two, exact in a double.
    constexpr double kLowest = double(std::numeric_limits<Wide>::min());
    double floor = std::floor(inJSONValue.GetNumber());
    T value = 0;
    if (floor >= kLowest && floor < -kLowest)
        value = T(Wide(floor));
    _Set(value);
    SetNull(inJSONValue.IsNull());
    return VE_OK;
}

template <class T>
VError VIntegerValue<T>::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    if (IsNull())
        outJSONValue.SetNull();
    else
        outJSONValue.SetNumber(double(fValue));
    return VE_OK;
}

template class VIntegerValue<int8_t>;
template class VIntegerValue<int16_t>;
template class VIntegerValue<int32_t>;
template class VIntegerValue<int64_t>;

} // namespace kova
