#include "platform/mac/tasks/XBSDSystem.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "platform/mac/frameworks/BundleTesting_test.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{
namespace
{

using testing_support::StTemporaryFolder;

// A folder holding an executable "tool" and a file "data" that nobody may execute.
class ExecutableSearch : public testing::Test
{
protected:
    void SetUp() override
    {
        fTool = fFolder.WriteFile("bin/tool", "#!/bin/sh\n");
        fData = fFolder.WriteFile("bin/data", "");
        ASSERT_EQ(chmod(fTool.c_str(), 0755), 0);
        ASSERT_EQ(chmod(fData.c_str(), 0644), 0);
        fBin = fFolder.GetPath() + "/bin";
    }

    StTemporaryFolder fFolder;
    std::string fTool;
    std::string fData;
    std::string fBin;
};

TEST_F(ExecutableSearch, LooksThroughPathForAnExecutableRegularFile)
{
    const std::string path = "/nonexistent:" + fBin + "/";
    EXPECT_EQ(XBSDSystem::SearchExecutable("tool", path.c_str()), fTool);
    EXPECT_EQ(XBSDSystem::SearchExecutable("data", path.c_str()), "");
    EXPECT_EQ(XBSDSystem::SearchExecutable("bin", (fFolder.GetPath()).c_str()), "") << "a folder";
    EXPECT_EQ(XBSDSystem::SearchExecutable("tool", ""), "");
    EXPECT_EQ(XBSDSystem::SearchExecutable("tool", nullptr), "");
    // A name with a slash is a path.
    EXPECT_EQ(XBSDSystem::SearchExecutable(fBin + "/../bin/tool", "/nonexistent"), fTool);
    EXPECT_EQ(XBSDSystem::SearchExecutable(fData, "/nonexistent"), "");
}

TEST_F(ExecutableSearch, AnEmptyPathElementIsTheCurrentFolder)
{
    char saved[PATH_MAX];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(fBin.c_str()), 0);
    std::string leading = XBSDSystem::SearchExecutable("tool", ":/nonexistent");
    std::string trailing = XBSDSystem::SearchExecutable("tool", "/nonexistent:");
    std::string inside = XBSDSystem::SearchExecutable("tool", "/nonexistent::/usr/bin");
    ASSERT_EQ(chdir(saved), 0);
    for (const std::string& found : {leading, trailing, inside})
        EXPECT_EQ(std::filesystem::canonical(found), std::filesystem::canonical(fTool)) << found;
}

TEST_F(ExecutableSearch, TheToolboxFormGivesAFilePathOrClearsIt)
{
    StEnvironment environment{{"PATH", fBin.c_str()}};
    VFilePath path;
    ASSERT_TRUE(VSystem::SearchExecutablePath(VString("tool"), path));
    VString posix;
    path.GetPosixPath(posix);
    EXPECT_EQ(to_string(posix), fTool);
    EXPECT_TRUE(path.IsFile());
    EXPECT_FALSE(VSystem::SearchExecutablePath(VString("data"), path));
    EXPECT_TRUE(path.IsEmpty());
}

TEST(XBSDSystemTest, ASymbolicLinkThatCannotBeMadeRaisesItsCause)
{
    StTemporaryFolder folder;
    const std::string link = folder.GetPath() + "/link";
    StErrorContextInstaller errors;
    EXPECT_EQ(XBSDSystem::CreateSymbolicLink("target", link.c_str()), VE_OK);
    EXPECT_EQ(std::filesystem::read_symlink(link), "target");
    EXPECT_EQ(errors.GetLastError(), VE_OK);
    const VError exists = MakeVError(kCOMPONENT_POSIX, EEXIST);
    EXPECT_EQ(XBSDSystem::CreateSymbolicLink("other", link.c_str()), exists);
    EXPECT_EQ(errors.GetLastError(), exists);
}

} // namespace
} // namespace kova
