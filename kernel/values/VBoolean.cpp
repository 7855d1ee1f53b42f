#include "kernel/values/VBoolean.h"

#include "kernel/files/VStream.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/VDuration.h"

namespace kova
{

const VValueInfo_scalar<VBoolean, VK_BOOLEAN, uint8_t> VBoolean::sInfo;

namespace
{

// Different bytes order by whether the first is set, whatever the second holds.
CompareResult CompareBooleanBytes(uint8_t inFirst, uint8_t inSecond)
{
    if (inFirst == inSecond)
        return CR_EQUAL;
    return inFirst != 0 ? CR_BIGGER : CR_SMALLER;
}

uint8_t ReadByte(const void* inData)
{
    return *static_cast<const uint8_t*>(inData);
}

// True when the text is the ASCII word, upper and lower case mixed freely.
bool EqualsWordIgnoringASCIICase(const VString& inText, const char* inWord)
{
    const UniChar* units = inText.GetCPointer();
    int32_t i = 0;
    for (; inWord[i] != 0; ++i)
    {
        if (i >= inText.GetLength())
            return false;
        UniChar unit = units[i];
        if (unit >= u'A' && unit <= u'Z')
            unit = UniChar(unit + (u'a' - u'A'));
        if (unit != UniChar(inWord[i]))
            return false;
    }
    return i == inText.GetLength();
}

// Made once, on first use; their text lives inside them.
const VString& TrueText()
{
    static const VStr<5> sTrue("true");
    return sTrue;
}

const VString& FalseText()
{
    static const VStr<5> sFalse("false");
    return sFalse;
}

} // namespace

VBoolean::VBoolean(const VBoolean& inOther) : VValueSingle(inOther), fValue(inOther.fValue)
{
    fFlags |= kFlagDirty;
}

VBoolean::~VBoolean() = default;

const VValueInfo* VBoolean::GetValueInfo() const
{
    return &sInfo;
}

VValue* VBoolean::Clone() const
{
    return new VBoolean(*this);
}

void VBoolean::Clear()
{
    _Set(0);
}

// ---------------------------------------------------------------------------------------------
// Conversions

void VBoolean::GetDuration(VDuration& outDuration) const
{
    outDuration.FromBoolean(fValue);
}

void VBoolean::GetString(VString& outString) const
{
    outString.FromBoolean(fValue);
}

void VBoolean::GetValue(VValueSingle& outValue) const
{
    outValue.FromBoolean(fValue);
}

void VBoolean::FromBoolean(uint8_t inValue)
{
    _Set(inValue);
}

void VBoolean::FromByte(int8_t inValue)
{
    _Set(uint8_t(inValue));
}

void VBoolean::FromWord(int16_t inValue)
{
    _Set(inValue != 0);
}

void VBoolean::FromLong(int32_t inValue)
{
    _Set(inValue != 0);
}

void VBoolean::FromLong8(int64_t inValue)
{
    _Set(inValue != 0);
}

void VBoolean::FromReal(double inValue)
{
    _Set(inValue != 0.0);
}

void VBoolean::FromDuration(const VDuration& inDuration)
{
    FromValue(inDuration);
}

void VBoolean::FromString(const VString& inString)
{
    FromValue(inString);
}

void VBoolean::FromValue(const VValueSingle& inValue)
{
    fValue = inValue.GetBoolean() != 0;
    SetNull(inValue.IsNull());
    SetDirty(true);
}

void VBoolean::GetXMLString(VString& outString, uint32_t) const
{
    outString.FromString(fValue != 0 ? TrueText() : FalseText());
}

bool VBoolean::FromXMLString(const VString& inString)
{
    if (inString.GetLength() == 1 && (inString.GetCPointer()[0] == u'1' || inString.GetCPointer()[0] == u'0'))
        _Set(inString.GetCPointer()[0] == u'1');
    else if (EqualsWordIgnoringASCIICase(inString, "true"))
        _Set(1);
    else if (EqualsWordIgnoringASCIICase(inString, "false"))
        _Set(0);
    else
        return false;
    return true;
}

VError VBoolean::FromJSONString(const VString& inJSONString, uint32_t)
{
    if (!FromXMLString(inJSONString))
        _Set(0);
    return VE_OK;
}

VError VBoolean::GetJSONString(VString& outJSONString, uint32_t) const
{
    outJSONString.FromString(fValue != 0 ? TrueText() : FalseText());
    return VE_OK;
}

VError VBoolean::FromJSONValue(const VJSONValue& inJSONValue)
{
    _Set(inJSONValue.GetBool() ? 1 : 0);
    SetNull(inJSONValue.IsNull());
    return VE_OK;
}

VError VBoolean::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    if (IsNull())
        outJSONValue.SetNull();
    else
        outJSONValue.SetBool(fValue != 0);
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Comparison

CompareResult VBoolean::CompareTo(const VValueSingle& inValue, bool) const
{
    return CompareBooleanBytes(fValue, inValue.GetBoolean());
}

CompareResult VBoolean::CompareToSameKind(const VValue* inValue, bool) const
{
    return CompareBooleanBytes(fValue, static_cast<const VBoolean*>(inValue)->fValue);
}

bool VBoolean::EqualToSameKind(const VValue* inValue, bool) const
{
    return fValue == static_cast<const VBoolean*>(inValue)->fValue;
}

CompareResult VBoolean::CompareToSameKindPtr(const void* inData, bool) const
{
    return CompareBooleanBytes(fValue, ReadByte(inData));
}

bool VBoolean::EqualToSameKindPtr(const void* inData, bool) const
{
    return fValue == ReadByte(inData);
}

CompareResult VBoolean::CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return CompareNatives(fValue, static_cast<const VBoolean*>(inValue)->fValue);
}

bool VBoolean::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return EqualToSameKind(inValue, false);
}

CompareResult VBoolean::CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return CompareNatives(fValue, ReadByte(inData));
}

bool VBoolean::EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return EqualToSameKindPtr(inData, false);
}

bool VBoolean::FromValueSameKind(const VValue* inValue)
{
    auto* other = dynamic_cast<const VBoolean*>(inValue);
    if (other == nullptr)
        return false;
    fValue = other->fValue;
    SetNull(other->IsNull());
    SetDirty(true);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms

const void* VBoolean::LoadFromPtr(const void* inData, bool)
{
    _Set(ReadByte(inData) != 0);
    return static_cast<const uint8_t*>(inData) + 1;
}

void* VBoolean::WriteToPtr(void* outData, bool, size_t) const
{
    *static_cast<uint8_t*>(outData) = fValue != 0 ? 1 : 0;
    return static_cast<uint8_t*>(outData) + 1;
}

size_t VBoolean::GetSpace(uint64_t&, size_t) const
{
    return 1;
}

size_t VBoolean::GetStreamSpace() const
{
    return 2;
}

// A 16-bit word holding the byte; the null and dirty flags are not touched by a read.
VError VBoolean::ReadFromStream(VStream* ioStream, int32_t)
{
    int16_t word = 0;
    VError error = ioStream->GetWord(word);
    fValue = word != 0;
    return error;
}

VError VBoolean::WriteToStream(VStream* ioStream, int32_t) const
{
    return ioStream->PutWord(int16_t(fValue));
}

} // namespace kova
