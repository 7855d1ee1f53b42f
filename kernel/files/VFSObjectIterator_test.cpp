#include "kernel/files/VFSObjectIterator.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/FileText.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/values/VTime.h"

#include <gtest/gtest.h>

#include <set>

namespace kova
{
namespace
{

class VFSObjectIteratorTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fFolder.IsValid());
        // a, .b, c/, d -> a file outside, e -> nowhere, f -> c
        ASSERT_EQ(mkdir(fFolder.Posix("root").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(fFolder.Posix("root/c").c_str(), 0755), 0);
        WriteFileBytes(fFolder.Posix("root/a"), "a");
        WriteFileBytes(fFolder.Posix("root/.b"), "b");
        WriteFileBytes(fFolder.Posix("outside"), "o");
        ASSERT_EQ(symlink(fFolder.Posix("outside").c_str(), fFolder.Posix("root/d").c_str()), 0);
        ASSERT_EQ(symlink("nowhere", fFolder.Posix("root/e").c_str()), 0);
        ASSERT_EQ(symlink("c", fFolder.Posix("root/f").c_str()), 0);
        ASSERT_EQ(mkfifo(fFolder.Posix("root/pipe").c_str(), 0600), 0);
        // Opening what this leads to would block for ever.
        ASSERT_EQ(symlink("pipe", fFolder.Posix("root/g").c_str()), 0);
    }

    VRefPtr<VFolder> Folder(const std::string& inName, VFileSystem* inFileSystem = nullptr) const
    {
        return VRefPtr<VFolder>(new VFolder(fFolder.Path(inName), inFileSystem));
    }

    // The POSIX paths an iterator gives, relative to the test's folder, sorted.
    template <class ITERATOR>
    std::vector<std::string> Listed(const VFolder* inFolder, uint32_t inOptions) const
    {
        std::vector<std::string> names;
        for (ITERATOR item(inFolder, inOptions); item.IsValid(); ++item)
        {
            VString posix;
            item->GetPlatformPath(posix, FPS_POSIX);
            std::string path;
            TextToUTF8(posix, path);
            names.push_back(path.substr(fFolder.Posix().size() + 1));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    StTemporaryFolder fFolder;
};

TEST_F(VFSObjectIteratorTest, OptionsChooseTheItems)
{
    VRefPtr<VFolder> root = Folder("root/");
    using Names = std::vector<std::string>;
    EXPECT_EQ(Listed<VFileIterator>(root.Get(), FI_WANT_FILES),
              (Names{"root/a", "root/d", "root/e", "root/f", "root/g"}));
    EXPECT_EQ(Listed<VFileIterator>(root.Get(), FI_WANT_FILES | FI_WANT_INVISIBLES),
              (Names{"root/.b", "root/a", "root/d", "root/e", "root/f", "root/g"}));
    // Resolved: the dangling link and the one to the pipe go, the others give what they lead to.
    EXPECT_EQ(Listed<VFileIterator>(root.Get(), FI_WANT_FILES | FI_RESOLVE_ALIASES),
              (Names{"outside", "root/a"}));
    EXPECT_EQ(Listed<VFolderIterator>(root.Get(), FI_WANT_FOLDERS | FI_RESOLVE_ALIASES),
              (Names{"root/c/", "root/c/"}));
    // A file iterator never gives folders, a folder iterator never files; the pipe is neither.
    EXPECT_EQ(Listed<VFileIterator>(root.Get(), 0xFF), (Names{"outside", "root/.b", "root/a"}));
    EXPECT_EQ(Listed<VFolderIterator>(root.Get(), 0xFF & ~FI_RESOLVE_ALIASES), Names{"root/c/"});

    VFileIterator first(root.Get(), FI_WANT_FILES);
    ASSERT_TRUE(first.IsValid());
    EXPECT_EQ(first.GetPos(), 1);
    ++first;
    EXPECT_EQ(first.GetPos(), 2);
    // Nothing in a folder that is not there, or in none.
    EXPECT_FALSE(VFileIterator(Folder("missing/").Get(), FI_WANT_FILES).IsValid());
    EXPECT_FALSE(VFolderIterator(nullptr, FI_WANT_FOLDERS).IsValid());
}

TEST_F(VFSObjectIteratorTest, AFileSystemKeepsItsItemsInsideItsRealRoot)
{
    // The root is named through a link: its items are found by their real paths all the same.
    ASSERT_EQ(symlink(fFolder.Posix("root").c_str(), fFolder.Posix("alias").c_str()), 0);
    VRefPtr<VFolder> rootFolder = Folder("alias/");
    VRefPtr<VFileSystem> fileSystem(new VFileSystem(VString("area"), rootFolder.Get(), 0, 0, 0));
    VRefPtr<VFolder> root = Folder("alias/", fileSystem.Get());
    using Names = std::vector<std::string>;
    EXPECT_EQ(Listed<VFileIterator>(root.Get(), FI_WANT_FILES),
              (Names{"root/a", "root/d", "root/e", "root/f", "root/g"}));
    // What a link leads out of the root to is left out.
    EXPECT_EQ(Listed<VFileIterator>(root.Get(), FI_WANT_FILES | FI_RESOLVE_ALIASES), Names{"root/a"});
    VFileIterator file(root.Get(), FI_WANT_FILES);
    ASSERT_TRUE(file.IsValid());
    EXPECT_EQ(file->GetFileSystem(), fileSystem.Get());
    EXPECT_TRUE(fileSystem->IsAuthorized(file->GetPath()));
}

TEST_F(VFSObjectIteratorTest, LongPathsAreNeverCut)
{
    std::string relative = "root/c";
    for (int level = 0; level < 6; ++level)
    {
        relative += "/" + std::string(200, char('k' + level));
        ASSERT_EQ(mkdir(fFolder.Posix(relative).c_str(), 0755), 0);
    }
    WriteFileBytes(fFolder.Posix(relative + "/leaf"), "x");
    VRefPtr<VFolder> deep = Folder(relative + "/");
    const std::vector<std::string> files = Listed<VFileIterator>(deep.Get(), FI_WANT_FILES);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], relative + "/leaf");
    VFileIterator file(deep.Get(), FI_WANT_FILES);
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(file->Exists());
}

