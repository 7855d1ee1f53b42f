// VBoolean is the value of kind 1: one byte, 0 false and anything else true. FromBoolean and
// FromByte keep the byte they are given (so a boolean may hold 2 or 255, which GetBoolean gives
// back and which compares bigger than 1); every other setter stores exactly 0 or 1. Its packed
// form is one byte (1 or 0), its stream form a 16-bit word holding the byte.
#pragma once

#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VBoolean : public VValueSingle
{
public:
    // False, not null, dirty.
    VBoolean() = default;
    explicit VBoolean(bool inValue) : fValue(inValue ? 1 : 0) {}
    // With inInit the datum is false and the pointer is not read; otherwise it is whether the
    // pointed byte is not 0.
    VBoolean(const uint8_t* inValue, bool inInit) : fValue((!inInit && *inValue != 0) ? 1 : 0) {}
    VBoolean(const VBoolean& inOther);
    VBoolean& operator=(const VBoolean& inOther) = default;
    ~VBoolean() override;

    bool Get() const { return fValue != 0; }

    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override;
    void Clear() override;

    // The byte as stored.
    uint8_t GetBoolean() const override { return fValue; }
    int8_t GetByte() const override { return int8_t(fValue); }
    // The byte read unsigned.
    int16_t GetWord() const override { return fValue; }
    int32_t GetLong() const override { return fValue; }
    int64_t GetLong8() const override { return fValue; }
    double GetReal() const override { return fValue; }
    void GetDuration(VDuration& outDuration) const override;
    void GetString(VString& outString) const override;
    void GetValue(VValueSingle& outValue) const override;

    void FromBoolean(uint8_t inValue) override;
    void FromByte(int8_t inValue) override;
    void FromWord(int16_t inValue) override;
    void FromLong(int32_t inValue) override;
    void FromLong8(int64_t inValue) override;
    // A NaN is not 0, so true.
    void FromReal(double inValue) override;
    void FromDuration(const VDuration& inDuration) override;
    void FromString(const VString& inString) override;
    void FromValue(const VValueSingle& inValue) override;

    // "true" or "false".
    void GetXMLString(VString& outString, uint32_t inOptions) const override;
    // Takes exactly "1", "0", "true" and "false" (ASCII case ignored); anything else answers false
    // and leaves the value unchanged.
    bool FromXMLString(const VString& inString) override;
    // As FromXMLString, but a refused text gives false. Answers 0.
    VError FromJSONString(const VString& inJSONString, uint32_t inOptions) override;
    // "true" or "false", the null state not looked at. Answers 0.
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    // The truth of the JSON value (VJSONValue::GetBool); null exactly for JSON null.
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // JSON null for a null value, else true or false.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;

    // Unequal bytes: 1 when this byte is not 0, else -1 (so 2 against 1 and 1 against 2 both
    // give 1). The options forms order the bytes unsigned; the equality forms compare them.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const override;
    bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    bool EqualToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult CompareToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    CompareResult CompareToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const override;
    bool EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const override;
    bool FromValueSameKind(const VValue* inValue) override;

    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    size_t GetStreamSpace() const override;
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static const VValueInfo_scalar<VBoolean, VK_BOOLEAN, uint8_t> sInfo;

private:
    void _Set(uint8_t inValue)
    {
        fValue = inValue;
        _MarkSet();
    }

    uint8_t fValue = 0;
};

} // namespace kova
