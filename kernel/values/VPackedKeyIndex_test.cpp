#include "kernel/values/VPackedKeyIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kova
{
namespace
{

struct HashCase
{
    const char* fLabel;
    uint32_t (*fHashOf)(int inName);
};

// Slots numbered as a dictionary numbers them: fNames[slot] is the name in that slot.
class IndexModel
{
public:
    explicit IndexModel(uint32_t (*inHashOf)(int)) : fHashOf(inHashOf) {}

    void Add(int inName)
    {
        ASSERT_TRUE(fIndex.Insert(fHashOf(inName), uint32_t(fNames.size())));
        fNames.push_back(inName);
    }

    void Remove(int inName)
    {
        auto at = std::find(fNames.begin(), fNames.end(), inName);
        ASSERT_NE(at, fNames.end());
        fIndex.Remove(fHashOf(inName), uint32_t(at - fNames.begin()));
        fNames.erase(at);
    }

    uint32_t Find(int inName) const
    {
        return fIndex.Find(fHashOf(inName), [&](uint32_t inSlot) { return fNames[inSlot] == inName; });
    }

    // Every name at its slot, and the removed ones nowhere.
    void Check(const std::vector<int>& inRemoved, const std::string& inWhen) const
    {
        for (size_t slot = 0; slot < fNames.size(); ++slot)
            EXPECT_EQ(Find(fNames[slot]), slot) << inWhen << ", name " << fNames[slot];
        for (int name : inRemoved)
            EXPECT_EQ(Find(name), _VPackedKeyIndex::kNoSlot) << inWhen << ", removed " << name;
    }

private:
    uint32_t (*fHashOf)(int);
    _VPackedKeyIndex fIndex;
    std::vector<int> fNames;
};

// Removing a slot moves later cells of its run back, never past their home, and renumbers the
// slots after it; runs that meet, wrap round the table's end or hold one hash only stay whole.
TEST(VPackedKeyIndexTest, RemovalKeepsEveryOtherSlotFoundUnderItsNewNumber)
{
    const HashCase cases[] = {
        {"one hash", [](int) { return 7u; }},
        {"runs round the end", [](int inName) { return uint32_t(126 + inName % 3); }},
        {"spread", [](int inName) { return uint32_t(inName) * 2654435761u; }},
    };
    for (const HashCase& c : cases)
    {
        IndexModel model(c.fHashOf);
        for (int name = 0; name < 40; ++name)
            model.Add(name);
        model.Check({}, c.fLabel);
        std::vector<int> removed;
        for (int name : {0, 39, 20, 21, 5, 6, 7, 33, 1})
        {
            model.Remove(name);
            removed.push_back(name);
            model.Check(removed, std::string(c.fLabel) + " after removing " + std::to_string(name));
        }
        // A name removed comes back as the last slot.
        model.Add(20);
        removed.erase(std::find(removed.begin(), removed.end(), 20));
        model.Check(removed, std::string(c.fLabel) + " after adding 20 again");
        EXPECT_EQ(model.Find(20), 31u) << c.fLabel;
    }
}

TEST(VPackedKeyIndexTest, HashReadsEveryByte)
{
    const std::string a = "pppppppp000001ssssssss";
    const std::string b = "pppppppp000002ssssssss";
    EXPECT_NE(_VPackedKeyIndex::HashOf(a.data(), a.size()), _VPackedKeyIndex::HashOf(b.data(), b.size()));
    EXPECT_EQ(_VPackedKeyIndex::HashOf(a.data(), a.size()), _VPackedKeyIndex::HashOf(a.data(), a.size()));
    EXPECT_NE(_VPackedKeyIndex::HashOf("ab", 1), _VPackedKeyIndex::HashOf("ab", 2));
}

} // namespace
} // namespace kova
