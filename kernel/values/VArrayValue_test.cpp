#include "kernel/values/VArrayValue.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/VArrayDuration.h"
#include "kernel/values/VArrayInteger.h"
#include "kernel/values/VArrayString.h"
#include "kernel/values/VCppMemMgrTesting_test.h"
#include "kernel/values/ValueTesting.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kova
{
namespace
{

using testing_support::kTenMiB;
using testing_support::MakePooled;
using testing_support::ManagerPtr;
using testing_support::StUseMemMgr;

VArrayLong MakeLongs(const std::vector<int32_t>& inValues)
{
    VArrayLong array;
    for (int32_t value : inValues)
        array.AppendLong(value);
    return array;
}

std::vector<int32_t> Longs(const VArrayLong& inArray)
{
    std::vector<int32_t> values;
    for (int32_t i = 1; i <= inArray.GetCount(); ++i)
        values.push_back(inArray.GetLong(i));
    return values;
}

std::vector<int64_t> Milliseconds(const VArrayDuration& inArray)
{
    std::vector<int64_t> values;
    for (int32_t i = 1; i <= inArray.GetCount(); ++i)
    {
        VDuration duration;
        inArray.GetDuration(duration, i);
        values.push_back(duration.ConvertToMilliseconds());
    }
    return values;
}

// ---------------------------------------------------------------------------------------------
// Registration

TEST(VArrayValue, EveryArrayKindMakesAnEmptyArrayOfItsClass)
{
    const struct
    {
        ValueKind fKind;
        ValueKind fElementKind;
    } kinds[] = {{VK_ARRAY_BOOLEAN, VK_BOOLEAN},   {VK_ARRAY_BYTE, VK_BYTE},     {VK_ARRAY_WORD, VK_WORD},
                 {VK_ARRAY_LONG, VK_LONG},         {VK_ARRAY_LONG8, VK_LONG8},   {VK_ARRAY_TIME, VK_TIME},
                 {VK_ARRAY_DURATION, VK_DURATION}, {VK_ARRAY_STRING, VK_STRING}, {VK_ARRAY_BLOB, VK_BLOB}};
    for (const auto& kind : kinds)
    {
        std::unique_ptr<VValue> value(VValue::NewValueFromValueKind(kind.fKind));
        auto* array = dynamic_cast<VArrayValue*>(value.get());
        ASSERT_NE(array, nullptr) << kind.fKind;
        EXPECT_EQ(array->GetTrueValueKind(), kind.fKind);
        EXPECT_EQ(array->GetElemValueKind(), kind.fElementKind);
        EXPECT_EQ(array->GetValueKind(), VK_UNDEFINED);
        EXPECT_EQ(array->GetCount(), 0);
        EXPECT_TRUE(array->CanBeEvaluated());

        const VValueInfo* info = VValue::ValueInfoFromValueKind(kind.fKind);
        std::unique_ptr<VValue> loaded(info->LoadFromPtr(nullptr, false));
        EXPECT_EQ(loaded->GetTrueValueKind(), kind.fKind);
    }
}

// ---------------------------------------------------------------------------------------------
// Count, insertion, deletion and moves

TEST(VArrayValue, SetCountZeroesGrowthAndTreatsNegativeAsZero)
{
    VArrayLong array = MakeLongs({1, 2, 3});
    EXPECT_TRUE(array.SetCount(3));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(array.SetCount(1));
    EXPECT_TRUE(array.SetCount(4));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 0, 0, 0}));
    EXPECT_EQ(array.GetDataSize(), 16);
    EXPECT_TRUE(array.SetCount(-5));
    EXPECT_EQ(array.GetCount(), 0);
    EXPECT_EQ(array.LockAndGetData(), nullptr);
}

