#include "kernel/json/VJSONGraph.h"

#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::Tracker;
using testing_json::Write;

VJSONObject* Obj(const VJSONValue& inValue)
{
    return inValue.GetObject();
}

TEST(VJSONGraph, CyclesOfEveryShapeAreFreedWithTheirLastOutsideReference)
{
    Tracker tracker;
    {
        // An object that is its own property.
        VJSONValue self = tracker.Make();
        Obj(self)->SetProperty("self", self);
        EXPECT_TRUE(Obj(self)->_GetGraph()->HasCycle());
    }
    EXPECT_EQ(tracker.Alive(), 0);
    {
        // Two objects that hold each other.
        VJSONValue a = tracker.Make();
        VJSONValue b = tracker.Make();
        Obj(a)->SetProperty("b", b);
        Obj(b)->SetProperty("a", a);
        b.SetNull();
        EXPECT_EQ(tracker.Alive(), 2);
    }
    EXPECT_EQ(tracker.Alive(), 0);
    {
        // An array that holds itself, and a ring through arrays and objects.
        VJSONValue array(JSON_array);
        array.GetArray()->Push(array);
        array.GetArray()->Push(tracker.Make());
        VJSONValue ring(JSON_array);
        VJSONValue middle = tracker.Make();
        ring.GetArray()->Push(middle);
        Obj(middle)->SetProperty("back", ring);
        Obj(middle)->SetProperty("other", array);
    }
    EXPECT_EQ(tracker.Alive(), 0);
    {
        // A diamond with a cycle below it.
        VJSONValue top = tracker.Make();
        VJSONValue left = tracker.Make();
        VJSONValue right = tracker.Make();
        VJSONValue bottom = tracker.Make();
        Obj(top)->SetProperty("l", left);
        Obj(top)->SetProperty("r", right);
        Obj(left)->SetProperty("b", bottom);
        Obj(right)->SetProperty("b", bottom);
        Obj(bottom)->SetProperty("top", top);
    }
    EXPECT_EQ(tracker.Alive(), 0);
}

TEST(VJSONGraph, ATreeIsFreedByCountingAlone)
{
    Tracker tracker;
    VJSONValue root = tracker.Make();
    VJSONValue child = tracker.Make();
    Obj(root)->SetProperty("child", child);
    Obj(child)->SetProperty("leaf", tracker.Make());
    VJSONGraph* graph = Obj(root)->_GetGraph();
    ASSERT_NE(graph, nullptr);
    EXPECT_FALSE(graph->HasCycle());
    EXPECT_EQ(graph->GetObjectCount(), 3u);
    // root: 1 local; child: 1 local + 1 edge; leaf: 1 edge.
    EXPECT_EQ(graph->GetMemberRefCount(), 4u);
    EXPECT_EQ(graph->GetInternalRefCount(), 2u);
    child.SetNull();
    root.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);
}

TEST(VJSONGraph, ConnectingTwoGroupsMergesTheirCounts)
{
    VJSONValue a = Parse(R"({"x":{}})");
    VJSONValue b = Parse(R"([[],[]])");
    VJSONGraph* first = Obj(a)->_GetGraph();
    VJSONGraph* second = b.GetArray()->_GetGraph();
    ASSERT_NE(first, second);
    const uint32_t members = first->GetMemberRefCount() + second->GetMemberRefCount();
    const uint32_t internal = first->GetInternalRefCount() + second->GetInternalRefCount();
    Obj(a)->SetProperty("b", b);
    VJSONGraph* merged = Obj(a)->_GetGraph();
    EXPECT_EQ(merged, b.GetArray()->_GetGraph());
    EXPECT_EQ(merged->GetObjectCount() + merged->GetArrayCount(), 5u);
    // The new reference is one more member count and one more internal one.
    EXPECT_EQ(merged->GetMemberRefCount(), members + 1);
    EXPECT_EQ(merged->GetInternalRefCount(), internal + 1);
    EXPECT_FALSE(merged->HasCycle());
}

