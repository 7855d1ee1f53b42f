#include "kernel/values/VUUID.h"

#include "kernel/files/VStream.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/HexDigits.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"
#include "platform/mac/values/XMacUUID.h"

#include <cstring>

namespace kova
{

// The descriptor first: the null identifier is made after it and destroyed before it.
const VUUID_info VUUID::sInfo;
const VUUID VUUID::sNullUUID;

namespace
{

constexpr size_t kUUIDSize = 16;
constexpr int32_t kUUIDDigits = 32;

CompareResult CompareBytes(const void* inFirst, const void* inSecond)
{
    int order = std::memcmp(inFirst, inSecond, kUUIDSize);
    return order < 0 ? CR_SMALLER : (order > 0 ? CR_BIGGER : CR_EQUAL);
}

// As many whole characters of the text's UTF-8 form as fit into the 16 bytes, over blanks.
void FillFromUTF8(const VString& inText, VUUIDBuffer& outBuffer)
{
    std::memset(outBuffer.fBytes, 0x20, kUUIDSize);
    int32_t consumed = 0;
    size_t produced = 0;
    VTextConverters::Get()->ConvertFromVString(inText, consumed, outBuffer.fBytes, kUUIDSize, produced,
                                               VTC_UTF_8);
}

} // namespace

bool VUUIDBuffer::IsNull() const
{
    for (uint8_t byte : fBytes)
    {
        if (byte != 0)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Descriptor

CompareResult VUUID_info::CompareTwoPtrToData(const void* inData1, const void* inData2, bool) const
{
    return CompareBytes(inData1, inData2);
}

CompareResult VUUID_info::CompareTwoPtrToDataBegining(const void* inData1, const void* inData2, bool) const
{
    return CompareBytes(inData1, inData2);
}

CompareResult VUUID_info::CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                         const VCompareOptions&) const
{
    return CompareBytes(inData1, inData2);
}

size_t VUUID_info::GetSizeOfValueDataPtr(const void*) const
{
    return kUUIDSize;
}

size_t VUUID_info::GetAvgSpace() const
{
    return kUUIDSize;
}

// ---------------------------------------------------------------------------------------------
// Construction and identity

VUUID::VUUID()
{
    fFlags = kFlagNull | kFlagDirty;
}

VUUID::VUUID(bool inGenerate) : VUUID()
{
    // A failed generation leaves the null identifier.
    if (inGenerate && XMacUUID::Generate(&fBuffer))
        fFlags &= uint8_t(~kFlagNull);
}

VUUID::VUUID(const VUUIDBuffer& inBuffer) : fBuffer(inBuffer)
{
    fFlags = inBuffer.IsNull() ? uint8_t(kFlagNull | kFlagDirty) : kFlagDirty;
}

VUUID::VUUID(const char* inText) : VUUID()
{
    FromBuffer(inText);
}

VUUID::VUUID(const VUUID& inOther) : VValueSingle(inOther), fBuffer(inOther.fBuffer)
{
    fFlags = uint8_t((inOther.fFlags & kFlagNull) | kFlagDirty);
}

VUUID& VUUID::operator=(const VUUID& inOther)
{
    if (this != &inOther)
        FromVUUID(inOther);
    return *this;
}

VUUID::~VUUID()
{
    delete fCachedString;
}

void VUUID::Regenerate()
{
    XMacUUID::Generate(&fBuffer);
    _GotValue(false);
}

bool VUUID::operator==(const VUUID& inOther) const
{
    return std::memcmp(fBuffer.fBytes, inOther.fBuffer.fBytes, kUUIDSize) == 0;
}

bool VUUID::operator<(const VUUID& inOther) const
{
    return std::memcmp(fBuffer.fBytes, inOther.fBuffer.fBytes, kUUIDSize) < 0;
}

void VUUID::FromBuffer(const VUUIDBuffer& inBuffer)
{
    fBuffer = inBuffer;
    _GotValue(fBuffer.IsNull());
}

void VUUID::FromBuffer(const char* inText)
{
    size_t length = inText == nullptr ? 0 : std::strlen(inText);
    if (length == size_t(kUUIDDigits))
    {
        for (size_t i = 0; i < kUUIDSize; ++i)
        {
            int high = HexDigitValue(UniChar(uint8_t(inText[2 * i])));
            int low = HexDigitValue(UniChar(uint8_t(inText[2 * i + 1])));
            fBuffer.fBytes[i] = uint8_t(((high < 0 ? 0 : high) << 4) | (low < 0 ? 0 : low));
        }
    }
    else if (length <= kUUIDSize)
    {
        std::memset(fBuffer.fBytes, 0, kUUIDSize);
        if (length > 0)
            std::memcpy(fBuffer.fBytes, inText, length);
    }
    _GotValue(fBuffer.IsNull());
}

const VString* VUUID::GetCachedConvertedString(bool inMake)
{
    if (fCachedString == nullptr && inMake)
    {
        fCachedString = new VString();
        _RefreshCachedString();
    }
    return fCachedString;
}

void VUUID::_GotValue(bool inNull)
{
    SetNull(inNull);
    SetDirty(true);
    _RefreshCachedString();
}

void VUUID::_RefreshCachedString()
{
    if (fCachedString == nullptr)
        return;
    GetString(*fCachedString);
    fCachedString->SetNull(IsNull());
}

bool VUUID::IsUUIDString(const VString& inText, bool inAcceptNull)
{
    if (inText.GetLength() != kUUIDDigits)
        return false;
    bool allZero = true;
    for (int32_t i = 0; i < kUUIDDigits; ++i)
    {
        UniChar unit = inText.GetCPointer()[i];
        if (!((unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'F')))
            return false;
        if (unit != u'0')
            allZero = false;
    }
    return inAcceptNull || !allZero;
}

// ---------------------------------------------------------------------------------------------
// Value slots

const VValueInfo* VUUID::GetValueInfo() const
{
    return &sInfo;
}

VValue* VUUID::Clone() const
{
    // Null follows the bytes, not the source's null state.
    return new VUUID(fBuffer);
}

void VUUID::Clear()
{
    std::memset(fBuffer.fBytes, 0, kUUIDSize);
    _GotValue(true);
}

void VUUID::GetVUUID(VUUID& outUUID) const
{
    outUUID.FromVUUID(*this);
}

void VUUID::GetValue(VValueSingle& outValue) const
{
    outValue.FromVUUID(*this);
}

void VUUID::FromVUUID(const VUUID& inUUID)
{
    fBuffer = inUUID.fBuffer;
    _GotValue(inUUID.IsNull());
}

void VUUID::FromValue(const VValueSingle& inValue)
{
    inValue.GetVUUID(*this);
}

bool VUUID::FromValueSameKind(const VValue* inValue)
{
    auto* other = dynamic_cast<const VUUID*>(inValue);
    if (other == nullptr)
        return false;
    FromVUUID(*other);
    return true;
}

void VUUID::GetString(VString& outString) const
{
    static const char kDigits[] = "0123456789ABCDEF";
    UniChar text[kUUIDDigits];
    for (size_t i = 0; i < kUUIDSize; ++i)
    {
        text[2 * i] = UniChar(kDigits[fBuffer.fBytes[i] >> 4]);
        text[2 * i + 1] = UniChar(kDigits[fBuffer.fBytes[i] & 0x0F]);
    }
    outString.FromUniString(text, kUUIDDigits);
}

void VUUID::FromString(const VString& inString)
{
    VUUIDBuffer parsed;
    int32_t digits = 0;
    const UniChar* units = inString.GetCPointer();
    for (int32_t i = 0; i < inString.GetLength() && digits < kUUIDDigits; ++i)
    {
        int value = HexDigitValue(units[i]);
        if (value < 0)
            continue;
        if (digits % 2 == 0)
            parsed.fBytes[digits / 2] = uint8_t(value << 4);
        else
            parsed.fBytes[digits / 2] |= uint8_t(value);
        ++digits;
    }
    if (digits == kUUIDDigits)
    {
        fBuffer = parsed;
        _GotValue(false);
    }
    else
    {
        BuildFromAnsiString(inString);
    }
}

void VUUID::BuildFromAnsiString(const VString& inString)
{
    FillFromUTF8(inString, fBuffer);
    _GotValue(false);
}

VError VUUID::FromJSONValue(const VJSONValue& inJSONValue)
{
    if (inJSONValue.IsNull())
    {
        SetNull(true);
        return VE_OK;
    }
    VString text;
    inJSONValue.GetString(text);
    FromString(text);
    return VE_OK;
}

VError VUUID::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    if (IsNull())
    {
        outJSONValue.SetNull();
        return VE_OK;
    }
    VStr<kUUIDDigits> digits;
    GetString(digits);
    outJSONValue.SetString(digits);
    return VE_OK;
}

VError VUUID::GetJSONString(VString& outJSONString, uint32_t) const
{
    // The digits need no escaping.
    VStr<kUUIDDigits> digits;
    GetString(digits);
    outJSONString.FromUniString(u"\"", 1);
    outJSONString.AppendString(digits);
    outJSONString.AppendUniChar(u'"');
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Comparison: byte-wise; flags, options and null states are not looked at.

CompareResult VUUID::CompareTo(const VValueSingle& inValue, bool inDiacritical) const
{
    if (inValue.GetValueKind() != VK_UUID)
        return CR_UNRELEVANT;
    return CompareToSameKind(&inValue, inDiacritical);
}

CompareResult VUUID::CompareToSameKind(const VValue* inValue, bool) const
{
    return CompareBytes(fBuffer.fBytes, static_cast<const VUUID*>(inValue)->fBuffer.fBytes);
}

bool VUUID::EqualToSameKind(const VValue* inValue, bool) const
{
    return *this == *static_cast<const VUUID*>(inValue);
}

CompareResult VUUID::CompareToSameKindPtr(const void* inData, bool) const
{
    return CompareBytes(fBuffer.fBytes, inData);
}

bool VUUID::EqualToSameKindPtr(const void* inData, bool) const
{
    return std::memcmp(fBuffer.fBytes, inData, kUUIDSize) == 0;
}

CompareResult VUUID::CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return CompareToSameKind(inValue, false);
}

bool VUUID::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions&) const
{
    return EqualToSameKind(inValue, false);
}

