#include "kernel/files/VFilePath.h"

#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace kova
{
namespace
{

struct PathCase
{
    const char16_t* fGiven;
    bool fValid;
    const char16_t* fPath;
    bool fFolder;
    bool fFile;
};

TEST(VFilePath, FullColonPaths)
{
    const PathCase cases[] = {
        {u"Volume:", true, u"Volume:", true, false},
        {u"Volume:Users:me:notes.txt", true, u"Volume:Users:me:notes.txt", false, true},
        {u"a:b::c:", true, u"a:c:", true, false},
        {u"a:b:::c", true, u"c", false, true},
        {u"a:b:c::", true, u"a:b:", true, false},
        // Parent steps that cancel the path leave it empty, valid, neither folder nor file.
        {u"a::", true, u"", false, false},
        {u"a:::", false, u"a:::", false, false},
        {u":Volume:", false, u":Volume:", false, false},
        {u"", false, u"", false, false},
    };
    for (const PathCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.fGiven, c.fGiven + std::u16string(c.fGiven).size()));
        VFilePath path(VString(c.fGiven), FPS_SYSTEM);
        EXPECT_EQ(path.IsValid(), c.fValid);
        EXPECT_EQ(Text(path.GetPath()), c.fPath);
        EXPECT_EQ(path.IsFolder(), c.fFolder);
        EXPECT_EQ(path.IsFile(), c.fFile);
    }
    const UniChar withNul[] = {u'a', u':', 0, u'b'};
    VString nul;
    nul.FromUniString(withNul, 4);
    EXPECT_FALSE(VFilePath(nul, FPS_SYSTEM).IsValid());
    EXPECT_FALSE(VFilePath(VString("/tmp/"), FPS_POSIX).IsValid());
}

TEST(VFilePath, FoldersAndTheirChildren)
{
    VFilePath file(VString("v:a:b.txt"), FPS_SYSTEM);
    VFilePath folder(file);
    folder.ToFolder();
    EXPECT_EQ(Text(folder.GetPath()), u"v:a:");
    EXPECT_EQ(Text(folder.ToFolder().GetPath()), u"v:a:");
    file.ToSubFile(VString("x")); // not a folder: unchanged
    EXPECT_EQ(Text(file.GetPath()), u"v:a:b.txt");
    EXPECT_EQ(Text(VFilePath(folder).ToSubFolder(VString("sub")).ToSubFile(VString("f")).GetPath()),
              u"v:a:sub:f");
    VFilePath single(VString("name"), FPS_SYSTEM);
    ASSERT_TRUE(single.IsFile());
    single.ToFolder();
    EXPECT_FALSE(single.IsValid());
    EXPECT_TRUE(single.GetPath().IsEmpty());
    VFilePath invalid;
    invalid.ToSubFolder(VString("x"));
    EXPECT_TRUE(invalid.GetPath().IsEmpty());

    VString posix;
    VFilePath(VString("tmp:a/b:c"), FPS_SYSTEM).GetPosixPath(posix);
    EXPECT_EQ(Text(posix), u"/tmp/a:b/c");
    VFilePath(VString("tmp:"), FPS_SYSTEM).GetPosixPath(posix);
    EXPECT_EQ(Text(posix), u"/tmp/");
    invalid.GetPosixPath(posix);
    EXPECT_TRUE(posix.IsEmpty());
}

TEST(VFilePath, ExistenceOnDisk)
{
    char pattern[] = "/tmp/kova-path-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::path root(pattern);
    std::ofstream(root / "file.txt") << "x";
    std::u16string colon;
    for (char c : root.string().substr(1))
        colon.push_back(c == '/' ? u':' : char16_t(c));
    colon += u':';

    VRefPtr<VFolder> folder(new VFolder(VFilePath(VString(colon.c_str()), FPS_SYSTEM)));
    EXPECT_TRUE(folder->Exists());
    EXPECT_TRUE(VRefPtr<VFile>(new VFile(*folder, VString("file.txt"), FPS_SYSTEM))->Exists());
    EXPECT_FALSE(VRefPtr<VFile>(new VFile(*folder, VString("missing"), FPS_SYSTEM))->Exists());
    // A folder is no file, a file no folder.
    std::filesystem::create_directory(root / "sub");
    EXPECT_FALSE(VRefPtr<VFile>(new VFile(*folder, VString("sub"), FPS_SYSTEM))->Exists());
    VFilePath filePath(VString((colon + u"file.txt:").c_str()), FPS_SYSTEM);
    EXPECT_FALSE(VRefPtr<VFolder>(new VFolder(filePath))->Exists());
    EXPECT_FALSE(VRefPtr<VFolder>(new VFolder(VFilePath()))->Exists());
    std::filesystem::remove_all(root);
}

} // namespace
} // namespace kova
