#include "platform/mac/ipc/XPosixCommandLine.h"

#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"
#include "platform/mac/files/XMacFile.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

bool XPosixCommandLine::ResolvePath(const VString& inText, VFilePath& outPath, bool& outIsFolder)
{
    // Null for a text holding a zero unit, which would name a shorter path.
    char* posix = XMacFile::AllocatePosixPathFromString(inText);
    if (posix == nullptr)
        return false;
    char* real = ::realpath(posix, nullptr);
    VObject::sCppMemMgr->Free(posix);
    if (real == nullptr)
        return false;
    struct stat status = {};
    const bool found = ::stat(real, &status) == 0;
    outIsFolder = found && S_ISDIR(status.st_mode);
    if (found)
        XMacFile::GetFilePathFromPosixPath(real, outIsFolder, outPath);
    std::free(real);
    return found;
}

bool XPosixCommandLine::IsStandardOutputTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool XPosixCommandLine::ReadStandardInput(VString& outText)
{
    std::string bytes;
    char block[1024];
    for (;;)
    {
        const ssize_t count = ::read(STDIN_FILENO, block, sizeof block);
        if (count > 0)
        {
            bytes.append(block, size_t(count));
            continue;
        }
        if (count == 0)
            break;
        if (errno != EINTR)
            return false;
    }
    outText.FromBlock(bytes.data(), bytes.size(), VTC_UTF_8);
    return true;
}

} // namespace kova