TEST(VJSONGraph, TheLocalCheckFreesAPartCutOffFromItsGroup)
{
    Tracker tracker;
    VJSONValue c = tracker.Make();
    {
        VJSONValue a = tracker.Make();
        VJSONValue b = tracker.Make();
        Obj(c)->SetProperty("a", a);
        Obj(a)->SetProperty("b", b);
        Obj(b)->SetProperty("a", a);
    }
    Obj(c)->RemoveProperty("a");
    EXPECT_EQ(tracker.Alive(), 1);

    // The same, A also held outside: nothing is freed until C goes too.
    VJSONValue a = tracker.Make();
    {
        VJSONValue b = tracker.Make();
        Obj(c)->SetProperty("a", a);
        Obj(a)->SetProperty("b", b);
        Obj(b)->SetProperty("a", a);
    }
    Obj(c)->RemoveProperty("a");
    a.SetNull();
    EXPECT_EQ(tracker.Alive(), 3);
    c.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);
}

TEST(VJSONGraph, AfterTheLocalCheckTheRestOfTheGroupIsStillFreed)
{
    // The part the local check frees leaves the group's counts with it: the group-wide check
    // then holds again for a cycle made among the rest.
    Tracker tracker;
    VJSONValue c = tracker.Make();
    VJSONValue d = tracker.Make();
    Obj(c)->SetProperty("d", d);
    {
        VJSONValue a = tracker.Make();
        VJSONValue b = tracker.Make();
        Obj(c)->SetProperty("a", a);
        Obj(a)->SetProperty("b", b);
        Obj(b)->SetProperty("a", a);
    }
    Obj(c)->RemoveProperty("a");
    EXPECT_EQ(tracker.Alive(), 2);
    VJSONGraph* graph = Obj(c)->_GetGraph();
    EXPECT_EQ(graph->GetMemberRefCount() - graph->GetInternalRefCount(), 2u);
    Obj(d)->SetProperty("c", c);
    d.SetNull();
    c.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);
}

TEST(VJSONGraph, ADroppedReferenceInsideTheCycleNeverEmptiesWhatIsStillHeld)
{
    // root holds A; A and B hold each other. B dropping A leaves A held by root alone: A and B
    // must keep their properties.
    Tracker tracker;
    VJSONValue root = tracker.Make();
    VJSONObject* a = nullptr;
    VJSONObject* b = nullptr;
    {
        VJSONValue first = tracker.Make();
        VJSONValue second = tracker.Make();
        Obj(root)->SetProperty("a", first);
        Obj(first)->SetProperty("b", second);
        Obj(second)->SetProperty("a", first);
        a = Obj(first);
        b = Obj(second);
    }
    b->RemoveProperty("a");
    EXPECT_EQ(tracker.Alive(), 3);
    EXPECT_EQ(Obj(root)->GetProperty("a").GetObject(), a);
    EXPECT_EQ(a->GetProperty("b").GetObject(), b);

    // Replacing the value is the same drop.
    b->SetProperty("a", VJSONValue(a));
    b->SetProperty("a", VJSONValue(1.0));
    EXPECT_EQ(a->GetProperty("b").GetObject(), b);
    root.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);
}

TEST(VJSONGraph, EmptyingAContainerLeavesItsCyclesToTheGroupWideCheck)
{
    Tracker tracker;
    VJSONValue c(JSON_array);
    {
        VJSONValue a = tracker.Make();
        VJSONValue b = tracker.Make();
        Obj(a)->SetProperty("b", b);
        Obj(b)->SetProperty("a", a);
        c.GetArray()->Push(a);
        c.GetArray()->Push(VJSONValue(2.0));
    }
    // Cleared without the local check: the pair stays in C's group until C goes.
    c.GetArray()->Clear();
    EXPECT_EQ(tracker.Alive(), 2);
    c.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);

    VJSONValue holder = tracker.Make();
    {
        VJSONValue a = tracker.Make();
        Obj(a)->SetProperty("self", a);
        Obj(holder)->SetProperty("a", a);
        VJSONValue list(JSON_array);
        list.GetArray()->Push(a);
        list.GetArray()->Push(list);
        Obj(holder)->SetProperty("list", list);
    }
    Obj(holder)->ClearInternalProperties();
    holder.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);
}

TEST(VJSONGraph, ArrayRemovalsRunTheLocalCheck)
{
    Tracker tracker;
    VJSONValue list(JSON_array);
    for (int i = 0; i < 3; ++i)
    {
        VJSONValue a = tracker.Make();
        Obj(a)->SetProperty("self", a);
        list.GetArray()->Push(a);
    }
    list.GetArray()->RemoveAt(0, 2);
    EXPECT_EQ(tracker.Alive(), 1);
    list.GetArray()->SetAt(0, VJSONValue(1.0));
    EXPECT_EQ(tracker.Alive(), 0);
    EXPECT_EQ(Write(list), "[1]");
}

