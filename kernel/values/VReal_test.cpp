#include "kernel/values/VReal.h"

#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// ---------------------------------------------------------------------------------------------
// Construction and conversions

TEST(VReal, ConstructorsAndClones)
{
    double datum = 2.5;
    VReal fromPointer(&datum, false);
    EXPECT_EQ(fromPointer.Get(), 2.5);
    VReal zeroed(static_cast<const double*>(nullptr), true);
    EXPECT_EQ(zeroed.Get(), 0.0);
    EXPECT_FALSE(zeroed.IsNull());
    EXPECT_TRUE(zeroed.IsDirty());

    fromPointer.SetNull(true);
    fromPointer.SetDirty(false);
    std::unique_ptr<VValue> clone(fromPointer.Clone());
    auto* copy = dynamic_cast<VReal*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Get(), 2.5);
    EXPECT_TRUE(copy->IsNull());
    EXPECT_TRUE(copy->IsDirty());
    EXPECT_TRUE(copy->CanBeEvaluated());
    copy->Clear();
    EXPECT_EQ(copy->Get(), 0.0);
    EXPECT_FALSE(copy->IsNull());
}

TEST(VReal, GettersTruncateTowardZero)
{
    EXPECT_EQ(VReal(300.7).GetByte(), 44);
    EXPECT_EQ(VReal(-1.9).GetLong(), -1);
    EXPECT_EQ(VReal(40000.2).GetWord(), -25536);
    EXPECT_EQ(VReal(1e10).GetLong8(), 10000000000LL);
    EXPECT_EQ(VReal(kNaN).GetLong(), 0);
    EXPECT_TRUE(VReal(kNaN).GetBoolean());
    EXPECT_FALSE(VReal(0.0).GetBoolean());

    VString text;
    VReal(0.1).GetString(text);
    EXPECT_TRUE(TextIs(text, "0.1"));
    VDuration duration;
    VReal(1.5).GetDuration(duration); // seconds
    EXPECT_EQ(duration.ConvertToMilliseconds(), 1500);
    VLong value;
    VReal(-7.8).GetValue(value);
    EXPECT_EQ(value.Get(), -7);
}

TEST(VReal, SettersAndTheirNullStates)
{
    VReal real;
    real.FromLong8((int64_t(1) << 53) + 1); // the nearest float
    EXPECT_EQ(real.Get(), 9007199254740992.0);
    real.FromBoolean(2);
    EXPECT_EQ(real.Get(), 2.0);

    VDuration duration(int64_t(1500));
    duration.SetNull(true);
    real.FromValue(duration);
    EXPECT_EQ(real.Get(), 1.5);
    EXPECT_TRUE(real.IsNull());

    real.FromString(VString("1.5e3"));
    EXPECT_EQ(real.Get(), 1500.0);
    EXPECT_FALSE(real.IsNull());
    // A null string gives its null state and leaves the datum.
    real.FromString(VString(true));
    EXPECT_TRUE(real.IsNull());
    EXPECT_EQ(real.Get(), 1500.0);
}

// ---------------------------------------------------------------------------------------------
// Comparison

TEST(VReal, ComparisonsWithinTheTolerance)
{
    const VReal one(1.0);
    const VReal close(1.0000005);
    EXPECT_EQ(one.CompareToSameKind(&close, false), CR_EQUAL);
    EXPECT_TRUE(one.EqualToSameKind(&close, false));
    EXPECT_EQ(one.CompareTo(VString("1.0000005"), false), CR_EQUAL);
    EXPECT_EQ(one.CompareTo(VLong(2), false), CR_SMALLER);
    EXPECT_EQ(VReal(3.0).CompareTo(VLong(2), false), CR_BIGGER);
    double packed = 1.0000005;
    EXPECT_EQ(one.CompareToSameKindPtr(&packed, false), CR_EQUAL);
    EXPECT_TRUE(one.EqualToSameKindPtr(&packed, false));

    VCompareOptions exact;
    exact.SetEpsilon(0.0);
    EXPECT_EQ(one.CompareToSameKindWithOptions(&close, exact), CR_SMALLER);
    EXPECT_FALSE(one.EqualToSameKindWithOptions(&close, exact));
    EXPECT_EQ(close.CompareToSameKindPtrWithOptions(&packed, exact),
              CR_SMALLER); // equal, yet not closer than 0
    VCompareOptions loose;
    loose.SetEpsilon(0.001);
    EXPECT_TRUE(VReal(1.0).EqualToSameKindPtrWithOptions(&packed, loose));

    // Any comparison involving NaN answers smaller.
    const VReal nan(kNaN);
    EXPECT_EQ(nan.CompareToSameKind(&one, false), CR_SMALLER);
    EXPECT_EQ(one.CompareToSameKind(&nan, false), CR_SMALLER);
    EXPECT_EQ(nan.CompareToSameKind(&nan, false), CR_SMALLER);
}