CompareResult VUUID::CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return CompareToSameKindPtr(inData, false);
}

bool VUUID::EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions&) const
{
    return EqualToSameKindPtr(inData, false);
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms: the 16 bytes as they are.

const void* VUUID::LoadFromPtr(const void* inData, bool)
{
    std::memcpy(fBuffer.fBytes, inData, kUUIDSize);
    _GotValue(fBuffer.IsNull());
    return static_cast<const uint8_t*>(inData) + kUUIDSize;
}

void* VUUID::WriteToPtr(void* outData, bool, size_t) const
{
    std::memcpy(outData, fBuffer.fBytes, kUUIDSize);
    return static_cast<uint8_t*>(outData) + kUUIDSize;
}

size_t VUUID::GetSpace(uint64_t&, size_t) const
{
    return kUUIDSize;
}

size_t VUUID::GetStreamSpace() const
{
    return kUUIDSize;
}

VError VUUID::ReadFromStream(VStream* ioStream, int32_t)
{
    VUUIDBuffer read;
    size_t got = 0;
    VError error = ioStream->GetData(read.fBytes, kUUIDSize, &got);
    if (error == VE_OK && got == kUUIDSize)
    {
        fBuffer = read;
        _GotValue(false);
    }
    return error;
}

VError VUUID::WriteToStream(VStream* ioStream, int32_t) const
{
    return ioStream->PutData(fBuffer.fBytes, kUUIDSize);
}

void VUUID::DoNullChanged()
{
    if (IsNull())
    {
        std::memset(fBuffer.fBytes, 0, kUUIDSize);
        _RefreshCachedString();
    }
}

} // namespace kova
