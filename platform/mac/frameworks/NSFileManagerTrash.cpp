// The trash of NSFileManager.h: the freedesktop.org trash, so that a desktop lists the items and
// can restore them.
#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysMount.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::ns
{

namespace
{

constexpr char kInfoExtension[] = ".trashinfo";
// A trashed name and its info file's name must both fit in a name of the file system.
constexpr size_t kMaxTrashedNameBytes = 255 - (sizeof(kInfoExtension) - 1);
// Names taken already get ".2", ".3" ... up to this many.
constexpr int kMaxNameAttempts = 10000;

bool Fail(int inCode, cf::Error** outError)
{
    if (outError != nullptr)
        *outError = cf::ErrorCreate(cf::kErrorDomainCocoa, inCode);
    return false;
}

int CocoaCode(int inErrno)
{
    switch (inErrno)
    {
    case ENOENT:
    case ENOTDIR:
        return kFileNoSuchFileError;
    case EACCES:
    case EPERM:
        return kFileWriteNoPermissionError;
    case ENOSPC:
    case EDQUOT:
        return kFileWriteOutOfSpaceError;
    case EROFS:
        return kFileWriteVolumeReadOnlyError;
    default:
        return kFileWriteUnknownError;
    }
}

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
    const std::string counter = inAttempt > 1 ? "." + std::to_string(inAttempt) : std::string();
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
            return Fail(CocoaCode(errno), outError);
        const bool written = WriteAll(fd, info);
        const int writeError = errno;
        if (::close(fd) != 0 || !written)
        {
            ::unlink(infoPath.c_str());
            return Fail(CocoaCode(written ? errno : writeError), outError);
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
            return Fail(CocoaCode(error), outError);
    }
    return Fail(kFileWriteFileExistsError, outError);
}

} // namespace kova::ns
