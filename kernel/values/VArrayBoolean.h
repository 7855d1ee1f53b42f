// VArrayBoolean is the array of kind 100: booleans packed eight to a byte, element i (1-based)
// being bit (i - 1) mod 8 of byte (i - 1) / 8, least significant bit first. The block holds
// (count + 8) / 8 bytes, one more than needed when the count is a multiple of 8, and the bits past
// the last element are always 0.
//
// False orders before true, in comparisons, searches and sorts alike; sorting the whole array
// counts the true elements instead of comparing them.
#pragma once

#include "kernel/values/VArrayValue.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

class VArrayBoolean : public VArrayValue
{
public:
    explicit VArrayBoolean(int32_t inCount = 0);
    VArrayBoolean(const VArrayBoolean& inOther);
    VArrayBoolean& operator=(const VArrayBoolean& inOther);

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayBoolean(*this); }
    bool CanBeEvaluated() const override { return true; }
    ValueKind GetElemValueKind() const override { return VK_BOOLEAN; }

    // 1 or 0; 0 out of range.
    uint8_t GetBoolean(int32_t inIndex) const;
    // Any value but 0 sets the element.
    void FromBoolean(uint8_t inValue, int32_t inIndex) override;

    void GetValue(VValueSingle& outValue, int32_t inIndex) const override;
    void FromValue(const VValueSingle& inValue, int32_t inIndex) override;
    VValueSingle* CloneValue(int32_t inIndex) const override;
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical, int32_t inIndex) const override;
    int32_t Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                 CompareMethod inMethod) const override;
    int32_t Find(uint8_t inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const;

    // The whole array is sorted by counting; a smaller range element by element.
    void Sort(int32_t inFirst, int32_t inLast, uint8_t inDescending) override;

    void MoveElements(int32_t inSource, int32_t inDestination, int32_t inCount) override;
    void InitElements(int32_t inStart, int32_t inCount) override;
    void SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override;
    int32_t CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override;

    // Stream form: the array kind (u32, only when inParam is 'VVAL'), the count (i32), then,
    // when the count is not 0, the (count + 8) / 8 bytes of the block. Counts are checked as in
    // every array.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VValueInfo_array<VArrayBoolean, VK_ARRAY_BOOLEAN, uint8_t> sInfo;

protected:
    int64_t _DataSizeFor(int64_t inCount) const override;

private:
    // 0-based bit access on a block.
    static bool _GetBit(const uint8_t* inData, int32_t inIndex)
    {
        return (inData[inIndex >> 3] >> (inIndex & 7)) & 1;
    }
    static void _SetBit(uint8_t* ioData, int32_t inIndex, bool inValue)
    {
        uint8_t mask = uint8_t(1u << (inIndex & 7));
        if (inValue)
            ioData[inIndex >> 3] |= mask;
        else
            ioData[inIndex >> 3] &= uint8_t(~mask);
    }
    // The number of true elements.
    int32_t _CountTrue() const;
};

} // namespace kova
