#include "platform/mac/frameworks/NSFileManager.h"

#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysMount.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
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

// ---------------------------------------------------------------------------------------------
// The trash, the freedesktop.org one, so that a desktop lists the items and can restore them

constexpr char kInfoExtension[] = ".trashinfo";
// A trashed name and its info file's name must both fit in a name of the file system.
constexpr size_t kMaxTrashedNameBytes = 255 - (sizeof(kInfoExtension) - 1);
// Names taken already get ".2", ".3" ... up to this many.
constexpr int kMaxNameAttempts = 10000;

std::string ParentOf(const std::string& inPath)
{
    const size_t slash = inPath.rfind('/');
    return slash == 0 ? std::string("/") : inPath.substr(0, slash);
}

// The mount point of the nearest existing folder at or above the path.
std::string MountPointOf(std::string inPath)
{
    sys::StatFS status;
    while (sys::statfs(inPath.c_str(), status) != 0)
    {
        if (inPath == "/" || inPath.empty())
            return "/";
        inPath = ParentOf(inPath);
    }
    return status.f_mntonname;
}

// A folder of the user's own, made when missing: not a link, owned by the user. 0 or errno.
int EnsurePrivateFolder(const std::string& inPath)
{
    if (::mkdir(inPath.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat status = {};
    if (::lstat(inPath.c_str(), &status) != 0)
        return errno;
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid())
        return EPERM;
    return 0;
}

// mkdir -p for the folders above the home trash, which are the user's data folders.
int EnsureFolders(const std::string& inPath)
{
    struct stat status = {};
    if (::stat(inPath.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    for (size_t slash = inPath.find('/', 1);; slash = inPath.find('/', slash + 1))
    {
        const std::string prefix = slash == std::string::npos ? inPath : inPath.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            return 0;
    }
}

// A trash made ready: its "files" and "info" folders exist. 0 or errno.
int PrepareTrash(const std::string& inTrash)
{
    if (const int error = EnsurePrivateFolder(inTrash); error != 0)
        return error;
    if (const int error = EnsurePrivateFolder(inTrash + "/files"); error != 0)
        return error;
    return EnsurePrivateFolder(inTrash + "/info");
}

// The trash at the top of a volume other than the home trash's; empty when none can be used.
std::string PrepareVolumeTrash(const std::string& inTopDir)
{
    const std::string top = inTopDir == "/" ? std::string() : inTopDir;
    const std::string uid = std::to_string(::geteuid());
    // An administrator's shared trash: a sticky folder, not a link.
    struct stat shared = {};
    if (::lstat((top + "/.Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX) != 0)
    {
        const std::string trash = top + "/.Trash/" + uid;
        if (PrepareTrash(trash) == 0)
            return trash;
    }
    const std::string trash = top + "/.Trash-" + uid;
    return PrepareTrash(trash) == 0 ? trash : std::string();
}

// The Path key's value: bytes other than unreserved ones and "/" as "%" and two hexadecimal
// digits.
std::string EscapePath(const std::string& inPath)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string escaped;
    for (unsigned char c : inPath)
    {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
        if (plain)
        {
            escaped.push_back(char(c));
        }
        else
        {
            escaped.push_back('%');
            escaped.push_back(kDigits[c >> 4]);
            escaped.push_back(kDigits[c & 0x0F]);
        }
    }
    return escaped;
}

std::string LocalDeletionDate()
{
    const time_t now = ::time(nullptr);
    struct tm fields = {};
    localtime_r(&now, &fields);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &fields);
    return text;
}

// The name at the attempt: the item's name, then with ".2", ".3" ... before its extension.
std::string TrashedName(const std::string& inName, int inAttempt)
{
    std::string stem = inName;
    std::string extension;
    const size_t dot = inName.rfind('.');
    if (dot != std::string::npos && dot > 0)
    {
        stem = inName.substr(0, dot);
        extension = inName.substr(dot);
    }
    std::string counter;
    if (inAttempt > 1)
        counter.append(1, '.').append(std::to_string(inAttempt));
    if (stem.size() + counter.size() + extension.size() > kMaxTrashedNameBytes)
    {
        if (extension.size() + counter.size() >= kMaxTrashedNameBytes)
            extension.clear();
        size_t cut = kMaxTrashedNameBytes - counter.size() - extension.size();
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return stem + counter + extension;
}

bool WriteAll(int inFD, const std::string& inText)
{
    size_t written = 0;
    while (written < inText.size())
    {
        const ssize_t count =
            sys::pwrite(inFD, inText.data() + written, inText.size() - written, off_t(written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += size_t(count);
    }
    return true;
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

std::string HomeTrashPath()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/')
        return std::string(dataHome) + "/Trash";
    const char* home = std::getenv("HOME");
    std::string folder = home != nullptr && home[0] == '/' ? home : std::string();
    if (folder.empty())
    {
        struct passwd entry = {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found != nullptr)
            folder = found->pw_dir;
    }
    return folder.empty() ? folder : folder + "/.local/share/Trash";
}

bool TrashItem(const std::string& inPath, std::string* outTrashedPath, cf::Error** outError)
{
    if (outError != nullptr)
        *outError = nullptr;
    struct stat item = {};
    if (inPath.empty() || inPath[0] != '/' || ::lstat(inPath.c_str(), &item) != 0)
        return Fail(kFileNoSuchFileError, outError);

    // The item's own name stays as it is (a link is trashed as a link); its folder is resolved.
    std::string path = inPath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::string name = path.substr(path.rfind('/') + 1);
    std::string folder;
    if (name.empty() || name == "." || name == ".." || sys::GetRealPath(ParentOf(path).c_str(), folder) != 0)
        return Fail(kFileNoSuchFileError, outError);
    const std::string original = (folder == "/" ? std::string() : folder) + "/" + name;

    // The trash must be on the item's volume: an item is renamed into it, never copied.
    const std::string topDir = MountPointOf(folder);
    const std::string homeTrash = HomeTrashPath();
    std::string trash;
    std::string recordedPath = original;
    if (!homeTrash.empty() && MountPointOf(homeTrash) == topDir)
    {
        if (EnsureFolders(ParentOf(homeTrash)) == 0 && PrepareTrash(homeTrash) == 0)
            trash = homeTrash;
    }
    else
    {
        trash = PrepareVolumeTrash(topDir);
        // A volume's trash records paths from the top of the volume, so that it moves with it.
        if (topDir != "/")
            recordedPath = original.substr(topDir.size() + 1);
    }
    if (trash.empty())
        return Fail(kFeatureUnsupportedError, outError);

    const std::string info =
        "[Trash Info]\nPath=" + EscapePath(recordedPath) + "\nDeletionDate=" + LocalDeletionDate() + "\n";
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt)
    {
        const std::string trashedName = TrashedName(name, attempt);
        const std::string infoPath = trash + "/info/" + trashedName + kInfoExtension;
        // The info file is made first, exclusively: it reserves the name.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return Fail(WriteErrorCode(errno), outError);
        const bool written = WriteAll(fd, info);
        const int writeError = errno;
        if (::close(fd) != 0 || !written)
        {
            ::unlink(infoPath.c_str());
            return Fail(WriteErrorCode(written ? errno : writeError), outError);
        }
        const std::string trashedPath = trash + "/files/" + trashedName;
        if (sys::renamex_np(original.c_str(), trashedPath.c_str(), sys::kRenameExclusive) == 0)
        {
            if (outTrashedPath != nullptr)
                *outTrashedPath = trashedPath;
            return true;
        }
        const int error = errno;
        ::unlink(infoPath.c_str());
        if (error != EEXIST)
            return Fail(WriteErrorCode(error), outError);
    }
    return Fail(kFileWriteFileExistsError, outError);
}

} // namespace kova::ns
