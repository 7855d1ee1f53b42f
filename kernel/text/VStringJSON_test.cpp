#include "kernel/text/VString.h"

#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inText)
{
    return std::u16string(inText.GetCPointer(), size_t(inText.GetLength()));
}

TEST(VStringJSON, GetJSONStringEscapes)
{
    struct Case
    {
        std::u16string fText;
        uint32_t fOptions;
        std::u16string fJSON;
    };
    const Case cases[] = {
        {u"a\"b\\c\t", 1, u"\"a\\\"b\\\\c\\t\""},
        {u"\x1F\x7F\u00E9/", 0, u"\\u001F\\u007F\u00E9/"},
        {u"\b\f\n\r\x0B", 0, u"\\b\\f\\n\\r\\u000B"},
        {u"&'", 0, u"&'"},
        {u"&'", 0x400, u"\\u0026\\u0027"},
        {u"a\"\n", 16, u"a\"\n"},
        {u"a\"\n", 17, u"\"a\"\n\""},
        {u"\U0001F600", 0, u"\U0001F600"},
        {std::u16string(1, char16_t(0xD800)) + u"x", 1, u"\"\\uD800x\""},
        {std::u16string(1, char16_t(0xDC00)), 0, u"\\uDC00"},
        {u"", 1, u"\"\""},
    };
    for (const Case& c : cases)
    {
        VString source(c.fText.data(), c.fText.size() * 2, VTC_UTF_16);
        VString json("old text");
        EXPECT_EQ(source.GetJSONString(json, c.fOptions), VE_OK);
        EXPECT_EQ(Text(json), c.fJSON);
    }
    // Into itself.
    VString self(u"x\"y");
    self.GetJSONString(self, 1);
    EXPECT_EQ(Text(self), u"\"x\\\"y\"");
}

TEST(VStringJSON, FromJSONStringDecodes)
{
    struct Case
    {
        std::u16string fJSON;
        uint32_t fOptions;
        std::u16string fText;
    };
    const Case cases[] = {
        {u"\\u00e9\\u00E9", 0, u"\u00E9\u00E9"},
        {u"\\u0g41", 0, u"A"},
        {u"ab\\u12", 0, u"abu12"},
        {u"ab\\", 0, u"ab"},
        {u"\\\"\\/\\q\\t", 0, u"\"/q\t"},
        {u"\\ud83d\\ude00", 0, u"\U0001F600"},
        {u"\\n", 16, u"\\n"},
        {u"", 0, u""},
    };
    for (const Case& c : cases)
    {
        VString text(true);
        EXPECT_EQ(text.FromJSONString(VString(c.fJSON.data(), c.fJSON.size() * 2, VTC_UTF_16), c.fOptions),
                  VE_OK);
        EXPECT_EQ(Text(text), c.fText);
        EXPECT_FALSE(text.IsNull());
    }
}

TEST(VStringJSON, JSONValueForms)
{
    VString text(u"value");
    VJSONValue json;
    EXPECT_EQ(text.GetJSONValue(json, 0), VE_OK);
    EXPECT_TRUE(json.IsString());
    text.SetNull(true);
    text.GetJSONValue(json, 0);
    EXPECT_TRUE(json.IsNull());

    VString read(u"before");
    EXPECT_EQ(read.FromJSONValue(VJSONValue(2.5)), VE_OK);
    EXPECT_EQ(Text(read), u"2.5");
    read.FromJSONValue(VJSONValue(JSON_null));
    EXPECT_TRUE(read.IsNull());
    read.FromJSONValue(VJSONValue(JSON_true));
    EXPECT_EQ(Text(read), u"true");
    EXPECT_FALSE(read.IsNull());
}

TEST(VStringJSON, NamesAndDateShapes)
{
    VString name;
    VString(u"1abc-d$").GetCleanJSName(name);
    EXPECT_EQ(Text(name), u"_1abcd$");
    VString(u"-+.!").GetCleanJSName(name);
    EXPECT_EQ(Text(name), u"");

    EXPECT_TRUE(VString(u"2024-13-45").IsISODate());
    EXPECT_FALSE(VString(u"2024-1-05").IsISODate());
    EXPECT_FALSE(VString(u"2024-01-05 ").IsISODate());
    EXPECT_TRUE(VString(u"!!2024-01-05!!").IsNonAmbigousDate());
    EXPECT_FALSE(VString(u"!!2024-01-05!").IsNonAmbigousDate());
    EXPECT_FALSE(VString(u"2024-01-05").IsNonAmbigousDate());
}

TEST(VStringJSON, FormatWithTemplateFillsPlaceholders)
{
    VJSONValue values(JSON_object);
    VJSONValue inner(JSON_object);
    inner.GetObject()->SetProperty(VString(u"b"), VJSONValue(5.0));
    values.GetObject()->SetProperty(VString(u"a"), inner);
    values.GetObject()->SetProperty(VString(u"s"), VJSONValue(VString(u"x")));
    values.GetObject()->SetProperty(VString(u"n"), VJSONValue(JSON_null));
    struct Case
    {
        const char16_t* fTemplate;
        const char16_t* fResult;
    };
    const Case cases[] = {
        {u"Total: {{a.b}} / {{s}}!", u"Total: 5 / x!"},
        {u"[{{missing}}][{{n}}]", u"[][]"},
        {u"x}}y", u"y"},
        {u"s}}y", u"xy"},
        {u"a{{b", u"ab"},
        {u"", u""},
        {u"{{s}}}}tail", u"xtail"},
    };
    VString output;
    for (const Case& c : cases)
    {
        VString(c.fTemplate).FormatWithTemplate(values.GetObject(), output);
        EXPECT_EQ(Text(output), c.fResult) << std::string(c.fTemplate, c.fTemplate + 1);
    }
    VString(u"{{s}}!").FormatWithTemplate(nullptr, output);
    EXPECT_EQ(Text(output), u"!");
}

} // namespace
} // namespace kova
