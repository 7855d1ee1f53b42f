#include "platform/mac/frameworks/SysBeneath.h"

#include "kernel/files/FileTesting_test.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysTesting_test.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kova
{
namespace
{

// Where openat2 is refused, as a kernel before it (ENOSYS) or a container's filter that predates it
// (EPERM) answers, the walk of our own resolves the path: through a link that stays inside, and not
// through one that leaves. Each in a child, which the filter binds.
TEST(SysBeneath, ResolvesWhereOpenat2IsRefused)
{
    StTemporaryFolder folder;
    ASSERT_TRUE(folder.IsValid());
    ASSERT_EQ(mkdir(folder.Posix("root").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.Posix("root/a").c_str(), 0755), 0);
    WriteFileBytes(folder.Posix("root/a/file"), "x");
    ASSERT_EQ(symlink("a", folder.Posix("root/inside").c_str()), 0);
    ASSERT_EQ(symlink("../..", folder.Posix("root/a/out").c_str()), 0);
    constexpr int kCannotSetUp = 255;
    constexpr int kWrongItem = 254;
    for (const int refusal : {ENOSYS, EPERM})
    {
        SCOPED_TRACE(refusal);
        for (const char* path : {"inside/file", "a/out/x"})
        {
            SCOPED_TRACE(path);
            const pid_t child = fork();
            if (child == 0)
            {
                const int root = open(folder.Posix("root").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (root < 0 || !RefuseSystemCall(SYS_openat2, refusal))
                    _exit(kCannotSetUp);
                sys::BeneathItem item;
                std::string link;
                const int error = sys::ResolveBeneath(root, path, false, item, link);
                if (error == 0 && item.fName != "file")
                    _exit(kWrongItem);
                if (error == EXDEV && link != "a/out")
                    _exit(kWrongItem);
                _exit(error);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), path[0] == 'i' ? 0 : EXDEV);
        }
    }
}

} // namespace
} // namespace kova