TEST(VArrayValue, SizesTheElementsCannotHaveAreRefusedAndChangeNothing)
{
    VArrayLong8 array(3);
    array.FromLong8(9, 2);
    EXPECT_FALSE(array.SetCount(INT32_MAX));
    EXPECT_FALSE(array.Insert(1, INT32_MAX - 3));
    EXPECT_FALSE(array.SetDataSize(23));
    EXPECT_FALSE(array.SetDataSize(-1));
    EXPECT_EQ(array.GetCount(), 3);
    EXPECT_EQ(array.GetDataSize(), 24);
    EXPECT_EQ(array.GetLong8(2), 9);
    EXPECT_TRUE(array.SetDataSize(40));
    EXPECT_TRUE(array.SetCount(5));
    EXPECT_EQ(array.GetLong8(5), 0);
}

TEST(VArrayValue, ArraysTravelAsValuesOfTheirKind)
{
    VArrayLong array = MakeLongs({7, -8});
    VPtrStream stream;
    stream.OpenWriting();
    EXPECT_EQ(stream.PutValue(array, true), VE_OK);
    stream.CloseWriting();
    stream.OpenReading();
    std::unique_ptr<VValue> read(stream.GetValue());
    stream.CloseReading();
    auto* longs = dynamic_cast<VArrayLong*>(read.get());
    ASSERT_NE(longs, nullptr);
    EXPECT_EQ(Longs(*longs), (std::vector<int32_t>{7, -8}));
}

TEST(VArrayValue, InsertOpensZeroedElementsAtThePosition)
{
    VArrayLong array = MakeLongs({1, 2, 3});
    EXPECT_TRUE(array.Insert(4, 2));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 2, 3, 0, 0}));
    EXPECT_TRUE(array.Insert(1, 1));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{0, 1, 2, 3, 0, 0}));
    EXPECT_TRUE(array.Insert(3, 2));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{0, 1, 0, 0, 2, 3, 0, 0}));
    EXPECT_TRUE(array.Insert(2, 0));

    for (auto [position, count] : {std::pair{0, 1}, std::pair{10, 1}, std::pair{-1, 1}, std::pair{1, -1}})
        EXPECT_FALSE(array.Insert(position, count)) << position << ", " << count;
    EXPECT_EQ(array.GetCount(), 8);
}

TEST(VArrayValue, DeleteClosesTheGapAndStopsAtTheEnd)
{
    VArrayLong array = MakeLongs({1, 2, 3, 4, 5, 6});
    array.Delete(2, 2);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 4, 5, 6}));
    array.Delete(3, 10);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(array.GetDataSize(), 8);
    for (auto [position, count] : {std::pair{0, 1}, std::pair{3, 1}, std::pair{1, 0}, std::pair{1, -2}})
        array.Delete(position, count);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 4}));
    // The dropped tail does not come back when the array grows again.
    EXPECT_TRUE(array.SetCount(4));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 4, 0, 0}));
}

TEST(VArrayValue, MoveElementsMovesOverlappingRunsAndIgnoresRunsOutside)
{
    VArrayLong array = MakeLongs({1, 2, 3, 4, 5});
    array.MoveElements(0, 1, 3);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 1, 2, 3, 5}));
    array.MoveElements(2, 0, 3);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{2, 3, 5, 3, 5}));
    const int32_t ignored[][3] = {{-1, 0, 1}, {0, -1, 1}, {3, 0, 3}, {0, 3, 3}, {1, 1, 2}, {0, 1, 0}};
    for (const auto& run : ignored)
        array.MoveElements(run[0], run[1], run[2]);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{2, 3, 5, 3, 5}));
}

// ---------------------------------------------------------------------------------------------
// Copies

TEST(VArrayValue, CopiesAreIndependentAndOnlyBetweenArraysOfOneKind)
{
    VArrayLong source = MakeLongs({4, 5, 6});
    VArrayLong copy(source);
    source.FromLong(40, 1);
    EXPECT_EQ(Longs(copy), (std::vector<int32_t>{4, 5, 6}));

    VArrayLong assigned = MakeLongs({9});
    assigned = source;
    EXPECT_EQ(Longs(assigned), (std::vector<int32_t>{40, 5, 6}));
    EXPECT_TRUE(assigned.Copy(assigned));
    EXPECT_EQ(assigned.GetCount(), 3);

    std::unique_ptr<VValue> clone(source.Clone());
    auto* cloned = dynamic_cast<VArrayLong*>(clone.get());
    ASSERT_NE(cloned, nullptr);
    EXPECT_EQ(Longs(*cloned), (std::vector<int32_t>{40, 5, 6}));

    // A word array holds other elements: nothing is copied into a long array.
    VArrayWord words(2);
    EXPECT_FALSE(assigned.Copy(words));
    EXPECT_EQ(Longs(assigned), (std::vector<int32_t>{40, 5, 6}));
}

