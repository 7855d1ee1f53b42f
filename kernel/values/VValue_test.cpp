#include "kernel/values/VValue.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/values/RealToInteger.h"
#include "kernel/values/VBlob.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VEmpty.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueMultiple.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <typeinfo>

namespace kova
{
namespace
{

// ---------------------------------------------------------------------------------------------
// Registry

TEST(VValueRegistry, EveryKindOfTheseClassesIsRegisteredAndMakesItsClass)
{
    struct Case
    {
        ValueKind fKind;
        const std::type_info& fClass;
        bool fNull;
    };
    const Case cases[] = {
        {VK_EMPTY, typeid(VEmpty), true},        {VK_BOOLEAN, typeid(VBoolean), false},
        {VK_BYTE, typeid(VByte), false},         {VK_WORD, typeid(VWord), false},
        {VK_LONG, typeid(VLong), false},         {VK_LONG8, typeid(VLong8), false},
        {VK_STRING, typeid(VString), false},     {VK_BLOB, typeid(VBlobWithPtr), false},
        {VK_UUID, typeid(VUUID), true},          {VK_UNDEFINED, typeid(VEmpty), true},
        {VK_TIME, typeid(VTime), false},         {VK_DURATION, typeid(VDuration), false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fKind);
        const VValueInfo* info = VValue::ValueInfoFromValueKind(c.fKind);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->GetKind(), c.fKind);
        EXPECT_EQ(info->GetTrueKind(), c.fKind);
        std::unique_ptr<VValue> value(VValue::NewValueFromValueKind(c.fKind));
        ASSERT_NE(value, nullptr);
        const VValue& made = *value;
        EXPECT_EQ(typeid(made), c.fClass);
        EXPECT_EQ(value->IsNull(), c.fNull);
        EXPECT_TRUE(value->IsDirty());
        if (c.fKind != VK_UNDEFINED)
        {
            EXPECT_EQ(value->GetValueInfo(), info);
        }
    }
}

TEST(VValueRegistry, UnusedKindsGiveNothing)
{
    for (ValueKind kind : {ValueKind(7), ValueKind(12), ValueKind(106), ValueKind(300)})
    {
        EXPECT_EQ(VValue::ValueInfoFromValueKind(kind), nullptr);
        EXPECT_EQ(VValue::NewValueFromValueKind(kind), nullptr);
    }
}

TEST(VValueRegistry, ALaterDescriptorReplacesTheEntryAndUnregisteringErasesIt)
{
    constexpr ValueKind kFree = 12;
    {
        VValueInfo_scalar<VLong, kFree, int32_t> first;
        EXPECT_EQ(VValue::ValueInfoFromValueKind(kFree), &first);
        {
            VValueInfo_scalar<VLong, kFree, int32_t> second;
            EXPECT_EQ(VValue::ValueInfoFromValueKind(kFree), &second);
        }
        // Unregistering erases the kind's entry, whichever descriptor it held.
        EXPECT_EQ(VValue::ValueInfoFromValueKind(kFree), nullptr);
    }
    EXPECT_EQ(VValue::ValueInfoFromValueKind(kFree), nullptr);
}

TEST(VValueRegistry, InvertCompResult)
{
    EXPECT_EQ(VValue::InvertCompResult(CR_SMALLER), CR_BIGGER);
    EXPECT_EQ(VValue::InvertCompResult(CR_BIGGER), CR_SMALLER);
    EXPECT_EQ(VValue::InvertCompResult(CR_EQUAL), CR_EQUAL);
    EXPECT_EQ(VValue::InvertCompResult(CR_UNRELEVANT), CR_UNRELEVANT);
}

// ---------------------------------------------------------------------------------------------
// Flags and hooks

class HookedLong : public VLong
{
public:
    void DoNullChanged() override { ++fNullChanges; }
    void DoDirtyChanged() override { ++fDirtyChanges; }
    int fNullChanges = 0;
    int fDirtyChanges = 0;
};

TEST(VValueFlags, SetNullCallsEachHookOnceAndOnlyOnAChange)
{
    HookedLong value;
    value.SetDirty(false);
    value.fDirtyChanges = 0;

    value.SetNull(true);
    EXPECT_TRUE(value.IsNull());
    EXPECT_TRUE(value.IsDirty());
    EXPECT_EQ(value.fNullChanges, 1);
    EXPECT_EQ(value.fDirtyChanges, 1);

    value.SetNull(true);
    EXPECT_EQ(value.fNullChanges, 1);
    EXPECT_EQ(value.fDirtyChanges, 1);

    // Already dirty: only the null hook runs.
    value.SetNull(false);
    EXPECT_EQ(value.fNullChanges, 2);
    EXPECT_EQ(value.fDirtyChanges, 1);
}

TEST(VValueFlags, SetDirtyCallsTheHookForASetAndForAClear)
{
    HookedLong value;
    value.SetDirty(false);
    EXPECT_FALSE(value.IsDirty());
    EXPECT_EQ(value.fDirtyChanges, 1);
    value.SetDirty(false);
    EXPECT_EQ(value.fDirtyChanges, 1);
    value.SetDirty(true);
    EXPECT_EQ(value.fDirtyChanges, 2);
}

// A hook that tries to undo the change: the asked null state wins.
class StubbornLong : public VLong
{
public:
    void DoNullChanged() override { fFlags = uint8_t(fFlags ^ kFlagNull); }
};

TEST(VValueFlags, TheAskedNullStateWinsOverTheHook)
{
    StubbornLong value;
    value.SetNull(true);
    EXPECT_TRUE(value.IsNull());
}

// ---------------------------------------------------------------------------------------------
// Base behaviour

// A class that implements nothing of its own.
class BareValue : public VValue
{
public:
    VValue* Clone() const override { return new BareValue(*this); }
};

TEST(VValueBase, JSONFormsRaiseNotImplemented)
{
    BareValue value;
    VString text("x");
    {
        StErrorContextInstaller errors(false);
        EXPECT_EQ(value.FromJSONString(text, 0), VE_UNIMPLEMENTED);
        EXPECT_EQ(errors.GetLastError(), VE_UNIMPLEMENTED);
    }
    {
        StErrorContextInstaller errors(false);
        EXPECT_EQ(value.GetJSONString(text, 0), VE_UNIMPLEMENTED);
        EXPECT_EQ(errors.GetLastError(), VE_UNIMPLEMENTED);
    }
}

TEST(VValueBase, DefaultsOfTheProtocol)
{
    BareValue value;
    EXPECT_EQ(value.GetValueInfo()->GetKind(), VK_UNDEFINED);
    EXPECT_EQ(value.IsVValueSingle(), nullptr);
    EXPECT_FALSE(value.CanBeStreamed());
    EXPECT_TRUE(value.CanBeEvaluated());
    EXPECT_EQ(value.CompareToSameKind(&value, false), CR_EQUAL);
    EXPECT_TRUE(value.EqualToSameKind_Like(&value, false));
    EXPECT_FALSE(value.FromValueSameKind(&value));
    uint8_t buffer[4] = {};
    EXPECT_EQ(value.WriteToPtr(buffer, false, 0), buffer);
    EXPECT_EQ(value.LoadFromPtr(buffer, false), buffer);
    EXPECT_EQ(value.GetStreamSpace(), 0u);
    std::unique_ptr<VValue> copy(value.FullyClone(false));
    EXPECT_NE(dynamic_cast<BareValue*>(copy.get()), nullptr);
}

TEST(VValueSingleBase, GettersGiveZeroAndTheJSONValueFormsReturnNotImplementedSilently)
{
    VEmpty empty;
    EXPECT_EQ(empty.GetLong8(), 0);
    EXPECT_EQ(empty.GetReal(), 0.0);
    VString text("x");
    empty.GetString(text);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(text.IsNull());
    EXPECT_TRUE(empty.CanBeStreamed());

    StErrorContextInstaller errors(false);
    EXPECT_EQ(empty.FromJSONString(VString("5"), 0), VE_OK);
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

TEST(VValueSingleBase, ConvertToCopiesTheDatumAndTheNullState)
{
    VLong value(-42);
    std::unique_ptr<VValueSingle> text(value.ConvertTo(VK_STRING));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetValueKind(), VK_STRING);
    VString expected("-42");
    EXPECT_EQ(static_cast<VString*>(text.get())->CompareTo(expected, false), CR_EQUAL);
    EXPECT_FALSE(text->IsNull());

    value.SetNull(true);
    std::unique_ptr<VValueSingle> wide(value.ConvertTo(VK_LONG8));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->GetLong8(), -42);
    EXPECT_TRUE(wide->IsNull());

