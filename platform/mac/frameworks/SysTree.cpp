#include "platform/mac/frameworks/SysTree.h"

#include "platform/mac/frameworks/SysFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace kova::sys
{

namespace
{

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::atomic<int> sRemoveFaultErrno{0};
std::atomic<int> sRemovalsBeforeFault{0};

// unlinkat, failing as a fault set for tests asks.
int Unlink(int inDirFD, const char* inName, int inFlags)
{
    if (sRemoveFaultErrno.load(std::memory_order_relaxed) != 0 &&
        sRemovalsBeforeFault.fetch_sub(1, std::memory_order_relaxed) <= 0)
    {
        errno = sRemoveFaultErrno.load(std::memory_order_relaxed);
        return -1;
    }
    return ::unlinkat(inDirFD, inName, inFlags);
}

std::atomic<int> sCopyFaultErrno{0};
std::atomic<int> sCopiesBeforeFault{0};

// The fault set for tests at a file about to be copied: its errno, or 0 to go on.
int CopyFault()
{
    const int fault = sCopyFaultErrno.load(std::memory_order_relaxed);
    if (fault == 0 || sCopiesBeforeFault.fetch_sub(1, std::memory_order_relaxed) > 0)
        return 0;
    if (fault != kCopyFaultStop)
        return fault;
    sCopyFaultErrno.store(0, std::memory_order_relaxed);
    ::raise(SIGSTOP);
    return 0;
}

struct Entry
{
    std::string fName;
    unsigned char fType; // the directory's type of the entry; DT_UNKNOWN when it gives none
};

// The names in the open folder, read whole before anything in it changes; the descriptor stays
// open, and no other is taken (a walk near its limit of descriptors still reads). 0 or errno.
int ReadEntries(int inFD, std::vector<Entry>& outEntries)
{
    outEntries.clear();
    alignas(struct dirent64) char buffer[16384];
    for (;;)
    {
        const ssize_t count = ::getdents64(inFD, buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return count < 0 ? errno : 0;
        for (ssize_t offset = 0; offset < count;)
        {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            outEntries.push_back(Entry{name, entry->d_type});
        }
    }
}

std::string Join(const std::string& inFolder, const std::string& inName)
{
    std::string path;
    path.reserve(inFolder.size() + 1 + inName.size());
    path.append(inFolder);
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(inName);
    return path;
}

// How many folders of a walk, counted up from the one it is in, keep their descriptors open: a
// walk holds a few descriptors whatever the depth of the tree. A folder above them is reopened
// through ".." of the one below when the walk comes back to it, and must then be the folder it
// left (device and inode), or the walk stops (EAGAIN): something moved it meanwhile.
constexpr size_t kHeldLevels = 16;

// A folder of a walk: its descriptor while held (-1 otherwise) and its identity.
struct HeldFolder
{
    int fFD = -1;
    dev_t fDevice = 0;
    ino_t fInode = 0;
};

// Holds the open folder (the descriptor becomes the walk's, closed on failure too). 0 or errno.
int Hold(HeldFolder& outFolder, int inFD, struct stat* outStatus = nullptr)
{
    outFolder.fFD = inFD;
    struct stat status = {};
    if (::fstat(inFD, &status) != 0)
    {
        const int error = errno;
        ::close(inFD);
        outFolder.fFD = -1;
        return error;
    }
    outFolder.fDevice = status.st_dev;
    outFolder.fInode = status.st_ino;
    if (outStatus != nullptr)
        *outStatus = status;
    return 0;
}

void Release(HeldFolder& ioFolder)
{
    if (ioFolder.fFD >= 0)
        ::close(ioFolder.fFD);
    ioFolder.fFD = -1;
}

// The parent of a held folder held again, when the walk let it go. 0 or errno.
int HoldAgain(HeldFolder& ioParent, const HeldFolder& inChild)
{
    if (ioParent.fFD >= 0)
        return 0;
    const int fd = ::openat(inChild.fFD, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    HeldFolder opened;
    if (const int error = Hold(opened, fd); error != 0)
        return error;
    if (opened.fDevice != ioParent.fDevice || opened.fInode != ioParent.fInode)
    {
        Release(opened);
        return EAGAIN;
    }
    ioParent.fFD = opened.fFD;
    return 0;
}

// The path of the folder at inLevel of a walk from inTop, made only when a failure names it: the
// levels keep their names alone, so that a deep walk costs no path a level.
template <class LEVEL>
std::string LevelPath(const std::string& inTop, const std::vector<LEVEL>& inLevels, size_t inLevel)
{
    std::string path = inTop;
    for (size_t i = 1; i <= inLevel && i < inLevels.size(); ++i)
    {
        if (path.empty() || path.back() != '/')
            path.push_back('/');
        path.append(inLevels[i].fName);
    }
    return path;
}

bool Fail(TreeFailure* outFailure, const std::string& inPath, int inErrno, bool inReadSide)
{
    if (outFailure != nullptr && outFailure->fErrno == 0)
    {
        outFailure->fPath = inPath;
        outFailure->fErrno = inErrno;
        outFailure->fReadSide = inReadSide;
    }
    return false;
}

// Fail for the entry inName (empty: the folder itself) of the deepest level of a walk from inTop.
template <class LEVEL>
bool FailIn(TreeFailure* outFailure, const std::string& inTop, const std::vector<LEVEL>& inLevels,
            const std::string& inName, int inErrno, bool inReadSide)
{
    if (outFailure == nullptr || outFailure->fErrno != 0)
        return false;
    const std::string folder = LevelPath(inTop, inLevels, inLevels.size() - 1);
    return Fail(outFailure, inName.empty() ? folder : Join(folder, inName), inErrno, inReadSide);
}

// ---------------------------------------------------------------------------------------------
// Removing

// Clears the immutable flag of the entry, through a descriptor opened for nothing else. 0 or errno.
int ClearImmutableFlag(int inDirFD, const char* inName)
{
    struct statx status = {};
    if (::statx(inDirFD, inName, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &status) != 0)
        return errno;
    if ((status.stx_attributes & STATX_ATTR_IMMUTABLE) == 0)
        return 0;
    // Flags live on files and folders only: a device is never opened.
    if (!S_ISREG(status.stx_mode) && !S_ISDIR(status.stx_mode))
        return EPERM;
    const int fd = ::openat(inDirFD, inName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int flags = 0;
    int error = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
        error = errno;
    flags &= ~(FS_IMMUTABLE_FL | FS_APPEND_FL);
    if (error == 0 && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
        error = errno;
    ::close(fd);
    return error;
}

// The entry unlocked: no immutable flag, and full rights for its owner when the caller is the
// owner or the superuser. 0 or errno.
int UnlockEntry(int inDirFD, const char* inName)
{
    if (const int error = ClearImmutableFlag(inDirFD, inName); error != 0)
        return error;
    struct stat status = {};
    if (::fstatat(inDirFD, inName, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    const uid_t user = ::geteuid();
    if (S_ISLNK(status.st_mode) || (user != 0 && user != status.st_uid))
        return 0;
    const mode_t wanted = S_ISDIR(status.st_mode) ? 0700 : 0600;
    if ((status.st_mode & wanted) != wanted &&
        ::fchmodat(inDirFD, inName, (status.st_mode & 07777) | wanted, 0) != 0)
        return errno;
    return 0;
}

// Removes one item that is no folder; with inUnlock, a refusal is met by unlocking it once.
int RemoveEntry(int inDirFD, const char* inName, bool inUnlock)
{
    if (Unlink(inDirFD, inName, 0) == 0)
        return 0;
    const int error = errno;
    if (!inUnlock || (error != EPERM && error != EACCES))
        return error;
    if (UnlockEntry(inDirFD, inName) != 0)
        return error;
    return Unlink(inDirFD, inName, 0) == 0 ? 0 : errno;
}

// Whether the folder (inName in inDirFD, or the descriptor itself with an empty name) lies on the
// device inDevice and is no mount point: 0, EBUSY (the answer of a removal of a mount point) when
// another file system is mounted there, or errno. outInode gets its inode.
int CheckOnDevice(int inDirFD, const char* inName, dev_t inDevice, ino_t& outInode)
{
    struct statx status = {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (inName[0] == 0 ? AT_EMPTY_PATH : 0);
    if (::statx(inDirFD, inName, flags, STATX_TYPE | STATX_INO, &status) != 0)
        return errno;
    outInode = ino_t(status.stx_ino);
    // A bind mount of a folder of the same file system keeps its device: its mount flag tells.
    const bool mountRoot = (status.stx_attributes_mask & status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return makedev(status.stx_dev_major, status.stx_dev_minor) != inDevice || mountRoot ? EBUSY : 0;
}

// Opens the sub-folder to walk it, unlocking it first when asked so that it can be read and
// emptied. With inDevice, a folder that is not on that device, or where a file system is mounted,
// is neither unlocked nor opened (EBUSY). The descriptor, or -1 with errno set.
int OpenFolderToEmpty(int inDirFD, const char* inName, bool inUnlock, const dev_t* inDevice)
{
    ino_t inode = 0;
    if (const int error = inDevice != nullptr ? CheckOnDevice(inDirFD, inName, *inDevice, inode) : 0;
        error != 0)
    {
        errno = error;
        return -1;
    }
    if (inUnlock)
    {
        if (const int error = UnlockEntry(inDirFD, inName); error != 0)
        {
            errno = error;
            return -1;
        }
    }
    const int fd = ::openat(inDirFD, inName, kDirectoryFlags);
    if (fd < 0)
        return -1;
    if (inDevice == nullptr)
        return fd;
    // The folder opened is the one looked at, not a mount made since.
    ino_t opened = 0;
    int error = CheckOnDevice(fd, "", *inDevice, opened);
    if (error == 0 && opened != inode)
        error = EAGAIN;
    if (error != 0)
    {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// A folder being emptied: the folder, its name in its parent, its entries and the next to take.
struct RemoveLevel
{
    HeldFolder fFolder;
    std::string fName;
    std::vector<Entry> fEntries;
    size_t fNext = 0;
};

void ReleaseAll(std::vector<RemoveLevel>& ioLevels)
{
    for (RemoveLevel& level : ioLevels)
        Release(level.fFolder);
    ioLevels.clear();
}

// Empties the open folder (the descriptor becomes the walk's), never entering another file
// system than its own. 0 or errno.
int EmptyFolder(int inFD, const std::string& inPath, const RemoveOptions& inOptions, TreeFailure* outFailure)
{
    std::vector<RemoveLevel> levels(1);
    int error = Hold(levels[0].fFolder, inFD);
    const dev_t device = levels[0].fFolder.fDevice;
    if (error == 0)
        error = ReadEntries(inFD, levels[0].fEntries);
    // Every failure stops the walk: the item it names, and the descriptors let go.
    auto stop = [&](const std::string& inName, int inError)
    {
        FailIn(outFailure, inPath, levels, inName, inError, false);
        ReleaseAll(levels);
        return inError;
    };
    if (error != 0)
        return stop("", error);
    for (;;)
    {
        RemoveLevel& level = levels.back();
        if (level.fNext == level.fEntries.size())
        {
            // The folder is empty now: it goes from its parent, unless it is the one emptied.
            if (levels.size() == 1)
            {
                ReleaseAll(levels);
                return 0;
            }
            RemoveLevel& parent = levels[levels.size() - 2];
            if (const int held = HoldAgain(parent.fFolder, level.fFolder); held != 0)
                return stop("", held);
            Release(level.fFolder);
            const std::string name = std::move(level.fName);
            levels.pop_back();
            if (Unlink(parent.fFolder.fFD, name.c_str(), AT_REMOVEDIR) != 0)
                return stop(name, errno);
            if (inOptions.fAfterFolder)
                inOptions.fAfterFolder();
            continue;
        }
        const std::string name = level.fEntries[level.fNext].fName;
        const unsigned char type = level.fEntries[level.fNext].fType;
        ++level.fNext;
        bool isFolder = type == DT_DIR;
        if (type == DT_UNKNOWN)
        {
            struct stat status = {};
            if (::fstatat(level.fFolder.fFD, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            {
                if (errno == ENOENT)
                    continue; // gone already
                return stop(name, errno);
            }
            isFolder = S_ISDIR(status.st_mode);
        }
        if (!isFolder)
        {
            error = RemoveEntry(level.fFolder.fFD, name.c_str(), inOptions.fUnlock);
            if (error != 0 && error != ENOENT)
                return stop(name, error);
            continue;
        }
        if (!inOptions.fWithSubFolders)
            continue;
        const int fd = OpenFolderToEmpty(level.fFolder.fFD, name.c_str(), inOptions.fUnlock, &device);
        if (fd < 0)
            return stop(name, errno);
        levels.emplace_back();
        levels.back().fName = name;
        if ((error = Hold(levels.back().fFolder, fd)) == 0)
            error = ReadEntries(fd, levels.back().fEntries);
        if (error != 0)
            return stop("", error);
        if (levels.size() > kHeldLevels)
            Release(levels[levels.size() - 1 - kHeldLevels].fFolder);
    }
}

// The folder that holds the path, and the path's last name ("/a/b/" gives "/a" and "b").
void SplitPath(const std::string& inPath, std::string& outFolder, std::string& outName)
{
    size_t end = inPath.size();
    while (end > 1 && inPath[end - 1] == '/')
        --end;
    const size_t slash = end == 0 ? std::string::npos : inPath.rfind('/', end - 1);
    if (slash == std::string::npos)
    {
        outFolder.assign(1, '.');
        outName.assign(inPath, 0, end);
        return;
    }
    outFolder.assign(inPath, 0, slash == 0 ? 1 : slash);
    outName.assign(inPath, slash + 1, end - slash - 1);
}

// ---------------------------------------------------------------------------------------------
// Copying

// A folder being copied: the source and its copy, the name they have in their parents, the
// source's entries and the next to take, and the source's status, whose mode, times and owner go
// to the copy once its contents are in.
struct CopyLevel
{
    HeldFolder fSource;
    HeldFolder fCopy;
    std::string fName;
    std::vector<Entry> fEntries;
    size_t fNext = 0;
    struct stat fStatus = {};
};

void ReleaseAll(std::vector<CopyLevel>& ioLevels)
{
    for (CopyLevel& level : ioLevels)
    {
        Release(level.fSource);
        Release(level.fCopy);
    }
    ioLevels.clear();
}

// Makes the folder inName in inDirFD for the owner alone and opens it: exactly 0700 while its
// contents come in, whatever the umask took away (without its rights the owner could not fill it).
// The descriptor, or -1 with errno set and nothing left.
int MakePrivateFolder(int inDirFD, const char* inName)
{
    if (::mkdirat(inDirFD, inName, 0700) != 0)
        return -1;
    int fd = ::openat(inDirFD, inName, kDirectoryFlags);
    // A umask that took the owner's reading away: the rights are given back through the name,
    // which the no-follow flag keeps from passing through a link put in its place.
    if (fd < 0 && errno == EACCES && ::fchmodat(inDirFD, inName, 0700, AT_SYMLINK_NOFOLLOW) == 0)
        fd = ::openat(inDirFD, inName, kDirectoryFlags);
    if (fd >= 0 && ::fchmod(fd, 0700) == 0)
        return fd;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    ::unlinkat(inDirFD, inName, AT_REMOVEDIR);
    errno = error;
    return -1;
}

// The finished copy of a folder gets the source's owner (or the rights' one), mode and times, in
// that order: its mode may forbid what came before, and setting the others would change its times.
int FinishFolderCopy(int inCopyFD, const struct stat& inStatus, const ItemRights* inRights)
{
    if (const int error = GiveOwner(inCopyFD, "", inStatus, inRights); error != 0)
        return error;
    const mode_t mode = inStatus.st_mode & 07777 & ~(inRights != nullptr ? inRights->fClearedModes : 0);
    const struct timespec times[2] = {inStatus.st_atim, inStatus.st_mtim};
    if (::fchmod(inCopyFD, mode) != 0 || ::futimens(inCopyFD, times) != 0)
        return errno;
    return 0;
}

// Copies one entry of the deepest level into its copy; a folder is opened on both sides and
// pushed. False when the entry failed.
bool CopyEntry(std::vector<CopyLevel>& ioLevels, const std::string& inFrom, const std::string& inName,
               const ItemRights* inRights, TreeFailure* outFailure, int& outError)
{
    CopyLevel& level = ioLevels.back();
    const char* name = inName.c_str();
    struct stat status = {};
    if (::fstatat(level.fSource.fFD, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
    {
        outError = errno;
        return FailIn(outFailure, inFrom, ioLevels, inName, outError, true);
    }
    bool readSide = true;
    if (S_ISREG(status.st_mode) && (outError = CopyFault()) != 0)
        readSide = false;
    else if (S_ISREG(status.st_mode))
        outError =
            CopyRegularFileAt(level.fSource.fFD, name, status, level.fCopy.fFD, name, readSide, inRights);
    else if (S_ISLNK(status.st_mode))
        outError = CopyLinkAt(level.fSource.fFD, name, status, level.fCopy.fFD, name, readSide, inRights);
    else if (!S_ISDIR(status.st_mode))
        outError = ENOTSUP; // pipes, sockets and devices are never opened
    if (!S_ISDIR(status.st_mode))
        return outError == 0 || FailIn(outFailure, inFrom, ioLevels, inName, outError, readSide);

    const int source = ::openat(level.fSource.fFD, name, kDirectoryFlags);
    if (source < 0)
    {
        outError = errno;
        return FailIn(outFailure, inFrom, ioLevels, inName, outError, true);
    }
    // Made for the owner alone until its contents are in.
    const int copy = MakePrivateFolder(level.fCopy.fFD, name);
    if (copy < 0)
    {
        outError = errno;
        ::close(source);
        return FailIn(outFailure, inFrom, ioLevels, inName, outError, false);
    }
    ioLevels.emplace_back();
    CopyLevel& added = ioLevels.back();
    added.fName = inName;
    outError = Hold(added.fSource, source, &added.fStatus);
    if (outError == 0)
        outError = Hold(added.fCopy, copy);
    else
        ::close(copy);
    if (outError == 0)
        outError = ReadEntries(source, added.fEntries);
    if (outError != 0)
        return FailIn(outFailure, inFrom, ioLevels, "", outError, true);
    if (ioLevels.size() > kHeldLevels)
    {
        CopyLevel& far = ioLevels[ioLevels.size() - 1 - kHeldLevels];
        Release(far.fSource);
        Release(far.fCopy);
    }
    return true;
}

int CopyTreeInto(int inSourceFD, const struct stat& inStatus, const std::string& inFrom, int inCopyFD,
                 bool inProceedAfterError, const ItemRights* inRights, TreeFailure* outFailure)
{
    std::vector<CopyLevel> levels(1);
    levels[0].fStatus = inStatus;
    levels[0].fSource = HeldFolder{inSourceFD, inStatus.st_dev, inStatus.st_ino};
    int firstError = Hold(levels[0].fCopy, inCopyFD);
    if (firstError == 0)
        firstError = ReadEntries(inSourceFD, levels[0].fEntries);
    if (firstError != 0)
        Fail(outFailure, inFrom, firstError, true);
    while (!levels.empty() && (firstError == 0 || inProceedAfterError))
    {
        CopyLevel& level = levels.back();
        if (level.fNext == level.fEntries.size())
        {
            // The parent is held again before the copy takes a mode that may forbid going up.
            if (levels.size() > 1)
            {
                CopyLevel& parent = levels[levels.size() - 2];
                int error = HoldAgain(parent.fSource, level.fSource);
                if (error == 0)
                    error = HoldAgain(parent.fCopy, level.fCopy);
                if (error != 0)
                {
                    // The walk cannot go back up: it ends here, whatever the options.
                    if (firstError == 0)
                        firstError = error;
                    FailIn(outFailure, inFrom, levels, "", error, true);
                    break;
                }
            }
            const int error = FinishFolderCopy(level.fCopy.fFD, level.fStatus, inRights);
            if (error != 0 && firstError == 0)
            {
                firstError = error;
                FailIn(outFailure, inFrom, levels, "", error, false);
            }
            Release(level.fSource);
            Release(level.fCopy);
            levels.pop_back();
            continue;
        }
        const std::string name = level.fEntries[level.fNext++].fName;
        int error = 0;
        if (!CopyEntry(levels, inFrom, name, inRights, outFailure, error) && firstError == 0)
            firstError = error;
    }
    ReleaseAll(levels);
    return firstError;
}

// The real path of the deepest existing item at or above the path; empty when none resolves.
std::string DeepestExistingRealPath(const std::string& inPath)
{
    std::string path = inPath;
    for (;;)
    {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real != nullptr)
        {
            std::string result(real);
            std::free(real);
            return result;
        }
        std::string folder;
        std::string name;
        SplitPath(path, folder, name);
        if (folder == path || name.empty())
            return std::string();
        path = folder;
    }
}

} // namespace

int CopyTree(const std::string& inFrom, const std::string& inTo, bool inProceedAfterError,
             TreeFailure* outFailure, const ItemRights* inRights)
{
    const int source = ::open(inFrom.c_str(), kDirectoryFlags);
    struct stat status = {};
    if (source < 0 || ::fstat(source, &status) != 0)
    {
        const int error = errno;
        if (source >= 0)
            ::close(source);
        Fail(outFailure, inFrom, error, true);
        return error;
    }
    // A copy made inside its own source would be walked into for ever.
    if (IsSameOrInside(inTo, status))
    {
        ::close(source);
        Fail(outFailure, inTo, EINVAL, false);
        return EINVAL;
    }
    const int copy = MakePrivateFolder(AT_FDCWD, inTo.c_str());
    if (copy < 0)
    {
        const int error = errno;
        ::close(source);
        Fail(outFailure, inTo, error, false);
        return error;
    }
    const int error = CopyTreeInto(source, status, inFrom, copy, inProceedAfterError, inRights, outFailure);
    if (error != 0 && !inProceedAfterError)
    {
        RemoveOptions options;
        options.fUnlock = true;
        RemoveTree(inTo, options);
    }
    return error;
}

int RemoveTree(const std::string& inPath, const RemoveOptions& inOptions, TreeFailure* outFailure)
{
    std::string folder;
    std::string name;
    SplitPath(inPath, folder, name);
    if (name.empty() || name == "." || name == "..")
    {
        Fail(outFailure, inPath, EINVAL, false);
        return EINVAL;
    }
    // The folders above the item are the caller's to name: links among them are followed.
    const int parent = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
    {
        const int error = errno;
        Fail(outFailure, inPath, error, false);
        return error;
    }
    struct stat status = {};
    int error = ::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    if (error == 0 && !S_ISDIR(status.st_mode))
    {
        error = RemoveEntry(parent, name.c_str(), inOptions.fUnlock);
    }
    else if (error == 0)
    {
        // The item's own file system is the one it holds, a mount point or not.
        const int fd = OpenFolderToEmpty(parent, name.c_str(), inOptions.fUnlock, nullptr);
        error = fd < 0 ? errno : EmptyFolder(fd, inPath, inOptions, outFailure);
        if (error == 0 && Unlink(parent, name.c_str(), AT_REMOVEDIR) != 0)
            error = errno;
    }
    ::close(parent);
    if (error != 0)
        Fail(outFailure, inPath, error, false);
    return error;
}

int RemoveTreeContents(const std::string& inPath, const RemoveOptions& inOptions, TreeFailure* outFailure)
{
    const int fd = ::open(inPath.c_str(), kDirectoryFlags);
    if (fd < 0)
    {
        // O_NOFOLLOW answers ELOOP for a link, which is no folder to walk into.
        const int error = errno == ELOOP ? ENOTDIR : errno;
        Fail(outFailure, inPath, error, false);
        return error;
    }
    return EmptyFolder(fd, inPath, inOptions, outFailure);
}

void RemoveAbandonedTemporaries(const std::string& inFolder, const std::vector<std::string>& inNames)
{
    std::unordered_set<std::string> items;
    for (const std::string& name : inNames)
    {
        if (!name.empty())
            items.insert(TemporaryItemName(name));
    }
    const int fd = ::open(inFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    std::vector<Entry> entries;
    ReadEntries(fd, entries);
    ::close(fd);
    RemoveOptions options;
    options.fUnlock = true;
    for (const Entry& entry : entries)
    {
        // The name first: the process is looked up only for a temporary of one of the items.
        if (items.count(ItemOfTemporary(entry.fName)) != 0 && TemporaryMakerHasQuit(entry.fName))
            RemoveTree(Join(inFolder, entry.fName), options);
    }
}

bool IsSameOrInside(const std::string& inPath, const struct stat& inFolder)
{
    std::string path = DeepestExistingRealPath(inPath);
    while (!path.empty())
    {
        struct stat status = {};
        if (::stat(path.c_str(), &status) == 0 && status.st_dev == inFolder.st_dev &&
            status.st_ino == inFolder.st_ino)
            return true;
        if (path == "/")
            break;
        std::string folder;
        std::string name;
        SplitPath(path, folder, name);
        path = folder;
    }
    return false;
}

int PutInPlace(const std::string& inTemporary, const std::string& inTo, bool inReplace,
               std::string& outDisplaced)
{
    outDisplaced.clear();
    if (renamex_np(inTemporary.c_str(), inTo.c_str(), kRenameExclusive) == 0)
        return 0;
    if (errno != EEXIST && errno != ENOTEMPTY)
        return errno;
    if (!inReplace)
        return EEXIST;
    if (::renameat2(AT_FDCWD, inTemporary.c_str(), AT_FDCWD, inTo.c_str(), RENAME_EXCHANGE) == 0)
    {
        outDisplaced = inTemporary;
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // No exchange on this file system: the old item steps aside, and comes back when the new one
    // cannot take its place.
    const std::string aside = TemporarySiblingPath(inTo);
    if (renamex_np(inTo.c_str(), aside.c_str(), kRenameExclusive) != 0)
        return errno;
    if (renamex_np(inTemporary.c_str(), inTo.c_str(), kRenameExclusive) != 0)
    {
        const int error = errno;
        renamex_np(aside.c_str(), inTo.c_str(), kRenameExclusive);
        return error;
    }
    outDisplaced = aside;
    return 0;
}

void SetCopyFaultForTesting(int inErrno, int inAfterCount)
{
    sCopiesBeforeFault.store(inAfterCount, std::memory_order_relaxed);
    sCopyFaultErrno.store(inErrno, std::memory_order_relaxed);
}

void SetRemoveFaultForTesting(int inErrno, int inAfterCount)
{
    sRemovalsBeforeFault.store(inAfterCount, std::memory_order_relaxed);
    sRemoveFaultErrno.store(inErrno, std::memory_order_relaxed);
}

} // namespace kova::sys
