// VArrayReal is the array of kind 105: doubles in one block. Elements are read and written by
// 1-based position (0.0 out of range), handed to and taken from single values through FromReal and
// GetReal, compared exactly (no tolerance; a NaN is equal to everything), searched, sorted directly
// on the block, and summarised by a few statistics.
#pragma once

#include "kernel/values/VArrayFixed.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

using ArrayRealElements =
    ArrayNumberElements<double, VReal, VK_REAL, &VValueSingle::GetReal, &VValueSingle::FromReal>;

class VArrayReal : public VArrayOfSingles<double, ArrayRealElements>
{
public:
    explicit VArrayReal(int32_t inCount = 0) : VArrayOfSingles(inCount) {}
    VArrayReal(const VArrayReal& inOther) = default;
    VArrayReal& operator=(const VArrayReal& inOther)
    {
        Copy(inOther);
        return *this;
    }

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayReal(*this); }

    double GetReal(int32_t inIndex) const { return _Get(inIndex); }
    void FromReal(double inValue, int32_t inIndex) override { _Set(inValue, inIndex); }

    using VArrayOfSingles::Find;
    int32_t Find(double inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const
    {
        return _Find(inValue, inStart, inForward, inMethod);
    }
    // The array must be in ascending order.
    int32_t QuickFind(double inValue) const { return _QuickFind(inValue); }

    // Each gives 0 for an empty array. GetSquareSum is the sum of the squared deviations from the
    // average, GetStdDev that sum divided by the count: the population variance, no square root.
    double GetSum() const;
    double GetAverage() const;
    double GetSquareSum() const;
    double GetStdDev() const;

    static const VValueInfo_array<VArrayReal, VK_ARRAY_REAL, double> sInfo;
};

} // namespace kova
