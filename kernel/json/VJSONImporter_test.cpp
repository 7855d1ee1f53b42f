#include "kernel/json/VJSONImporter.h"

#include "kernel/json/JSONBinaryTesting_test.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/TaskTesting_test.h"
#include "kernel/tasks/VTask.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
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
using testing_json::U8;
using testing_json::Write;

constexpr VError k550 = VE_JSON_MALFORMED;
constexpr VError k551 = VE_JSON_INVALID_TOKEN;
constexpr VError k552 = VE_JSON_UNTERMINATED_STRING;
constexpr VError k553 = VE_JSON_EXTRA_COMMA;
constexpr VError k554 = VE_JSON_TOKEN_AT_END;

struct ReadCase
{
    const char* fText;
    uint32_t fOptions;
    const char* fWritten; // the value written back with flags 1; null: undefined
    std::vector<VError> fErrors;
};

void CheckRead(const ReadCase& inCase)
{
    SCOPED_TRACE(std::string(inCase.fText) + " options " + std::to_string(inCase.fOptions));
    StCollectErrors errors;
    VError error = VE_OK;
    VJSONValue value = Parse(inCase.fText, inCase.fOptions, &error);
    EXPECT_EQ(error, inCase.fErrors.empty() ? VE_OK : VE_JSON_MALFORMED);
    EXPECT_EQ(errors.Codes(), inCase.fErrors);
    if (inCase.fWritten == nullptr)
    {
        EXPECT_TRUE(value.IsUndefined());
    }
    else
    {
        EXPECT_EQ(Write(value), inCase.fWritten);
    }
}

TEST(VJSONImporter, LenientReading)
{
    const ReadCase cases[] = {
        {"{}", 0, "{}", {}},
        {"[]", 0, "[]", {}},
        {" \t\r\n{\"a\" : [1, -0, 2.5E+1, 1e-2, -1.5E+3, 0]}", 0, "{\"a\":[1,0,25,0.01,-1500,0]}", {}},
        {"{a:1}", 0, "{\"a\":1}", {}},
        {"[hello, True]", 0, "[\"hello\",\"True\"]", {}},
        {"{\"a\":1,\"a\":2}", 0, "{\"a\":2}", {}},
        {"{} and anything", 0, "{}", {}},
        {"\"open", 0, "\"open\"", {}},
        {"[\"a\\/b\\q\\u00e9\\u00E9\"]", 0, "[\"a/bq\xC3\xA9\xC3\xA9\"]", {}},
        {"\"a\\u00g9b\"", 0, "\"a\\tb\"", {}},
        {"\"\\ud83d\\ude00\"", 0, "\"\xF0\x9F\x98\x80\"", {}},
        {"[-]", 0, "[0]", {}},
        {"[-e5]", 0, "[0]", {}},
        {"{a:1,}", 0, "{\"a\":1}", {k553, k550}},
        {"{a:1,}", 1, nullptr, {k553, k550}},
        {"[1,]", 0, "[1]", {k553, k550}},
        {"", 0, nullptr, {k554, k550}},
        {"[01]", 0, "[]", {k551, k550}},
        {"[1.]", 0, "[]", {k551, k550}},
        {"[1.e5]", 0, "[]", {k551, k550}},
        {"{\"a\" 1}", 0, "{}", {k551, k550}},
        {"[1 2]", 0, "[1]", {k551, k550}},
        {"{\"a\":1 \"b\":2}", 0, "{\"a\":1}", {k551, k550}},
        {"[1,{\"b\":[2,]}]", 1, nullptr, {k553, k550}},
        {"{,}", 0, "{}", {k551, k550}},
        {"}", 0, nullptr, {k551, k550}},
        {"[1,]", 4, "[1]", {k553, k550}},
    };
    for (const ReadCase& c : cases)
        CheckRead(c);

    // Quiet tokens: the failure without its records.
    for (const char* text : {"[1 2]", "", "[01]"})
    {
        StCollectErrors errors;
        VError error = VE_OK;
        Parse(text, VJSONImporter::kQuietTokens, &error);
        EXPECT_EQ(error, VE_JSON_MALFORMED);
        EXPECT_TRUE(errors.Codes().empty());
    }
    // A zero unit inside a string is dropped.
    EXPECT_EQ(Write(Parse(std::string("[\"a\0b\"]", 7))), "[\"ab\"]");
}

