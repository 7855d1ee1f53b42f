#include "kernel/json/VJSONArrayReader.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::StCollectErrors;
using testing_json::ToU8;
using testing_json::U8;

std::vector<std::string> Texts(const VJSONArrayReader& inReader)
{
    std::vector<VString> texts;
    inReader.ToArrayString(texts, false);
    std::vector<std::string> result;
    for (const VString& text : texts)
        result.push_back(ToU8(text));
    return result;
}

TEST(VJSONArrayReaderTest, ReadsTopLevelElementsAndSkipsNestedOnes)
{
    struct Case
    {
        const char* fText;
        VError fError;
        std::vector<std::string> fElements;
    };
    const Case cases[] = {
        {R"([1,[2,3],"s"])", VE_OK, {"1", "s"}},
        {R"([1,{"a":[4],"b":"x"},true,"a\"b"])", VE_OK, {"1", "true", "a\"b"}},
        {R"(junk {"a": [ 7, -8.5 ] } tail)", VE_OK, {"7", "-8.5"}},
        {"[]", VE_OK, {}},
        {"", VE_JSON_MALFORMED, {}},
        {"1, 2", VE_JSON_MALFORMED, {}},
        {"[1,2", VE_JSON_MALFORMED, {}},
        {"[1,[2,3]", VE_JSON_MALFORMED, {}},
        {R"([1,{"a":2])", VE_JSON_MALFORMED, {}},
        {"[1}", VE_JSON_MALFORMED, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fText);
        StCollectErrors errors;
        VJSONArrayReader reader(U8(c.fText));
        VError error = 1;
        EXPECT_EQ(reader.GetCountOfElements(&error), int32_t(c.fElements.size()));
        EXPECT_EQ(error, c.fError);
        EXPECT_EQ(Texts(reader), c.fElements);
        EXPECT_TRUE(errors.Codes().empty());
    }
}

TEST(VJSONArrayReaderTest, ConvertsIntoTheCallersArrays)
{
    VJSONArrayReader reader(VString(R"([12, "-3", true, "TRUE", false, x])"));
    ASSERT_EQ(reader.GetCountOfElements(nullptr), 6);
    int16_t shorts[6] = {};
    int32_t longs[6] = {};
    double reals[6] = {};
    char bools[6] = {};
    EXPECT_EQ(reader.ToArrayShort(shorts, 6), VE_OK);
    EXPECT_EQ(reader.ToArrayLong(longs, 6), VE_OK);
    EXPECT_EQ(reader.ToArrayReal(reals, 6), VE_OK);
    EXPECT_EQ(reader.ToArrayBool(bools, 6), VE_OK);
    EXPECT_EQ(shorts[0], 12);
    EXPECT_EQ(longs[1], -3);
    EXPECT_EQ(reals[0], 12.0);
    EXPECT_EQ(std::vector<int>(bools, bools + 6), (std::vector<int>{0, 0, 1, 1, 0, 0}));

    std::vector<VString> texts{VString("kept")};
    EXPECT_EQ(reader.ToArrayString(texts, true), VE_OK);
    EXPECT_EQ(texts.size(), 7u);
}

TEST(VJSONArrayReaderTest, RefusesSmallArraysAndReportsTheParseError)
{
    VJSONArrayReader reader(VString("[1,2,3]"));
    int32_t values[3] = {9, 9, 9};
    {
        StCollectErrors errors;
        EXPECT_EQ(reader.ToArrayLong(values, 2), VE_INVALID_PARAMETER);
        EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_INVALID_PARAMETER});
    }
    EXPECT_EQ(values[0], 9);
    EXPECT_EQ(reader.ToArrayLong(nullptr, 3), VE_OK);

    reader.FromJSONString(VString("[1,"));
    EXPECT_EQ(reader.ToArrayLong(values, 3), VE_JSON_MALFORMED);
    EXPECT_EQ(values[0], 9);
    std::vector<VString> texts{VString("old")};
    EXPECT_EQ(reader.ToArrayString(texts, false), VE_JSON_MALFORMED);
    EXPECT_TRUE(texts.empty());
    reader.FromJSONString(VString("[4]"));
    EXPECT_EQ(reader.ToArrayLong(values, 1), VE_OK);
    EXPECT_EQ(values[0], 4);
}

} // namespace
} // namespace kova
