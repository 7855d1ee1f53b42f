#include "kernel/json/VJSONIter.h"

#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::Write;

std::string Walk(VJSONIter& ioIterator)
{
    std::string seen;
    VJSONValue value;
    while (ioIterator.NextValue(value))
        seen += Write(value) + " ";
    EXPECT_TRUE(value.IsUndefined());
    return seen;
}

TEST(VJSONIterTest, ArrayRanges)
{
    struct Case
    {
        int32_t fStart;
        int32_t fEnd;
        bool fToEnd;
        const char* fSeen;
    };
    const Case cases[] = {
        {-2, 0, true, "3 4 "}, {0, 2, false, "0 1 "}, {1, -1, false, "1 2 3 "}, {-9, 9, false, "0 1 2 3 4 "},
        {4, 2, false, ""},     {7, 0, true, ""},      {0, -9, false, ""},
    };
    const VJSONValue array = Parse("[0,1,2,3,4]");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.fStart) + " " + std::to_string(c.fEnd));
        VRefPtr<VJSONIter> it(new VJSONIter(array.GetArray(), c.fStart, c.fEnd, c.fToEnd));
        EXPECT_EQ(Walk(*it), c.fSeen);
    }
}

TEST(VJSONIterTest, ArrayShrinkingDuringTheWalkEndsIt)
{
    VJSONValue array = Parse("[0,1,2,3]");
    VRefPtr<VJSONIter> it(new VJSONIter(array.GetArray(), 0, 0, true));
    VJSONValue value;
    ASSERT_TRUE(it->NextValue(value));
    array.GetArray()->Resize(1);
    EXPECT_FALSE(it->NextValue(value));
}

// A delegate whose iterator walks an array of its own.
class IteratingDelegate : public IJSONObject
{
public:
    VObject* IJSON_MakeIterator(const VJSONObject*, size_t, size_t, bool) const override
    {
        VJSONValue values = Parse(R"(["d1","d2"])");
        return new VJSONIter(values.GetArray(), 0, 0, true);
    }
};

TEST(VJSONIterTest, ObjectNamesOrFromTheDelegate)
{
    VJSONValue object = Parse(R"({"b":1,"a":2})");
    VRefPtr<VJSONIter> names(new VJSONIter(object.GetObject(), 0, 0, false));
    EXPECT_EQ(Walk(*names), R"("b" "a" )");

    VRefPtr<IteratingDelegate> delegate(new IteratingDelegate());
    VRefPtr<VJSONObject> native(new VJSONObject(nullptr, delegate.Get()));
    VRefPtr<VJSONIter> it(new VJSONIter(native.Get(), 0, 0, false));
    EXPECT_EQ(Walk(*it), R"("d1" "d2" )");
}

} // namespace
} // namespace kova