TEST(VJSONImporter, NumbersReadAsTheCLibraryReadsThem)
{
    std::mt19937 random(11);
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "1e400",
                                      "-1e400",
                                      "1e-400",
                                      "4.9e-324",
                                      "2.2250738585072014e-308",
                                      "9007199254740993",
                                      "123456789012345678901234567890",
                                      "0.1",
                                      "1e22",
                                      "1e23",
                                      "-0.000000000000000000000001",
                                      "179769313486231570000000000000000000000e270"};
    for (int i = 0; i < 20000; ++i)
    {
        std::string text = random() % 4 == 0 ? "-" : "";
        text += std::to_string(random() % 1000000);
        if (random() % 2 == 0)
        {
            text += ".";
            for (int digits = 1 + int(random() % 18); digits > 0; --digits)
                text += char('0' + random() % 10);
        }
        if (random() % 3 == 0)
            text += "e" + std::string(random() % 2 == 0 ? "-" : "+") + std::to_string(random() % 40);
        texts.push_back(text);
    }
    for (const std::string& text : texts)
    {
        VError error = VE_OK;
        double read = Parse(text, VJSONImporter::kStrict, &error).GetNumber();
        ASSERT_EQ(error, VE_OK) << text;
        double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&read, &expected, sizeof(double)), 0) << text << " " << read << " " << expected;
    }
}

TEST(VJSONImporter, StrictReadingFollowsRFC8259)
{
    const char* valid[] = {
        "{}",
        "[]",
        "0",
        "-0",
        "1.5e-3",
        "-12.25E+2",
        "\"\"",
        "null",
        "true",
        " [1, 2] \r\n",
        "{\"a\":{\"b\":[false,null,\"c\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0041\"]}}",
        "\"\\ud83d\\ude00\"",
        "\"\xF0\x9F\x98\x80 caf\xC3\xA9\"",
        "1E400",
    };
    for (const char* text : valid)
    {
        SCOPED_TRACE(text);
        StCollectErrors errors;
        VError error = VE_OK;
        Parse(text, VJSONImporter::kStrict, &error);
        EXPECT_EQ(error, VE_OK);
        EXPECT_TRUE(errors.Codes().empty());
    }
    const char* invalid[] = {
        "{a:1}",
        "[hello]",
        "[True]",
        "\"open",
        "[01]",
        "[1.]",
        "[-]",
        "[-e5]",
        "[-.5]",
        "[.5]",
        "[+1]",
        "[1e\xE2\x88\x92"
        "5]",
        "\"\\q\"",
        "\"\\x41\"",
        "\"\\u00g1\"",
        "\"\\ud83d\"",
        "\"\\ude00\"",
        "\"\\ud83dx\"",
        "\"\\ud83d\\u0041\"",
        "\"a\tb\"",
        "\"a\nb\"",
        "[1,\x0B"
        "2]",
        "\x0C[]",
        "{} x",
        "[1] [2]",
        "[1,]",
        "{\"a\":1,}",
        "",
        "  ",
    };
    for (const char* text : invalid)
    {
        SCOPED_TRACE(text);
        StCollectErrors errors;
        VError error = VE_OK;
        VJSONValue value = Parse(text, VJSONImporter::kStrict | VJSONImporter::kUndefinedOnFailure, &error);
        EXPECT_EQ(error, VE_JSON_MALFORMED);
        std::vector<VError> codes = errors.Codes();
        ASSERT_EQ(codes.size(), 2u);
        EXPECT_EQ(codes.back(), VE_JSON_MALFORMED);
        EXPECT_TRUE(value.IsUndefined());
    }
    // A lone surrogate unit in the text itself is no Unicode either; a pair is.
    StCollectErrors errors;
    const std::u16string loneHigh{u'"', u'a', char16_t(0xD83D), u'b', u'"'};
    const std::u16string loneLow{u'"', char16_t(0xDE00), u'"'};
    for (const std::u16string& text : {loneHigh, loneLow})
    {
        VJSONValue value;
        EXPECT_EQ(VJSONImporter::ParseString(VString(text.data(), text.size() * 2, VTC_UTF_16), value,
                                             VJSONImporter::kStrict),
                  VE_JSON_MALFORMED);
        EXPECT_EQ(VJSONImporter::ParseString(VString(text.data(), text.size() * 2, VTC_UTF_16), value, 0),
                  VE_OK);
    }
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{k551, k550, k551, k550}));
    errors.Flush();

    // The specific records of a few.
    Parse("\"open", VJSONImporter::kStrict);
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{k552, k550}));
    EXPECT_EQ(errors.Param(1, "token"), "\"");
    errors.Flush();
    Parse("{a:1}", VJSONImporter::kStrict);
    EXPECT_EQ(errors.Param(1, "found"), "a");
    EXPECT_EQ(errors.Param(1, "expected"), "\"");
    errors.Flush();
    Parse("[hello]", VJSONImporter::kStrict);
    EXPECT_EQ(errors.Param(1, "expected"), "\" 0-9 null true false { [ ]");
    errors.Flush();
    Parse("{} x", VJSONImporter::kStrict);
    EXPECT_EQ(errors.Param(1, "found"), "x");
    EXPECT_EQ(errors.Param(2, "position"), "4");
}

