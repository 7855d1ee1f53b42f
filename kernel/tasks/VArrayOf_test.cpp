#include "kernel/tasks/VArrayOf.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VCppMemMgrTesting_test.h"

#include <gtest/gtest.h>

#include <vector>

namespace kova
{
namespace
{

std::vector<int> Elements(const VArrayOf<int>& inArray)
{
    return std::vector<int>(inArray.begin(), inArray.end());
}

TEST(VArrayOf, AddNthInsertsAtItsOneBasedPositionClampedToTheArray)
{
    VArrayOf<int> array(2);
    EXPECT_TRUE(array.AddNth(10, 1));
    EXPECT_TRUE(array.AddNth(30, 5)); // past the end: last
    EXPECT_TRUE(array.AddNth(20, 2)); // between
    EXPECT_TRUE(array.AddNth(0, -7)); // below 1: first
    EXPECT_TRUE(array.AddTail(40));
    EXPECT_EQ(Elements(array), (std::vector<int>{0, 10, 20, 30, 40}));
    EXPECT_EQ(array.GetNth(1), 0);
    EXPECT_EQ(array[5], 40);
    EXPECT_EQ(array.GetNth(0), 0);
    EXPECT_EQ(array.GetNth(6), 0);
    EXPECT_EQ(array.FindPos(30), 4);
    EXPECT_EQ(array.FindPos(30, 5), 0);
    EXPECT_EQ(array.FindPos(99), 0);

    array.DeleteNth(2, 2);
    EXPECT_EQ(Elements(array), (std::vector<int>{0, 30, 40}));
    array.DeleteNth(3, 10); // cut to the array
    array.DeleteNth(9);
    EXPECT_EQ(Elements(array), (std::vector<int>{0, 30}));
    EXPECT_TRUE(array.Delete(0));
    EXPECT_FALSE(array.Delete(0));
    array.Destroy();
    EXPECT_TRUE(array.IsEmpty());
}

TEST(VArrayOf, ByteElementsGrowLikeAnyOther)
{
    VArrayOf<uint8_t> bytes(1);
    for (uint8_t value = 0; value < 20; ++value)
        ASSERT_TRUE(bytes.AddTail(value));
    EXPECT_EQ(bytes.GetCount(), 20);
    EXPECT_EQ(bytes[20], 19);
}

TEST(VArrayOf, UniqueArraysRefuseAValueTheyHold)
{
    VArrayOf<int> array(10, true);
    EXPECT_TRUE(array.AddTail(1));
    EXPECT_TRUE(array.AddTail(2));
    EXPECT_FALSE(array.AddNth(1, 1));
    EXPECT_FALSE(array.SetNth(2, 1));
    EXPECT_TRUE(array.SetNth(1, 1));
    EXPECT_FALSE(array.SetNth(3, 3));
    EXPECT_EQ(Elements(array), (std::vector<int>{1, 2}));
}

TEST(VArrayOf, ACallerBlockIsUsedThenLeftWhenTheArrayGrows)
{
    int block[2] = {7, 8};
    {
        VArrayOf<int> array(block, 2, 2);
        EXPECT_EQ(Elements(array), (std::vector<int>{7, 8}));
        EXPECT_TRUE(array.AddNth(6, 1));
        EXPECT_EQ(Elements(array), (std::vector<int>{6, 7, 8}));
    }
    // Never written to once the array moved out, never freed.
    EXPECT_EQ(block[0], 7);
    EXPECT_EQ(block[1], 8);
}

TEST(VArrayOf, WithoutMemoryAnAdditionFailsWithKova100AndChangesNothing)
{
    VArrayOf<int> array(4);
    ASSERT_TRUE(array.AddTail(1));
    for (int i = 2; i <= 4; ++i)
        ASSERT_TRUE(array.AddTail(i));
    StErrorContextInstaller errors(false, true);
    {
        // A manager without a back end: every allocation fails.
        VCppMemMgr failing(VCppMemMgr::EAllocatorKind(99), false, false);
        testing_support::StUseMemMgr use(&failing);
        EXPECT_FALSE(array.AddNth(0, 1));
    }
    EXPECT_EQ(Elements(array), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(array.AddTail(5));
    EXPECT_EQ(array.GetCount(), 5);
}

class Counted : public IRefCountable
{
};

TEST(VArrayRetainedPtrOf, RemovalsAndDestructionReleaseTheElements)
{
    Counted* a = new Counted;
    Counted* b = new Counted;
    a->Retain();
    b->Retain();
    {
        VArrayRetainedPtrOf<Counted*> array;
        ASSERT_TRUE(array.AddTail(a));
        ASSERT_TRUE(array.AddTail(nullptr));
        ASSERT_TRUE(array.AddTail(b));
        array.DeleteNth(1, 2);
        EXPECT_EQ(a->GetRefCount(), 1u);
        EXPECT_EQ(b->GetRefCount(), 2u);
    }
    EXPECT_EQ(b->GetRefCount(), 1u);
    a->Release();
    b->Release();
}

TEST(VArrayIteratorOf, WalksBothWaysFromBeforeTheStartAndStopsNowhere)
{
    VArrayOf<int> array;
    for (int value : {1, 2, 3})
        array.AddTail(value);

    VArrayIteratorOf<int> forward(array);
    EXPECT_EQ(forward.GetPos(), -1);
    EXPECT_EQ(forward.Current(), 1); // before the start: the first
    std::vector<int> seen;
    forward.SetPos(-1);
    for (int value = forward.Next(); forward.GetPos() != 0; value = forward.Next())
        seen.push_back(value);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(forward.Current(), 0);

    VArrayIteratorOf<int> backward(array);
    EXPECT_EQ(backward.Previous(), 3);
    EXPECT_EQ(backward.Previous(), 2);
    EXPECT_EQ(backward.Previous(), 1);
    EXPECT_EQ(backward.Previous(), 0);
    EXPECT_EQ(backward.GetPos(), 0);

    struct Case
    {
        int32_t fSet;
        int32_t fPos;
    };
    for (Case c : {Case{-1, -1}, Case{-2, 0}, Case{4, 0}, Case{3, 3}, Case{0, 0}})
    {
        forward.SetPos(c.fSet);
        EXPECT_EQ(forward.GetPos(), c.fPos) << c.fSet;
    }
    EXPECT_EQ(forward.First(), 1);
    EXPECT_EQ(forward.Last(), 3);
    EXPECT_EQ(forward.GetPos(), 3);

    VArrayOf<int> empty;
    VArrayIteratorOf<int> none(empty);
    EXPECT_EQ(none.Next(), 0);
    EXPECT_EQ(none.GetPos(), 0);
    EXPECT_EQ(none.Last(), 0);
}

} // namespace
} // namespace kova
