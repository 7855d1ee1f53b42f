// VArrayString is the array of kind 109: strings, each slot owning its VString or empty (null).
// Elements are copied in and out (copies share their buffers, see VString); an empty slot reads
// as a null string, compares smaller than every string and never matches a search.
//
// Stream form: the array kind (u32, only when inParam is 'VVAL'), the count (i32), then per
// element either the u32 2 followed by the string's stream form, or the u32 'NULL' for an empty
// slot. Any other marker is refused as corrupt data (kova 207).
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VArrayOfValues.h"
#include "kernel/values/VValueInfo.h"

#include <cstdint>

namespace kova
{

class VArrayString : public VArrayOfValues<VString>
{
public:
    explicit VArrayString(int32_t inCount = 0);
    VArrayString(const VArrayString& inOther);
    VArrayString& operator=(const VArrayString& inOther);

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VArrayString(*this); }
    ValueKind GetElemValueKind() const override { return VK_STRING; }

    // A position out of range gives an empty string, an empty slot a null one.
    void GetString(VString& outString, int32_t inIndex) const;
    void FromString(const VString& inString, int32_t inIndex) override;

    void GetValue(VValueSingle& outValue, int32_t inIndex) const override;
    // The value's text.
    void FromValue(const VValueSingle& inValue, int32_t inIndex) override;
    VValueSingle* CloneValue(int32_t inIndex) const override;
    // -1 for a position out of range or an empty slot.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical, int32_t inIndex) const override;
    // Searches compare texts with diacritics not significant.
    int32_t Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                 CompareMethod inMethod) const override;
    int32_t Find(const VString& inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const;
    // The array must be in ascending order.
    int32_t QuickFind(const VString& inValue) const;

    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VValueInfo_array<VArrayString, VK_ARRAY_STRING, char> sInfo;

protected:
    CompareResult _CompareValues(const VString& inFirst, const VString& inSecond) const override;
    VString* _CopyValue(const VString& inValue) const override;
};

} // namespace kova