TEST(VJSONImporter, StrictReadingOfBytesWantsWellFormedUTF8)
{
    StTemporaryFile file("strict.json");
    const char* refused[] = {
        "[\"\xFF\"]",               // never in UTF-8
        "[\"\x80\"]",               // a continuation without its lead
        "[\"\xC3\"]",               // a lead without its continuation
        "[\"\xC0\xAF\"]",           // '/' in two bytes
        "[\"\xE0\x80\xAF\"]",       // '/' in three bytes
        "[\"\xED\xA0\x80\"]",       // a surrogate
        "[\"\xF4\x90\x80\x80\"]",   // past U+10FFFF
        "[1]\xE2\x82",              // cut by the end of the file
        "\xEF\xBB\xBF[1,\"\xFE\"]", // after a byte-order mark
    };
    for (const char* bytes : refused)
    {
        SCOPED_TRACE(bytes);
        file->WriteBytes(bytes);
        StCollectErrors errors;
        VJSONValue value;
        EXPECT_EQ(VJSONImporter::ParseFile(file.Get(), value, VJSONImporter::kStrict), k550);
        EXPECT_EQ(errors.Codes(), (std::vector<VError>{k551, k550}));
        EXPECT_EQ(errors.Param(1, "expected"), "UTF-8");
        // Lenient reading repairs them as it always did.
        errors.Flush();
        EXPECT_EQ(VJSONImporter::ParseFile(file.Get(), value, 0), VE_OK);
    }
    // The place of the first byte that is not UTF-8, counted in characters.
    file->WriteBytes("{\"a\":\n \"\xC3\xA9\xFF\"}");
    StCollectErrors errors;
    VJSONValue value;
    EXPECT_EQ(VJSONImporter::ParseFile(file.Get(), value, VJSONImporter::kStrict), k550);
    EXPECT_EQ(errors.Param(1, "found"), "\\xFF");
    EXPECT_EQ(errors.Param(2, "line"), "2");
    EXPECT_EQ(errors.Param(2, "position"), "4");
    EXPECT_NE(errors.Param(2, "source").find("strict.json, "), std::string::npos);
    errors.Flush();
    file->WriteBytes("\xEF\xBB\xBF[\"caf\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBF\"]");
    EXPECT_EQ(VJSONImporter::ParseFile(file.Get(), value, VJSONImporter::kStrict), VE_OK);
    EXPECT_EQ(Write(value), "[\"caf\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBF\"]");
}

TEST(VJSONImporter, ErrorRecordsNameTheTokenAndItsPlace)
{
    StCollectErrors errors;
    Parse("{\"abc\" 5}");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{k551, k550}));
    EXPECT_EQ(errors.Param(1, "found"), "5");
    EXPECT_EQ(errors.Param(1, "expected"), ":");
    EXPECT_EQ(errors.Param(2, "source"), "");
    EXPECT_EQ(errors.Param(2, "line"), "1");
    EXPECT_EQ(errors.Param(2, "position"), "8");

    errors.Flush();
    Parse("[1,\n2,\n  3 4]");
    EXPECT_EQ(errors.Param(2, "line"), "3");
    EXPECT_EQ(errors.Param(2, "position"), "5");

    // CR line ends count too.
    errors.Flush();
    Parse("[1,\r\r]");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{k553, k550}));
    EXPECT_EQ(errors.Param(1, "token"), "]");
    EXPECT_EQ(errors.Param(2, "line"), "3");
    EXPECT_EQ(errors.Param(2, "position"), "1");

    errors.Flush();
    Parse("{\"a\":1,[}");
    EXPECT_EQ(errors.Param(1, "found"), "[");
    EXPECT_EQ(errors.Param(1, "expected"), "\"");
    errors.Flush();
    Parse("{]");
    EXPECT_EQ(errors.Param(1, "found"), "]");
    EXPECT_EQ(errors.Param(1, "expected"), "\" }");
    errors.Flush();
    Parse("[");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{k554, k550}));
    EXPECT_EQ(errors.Param(1, "expected"), "\" 0-9 null true false { [ ]");
}

