#include "kernel/json/VJSONWriter.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::StTemporaryFile;
using testing_json::ToU8;
using testing_json::Write;

TEST(VJSONWriter, ScalarsAndNumbers)
{
    struct Case
    {
        VJSONValue fValue;
        const char* fText;
    };
    std::vector<Case> cases;
    cases.push_back({VJSONValue(JSON_null), "null"});
    cases.push_back({VJSONValue(), "null"});
    cases.push_back({VJSONValue(JSON_true), "true"});
    cases.push_back({VJSONValue(JSON_false), "false"});
    cases.push_back({VJSONValue::sLastType, ""});
    for (double number : {1.0, -0.0, 1.5, 0.1, 1e20, 9007199254740992.0, -9007199254740991.0, 1e-7})
        cases.push_back({VJSONValue(number), nullptr});
    const char* numbers[] = {"1",    "0", "1.5", "0.1", "1E+20", "9.007199254741E+15", "-9007199254740991",
                             "1E-07"};
    for (size_t i = 0; i < std::size(numbers); ++i)
        cases[5 + i].fText = numbers[i];
    cases.push_back({VJSONValue(std::numeric_limits<double>::quiet_NaN()), "null"});
    cases.push_back({VJSONValue(-std::numeric_limits<double>::infinity()), "null"});
    for (const Case& c : cases)
    {
        VError error = VE_JSON_MALFORMED;
        EXPECT_EQ(Write(c.fValue, 1, &error), c.fText);
        EXPECT_EQ(error, VE_OK);
    }
}

TEST(VJSONWriter, StringEscapes)
{
    VString text;
    for (UniChar unit : {u'"', u'\\', u'\t', UniChar(0x1B), u'/', UniChar(0x7F), UniChar(0xE9), u'&', u'\''})
        text.AppendUniChar(unit);
    // A pair of surrogates stays whole; a lone one is escaped so that UTF-8 keeps it.
    for (UniChar unit : {UniChar(0xD83D), UniChar(0xDE00), UniChar(0xDE00), UniChar(0xD83D)})
        text.AppendUniChar(unit);
    VJSONValue value(text);
    EXPECT_EQ(Write(value, 1), "\"\\\"\\\\\\t\\u001B/\\u007F\xC3\xA9&'\xF0\x9F\x98\x80\\uDE00\\uD83D\"");
    EXPECT_EQ(Write(value, 0x401),
              "\"\\\"\\\\\\t\\u001B/\\u007F\xC3\xA9\\u0026\\u0027\xF0\x9F\x98\x80\\uDE00\\uD83D\"");
    EXPECT_EQ(Write(VJSONValue(VString("a\"b")), 0), "a\\\"b");
    EXPECT_EQ(Write(VJSONValue(VString("a\"b")), 17), "\"a\"b\"");
    // Names are strings too, and the lone surrogate comes back from the text.
    VJSONValue object(JSON_object);
    object.GetObject()->SetProperty(text, VJSONValue(1.0));
    VString written;
    EXPECT_EQ(object.Stringify(written, 1), VE_OK);
    VJSONValue back;
    EXPECT_EQ(back.ParseFromString(written), VE_OK);
    EXPECT_TRUE(back.GetObject()->HasOwnProperty(text));
}

TEST(VJSONWriter, CompactAndIndentedLayouts)
{
    VJSONValue tree = Parse(R"({"a":1,"b":[true,null],"e":{},"f":[]})");
    EXPECT_EQ(Write(tree, 1), R"({"a":1,"b":[true,null],"e":{},"f":[]})");
    EXPECT_EQ(Write(tree, 9),
              "{\n\t\"a\": 1,\n\t\"b\": [\n\t\ttrue,\n\t\tnull\n\t],\n\t\"e\": {},\n\t\"f\": []\n}");
    EXPECT_EQ(Write(Parse("{}"), 9), "{}");
    EXPECT_EQ(Write(Parse("[]"), 9), "[]");
    // Without quotes names and strings are bare.
    EXPECT_EQ(Write(Parse(R"({"a":"x"})"), 0), "{a:x}");
}