TEST(VReal, TheDescriptorSortsNaNFirst)
{
    const VValueInfo& info = VReal::sInfo;
    const double one = 1.0;
    const double close = 1.0000005;
    const double nan = kNaN;
    VCompareOptions options;
    options.SetDiacritical(true);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(&one, &close, options), CR_SMALLER);
    options.SetDiacritical(false);
    options.SetEpsilon(0.001);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(&one, &close, options), CR_EQUAL);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(&nan, &one, options), CR_SMALLER);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(&one, &nan, options), CR_BIGGER);
    EXPECT_EQ(info.CompareTwoPtrToDataWithOptions(&nan, &nan, options), CR_EQUAL);

    // The plain form: exact with the diacritics flag, else within 1e-6.
    EXPECT_EQ(info.CompareTwoPtrToData(&one, &close, true), CR_SMALLER);
    EXPECT_EQ(info.CompareTwoPtrToData(&one, &close, false), CR_EQUAL);
    EXPECT_EQ(info.CompareTwoPtrToDataBegining(&close, &one, true), CR_BIGGER);
}

// ---------------------------------------------------------------------------------------------
// Text forms

struct TextCase
{
    double fValue;
    const char* fXML;
    const char* fJSON;
};

TEST(VReal, XMLAndJSONTexts)
{
    const TextCase cases[] = {
        {2.5, "2.5", "2.5"},
        {12.0, "12", "12"},
        {-0.0, "0", "0"},
        {3.0, "3", "3"},
        {42.0, "42", "42"},
        {1e20, "1E+20", "1E+20"},
        {0.1, "0.1", "0.1"},
        {9007199254740991.0, "9007199254740991", "9007199254740991"},
        {9007199254740992.0, "9.007199254741E+15", "9.007199254741E+15"},
        {kInfinity, "INF", "null"},
        {-kInfinity, "-INF", "null"},
        {kNaN, "NaN", "null"},
    };
    VString text;
    for (const TextCase& test : cases)
    {
        VReal::RealToXMLString(test.fValue, text);
        EXPECT_TRUE(TextIs(text, test.fXML)) << test.fXML;
        VReal::RealToJSONString(test.fValue, text);
        EXPECT_TRUE(TextIs(text, test.fJSON)) << test.fJSON;
    }
    VReal(2.5).GetXMLString(text, 0);
    EXPECT_TRUE(TextIs(text, "2.5"));
    EXPECT_EQ(VReal(kNaN).GetJSONString(text, 0), VE_OK);
    EXPECT_TRUE(TextIs(text, "null"));
}