TEST(VJSONImporter, DatesInsideStrings)
{
    struct Case
    {
        uint32_t fOptions;
        const char* fText;
        JSONType fType;
    };
    const Case cases[] = {
        {0xC0, "\"2024-01-05\"", JSON_date},
        {0xC0, "\"!!2024-01-05!!\"", JSON_date},
        {0xC0, "\"2024-1-5\"", JSON_string},
        {0x240, "\"2024-01-05\"", JSON_string},
        {0x240, "\"!!2024-01-05!!\"", JSON_date},
        {0x240, "\"!!2024-01-05T10:00:00Z!!\"", JSON_string},
        {0x40, "\"!!2024-01-05T10:00:00Z!!\"", JSON_date},
        {0, "\"!!2024-01-05!!\"", JSON_string},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Parse(c.fText, c.fOptions).GetType(), c.fType) << c.fText << " " << c.fOptions;
    VJSONValue date = Parse("\"!!2024-02-29!!\"", 0x40);
    int16_t year = 0, month = 0, day = 0;
    EXPECT_TRUE(date.GetDate(year, month, day));
    EXPECT_EQ(year * 10000 + month * 100 + day, 20240229);
}

TEST(VJSONImporter, SymbolsRecordWhereEachMemberStands)
{
    VString text = U8("{\n  \"a\": 1,\n  \"list\": [\"x\", {\"b\": true}]\n}");
    VJSONImporter importer(text, VJSONImporter::kSymbols);
    VJSONValue value;
    EXPECT_EQ(importer.Parse(value), VE_OK);
    VJSONObject* symbols = importer.GetPathsLines();
    ASSERT_NE(symbols, nullptr);
    EXPECT_EQ(
        Write(VJSONValue(symbols)),
        R"({"a":{"line":2,"offset":2},"list":{"line":3,"offset":2},"list[0]":{"line":3,"offset":11},)"
        R"("list[1]":{"line":3,"offset":16},"list[1].b":{"line":3,"offset":17},"}":{"line":4,"offset":0}})");
    EXPECT_EQ(ToU8(VJSONImporter::sNameOfThePropertyWithPathsAndLines), "__symbols");
}

TEST(VJSONImporter, TokensOneByOne)
{
    VJSONImporter importer(U8("{ \"a\\n\" : word, [ ] }"), 0);
    VString text;
    bool quoted = false;
    VError error = VE_OK;
    EXPECT_EQ(importer.GetNextJSONToken(text, &quoted, &error), VJSONImporter::jsonBeginObject);
    EXPECT_EQ(importer.GetNextJSONToken(text, &quoted, &error), VJSONImporter::jsonString);
    EXPECT_TRUE(quoted);
    EXPECT_EQ(ToU8(text), "a\n");
    EXPECT_EQ(importer.GetNextJSONToken(&error), VJSONImporter::jsonColon);
    EXPECT_EQ(importer.GetNextJSONToken(text, &quoted, &error), VJSONImporter::jsonString);
    EXPECT_FALSE(quoted);
    EXPECT_EQ(ToU8(text), "word");
    EXPECT_EQ(importer.GetNextJSONToken(&error), VJSONImporter::jsonComma);
    EXPECT_EQ(importer.GetNextJSONToken(&error), VJSONImporter::jsonBeginArray);
    EXPECT_EQ(importer.GetNextJSONToken(&error), VJSONImporter::jsonEndArray);
    EXPECT_EQ(importer.GetNextJSONToken(&error), VJSONImporter::jsonEndObject);
    EXPECT_EQ(importer.GetNextJSONToken(&error), VJSONImporter::jsonEnd);
    EXPECT_EQ(error, VE_OK);

    // A strict unterminated string: reported through the error out-parameter only.
    VJSONImporter strict(U8("\"open"), VJSONImporter::kStrict);
    StCollectErrors errors;
    EXPECT_EQ(strict.GetNextJSONToken(text, &quoted, nullptr), VJSONImporter::jsonEnd);
    EXPECT_TRUE(errors.Codes().empty());
    VJSONImporter reported(U8("\"open"), VJSONImporter::kStrict);
    EXPECT_EQ(reported.GetNextJSONToken(text, &quoted, &error), VJSONImporter::jsonEnd);
    EXPECT_EQ(error, VE_JSON_MALFORMED);
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{k552, k550}));
}

