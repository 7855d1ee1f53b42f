#include "kernel/values/VValueSingle.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/VString.h"
#include "kernel/values/VValueInfo.h"

#include "kernel/values/VDuration.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"

#include <algorithm>
#include <cstring>

namespace kova
{

ValueKind VValueSingle::GetValueKind() const
{
    return GetValueInfo()->GetKind();
}

VValueSingle* VValueSingle::ConvertTo(ValueKind inKind) const
{
    VValue* value = NewValueFromValueKind(inKind);
    if (value == nullptr)
        return nullptr;
    VValueSingle* single = value->IsVValueSingle();
    if (single == nullptr)
    {
        delete value;
        return nullptr;
    }
    GetValue(*single);
    single->SetNull(IsNull());
    return single;
}

CharSet VValueSingle::DebugDump(char* outBuffer, int& ioSize) const
{
    if (VProcess::sInstance == nullptr || outBuffer == nullptr || ioSize < int(sizeof(UniChar)))
    {
        ioSize = 0;
        return VTC_UTF_16;
    }
    VString text;
    GetString(text);
    int32_t units = std::min(text.GetLength(), int32_t(ioSize / int(sizeof(UniChar))));
    std::memcpy(outBuffer, text.GetCPointer(), size_t(units) * sizeof(UniChar));
    ioSize = units * int(sizeof(UniChar));
    return VTC_UTF_16;
}

// ---------------------------------------------------------------------------------------------
// JSON: the text forms are the plain ones; the JSON value forms are left to each kind.

VError VValueSingle::FromJSONString(const VString& inJSONString, uint32_t)
{
    FromString(inJSONString);
    return VE_OK;
}

VError VValueSingle::GetJSONString(VString& outJSONString, uint32_t) const
{
    GetString(outJSONString);
    return VE_OK;
}

VError VValueSingle::FromJSONValue(const VJSONValue&)
{
    Clear();
    return VE_UNIMPLEMENTED;
}

VError VValueSingle::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    outJSONValue.SetNull();
    return VE_UNIMPLEMENTED;
}

bool VValueSingle::CanBeStreamed() const
{
    return true;
}

// ---------------------------------------------------------------------------------------------
// Getters

uint8_t VValueSingle::GetBoolean() const
{
    return 0;
}

int8_t VValueSingle::GetByte() const
{
    return 0;
}

int16_t VValueSingle::GetWord() const
{
    return 0;
}

int32_t VValueSingle::GetLong() const
{
    return 0;
}

int64_t VValueSingle::GetLong8() const
{
    return 0;
}

int64_t VValueSingle::GetLong8OrMilliSeconds() const
{
    return GetLong8();
}

double VValueSingle::GetReal() const
{
    return 0.0;
}

void VValueSingle::GetDuration(VDuration& outDuration) const
{
    outDuration.Clear();
}

void VValueSingle::GetTime(VTime& outTime) const
{
    outTime.Clear();
}

void VValueSingle::GetString(VString& outString) const
{
    outString.Clear();
}

void VValueSingle::GetVUUID(VUUID& outUUID) const
{
    outUUID.Clear();
}

void VValueSingle::GetValue(VValueSingle& outValue) const
{
    outValue.Clear();
}

// ---------------------------------------------------------------------------------------------
// Setters

void VValueSingle::FromBoolean(uint8_t) {}

void VValueSingle::FromByte(int8_t) {}

void VValueSingle::FromWord(int16_t) {}

void VValueSingle::FromLong(int32_t) {}

void VValueSingle::FromLong8(int64_t) {}

void VValueSingle::FromReal(double) {}

void VValueSingle::FromDuration(const VDuration&) {}

void VValueSingle::FromTime(const VTime&) {}

void VValueSingle::FromString(const VString&) {}

void VValueSingle::FromVUUID(const VUUID&) {}

void VValueSingle::FromValue(const VValueSingle&) {}

void VValueSingle::GetXMLString(VString& outString, uint32_t) const
{
    GetString(outString);
}

bool VValueSingle::FromXMLString(const VString& inString)
{
    FromString(inString);
    return true;
}

bool VValueSingle::EqualTo(const VValueSingle& inValue, bool inDiacritical) const
{
    return CompareTo(inValue, inDiacritical) == CR_EQUAL;
}

} // namespace kova