TEST(VReal, FromXMLStringTakesOnlyAWholeNumber)
{
    VReal real(7.0);
    real.SetNull(true);
    EXPECT_TRUE(real.FromXMLString(VString("1,5")));
    EXPECT_EQ(real.Get(), 1.5);
    EXPECT_FALSE(real.IsNull());
    EXPECT_TRUE(real.FromXMLString(VString("  -2e3")));
    EXPECT_EQ(real.Get(), -2000.0);
    EXPECT_TRUE(real.FromXMLString(VString("")));
    EXPECT_EQ(real.Get(), 0.0);

    // What RealToXMLString writes reads back.
    EXPECT_TRUE(real.FromXMLString(VString("NaN")));
    EXPECT_TRUE(std::isnan(real.Get()));
    EXPECT_TRUE(real.FromXMLString(VString("-INF")));
    EXPECT_EQ(real.Get(), -kInfinity);
    EXPECT_TRUE(real.FromXMLString(VString("INF")));
    EXPECT_EQ(real.Get(), kInfinity);

    real.FromReal(4.0);
    EXPECT_FALSE(real.FromXMLString(VString("12abc")));
    EXPECT_FALSE(real.FromXMLString(VString("1 ")));
    const UniChar withZero[] = {u'1', 0, u'2'};
    EXPECT_FALSE(real.FromXMLString(VString().AppendUniChars(withZero, 3)));
    EXPECT_FALSE(real.FromXMLString(VString(std::u16string(255, u'1').c_str())));
    EXPECT_EQ(real.Get(), 4.0);
    // 254 bytes of UTF-8 fit; 128 é are 256.
    EXPECT_TRUE(real.FromXMLString(VString(std::u16string(254, u'1').c_str())));
    EXPECT_FALSE(real.FromXMLString(VString(std::u16string(128, u'\u00e9').c_str())));

    real.SetNull(true);
    EXPECT_EQ(real.FromJSONString(VString("12abc"), 0), VE_OK);
    EXPECT_EQ(real.Get(), 0.0);
    EXPECT_FALSE(real.IsNull());
    EXPECT_EQ(real.FromJSONString(VString("0.25"), 0), VE_OK);
    EXPECT_EQ(real.Get(), 0.25);
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms, descriptor

TEST(VReal, PackedFormAtAnyAlignment)
{
    uint8_t buffer[17] = {};
    const VReal real(-3.25);
    uint64_t outside = 0;
    EXPECT_EQ(real.GetSpace(outside, 0), 8u);
    EXPECT_EQ(real.WriteToPtr(buffer + 1, false, 0), buffer + 9);
    VReal loaded;
    loaded.SetNull(true);
    EXPECT_EQ(loaded.LoadFromPtr(buffer + 1, false), buffer + 9);
    EXPECT_EQ(loaded.Get(), -3.25);
    EXPECT_FALSE(loaded.IsNull());

    std::unique_ptr<VValue> made(VReal::sInfo.LoadFromPtr(buffer + 1, false));
    EXPECT_EQ(dynamic_cast<VReal&>(*made).Get(), -3.25);
    std::unique_ptr<VValue> generated(VValue::NewValueFromValueKind(VK_REAL));
    ASSERT_NE(generated, nullptr);
    EXPECT_EQ(dynamic_cast<VReal&>(*generated).Get(), 0.0);
    EXPECT_EQ(VReal::sInfo.GetSizeOfValueDataPtr(buffer), 8u);
    EXPECT_EQ(VReal::sInfo.GetAvgSpace(), 8u);

    EXPECT_EQ(VReal::sInfo.ByteSwapPtr(buffer + 1, true), buffer + 9);
    double swapped;
    std::memcpy(&swapped, buffer + 1, 8);
    EXPECT_NE(swapped, -3.25);
    VReal::sInfo.ByteSwapPtr(buffer + 1, false);
    std::memcpy(&swapped, buffer + 1, 8);
    EXPECT_EQ(swapped, -3.25);
}

TEST(VReal, StreamFormInBothByteOrders)
{
    const double value = 6.5;
    Bytes native(8);
    std::memcpy(native.data(), &value, 8);
    const Bytes swapped(native.rbegin(), native.rend());
    EXPECT_EQ(VReal(value).GetStreamSpace(), 8u);
    EXPECT_EQ(StreamOut(VReal(value), false), native);
    EXPECT_EQ(StreamOut(VReal(value), true), swapped);

    VReal read;
    read.SetNull(true);
    EXPECT_EQ(StreamIn(read, swapped, true), VE_OK);
    EXPECT_EQ(read.Get(), 6.5);
    EXPECT_TRUE(read.IsNull()); // the flags stay

    // A short stream: the datum is 0 and the stream's error comes back.
    VReal failed(9.0);
    EXPECT_NE(StreamIn(failed, Bytes(5), false), VE_OK);
    EXPECT_EQ(failed.Get(), 0.0);
}

// ---------------------------------------------------------------------------------------------
// Values prepared for JSON

TEST(VReal, ValuesConvertedToJSONScalars)
{
    std::unique_ptr<VValueSingle> converted(
        VValueSingle::ConvertVValueToJSONScalar(VDuration(int64_t(1500)), false));
    ASSERT_EQ(converted->GetValueKind(), VK_REAL);
    EXPECT_EQ(converted->GetReal(), 1.5);
    converted.reset(VValueSingle::ConvertVValueToJSONScalar(VDuration(int64_t(1500)), true));
    EXPECT_EQ(converted->GetReal(), 1500.0);
    VDuration nullDuration(int64_t(1500));
    nullDuration.SetNull(true);
    converted.reset(VValueSingle::ConvertVValueToJSONScalar(nullDuration, false));
    EXPECT_TRUE(converted->IsNull());

    VLong nullLong(12);
    nullLong.SetNull(true);
    converted.reset(VValueSingle::ConvertVValueToJSONScalar(nullLong, false));
    ASSERT_EQ(converted->GetValueKind(), VK_REAL);
    EXPECT_EQ(converted->GetReal(), 12.0);
    EXPECT_TRUE(converted->IsNull());

    VUUID uuid(true);
    converted.reset(VValueSingle::ConvertVValueToJSONScalar(uuid, false));
    ASSERT_EQ(converted->GetValueKind(), VK_STRING);
    VString uuidText;
    converted->GetString(uuidText);
    EXPECT_EQ(uuidText.GetLength(), 32);

    converted.reset(VValueSingle::ConvertVValueToJSONScalar(VBoolean(true), false));
    ASSERT_EQ(converted->GetValueKind(), VK_BOOLEAN);
    EXPECT_EQ(converted->GetBoolean(), 1);

    EXPECT_EQ(VValueSingle::ValueKindToJsonType(VK_BOOLEAN), JSON_true);
    EXPECT_EQ(VValueSingle::ValueKindToJsonType(VK_REAL), JSON_number);
    EXPECT_EQ(VValueSingle::ValueKindToJsonType(VK_TIME), JSON_date);
    EXPECT_EQ(VValueSingle::ValueKindToJsonType(VK_STRING), JSON_string);
    EXPECT_EQ(VValueSingle::ValueKindToJsonType(VK_LONG), JSON_null);
    EXPECT_EQ(VValueSingle::ValueKindToJsonType(VK_UUID), JSON_null);
}

// ---------------------------------------------------------------------------------------------
// Packed decimal numbers

std::vector<uint8_t> PackedDecimal(int32_t inExponent, int8_t inSign, int32_t inDigits,
                                   std::vector<uint8_t> inMantissa)
{
    // Room after the header even without mantissa bytes, as a packed block always has.
    std::vector<uint8_t> block(9 + inMantissa.size() + 1);
    std::memcpy(block.data(), &inExponent, 4);
    std::memcpy(block.data() + 4, &inSign, 1);
    std::memcpy(block.data() + 5, &inDigits, 4);
    for (size_t i = 0; i < inMantissa.size(); ++i)
        block[9 + i] = inMantissa[i];
    return block;
}

TEST(VReal, PackedDecimalNumbers)
{
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(2, 1, 3, {12, 50}).data()), 12.5);
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(0, -1, 1, {70}).data()), -0.7);
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(-2, 7, 2, {25}).data()), 0.0025);
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(5, 0, 40, {99, 99}).data()), 0.0);
    // Malformed blocks: no digit, a byte that is no base-100 digit.
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(1, 1, 0, {}).data()), 0.0);
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(1, 1, 2, {150}).data()), 0.0);
    // An extreme exponent neither overflows the text nor the arithmetic.
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(INT32_MIN, 1, 1, {10}).data()), 0.0);
    EXPECT_EQ(MAPM_FloatToReal(PackedDecimal(INT32_MAX, 1, 1, {10}).data()), kInfinity);
    // Many digits: only the first thousand are read.
    std::vector<uint8_t> many(600, 11);
    EXPECT_NEAR(MAPM_FloatToReal(PackedDecimal(1, 1, 5000, many).data()), 1.1111111111111112, 1e-15);
}

} // namespace
} // namespace kova