TEST(VJSONImporter, AMillionOpeningBracketsFailCleanly)
{
    std::string brackets(1000000, '[');
    for (uint32_t options : {0u, uint32_t(VJSONImporter::kStrict)})
    {
        StCollectErrors errors;
        VError error = VE_OK;
        Parse(brackets, options, &error);
        EXPECT_EQ(error, VE_JSON_MALFORMED);
        EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_NOT_ENOUGH_STACK, k550}));
    }
    // As deep as allowed reads back (sanitized frames are too large for that many on the main
    // thread's stack).
#ifdef KOVA_JSON_SANITIZED_STACK
    constexpr size_t kDepth = 2000;
#else
    constexpr size_t kDepth = 9990;
#endif
    std::string deepest = std::string(kDepth, '[') + std::string(kDepth, ']');
    VError error = VE_OK;
    Parse(deepest, 0, &error);
    EXPECT_EQ(error, VE_OK);

    // The same on a task with the smallest stack, also into a bag.
    VRefPtr<VTask> task(new VTask(
        64 * 1024, eTaskStylePreemptive,
        [&]
        {
            StCollectErrors errors;
            VError taskError = VE_OK;
            Parse(brackets, 0, &taskError);
            EXPECT_EQ(taskError, VE_JSON_MALFORMED);
            std::string objects;
            for (int i = 0; i < 100000; ++i)
                objects += "{\"a\":";
            VRefPtr<VValueBag> bag(new VValueBag);
            EXPECT_EQ(bag->FromJSONString(U8(objects), 0), VE_JSON_MALFORMED);
            EXPECT_EQ(errors.Codes(),
                      (std::vector<VError>{VE_JSON_NOT_ENOUGH_STACK, k550, VE_JSON_NOT_ENOUGH_STACK, k550}));
        }));
    ASSERT_TRUE(task->Run());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
}

// ---------------------------------------------------------------------------------------------
std::string Base64Of(const testing_json::Bytes& inBytes)
{
    VString text;
    text.EncodeBase64(inBytes.data(), inBytes.size(), false);
    return ToU8(text);
}

// The Base64 text of a value's binary form.
std::string Base64Form(const VJSONValue& inValue)
{
    return Base64Of(testing_json::Written(inValue));
}

// An object that carries the binary form.
std::string Carrier(const testing_json::Bytes& inBytes)
{
    return "{\"__PRIVATE_BINARY_OBJECT\":\"" + Base64Of(inBytes) + "\"}";
}

TEST(VJSONImporter, BinaryObjectsAreDecodedWhereverTheyAre)
{
    VJSONValue shared = Parse("{\"k\":\"v\"}");
    VJSONValue pair = Parse("[]");
    pair.GetArray()->Push(shared);
    pair.GetArray()->Push(shared);
    std::string carried = "{\"__PRIVATE_BINARY_OBJECT\":\"" + Base64Form(pair) + "\",\"ignored\":1}";
    VError error = k550;
    VJSONValue value = Parse("{\"in\":[" + carried + "]}", 0, &error);
    ASSERT_EQ(error, VE_OK);
    VJSONArray* decoded = value.GetProperty("in").GetArray()->GetAt(0).GetArray();
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->GetAt(0).GetObject(), decoded->GetAt(1).GetObject());
    EXPECT_EQ(Write(decoded->GetAt(0)), "{\"k\":\"v\"}");

    // Not a string: an ordinary property.
    EXPECT_EQ(Write(Parse("{\"__PRIVATE_BINARY_OBJECT\":1}")), "{\"__PRIVATE_BINARY_OBJECT\":1}");

    // A form the reader refuses gives the reader's code, not 550.
    for (const char* bad : {"BgAAAA", "Bv////8=", "", "\u00e9"})
    {
        StCollectErrors errors;
        Parse(std::string("[{\"__PRIVATE_BINARY_OBJECT\":\"") + bad + "\"}]", 0, &error);
        EXPECT_NE(error, VE_OK) << bad;
        EXPECT_NE(error, k550) << bad;
        EXPECT_EQ(errors.Codes().back(), error) << bad;
    }
}

