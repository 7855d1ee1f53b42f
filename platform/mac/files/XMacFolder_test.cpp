#include "platform/mac/files/XMacFolder.h"

#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/SysTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace kova
{
namespace
{

// What a whole copy of inFrom to inTo leaves when it is killed (SIGKILL) after its first file:
// the names beside inTo that begin with "." and its name.
std::vector<std::string> KilledCopy(const std::string& inFrom, const std::string& inTo)
{
    const pid_t child = fork();
    if (child == 0)
    {
        sys::SetCopyFaultForTesting(sys::kCopyFaultStop, 1);
        ns::CopyItem(inFrom, inTo, true, nullptr);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, WUNTRACED) != child || !WIFSTOPPED(status))
        return {};
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    const std::string folder = inTo.substr(0, inTo.rfind('/'));
    const std::string prefix = "." + inTo.substr(folder.size() + 1);
    std::vector<std::string> left;
    for (const std::string& name : NamesIn(folder))
    {
        if (name.rfind(prefix, 0) == 0)
            left.push_back(name);
    }
    return left;
}

// The partial copies that killed whole copies left go with the next whole copy into the same
// place, made by CopyTo or, for each sub-folder, by CopyContentsTo.
TEST(XMacFolder, WholeCopiesRemoveWhatKilledCopiesLeftInTheirPlace)
{
    StTemporaryFolder folder;
    MakeBundle(folder.Posix("new/Sample.app"), "2");
    ASSERT_EQ(mkdir(folder.Posix("install").c_str(), 0755), 0);
    ASSERT_EQ(KilledCopy(folder.Posix("new/Sample.app"), folder.Posix("install/Sample.app")).size(), 1u);
    const std::vector<std::string> contents =
        KilledCopy(folder.Posix("new/Sample.app/Contents"), folder.Posix("install/Contents"));
    ASSERT_EQ(contents.size(), 1u);

    const VRefPtr<VFolder> source(new VFolder(folder.Path("new/Sample.app/")));
    const VRefPtr<VFolder> install(new VFolder(folder.Path("install/")));
    ASSERT_EQ(source->CopyTo(*install, nullptr, FCO_REPLACE_WHOLE), VE_OK);
    EXPECT_EQ(NamesIn(folder.Posix("install")), (std::vector<std::string>{contents[0], "Sample.app"}));
    ASSERT_EQ(source->CopyContentsTo(*install, FCO_REPLACE_WHOLE), VE_OK);
    EXPECT_EQ(NamesIn(folder.Posix("install")), (std::vector<std::string>{"Contents", "Sample.app"}));
}

} // namespace
} // namespace kova
