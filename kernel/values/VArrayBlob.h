// VArrayBlob is the array of kind 110: blobs, each slot owning its VBlobWithPtr or empty. A blob
// stored into the array is copied, whatever class it has, so the array never holds a view over
// bytes that somebody else owns. Blobs are not ordered: comparisons find two blobs equal (an
// empty slot smaller), so a sort only gathers the empty slots first, and a search matches only
// by equal bytes (CM_VALUE_EQUAL).
//
// Stream form: the array kind (u32, only when inParam is 'VVAL'), the count (i32), then each
// blob's own stream form; an empty slot is written as an empty blob.
#pragma once

#include "kernel/values/VArrayOfValues.h"
#include "kernel/values/VBlob.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

class VArrayBlob : public VArrayOfValues<VBlobWithPtr>
{
public:
    explicit VArrayBlob(int32_t inCount = 0);
    VArrayBlob(const VArrayBlob& inOther);
    VArrayBlob& operator=(const VArrayBlob& inOther);

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayBlob(*this); }
    ValueKind GetElemValueKind() const override { return VK_BLOB; }

    // A blob target receives the bytes (see VBlobWithPtr::GetValue). A position out of range
    // clears the target; an empty slot makes it null.
    void GetValue(VValueSingle& outValue, int32_t inIndex) const override;
    // Only a blob is stored; the slot keeps its blob when the copy cannot be made.
    void FromValue(const VValueSingle& inValue, int32_t inIndex) override;
    VValueSingle* CloneValue(int32_t inIndex) const override;
    // -1 for a position out of range or an empty slot; else the blobs' own comparison.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical, int32_t inIndex) const override;
    // The first blob holding the same bytes as a blob value, under CM_VALUE_EQUAL only.
    int32_t Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                 CompareMethod inMethod) const override;

    // A blob that has no stream form (2^31 bytes or more) ends the write with its error.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VValueInfo_array<VArrayBlob, VK_ARRAY_BLOB, char> sInfo;

protected:
    CompareResult _CompareValues(const VBlobWithPtr& inFirst, const VBlobWithPtr& inSecond) const override;
    VBlobWithPtr* _CopyValue(const VBlobWithPtr& inValue) const override;
};

} // namespace kova
