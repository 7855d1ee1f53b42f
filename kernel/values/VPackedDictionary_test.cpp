#include "kernel/values/VPackedDictionary.h"
#include "kernel/values/VPackedDictionary_with_backstore.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova
{
namespace
{

using testing_values::TextIs;
using Dict = VPackedDictionary_attributes;

std::string NameOf(int i)
{
    return "n" + std::to_string(i);
}

void AppendLongs(Dict& ioDict, int inCount)
{
    for (int i = 0; i < inCount; ++i)
        ASSERT_TRUE(ioDict.Append(StPackedDictionaryKey(VString(NameOf(i).c_str())), VLong(i)));
}

struct UnitsCase
{
    const char* fLabel;
    const VValueSingle* fValue;
    ValueKind fKind;
    size_t fUnits;
};

// The backstore's entry sizes are part of the stored form.
TEST(VPackedDictionaryTest, BackstoreUnitsPerKind)
{
    VBoolean boolean(true);
    VByte byte(int8_t(-3));
    VWord word(int16_t(7));
    VLong longValue(1);
    VLong8 long8(int64_t(1) << 40);
    VDuration duration(1500);
    VString text("abc");
    VString empty;
    VUUID uuid(true);
    VTime time(eInitWithZero);
    const UnitsCase cases[] = {
        {"boolean", &boolean, VK_BOOLEAN, 2},
        {"byte", &byte, VK_BYTE, 2},
        {"word", &word, VK_WORD, 2},
        {"long", &longValue, VK_LONG, 3},
        {"long8", &long8, VK_LONG8, 5},
        {"duration", &duration, VK_DURATION, 5},
        // kind, count (4 bytes), then 2 bytes a unit
        {"string", &text, VK_STRING, 6},
        {"empty string", &empty, VK_STRING, 3},
        {"uuid", &uuid, VK_UUID, 9},
        {"time", &time, VK_TIME, 5},
    };
    for (const UnitsCase& c : cases)
    {
        Dict dict;
        ASSERT_TRUE(dict.Append("v", *c.fValue)) << c.fLabel;
        EXPECT_EQ(dict.GetBackstore().size(), c.fUnits) << c.fLabel;
        EXPECT_EQ(dict.GetBackstore()[0], c.fKind) << c.fLabel;
        EXPECT_EQ(Dict::EntryUnits(Dict::EntryBytes(dict.GetBackstore().data())), c.fUnits) << c.fLabel;
    }
    // The pad byte after an odd entry is 0.
    Dict dict;
    dict.Append("b", VBoolean(true));
    EXPECT_EQ(dict.GetBackstore()[1], 0x0001);
}

TEST(VPackedDictionaryTest, HashMapIsBuiltAtTheFirstLookUpFromSixNamesAndGrowsWhenFull)
{
    Dict five;
    AppendLongs(five, 5);
    EXPECT_NE(five._Find("n4"), Dict::kNotFound);
    EXPECT_TRUE(five.GetHashMap().IsEmpty());

    Dict dict;
    AppendLongs(dict, 6);
    EXPECT_TRUE(dict.GetHashMap().IsEmpty());
    EXPECT_EQ(dict._Find("n3"), 3u);
    EXPECT_EQ(dict.GetHashMap().GetSize(), 11u);
    // Appends put into the map until it is full: the 12th name rebuilds it for 12 names.
    for (int i = 6; i < 11; ++i)
        ASSERT_TRUE(dict.Append(StPackedDictionaryKey(VString(NameOf(i).c_str())), VLong(i)));
    EXPECT_EQ(dict.GetHashMap().GetSize(), 11u);
    ASSERT_TRUE(dict.Append("n11", VLong(11)));
    EXPECT_EQ(dict.GetHashMap().GetSize(), 23u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(dict._Find(StPackedDictionaryKey(VString(NameOf(i).c_str()))), size_t(i)) << i;
}

TEST(VPackedDictionaryTest, LookUpStartsAtTheHomeCellAndScansCircularly)
{
    Dict dict;
    AppendLongs(dict, 6);
    dict._Find("n0");
    const _VHashKeyMap& map = dict.GetHashMap();
    ASSERT_EQ(map.GetSize(), 11u);

    // A name whose home cell is empty is absent.
    for (int i = 100; i < 200; ++i)
    {
        StPackedDictionaryKey key(VString(NameOf(i).c_str()));
        if (map.GetHomeCell(key.GetHash()) == _VHashKeyMap::kEmptyCell)
        {
            EXPECT_EQ(dict._Find(key), Dict::kNotFound);
            break;
        }
    }

    // Two names with the same home cell are both found.
    Dict colliding;
    std::vector<std::string> names;
    uint32_t home = StPackedDictionaryKey::GetHashCode("x0", 2) % 11;
    for (int i = 0; names.size() < 2 && i < 10000; ++i)
    {
        std::string name = "x" + std::to_string(i);
        if (StPackedDictionaryKey::GetHashCode(name.data(), name.size()) % 11 == home)
            names.push_back(name);
    }
    ASSERT_EQ(names.size(), 2u);
    AppendLongs(colliding, 4);
    colliding.Append(StPackedDictionaryKey(names[0].c_str()), VLong(100));
    colliding.Append(StPackedDictionaryKey(names[1].c_str()), VLong(101));
    EXPECT_EQ(colliding._Find(StPackedDictionaryKey(names[0].c_str())), 4u);
    EXPECT_EQ(colliding._Find(StPackedDictionaryKey(names[1].c_str())), 5u);
}

// A name of the dictionary appended again borrows the very buffer that grows under it.
TEST(VPackedDictionaryTest, AppendingANameBorrowedFromTheOwnBufferCopiesItFirst)
{
    const std::string name = "a name long enough to outlast the allocator's bookkeeping";
    Dict source;
    ASSERT_TRUE(source.Append(StPackedDictionaryKey(name.c_str()), VLong(1)));
    // A copy's buffer is exactly full: the next name makes it move.
    Dict dict(source);
    ASSERT_TRUE(dict.Append(dict.GetNthKey(0), VLong(2)));
    ASSERT_EQ(dict.GetCount(), 2u);
    VString second;
    dict.GetNthKeyString(1, second);
    EXPECT_TRUE(TextIs(second, name.c_str()));
}

TEST(VPackedDictionaryTest, LargerValueWaitsAsAnObjectUntilPacked)
{
    Dict dict;
    dict.Append("w", VWord(int16_t(7)));
    dict.Append("z", VLong(9));
    ASSERT_TRUE(dict.SetExistingValue("w", VLong(70000)));
    EXPECT_TRUE(dict.IsPackPending());
    // The old entry stays until packing.
    EXPECT_EQ(dict.GetBackstore().size(), 2u + 3u);
    EXPECT_EQ(dict.GetBackstore()[0], VK_WORD);
    VLong read;
    ASSERT_TRUE(dict.GetValue("w", read));
    EXPECT_EQ(read.Get(), 70000);

    // Copying packs the source: entries back to back, no gap.
    Dict copy(dict);
    EXPECT_FALSE(dict.IsPackPending());
    EXPECT_EQ(dict.GetBackstore().size(), 3u + 3u);
    EXPECT_EQ(dict.GetBackstore()[0], VK_LONG);
    EXPECT_EQ(dict.GetNthBackstoreOffset(1), 3u);
    EXPECT_EQ(copy.GetBackstore(), dict.GetBackstore());
    ASSERT_TRUE(copy.GetValue("z", read));
    EXPECT_EQ(read.Get(), 9);
}

TEST(VPackedDictionaryTest, SameSizeValueOfAnotherKindOverwritesTheEntryInPlace)
{
    Dict dict;
    dict.Append("v", VLong8(5));
    ASSERT_TRUE(dict.SetExistingValue("v", VDuration(1234)));
    EXPECT_FALSE(dict.IsPackPending());
    EXPECT_EQ(dict.GetBackstore().size(), 5u);
    EXPECT_EQ(dict.GetBackstore()[0], VK_DURATION);
    VDuration read;
    ASSERT_TRUE(dict.GetValue("v", read));
    EXPECT_EQ(read.ConvertToMilliseconds(), 1234);
    EXPECT_EQ(dict.GetNthKind(0), VK_DURATION);
}

TEST(VPackedDictionaryTest, ReadingIntoAnotherKindCachesTheStoredKindsObject)
{
    Dict dict;
    dict.Append("b", VBoolean(true));
    VString text;
    ASSERT_TRUE(dict.GetValue("b", text));
    EXPECT_TRUE(TextIs(text, "true"));
    const VValueSingle* cached = dict.GetNthValue(0);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->GetTrueValueKind(), VK_BOOLEAN);
    ASSERT_TRUE(dict.GetValue("b", text));
    EXPECT_EQ(dict.GetNthValue(0), cached);
    EXPECT_FALSE(dict.GetValue("absent", text));
}

TEST(VPackedDictionaryTest, ClearKeepsTheOtherNamesAndOffsetsConsistent)
{
    Dict dict;
    dict.Append("first", VString("one"));
    dict.Append("second", VLong(2));
    dict.Append("third", VBoolean(true));
    dict.Clear("first");
    dict.Clear("absent");
    ASSERT_EQ(dict.GetCount(), 2u);
    EXPECT_EQ(dict.GetNthBackstoreOffset(0), 0u);
    EXPECT_EQ(dict.GetNthBackstoreOffset(1), 3u);
    EXPECT_EQ(dict.GetBackstore().size(), 5u);
    EXPECT_EQ(dict.GetKeyBufferSize(), std::string("\x06second\x05third").size());
    VLong read;
    ASSERT_TRUE(dict.GetValue("second", read));
    EXPECT_EQ(read.Get(), 2);
    VBoolean flag;
    ASSERT_TRUE(dict.GetValue("third", flag));
    EXPECT_TRUE(flag.Get());
}

TEST(VPackedDictionaryTest, EmptyNameIsAValidKeyAndOverlongNamesAreRefused)
{
    Dict dict;
    ASSERT_TRUE(dict.Append("", VLong(1)));
    VLong read;
    ASSERT_TRUE(dict.GetValue(StPackedDictionaryKey(), read));
    EXPECT_EQ(read.Get(), 1);

    std::string tooLong(300, 'q');
    StErrorContextInstaller context;
    EXPECT_FALSE(dict.Append(StPackedDictionaryKey(VString(tooLong.c_str())), VLong(2)));
    EXPECT_EQ(context.GetLastError(), VE_INVALID_PARAMETER);
    EXPECT_EQ(dict.GetCount(), 1u);
    EXPECT_EQ(dict.GetKeyBufferSize(), 1u);
    EXPECT_EQ(dict.GetBackstore().size(), 3u);
    // The empty name kept its value.
    ASSERT_TRUE(dict.GetValue("", read));
    EXPECT_EQ(read.Get(), 1);
    EXPECT_FALSE(dict.GetValue(StPackedDictionaryKey(VString(tooLong.c_str())), read));
}

TEST(VPackedDictionaryTest, ElementDictionaryRetainsListsAndCopiesDeeply)
{
    VPackedDictionary_elements elements;
    auto* array = new VBagArray;
    auto* bag = new VValueBag;
    bag->SetLong("a", 1);
    array->AddTail(bag);
    ASSERT_TRUE(elements.SetValue("list", array));
    EXPECT_EQ(array->GetRefCount(), 2u);
    // Storing the same list again changes nothing.
    ASSERT_TRUE(elements.SetValue("list", array));
    EXPECT_EQ(array->GetRefCount(), 2u);

    VPackedDictionary_elements copy(elements);
    VBagArray* copied = copy.GetValue("list");
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, array);
    ASSERT_EQ(copied->GetCount(), 1);
    EXPECT_NE(copied->GetNth(1), bag);
    int32_t value = 0;
    EXPECT_TRUE(copied->GetNth(1)->GetLong("a", value));
    EXPECT_EQ(value, 1);

    elements.Clear("list");
    EXPECT_EQ(array->GetRefCount(), 1u);
    EXPECT_EQ(elements.GetCount(), 0u);
    array->Release();
    bag->Release();
}

} // namespace
} // namespace kova
