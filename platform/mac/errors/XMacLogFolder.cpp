#include "platform/mac/errors/XMacLogFolder.h"

#include "platform/mac/frameworks/SysBeneath.h"
#include "platform/mac/frameworks/SysFile.h"

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

namespace
{

using sys::StDescriptor;

std::atomic<void (*)(const std::string&)> sFolderMadeHook{nullptr};

// Enough for the calls at the folder (openat, mkdirat, unlinkat, fstatat) without the right to
// read it.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

std::string PathIn(const std::string& inFolder, const std::string& inName)
{
    return inFolder.back() == '/' ? inFolder + inName : inFolder + "/" + inName;
}

// The folder of the path as a descriptor, or -1 with errno set. The part of the path that exists
// is taken as named; below it, with inMake, the folders are made and entered without following a
// link out of it: ELOOP, with outLink naming the link that leads out.
int OpenFolder(const std::string& inPath, bool inMake, std::string& outLink)
{
    const int fd = ::open(inPath.c_str(), kFolderFlags);
    if (fd >= 0 || errno != ENOENT || !inMake)
        return fd;
    // The deepest folder that exists, and the path of the missing ones below it; a loop, as a path
    // may hold any number of them.
    std::string existing = inPath;
    std::string relative;
    StDescriptor root;
    while (root.Get() < 0)
    {
        while (existing.size() > 1 && existing.back() == '/')
            existing.pop_back();
        const size_t slash = existing.rfind('/');
        const std::string name = slash == std::string::npos ? existing : existing.substr(slash + 1);
        relative = relative.empty() ? name : name + "/" + relative;
        if (slash == std::string::npos)
            existing.assign(1, '.');
        else
            existing.erase(slash == 0 ? 1 : slash);
        root.Reset(::open(existing.c_str(), kFolderFlags));
        if (root.Get() < 0 && (errno != ENOENT || existing == "/" || existing == "."))
            return -1;
    }
    sys::BeneathItem item;
    std::string link;
    int error = relative.empty() ? ENOENT : sys::ResolveBeneath(root.Get(), relative, true, item, link);
    // ResolveBeneath makes the folders above the deepest; the deepest is made here, and entered
    // without following a link whoever puts one in its place.
    const StDescriptor parent(item.fFolderFD);
    if (error == 0)
    {
        if (::mkdirat(parent.Get(), item.fName.c_str(), 0755) == 0)
        {
            if (void (*hook)(const std::string&) = sFolderMadeHook.load(std::memory_order_acquire))
                hook(PathIn(existing, relative));
        }
        else if (errno != EEXIST)
        {
            error = errno;
        }
    }
    if (error == 0)
        return ::openat(parent.Get(), item.fName.c_str(), kFolderFlags | O_NOFOLLOW);
    if (error == EXDEV)
    {
        // Refused as a link on the way of a file is.
        outLink = link.empty() ? inPath : PathIn(existing, link);
        error = ELOOP;
    }
    errno = error;
    return -1;
}

// The first folder of the path that is not there as one (the one that could not be made or
// reached), or the path itself.
std::string FirstNotFolder(const std::string& inPath)
{
    for (size_t end = inPath.find('/', 1);; end = inPath.find('/', end + 1))
    {
        const std::string prefix = inPath.substr(0, end);
        struct stat status = {};
        if (::stat(prefix.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return prefix;
        if (end == std::string::npos)
            return inPath;
    }
}

// A log file of its own: a regular file that no other name reaches.
bool IsOwnRegularFile(const struct stat& inStatus)
{
    return S_ISREG(inStatus.st_mode) && inStatus.st_nlink <= 1;
}

// The descriptor of the log file, or -1: outResult tells whether the name was taken or the open
// failed (errno set).
int OpenAt(int inFolder, const char* inName, bool inOverwrite, XMacLogFolder::EOpen& outResult)
{
    const int access = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | (inOverwrite ? 0 : O_APPEND);
    outResult = XMacLogFolder::EOpen::kFailed;
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
                    outResult = XMacLogFolder::EOpen::kOpened;
                return fd;
            }
            continue;
        }
        if (!IsOwnRegularFile(named))
        {
            outResult = XMacLogFolder::EOpen::kTaken;
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
        outResult = XMacLogFolder::EOpen::kOpened;
        return fd.Release();
    }
    outResult = XMacLogFolder::EOpen::kTaken;
    return -1;
}

} // namespace

int XMacLogFolder::Open(const std::string& inPath, bool inMake, std::string& outFailed)
{
    fFolder.reset();
    std::string link;
    StDescriptor folder(OpenFolder(inPath, inMake, link));
    if (folder.Get() < 0)
    {
        const int error = errno;
        outFailed = !link.empty() ? link : FirstNotFolder(inPath);
        return error;
    }
    try
    {
        fFolder = std::make_shared<const StDescriptor>(folder.Get());
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
    folder.Release();
    return 0;
}

int XMacLogFolder::_FD() const
{
    return fFolder != nullptr ? fFolder->Get() : -1;
}

FILE* XMacLogFolder::OpenStream(const std::string& inName, bool inOverwrite, EOpen& outResult,
                                int& outErrno) const
{
    outResult = EOpen::kFailed;
    outErrno = EBADF;
    if (!IsOpen())
        return nullptr;
    StDescriptor file(OpenAt(_FD(), inName.c_str(), inOverwrite, outResult));
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
    outErrno = 0;
    // The position tells the file's size.
    if (!inOverwrite)
        std::fseek(stream, 0, SEEK_END);
    return stream;
}

bool XMacLogFolder::NameIsTaken(const std::string& inName) const
{
    struct stat status = {};
    return ::fstatat(_FD(), inName.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

void XMacLogFolder::RemoveFile(const std::string& inName) const
{
    struct stat status = {};
    // Should the entry change in between, unlinkat removes a name, never what a link names.
    if (::fstatat(_FD(), inName.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
        ::unlinkat(_FD(), inName.c_str(), 0);
}

int XMacLogFolder::GetFileNames(const std::string& inPrefix, std::vector<std::string>& outNames) const
{
    outNames.clear();
    if (!IsOpen())
        return EBADF;
    // The held descriptor may not read: the listing opens the folder it holds again.
    StDescriptor readable(::openat(_FD(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* folder = readable.Get() >= 0 ? ::fdopendir(readable.Get()) : nullptr;
    if (folder == nullptr)
        return errno;
    readable.Release();
    errno = 0;
    while (const dirent* entry = ::readdir(folder))
    {
        const std::string_view name(entry->d_name);
        if (name.compare(0, inPrefix.size(), inPrefix) != 0 || name == "." || name == "..")
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
        {
            struct stat status = {};
            isFolder = ::fstatat(::dirfd(folder), entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
        }
        try
        {
            if (!isFolder)
                outNames.emplace_back(name);
        }
        catch (const std::bad_alloc&)
        {
            errno = ENOMEM;
            break;
        }
        errno = 0;
    }
    const int error = errno;
    ::closedir(folder);
    return error;
}

void XMacLogFolder::SetFolderMadeHookForTesting(void (*inHook)(const std::string&))
{
    sFolderMadeHook.store(inHook, std::memory_order_release);
}

} // namespace kova
