// VValueMultiple is the base of the values that hold several data of one element kind: the typed
// arrays. Elements are set by index with the setters of the single values; a setter the element
// type does not take falls through to a wider one (boolean to word, byte and word to long, long
// and long8 to real). The base holds nothing, cannot be ordered and cannot be cloned.
#pragma once

#include "kernel/values/VValue.h"

namespace kova
{

class VDuration;
class VString;
class VTime;

class VValueMultiple : public VValue
{
public:
    VValueMultiple() = default;
    VValueMultiple(const VValueMultiple&) = default;
    VValueMultiple& operator=(const VValueMultiple&) = default;
    ~VValueMultiple() override;

    VValue* Clone() const override;
    bool CanBeEvaluated() const override;

    // 65535 for every array class: the kind written by the array stream form, not the array's
    // registered kind (which GetValueInfo gives).
    virtual ValueKind GetValueKind() const;
    virtual int32_t GetCount() const = 0;

    // inIndex is the element's index.
    virtual void FromBoolean(uint8_t inValue, int32_t inIndex);
    virtual void FromByte(int8_t inValue, int32_t inIndex);
    virtual void FromWord(int16_t inValue, int32_t inIndex);
    virtual void FromLong(int32_t inValue, int32_t inIndex);
    virtual void FromLong8(int64_t inValue, int32_t inIndex);
    virtual void FromReal(double inValue, int32_t inIndex);
    virtual void FromString(const VString& inValue, int32_t inIndex);
    virtual void FromDuration(const VDuration& inValue, int32_t inIndex);
    virtual void FromTime(const VTime& inValue, int32_t inIndex);

    // The element at inIndex compared with a single value; the base cannot order.
    virtual CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical, int32_t inIndex) const;
};

} // namespace kova
