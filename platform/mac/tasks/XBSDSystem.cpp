#include "platform/mac/tasks/XBSDSystem.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

namespace
{

constexpr size_t kMaxCandidateBytes = 1024;

} // namespace

VError XBSDSystem::CreateSymbolicLink(const char* inTarget, const char* inLinkPath)
{
    if (symlink(inTarget, inLinkPath) == 0)
        return VE_OK;
    VError error = MakeVError(kCOMPONENT_POSIX, uint32_t(errno));
    _ThrowError(error);
    return error;
}

bool XBSDSystem::IsExecutableByEffectiveUser(const std::string& inPath)
{
    struct stat status;
    if (stat(inPath.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    if (status.st_uid == geteuid())
        return (status.st_mode & S_IXUSR) != 0;
    if (status.st_gid == getegid())
        return (status.st_mode & S_IXGRP) != 0;
    return (status.st_mode & S_IXOTH) != 0;
}

std::string XBSDSystem::SearchExecutable(const std::string& inName, const char* inPathVariable)
{
    if (inName.empty())
        return {};
    if (inName.find('/') != std::string::npos)
    {
        char resolved[PATH_MAX];
        if (realpath(inName.c_str(), resolved) == nullptr || !IsExecutableByEffectiveUser(resolved))
            return {};
        return resolved;
    }
    if (inPathVariable == nullptr || *inPathVariable == 0)
        return {};
    const std::string elements = inPathVariable;
    for (size_t start = 0; start <= elements.size();)
    {
        size_t end = elements.find(':', start);
        if (end == std::string::npos)
            end = elements.size();
        // An empty element is the current folder, as for the shell.
        std::string candidate = end > start ? elements.substr(start, end - start) : std::string(".");
        if (candidate.back() != '/')
            candidate += '/';
        candidate += inName;
        start = end + 1;
        if (candidate.size() > kMaxCandidateBytes || !IsExecutableByEffectiveUser(candidate))
            continue;
        if (candidate.front() != '/')
        {
            char folder[PATH_MAX];
            if (getcwd(folder, sizeof folder) == nullptr)
                continue;
            candidate = std::string(folder) + "/" + candidate;
        }
        return candidate;
    }
    return {};
}

bool XBSDSystem::SearchExecutablePath(const VString& inName, VFilePath& outPath)
{
    std::string found = SearchExecutable(to_string(inName), std::getenv("PATH"));
    if (found.empty())
    {
        outPath.Clear();
        return false;
    }
    VString path(found.data(), found.size(), VTC_UTF_8);
    outPath.FromFullPath(path, FPS_POSIX);
    return outPath.IsValid();
}

} // namespace kova
