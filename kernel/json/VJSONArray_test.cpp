#include "kernel/json/VJSONArray.h"

#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONTesting_test.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/values/VCompareOptions.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_json::Parse;
using testing_json::StCollectErrors;
using testing_json::ToU8;
using testing_json::Write;

VJSONValue Numbers(int inCount)
{
    VJSONValue array(JSON_array);
    for (int i = 0; i < inCount; ++i)
        array.GetArray()->Push(VJSONValue(double(i)));
    return array;
}

TEST(VJSONArray, ElementsPastTheEndAreUndefinedAndNeverStored)
{
    VJSONValue array = Parse("[1,2]");
    VJSONArray* elements = array.GetArray();
    EXPECT_TRUE(elements->GetAt(2).IsUndefined());
    VJSONValue out(5.0);
    EXPECT_FALSE(elements->GetAt(7, out));
    EXPECT_TRUE(out.IsUndefined());
    EXPECT_TRUE(elements->GetAt(1, out));
    EXPECT_EQ(out.GetNumber(), 2);

    EXPECT_FALSE(elements->SetAt(2, VJSONValue(9.0)));
    EXPECT_FALSE(elements->SetAt_unchecked(5, VJSONValue(9.0)));
    EXPECT_TRUE(elements->SetAt(1, VJSONValue(9.0)));
    EXPECT_EQ(Write(array), "[1,9]");

    uint32_t stamp = elements->GetStampAt(0);
    elements->TouchStampAt(0);
    EXPECT_GT(elements->GetStampAt(0), stamp);
    EXPECT_EQ(elements->GetStampAt(2), 0u);
}

TEST(VJSONArray, RemoveResizeAndConcatenate)
{
    struct Case
    {
        size_t fIndex, fCount;
        const char* fResult;
    };
    const Case removals[] = {
        {2, 1000, "[0,1]"}, {7, 1, "[0,1,2,3,4]"}, {1, 0, "[0,1,2,3,4]"}, {0, 2, "[2,3,4]"}};
    for (const Case& c : removals)
    {
        VJSONValue array = Numbers(5);
        array.GetArray()->RemoveAt(c.fIndex, c.fCount);
        EXPECT_EQ(Write(array), c.fResult) << c.fIndex << "," << c.fCount;
    }

    VJSONValue array(JSON_array);
    EXPECT_TRUE(array.GetArray()->Resize(3));
    EXPECT_EQ(Write(array), "[null,null,null]");
    EXPECT_TRUE(array.GetArray()->Resize(1));
    EXPECT_EQ(Write(array), "[null]");

    VJSONValue objects(JSON_array);
    EXPECT_TRUE(objects.GetArray()->Resize(2, JSON_object));
    VJSONObject* shared = objects.GetArray()->GetAt(0).GetObject();
    EXPECT_EQ(objects.GetArray()->GetAt(1).GetObject(), shared);
    EXPECT_EQ(shared->GetRefCount(), 2u);

    VJSONValue doubled = Parse("[1,\"a\"]");
    EXPECT_TRUE(doubled.GetArray()->Concatenate(*doubled.GetArray()));
    EXPECT_EQ(Write(doubled), "[1,\"a\",1,\"a\"]");
    EXPECT_TRUE(doubled.GetArray()->Concatenate(VJSONArray()));
    EXPECT_EQ(doubled.GetArray()->GetCount(), 4u);

    doubled.GetArray()->Clear();
    EXPECT_EQ(Write(doubled), "[]");
}

TEST(VJSONArray, TextJoinsElementsAndStopsAtCycles)
{
    VJSONValue array = Parse(R"([1,null,"x",[2,[3]],{},true])");
    VString text;
    EXPECT_EQ(array.GetArray()->GetString(text), VE_OK);
    EXPECT_EQ(ToU8(text), "1,,x,2,3,[object Object],true");

    VJSONValue cyclic = Parse("[1]");
    cyclic.GetArray()->Push(cyclic);
    StCollectErrors errors;
    EXPECT_EQ(cyclic.GetArray()->GetString(text), VE_OK);
    EXPECT_EQ(ToU8(text), "1,");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_CIRCULAR}));
    cyclic.GetArray()->Clear();

    // A failure inside a nested text is the answer, and the text stays as it was.
    VJSONValue deep(JSON_array);
    VJSONArray* current = deep.GetArray();
    for (int i = 0; i < 12000; ++i)
    {
        VJSONValue child(JSON_array);
        child.GetArray()->Push(VJSONValue(1.0));
        current->Push(child);
        current = child.GetArray();
    }
    errors.Flush();
    text = VString("before");
    EXPECT_EQ(deep.GetArray()->GetString(text), VE_JSON_NOT_ENOUGH_STACK);
    EXPECT_EQ(ToU8(text), "before");
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_NOT_ENOUGH_STACK}));
}

TEST(VJSONArray, JoinAsStringSkipsWhatItIsToldTo)
{
    VJSONValue array = Parse(R"([1,null,"","x"])");
    struct Case
    {
        bool fKeepEmpty, fNullAsText;
        const char* fText;
    };
    const Case cases[] = {
        {false, false, "1-x"}, {true, false, "1--x"}, {false, true, "1-null-x"}, {true, true, "1-null--x"}};
    for (const Case& c : cases)
    {
        VString text;
        array.GetArray()->JoinAsString(VString("-"), text, c.fKeepEmpty, c.fNullAsText);
        EXPECT_EQ(ToU8(text), c.fText);
    }
}