TEST(VJSONImporter, BinaryObjectsExpandNoFurtherThanTheTextAllows)
{
    using testing_json::FanOutForm;
    const std::string fanOut = Carrier(FanOutForm(24, true));
    {
        StCollectErrors errors;
        VError error = VE_OK;
        Parse("[" + fanOut + "]", 0, &error);
        EXPECT_EQ(error, VE_JSON_EXPANSION_TOO_LARGE);
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_EXPANSION_TOO_LARGE});
        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(bag->FromJSONString(U8("{\"a\":" + fanOut + "}"), 0), VE_JSON_EXPANSION_TOO_LARGE);
    }
    // A value shares its parts: one such form alone reads (some 12.6 million values met), two
    // together pass the bound of what was read, blanks after the value or not.
    const std::string one = Carrier(FanOutForm(19, true));
    VError error = VE_JSON_MALFORMED;
    EXPECT_TRUE(Parse(one, 0, &error).IsObject());
    EXPECT_EQ(error, VE_OK);
    for (const std::string& padding : {std::string(), std::string(10000000, ' ')})
    {
        StCollectErrors errors;
        EXPECT_TRUE(Parse("[" + one + "," + one + "]" + padding, 0, &error).IsUndefined());
        EXPECT_EQ(error, VE_JSON_EXPANSION_TOO_LARGE);
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_EXPANSION_TOO_LARGE});
    }
    // A bag holds each part as many times as it is met: its forms expand no further than a few
    // times the text. Each of these alone reads; together they pass it.
    const std::string small = Carrier(FanOutForm(11, true));
    std::string many;
    for (int i = 0; i < 16; ++i)
        many += (i == 0 ? "[" : ",") + small;
    many += "]";
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(bag->FromJSONString(U8("{\"a\":" + small + "}"), 0), VE_OK);
    StCollectErrors errors;
    EXPECT_EQ(bag->FromJSONString(U8("{\"a\":" + many + "}"), 0), VE_JSON_EXPANSION_TOO_LARGE);
}

// Value bags

std::string AttributeText(const VValueBag& inBag, const char* inName, ValueKind* outKind = nullptr)
{
    const VValueSingle* value = inBag.GetAttributeValue(inName);
    if (value == nullptr)
        return "<absent>";
    if (outKind != nullptr)
        *outKind = value->GetValueInfo()->GetKind();
    if (value->IsNull())
        return "<null>";
    VString text;
    value->GetString(text);
    return ToU8(text);
}

TEST(VJSONImporterBag, ObjectsArraysAndScalarsBecomeElementsAndAttributes)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    VJSONImporter importer(U8("{a:1 b:[1,{c:true}] d:{} \"__CDATA\":\"text\", e:null,}"), 0);
    EXPECT_EQ(importer.JSONObjectToBag(*bag), VE_OK);
    ValueKind kind = 0;
    EXPECT_EQ(AttributeText(*bag, "a", &kind), "1");
    EXPECT_EQ(kind, VK_LONG8);
    EXPECT_EQ(AttributeText(*bag, "e", &kind), "");
    EXPECT_EQ(kind, VK_STRING);
    EXPECT_EQ(AttributeText(*bag, "<>"), "text");
    VBagArray* b = bag->GetElements("b");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->GetCount(), 2);
    EXPECT_EQ(AttributeText(*b->GetNth(1), "____FakeArrayElement", &kind), "1");
    EXPECT_EQ(kind, VK_LONG8);
    EXPECT_EQ(AttributeText(*b->GetNth(2), "c", &kind), "true");
    EXPECT_EQ(kind, VK_BOOLEAN);
    VBagArray* d = bag->GetElements("d");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->GetCount(), 1);
    EXPECT_EQ(d->GetNth(1)->GetAttributesCount(), 1);
    EXPECT_EQ(AttributeText(*d->GetNth(1), "____objectunic"), "true");
}

