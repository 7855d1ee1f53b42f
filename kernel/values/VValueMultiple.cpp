#include "kernel/values/VValueMultiple.h"

namespace kova
{

VValueMultiple::~VValueMultiple() = default;

VValue* VValueMultiple::Clone() const
{
    return nullptr;
}

bool VValueMultiple::CanBeEvaluated() const
{
    return false;
}

ValueKind VValueMultiple::GetValueKind() const
{
    return VK_UNDEFINED;
}

void VValueMultiple::FromBoolean(uint8_t inValue, int32_t inIndex)
{
    FromWord(inValue, inIndex);
}

void VValueMultiple::FromByte(int8_t inValue, int32_t inIndex)
{
    FromLong(inValue, inIndex);
}

void VValueMultiple::FromWord(int16_t inValue, int32_t inIndex)
{
    FromLong(inValue, inIndex);
}

void VValueMultiple::FromLong(int32_t inValue, int32_t inIndex)
{
    FromReal(double(inValue), inIndex);
}

void VValueMultiple::FromLong8(int64_t inValue, int32_t inIndex)
{
    FromReal(double(inValue), inIndex);
}

void VValueMultiple::FromReal(double, int32_t) {}

void VValueMultiple::FromString(const VString&, int32_t) {}

void VValueMultiple::FromDuration(const VDuration&, int32_t) {}

void VValueMultiple::FromTime(const VTime&, int32_t) {}

CompareResult VValueMultiple::CompareTo(const VValueSingle&, bool, int32_t) const
{
    return CR_UNRELEVANT;
}

} // namespace kova