TEST(VJSONWriter, CyclesAndObjectsMetTwice)
{
    VJSONValue object = Parse(R"({"a":1})");
    object.GetObject()->SetProperty("self", object);
    StCollectErrors errors;
    VString text("untouched");
    VJSONWriter writer(1);
    EXPECT_EQ(writer.StringifyValue(object, text), VE_JSON_CIRCULAR);
    EXPECT_EQ(ToU8(text), "untouched");
    EXPECT_EQ(Write(object, 0x2001), R"({"a":1,"self":"[circular]"})");
    object.GetObject()->Clear();

    VJSONValue array = Parse("[1]");
    array.GetArray()->Push(array);
    EXPECT_EQ(Write(array, 0x2001), "");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_CIRCULAR, VE_JSON_CIRCULAR}));
    array.GetArray()->Clear();

    VJSONValue parent = Parse(R"({"one":{"x":1}})");
    parent.GetObject()->SetProperty("two", parent.GetProperty("one"));
    EXPECT_EQ(Write(parent, 1), R"({"one":{"x":1},"two":{"x":1}})");
    errors.Flush();
    VError error = VE_OK;
    EXPECT_EQ(Write(parent, 0x10001, &error), "");
    EXPECT_EQ(error, VE_JSON_OBJECT_MET_TWICE);
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_OBJECT_MET_TWICE}));

    // The writer keeps the objects it has seen alive, so that no other object takes an address.
    VJSONObject* inner = parent.GetObject()->_GetProperties()[0].fValue.GetObject();
    uint32_t count = inner->GetRefCount();
    {
        VJSONWriter seeing(0x10001);
        EXPECT_EQ(seeing.StringifyValue(parent.GetProperty("one"), text), VE_OK);
        EXPECT_EQ(inner->GetRefCount(), count + 1);
    }
    EXPECT_EQ(inner->GetRefCount(), count);
}

TEST(VJSONWriter, OpenContainersAreKnownAtAnyWidthAndDepth)
{
    // Thousands of containers opened and closed in turn, each holding the same array: closed
    // again each time, it is met without a cycle.
    VJSONValue shared = Parse("[0]");
    VJSONValue wide(JSON_array);
    std::string expected = "[";
    for (int i = 0; i < 3000; ++i)
    {
        VJSONValue item(i % 2 == 0 ? JSON_array : JSON_object);
        if (i % 2 == 0)
            item.GetArray()->Push(shared);
        else
            item.GetObject()->SetProperty("s", shared);
        wide.GetArray()->Push(item);
        expected += i % 2 == 0 ? "[[0]]," : R"({"s":[0]},)";
    }
    expected.back() = ']';
    EXPECT_EQ(Write(wide, 1), expected);

    // A chain of 3,000 levels whose last one holds the first, and another whose last holds the
    // next to last: every level stays open down to the cycle.
    StCollectErrors errors;
    for (int back : {3000, 2})
    {
        std::vector<VJSONValue> levels;
        for (int i = 0; i < 3000; ++i)
            levels.push_back(VJSONValue(i % 2 == 0 ? JSON_object : JSON_array));
        for (size_t i = 0; i < levels.size(); ++i)
        {
            const VJSONValue& next =
                i + 1 < levels.size() ? levels[i + 1] : levels[levels.size() - size_t(back)];
            if (VJSONObject* object = levels[i].GetObject())
                object->SetProperty("n", next);
            else
                levels[i].GetArray()->Push(next);
        }
        VError error = VE_OK;
        EXPECT_EQ(Write(levels[0], 1, &error), "");
        EXPECT_EQ(error, VE_JSON_CIRCULAR) << back;
        for (VJSONValue& level : levels)
        {
            if (VJSONObject* object = level.GetObject())
                object->Clear();
            else
                level.GetArray()->Clear();
        }
    }
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_CIRCULAR, VE_JSON_CIRCULAR}));
}

TEST(VJSONWriter, CutAfterTheMemberThatPassed512Characters)
{
    // Each element is 3 characters: the count passes 512 during the 171st (index 170); the
    // element after it is still written, and nothing after that.
    VJSONValue numbers(JSON_array);
    for (int i = 0; i < 1000; ++i)
        numbers.GetArray()->Push(VJSONValue(double(100 + i % 800)));
    std::string text = Write(numbers, 0x4001);
    EXPECT_EQ(text.substr(0, 5), "[100,");
    EXPECT_EQ(text.substr(text.size() - 10), "270,271...");
    EXPECT_EQ(text.find(']'), std::string::npos);

    // "..." once, however many levels are cut.
    VJSONValue nested(JSON_object);
    nested.GetObject()->SetProperty("list", numbers);
    nested.GetObject()->SetProperty("after", VJSONValue(1.0));
    std::string cut = Write(nested, 0x4001);
    EXPECT_EQ(cut.substr(0, 9), "{\"list\":[");
    EXPECT_EQ(cut.substr(cut.size() - 10), "270,271...");
    EXPECT_EQ(cut.find("..."), cut.size() - 3);
    EXPECT_EQ(cut.find("after"), std::string::npos);
}

