#include "kernel/errors/VProgressIndicatorInfo.h"

#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace kova
{
namespace
{

VProgressIndicatorInfo Record(const char* inMessage, int64_t inValue, int64_t inMax)
{
    VProgressIndicatorInfo record;
    record.SetMessage(VString(inMessage));
    record.SetValue(inValue);
    record.SetMax(inMax);
    return record;
}

std::string Attribute(const VValueBag& inBag, const char* inName)
{
    VString text;
    return inBag.GetString(inName, text) ? to_string(text) : "<none>";
}

TEST(VProgressIndicatorInfo, CompleteRecordRoundTripsWithItsAttributes)
{
    VProgressIndicatorInfo record = Record("copying", 5, 9);
    record.SetCanInterrupt(false);
    record.SetAttribute(VString("file"), VString("a.txt"));
    VValueBag bag;
    VString kind;
    ASSERT_EQ(record.SaveToBag(bag, kind, nullptr), VE_OK);
    EXPECT_EQ(to_string(kind), "VProgressIndicatorInfo");

    VProgressIndicatorInfo read;
    ASSERT_EQ(read.LoadFromBag(bag), VE_OK);
    EXPECT_EQ(to_string(read.GetRawMessage()), "copying");
    EXPECT_EQ(read.GetValue(), 5);
    EXPECT_EQ(read.GetMax(), 9);
    EXPECT_EQ(read.GetStartTime(), record.GetStartTime());
    EXPECT_FALSE(read.GetCanInterrupt());
    EXPECT_EQ(read.GetExtraInfoBagVersion(), record.GetExtraInfoBagVersion());
    VRefPtr<VValueBag> attributes(read.RetainExtraInfoBag());
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(Attribute(*attributes, "file"), "a.txt");
}

TEST(VProgressIndicatorInfo, ChangeRecordsCarryOnlyWhatDiffers)
{
    VProgressIndicatorInfo previous = Record("copying", 5, 9);
    VProgressIndicatorInfo same(previous);
    VValueBag unchanged;
    VString kind;
    same.SaveToBag(unchanged, kind, &previous);
    int32_t flags = -1;
    EXPECT_TRUE(unchanged.GetLong("fUpdateFlags", flags));
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(unchanged.GetAttributesCount(), 1);
    EXPECT_EQ(unchanged.GetElementNamesCount(), 0);

    VProgressIndicatorInfo next(previous);
    next.SetValue(6);
    next.SetAttribute(VString("file"), VString("b.txt"));
    VValueBag change;
    next.SaveToBag(change, kind, &previous);
    EXPECT_TRUE(change.GetLong("fUpdateFlags", flags));
    EXPECT_EQ(uint32_t(flags),
              kPROGRESS_UPDATE_VALUE | kPROGRESS_UPDATE_EXTRA_INFO_VERSION | kPROGRESS_UPDATE_EXTRA_INFO);
    EXPECT_EQ(Attribute(change, "fMessage"), "<none>");

    // Read onto the previous record and applied as a change, it gives the next record.
    VProgressIndicatorInfo received(previous);
    received.LoadFromBag(change);
    VProgressIndicatorInfo mirror(previous);
    mirror.UpdateFromRemoteInfo(received, uint32_t(flags));
    EXPECT_EQ(mirror.GetValue(), 6);
    EXPECT_EQ(to_string(mirror.GetRawMessage()), "copying");
    VRefPtr<VValueBag> attributes(mirror.RetainExtraInfoBag());
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(Attribute(*attributes, "file"), "b.txt");
}

TEST(VProgressIndicatorInfo, RecordWithoutUpdateFlagsIsReadAsComplete)
{
    VProgressIndicatorInfo record = Record("old", 1, 2);
    VValueBag bag;
    bag.SetLong8("fValue", 7);
    record.LoadFromBag(bag);
    EXPECT_EQ(record.GetValue(), 7);
    EXPECT_EQ(record.GetMax(), 2);
    EXPECT_EQ(to_string(record.GetRawMessage()), "");
}

TEST(VProgressIndicatorInfo, CopiesOwnTheirAttributesAndAssigningNullClears)
{
    VProgressIndicatorInfo record = Record("m", 1, 2);
    record.SetAttribute(VString("a"), VLong(1));
    VProgressIndicatorInfo copy(record);
    copy.SetAttribute(VString("a"), VLong(2));
    EXPECT_EQ(copy.GetID(), record.GetID());
    VRefPtr<VValueBag> original(record.RetainExtraInfoBag());
    int32_t value = 0;
    EXPECT_TRUE(original->GetLong("a", value));
    EXPECT_EQ(value, 1);

    copy = static_cast<const VProgressIndicatorInfo*>(nullptr);
    EXPECT_EQ(copy.GetValue(), 0);
    EXPECT_EQ(copy.GetMax(), 0);
    EXPECT_EQ(copy.GetStartTime(), 0u);
    EXPECT_EQ(copy.GetExtraInfoBagVersion(), 0u);
    EXPECT_EQ(copy.RetainExtraInfoBag(), nullptr);
    EXPECT_EQ(copy.GetID(), record.GetID());
}

TEST(VProgressIndicatorInfo, RateValueIsAPercentageThatNeverOverflows)
{
    const struct
    {
        int64_t fValue;
        int64_t fMax;
        int64_t fRate;
    } cases[] = {
        {1, 3, 33},  {0, 0, 0},
        {5, 0, 0},   {5, -1, 0},
        {-5, 10, 0}, {std::numeric_limits<int64_t>::max(), 1, std::numeric_limits<int64_t>::max()},
    };
    for (const auto& test : cases)
        EXPECT_EQ(Record("", test.fValue, test.fMax).GetRateValue(), test.fRate)
            << test.fValue << "/" << test.fMax;
}

TEST(VProgressIndicatorInfo, MessageShowsTheFiguresAndAStartDateOfToday)
{
    VProgressIndicatorInfo record =
        Record("Copying {curValue} of {maxValue} ({rateValue}%) since {startTime}", 1, 4);
    VString message;
    record.GetMessage(message);
    VTime now;
    VTime::Now(now);
    VString today;
    now.GetString(today);
    // The start is a date just before now, not the system's clock since boot read as a date.
    const std::string text = to_string(message);
    EXPECT_EQ(text.rfind("Copying 1 of 4 (25%) since ", 0), 0u) << text;
    EXPECT_NE(text.find(to_string(today).substr(0, 4)), std::string::npos) << text;

    VString empty;
    Record("", 1, 2).GetMessage(empty);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(VProgressIndicatorInfo, JSONFormInItsOrderWithACopyOfTheCollectedInformation)
{
    VProgressIndicatorInfo record = Record("step {curValue}", 2, 8);
    VRefPtr<VJSONObject> collected(new VJSONObject);
    VRefPtr<VJSONObject> nested(new VJSONObject);
    collected->SetProperty("files", VJSONValue(nested.Get()));
    collected->SetProperty("message", VJSONValue(VString("from collector")));
    record.SetCollectedInfo(RetainRefCountable(collected.Get()));

    VRefPtr<VJSONObject> object(new VJSONObject);
    object->SetProperty("stale", VJSONValue(1.0));
    record.GetJSONObject(*object);
    VString text;
    VJSONValue(object.Get()).Stringify(text, 1);
    const std::string json = to_string(text);
    size_t last = 0;
    for (const char* key :
         {"\"message\"", "\"maxValue\":8", "\"currentValue\":2", "\"interruptible\":true", "\"remote\":false",
          "\"uuid\"", "\"taskId\"", "\"startTime\"", "\"duration\"", "\"files\""})
    {
        const size_t at = json.find(key);
        ASSERT_NE(at, std::string::npos) << key << " in " << json;
        EXPECT_GE(at, last) << key << " in " << json;
        last = at;
    }
    EXPECT_EQ(json.find("stale"), std::string::npos);
    // The collected information wins, and what was merged is a copy.
    VString message;
    object->GetProperty("message").GetString(message);
    EXPECT_EQ(to_string(message), "from collector");
    EXPECT_NE(object->GetProperty("files").GetObject(), nested.Get());
    VString id;
    record.GetID().GetString(id);
    VString uuid;
    object->GetProperty("uuid").GetString(uuid);
    EXPECT_EQ(to_string(uuid), to_string(id));
}

} // namespace
} // namespace kova
