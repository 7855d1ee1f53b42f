#include "platform/mac/frameworks/NSFileManager.h"

#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysMount.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::ns
{

namespace
{

// How many temporary names are tried before a copy gives up.
constexpr int kTemporaryAttempts = 100;

bool Fail(int inCode, cf::Error** outError)
{
    if (outError != nullptr)
        *outError = cf::ErrorCreate(cf::kErrorDomainCocoa, inCode);
    return false;
}

// The code of a failure to read the source.
int ReadErrorCode(int inErrno)
{
    switch (inErrno)
    {
    case ENOENT:
    case ENOTDIR:
        return kFileReadNoSuchFileError;
    case EACCES:
    case EPERM:
        return kFileReadNoPermissionError;
    default:
        return kFileReadUnknownError;
    }
}

// The code of a failure to make the destination.
int WriteErrorCode(int inErrno)
{
    switch (inErrno)
    {
    case ENOENT:
    case ENOTDIR:
        return kFileNoSuchFileError;
    case EEXIST:
    case ENOTEMPTY:
    case EISDIR:
        return kFileWriteFileExistsError;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kFileWriteOutOfSpaceError;
    case EROFS:
        return kFileWriteVolumeReadOnlyError;
    case EACCES:
    case EPERM:
        return kFileWriteNoPermissionError;
    default:
        return kFileWriteUnknownError;
    }
}

bool SameItem(const struct stat& inFirst, const struct stat& inSecond)
{
    return inFirst.st_dev == inSecond.st_dev && inFirst.st_ino == inSecond.st_ino;
}

// The link's text, read whole however long it is; 0 or errno.
int ReadLink(const std::string& inPath, size_t inSizeHint, std::string& outTarget)
{
    size_t size = inSizeHint + 1;
    for (;;)
    {
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
        if (buffer == nullptr)
            return ENOMEM;
        const ssize_t length = ::readlink(inPath.c_str(), buffer.get(), size);
        if (length < 0)
            return errno;
        if (size_t(length) < size)
        {
            outTarget.assign(buffer.get(), size_t(length));
            return 0;
        }
        size *= 2;
    }
}

// Owners are kept where the caller may give them away, as a copy by an administrator does; a copy
// by anyone else, or on a volume without owners, belongs to its maker.
void KeepOwner(int inFD, const struct stat& inSource)
{
    if (::geteuid() == 0 && ::fchown(inFD, inSource.st_uid, inSource.st_gid) != 0)
    {
    }
}

void KeepLinkOwner(const std::string& inLink, const struct stat& inSource)
{
    if (::geteuid() == 0 && ::lchown(inLink.c_str(), inSource.st_uid, inSource.st_gid) != 0)
    {
    }
}

// A copy of the regular file at a new temporary path beside inTo; 0 or the errno, with
// outReadSide telling whose failure it was. On success outTemporary names the copy.
int CopyFileToTemporary(const std::string& inFrom, const struct stat& inStatus, const std::string& inTo,
                        std::string& outTemporary, bool& outReadSide)
{
    outReadSide = true;
    const int source = ::open(inFrom.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (source < 0)
        return errno;
    struct stat opened = {};
    // The item looked at is the one opened, not one put there since.
    if (::fstat(source, &opened) != 0 || !SameItem(opened, inStatus) || !S_ISREG(opened.st_mode))
    {
        const int error = errno != 0 ? errno : EAGAIN;
        ::close(source);
        return error;
    }
    outReadSide = false;
    int destination = -1;
    for (int attempt = 0; attempt < kTemporaryAttempts && destination < 0; ++attempt)
    {
        outTemporary = sys::TemporarySiblingPath(inTo);
        destination = ::open(outTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (destination < 0 && errno != EEXIST)
            break;
    }
    if (destination < 0)
    {
        const int error = errno;
        ::close(source);
        return error;
    }
    int error = sys::CopyFileData(source, destination, uint64_t(opened.st_size), &outReadSide);
    if (error == 0)
    {
        const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
        KeepOwner(destination, opened);
        if (::fchmod(destination, opened.st_mode & 07777) != 0 || ::futimens(destination, times) != 0)
            error = errno;
    }
    if (::close(destination) != 0 && error == 0)
        error = errno;
    ::close(source);
    if (error != 0)
        ::unlink(outTemporary.c_str());
    return error;
}

// A copy of the link itself at a new temporary path beside inTo; as above.
int CopyLinkToTemporary(const std::string& inFrom, const struct stat& inStatus, const std::string& inTo,
                        std::string& outTemporary, bool& outReadSide)
{
    outReadSide = true;
    std::string target;
    if (const int error = ReadLink(inFrom, size_t(inStatus.st_size), target); error != 0)
        return error;
    outReadSide = false;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt)
    {
        outTemporary = sys::TemporarySiblingPath(inTo);
        if (::symlink(target.c_str(), outTemporary.c_str()) == 0)
        {
            const struct timespec times[2] = {inStatus.st_atim, inStatus.st_mtim};
            KeepLinkOwner(outTemporary, inStatus);
            if (::utimensat(AT_FDCWD, outTemporary.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
            {
                const int error = errno;
                ::unlink(outTemporary.c_str());
                return error;
            }
            return 0;
        }
        if (errno != EEXIST)
            break;
    }
    return errno;
}

} // namespace

std::vector<MountedVolume> MountedVolumeURLs()
{
    std::vector<MountedVolume> volumes;
    for (const sys::MountEntry& entry : sys::ReadMountTable())
    {
        std::string name = sys::VolumeNameOfMountPoint(entry.fMountPoint);
        const bool readable = !name.empty();
        volumes.push_back(MountedVolume{entry.fMountPoint, std::move(name), readable});
    }
    return volumes;
}

std::string TemporaryDirectory()
{
    const char* variable = std::getenv("TMPDIR");
    std::string folder = variable != nullptr && variable[0] == '/' ? variable : "/tmp";
    if (folder.back() != '/')
        folder.push_back('/');
    return folder;
}

bool CopyItem(const std::string& inFrom, const std::string& inTo, bool inReplace, cf::Error** outError)
{
    if (outError != nullptr)
        *outError = nullptr;
    struct stat source = {};
    if (::lstat(inFrom.c_str(), &source) != 0)
        return Fail(ReadErrorCode(errno), outError);
    struct stat destination = {};
    if (::lstat(inTo.c_str(), &destination) == 0)
    {
        // Onto itself, onto a folder, or onto an item that must stay: nothing is touched.
        if (SameItem(source, destination) || S_ISDIR(destination.st_mode) || !inReplace)
            return Fail(kFileWriteFileExistsError, outError);
    }
    else if (errno != ENOENT)
    {
        return Fail(WriteErrorCode(errno), outError);
    }

    std::string temporary;
    bool readSide = true;
    int error = 0;
    if (S_ISREG(source.st_mode))
        error = CopyFileToTemporary(inFrom, source, inTo, temporary, readSide);
    else if (S_ISLNK(source.st_mode))
        error = CopyLinkToTemporary(inFrom, source, inTo, temporary, readSide);
    else
        // Folders are the folders' copy; pipes, sockets and devices are never opened.
        return Fail(S_ISDIR(source.st_mode) ? kFeatureUnsupportedError : kFileReadUnknownError, outError);
    if (error != 0)
        return Fail(readSide ? ReadErrorCode(error) : WriteErrorCode(error), outError);

    const unsigned flags = inReplace ? 0 : sys::kRenameExclusive;
    if (sys::renamex_np(temporary.c_str(), inTo.c_str(), flags) != 0)
    {
        error = errno;
        ::unlink(temporary.c_str());
        return Fail(WriteErrorCode(error), outError);
    }
    return true;
}

bool MoveItem(const std::string& inFrom, const std::string& inTo, bool inReplace, cf::Error** outError)
{
    if (outError != nullptr)
        *outError = nullptr;
    struct stat source = {};
    if (::lstat(inFrom.c_str(), &source) != 0)
        return Fail(ReadErrorCode(errno), outError);
    struct stat destination = {};
    if (::lstat(inTo.c_str(), &destination) == 0 && SameItem(source, destination))
        return Fail(kFileWriteFileExistsError, outError);
    if (sys::renamex_np(inFrom.c_str(), inTo.c_str(), inReplace ? 0 : sys::kRenameExclusive) == 0)
        return true;
    if (errno != EXDEV)
        return Fail(WriteErrorCode(errno), outError);
    if (S_ISDIR(source.st_mode))
        return Fail(kFeatureUnsupportedError, outError);
    // Across volumes: the source goes only once its copy stands whole in place.
    if (!CopyItem(inFrom, inTo, inReplace, outError))
        return false;
    if (::unlink(inFrom.c_str()) != 0)
        return Fail(WriteErrorCode(errno), outError);
    return true;
}

} // namespace kova::ns
