#include "kernel/files/VResourceFile.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VArrayString.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kova
{
namespace
{

// A resource file held in memory: string lists by identifier, names of lists, and a count of the
// writes of its changes.
class MemoryResourceFile : public VResourceFile
{
public:
    explicit MemoryResourceFile(int* outFlushes) : fFlushes(outFlushes) {}

    bool GetResourceID(OsType inType, const VString& inName, int32_t& outID) const override
    {
        if (inType != kStringListType || !inName.EqualToStringRaw(VString("greetings")))
            return false;
        outID = 128;
        return true;
    }
    bool GetIndString(int32_t inID, int32_t inIndex, VString& outString) const override
    {
        const auto list = fLists.find(inID);
        if (list == fLists.end() || inIndex < 1 || size_t(inIndex) > list->second.size())
            return false;
        outString = VString(list->second[size_t(inIndex) - 1].c_str());
        return true;
    }
    bool IsModified() const override { return fModified; }
    VError Flush() override
    {
        ++*fFlushes;
        fModified = false;
        return VE_OK;
    }

    std::map<int32_t, std::vector<std::string>> fLists;
    bool fModified = false;
    int* fFlushes;
};

std::vector<std::u16string> Strings(const VArrayString& inList)
{
    std::vector<std::u16string> strings;
    VString text;
    for (int32_t i = 1; i <= inList.GetCount(); ++i)
    {
        inList.GetString(text, i);
        strings.push_back(Text(text));
    }
    return strings;
}

TEST(VResourceFile, StringListsAreReadUpToTheFirstMissingIndex)
{
    int flushes = 0;
    MemoryResourceFile* file = new MemoryResourceFile(&flushes);
    file->fLists[128] = {"hello", "bonjour"};
    file->fLists[129] = {};
    VArrayString list;
    list.AppendString(VString("stale"));
    EXPECT_TRUE(file->GetStringList(128, list));
    EXPECT_EQ(Strings(list), (std::vector<std::u16string>{u"hello", u"bonjour"}));
    EXPECT_TRUE(file->GetStringList(129, list));
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_TRUE(file->GetStringList(VString("greetings"), list));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_FALSE(file->GetStringList(VString("farewells"), list));
    file->Release();
    EXPECT_EQ(flushes, 0);
}

TEST(VResourceFile, TheLastReleaseWritesUnsavedChanges)
{
    int flushes = 0;
    MemoryResourceFile* file = new MemoryResourceFile(&flushes);
    file->fModified = true;
    file->Retain();
    file->Release();
    EXPECT_EQ(flushes, 0);
    file->Release();
    EXPECT_EQ(flushes, 1);
    EXPECT_TRUE(VResourceFile::Init());
    VResourceFile::DeInit();
}

} // namespace
} // namespace kova