TEST(VJSONGraph, TheReaderLinksAWholeTreeAtOnce)
{
    VJSONValue root = Parse(R"({"a":[{"b":{}},[]],"c":{"d":[1,{"e":{}}]},"s":"x"})");
    VJSONGraph* graph = Obj(root)->_GetGraph();
    ASSERT_NE(graph, nullptr);
    EXPECT_FALSE(graph->HasCycle());
    EXPECT_FALSE(graph->IsShared());
    EXPECT_EQ(graph->GetObjectCount(), 6u);
    EXPECT_EQ(graph->GetArrayCount(), 3u);
    // Each collection but the root is held once; the root by the value.
    EXPECT_EQ(graph->GetInternalRefCount(), 8u);
    EXPECT_EQ(graph->GetMemberRefCount(), 9u);
    VJSONValue c = Obj(root)->GetProperty("c");
    EXPECT_EQ(Obj(c)->_GetInDegree(), 1u);
    EXPECT_EQ(Obj(c)->_GetGraph(), graph);

    // A cycle made inside it is freed with the tree.
    Tracker tracker;
    Obj(c)->SetProperty("probe", tracker.Make());
    Obj(c)->SetProperty("root", root);
    c.SetNull();
    root.SetNull();
    EXPECT_EQ(tracker.Alive(), 0);

    // Scalars and collections without collections have no graph.
    VJSONValue flat = Parse("[1,2,{}]");
    EXPECT_NE(flat.GetArray()->_GetGraph(), nullptr);
    EXPECT_EQ(Parse("[1,2]").GetArray()->_GetGraph(), nullptr);
}

TEST(VJSONGraph, ASharedCollectionMakesItsGroupLock)
{
    VJSONValue plain = Parse(R"({"x":[]})");
    EXPECT_FALSE(Obj(plain)->IsSharedGraph());
    VRefPtr<VJSONArray> shared(new VJSONArray(true));
    Obj(plain)->SetProperty("shared", VJSONValue(shared.Get()));
    EXPECT_TRUE(Obj(plain)->_GetGraph()->IsShared());
    // Every member locks from now on, also the unshared ones.
    EXPECT_TRUE(Obj(plain)->IsSharedGraph());
    EXPECT_TRUE(Obj(plain)->GetProperty("x").GetArray()->IsSharedGraph());
    EXPECT_EQ(Obj(plain)->GetSharedID(), 0);
}

