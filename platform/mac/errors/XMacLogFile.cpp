#include "platform/mac/errors/XMacLogFile.h"

#include "platform/mac/frameworks/SysFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kova
{

namespace
{

using sys::StDescriptor;

std::atomic<void (*)(const std::string&)> sFolderMadeHook{nullptr};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The folder of the path as a descriptor, -1 with errno set and outFailed naming the folder that
// could not be opened or made. The part of the path that exists is taken as named; below it, each
// folder is made and entered without following a link.
int OpenFolder(const std::string& inPath, bool inMake, std::string& outFailed)
{
    outFailed = inPath;
    const int fd = ::open(inPath.c_str(), kFolderFlags);
    if (fd >= 0 || errno != ENOENT || !inMake)
        return fd;
    // The missing components, the deepest first; a loop, as a path may hold any number of them.
    std::vector<std::string> missing;
    std::string existing = inPath;
    StDescriptor folder;
    while (folder.Get() < 0)
    {
        while (existing.size() > 1 && existing.back() == '/')
            existing.pop_back();
        const size_t slash = existing.rfind('/');
        if (slash == std::string::npos)
        {
            missing.push_back(existing);
            existing.assign(1, '.');
        }
        else
        {
            missing.push_back(existing.substr(slash + 1));
            existing.erase(slash == 0 ? 1 : slash);
        }
        folder.Reset(::open(existing.c_str(), kFolderFlags));
        if (folder.Get() < 0 && (errno != ENOENT || existing == "/" || existing == "."))
        {
            outFailed = existing;
            return -1;
        }
    }
    std::string& made = outFailed;
    made = existing;
    for (auto name = missing.rbegin(); name != missing.rend(); ++name)
    {
        if (name->empty())
            continue;
        made += made.back() == '/' ? *name : "/" + *name;
        if (::mkdirat(folder.Get(), name->c_str(), 0755) == 0)
        {
            if (void (*hook)(const std::string&) = sFolderMadeHook.load(std::memory_order_acquire))
                hook(made);
        }
        else if (errno != EEXIST)
        {
            return -1;
        }
        const int next = ::openat(folder.Get(), name->c_str(), kFolderFlags | O_NOFOLLOW);
        const int error = errno;
        folder.Reset(next);
        if (next < 0)
        {
            errno = error;
            return -1;
        }
    }
    return folder.Release();
}

// A log file of its own: a regular file that no other name reaches.
bool IsOwnRegularFile(const struct stat& inStatus)
{
    return S_ISREG(inStatus.st_mode) && inStatus.st_nlink <= 1;
}

// The descriptor of the log file, or -1: outResult tells whether the name was taken or the open
// failed (errno set).
int OpenAt(int inFolder, const char* inName, bool inOverwrite, XMacLogFile::EOpen& outResult)
{
    const int access = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | (inOverwrite ? 0 : O_APPEND);
    outResult = XMacLogFile::EOpen::kFailed;
    // A name whose entry changes between the look and the open is looked at again, a few times:
    // an entry that keeps changing is taken.
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        struct stat named = {};
        if (::fstatat(inFolder, inName, &named, AT_SYMLINK_NOFOLLOW) != 0)
        {
            if (errno != ENOENT)
                return -1;
            // 0666 less the umask, as the standard library creates files.
            const int fd = ::openat(inFolder, inName, access | O_CREAT | O_EXCL, 0666);
            if (fd >= 0 || errno != EEXIST)
            {
                if (fd >= 0)
                    outResult = XMacLogFile::EOpen::kOpened;
                return fd;
            }
            continue;
        }
        if (!IsOwnRegularFile(named))
        {
            outResult = XMacLogFile::EOpen::kTaken;
            return -1;
        }
        // Without waiting: a pipe put in the file's place since the look refuses a writer at
        // once or is seen below.
        StDescriptor fd(::openat(inFolder, inName, access | O_NONBLOCK));
        if (fd.Get() < 0)
        {
            if (errno == ENOENT || errno == ELOOP || errno == ENXIO || errno == EISDIR)
                continue;
            return -1;
        }
        struct stat opened = {};
        if (::fstat(fd.Get(), &opened) != 0)
            return -1;
        if (!IsOwnRegularFile(opened) || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
            continue;
        const int flags = ::fcntl(fd.Get(), F_GETFL);
        if (flags == -1 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
            return -1;
        if (inOverwrite && ::ftruncate(fd.Get(), 0) != 0)
            return -1;
        outResult = XMacLogFile::EOpen::kOpened;
        return fd.Release();
    }
    outResult = XMacLogFile::EOpen::kTaken;
    return -1;
}

} // namespace

FILE* XMacLogFile::OpenStream(const std::string& inFolder, const std::string& inName, bool inOverwrite,
                              bool inMakeFolder, EOpen& outResult, int& outErrno)
{
    outResult = EOpen::kFailed;
    outErrno = 0;
    std::string failed;
    StDescriptor folder(OpenFolder(inFolder, inMakeFolder, failed));
    if (folder.Get() < 0)
    {
        outErrno = errno;
        return nullptr;
    }
    StDescriptor file(OpenAt(folder.Get(), inName.c_str(), inOverwrite, outResult));
    if (file.Get() < 0)
    {
        outErrno = outResult == EOpen::kFailed ? errno : 0;
        return nullptr;
    }
    FILE* stream = ::fdopen(file.Get(), inOverwrite ? "w" : "a");
    if (stream == nullptr)
    {
        outResult = EOpen::kFailed;
        outErrno = errno;
        return nullptr;
    }
    file.Release();
    // The position tells the file's size.
    if (!inOverwrite)
        std::fseek(stream, 0, SEEK_END);
    return stream;
}

int XMacLogFile::MakeFolder(const std::string& inPath, std::string& outFailed)
{
    StDescriptor folder(OpenFolder(inPath, true, outFailed));
    return folder.Get() < 0 ? errno : 0;
}

bool XMacLogFile::NameIsTaken(const std::string& inPath)
{
    struct stat status = {};
    return ::lstat(inPath.c_str(), &status) == 0 || errno != ENOENT;
}

void XMacLogFile::RemoveFile(const std::string& inPath)
{
    struct stat status = {};
    // Should the entry change in between, unlink removes a name, never what a link names.
    if (::lstat(inPath.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        ::unlink(inPath.c_str());
}

void XMacLogFile::SetFolderMadeHookForTesting(void (*inHook)(const std::string&))
{
    sFolderMadeHook.store(inHook, std::memory_order_release);
}

} // namespace kova