// ---------------------------------------------------------------------------------------------
// Appending and exhausted memory

TEST(VArrayValue, AppendersGoThroughTheWidenedSetterAndReturnTheCount)
{
    VArrayLong array;
    EXPECT_EQ(array.AppendByte(-3), 1);
    EXPECT_EQ(array.AppendWord(300), 2);
    EXPECT_EQ(array.AppendBoolean(1), 3);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{-3, 300, 1}));
    // A real has no setter in a long array: the element stays zero.
    EXPECT_EQ(array.AppendReal(2.5), 4);
    EXPECT_EQ(array.GetLong(4), 0);
}

// Takes every block the pooled manager can still give: big blocks first, then every small size
// (each has its own pages); frees them at the end.
class StExhaustMemory
{
public:
    explicit StExhaustMemory(VCppMemMgr* inManager) : fManager(inManager)
    {
        for (size_t size = size_t(4) << 20; size > 8192; size /= 2)
            _TakeAll(size);
        for (size_t size = 8192; size >= 1; --size)
            _TakeAll(size);
    }
    ~StExhaustMemory()
    {
        for (void* block : fBlocks)
            fManager->Free(block);
    }
    StExhaustMemory(const StExhaustMemory&) = delete;
    StExhaustMemory& operator=(const StExhaustMemory&) = delete;

private:
    void _TakeAll(size_t inSize)
    {
        while (void* block = fManager->Malloc(inSize, false, 0))
            fBlocks.push_back(block);
    }

    VCppMemMgr* fManager;
    std::vector<void*> fBlocks;
};

TEST(VArrayValue, WhenMemoryRunsOutTheArrayKeepsItsElements)
{
    ManagerPtr pooled = MakePooled(kTenMiB);
    StUseMemMgr use(pooled.get());
    VArrayLong array = MakeLongs({1, 2});
    VArrayLong target = MakeLongs({5});
    VArrayLong larger(100);
    VArrayDuration unsorted;
    for (int64_t ms : {3, 1, 2})
        unsorted.AppendDuration(VDuration(ms));
    StExhaustMemory exhausted(pooled.get());

    EXPECT_FALSE(array.SetCount(3));
    EXPECT_FALSE(array.Insert(1, 1));
    // The appender must not write into the last element it already had.
    EXPECT_EQ(array.AppendLong(9), 2);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1, 2}));
    // A shrink that cannot have its smaller block keeps the larger one.
    EXPECT_TRUE(array.SetCount(1));
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{1}));

    // Without its work block the element-by-element sort leaves the array as it was.
    unsorted.Sort(1, 3, 0);
    EXPECT_EQ(Milliseconds(unsorted), (std::vector<int64_t>{3, 1, 2}));

    EXPECT_FALSE(target.Copy(larger));
    EXPECT_EQ(target.GetCount(), 0);

    // A stream form whose count the stream holds but memory does not.
    testing_values::Bytes form(4 + 4 * 4000, 0);
    form[0] = 0xA0;
    form[1] = 0x0F; // 4000
    EXPECT_EQ(testing_values::StreamIn(target, form, false), VE_MEMORY_FULL);
}

// ---------------------------------------------------------------------------------------------
// Sorting

TEST(VArrayValue, SortLeavesRangesOutsideTheArrayAlone)
{
    VArrayLong array = MakeLongs({3, 1, 2});
    const int32_t ranges[][2] = {{0, 3}, {2, 2}, {1, 4}, {3, 1}};
    for (const auto& range : ranges)
        array.Sort(range[0], range[1], 0);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{3, 1, 2}));
    array.Sort(2, 3, 1);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{3, 2, 1}));
    array.Sort(1, 2, 0);
    EXPECT_EQ(Longs(array), (std::vector<int32_t>{2, 3, 1}));
    VArrayLong empty;
    empty.Sort(1, 0, 0);
    EXPECT_EQ(empty.GetCount(), 0);
}

