#include "kernel/json/VJSONValue.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "kernel/values/ValueTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::U8;
using testing_json::Write;
using testing_values::TextIs;

std::string TextOf(const VJSONValue& inValue)
{
    VString text("untouched");
    inValue.GetString(text);
    return testing_json::ToU8(text);
}

TEST(VJSONValue, CollectionsAreSharedAndFreedWithTheirLastValue)
{
    VJSONValue value(JSON_object);
    VJSONObject* object = value.GetObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRefCount(), 1u);
    {
        VJSONValue copy(value);
        EXPECT_EQ(copy.GetObject(), object);
        EXPECT_EQ(object->GetRefCount(), 2u);
        // The same object again changes nothing; null gives null, not undefined.
        copy.SetObject(object);
        EXPECT_EQ(object->GetRefCount(), 2u);
        copy.SetObject(nullptr);
        EXPECT_TRUE(copy.IsNull());
        EXPECT_EQ(object->GetRefCount(), 1u);
    }
    VJSONObject* retained = value.RetainObject();
    EXPECT_EQ(retained->GetRefCount(), 2u);
    retained->Release();
    EXPECT_EQ(value.RetainArray(), nullptr);
}

TEST(VJSONValue, StampsComeWithConstructionAndCopyNotWithMovesOrSetters)
{
    VJSONValue first(1.0);
    VJSONValue copy(first);
    EXPECT_GT(copy.GetStamp(), first.GetStamp());
    uint32_t stamp = copy.GetStamp();
    VJSONValue moved(std::move(copy));
    EXPECT_EQ(moved.GetStamp(), stamp);
    moved.SetNumber(2);
    EXPECT_EQ(moved.GetStamp(), stamp);
    VJSONValue assigned;
    assigned = moved;
    EXPECT_GT(assigned.GetStamp(), stamp);
}

TEST(VJSONValue, AssigningAValueFromInsideTheCollectionItReplaces)
{
    // The only reference to the object is this value's; the source lives in the object.
    VJSONValue value = Parse(R"({"inner":{"x":[1,2]}})");
    const VJSONValue& inner = value.GetObject()->_GetProperties()[0].fValue;
    value = inner;
    EXPECT_EQ(Write(value), R"({"x":[1,2]})");
    const VJSONValue& list = value.GetObject()->_GetProperties()[0].fValue;
    value = std::move(const_cast<VJSONValue&>(list));
    EXPECT_EQ(Write(value), "[1,2]");
}

TEST(VJSONValue, StringsShareTheirBlockAndNullStringsGiveNull)
{
    VString text("shared text");
    VJSONValue value(text);
    int32_t length = 0;
    EXPECT_EQ(value.GetStringUnits(&length), text.GetCPointer());
    EXPECT_EQ(length, text.GetLength());
    text.AppendCString(" changed"); // copy-on-write: the value keeps its own
    EXPECT_EQ(TextOf(value), "shared text");

    VString nothing;
    nothing.SetNull(true);
    EXPECT_TRUE(VJSONValue(nothing).IsNull());
    value.SetString(nothing);
    EXPECT_TRUE(value.IsNull());
    // An empty text has no block and is false.
    EXPECT_FALSE(VJSONValue(VString("")).GetBool());
    EXPECT_TRUE(VJSONValue(VString("")).IsString());
}