TEST(VJSONArray, SelectedRowsAreRunsOfConsecutiveIndexes)
{
    VJSONValue rows = Parse(R"(["a","b","c","d","e"])");
    EXPECT_EQ(Write(rows.GetArray()->GetSelectedRows(Parse(R"(["e","c","b"])"))),
              R"({"ranges":[{"start":1,"end":2},{"start":4,"end":4}]})");
    EXPECT_EQ(Write(rows.GetArray()->GetSelectedRows(VJSONValue(1.0))), R"({"ranges":[]})");
    EXPECT_EQ(Write(rows.GetArray()->GetSelectedRows(rows)), R"({"ranges":[{"start":0,"end":4}]})");

    // Objects by identity, numbers within 1e-6.
    VJSONValue objects = Parse(R"([{},{},1.0000001])");
    VJSONValue selection(JSON_array);
    selection.GetArray()->Push(objects.GetArray()->GetAt(1));
    selection.GetArray()->Push(Parse("{}"));
    selection.GetArray()->Push(VJSONValue(1.0));
    EXPECT_EQ(Write(objects.GetArray()->GetSelectedRows(selection)), R"({"ranges":[{"start":1,"end":2}]})");
}

class Ascending : public IJSONValueComparator
{
public:
    bool IsLess(const VJSONValue& inFirst, const VJSONValue& inSecond) override
    {
        return inFirst.GetNumber() < inSecond.GetNumber();
    }
};

// Throws at the nth comparison.
class Throwing : public IJSONValueComparator
{
public:
    bool IsLess(const VJSONValue& inFirst, const VJSONValue& inSecond) override
    {
        if (++fCalls == 5)
            throw std::runtime_error("comparator failed");
        return inFirst.GetNumber() < inSecond.GetNumber();
    }
    int fCalls = 0;
};

// Every element before every other: no strict weak ordering.
class Contradicting : public IJSONValueComparator
{
public:
    bool IsLess(const VJSONValue&, const VJSONValue&) override { return true; }
};

// Changes the array under sort.
class Meddling : public IJSONValueComparator
{
public:
    explicit Meddling(VJSONArray* inArray) : fArray(inArray) {}
    bool IsLess(const VJSONValue& inFirst, const VJSONValue& inSecond) override
    {
        fArray->RemoveAt(0, 1);
        return inFirst.GetNumber() < inSecond.GetNumber();
    }
    VJSONArray* fArray;
};

TEST(VJSONArray, SortOrdersOrFailsLeavingTheOrder)
{
    VJSONValue array = Parse("[5,3,9,1,7,3,8,2,6,4,0]");
    Ascending ascending;
    array.GetArray()->Sort(&ascending);
    EXPECT_EQ(Write(array), "[0,1,2,3,3,4,5,6,7,8,9]");

    const std::string unsorted = "[5,3,9,1,7,3,8,2,6,4,0]";
    Throwing throwing;
    Contradicting contradicting;
    for (IJSONValueComparator* comparator : std::vector<IJSONValueComparator*>{&throwing, &contradicting})
    {
        VJSONValue kept = Parse(unsorted);
        StCollectErrors errors;
        kept.GetArray()->Sort(comparator);
        EXPECT_EQ(Write(kept), unsorted);
        EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_SORT_FAILED}));
    }

    VJSONValue shrinking = Parse(unsorted);
    Meddling meddling(shrinking.GetArray());
    StCollectErrors errors;
    shrinking.GetArray()->Sort(&meddling);
    EXPECT_EQ(errors.Codes(), (std::vector<VError>{VE_JSON_SORT_FAILED}));
    EXPECT_LT(shrinking.GetArray()->GetCount(), 11u);

    VJSONValue empty(JSON_array);
    empty.GetArray()->Sort(&contradicting);
    EXPECT_EQ(Write(empty), "[]");
}

TEST(VJSONArray, ApplyPermutationMovesAlongCycles)
{
    std::vector<std::string> values{"a", "b", "c", "d", "e"};
    std::vector<size_t> permutation{2, 0, 1, 4, 3};
    apply_permutation(values, permutation);
    EXPECT_EQ(values, (std::vector<std::string>{"c", "a", "b", "e", "d"}));
    EXPECT_EQ(permutation, (std::vector<size_t>{0, 1, 2, 3, 4}));
}

TEST(VJSONArray, DeepEqualityComparesElementsPairwise)
{
    VCompareOptions options;
    EXPECT_TRUE(Parse("[1,[2]]").GetArray()->DeepEqualTo(Parse("[1,[2]]").GetArray(), options));
    EXPECT_FALSE(Parse("[1]").GetArray()->DeepEqualTo(Parse("[\"1\"]").GetArray(), options));
    EXPECT_FALSE(Parse("[1]").GetArray()->DeepEqualTo(Parse("[1,1]").GetArray(), options));
    EXPECT_FALSE(Parse("[1]").GetArray()->DeepEqualTo(nullptr, options));
}

TEST(VJSONArray, SwapValuesHandsTheFormerElementsBack)
{
    VJSONValue array = Parse("[1,2]");
    std::vector<VJSONValue> values{VJSONValue(VString("x"))};
    array.GetArray()->SwapValues(values);
    EXPECT_EQ(Write(array), "[\"x\"]");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1].GetNumber(), 2);
    std::vector<VJSONValue> copies;
    array.GetArray()->GetValues(copies);
    EXPECT_EQ(copies.size(), 1u);
}

} // namespace
} // namespace kova