// The direct sort (long) and the element-by-element one (duration) give the same orders, on both
// sides of the selection-sort threshold; descending is the reverse for distinct elements.
TEST(VArrayValue, DirectAndGenericSortsAgree)
{
    for (int32_t count : {9, 10, 37})
    {
        VArrayLong longs;
        VArrayDuration durations;
        for (int32_t i = 0; i < count; ++i)
        {
            int32_t value = (i * 7919) % 101 - 50;
            longs.AppendLong(value);
            durations.AppendDuration(VDuration(value));
        }
        longs.Sort(1, count, 0);
        durations.Sort(1, count, 0);
        std::vector<int32_t> ascending = Longs(longs);
        EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
        EXPECT_EQ(Milliseconds(durations), std::vector<int64_t>(ascending.begin(), ascending.end()));

        longs.Sort(1, count, 1);
        durations.Sort(1, count, 1);
        std::vector<int32_t> descending(ascending.rbegin(), ascending.rend());
        EXPECT_EQ(Longs(longs), descending);
        EXPECT_EQ(Milliseconds(durations), std::vector<int64_t>(descending.begin(), descending.end()));
    }
}

TEST(VArrayValue, UnsortExchangesByAFixedPattern)
{
    VArrayLong two = MakeLongs({1, 2});
    two.Unsort();
    EXPECT_EQ(Longs(two), (std::vector<int32_t>{2, 1}));
    VArrayLong five = MakeLongs({1, 2, 3, 4, 5}); // a, b, c, d, e
    five.Unsort();
    EXPECT_EQ(Longs(five), (std::vector<int32_t>{5, 3, 2, 4, 1}));
    VArrayLong one = MakeLongs({1});
    one.Unsort();
    EXPECT_EQ(Longs(one), (std::vector<int32_t>{1}));

    // Arrays of owned values exchange their slots the same way.
    VArrayString texts;
    for (const char* text : {"a", "b", "c", "d", "e"})
        texts.AppendString(VString(text));
    texts.Unsort();
    VString third;
    texts.GetString(third, 2);
    EXPECT_EQ(third.GetUniChar(1), u'c');
}

TEST(VArrayValue, SynchronizedSortCarriesPayloadsInTheKeysOrder)
{
    VArrayLong keys = MakeLongs({30, 10, 20, 50, 40, 0, 70, 60, 90, 80, 15});
    VArrayString names;
    VArrayLong8 payload;
    for (int32_t i = 1; i <= keys.GetCount(); ++i)
    {
        VString name;
        name.AppendLong(keys.GetLong(i));
        names.AppendString(name);
        payload.AppendLong8(int64_t(keys.GetLong(i)) * 1000);
    }
    payload.AppendLong8(-1); // longer than the keys: the extra element stays

    EXPECT_TRUE(VArrayValue::SynchronizedSort(false, &keys, &names, &payload, nullptr));
    for (int32_t i = 1; i <= keys.GetCount(); ++i)
    {
        if (i > 1)
        {
            EXPECT_LT(keys.GetLong(i - 1), keys.GetLong(i));
        }
        VString name;
        names.GetString(name, i);
        VString expected;
        expected.AppendLong(keys.GetLong(i));
        EXPECT_EQ(name.CompareTo(expected, true), CR_EQUAL) << i;
        EXPECT_EQ(payload.GetLong8(i), int64_t(keys.GetLong(i)) * 1000);
    }
    EXPECT_EQ(payload.GetLong8(12), -1);

    EXPECT_TRUE(VArrayValue::SynchronizedSort(true, &keys, &payload, nullptr));
    EXPECT_EQ(keys.GetLong(1), 90);
    EXPECT_EQ(payload.GetLong8(1), 90000);
}