TEST(VJSONValue, GettersAnswerForEveryType)
{
    VJSONValue date;
    date.SetDate(2024, 1, 5);
    struct Case
    {
        VJSONValue fValue;
        bool fBool;
        double fNumber;
        const char* fText;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<Case> cases;
    cases.push_back({VJSONValue(JSON_null), false, 0, ""});
    cases.push_back({VJSONValue(), false, 0, ""});
    cases.push_back({VJSONValue(JSON_true), true, 1, "true"});
    cases.push_back({VJSONValue(JSON_false), false, 0, "false"});
    cases.push_back({VJSONValue(3.0), true, 3, "3"});
    cases.push_back({VJSONValue(0.1), true, 0.1, "0.1"});
    cases.push_back({VJSONValue(nan), true, nan, "null"});
    cases.push_back({VJSONValue(VString("0x1F")), true, 31, "0x1F"});
    cases.push_back({VJSONValue(VString("0X1f")), true, 31, "0X1f"});
    cases.push_back({VJSONValue(VString("2.5")), true, 2.5, "2.5"});
    cases.push_back({VJSONValue(JSON_object), true, 0, "[object Object]"});
    cases.push_back({Parse("[1,[2,null],\"x\"]"), true, 0, "1,2,,x"});
    cases.push_back({date, true, 0, "2024-01-05"});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fText);
        EXPECT_EQ(c.fValue.GetBool(), c.fBool);
        if (std::isnan(c.fNumber))
        {
            EXPECT_TRUE(std::isnan(c.fValue.GetNumber()));
        }
        else
        {
            EXPECT_DOUBLE_EQ(c.fValue.GetNumber(), c.fNumber);
        }
        EXPECT_EQ(TextOf(c.fValue), c.fText);
    }
    // A type beyond the enumeration leaves the text alone.
    EXPECT_EQ(TextOf(VJSONValue::sLastType), "untouched");

    int16_t year = 9, month = 9, day = 9;
    EXPECT_TRUE(date.GetDate(year, month, day));
    EXPECT_EQ(year * 10000 + month * 100 + day, 20240105);
    EXPECT_FALSE(VJSONValue(1.0).GetDate(year, month, day));
    EXPECT_EQ(year + month + day, 0);

    VTime time;
    date.GetTime(time);
    int16_t hour = 1, minute = 1, second = 1, millisecond = 1;
    time.GetUTCTime(year, month, day, hour, minute, second, millisecond);
    EXPECT_EQ(hour + minute + second + millisecond, 0);
    VJSONValue(1.0).GetTime(time);
    EXPECT_TRUE(time.IsNull());
}

TEST(VJSONValue, DatesKeepTheUTCDayOfATime)
{
    VTime time;
    time.FromUTCTime(2023, 12, 31, 23, 59, 59, 999);
    VJSONValue value(time);
    ASSERT_TRUE(value.IsDate());
    EXPECT_EQ(Write(value, 1), "\"2023-12-31T00:00:00.000Z\"");
    EXPECT_EQ(Write(value, 0x201), "\"2023-12-31\"");
    VTime none;
    none.SetNull(true);
    EXPECT_TRUE(VJSONValue(none).IsNull());
}

TEST(VJSONValue, ClearKeepsTheKindWhereItHasAnEmptyForm)
{
    struct Case
    {
        VJSONValue fValue;
        JSONType fType;
        const char* fWritten;
    };
    VJSONValue date;
    date.SetDate(2024, 1, 5);
    std::vector<Case> cases;
    cases.push_back({VJSONValue(JSON_true), JSON_false, "false"});
    cases.push_back({VJSONValue(VString("x")), JSON_string, "\"\""});
    cases.push_back({VJSONValue(4.0), JSON_number, "0"});
    cases.push_back({date, JSON_date, nullptr});
    cases.push_back({VJSONValue(JSON_object), JSON_null, "null"});
    cases.push_back({VJSONValue(JSON_array), JSON_null, "null"});
    cases.push_back({VJSONValue(), JSON_undefined, "null"});
    for (Case& c : cases)
    {
        c.fValue.Clear();
        EXPECT_EQ(c.fValue.GetType(), c.fType);
        if (c.fWritten != nullptr)
        {
            EXPECT_EQ(Write(c.fValue), c.fWritten);
        }
    }
    int16_t year = 1, month = 1, day = 1;
    cases[3].fValue.GetDate(year, month, day);
    EXPECT_EQ(year + month + day, 0);
}

