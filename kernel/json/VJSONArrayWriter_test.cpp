#include "kernel/json/VJSONArrayWriter.h"

#include "kernel/json/JSONTesting_test.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VReal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::ToU8;
using testing_json::U8;

std::string Take(VJSONArrayWriter& ioWriter, bool inKeep = false)
{
    VString text;
    ioWriter.GetArray(text, inKeep);
    return ToU8(text);
}

std::string Take(VJSONSingleObjectWriter& ioWriter)
{
    VString text;
    ioWriter.GetObject(text);
    return ToU8(text);
}

TEST(VJSONArrayWriterTest, BuildsArraysAndReopensThem)
{
    VJSONArrayWriter writer;
    writer.Close();
    EXPECT_EQ(Take(writer, true), "[]");
    writer.AddLong(1);
    writer.AddBool(true);
    writer.Close();
    EXPECT_EQ(Take(writer, true), "[1,true]");
    // Kept: the next addition reopens the closed text.
    writer.AddString("a\"b", 1);
    EXPECT_EQ(Take(writer), R"([1,true,"a\"b"])");
    writer.AddLong(2);
    EXPECT_EQ(Take(writer), "[2]");
    EXPECT_EQ(Take(writer), "[]");

    const int32_t longs[] = {-1, 2147483647};
    const int16_t words[] = {-32768};
    const char bools[] = {0, 5};
    const double reals[] = {0.5, std::nan(""), std::numeric_limits<double>::infinity(), 3};
    writer.AddLongs(longs, 2);
    writer.AddWords(words, 1);
    writer.AddBools(bools, 2);
    writer.AddReals(reals, 4);
    writer.AddLongs(nullptr, 3);
    writer.AddReals(reals, 0);
    writer.AddString(static_cast<const char*>(nullptr), 1);
    writer.AddStrings({VString("x"), VString("y")}, 1);
    writer.Add(VLong(7), 0);
    const std::string text = Take(writer);
    EXPECT_EQ(text, R"([-1,2147483647,-32768,false,true,0.5,null,null,3,"x","y",7])");
    EXPECT_TRUE(Parse(text, VJSONImporter::kStrict).IsArray());
}

TEST(VJSONArrayWriterTest, NestsAnotherWritersArray)
{
    VJSONArrayWriter outer;
    VJSONArrayWriter inner;
    inner.AddLong(1);
    outer.AddJSONArray(inner);
    outer.AddJSONArray(inner);
    EXPECT_EQ(Take(outer), "[[1],[]]");
    EXPECT_EQ(Take(inner), "[]");
}

TEST(VJSONSingleObjectWriterTest, WritesMembersAndReopens)
{
    VJSONSingleObjectWriter writer;
    EXPECT_EQ(Take(writer), "{}");
    EXPECT_TRUE(writer.AddMember(VString("a"), VLong(1), 0));
    EXPECT_EQ(Take(writer), R"({"a":1})");
    EXPECT_TRUE(writer.AddMember(VString("b"), VString("x"), 1));
    EXPECT_FALSE(writer.AddMember(VString(), VLong(2), 0));
    // A quote in a name stays inside the name instead of opening a member of its own.
    EXPECT_TRUE(writer.AddMember(U8("c\",\"admin\":\"true"), VLong(3), 0));
    const std::string text = Take(writer);
    EXPECT_EQ(text, R"({"a":1,"b":"x","c\",\"admin\":\"true":3})");
    VJSONValue parsed = Parse(text, VJSONImporter::kStrict);
    EXPECT_TRUE(parsed.GetProperty(VString("admin")).IsUndefined());
}

} // namespace
} // namespace kova
