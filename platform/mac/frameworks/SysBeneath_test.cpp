#include "platform/mac/frameworks/SysBeneath.h"

#include "kernel/files/FileTesting_test.h"
#include "platform/mac/frameworks/SysFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <iterator>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kova
{
namespace
{

// Makes the calling process's openat2 fail with inErrno, as a kernel before it (ENOSYS) or a
// container's filter that predates it (EPERM) answers; false when no filter may be set.
bool LoseOpenat2(int inErrno)
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(inErrno)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Where openat2 is refused, whatever the answer, the walk of our own resolves the path: through a
// link that stays inside, and not through one that leaves. Each in a child, which the filter binds.
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
                if (root < 0 || !LoseOpenat2(refusal))
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
