#include "kernel/values/VArrayReal.h"

#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VInteger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;
using testing_values::StreamOut;
using testing_values::TextIs;

VArrayReal Of(std::initializer_list<double> inValues)
{
    VArrayReal array;
    for (double value : inValues)
        array.AppendReal(value);
    return array;
}

TEST(VArrayReal, Statistics)
{
    const VArrayReal empty;
    EXPECT_EQ(empty.GetSum(), 0.0);
    EXPECT_EQ(empty.GetAverage(), 0.0);
    EXPECT_EQ(empty.GetSquareSum(), 0.0);
    EXPECT_EQ(empty.GetStdDev(), 0.0);

    const VArrayReal values = Of({1, 2, 3, 4});
    EXPECT_EQ(values.GetSum(), 10.0);
    EXPECT_EQ(values.GetAverage(), 2.5);
    // The squared deviations from the average, and their mean: no square root.
    EXPECT_EQ(values.GetSquareSum(), 5.0);
    EXPECT_EQ(values.GetStdDev(), 1.25);
}

TEST(VArrayReal, ElementsAndValues)
{
    VArrayReal array(2);
    array.FromReal(1.5, 1);
    array.FromReal(9.0, 3); // out of range: ignored
    EXPECT_EQ(array.GetReal(1), 1.5);
    EXPECT_EQ(array.GetReal(0), 0.0);
    EXPECT_EQ(array.GetReal(3), 0.0);
    EXPECT_EQ(array.GetCount(), 2);

    array.FromValue(VString("2.75"), 2);
    EXPECT_EQ(array.GetReal(2), 2.75);
    array.FromLong(-4, 2); // a long falls through to the real setter
    EXPECT_EQ(array.GetReal(2), -4.0);
    VString text;
    array.GetValue(text, 1);
    EXPECT_TRUE(TextIs(text, "1.5"));
    std::unique_ptr<VValueSingle> clone(array.CloneValue(1));
    EXPECT_EQ(clone->GetTrueValueKind(), VK_REAL);
    EXPECT_EQ(clone->GetReal(), 1.5);

    // Exact comparisons, no tolerance; NaN equals everything.
    EXPECT_EQ(array.CompareTo(VReal(1.5000001), false, 1), CR_SMALLER);
    EXPECT_EQ(array.CompareTo(VReal(1.5), false, 1), CR_EQUAL);
    EXPECT_EQ(array.CompareTo(VReal(std::numeric_limits<double>::quiet_NaN()), false, 1), CR_EQUAL);

    std::unique_ptr<VValue> generated(VValue::NewValueFromValueKind(VK_ARRAY_REAL));
    ASSERT_NE(dynamic_cast<VArrayReal*>(generated.get()), nullptr);
    std::unique_ptr<VValue> copy(array.Clone());
    EXPECT_EQ(dynamic_cast<VArrayReal&>(*copy).GetReal(2), -4.0);
}

TEST(VArrayReal, SortAndSearch)
{
    VArrayReal array = Of({3.5, -1.0, 2.0, 10.25, 0.0, 7.0, -3.5, 2.0, 8.0, 1.0, 4.0});
    array.Sort(1, array.GetCount(), 0);
    for (int32_t i = 2; i <= array.GetCount(); ++i)
        EXPECT_LE(array.GetReal(i - 1), array.GetReal(i));
    EXPECT_EQ(array.GetReal(1), -3.5);
    EXPECT_EQ(array.QuickFind(10.25), array.GetCount());
    EXPECT_EQ(array.QuickFind(5.0), -1);
    EXPECT_EQ(array.Find(2.0, 1, 1, CM_VALUE_EQUAL), 5);
    EXPECT_EQ(array.Find(VLong(2), 1, 1, CM_VALUE_EQUAL), 5);
    EXPECT_EQ(array.Find(2.0, array.GetCount(), 0, CM_VALUE_EQUAL), 6);
}

TEST(VArrayReal, StreamFormInBothByteOrders)
{
    for (bool swap : {false, true})
    {
        const VArrayReal array = Of({0.5, -2.0});
        Bytes expected;
        auto append = [&](const void* inBytes, size_t inSize)
        {
            const auto* bytes = static_cast<const uint8_t*>(inBytes);
            for (size_t i = 0; i < inSize; ++i)
                expected.push_back(bytes[swap ? inSize - 1 - i : i]);
        };
        const int32_t count = 2;
        append(&count, 4);
        for (double value : {0.5, -2.0})
            append(&value, 8);
        EXPECT_EQ(StreamOut(array, swap), expected);

        VArrayReal read(5);
        EXPECT_EQ(StreamIn(read, expected, swap), VE_OK);
        ASSERT_EQ(read.GetCount(), 2);
        EXPECT_EQ(read.GetReal(1), 0.5);
        EXPECT_EQ(read.GetReal(2), -2.0);
    }
}

} // namespace
} // namespace kova