// Random changes over a pool of objects and arrays, against a model of what each holds: nothing
// reachable from the values kept is ever emptied, and once they go everything is freed.
TEST(VJSONGraph, RandomStructuresStayWholeAndAreFreed)
{
    struct Node
    {
        bool fArray = false;
        VJSONCollection* fCollection = nullptr;
        // Children by name ("0", "1", ... for arrays); -1 for a number.
        std::vector<std::pair<std::string, int>> fSlots;
    };
    for (uint32_t seed = 1; seed <= 6; ++seed)
    {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Tracker tracker;
        std::vector<Node> nodes;
        std::vector<std::pair<int, VJSONValue>> roots;

        auto valueOf = [&](int inNode)
        {
            Node& node = nodes[size_t(inNode)];
            return node.fArray ? VJSONValue(static_cast<VJSONArray*>(node.fCollection))
                               : VJSONValue(static_cast<VJSONObject*>(node.fCollection));
        };
        auto make = [&]
        {
            Node node;
            node.fArray = random() % 3 == 0;
            VJSONValue value = node.fArray ? VJSONValue(JSON_array) : tracker.Make();
            node.fCollection =
                node.fArray ? static_cast<VJSONCollection*>(value.GetArray()) : value.GetObject();
            nodes.push_back(node);
            roots.emplace_back(int(nodes.size() - 1), value);
            return int(nodes.size() - 1);
        };
        auto reachable = [&]
        {
            std::set<int> seen;
            std::vector<int> pending;
            for (const auto& root : roots)
                pending.push_back(root.first);
            while (!pending.empty())
            {
                int current = pending.back();
                pending.pop_back();
                if (!seen.insert(current).second)
                    continue;
                for (const auto& slot : nodes[size_t(current)].fSlots)
                {
                    if (slot.second >= 0)
                        pending.push_back(slot.second);
                }
            }
            return std::vector<int>(seen.begin(), seen.end());
        };
        auto slotValue = [&](int inChild) { return inChild >= 0 ? valueOf(inChild) : VJSONValue(7.0); };

        for (int i = 0; i < 8; ++i)
            make();
        for (int step = 0; step < 600; ++step)
        {
            std::vector<int> live = reachable();
            int target = live[random() % live.size()];
            const int action = int(random() % 10);
            int child = random() % 4 == 0 ? -1 : live[random() % live.size()];
            // A new collection is held here until it is stored.
            VJSONValue fresh;
            if (action == 0 && nodes.size() < 60)
            {
                child = make();
                fresh = roots.back().second;
                roots.pop_back();
            }
            Node& node = nodes[size_t(target)];
            if (action <= 5)
            {
                if (node.fArray)
                {
                    VJSONArray* array = static_cast<VJSONArray*>(node.fCollection);
                    if (!node.fSlots.empty() && random() % 2 == 0)
                    {
                        size_t index = random() % node.fSlots.size();
                        ASSERT_TRUE(array->SetAt(index, slotValue(child)));
                        node.fSlots[index].second = child;
                    }
                    else
                    {
                        ASSERT_TRUE(array->Push(slotValue(child)));
                        node.fSlots.emplace_back(std::to_string(node.fSlots.size()), child);
                    }
                }
                else
                {
                    std::string name = "p" + std::to_string(random() % 4);
                    VJSONObject* object = static_cast<VJSONObject*>(node.fCollection);
                    ASSERT_TRUE(object->SetProperty(testing_json::U8(name), slotValue(child)));
                    auto found = std::find_if(node.fSlots.begin(), node.fSlots.end(),
                                              [&](const auto& s) { return s.first == name; });
                    if (found != node.fSlots.end())
                        found->second = child;
                    else
                        node.fSlots.emplace_back(name, child);
                }
            }
            else if (action <= 7 && !node.fSlots.empty())
            {
                size_t index = random() % node.fSlots.size();
                if (node.fArray)
                {
                    static_cast<VJSONArray*>(node.fCollection)->RemoveAt(index, 1);
                    node.fSlots.erase(node.fSlots.begin() + ptrdiff_t(index));
                    for (size_t k = 0; k < node.fSlots.size(); ++k)
                        node.fSlots[k].first = std::to_string(k);
                }
                else
                {
                    static_cast<VJSONObject*>(node.fCollection)
                        ->RemoveProperty(testing_json::U8(node.fSlots[index].first));
                    node.fSlots.erase(node.fSlots.begin() + ptrdiff_t(index));
                }
            }
            else if (action == 8 && roots.size() > 1)
            {
                roots.erase(roots.begin() + ptrdiff_t(random() % roots.size()));
            }
            else if (action == 9)
            {
                roots.emplace_back(target, valueOf(target));
            }
            // Everything still reachable holds what the model says.
            for (int id : reachable())
            {
                const Node& checked = nodes[size_t(id)];
                for (size_t k = 0; k < checked.fSlots.size(); ++k)
                {
                    VJSONValue held = checked.fArray
                                          ? static_cast<VJSONArray*>(checked.fCollection)->GetAt(k)
                                          : static_cast<VJSONObject*>(checked.fCollection)
                                                ->GetOwnProperty(testing_json::U8(checked.fSlots[k].first));
                    int expected = checked.fSlots[k].second;
                    const void* collection = held.GetObject() != nullptr
                                                 ? static_cast<const void*>(held.GetObject())
                                                 : static_cast<const void*>(held.GetArray());
                    if (expected < 0)
                    {
                        ASSERT_EQ(held.GetNumber(), 7.0) << "step " << step;
                    }
                    else
                    {
                        const VJSONCollection* expectedCollection = nodes[size_t(expected)].fCollection;
                        ASSERT_EQ(collection, nodes[size_t(expected)].fArray
                                                  ? static_cast<const void*>(
                                                        static_cast<const VJSONArray*>(expectedCollection))
                                                  : static_cast<const void*>(
                                                        static_cast<const VJSONObject*>(expectedCollection)))
                            << "step " << step;
                    }
                }
            }
        }
        roots.clear();
        EXPECT_EQ(tracker.Alive(), 0);
    }
}

} // namespace
} // namespace kova
