// VArrayTime is the array of kind 107: date-times held as their time stamps (VTime::GetStamp:
// year, month, day and milliseconds packed into 64 bits), so that they order as unsigned
// numbers. Elements come and go as VTime values; a position out of range reads as the stamp 0,
// the empty date.
#pragma once

#include "kernel/values/VArrayFixed.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

// A value gives its date-time (VTime::FromValue); elements compare with values as date-times.
struct ArrayTimeElements
{
    static constexpr ValueKind kElementKind = VK_TIME;
    static constexpr bool kDirectSort = false;

    static uint64_t Take(const VValueSingle& inValue)
    {
        VTime time;
        time.FromValue(inValue);
        return time.GetStamp();
    }
    static void Give(uint64_t inStamp, VValueSingle& outValue) { outValue.FromTime(VTime(inStamp)); }
    static VValueSingle* NewSingle(uint64_t inStamp) { return new VTime(inStamp); }
    static CompareResult Compare(uint64_t inStamp, const VValueSingle& inValue, bool inDiacritical)
    {
        return VTime(inStamp).CompareTo(inValue, inDiacritical);
    }
};

class VArrayTime : public VArrayOfSingles<uint64_t, ArrayTimeElements>
{
public:
    explicit VArrayTime(int32_t inCount = 0) : VArrayOfSingles(inCount) {}
    VArrayTime(const VArrayTime& inOther) = default;
    VArrayTime& operator=(const VArrayTime& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayTime(*this); }

    // Leaves outTime unchanged for a position out of range.
    void GetTime(VTime& outTime, int32_t inIndex) const
    {
        if (ValidIndex(inIndex))
            outTime.FromStamp(_Get(inIndex));
    }
    void FromTime(const VTime& inTime, int32_t inIndex) override { _Set(inTime.GetStamp(), inIndex); }

    // Compares stamps.
    using VArrayOfSingles::Find;
    int32_t Find(const VTime& inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const
    {
        return _Find(inValue.GetStamp(), inStart, inForward, inMethod);
    }

    static const VValueInfo_array<VArrayTime, VK_ARRAY_TIME, uint64_t> sInfo;
};

} // namespace kova
