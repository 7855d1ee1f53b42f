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
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

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

// A value's datum in a few characters, whatever its kind, and " (null)" after a null one.
std::string Describe(const VValueSingle& inValue)
{
    std::string text;
    switch (inValue.GetValueKind())
    {
    case VK_DURATION:
        text = std::to_string(inValue.GetLong8OrMilliSeconds()) + "ms";
        break;
    case VK_TIME:
    {
        const auto& time = dynamic_cast<const VTime&>(inValue);
        int16_t f[7];
        time.GetUTCTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d.%03d", f[0], f[1], f[2], f[3],
                      f[4], f[5], f[6]);
        text = time.IsEmptyDate() ? "no date" : buffer;
        break;
    }
    case VK_STRING:
    case VK_UUID:
    {
        VString string;
        inValue.GetString(string);
        for (int32_t i = 0; i < string.GetLength(); ++i)
        {
            char unit[8];
            UniChar c = string.GetCPointer()[i];
            std::snprintf(unit, sizeof(unit), c < 0x80 ? "%c" : "\\u%04X", c);
            text += unit;
        }
        if (inValue.GetValueKind() == VK_STRING)
            text = '"' + text + '"';
        break;
    }
    case VK_BLOB:
    {
        const auto& blob = dynamic_cast<const VBlob&>(inValue);
        text = "blob";
        std::vector<uint8_t> bytes(blob.GetSize());
        blob.GetData(bytes.data(), bytes.size(), 0, nullptr);
        for (uint8_t byte : bytes)
        {
            char hex[4];
            std::snprintf(hex, sizeof(hex), " %02X", byte);
            text += hex;
        }
        break;
    }
    case VK_EMPTY:
        text = "empty";
        break;
    default:
        text = std::to_string(inValue.GetLong8());
        break;
    }
    return inValue.IsNull() ? text + " (null)" : text;
}

