#include "kernel/values/VPackedDictionary.h"
#include "kernel/values/VPackedDictionary_with_backstore.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VPackedKeyIndex.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

// As a bag sets an attribute: the existing name's value, else a new name.
void Set(Dict& ioDict, const StPackedDictionaryKey& inKey, int32_t inValue)
{
    if (!ioDict.SetExistingValue(inKey, VLong(inValue)))
    {
        ASSERT_TRUE(ioDict.Append(inKey, VLong(inValue)));
    }
}

// Names of 22 bytes that differ only in the bytes the stored hash skips: all share one hash.
std::string SameHashName(int i)
{
    char name[32];
    std::snprintf(name, sizeof(name), "pppppppp%06dssssssss", i);
    return name;
}

std::string ShortName(int i)
{
    return std::string(1, 'a').append(std::to_string(i));
}

uint64_t ProbesOf(const std::function<void()>& inWork)
{
    uint64_t before = GetPackedDictionaryProbeCount();
    inWork();
    return GetPackedDictionaryProbeCount() - before;
}

// The stored vector as the stream form defines it: the names put in slot order, each in the
// first empty cell from its home cell on.
std::vector<uint32_t> StoredCells(const Dict& inDict, size_t inSize)
{
    std::vector<uint32_t> cells(inSize, _VHashKeyMap::kEmptyCell);
    for (size_t i = 0; i < inDict.GetCount(); ++i)
    {
        StPackedDictionaryKey key = inDict.GetNthKey(i);
        size_t cell = key.GetHash() % inSize;
        while (cells[cell] != _VHashKeyMap::kEmptyCell)
            cell = (cell + 1) % inSize;
        cells[cell] = uint32_t(i);
    }
    return cells;
}

