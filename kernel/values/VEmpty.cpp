#include "kernel/values/VEmpty.h"

namespace kova
{

const VEmpty_info VEmpty::sInfo;

VEmpty::VEmpty()
{
    fFlags = kFlagNull | kFlagDirty;
}

VEmpty::VEmpty(const VEmpty&) : VEmpty() {}

VEmpty::~VEmpty() = default;

const VValueInfo* VEmpty::GetValueInfo() const
{
    return &sInfo;
}

VValue* VEmpty::Clone() const
{
    return new VEmpty();
}

bool VEmpty::CanBeEvaluated() const
{
    return false;
}

CompareResult VEmpty::CompareTo(const VValueSingle&, bool) const
{
    return CR_UNRELEVANT;
}

} // namespace kova
