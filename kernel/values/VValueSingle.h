// VValueSingle is the base of the values that hold one datum (numbers, booleans, strings, times,
// durations, UUIDs, blobs). Conversions between kinds go through a getter on the source and a
// setter on the target, so that every kind reaches every other one.
#pragma once

#include "kernel/values/VValue.h"

namespace kova
{

class VString;

class VValueSingle : public VValue
{
public:
    VValueSingle() = default;
    VValueSingle(const VValueSingle&) = default;
    VValueSingle& operator=(const VValueSingle&) = default;
    ~VValueSingle() override;

    VValueSingle* IsVValueSingle() override { return this; }
    const VValueSingle* IsVValueSingle() const override { return this; }

    // The value's text; the base clears the string.
    virtual void GetString(VString& outString) const;
    // Sets the value from a text; the base does nothing.
    virtual void FromString(const VString& inString);
};

} // namespace kova