TEST(VArrayValue, SynchronizedSortRefusesListsItCannotSortSafely)
{
    VArrayLong keys = MakeLongs({3, 2, 1});
    VArrayLong shorter = MakeLongs({1, 2});
    EXPECT_FALSE(VArrayValue::SynchronizedSort(false, &keys, &shorter, nullptr));
    EXPECT_FALSE(VArrayValue::SynchronizedSort(false, &keys, &keys, nullptr));
    EXPECT_FALSE(VArrayValue::SynchronizedSort(false, static_cast<VArrayValue*>(nullptr)));

    std::vector<VArrayLong> many(15, MakeLongs({3, 2, 1}));
    EXPECT_FALSE(VArrayValue::SynchronizedSort(false, &keys, &many[0], &many[1], &many[2], &many[3], &many[4],
                                               &many[5], &many[6], &many[7], &many[8], &many[9], &many[10],
                                               &many[11], &many[12], &many[13], &many[14], nullptr));
    EXPECT_EQ(Longs(keys), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_TRUE(VArrayValue::SynchronizedSort(false, &keys, &many[0], &many[1], &many[2], &many[3], &many[4],
                                              &many[5], &many[6], &many[7], &many[8], &many[9], &many[10],
                                              &many[11], &many[12], &many[13], nullptr));
    EXPECT_EQ(Longs(many[13]), (std::vector<int32_t>{1, 2, 3}));
}

// ---------------------------------------------------------------------------------------------
// Searching

TEST(VArrayValue, FindFollowsTheMethodFromTheStartInTheDirection)
{
    VArrayLong array = MakeLongs({5, 3, 8, 3, 1});
    const struct
    {
        int32_t fValue;
        int32_t fStart;
        uint8_t fForward;
        CompareMethod fMethod;
        int32_t fExpected;
    } cases[] = {
        {3, 1, 1, CM_VALUE_EQUAL, 2},
        {3, 3, 1, CM_VALUE_EQUAL, 4},
        {3, 5, 0, CM_VALUE_EQUAL, 4}, // from the last, backwards
        {3, 3, 0, CM_VALUE_EQUAL, 2},
        {4, 1, 1, CM_VALUE_LESS, 1},    // 4 < 5
        {4, 2, 1, CM_VALUE_GREATER, 2}, // 4 > 3
        {5, 1, 1, CM_VALUE_LESS_OR_EQUAL, 1},
        {6, 1, 1, CM_VALUE_LESS_OR_EQUAL, 3},
        {2, 5, 0, CM_VALUE_GREATER_OR_EQUAL, 5},
        {9, 1, 1, CM_VALUE_EQUAL, -1},
        {3, 0, 1, CM_VALUE_EQUAL, -1},
        {3, 6, 0, CM_VALUE_EQUAL, -1},
        {3, 2, 1, CompareMethod(3), -1},
        {3, 2, 1, CompareMethod(-3), -1},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(array.Find(c.fValue, c.fStart, c.fForward, c.fMethod), c.fExpected)
            << c.fValue << " from " << c.fStart << " method " << c.fMethod;
        EXPECT_EQ(array.Find(VLong(c.fValue), c.fStart, c.fForward, c.fMethod), c.fExpected);
    }
    VArrayLong empty;
    EXPECT_EQ(empty.Find(0, 1, 1, CM_VALUE_EQUAL), -1);
}

TEST(VArrayValue, QuickFindBisectsAnAscendingArray)
{
    VArrayLong array = MakeLongs({-7, -2, 0, 4, 4, 9, 15, 22, 31, 40});
    for (int32_t i = 1; i <= array.GetCount(); ++i)
        EXPECT_EQ(array.GetLong(array.QuickFind(array.GetLong(i))), array.GetLong(i));
    EXPECT_EQ(array.QuickFind(5), -1);
    EXPECT_EQ(array.QuickFind(-100), -1);
    EXPECT_EQ(array.QuickFind(100), -1);
    EXPECT_EQ(VArrayLong().QuickFind(0), -1);
}

} // namespace
} // namespace kova
