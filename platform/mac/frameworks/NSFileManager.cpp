#include "platform/mac/frameworks/NSFileManager.h"

#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysMount.h"
#include "platform/mac/frameworks/SysTree.h"

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

// A failure of the system: the file code of the side that failed, except for a process or a
// system out of descriptors, which no file code tells and which is passed on as it is.
bool FailWithErrno(int inErrno, bool inReadSide, cf::Error** outError)
{
    if (inErrno == EMFILE || inErrno == ENFILE)
    {
        if (outError != nullptr)
            *outError = cf::ErrorCreate(cf::kErrorDomainPOSIX, inErrno);
        return false;
    }
    return Fail(inReadSide ? ReadErrorCode(inErrno) : WriteErrorCode(inErrno), outError);
}

bool SameItem(const struct stat& inFirst, const struct stat& inSecond)
{
    return inFirst.st_dev == inSecond.st_dev && inFirst.st_ino == inSecond.st_ino;
}

// A copy of the regular file or link at a new temporary path beside inTo; 0 or the errno, with
// outReadSide telling whose failure it was. On success outTemporary names the copy.
int CopyItemToTemporary(const std::string& inFrom, const struct stat& inStatus, const std::string& inTo,
                        const sys::ItemRights* inRights, std::string& outTemporary, bool& outReadSide)
{
    int error = EEXIST;
    for (int attempt = 0; attempt < kTemporaryAttempts && error == EEXIST; ++attempt)
    {
        outTemporary = sys::TemporarySiblingPath(inTo);
        error = S_ISLNK(inStatus.st_mode)
                    ? sys::CopyLinkAt(AT_FDCWD, inFrom.c_str(), inStatus, AT_FDCWD, outTemporary.c_str(),
                                      outReadSide, inRights)
                    : sys::CopyRegularFileAt(AT_FDCWD, inFrom.c_str(), inStatus, AT_FDCWD,
                                             outTemporary.c_str(), outReadSide, inRights);
        // A name taken already is tried again; a source that failed is not.
        if (outReadSide)
            break;
    }
    return error;
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

// mkdir -p, each missing folder with inMode (the folders above the home trash are the user's data
// folders: 0700). 0 or errno.
int EnsureFolders(const std::string& inPath, mode_t inMode = 0700)
{
    struct stat status = {};
    if (::stat(inPath.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    for (size_t slash = inPath.find('/', 1);; slash = inPath.find('/', slash + 1))
    {
        const std::string prefix = slash == std::string::npos ? inPath : inPath.substr(0, slash);
        if (!prefix.empty() && prefix.back() != '/' && ::mkdir(prefix.c_str(), inMode) != 0 &&
            errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            break;
    }
    return ::stat(inPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
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

namespace
{

// A folder copied whole under a temporary name beside inTo, then put in its place (see CopyItem).
bool CopyFolder(const std::string& inFrom, const struct stat& inSource, const std::string& inTo,
                bool inReplace, bool inProceedAfterError, const sys::ItemRights* inRights,
                cf::Error** outError)
{
    struct stat destination = {};
    const bool exists = ::lstat(inTo.c_str(), &destination) == 0;
    // A copy inside its own source, or one that would replace a folder holding its source, would
    // lose the source: nothing is touched.
    if (sys::IsSameOrInside(inTo, inSource) ||
        (exists && inReplace && S_ISDIR(destination.st_mode) && sys::IsSameOrInside(inFrom, destination)))
        return Fail(kFileWriteUnknownError, outError);
    std::string temporary;
    sys::TreeFailure failure;
    int error = 0;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt)
    {
        failure = sys::TreeFailure();
        temporary = sys::TemporarySiblingPath(inTo);
        error = sys::CopyTree(inFrom, temporary, inProceedAfterError, &failure, inRights);
        // Only a temporary name taken already is tried again.
        if (error != EEXIST || failure.fPath != temporary)
            break;
    }
    if (error != 0 && !inProceedAfterError)
        return FailWithErrno(error, failure.fReadSide, outError);
    std::string displaced;
    sys::RemoveOptions removal;
    removal.fUnlock = true;
    if (const int placed = sys::PutInPlace(temporary, inTo, inReplace, displaced); placed != 0)
    {
        sys::RemoveTree(temporary, removal);
        return FailWithErrno(placed, false, outError);
    }
    // The old item goes once the new one stands; what cannot go stays hidden beside it.
    if (!displaced.empty())
        sys::RemoveTree(displaced, removal);
    if (error != 0)
        return FailWithErrno(error, failure.fReadSide, outError);
    return true;
}

} // namespace

bool CopyItem(const std::string& inFrom, const std::string& inTo, bool inReplace, cf::Error** outError,
              bool inProceedAfterError, const sys::ItemRights* inRights)
{
    if (outError != nullptr)
        *outError = nullptr;
    // Owners are given only where the process may change them; the modes are dropped anyway.
    sys::ItemRights rights;
    if (inRights != nullptr)
    {
        rights = *inRights;
        rights.fGiveOwner = rights.fGiveOwner && sys::MayChangeOwners();
    }
    const sys::ItemRights* given = inRights != nullptr ? &rights : nullptr;
    struct stat source = {};
    if (::lstat(inFrom.c_str(), &source) != 0)
        return FailWithErrno(errno, true, outError);
    struct stat destination = {};
    if (::lstat(inTo.c_str(), &destination) == 0)
    {
        // Onto itself, onto a folder (unless a folder replaces it), or onto an item that must
        // stay: nothing is touched.
        if (SameItem(source, destination) || (S_ISDIR(destination.st_mode) && !S_ISDIR(source.st_mode)) ||
            !inReplace)
            return Fail(kFileWriteFileExistsError, outError);
    }
    else if (errno != ENOENT)
    {
        return FailWithErrno(errno, false, outError);
    }
    if (S_ISDIR(source.st_mode))
        return CopyFolder(inFrom, source, inTo, inReplace, inProceedAfterError, given, outError);
    // Pipes, sockets and devices are never opened.
    if (!S_ISREG(source.st_mode) && !S_ISLNK(source.st_mode))
        return Fail(kFileReadUnknownError, outError);

    std::string temporary;
    bool readSide = true;
    int error = CopyItemToTemporary(inFrom, source, inTo, given, temporary, readSide);
    if (error != 0)
        return FailWithErrno(error, readSide, outError);

    const unsigned flags = inReplace ? 0 : sys::kRenameExclusive;
    if (sys::renamex_np(temporary.c_str(), inTo.c_str(), flags) != 0)
    {
        error = errno;
        ::unlink(temporary.c_str());
        return FailWithErrno(error, false, outError);
    }
    return true;
}

bool MoveItem(const std::string& inFrom, const std::string& inTo, bool inReplace, cf::Error** outError)
{
    if (outError != nullptr)
        *outError = nullptr;
    struct stat source = {};
    if (::lstat(inFrom.c_str(), &source) != 0)
        return FailWithErrno(errno, true, outError);
    struct stat destination = {};
    if (::lstat(inTo.c_str(), &destination) == 0 && SameItem(source, destination))
        return Fail(kFileWriteFileExistsError, outError);
    if (sys::renamex_np(inFrom.c_str(), inTo.c_str(), inReplace ? 0 : sys::kRenameExclusive) == 0)
        return true;
    if (errno != EXDEV)
        return FailWithErrno(errno, false, outError);
    // Across volumes: the source goes only once its copy stands whole in place.
    if (!CopyItem(inFrom, inTo, inReplace, outError))
        return false;
    const int error = S_ISDIR(source.st_mode) ? sys::RemoveTree(inFrom, sys::RemoveOptions())
                                              : (::unlink(inFrom.c_str()) == 0 ? 0 : errno);
    if (error != 0)
        return FailWithErrno(error, false, outError);
    return true;
}

bool CreateDirectoryAtPath(const std::string& inPath, bool inWithIntermediateDirectories, mode_t inMode,
                           cf::Error** outError)
{
    if (outError != nullptr)
        *outError = nullptr;
    const int error = inWithIntermediateDirectories ? EnsureFolders(inPath, inMode)
                                                    : (::mkdir(inPath.c_str(), inMode) == 0 ? 0 : errno);
    return error == 0 || FailWithErrno(error, false, outError);
}

std::string HomeDirectoryForCurrentUser()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    struct passwd entry = {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

std::string HomeTrashPath()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/')
        return std::string(dataHome) + "/Trash";
    const std::string home = HomeDirectoryForCurrentUser();
    return home.empty() ? home : home + "/.local/share/Trash";
}

namespace
{

// A folder of the XDG base directories: the variable when it holds an absolute path, else the
// default under the home folder; empty without a home folder.
std::string BaseDirectory(const char* inVariable, const char* inDefault)
{
    const char* value = std::getenv(inVariable);
    if (value != nullptr && value[0] == '/')
        return value;
    const std::string home = HomeDirectoryForCurrentUser();
    return home.empty() ? home : home + "/" + inDefault;
}

// A folder of the XDG user folders: its line in user-dirs.dirs (KEY="$HOME/..." or KEY="/..."),
// else the default under the home folder.
std::string UserDirectory(const char* inKey, const char* inDefault)
{
    const std::string home = HomeDirectoryForCurrentUser();
    if (home.empty())
        return home;
    const std::string configuration = BaseDirectory("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs";
    // A file of a few lines; a larger one is not read past this.
    constexpr size_t kMaxBytes = 65536;
    std::string text;
    const int fd = ::open(configuration.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
    {
        struct stat status = {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        {
            text.resize(kMaxBytes);
            const ssize_t count = ::read(fd, text.data(), text.size());
            text.resize(count > 0 ? size_t(count) : 0);
        }
        ::close(fd);
    }
    const std::string prefix = std::string(inKey) + "=\"";
    for (size_t start = 0; start < text.size();)
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, prefix.size(), prefix) != 0 || line.size() < prefix.size() + 1 ||
            line.back() != '"')
            continue;
        const std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.compare(0, 6, "$HOME/") == 0 && value.size() > 6)
            return home + value.substr(5);
        if (!value.empty() && value[0] == '/' && value != "/")
            return value;
    }
    return home + "/" + inDefault;
}

} // namespace

bool URLForDirectory(int inDirectory, int inDomainMask, bool inCreate, std::string& outPath,
                     cf::Error** outError)
{
    if (outError != nullptr)
        *outError = nullptr;
    outPath.clear();
    const bool user = inDomainMask == kUserDomainMask;
    const bool local = inDomainMask == kLocalDomainMask;
    if (local && inDirectory == kApplicationDirectory)
        outPath = "/opt";
    else if (local && inDirectory == kApplicationSupportDirectory)
        outPath = "/var/lib";
    else if (local && inDirectory == kCachesDirectory)
        outPath = "/var/cache";
    else if (user && inDirectory == kDocumentDirectory)
        outPath = UserDirectory("XDG_DOCUMENTS_DIR", "Documents");
    else if (user && inDirectory == kDesktopDirectory)
        outPath = UserDirectory("XDG_DESKTOP_DIR", "Desktop");
    else if (user && inDirectory == kApplicationSupportDirectory)
        outPath = BaseDirectory("XDG_DATA_HOME", ".local/share");
    else if (user && inDirectory == kCachesDirectory)
        outPath = BaseDirectory("XDG_CACHE_HOME", ".cache");
    else if (user && inDirectory == kLibraryDirectory)
        outPath = BaseDirectory("XDG_CONFIG_HOME", ".config");
    while (outPath.size() > 1 && outPath.back() == '/')
        outPath.pop_back();
    if (outPath.empty())
        return Fail(kFileNoSuchFileError, outError);
    if (inCreate)
    {
        if (const int error = EnsureFolders(outPath, user ? 0700 : 0755); error != 0)
        {
            outPath.clear();
            return FailWithErrno(error, false, outError);
        }
    }
    return true;
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
            return FailWithErrno(errno, false, outError);
        const bool written = WriteAll(fd, info);
        const int writeError = errno;
        if (::close(fd) != 0 || !written)
        {
            ::unlink(infoPath.c_str());
            return FailWithErrno(written ? errno : writeError, false, outError);
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
            return FailWithErrno(error, false, outError);
    }
    return Fail(kFileWriteFileExistsError, outError);
}

} // namespace kova::ns