    EXPECT_EQ(value.ConvertTo(7), nullptr);

    VDuration duration(int64_t(-1500));
    std::unique_ptr<VValueSingle> milliseconds(duration.ConvertTo(VK_STRING));
    ASSERT_NE(milliseconds, nullptr);
    EXPECT_EQ(milliseconds->CompareTo(VString("-1500"), false), CR_EQUAL);
}

TEST(VValueSingleBase, ConvertToAKindThatIsNoSingleValueGivesNull)
{
    constexpr ValueKind kFree = 12;
    class Multiple : public VValueMultiple
    {
    public:
        int32_t GetCount() const override { return 0; }
    };
    VValueInfo_default<Multiple, kFree> info;
    EXPECT_EQ(VLong(1).ConvertTo(kFree), nullptr);
}

TEST(VValueSingleBase, DebugDumpIsTheTextInUTF16CutToTheBuffer)
{
    VLong value(123456);
    char buffer[64];
    int size = sizeof(buffer);
    EXPECT_EQ(value.DebugDump(buffer, size), VTC_UTF_16);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(VString(buffer, size_t(size), VTC_UTF_16).CompareTo(VString("123456"), false), CR_EQUAL);

    size = 6;
    value.DebugDump(buffer, size);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(VString(buffer, size_t(size), VTC_UTF_16).CompareTo(VString("123"), false), CR_EQUAL);
}