std::vector<uint32_t> CellsOf(const _VHashKeyMap& inMap)
{
    std::vector<uint32_t> cells;
    for (size_t i = 0; i < inMap.GetSize(); ++i)
        cells.push_back(inMap.GetCell(i));
    return cells;
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

TEST(VPackedDictionaryTest, NamesSharingAHomeCellAreFoundAndOthersAbsent)
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

// Setting, finding, missing, removing, writing and reading back many names costs a bounded number
// of probes per name, whether the names spread over the stored hash or all share one value of it.
TEST(VPackedDictionaryTest, WorkPerNameStaysBoundedHoweverManyNamesAndHowTheyHash)
{
    const int kCount = 20000;
    const uint64_t kBound = 16 * uint64_t(kCount);
    ASSERT_EQ(StPackedDictionaryKey(SameHashName(1).c_str()).GetHash(),
              StPackedDictionaryKey(SameHashName(kCount).c_str()).GetHash());
    for (auto nameOf : {ShortName, SameHashName})
    {
        std::vector<std::string> names;
        for (int i = 0; i < 2 * kCount; ++i)
            names.push_back(nameOf(i));
        auto key = [&](int i)
        { return StPackedDictionaryKey::Borrowed(names[size_t(i)].data(), names[size_t(i)].size()); };
        Dict dict;
        Dict read;
        VPtrStream stream;
        stream.OpenWriting();
        const struct
        {
            const char* fLabel;
            std::function<void()> fWork;
        } phases[] = {
            {"setting new names",
             [&]
             {
                 for (int i = 0; i < kCount; ++i)
                     Set(dict, key(i), i);
             }},
            {"finding them",
             [&]
             {
                 for (int i = 0; i < kCount; ++i)
                     ASSERT_EQ(dict._Find(key(i)), size_t(i));
             }},
            {"missing others",
             [&]
             {
                 for (int i = kCount; i < 2 * kCount; ++i)
                     ASSERT_EQ(dict._Find(key(i)), Dict::kNotFound);
             }},
            // Each look-up after a removal must not pay for the removal again.
            {"removing names",
             [&]
             {
                 for (int i = 0; i < 100; ++i)
                 {
                     dict.Clear(key(i * 7));
                     ASSERT_EQ(dict._Find(key(kCount - 1)), size_t(kCount - 2 - i));
                 }
             }},
            {"writing", [&] { ASSERT_EQ(dict.WriteToStream(&stream, true), VE_OK); }},
            {"reading and finding",
             [&]
             {
                 VStream::UnderlyingData data = stream.GetUnderlyingData();
                 VConstPtrStream input(data.fData, data.fSize);
                 input.OpenReading();
                 ASSERT_EQ(read.ReadFromStream(&input), VE_OK);
                 input.CloseReading();
                 for (int i = 0; i < kCount; ++i)
                     ASSERT_EQ(read._Find(key(i)) == Dict::kNotFound, i % 7 == 0 && i < 700) << i;
             }},
        };
        for (const auto& phase : phases)
        {
            const uint64_t probes = ProbesOf(phase.fWork);
            EXPECT_LE(probes, kBound) << names[0] << ": " << phase.fLabel;
        }
        stream.CloseWriting();
    }
}

// Removing names empties the stored vector; the next look-up makes it again for the names left,
// and later names are put into it. The order stays the order of insertion.
TEST(VPackedDictionaryTest, RemovalThenInsertionKeepsOrderAndTheStoredVector)
{
    std::vector<std::string> order;
    for (int i = 0; i < 15; ++i)
    {
        order.push_back(ShortName(i));
        order.push_back(SameHashName(i));
    }
    Dict dict;
    for (size_t i = 0; i < order.size(); ++i)
        Set(dict, StPackedDictionaryKey(order[i].c_str()), int32_t(i));
    const std::vector<std::string> removed = {order[0],  order[1], order[13], order[14], order[28],
                                              order[29], order[5], order[6],  order[20], order[21]};
    std::vector<std::string> expected;
    for (const std::string& name : order)
    {
        if (std::find(removed.begin(), removed.end(), name) == removed.end())
            expected.push_back(name);
    }
    for (const std::string& name : removed)
        dict.Clear(StPackedDictionaryKey(name.c_str()));
    ASSERT_EQ(dict.GetCount(), 20u);
    EXPECT_TRUE(dict.GetHashMap().IsEmpty());
    // Two names removed come back, at the end, with three new ones.
    for (const std::string& name :
         {removed[3], ShortName(100), SameHashName(100), removed[0], ShortName(101)})
    {
        Set(dict, StPackedDictionaryKey(name.c_str()), int32_t(1000 + expected.size()));
        expected.push_back(name);
    }
    ASSERT_EQ(dict.GetCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        VString name;
        dict.GetNthKeyString(i, name);
        EXPECT_TRUE(TextIs(name, expected[i].c_str())) << i;
        EXPECT_EQ(dict._Find(StPackedDictionaryKey(expected[i].c_str())), i) << expected[i];
    }
    for (const std::string& name : {removed[1], removed[9]})
        EXPECT_EQ(dict._Find(StPackedDictionaryKey(name.c_str())), Dict::kNotFound) << name;
    VLong value;
    ASSERT_TRUE(dict.GetValue(StPackedDictionaryKey(SameHashName(100).c_str()), value));
    EXPECT_EQ(value.Get(), 1022);
    // Made at the first look-up after the removals, for 20 names.
    EXPECT_EQ(dict.GetHashMap().GetSize(), 41u);
    EXPECT_EQ(CellsOf(dict.GetHashMap()), StoredCells(dict, 41));
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

// ----- Bags written before the names had an index of their own
// The index changed how names are found, not what is stored. The fixtures were written by the
// code from before it: ManyNames.bag by the scenario below, ManyNamesAdded.bag by reading that
// bag and adding the names below. Today's code must make, read and write the same bytes.

std::string MixedName(int inIndex)
{
    return inIndex % 2 == 0 ? ShortName(inIndex) : SameHashName(inIndex);
}

VValueBag::StKey KeyOf(const std::string& inName)
{
    return VValueBag::StKey(VString(inName.c_str()));
}

VValueBag* NewChild(int inIndex, int inNames)
{
    VValueBag* child = new VValueBag();
    child->SetLong(KeyOf("index"), inIndex);
    for (int i = 0; i < inNames; ++i)
        child->SetLong(KeyOf(MixedName(i)), i);
    return child;
}

// Many names, half of them sharing one home cell; values rewritten in place and grown; names
// removed, then others added and two of the removed ones again; element lists removed and added;
// a child with enough names for a vector of its own.
void BuildManyNamesBag(VValueBag& ioBag)
{
    for (int i = 0; i < 30; ++i)
    {
        if (i % 5 == 0)
            ioBag.SetBool(KeyOf(MixedName(i)), i % 3 == 0);
        else if (i % 3 == 0)
            ioBag.SetString(KeyOf(MixedName(i)), VString(("v" + std::to_string(i)).c_str()));
        else
            ioBag.SetLong(KeyOf(MixedName(i)), i);
    }
    ioBag.SetLong(KeyOf(MixedName(7)), -7);
    ioBag.SetString(KeyOf(MixedName(8)), VString("grown"));
    for (int i : {0, 1, 13, 14, 21, 28})
        ioBag.RemoveAttribute(KeyOf(MixedName(i)));
    for (int i : {100, 101, 102, 103, 1, 14})
        ioBag.SetLong(KeyOf(MixedName(i)), 1000 + i);
    for (int e = 0; e < 8; ++e)
    {
        VValueBag* child = NewChild(e, e == 3 ? 9 : 1);
        ioBag.AddElement(KeyOf("e" + std::to_string(e)), child);
        child->Release();
    }
    VValueBag* second = NewChild(10, 0);
    ioBag.AddElement(KeyOf("e1"), second);
    second->Release();
    ioBag.RemoveElements(KeyOf("e2"));
    ioBag.RemoveElements(KeyOf("e5"));
    for (const char* name : {"e9", "e2"})
    {
        VValueBag* child = NewChild(20, 2);
        ioBag.AddElement(KeyOf(name), child);
        child->Release();
    }
}

// Names added to a bag read from a stream: they go into the vectors as read, until those fill.
void AddNamesAfterReading(VValueBag& ioBag)
{
    for (int i = 200; i < 220; ++i)
        ioBag.SetLong(KeyOf(MixedName(i)), i);
    for (int e = 30; e < 34; ++e)
    {
        VValueBag* child = NewChild(e, 0);
        ioBag.AddElement(KeyOf("e" + std::to_string(e)), child);
        child->Release();
    }
}

std::vector<uint8_t> Fixture(const char* inName)
{
    const std::string path = (std::filesystem::path(__FILE__).parent_path() / "fixtures" / inName).string();
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> BytesOf(const VValueBag& inBag)
{
    VPtrStream stream;
    stream.OpenWriting();
    EXPECT_EQ(inBag.WriteToStream(&stream, 0), VE_OK);
    const VStream::UnderlyingData data = stream.GetUnderlyingData();
    const auto* bytes = static_cast<const uint8_t*>(data.fData);
    std::vector<uint8_t> written(bytes, bytes + data.fSize);
    stream.CloseWriting();
    return written;
}

VError ReadBag(const std::vector<uint8_t>& inBytes, VValueBag& outBag)
{
    VConstPtrStream input(inBytes.data(), inBytes.size());
    input.OpenReading();
    const VError error = outBag.ReadFromStream(&input, 0);
    input.CloseReading();
    return error;
}

TEST(VPackedDictionaryTest, StoredFormIsTheOneWrittenBeforeTheNameIndex)
{
    const std::vector<uint8_t> built = Fixture("ManyNames.bag");
    const std::vector<uint8_t> added = Fixture("ManyNamesAdded.bag");
    ASSERT_EQ(built.size(), 1486u);
    ASSERT_EQ(added.size(), 2174u);

    VValueBag bag;
    BuildManyNamesBag(bag);
    EXPECT_TRUE(BytesOf(bag) == built) << "the scenario's bag";

    VValueBag read;
    ASSERT_EQ(ReadBag(built, read), VE_OK);
    EXPECT_TRUE(BytesOf(read) == built) << "read and written back";
    int32_t value = 0;
    EXPECT_TRUE(read.GetLong(KeyOf(MixedName(7)), value));
    EXPECT_EQ(value, -7);
    EXPECT_TRUE(read.GetLong(KeyOf(MixedName(14)), value));
    EXPECT_EQ(value, 1014);
    EXPECT_FALSE(read.AttributeExists(KeyOf(MixedName(13))));
    VString grown;
    EXPECT_TRUE(read.GetString(KeyOf(MixedName(8)), grown));
    EXPECT_TRUE(TextIs(grown, "grown"));
    EXPECT_EQ(read.GetAttributesCount(), 30);
    EXPECT_EQ(read.GetElementNamesCount(), 8);

    AddNamesAfterReading(read);
    EXPECT_TRUE(BytesOf(read) == added) << "names added to the vectors as read";
}

} // namespace
} // namespace kova
