// The four integer kinds: VByte (kind 2, 8 bits), VWord (3, 16 bits), VLong (4, 32 bits) and
// VLong8 (5, 64 bits). Each holds one signed datum, converts it to and from every single kind,
// compares it, and packs and streams it. They differ only in width and in which getter or setter
// of the other value they call, so one template, VIntegerValue, holds their common body.
//
// Conversions into a narrower integer keep the low bits (300 in a byte is 44); into a wider one
// extend the sign. A real becomes an integer through RealToInteger (truncated, saturated, NaN 0),
// into 32 bits for the three narrow kinds (then wrapped) and into 64 bits for VLong8.
//
// The oddities are kept on purpose, callers rely on them: VByte and VWord hand themselves to
// other values as a word, and the three narrow kinds compare against the other's GetLong(), so a
// word of 5 equals a long8 of 2^32 + 5 (whose GetLong() wraps to 5).
//
// Forms: packed, the datum in the processor's byte order (1, 2, 4 or 8 bytes); stream, the datum
// in the stream's byte order, except VByte, which streams a 16-bit word sign-extended.
#pragma once

#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VByte;
class VWord;
class VLong;
class VLong8;

template <class T>
class VIntegerValue : public VValueSingle
{
public:
    using Native = T;

    T Get() const { return fValue; }

    void Clear() override;

    uint8_t GetBoolean() const override { return fValue != 0; }
    int8_t GetByte() const override { return int8_t(fValue); }
    int16_t GetWord() const override { return int16_t(fValue); }
    int32_t GetLong() const override { return int32_t(fValue); }
    int64_t GetLong8() const override { return int64_t(fValue); }
    double GetReal() const override { return double(fValue); }
    void GetDuration(VDuration& outDuration) const override;
    void GetString(VString& outString) const override;
    void GetValue(VValueSingle& outValue) const override;

    void FromBoolean(uint8_t inValue) override { _Set(T(inValue)); }
    void FromByte(int8_t inValue) override { _Set(T(inValue)); }
    void FromWord(int16_t inValue) override { _Set(T(inValue)); }
    void FromLong(int32_t inValue) override { _Set(T(inValue)); }
    void FromLong8(int64_t inValue) override { _Set(T(inValue)); }
    void FromReal(double inValue) override;
    void FromDuration(const VDuration& inDuration) override;
    void FromString(const VString& inString) override;
    void FromValue(const VValueSingle& inValue) override;

    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;

    // Same-kind comparisons order the signed data; options and null states are not looked at.
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
    // The datum is 0 after a failed read; the null and dirty flags are not touched.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    // The floor of the JSON value's number when a signed 32-bit integer (64 for VLong8) holds it,
    // wrapped to the width; any other number gives 0. Null exactly for JSON null.
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // JSON null for a null value, else the number.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;

protected:
    VIntegerValue() = default;
    explicit VIntegerValue(T inValue) : fValue(inValue) {}
    // With inInit the datum is 0 and the pointer is not read.
    VIntegerValue(const T* inValue, bool inInit) : fValue(inInit ? T(0) : *inValue) {}
    VIntegerValue(const VIntegerValue& inOther) : VValueSingle(inOther), fValue(inOther.fValue)
    {
        fFlags |= kFlagDirty;
    }
    VIntegerValue& operator=(const VIntegerValue&) = default;

    void _Set(T inValue)
    {
        fValue = inValue;
        _MarkSet();
    }
    static T _Read(const void* inData);

    T fValue = 0;
};

extern template class VIntegerValue<int8_t>;
extern template class VIntegerValue<int16_t>;
extern template class VIntegerValue<int32_t>;
extern template class VIntegerValue<int64_t>;

class VByte : public VIntegerValue<int8_t>
{
public:
    VByte() = default;
    explicit VByte(int8_t inValue) : VIntegerValue(inValue) {}
    VByte(const int8_t* inValue, bool inInit) : VIntegerValue(inValue, inInit) {}
    VByte(const VByte& inOther) = default;
    VByte& operator=(const VByte& inOther) = default;

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VByte(*this); }

    static const VValueInfo_scalar<VByte, VK_BYTE, int8_t> sInfo;
};

class VWord : public VIntegerValue<int16_t>
{
public:
    VWord() = default;
    explicit VWord(int16_t inValue) : VIntegerValue(inValue) {}
    VWord(const int16_t* inValue, bool inInit) : VIntegerValue(inValue, inInit) {}
    VWord(const VWord& inOther) = default;
    VWord& operator=(const VWord& inOther) = default;

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VWord(*this); }

    static const VValueInfo_scalar<VWord, VK_WORD, int16_t> sInfo;
};

class VLong : public VIntegerValue<int32_t>
{
public:
    VLong() = default;
    explicit VLong(int32_t inValue) : VIntegerValue(inValue) {}
    VLong(const int32_t* inValue, bool inInit) : VIntegerValue(inValue, inInit) {}
    VLong(const VLong& inOther) = default;
    VLong& operator=(const VLong& inOther) = default;

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VLong(*this); }

    static const VValueInfo_scalar<VLong, VK_LONG, int32_t> sInfo;
};

class VLong8 : public VIntegerValue<int64_t>
{
public:
    VLong8() = default;
    explicit VLong8(int64_t inValue) : VIntegerValue(inValue) {}
    VLong8(const int64_t* inValue, bool inInit) : VIntegerValue(inValue, inInit) {}
    VLong8(const VLong8& inOther) = default;
    VLong8& operator=(const VLong8& inOther) = default;

    const VValueInfo* GetValueInfo() const override { return &sInfo; }
    VValue* Clone() const override { return new VLong8(*this); }

    static const VValueInfo_scalar<VLong8, VK_LONG8, int64_t> sInfo;
};

} // namespace kova
