#include "kernel/files/FolderContainment.h"

#include "kernel/files/FileTesting_test.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace kova
{
namespace
{

TEST(FolderContainment, DecidedOnTheRealPath)
{
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    // box/ holds a.txt, sub/b.txt, in -> sub/b.txt, out -> ../secret.txt, up -> ..; alias -> box
    ASSERT_EQ(mkdir(temp.Posix("box").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(temp.Posix("box/sub").c_str(), 0755), 0);
    WriteFileBytes(temp.Posix("box/a.txt"), "a");
    WriteFileBytes(temp.Posix("box/sub/b.txt"), "b");
    WriteFileBytes(temp.Posix("secret.txt"), "s");
    ASSERT_EQ(symlink("sub/b.txt", temp.Posix("box/in").c_str()), 0);
    ASSERT_EQ(symlink("../secret.txt", temp.Posix("box/out").c_str()), 0);
    ASSERT_EQ(symlink("..", temp.Posix("box/up").c_str()), 0);
    ASSERT_EQ(symlink("box", temp.Posix("alias").c_str()), 0);
    struct Case
    {
        const char* fPath;
        const char* fFolder;
        bool fInside;
    };
    const Case cases[] = {
        {"box/a.txt", "box/", true},
        {"box/sub/b.txt", "box/", true},
        {"box/in", "box/", true},
        {"box/missing.txt", "box/", true},
        {"box/sub/", "box/", true},
        {"alias/a.txt", "box/", true},
        {"box/a.txt", "alias/", true},
        {"box/out", "box/", false},
        {"box/up/secret.txt", "box/", false},
        {"box/up/box/a.txt", "box/", true},
        {"box/sub/../../secret.txt", "box/", false},
        {"secret.txt", "box/", false},
        {"box/", "box/", false},
        {"box/in", "box/sub/", true},
        {"box/a.txt", "box/sub/", false},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(std::string(test.fPath) + " in " + test.fFolder);
        EXPECT_EQ(IsInFolderOnDisk(temp.Path(test.fPath), temp.Path(test.fFolder)), test.fInside);
    }
    EXPECT_FALSE(IsInFolderOnDisk(VFilePath(), temp.Path("box/")));
    // Asked for, the folder is in itself, also named through a link to it.
    EXPECT_TRUE(IsInFolderOnDisk(temp.Path("alias/"), temp.Path("box/"), true));
    EXPECT_FALSE(IsInFolderOnDisk(temp.Path("box/out"), temp.Path("box/"), true));
}

// Unmounts at the end of the scope, before the folder the mount point lies in goes.
struct StUnmount
{
    std::string fPoint;
    ~StUnmount() { umount2(fPoint.c_str(), MNT_DETACH); }
};

TEST(FolderContainment, DecidedOnIdentityWhereNamesDiffer)
{
    // A bind mount shows a folder at another name: what lies below it lies in the folder.
    StTemporaryFolder temp;
    ASSERT_TRUE(temp.IsValid());
    for (const char* folder : {"box", "box/sub", "bound", "other"})
        ASSERT_EQ(mkdir(temp.Posix(folder).c_str(), 0755), 0);
    WriteFileBytes(temp.Posix("box/sub/a.txt"), "a");
    if (geteuid() != 0 ||
        mount(temp.Posix("box").c_str(), temp.Posix("bound").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts need root";
    const StUnmount unmount{temp.Posix("bound")};
    struct Case
    {
        const char* fPath;
        const char* fFolder;
        bool fItself;
        bool fInside;
    };
    const Case cases[] = {
        {"bound/sub/a.txt", "box/", false, true},
        {"bound/sub/", "box/", false, true},
        {"bound/sub/missing.txt", "box/", false, true},
        {"box/sub/a.txt", "bound/", false, true},
        {"bound/sub/a.txt", "box/sub/", false, true},
        {"bound/", "box/", true, true},
        {"bound/", "box/", false, false},
        {"box/", "bound/", false, false},
        {"other/", "box/", true, false},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(std::string(test.fPath) + " in " + test.fFolder);
        EXPECT_EQ(IsInFolderOnDisk(temp.Path(test.fPath), temp.Path(test.fFolder), test.fItself),
                  test.fInside);
    }
}

} // namespace
} // namespace kova