// Every single kind into every other through ConvertTo, that is through the pair of the source's
// GetValue and the target's setter of the source's type. A null cell is left out: a date-time's
// text follows the system's date format.
TEST(VValueSingleBase, ConvertToEveryKindFromEveryKind)
{
    const ValueKind kTargets[] = {VK_BOOLEAN, VK_BYTE,   VK_WORD, VK_LONG, VK_LONG8, VK_DURATION,
                                  VK_TIME,    VK_STRING, VK_UUID, VK_BLOB, VK_EMPTY};
    const char* const kNoId = "00000000000000000000000000000000";
    struct Case
    {
        const char* fName;
        std::unique_ptr<VValueSingle> (*fMake)();
        const char* fResults[11];
    };
    const Case cases[] = {
        {"boolean holding 2",
         []
         {
             auto value = std::make_unique<VBoolean>();
             value->FromByte(2);
             return std::unique_ptr<VValueSingle>(std::move(value));
         },
         {"2", "2", "2", "2", "2", "1000ms", "no date", "\"true\"", kNoId, "blob", "empty"}},
        {"byte -2",
         [] { return std::unique_ptr<VValueSingle>(new VByte(-2)); },
         {"1", "-2", "-2", "-2", "-2", "-2000ms", "no date", "\"-2\"", kNoId, "blob", "empty"}},
        {"word 300",
         [] { return std::unique_ptr<VValueSingle>(new VWord(300)); },
         {"1", "44", "300", "300", "300", "300000ms", "no date", "\"300\"", kNoId, "blob", "empty"}},
        {"long 70000",
         [] { return std::unique_ptr<VValueSingle>(new VLong(70000)); },
         {"1", "112", "4464", "70000", "70000", "70000000ms", "no date", "\"70000\"", kNoId, "blob",
          "empty"}},
        {"long8 2^32 + 5",
         [] { return std::unique_ptr<VValueSingle>(new VLong8(4294967301)); },
         {"1", "5", "5", "5", "4294967301", "4294967301000ms", "no date", "\"4294967301\"", kNoId, "blob",
          "empty"}},
        // Numbers are whole seconds, cut to each width.
        {"duration 90061001 ms",
         [] { return std::unique_ptr<VValueSingle>(new VDuration(90061001)); },
         {"1", "-51", "24525", "90061", "90061", "90061001ms", "no date", "\"90061001\"", kNoId, "blob",
          "empty"}},
        {"date-time",
         []
         {
             auto value = std::make_unique<VTime>();
             value->FromUTCTime(2026, 12, 8, 13, 45, 30, 250);
             return std::unique_ptr<VValueSingle>(std::move(value));
         },
         {"0", "0", "0", "0", "0", "0ms", "2026-12-08 13:45:30.250", nullptr, kNoId, "blob", "empty"}},
        // No number in the text; the identifier is its UTF-8 bytes over blanks.
        {"string",
         [] { return std::unique_ptr<VValueSingle>(new VString(u"x\u00E9")); },
         {"0", "0", "0", "0", "0", "0ms", "no date", "\"x\\u00E9\"", "78C3A920202020202020202020202020",
          "blob", "empty"}},
        {"UUID",
         []
         {
             auto value = std::make_unique<VUUID>();
             value->FromString(VString("0123456789ABCDEF0123456789ABCDEF"));
             return std::unique_ptr<VValueSingle>(std::move(value));
         },
         {"0", "0", "0", "0", "0", "0ms", "no date", "\"0123456789ABCDEF0123456789ABCDEF\"",
          "0123456789ABCDEF0123456789ABCDEF", "blob", "empty"}},
        // Only a blob takes a blob's bytes.
        {"blob",
         []
         {
             const uint8_t bytes[2] = {0xAB, 0xCD};
             return std::unique_ptr<VValueSingle>(new VBlobWithPtr(bytes, 2));
         },
         {"0", "0", "0", "0", "0", "0ms", "no date", "\"\"", kNoId, "blob AB CD", "empty"}},
        // Every target is cleared, then takes the null state.
        {"empty",
         [] { return std::unique_ptr<VValueSingle>(new VEmpty()); },
         {"0 (null)", "0 (null)", "0 (null)", "0 (null)", "0 (null)", "0ms (null)", "no date (null)",
          "\"\" (null)", "00000000000000000000000000000000 (null)", "blob (null)", "empty (null)"}},
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<VValueSingle> source = c.fMake();
        for (size_t i = 0; i < std::size(kTargets); ++i)
        {
            if (c.fResults[i] == nullptr)
                continue;
            SCOPED_TRACE(testing::Message() << c.fName << " to kind " << kTargets[i]);
            std::unique_ptr<VValueSingle> converted(source->ConvertTo(kTargets[i]));
            ASSERT_NE(converted, nullptr);
            EXPECT_EQ(converted->GetValueKind(), kTargets[i]);
            EXPECT_EQ(Describe(*converted), c.fResults[i]);
        }
    }
}

// Only strings cut their packed form to a limit; a datum of fixed size is written whole, as
// GetSpace says, so the address returned is always past the datum.
TEST(VValueSingleBase, WriteToPtrWritesAFixedDatumWholeWhateverTheLimit)
{
    VDuration duration(-2);
    VTime time;
    time.FromUTCTime(2026, 12, 8, 13, 45, 30, 250);
    VLong8 long8(-3);
    VUUID uuid(true);
    const VValueSingle* values[] = {&duration, &time, &long8, &uuid};
    for (const VValueSingle* value : values)
    {
        SCOPED_TRACE(value->GetValueKind());
        uint64_t outside = 0;
        size_t space = value->GetSpace(outside, 4);
        std::vector<uint8_t> buffer(space, 0xEE);
        EXPECT_EQ(value->WriteToPtr(buffer.data(), false, 4), buffer.data() + space);
        std::unique_ptr<VValue> loaded(value->GetValueInfo()->LoadFromPtr(buffer.data(), false));
        EXPECT_EQ(value->CompareToSameKind(loaded.get(), false), CR_EQUAL);
    }
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
