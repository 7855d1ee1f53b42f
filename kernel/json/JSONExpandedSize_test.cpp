#include "kernel/json/JSONExpandedSize.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONValue.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;

// What a walk that stops only where it meets a collection of its own path costs: the measure's
// meaning, taken the long way.
uint64_t WalkedSize(const VJSONValue& inValue, std::set<const void*>& ioPath)
{
    const VJSONArray* array = inValue.GetArray();
    if (array == nullptr)
        return JSONExpandedSize(inValue, UINT64_MAX); // scalars and the objects of these tests
    if (!ioPath.insert(array).second)
        return 1;
    uint64_t size = 1;
    for (size_t i = 0; i < array->GetCount(); ++i)
        size += WalkedSize(array->GetAt(i), ioPath);
    ioPath.erase(array);
    return size;
}

TEST(JSONExpandedSizeTest, SharedPartsCountEachTimeTheyAreReached)
{
    // One per value, one more per unit of a string or a name.
    EXPECT_EQ(JSONExpandedSize(Parse(R"([1,"ab",{"cd":null}])"), UINT64_MAX), 1u + 1 + 3 + 1 + 3 + 1);
    VJSONValue shared = Parse("[1,2]");
    VJSONValue twice = Parse("[]");
    twice.GetArray()->Push(shared);
    twice.GetArray()->Push(shared);
    EXPECT_EQ(JSONExpandedSize(twice, UINT64_MAX), 7u);
    EXPECT_EQ(JSONDistinctSize(twice), 4u);
    // A cycle counts once where the walk meets it again.
    VJSONValue self = Parse("[0]");
    self.GetArray()->Push(self);
    EXPECT_EQ(JSONExpandedSize(self, UINT64_MAX), 3u);
    self.GetArray()->Clear();

    // Twice at each of 60 levels: the measure stops once past the limit, the last step adding at
    // most a part measured before, no larger than what was counted.
    VJSONValue level = Parse("[0]");
    for (int i = 0; i < 60; ++i)
    {
        VJSONValue next = Parse("[]");
        next.GetArray()->Push(level);
        next.GetArray()->Push(level);
        level = next;
    }
    EXPECT_GT(JSONExpandedSize(level, 1000), 1000u);
    EXPECT_LE(JSONExpandedSize(level, 1000), 2002u);
    EXPECT_EQ(JSONDistinctSize(level), 62u);
    StCollectErrors errors;
    EXPECT_EQ(CheckJSONExpandedSize(level, 1000000), VE_JSON_EXPANSION_TOO_LARGE);
    EXPECT_EQ(errors.Codes(), std::vector<VError>{VE_JSON_EXPANSION_TOO_LARGE});
}

TEST(JSONExpandedSizeTest, MeasuresNoLessThanAWalkOfRandomGraphs)
{
    // Arrays that hold one another at random, cycles included: the measure is what the walk
    // costs where no cycle passes through a part met twice, and never less.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round)
    {
        std::vector<VJSONValue> nodes;
        const int count = 2 + int(random() % 7);
        for (int i = 0; i < count; ++i)
            nodes.push_back(Parse("[0]"));
        const bool acyclic = round % 2 == 0;
        for (int i = 0; i < count; ++i)
        {
            const int children = int(random() % 4);
            for (int c = 0; c < children; ++c)
            {
                const int to = int(random() % unsigned(count));
                if (!acyclic || to > i)
                    nodes[size_t(i)].GetArray()->Push(nodes[size_t(to)]);
            }
        }
        std::set<const void*> path;
        const uint64_t walked = WalkedSize(nodes[0], path);
        if (acyclic)
            EXPECT_EQ(JSONExpandedSize(nodes[0], UINT64_MAX), walked) << round;
        else
            EXPECT_GE(JSONExpandedSize(nodes[0], UINT64_MAX), walked) << round;
        for (VJSONValue& node : nodes)
            node.GetArray()->Clear();
    }
}

} // namespace
} // namespace kova
