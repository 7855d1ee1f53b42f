// VEmpty is the value of kind 0: it holds no datum and is null. It stands where a value is needed
// but none is known (a kind without a class of its own, an absent attribute); it cannot be
// ordered against anything and converts to nothing.
#pragma once

#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

namespace kova
{

class VEmpty;

// Kind 0: every form makes a new VEmpty; the packed form is empty.
class VEmpty_info : public VValueInfo_default<VEmpty, VK_EMPTY>
{
};

class VEmpty : public VValueSingle
{
public:
    // Null and dirty.
    VEmpty();
    VEmpty(const VEmpty& inOther);
    ~VEmpty() override;

    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override;
    bool CanBeEvaluated() const override;

    // CR_UNRELEVANT: never equal to anything either.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;

    static const VEmpty_info sInfo;
};

} // namespace kova
