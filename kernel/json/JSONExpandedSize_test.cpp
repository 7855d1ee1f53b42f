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

TEST(JSONExpandedSizeTest, PartsThatReachBackOnlyToWhatIsAlwaysOpenAreMeasuredOnce)
{
    // Each of 50 levels holds the one before it twice and the root: every level reaches back up,
    // yet always to the root, which stays open. Measured by walking again at each meeting, this
    // would take 2^50 steps; the walk's cost is 5 * 2^k - 2 for level k, the root's 1 plus theirs.
    constexpr int kLevels = 50;
    VJSONValue root = Parse("[]");
    VJSONValue level = Parse("[0]");
    level.GetArray()->Push(root);
    root.GetArray()->Push(level);
    for (int i = 1; i <= kLevels; ++i)
    {
        VJSONValue next = Parse("[]");
        next.GetArray()->Push(level);
        next.GetArray()->Push(level);
        next.GetArray()->Push(root);
        root.GetArray()->Push(next);
        level = next;
    }
    const uint64_t walked = 1 + 5 * ((uint64_t(1) << (kLevels + 1)) - 1) - 2 * (kLevels + 1);
    EXPECT_EQ(JSONExpandedSize(root, UINT64_MAX), walked);
    // A walk that starts at the last level instead meets the root inside the levels, and each
    // level again on every way down: no measure taken where the root was open holds there.
    VJSONValue above = Parse("[]");
    above.GetArray()->Push(level);
    EXPECT_GT(JSONExpandedSize(above, uint64_t(1) << 20), uint64_t(1) << 20);
    root.GetArray()->Clear();

    // Nine arrays one inside the other, the last holding 41 levels: the first reaches back to
    // each of the nine, more than a memo names, and each other level holds the one before twice.
    // The levels are met again only under the same nine.
    std::vector<VJSONValue> nine;
    for (int i = 0; i < 9; ++i)
    {
        nine.push_back(Parse("[]"));
        if (i > 0)
            nine[size_t(i - 1)].GetArray()->Push(nine.back());
    }
    level = Parse("[]");
    for (const VJSONValue& up : nine)
        level.GetArray()->Push(up);
    nine.back().GetArray()->Push(level);
    for (int i = 1; i <= 40; ++i)
    {
        VJSONValue next = Parse("[]");
        next.GetArray()->Push(level);
        next.GetArray()->Push(level);
        nine.back().GetArray()->Push(next);
        level = next;
    }
    // Level k costs 11 * 2^k - 1, the nine arrays one each.
    EXPECT_EQ(JSONExpandedSize(nine.front(), UINT64_MAX), 9 + 11 * ((uint64_t(1) << 41) - 1) - 41);
    for (VJSONValue& up : nine)
        up.GetArray()->Clear();
}

TEST(JSONExpandedSizeTest, MeasuresNoLessThanAWalkOfRandomGraphs)
{
    // Arrays that hold one another at random, cycles included: the measure is what the walk
    // costs where no cycle passes through a part met twice, and never less. From round 300 on,
    // each also holds the next, so that parts deep in the chain reach back to many collections.
    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round)
    {
        const bool chain = round >= 300;
        std::vector<VJSONValue> nodes;
        const int count = chain ? 12 + int(random() % 4) : 2 + int(random() % 7);
        for (int i = 0; i < count; ++i)
            nodes.push_back(Parse("[0]"));
        const bool acyclic = round % 2 == 0;
        for (int i = 0; i < count; ++i)
        {
            if (chain && i + 1 < count)
                nodes[size_t(i)].GetArray()->Push(nodes[size_t(i + 1)]);
            const int children = int(random() % 4);
            for (int c = 0; c < children; ++c)
            {
                // Along the chain, mostly back to where it came from.
                const int to =
                    chain && i > 0 && c > 0 ? int(random() % unsigned(i)) : int(random() % unsigned(count));
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