TEST(VJSONValue, CompareOrdersKindsAndDeepEqualLooksInside)
{
    VCompareOptions options;
    VJSONValue null(JSON_null), undefined;
    EXPECT_EQ(null.CompareTo(undefined, options), CR_EQUAL);
    EXPECT_FALSE(null.DeepEqualTo(undefined, options));

    // null < false < true < string < number < object < array < undefined < date
    std::vector<VJSONValue> ordered;
    ordered.emplace_back(JSON_false);
    ordered.emplace_back(JSON_true);
    ordered.emplace_back(VString("a"));
    ordered.emplace_back(1.0);
    ordered.emplace_back(JSON_object);
    ordered.emplace_back(JSON_array);
    for (size_t i = 0; i + 1 < ordered.size(); ++i)
    {
        EXPECT_EQ(ordered[i].CompareTo(ordered[i + 1], options), CR_SMALLER);
        EXPECT_EQ(ordered[i + 1].CompareTo(ordered[i], options), CR_BIGGER);
    }
    EXPECT_EQ(VJSONValue::sLastType.CompareTo(VJSONValue::sLastType, options), CR_UNRELEVANT);

    // Reals within the tolerance are equal unless diacritics count.
    EXPECT_EQ(VJSONValue(1.0).CompareTo(VJSONValue(1.0000001), options), CR_EQUAL);
    options.SetDiacritical(true);
    EXPECT_EQ(VJSONValue(1.0).CompareTo(VJSONValue(1.0000001), options), CR_SMALLER);

    VJSONValue first(JSON_object), second(JSON_object);
    EXPECT_NE(first.CompareTo(second, options), CR_EQUAL);
    EXPECT_TRUE(first.DeepEqualTo(second, options));
    EXPECT_TRUE(
        Parse(R"({"a":1,"b":[1,{"c":2}]})").DeepEqualTo(Parse(R"({"b":[1,{"c":2}],"a":1})"), options));
    EXPECT_FALSE(
        Parse(R"({"a":1,"b":[1,{"c":2}]})").DeepEqualTo(Parse(R"({"b":[1,{"c":3}],"a":1})"), options));
}

TEST(VJSONValue, DeepEqualityOfCyclicStructuresEnds)
{
    VCompareOptions options;
    auto cycle = [](double inMark)
    {
        VJSONValue object(JSON_object);
        object.GetObject()->SetProperty("mark", VJSONValue(inMark));
        object.GetObject()->SetProperty("self", object);
        VJSONValue list(JSON_array);
        list.GetArray()->Push(object);
        list.GetArray()->Push(list);
        object.GetObject()->SetProperty("list", list);
        return object;
    };
    VJSONValue first = cycle(1), second = cycle(1), third = cycle(2);
    EXPECT_TRUE(first.DeepEqualTo(second, options));
    EXPECT_FALSE(first.DeepEqualTo(third, options));
    // No reference graph frees cycles yet: break them so that the test leaks nothing.
    for (VJSONValue* value : {&first, &second, &third})
    {
        value->GetProperty("list").GetArray()->Clear();
        value->GetObject()->Clear();
    }
}

TEST(VJSONValue, CreateVValueMakesTheMatchingValueKind)
{
    VJSONValue date;
    date.SetDate(2024, 2, 29);
    struct Case
    {
        VJSONValue fValue;
        bool fMarkers;
        ValueKind fKind;
        bool fNull;
        const char* fText;
    };
    std::vector<Case> cases;
    cases.push_back({VJSONValue(JSON_true), false, VK_BOOLEAN, false, "true"});
    cases.push_back({VJSONValue(VString("text")), false, VK_STRING, false, "text"});
    cases.push_back({VJSONValue(2.5), false, VK_REAL, false, "2.5"});
    cases.push_back({VJSONValue(JSON_null), true, VK_STRING, true, ""});
    cases.push_back({VJSONValue(JSON_object), false, VK_STRING, true, ""});
    cases.push_back({VJSONValue(JSON_object), true, VK_STRING, false, "\x01\x02\x03\x01"});
    cases.push_back({VJSONValue(JSON_array), true, VK_STRING, false, "\x01\x02\x03\x02"});
    for (const Case& c : cases)
    {
        std::unique_ptr<VValue> value(c.fValue.CreateVValue(c.fMarkers));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->GetValueInfo()->GetKind(), c.fKind);
        EXPECT_EQ(value->IsNull(), c.fNull);
        VString text;
        value->IsVValueSingle()->GetString(text);
        EXPECT_TRUE(TextIs(text, c.fText)) << c.fText;
    }
    std::unique_ptr<VValue> time(date.CreateVValue(false));
    ASSERT_EQ(time->GetValueInfo()->GetKind(), VK_TIME);
    int16_t year = 0, month = 0, day = 0, hour = 9, minute = 9, second = 9, millisecond = 9;
    static_cast<VTime*>(time.get())->GetUTCTime(year, month, day, hour, minute, second, millisecond);
    EXPECT_EQ(year * 10000 + month * 100 + day, 20240229);
    EXPECT_EQ(hour + minute + second + millisecond, 0);
}

