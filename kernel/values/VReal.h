// VReal is the value of kind 6: one 64-bit IEEE float. It converts to every other single kind
// (integers truncated toward zero through RealToInteger), compares within a tolerance, and has
// exact text forms for XML and JSON, a packed form (the 8 bytes in the processor's order) and a
// stream form (the 8 bytes in the stream's order).
//
// Tolerance: the plain comparisons take two reals whose difference is below 1e-6 as equal, the
// forms with options the options' tolerance; otherwise the bigger one is 1 and anything else -1,
// so a comparison involving a NaN gives -1. The descriptor's option comparison, used to sort
// packed reals, puts NaN first instead.
//
// Text forms: RealToXMLString writes integral values below 2^53 in magnitude as integers ("3",
// "-0.0" as "0"), everything else as "%.14G" with '.' whatever the locale, NaN as "NaN" and the
// infinities as "INF" and "-INF". RealToJSONString is the same, except that NaN and the infinities
// are "null". FromXMLString reads them back: ',' counts as '.', and the whole text must be the
// number (the empty text is 0).
#pragma once

#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstdint>

namespace kova
{

class VReal : public VValueSingle
{
public:
    class VValueInfo_real;

    // 0.0, not null, dirty.
    VReal() = default;
    explicit VReal(double inValue) : fValue(inValue) {}
    // With inInit the datum is 0.0 and the pointer is not read.
    VReal(const double* inValue, bool inInit) : fValue(inInit ? 0.0 : *inValue) {}
    VReal(const VReal& inOther);
    VReal& operator=(const VReal& inOther) = default;
    ~VReal() override;

    double Get() const { return fValue; }

    const VValueInfo* GetValueInfo() const override;
    VValue* Clone() const override;
    // 0.0, not null.
    void Clear() override;
    bool CanBeEvaluated() const override;

    // A NaN is not 0, so true.
    uint8_t GetBoolean() const override { return fValue != 0.0; }
    // Truncated toward zero to 32 bits, then cut to the width.
    int8_t GetByte() const override;
    int16_t GetWord() const override;
    int32_t GetLong() const override;
    int64_t GetLong8() const override;
    double GetReal() const override { return fValue; }
    // The target's FromReal: a duration takes seconds, a string the "%.14G" text.
    void GetDuration(VDuration& outDuration) const override;
    void GetString(VString& outString) const override;
    void GetValue(VValueSingle& outValue) const override;

    void FromBoolean(uint8_t inValue) override;
    void FromByte(int8_t inValue) override;
    void FromWord(int16_t inValue) override;
    void FromLong(int32_t inValue) override;
    // The nearest float.
    void FromLong8(int64_t inValue) override;
    void FromReal(double inValue) override;
    // The source's GetReal and null state.
    void FromDuration(const VDuration& inDuration) override;
    void FromValue(const VValueSingle& inValue) override;
    // Takes the string's null state; only a string that is not null gives its number.
    void FromString(const VString& inString) override;

    void GetXMLString(VString& outString, uint32_t inOptions) const override;
    // False, the value unchanged, for a text that is not exactly a number or is longer than 254
    // bytes of UTF-8.
    bool FromXMLString(const VString& inString) override;
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    // As FromXMLString, but a refused text gives 0.0, not null. Answers 0.
    VError FromJSONString(const VString& inJSONString, uint32_t inOptions) override;
    // JSON null makes the value null and keeps the datum; anything else gives its number
    // (VJSONValue::GetNumber).
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // JSON null for a null value, else the number.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;

    // Plain comparisons within 1e-6; the null states and the diacritics flag are not looked at.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const override;
    bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    bool EqualToSameKindPtr(const void* inData, bool inDiacritical) const override;
    // Within the options' tolerance; their diacritical flag is not looked at.
    CompareResult CompareToSameKindWithOptions(const VValue* inValue,
                                               const VCompareOptions& inOptions) const override;
    bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    CompareResult CompareToSameKindPtrWithOptions(const void* inData,
                                                  const VCompareOptions& inOptions) const override;
    bool EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const override;
    bool FromValueSameKind(const VValue* inValue) override;

    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;
    size_t GetStreamSpace() const override;
    // Reading zeroes the datum first and leaves the null and dirty flags.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;

    static void RealToXMLString(double inValue, VString& outText);
    static void RealToJSONString(double inValue, VString& outText);

    // The tolerance of the plain comparisons.
    static constexpr double kTolerance = 0.000001;

    static const VValueInfo_real sInfo;

private:
    void _Set(double inValue)
    {
        fValue = inValue;
        _MarkSet();
    }

    double fValue = 0.0;
};

// The descriptor of kind 6. Its option comparison orders packed reals for sorting and searching:
// NaN first (two NaNs equal), then exactly with the diacritical flag set, else within the
// options' tolerance. Its plain comparison is exact with the diacritics flag set, else within 1e-6.
class VReal::VValueInfo_real : public VValueInfo_scalar<VReal, VK_REAL, double>
{
public:
    CompareResult CompareTwoPtrToData(const void* inData1, const void* inData2,
                                      bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataBegining(const void* inData1, const void* inData2,
                                              bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                 const VCompareOptions& inOptions) const override;
};

// The float nearest to a packed arbitrary-precision decimal number: exponent (i32), sign (i8:
// -1 negative, 0 zero, anything else positive), digit count n (i32, unaligned), then n decimal
// digits two to a byte (each byte a base-100 digit, its tens digit first), read as
// 0.d1d2...dn × 10^exponent, in the processor's byte order. A sign of 0 gives 0.0 whatever the
// rest holds; a block with no digit or a byte above 99 is malformed and gives 0.0; digits past the
// thousandth are not read.
double MAPM_FloatToReal(const void* inPacked);

} // namespace kova
