// VArrayImage is the array of kind 111: pictures, each slot owning a single value of kind 12 or
// empty. No class of kind 12 exists in this system, so in practice every slot is empty: the
// array keeps a count, reads and writes its stream form, and stores only values of kind 12.
// The slots are the element block itself, so the count and the slots never disagree, whatever
// base operation (insertion, deletion, moves, copies) runs. Pictures are not ordered: Sort leaves
// the array unchanged, and no search finds anything.
//
// Stream form: the count (i32, never preceded by the kind), then per element the value's own
// stream form, or 8 zero bytes for an empty slot. While kind 12 is not registered the reader
// takes the 8 zero bytes of each empty slot and refuses anything else as corrupt data (kova
// 207), so that what follows in the stream is read from its own place.
#pragma once

#include "kernel/values/VArrayOfValues.h"
#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VArrayImage : public VArrayOfValues<VValueSingle>
{
public:
    explicit VArrayImage(int32_t inCount = 0);
    VArrayImage(const VArrayImage& inOther);
    VArrayImage& operator=(const VArrayImage& inOther);

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayImage(*this); }
    ValueKind GetElemValueKind() const override { return VK_IMAGE; }
    bool CanBeEvaluated() const override { return false; }

    // The element's null and dirty state only; an empty slot makes the value null, a position out
    // of range clears it.
    void GetValue(VValueSingle& outValue, int32_t inIndex) const override;
    // Stores a copy of a value of kind 12; any other value is ignored.
    void FromValue(const VValueSingle& inValue, int32_t inIndex) override;
    // A copy of the element, or null.
    VValueSingle* CloneValue(int32_t inIndex) const override;
    // Pictures are never found: -1.
    int32_t Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                 CompareMethod inMethod) const override;
    void Sort(int32_t inFirst, int32_t inLast, uint8_t inDescending) override;
    // Destroys every element and empties the array.
    void DeleteAllElements() { SetCount(0); }

    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VValueInfo_array<VArrayImage, VK_ARRAY_IMAGE, char> sInfo;

protected:
    CompareResult _CompareValues(const VValueSingle& inFirst, const VValueSingle& inSecond) const override;
    VValueSingle* _CopyValue(const VValueSingle& inValue) const override;
};

} // namespace kova