// A delegate that writes itself, refuses, or leaves the writing to the object, and may have a
// binary form.
class Writing : public IJSONObject
{
public:
    Writing(EJSONStatus inStatus, uint32_t inSignature = 0) : fStatus(inStatus), fSignature(inSignature) {}
    EJSONStatus IJSON_Stringify(const VJSONObject*, VJSONWriter& inWriter, VString& outText,
                                VError* outError) const override
    {
        if (fStatus == EJSON_done)
            inWriter.StringifyValue(VJSONValue(VString("native")), outText);
        else if (fStatus == EJSON_error)
            *outError = VE_UNIMPLEMENTED;
        return fStatus;
    }
    EJSONStatus IJSON_GetPropertyNames(std::vector<VString>& outNames) const override
    {
        outNames.push_back(VString("name"));
        return EJSON_done;
    }
    EJSONStatus IJSON_GetProperty(const VJSONObject*, const VString& inName, VJSONValue& outValue,
                                  VDBLanguageContext*) const override
    {
        if (!inName.EqualToUSASCIICString("name"))
            return EJSON_unhandled;
        outValue.SetString(VString("served"));
        return EJSON_done;
    }
    uint32_t IJSON_GetBinarySignature() const override { return fSignature; }

    EJSONStatus fStatus;
    uint32_t fSignature;
};

TEST(VJSONWriter, DelegatesWriteThemselvesOrLeaveItToTheObject)
{
    struct Case
    {
        EJSONStatus fStatus;
        uint32_t fSignature;
        uint32_t fFlags;
        VError fError;
        const char* fText;
    };
    const Case cases[] = {
        {EJSON_done, 0, 1, VE_OK, "[\"native\"]"},
        {EJSON_unhandled, 0, 1, VE_OK, "[{\"name\":\"served\",\"own\":2}]"},
        {EJSON_error, 0, 1, VE_UNIMPLEMENTED, ""},
        {EJSON_done, FourCharCode("blob"), 1, VE_OK, "[\"native\"]"},
        {EJSON_done, FourCharCode("blob"), 0x101, VE_JSON_NATIVE_OBJECT, ""},
    };
    for (const Case& c : cases)
    {
        VRefPtr<Writing> delegate(new Writing(c.fStatus, c.fSignature));
        VRefPtr<VJSONObject> object(new VJSONObject(nullptr, delegate.Get()));
        object->SetOwnProperty("own", VJSONValue(2.0));
        VJSONValue array(JSON_array);
        array.GetArray()->Push(VJSONValue(object.Get()));
        StCollectErrors errors;
        VError error = VE_JSON_MALFORMED;
        EXPECT_EQ(Write(array, c.fFlags, &error), c.fText);
        EXPECT_EQ(error, c.fError);
    }
}

TEST(VJSONWriter, NestingBeyondTheLimitFailsCleanly)
{
    VJSONValue root(JSON_array);
    VJSONArray* current = root.GetArray();
    for (int i = 0; i < 20000; ++i)
    {
        VJSONValue child(JSON_object);
        VJSONValue list(JSON_array);
        child.GetObject()->SetProperty("l", list);
        current->Push(child);
        current = list.GetArray();
    }
    current->Push(VJSONValue(1.0));
    StCollectErrors errors;
    VError error = VE_OK;
    EXPECT_EQ(Write(root, 1, &error), "");
    EXPECT_EQ(error, VE_JSON_NOT_ENOUGH_STACK);
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_NOT_ENOUGH_STACK}));
}

TEST(VJSONWriter, LevelsAndIndentForDelegates)
{
    VJSONWriter writer(9);
    VString text("x");
    writer.IncrementLevel();
    writer.IncrementLevel();
    writer.InsertIndentString(text);
    writer.AppendIndentString(text);
    EXPECT_EQ(ToU8(text), "\n\t\tx\n\t\t");
    writer.DecrementLevel();
    EXPECT_EQ(writer.GetLevel(), 1u);
    VJSONWriter flat(1);
    text = VString("x");
    flat.InsertIndentString(text);
    EXPECT_EQ(ToU8(text), "x");
    EXPECT_EQ(flat.StringifyObject(nullptr, text), VE_OK);
    EXPECT_EQ(ToU8(text), "undefined");
}

TEST(VJSONWriter, ToAFile)
{
    StTemporaryFile file("out.json");
    EXPECT_EQ(VJSONWriter::StringifyValueToFile(nullptr, Parse("[1]"), 1), VE_OK);
    EXPECT_EQ(VJSONWriter::StringifyValueToFile(file.Get(), Parse("{\"a\":[1,2]}"), 9), VE_OK);
    EXPECT_EQ(file->ReadBytes(), "{\n\t\"a\": [\n\t\t1,\n\t\t2\n\t]\n}");
}

} // namespace
} // namespace kova
