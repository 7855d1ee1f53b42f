// The JSON value forms of the value kinds (GetJSONValue, FromJSONValue) and of the compare
// options.
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VArrayReal.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VEmpty.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/ValueTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kova
{
namespace
{

using testing_values::TextIs;

VJSONValue Text(const char* inText)
{
    return VJSONValue(VString(inText));
}

TEST(VValueJSON, DefaultsOfKindsWithoutAJSONValue)
{
    StErrorContextInstaller errors(false, true);
    VJSONValue json(1.0);
    // A multiple value has no JSON form: undefined and kova 2 raised.
    VArrayReal reals;
    EXPECT_EQ(reals.GetJSONValue(json, 0), VE_UNIMPLEMENTED);
    EXPECT_TRUE(json.IsUndefined());
    EXPECT_EQ(errors.GetLastError(), VE_UNIMPLEMENTED);
    // A single value that has none: null, and nothing raised.
    errors.GetContext()->Flush();
    VEmpty empty;
    json.SetNumber(1);
    EXPECT_EQ(empty.GetJSONValue(json, 0), VE_UNIMPLEMENTED);
    EXPECT_TRUE(json.IsNull());
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

TEST(VValueJSON, IntegersTakeTheFloorWhenItFits)
{
    struct Case
    {
        VJSONValue fJSON;
        int64_t fByte, fLong, fLong8;
        bool fNull;
    };
    std::vector<Case> cases;
    cases.push_back({VJSONValue(-1.5), -2, -2, -2, false});
    cases.push_back({VJSONValue(300.0), 44, 300, 300, false});
    cases.push_back({VJSONValue(3e9), 0, 0, 3000000000, false});
    cases.push_back({VJSONValue(1e19), 0, 0, 0, false});
    cases.push_back({VJSONValue(std::numeric_limits<double>::quiet_NaN()), 0, 0, 0, false});
    cases.push_back({VJSONValue(JSON_true), 1, 1, 1, false});
    cases.push_back({Text("0x10"), 16, 16, 16, false});
    cases.push_back({VJSONValue(JSON_object), 0, 0, 0, false});
    cases.push_back({VJSONValue(JSON_null), 0, 0, 0, true});
    for (const Case& c : cases)
    {
        VByte byte;
        VLong longValue;
        VLong8 long8;
        EXPECT_EQ(byte.FromJSONValue(c.fJSON), VE_OK);
        longValue.FromJSONValue(c.fJSON);
        long8.FromJSONValue(c.fJSON);
        EXPECT_EQ(byte.GetLong8(), c.fByte);
        EXPECT_EQ(longValue.GetLong8(), c.fLong);
        EXPECT_EQ(long8.GetLong8(), c.fLong8);
        EXPECT_EQ(long8.IsNull(), c.fNull);
    }
    VJSONValue json;
    VLong8(-7).GetJSONValue(json, 0);
    EXPECT_EQ(json.GetNumber(), -7);
    VLong null;
    null.SetNull(true);
    null.GetJSONValue(json, 0);
    EXPECT_TRUE(json.IsNull());
}

TEST(VValueJSON, BooleansRealsAndUUIDs)
{
    VBoolean boolean;
    boolean.FromJSONValue(Text("x"));
    EXPECT_EQ(boolean.GetBoolean(), 1);
    boolean.FromJSONValue(VJSONValue(0.0));
    EXPECT_EQ(boolean.GetBoolean(), 0);
    boolean.FromJSONValue(VJSONValue(JSON_null));
    EXPECT_TRUE(boolean.IsNull());
    VJSONValue json;
    boolean.GetJSONValue(json, 0);
    EXPECT_TRUE(json.IsNull());
    VBoolean(true).GetJSONValue(json, 0);
    EXPECT_TRUE(json.IsTrue());

    VReal real(2.5);
    real.FromJSONValue(VJSONValue(JSON_null));
    EXPECT_TRUE(real.IsNull());
    EXPECT_EQ(real.GetReal(), 2.5);
    real.FromJSONValue(Text("0x10"));
    EXPECT_EQ(real.GetReal(), 16);
    EXPECT_FALSE(real.IsNull());
    real.GetJSONValue(json, 0);
    EXPECT_EQ(json.GetNumber(), 16);

    VUUID uuid(true);
    uuid.GetJSONValue(json, 0);
    ASSERT_TRUE(json.IsString());
    VUUID back;
    back.FromJSONValue(json);
    EXPECT_TRUE(back == uuid);
    back.FromJSONValue(VJSONValue(JSON_null));
    EXPECT_TRUE(back.IsNull());
    back.GetJSONValue(json, 0);
    EXPECT_TRUE(json.IsNull());
}

TEST(VValueJSON, DurationsAsSecondsMillisecondsOrClockText)
{
    VDuration duration(90061001);
    VJSONValue json;
    duration.GetJSONValue(json, 4);
    VString text;
    json.GetString(text);
    EXPECT_TRUE(TextIs(text, "25:01:01"));
    VDuration(3600000).GetJSONValue(json, 4);
    json.GetString(text);
    EXPECT_TRUE(TextIs(text, "01:00:00"));
    VDuration(1500).GetJSONValue(json, 0);
    EXPECT_EQ(json.GetNumber(), 1.5);
    VDuration(1500).GetJSONValue(json, 2);
    EXPECT_EQ(json.GetNumber(), 1500);

    duration.FromJSONValue(VJSONValue(2.0009));
    EXPECT_EQ(duration.ConvertToMilliseconds(), 2000);
    duration.FromJSONValue(VJSONValue(JSON_null));
    EXPECT_TRUE(duration.IsNull());
    EXPECT_EQ(duration.ConvertToMilliseconds(), 2000);
}

TEST(VValueJSON, TimesAsDatesOrText)
{
    VTime time;
    time.FromUTCTime(2024, 3, 4, 5, 6, 7, 8);
    VJSONValue json;
    time.GetJSONValue(json, 1);
    EXPECT_TRUE(json.IsDate());
    time.GetJSONValue(json, 0);
    ASSERT_TRUE(json.IsString());
    VString text;
    json.GetString(text);
    EXPECT_TRUE(TextIs(text, "2024-03-04T05:06:07.008Z"));

    VTime back;
    back.FromJSONValue(json);
    EXPECT_TRUE(back == time);
    VJSONValue date;
    date.SetDate(2024, 3, 4);
    back.FromJSONValue(date);
    int16_t year = 0, month = 0, day = 0, hour = 9, minute = 9, second = 9, millisecond = 9;
    back.GetUTCTime(year, month, day, hour, minute, second, millisecond);
    EXPECT_EQ(year * 10000 + month * 100 + day, 20240304);
    EXPECT_EQ(hour + minute + second + millisecond, 0);
    back.FromJSONValue(VJSONValue(JSON_null));
    EXPECT_TRUE(back.IsNull());
}

TEST(VValueJSON, CompareOptionsKeepOnlyTheDiacriticalFlag)
{
    VRefPtr<VJSONObject> object(new VJSONObject);
    VCompareOptions options;
    EXPECT_EQ(options.ToJSON(object.Get()), VE_OK);
    EXPECT_TRUE(object->GetProperty("diacritical").IsBool());
    EXPECT_FALSE(object->GetProperty("diacritical").IsTrue());

    object->SetProperty("diacritical", VJSONValue(JSON_true));
    options.FromJSON(object.Get());
    EXPECT_TRUE(options.IsDiacritical());
    object->SetProperty("diacritical", VJSONValue(1.0));
    options.FromJSON(object.Get());
    EXPECT_TRUE(options.IsDiacritical());
    object->SetProperty("diacritical", VJSONValue(JSON_false));
    options.FromJSON(object.Get());
    EXPECT_FALSE(options.IsDiacritical());
    EXPECT_EQ(options.ToJSON(nullptr), VE_OK);
}

} // namespace
} // namespace kova