TEST_F(VFSObjectIteratorTest, IterateWalksFilesThenFoldersDepthFirstAndEntersEachFolderOnce)
{
    ASSERT_EQ(mkdir(fFolder.Posix("root/c/g").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("root/c/g/h"), "h");
    // A way back up: resolved, it would walk for ever.
    ASSERT_EQ(symlink("../..", fFolder.Posix("root/c/g/up").c_str()), 0);
    VRefPtr<VFolder> root = Folder("root/");
    std::vector<std::string> seen;
    auto record = [&seen, this](IFileAttributeAccessor* inItem)
    {
        const IFileSystemObject* item = inItem->GetFile() != nullptr
                                            ? static_cast<const IFileSystemObject*>(inItem->GetFile())
                                            : inItem->GetFolder();
        VString posix;
        item->GetPlatformPath(posix, FPS_POSIX);
        std::string path;
        TextToUTF8(posix, path);
        seen.push_back(path.substr(fFolder.Posix().size() + 1));
        return true;
    };
    EXPECT_EQ(root->Iterate(record, FI_ITERATE_RECURSIVELY | FI_WANT_FOLDERS | FI_WANT_FILES), VE_OK);
    // The directory's order within a level.
    ASSERT_EQ(seen.size(), 9u);
    std::sort(seen.begin(), seen.begin() + 5);
    std::sort(seen.begin() + 7, seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"root/a", "root/d", "root/e", "root/f", "root/g", "root/c/",
                                              "root/c/g/", "root/c/g/h", "root/c/g/up"}));

    seen.clear();
    EXPECT_EQ(root->Iterate(record, FI_ITERATE_RECURSIVELY | FI_WANT_FOLDERS | FI_RESOLVE_ALIASES), VE_OK);
    std::set<std::string> unique(seen.begin(), seen.end());
    // Each folder is walked once; the link that leads up is given, never walked again.
    EXPECT_EQ(unique, (std::set<std::string>{"root/", "root/c/", "root/c/g/"}));

    // False from the function ends the walk.
    int calls = 0;
    EXPECT_EQ(root->Iterate([&calls](IFileAttributeAccessor*) { return ++calls < 2; },
                            FI_ITERATE_RECURSIVELY | FI_WANT_FILES | FI_WANT_FOLDERS),
              VE_OK);
    EXPECT_EQ(calls, 2);
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(root->Iterate(std::function<bool(IFileAttributeAccessor*)>(), FI_WANT_FILES),
              VE_INVALID_PARAMETER);
}

TEST_F(VFSObjectIteratorTest, TheAccessorGivesTheItemsTimes)
{
    const struct timespec times[2] = {{1500000000, 0}, {1234567890, 250000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, fFolder.Posix("root/a").c_str(), times, 0), 0);
    VRefPtr<VFolder> root = Folder("root/");
    VTime modified;
    VTime accessed;
    EXPECT_EQ(root->Iterate(
                  [&](IFileAttributeAccessor* inItem)
                  {
                      VString name;
                      inItem->GetFile()->GetName(name);
                      if (name.EqualToUSASCIICString("a"))
                      {
                          EXPECT_EQ(inItem->GetTime(&modified, nullptr, &accessed), VE_OK);
                      }
                      return true;
                  },
                  FI_WANT_FILES),
              VE_OK);
    VTime expected;
    expected.FromUTCTime(2009, 2, 13, 23, 31, 30, 250);
    EXPECT_TRUE(modified.EqualToSameKind(&expected, false)) << modified.GetMilliseconds();
    expected.FromUTCTime(2017, 7, 14, 2, 40, 0, 0);
    EXPECT_TRUE(accessed.EqualToSameKind(&expected, false));
}

} // namespace
} // namespace kova