TEST(VJSONValue, PathGettersAnswerOnlyForTheirExactType)
{
    VJSONValue root = Parse(R"({"a":{"on":true,"one":1,"yes":"true","n":-2.9,"big":3e10,"s":"text"}})");
    EXPECT_TRUE(VJSONValue::GetBoolByPath(root, "a.on"));
    EXPECT_FALSE(VJSONValue::GetBoolByPath(root, "a.one"));
    EXPECT_FALSE(VJSONValue::GetBoolByPath(root, "a.yes"));
    EXPECT_EQ(VJSONValue::GetLongByPath(root, "a.n"), -2);
    EXPECT_EQ(VJSONValue::GetLongByPath(root, "a.big"), 0);
    EXPECT_EQ(VJSONValue::GetLongByPath(root, "a.s"), 0);
    VString text("untouched");
    EXPECT_FALSE(VJSONValue::GetStringByPath(root, "a.one", text));
    EXPECT_TRUE(TextIs(text, "untouched"));
    EXPECT_TRUE(VJSONValue::GetStringByPath(root, "a.s", text));
    EXPECT_TRUE(TextIs(text, "text"));
    EXPECT_FALSE(VJSONValue::GetBoolByPath(VJSONValue(JSON_true), "a"));
}

TEST(VJSONValue, ParseFromStringDateOptions)
{
    struct Case
    {
        bool fDates;
        bool fStrict;
        const char* fText;
        JSONType fType;
    };
    const Case cases[] = {
        {false, false, "\"2024-01-05\"", JSON_string},
        {true, false, "\"2024-01-05\"", JSON_date},
        {true, false, "\"!!2024-01-05!!\"", JSON_date},
        {true, false, "\"2024-1-05\"", JSON_string},
        {true, true, "\"2024-01-05\"", JSON_string},
        {true, true, "\"!!2024-01-05!!\"", JSON_date},
        {true, true, "\"!!2024-01-05T10:00:00Z!!\"", JSON_string},
    };
    for (const Case& c : cases)
    {
        VJSONValue value;
        EXPECT_EQ(value.ParseFromString(U8(c.fText), c.fDates, c.fStrict), VE_OK);
        EXPECT_EQ(value.GetType(), c.fType) << c.fText << " " << c.fDates << c.fStrict;
    }
}

