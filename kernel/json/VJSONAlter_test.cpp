#include "kernel/json/VJSONAlter.h"

#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONClassStore.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VTime.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::Write;

TEST(VJSONAlterTest, SetsEachKindAtAPath)
{
    VJSONValue value = Parse(R"("text")");
    VJSONAlter(value, VString("n"), int32_t(3));
    EXPECT_EQ(Write(value), R"({"n":3})");

    const UniChar units[] = {u'h', u'\u00E9', 0};
    VTime time;
    time.FromUTCTime(2026, 1, 31, 9, 5, 7, 250);
    VJSONArray* array = nullptr;
    VJSONAlter(value, VString("a.b"), true);
    VJSONAlter(value, VString("a.r"), 0.5);
    VJSONAlter(value, VString("s"), VString("v"));
    VJSONAlter(value, VString("c"), "c-string");
    VJSONAlter(value, VString("nullc"), static_cast<const char*>(nullptr));
    VJSONAlter(value, VString("u"), units);
    VJSONAlter(value, VString("list[1]"), Parse("[1]"));
    VJSONAlter(value, VString("made"), JSON_array, &array);
    ASSERT_NE(array, nullptr);
    array->Push(VJSONValue(1.0));
    VJSONAlter(value, VString("o"), JSON_object, &array);
    EXPECT_EQ(array, nullptr);
    VJSONAlter(value, VString("beyond"), JSON_last_type, nullptr);
    VJSONAlter(value, VString("t"), time);
    const std::string written = Write(value);
    EXPECT_EQ(written.substr(0, written.find(R"(,"t":)")),
              R"({"n":3,"a":{"b":true,"r":0.5},"s":"v","c":"c-string","nullc":null,"u":"hé",)"
              R"("list":[null,[1]],"made":[1],"o":{})");
    // The time as text, not as a date.
    EXPECT_TRUE(value.GetProperty(VString("t")).IsString());
    EXPECT_NE(written.find("2026-01-31"), std::string::npos);

    VJSONAlter(value, VString("n"));
    EXPECT_TRUE(value.GetProperty(VString("n")).IsUndefined());
    VJSONValue number(2.0);
    VJSONAlter(number, VString("n"));
    EXPECT_TRUE(number.IsNumber());
    VJSONAlter{number};
    EXPECT_EQ(Write(number), "{}");
}

TEST(VJSONAlterTest, FormulasAreInstancesOfFunction)
{
    VJSONObject* functionClass = VJSONClassStore::GetProcessClassStore()->GetFunctionClassObject();
    VJSONObject* apply = VJSONClass::CastClassObject(functionClass)->GetFunction(VString("apply"));
    ASSERT_NE(apply, nullptr);
    EXPECT_TRUE(IsObjectAFormula(apply));
    EXPECT_TRUE(IsObjectAFormula(VJSONValue(apply)));
    EXPECT_FALSE(IsObjectAFormula(Parse("{}")));
    EXPECT_FALSE(IsObjectAFormula(Parse("[]")));
    EXPECT_FALSE(IsObjectAFormula(static_cast<const VJSONObject*>(nullptr)));
}

} // namespace
} // namespace kova