TEST(VJSONImporterBag, WordsFollowTheNumberGrammar)
{
    struct Case
    {
        const char* fWord;
        ValueKind fKind;
        const char* fText;
    };
    const Case cases[] = {
        {"12", VK_LONG8, "12"},
        {"-9223372036854775808", VK_LONG8, "-9223372036854775808"},
        {"9223372036854775808", VK_REAL, "9.2233720368548E+18"},
        {"1.5", VK_REAL, "1.5"},
        {"1e3", VK_REAL, "1000"},
        {"12abc", VK_STRING, "12abc"},
        {"a1b2", VK_STRING, "a1b2"},
        {"0x10", VK_STRING, "0x10"},
        {"01", VK_STRING, "01"},
        {"\"2024-01-05\"", VK_TIME, nullptr},
        {"\"12\"", VK_STRING, "12"},
    };
    for (const Case& c : cases)
    {
        VRefPtr<VValueBag> bag(new VValueBag);
        VJSONImporter importer(U8(std::string("{v:") + c.fWord + "}"), 0);
        EXPECT_EQ(importer.JSONObjectToBag(*bag), VE_OK);
        ValueKind kind = 0;
        std::string text = AttributeText(*bag, "v", &kind);
        if (c.fText != nullptr)
        {
            EXPECT_EQ(text, c.fText) << c.fWord;
        }
        EXPECT_EQ(kind, c.fKind) << c.fWord;
    }
    // With the non-ambiguous date option only "!!" dates are dates; in arrays quoted text stays text.
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(bag->FromJSONString(U8(R"({a:"2024-01-05",b:"!!2024-01-05!!",l:["2024-01-05"]})"), 0x1000),
              VE_OK);
    ValueKind kind = 0;
    AttributeText(*bag, "a", &kind);
    EXPECT_EQ(kind, VK_STRING);
    AttributeText(*bag, "b", &kind);
    EXPECT_EQ(kind, VK_TIME);
    AttributeText(*bag->GetElements("l")->GetNth(1), "____FakeArrayElement", &kind);
    EXPECT_EQ(kind, VK_STRING);
}

TEST(VJSONImporterBag, FailuresKeepWhatWasRead)
{
    struct Case
    {
        const char* fText;
        VError fError;
        std::vector<VError> fRecords;
        int fAttributes;
    };
    const Case cases[] = {
        {"{a:1, b:2", VE_OK, {}, 2},    // the end closes what is open
        {"[1]", k550, {k551, k550}, 0}, // not an object
        {"{a:1, b 2}", k550, {k551, k550}, 1},
        {"{a:1, b:[[1]]}", k550, {k551, k550}, 1}, // no array of arrays in a bag
        {"{a:1, b:}", k550, {k551, k550}, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fText);
        StCollectErrors errors;
        VRefPtr<VValueBag> bag(new VValueBag);
        EXPECT_EQ(bag->FromJSONString(U8(c.fText), 0), c.fError);
        EXPECT_EQ(errors.Codes(), c.fRecords);
        EXPECT_EQ(bag->GetAttributesCount(), c.fAttributes);
    }
    // A name a bag cannot hold.
    StCollectErrors errors;
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(bag->FromJSONString(U8("{" + std::string(300, 'n') + ":1}"), 0), VE_INVALID_PARAMETER);
}

TEST(VJSONImporterBag, ABinaryObjectLoadsTheBagFromItsValue)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    std::string text = "{\"__PRIVATE_BINARY_OBJECT\":\"" + Base64Form(Parse("{\"x\":\"y\"}")) + "\"}";
    VJSONImporter importer(U8(text), 0);
    EXPECT_EQ(importer.JSONObjectToBag(*bag), VE_OK);
    EXPECT_EQ(AttributeText(*bag, "x"), "y");

    StCollectErrors errors;
    VRefPtr<VValueBag> refused(new VValueBag);
    VJSONImporter cut(U8("{\"__PRIVATE_BINARY_OBJECT\":\"BQ==\"}"), 0);
    EXPECT_EQ(cut.JSONObjectToBag(*refused), VE_STREAM_EOF);
}

} // namespace
} // namespace kova