TEST(VValueMultipleBase, SettersFallThroughToReal)
{
    class RealSink : public VValueMultiple
    {
    public:
        int32_t GetCount() const override { return 1; }
        void FromReal(double inValue, int32_t inIndex) override
        {
            fLast = inValue;
            fIndex = inIndex;
        }
        double fLast = 0;
        int32_t fIndex = -1;
    };
    RealSink sink;
    sink.FromBoolean(1, 3);
    EXPECT_EQ(sink.fLast, 1.0);
    EXPECT_EQ(sink.fIndex, 3);
    sink.FromByte(-2, 0);
    EXPECT_EQ(sink.fLast, -2.0);
    sink.FromLong8(int64_t(1) << 40, 0);
    EXPECT_EQ(sink.fLast, std::ldexp(1.0, 40));
    EXPECT_EQ(sink.GetValueKind(), VK_UNDEFINED);
    EXPECT_EQ(sink.Clone(), nullptr);
    EXPECT_FALSE(sink.CanBeEvaluated());
    EXPECT_EQ(sink.CompareTo(VLong(1), false, 0), CR_UNRELEVANT);
}

// ---------------------------------------------------------------------------------------------
// Empty values

TEST(VEmpty, IsNullCannotBeOrderedAndCopiesAsNull)
{
    VEmpty empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_TRUE(empty.IsDirty());
    EXPECT_FALSE(empty.CanBeEvaluated());
    EXPECT_EQ(empty.CompareTo(VEmpty(), false), CR_UNRELEVANT);
    EXPECT_EQ(empty.CompareTo(VLong(0), false), CR_UNRELEVANT);
    EXPECT_FALSE(empty.EqualTo(VEmpty(), false));
    std::unique_ptr<VValue> copy(empty.Clone());
    EXPECT_TRUE(copy->IsNull());
    EXPECT_EQ(copy->GetValueInfo()->GetKind(), VK_EMPTY);

    uint8_t packed[1] = {0};
    std::unique_ptr<VValue> loaded(VEmpty::sInfo.LoadFromPtr(packed, false));
    EXPECT_TRUE(loaded->IsNull());
    EXPECT_EQ(VEmpty::sInfo.ByteSwapPtr(packed, true), packed);
}

// ---------------------------------------------------------------------------------------------
// Compare options and the real-to-integer conversion

TEST(VCompareOptions, Defaults)
{
    VCompareOptions options;
    EXPECT_EQ(options.GetIntlManager(), nullptr);
    EXPECT_FALSE(options.IsLike());
    EXPECT_FALSE(options.IsDiacritical());
    EXPECT_FALSE(options.IsBeginOnly());
    EXPECT_DOUBLE_EQ(options.GetEpsilon(), 0.000001);
}

TEST(RealToInteger, TruncatesSaturatesAndGivesZeroForNaN)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(RealToInteger<int32_t>(-1.9), -1);
    EXPECT_EQ(RealToInteger<int32_t>(1.9), 1);
    EXPECT_EQ(RealToInteger<int32_t>(kNaN), 0);
    EXPECT_EQ(RealToInteger<int32_t>(3e9), INT32_MAX);
    EXPECT_EQ(RealToInteger<int32_t>(-3e9), INT32_MIN);
    EXPECT_EQ(RealToInteger<int32_t>(2147483647.9), INT32_MAX);
    EXPECT_EQ(RealToInteger<int32_t>(-2147483648.9), INT32_MIN);
    EXPECT_EQ(RealToInteger<int64_t>(kInf), INT64_MAX);
    EXPECT_EQ(RealToInteger<int64_t>(-kInf), INT64_MIN);
    EXPECT_EQ(RealToInteger<int64_t>(9223372036854775808.0), INT64_MAX);
    EXPECT_EQ(RealToInteger<int64_t>(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(RealToInteger<int64_t>(9007199254740993.0), 9007199254740992);
    EXPECT_EQ(RealToInteger<uint8_t>(300.0), 255);
    EXPECT_EQ(RealToInteger<uint8_t>(-1.0), 0);
    EXPECT_EQ(RealToInteger<uint64_t>(1e30), UINT64_MAX);
}

} // namespace
} // namespace kova
