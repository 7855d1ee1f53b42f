// VArrayDuration is the array of kind 108: durations held as signed counts of milliseconds.
// Elements come and go as VDuration values; a position out of range reads as 0 ms.
#pragma once

#include "kernel/values/VArrayFixed.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

// A value gives its duration (VDuration::FromValue); elements compare with values as durations.
struct ArrayDurationElements
{
    static constexpr ValueKind kElementKind = VK_DURATION;
    static constexpr bool kDirectSort = false;

    static int64_t Take(const VValueSingle& inValue)
    {
        VDuration duration;
        duration.FromValue(inValue);
        return duration.ConvertToMilliseconds();
    }
    static void Give(int64_t inMilliseconds, VValueSingle& outValue)
    {
        outValue.FromDuration(VDuration(inMilliseconds));
    }
    static VValueSingle* NewSingle(int64_t inMilliseconds) { return new VDuration(inMilliseconds); }
    static CompareResult Compare(int64_t inMilliseconds, const VValueSingle& inValue, bool inDiacritical)
    {
        return VDuration(inMilliseconds).CompareTo(inValue, inDiacritical);
    }
};

class VArrayDuration : public VArrayOfSingles<int64_t, ArrayDurationElements>
{
public:
    explicit VArrayDuration(int32_t inCount = 0) : VArrayOfSingles(inCount) {}
    VArrayDuration(const VArrayDuration& inOther) = default;
    VArrayDuration& operator=(const VArrayDuration& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayDuration(*this); }

    void GetDuration(VDuration& outDuration, int32_t inIndex) const
    {
        outDuration.FromNbMilliseconds(_Get(inIndex));
    }
    void FromDuration(const VDuration& inDuration, int32_t inIndex) override
    {
        _Set(inDuration.ConvertToMilliseconds(), inIndex);
    }

    // Compares milliseconds.
    using VArrayOfSingles::Find;
    int32_t Find(const VDuration& inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const
    {
        return _Find(inValue.ConvertToMilliseconds(), inStart, inForward, inMethod);
    }
    // The array must be in ascending order.
    int32_t QuickFind(const VDuration& inValue) const { return _QuickFind(inValue.ConvertToMilliseconds()); }

    static const VValueInfo_array<VArrayDuration, VK_ARRAY_DURATION, int64_t> sInfo;
};

} // namespace kova