TEST(VJSONValue, StringifyFallsBackToTheBinaryFormForWhatTextCannotCarry)
{
    VJSONValue object = Parse(R"({"a":1,"list":[]})");
    object.GetObject()->SetProperty("self", object);
    object.GetProperty("list").GetArray()->Push(object.GetProperty("list"));
    StCollectErrors errors;
    VError error = VE_OK;
    EXPECT_EQ(Write(object, 1, &error), "");
    EXPECT_EQ(error, VE_JSON_CIRCULAR);
    errors.Flush();

    std::string text = Write(object, 0x801, &error);
    EXPECT_EQ(error, VE_OK);
    EXPECT_EQ(text.rfind(R"({"__PRIVATE_BINARY_OBJECT":")", 0), 0u) << text;
    // The refusal of the text attempt is not left behind.
    EXPECT_TRUE(errors.Codes().empty());

    VJSONValue back = Parse(text, 0, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_EQ(back.GetProperty("self").GetObject(), back.GetObject());
    EXPECT_EQ(back.GetProperty("a").GetNumber(), 1.0);
    VJSONArray* list = back.GetProperty("list").GetArray();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetAt(0).GetArray(), list);

    // A shared object (met twice) falls back too; with 0x2000 a cycle is the writer's own marker.
    VJSONValue shared = Parse("{}");
    VJSONValue pair = Parse("[]");
    pair.GetArray()->Push(shared);
    pair.GetArray()->Push(shared);
    VJSONValue pairBack = Parse(Write(pair, 0x801, &error));
    EXPECT_EQ(error, VE_OK);
    EXPECT_EQ(pairBack.GetArray()->GetAt(0).GetObject(), pairBack.GetArray()->GetAt(1).GetObject());
    VJSONValue loop = Parse("{}");
    loop.SetProperty("me", loop);
    EXPECT_EQ(Write(loop, 0x2801, &error).find("__PRIVATE_BINARY_OBJECT"), std::string::npos);
    loop.GetObject()->Clear();

    // A tree that plain text carries is written as usual.
    EXPECT_EQ(Write(Parse(R"({"b":[1]})"), 0x801, &error), R"({"b":[1]})");
    EXPECT_EQ(error, VE_OK);
    object.GetObject()->Clear();
    back.GetObject()->Clear();
    list->Clear();
}

TEST(VJSONValue, WhatStringifyWritesParseStringReadsBack)
{
    // A cycle sends the whole value to the binary form, where a part of 1,000 properties met ten
    // times stays one part: the text (some 73,000 units) stands for ten times as much.
    VJSONValue part = Parse("{}");
    for (int i = 0; i < 1000; ++i)
    {
        const std::string number = std::to_string(1000 + i);
        part.SetProperty(VString(("property " + number).c_str()),
                         VJSONValue(VString(("value " + number + ".").c_str())));
    }
    VJSONValue root = Parse(R"({"parts":[]})");
    root.SetProperty("self", root);
    for (int i = 0; i < 10; ++i)
        root.GetProperty("parts").GetArray()->Push(part);
    VError error = VE_JSON_MALFORMED;
    const std::string text = Write(root, 0x801, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_GT(text.size(), 70000u);
    VJSONValue back = Parse(text, 0, &error);
    ASSERT_EQ(error, VE_OK);
    EXPECT_EQ(back.GetProperty("self").GetObject(), back.GetObject());
    VJSONArray* parts = back.GetProperty("parts").GetArray();
    ASSERT_EQ(parts->GetCount(), 10u);
    EXPECT_EQ(parts->GetAt(9).GetObject(), parts->GetAt(0).GetObject());
    EXPECT_EQ(Write(parts->GetAt(9)), Write(part));
    root.GetObject()->RemoveProperty("self");
    back.GetObject()->RemoveProperty("self");
}

TEST(VJSONValue, DroppingADeepTreeTakesLittleStack)
{
    // Built directly (the parser stops at 10,000 levels): 200,000 nested arrays, freed from
    // the outside in by one release.
    VJSONValue root(JSON_array);
    VJSONArray* current = root.GetArray();
    for (int i = 0; i < 200000; ++i)
    {
        VJSONValue child(JSON_array);
        current->Push(child);
        current = child.GetArray();
    }
    root.SetNull();
    SUCCEED();
}

TEST(VJSONValue, NumbersUseAPointWhateverTheLocale)
{
    testing_json::StCommaDecimalLocale comma;
    if (!comma.IsAvailable())
        GTEST_SKIP() << "no comma-decimal locale";
    VJSONValue value = Parse(R"([1.5, 0.1, 2.5e-3, 12345678.875])");
    EXPECT_EQ(Write(value), "[1.5,0.1,0.0025,12345678.875]");
    EXPECT_DOUBLE_EQ(value.GetArray()->GetAt(0).GetNumber(), 1.5);
    EXPECT_DOUBLE_EQ(VJSONValue(VString("1.25")).GetNumber(), 1.25);
    EXPECT_EQ(TextOf(VJSONValue(0.5)), "0.5");
}

} // namespace
} // namespace kova

namespace kova
{
namespace
{

using testing_json::StCollectErrors;
using testing_json::StTemporaryFile;
using testing_json::Write;

TEST(VJSONValueFiles, ACustomizationFileLoadsAndAMalformedOneChangesNothing)
{
    StTemporaryFile file("client.json");
    // UTF-8 with a byte-order mark, CR LF line ends.
    file->WriteBytes("\xEF\xBB\xBF{\r\n\t\"server\": \"h\xC3\xA9te.example\",\r\n\t\"port\": 8080,\r\n"
                     "\t\"since\": \"2024-01-05\"\r\n}\r\n");
    VJSONValue customization;
    EXPECT_EQ(customization.LoadFromFile(file.Get()), VE_OK);
    EXPECT_EQ(Write(customization),
              "{\"server\":\"h\xC3\xA9te.example\",\"port\":8080,\"since\":\"2024-01-05\"}");
    VJSONValue withDates;
    EXPECT_EQ(withDates.LoadFromFile(file.Get(), true), VE_OK);
    EXPECT_TRUE(withDates.GetProperty("since").IsDate());

    // Half a file: an error naming the file and the place, and the value as it was.
    file->WriteBytes("{\n\t\"server\": \"a\",\n\t\"port\" 8080\n}");
    StCollectErrors errors;
    VJSONValue untouched;
    EXPECT_EQ(untouched.LoadFromFile(file.Get()), VE_JSON_MALFORMED);
    EXPECT_TRUE(untouched.IsUndefined());
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_INVALID_TOKEN, VE_JSON_MALFORMED}));
    EXPECT_NE(errors.Param(2, "source").find("client.json, "), std::string::npos);
    EXPECT_EQ(errors.Param(2, "line"), "3");
    EXPECT_EQ(errors.Param(2, "position"), "9");
    EXPECT_EQ(customization.LoadFromFile(file.Get()), VE_JSON_MALFORMED);
    EXPECT_TRUE(customization.GetProperty("server").IsString());

    // A file that cannot be read.
    file->Delete();
    errors.Flush();
    EXPECT_EQ(customization.LoadFromFile(file.Get()), VE_FILE_NOT_FOUND);
    EXPECT_TRUE(customization.IsObject());
    // No file at all: undefined, no error.
    EXPECT_EQ(customization.LoadFromFile(nullptr), VE_OK);
    EXPECT_TRUE(customization.IsUndefined());
}

TEST(VJSONValueFiles, SavingWritesUTF8OrLeavesTheFileAlone)
{
    StTemporaryFile file("saved.json");
    VJSONValue value = testing_json::Parse("{\"a\":[1,\"\xC3\xA9\"]}");
    EXPECT_EQ(value.SaveToFile(file.Get(), 1), VE_OK);
    EXPECT_EQ(file->ReadBytes(), "{\"a\":[1,\"\xC3\xA9\"]}");

    // A value the writer refuses: its error, and the former content stays.
    value.GetObject()->SetProperty("self", value);
    StCollectErrors errors;
    EXPECT_EQ(value.SaveToFile(file.Get(), 1), VE_JSON_CIRCULAR);
    EXPECT_EQ(file->ReadBytes(), "{\"a\":[1,\"\xC3\xA9\"]}");
    EXPECT_EQ(file->SetContentAsJSON(value, VTC_UTF_8, eCRM_NONE, false), VE_JSON_CIRCULAR);
    EXPECT_EQ(file->ReadBytes(), "{\"a\":[1,\"\xC3\xA9\"]}");
    value.GetObject()->RemoveProperty("self");

    EXPECT_EQ(file->SetContentAsJSON(value, VTC_UTF_8, eCRM_NONE, true), VE_OK);
    EXPECT_EQ(file->ReadBytes(), "\xEF\xBB\xBF{\"a\":[1,\"\xC3\xA9\"]}");
    VJSONValue read;
    EXPECT_EQ(file->GetContentAsJSON(read, VTC_UTF_8), VE_OK);
    EXPECT_EQ(Write(read), "{\"a\":[1,\"\xC3\xA9\"]}");
    EXPECT_EQ(VJSONValue().SaveToFile(nullptr, 1), VE_OK);
}

TEST(VJSONValueFiles, TheFileHooksAnswerNothingUntilSet)
{
    EXPECT_EQ(ExtractFile(VJSONValue(VString("x"))), nullptr);
    EXPECT_EQ(ExtractFolder(VJSONValue(VString("x"))), nullptr);
    EXPECT_TRUE(WrapFile(nullptr).IsUndefined());
    EXPECT_TRUE(WrapFolder(nullptr).IsUndefined());
    SetFileFolderExtractorAndWrapper(
        nullptr, nullptr, [](IFile*) { return VJSONValue(VString("file")); },
        [](IFolder*) { return VJSONValue(VString("folder")); });
    EXPECT_TRUE(WrapFile(nullptr).IsString());
    EXPECT_TRUE(WrapFolder(nullptr).IsString());
    SetFileFolderExtractorAndWrapper(nullptr, nullptr, nullptr, nullptr);
}

} // namespace
} // namespace kova
