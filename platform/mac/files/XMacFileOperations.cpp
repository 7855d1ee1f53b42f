// The instance half of XMacFile and its static attribute, time, space and kind operations: the
// disk work of files. The path conversions are in XMacFile.cpp.
#include "platform/mac/files/XMacFile.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/FileText.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileDesc.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileKind.h"
#include "kernel/files/VFilePath.h"
#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"
#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/Dispatch.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/NSURL.h"
#include "platform/mac/frameworks/NSWorkspace.h"
#include "platform/mac/frameworks/SysBeneath.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/UTType.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <new>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace kova
{

namespace
{

using sys::StDescriptor;

constexpr uint32_t kPosixPathTag = FourCharCode("path");
// As the system resolves links: a longer chain is a loop.
constexpr int kMaxLinkDepth = 40;
// No single write asks the system for more.
constexpr size_t kMaxWriteChunk = 524288000;
constexpr int kTemporaryAttempts = 100;

std::atomic<uint32_t> sVolumeQueries{0};

// Frees a path string of the memory manager at the end of a scope.
class StPosixPath
{
public:
    explicit StPosixPath(char* inPath) : fPath(inPath) {}
    ~StPosixPath()
    {
        if (fPath != nullptr)
            VObject::sCppMemMgr->Free(fPath);
    }
    StPosixPath(const StPosixPath&) = delete;
    StPosixPath& operator=(const StPosixPath&) = delete;

    const char* Get() const { return fPath != nullptr ? fPath : ""; }
    bool IsEmpty() const { return fPath == nullptr || *fPath == 0; }

private:
    char* fPath;
};

// The code of a file-manager call that failed, whatever it handed back.
VError FileManagerError(cf::Error* inError)
{
    const VError error = VErrorBase::MakeVErrorFromCFErrorAndRelease(inError);
    return error != VE_OK ? error : MakeVError(kCOMPONENT_COCOA, uint32_t(ns::kFileWriteUnknownError));
}

std::string FolderOf(const std::string& inPath)
{
    const size_t slash = inPath.rfind('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : inPath.substr(0, slash);
}

// The item that final links lead to (which may not exist yet); false, with errno set, for a loop
// or a link that cannot be read.
bool ResolveFinalLinks(const std::string& inPath, std::string& outPath)
{
    outPath = inPath;
    for (int depth = 0; depth < kMaxLinkDepth; ++depth)
    {
        struct stat status = {};
        if (::lstat(outPath.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return true;
        std::vector<char> buffer(size_t(status.st_size) + 2);
        const ssize_t length = ::readlink(outPath.c_str(), buffer.data(), buffer.size());
        if (length < 0 || size_t(length) >= buffer.size())
        {
            if (length >= 0)
                errno = EAGAIN;
            return false;
        }
        const std::string target(buffer.data(), size_t(length));
        outPath = target[0] == '/' ? target : FolderOf(outPath) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

// From the file's start (through the file layer's write, which tests can make fail), or with
// inInPlace where the descriptor stands: a pipe or a device has no positions.
int WriteAll(int inFD, const void* inData, size_t inSize, bool inInPlace = false)
{
    size_t done = 0;
    while (done < inSize)
    {
        const size_t chunk = std::min(inSize - done, kMaxWriteChunk);
        const char* bytes = static_cast<const char*>(inData) + done;
        const ssize_t count =
            inInPlace ? ::write(inFD, bytes, chunk) : sys::pwrite(inFD, bytes, chunk, off_t(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return count < 0 ? errno : EIO;
        done += size_t(count);
    }
    return 0;
}

// The mode of a file made anew: 0644 less the umask, read without changing it (umask would
// change it for every thread while it is read).
mode_t NewFileMode()
{
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re"))
    {
        char line[256];
        unsigned value = 0;
        while (std::fgets(line, sizeof(line), status) != nullptr)
        {
            if (std::sscanf(line, "Umask: %o", &value) == 1)
            {
                mask = mode_t(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0644 & ~mask;
}

// The folder that holds the item inPath names inside inRoot (inRoot taken as named), into
// outFolder, and the item's name there in outName: the links on the way and at its end are
// followed while their way stays inside inRoot (sys::ResolveBeneath), so the item is never a link.
// With inCreate the missing folders on the way are made. 0 or errno: ELOOP for a way that leaves
// inRoot, with outLink the link that leads out, EINVAL for a path that is not inside inRoot or
// holds an empty, "." or ".." step.
int OpenParentBeneath(const char* inRoot, const char* inPath, bool inCreate, StDescriptor& outFolder,
                      std::string& outName, std::string& outLink)
{
    std::string root(inRoot);
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    const std::string prefix = root == "/" ? root : root + "/";
    const std::string path(inPath);
    if (root.empty() || path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return EINVAL;
    const std::string relative = path.substr(prefix.size());
    for (size_t start = 0;;)
    {
        const size_t slash = relative.find('/', start);
        const std::string step =
            relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (step.empty() || step == "." || step == "..")
            return EINVAL;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    const StDescriptor rootFolder(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (rootFolder.Get() < 0)
        return errno;
    sys::BeneathItem item;
    std::string link;
    const int error = sys::ResolveBeneath(rootFolder.Get(), relative, inCreate, item, link);
    if (error == EXDEV)
    {
        outLink = link.empty() ? path : prefix + link;
        return ELOOP;
    }
    if (error != 0)
        return error;
    outFolder.Reset(item.fFolderFD);
    outName = item.fName;
    return 0;
}

// The status of a file inside inRoot, reached as OpenParentBeneath does; a link put in its place
// since fails with ELOOP and outLink its path. The file's folder stays open in outFolder for what
// follows.
int StatBeneath(const char* inRoot, const char* inPath, StDescriptor& outFolder, std::string& outName,
                struct stat& outStatus, std::string& outLink)
{
    outLink.clear();
    int error = OpenParentBeneath(inRoot, inPath, false, outFolder, outName, outLink);
    if (error == 0 && ::fstatat(outFolder.Get(), outName.c_str(), &outStatus, AT_SYMLINK_NOFOLLOW) != 0)
        error = errno;
    if (error == 0 && S_ISLNK(outStatus.st_mode))
    {
        outLink = inPath;
        error = ELOOP;
    }
    return error;
}

// ReplaceContent on the item inName of the folder inFolder. With inBeneath a link there is refused
// (ELOOP), and so is an item that is no regular file (EINVAL), before anything opens it.
int ReplaceContentAt(int inFolder, const std::string& inName, const void* inData, size_t inSize,
                     bool inBeneath, XMacFile::EContentStep& outStep)
{
    outStep = XMacFile::eContentOpen;
    struct stat existing = {};
    const bool exists = ::fstatat(inFolder, inName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    if (exists && S_ISDIR(existing.st_mode))
        return EISDIR;
    if (exists && inBeneath && !S_ISREG(existing.st_mode))
        return S_ISLNK(existing.st_mode) ? ELOOP : EINVAL;
    // The old file is opened and locked as an in-place write would: a file that may not be
    // written, or that someone holds locked, is refused.
    StDescriptor old;
    if (exists)
    {
        // Read and write, so that opening a pipe never waits for a reader.
        old.Reset(::openat(inFolder, inName.c_str(),
                           O_RDWR | O_NOFOLLOW | O_CLOEXEC | (inBeneath ? O_NONBLOCK : 0)));
        if (old.Get() < 0)
            return errno;
        struct stat opened = {};
        if (inBeneath && (::fstat(old.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)))
            return EINVAL;
        if (::flock(old.Get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? EACCES : errno;
        if (!S_ISREG(existing.st_mode))
        {
            // A device or a pipe is no file to replace: the bytes go to it.
            outStep = XMacFile::eContentWrite;
            return WriteAll(old.Get(), inData, inSize, true);
        }
    }

    // The temporary is private while the new content goes in, and takes its final mode before it
    // takes the file's place.
    outStep = XMacFile::eContentWrite;
    std::string temporary;
    StDescriptor fd;
    for (int attempt = 0; attempt < kTemporaryAttempts && fd.Get() < 0; ++attempt)
    {
        temporary = sys::TemporarySiblingPath(inName);
        fd.Reset(::openat(inFolder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.Get() < 0 && errno != EEXIST)
            break;
    }
    if (fd.Get() < 0)
        return errno;
    int error = WriteAll(fd.Get(), inData, inSize);
    if (error == 0)
    {
        // The owner is kept where the caller may give the file away; on a volume without owners
        // the file is its maker's.
        if (exists && ::geteuid() == 0 && ::fchown(fd.Get(), existing.st_uid, existing.st_gid) != 0)
        {
        }
        if (::fchmod(fd.Get(), exists ? existing.st_mode & 07777 : NewFileMode()) != 0)
            error = errno;
    }
    if (error == 0)
    {
        outStep = XMacFile::eContentCommit;
        if (::fdatasync(fd.Get()) != 0)
            error = errno;
        else if (const int closeError = fd.Close(); closeError != 0)
            error = closeError;
        else if (::renameat(inFolder, temporary.c_str(), inFolder, inName.c_str()) != 0)
            error = errno;
    }
    if (error != 0)
    {
        fd.Close();
        ::unlinkat(inFolder, temporary.c_str(), 0);
    }
    return error;
}

// The inode flags, through a descriptor opened for nothing else (a pipe never blocks it); 0 or
// errno.
int ChangeImmutableFlag(const char* inPath, bool inFollowLinks, bool inSet)
{
    StDescriptor fd(::open(inPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (inFollowLinks ? 0 : O_NOFOLLOW)));
    if (fd.Get() < 0)
        return errno == ELOOP ? EOPNOTSUPP : errno;
    int flags = 0;
    if (::ioctl(fd.Get(), FS_IOC_GETFLAGS, &flags) != 0)
        return errno == ENOTTY ? EOPNOTSUPP : errno;
    flags = inSet ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    if (::ioctl(fd.Get(), FS_IOC_SETFLAGS, &flags) != 0)
        return errno == ENOTTY ? EOPNOTSUPP : errno;
    return 0;
}

bool IsImmutable(const char* inPath, bool inFollowLinks)
{
    struct statx status = {};
    return ::statx(AT_FDCWD, inPath, inFollowLinks ? 0 : AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &status) ==
               0 &&
           (status.stx_attributes & STATX_ATTR_IMMUTABLE) != 0;
}

// A time of the system as a universal date-time; left as it was when the seconds have no
// calendar date.
void TimeFromTimestamp(const struct statx_timestamp& inTime, VTime* outTime)
{
    if (outTime == nullptr)
        return;
    const time_t seconds = time_t(inTime.tv_sec);
    struct tm fields = {};
    if (gmtime_r(&seconds, &fields) == nullptr)
        return;
    outTime->FromUTCTime(int16_t(fields.tm_year + 1900), int16_t(fields.tm_mon + 1), int16_t(fields.tm_mday),
                         int16_t(fields.tm_hour), int16_t(fields.tm_min), int16_t(fields.tm_sec),
                         int16_t(inTime.tv_nsec / 1000000));
}

// A date-time as the system's; UTIME_OMIT for none or a null one.
struct timespec TimestampFromTime(const VTime* inTime)
{
    struct timespec stamp = {0, UTIME_OMIT};
    if (inTime == nullptr || inTime->IsNull())
        return stamp;
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    inTime->GetUTCTime(year, month, day, hour, minute, second, millisecond);
    struct tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    stamp.tv_sec = timegm(&fields);
    stamp.tv_nsec = long(millisecond) * 1000000;
    return stamp;
}

VFileKind* PublicKindOfIdentifier(const std::string& inIdentifier)
{
    if (inIdentifier.empty())
        return nullptr;
    VString identifier;
    TextFromUTF8(inIdentifier.data(), inIdentifier.size(), identifier);
    return XMacFile::CreatePublicFileKind(identifier);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The object

XMacFile::XMacFile() = default;

XMacFile::XMacFile(const char* inPosixPath)
{
    if (inPosixPath != nullptr)
        fPosixPath = CopyPosixPath(inPosixPath, false);
}

XMacFile::XMacFile(ns::URL* inURL) : fPosixPath(AdoptURL(inURL, fURL, false)) {}

XMacFile::~XMacFile()
{
    ReleasePathAndURL(fPosixPath, fURL);
}

char* XMacFile::AdoptURL(ns::URL* inURL, std::atomic<ns::URL*>& ioURL, bool inAsFolder)
{
    if (inURL == nullptr)
        return nullptr;
    inURL->Retain();
    ioURL.store(inURL, std::memory_order_release);
    const char* representation = inURL->FileSystemRepresentation();
    return representation != nullptr && *representation != 0
               ? CopyPosixPath(representation, inAsFolder && inURL->HasDirectoryPath())
               : nullptr;
}

void XMacFile::ReleasePathAndURL(char*& ioPath, std::atomic<ns::URL*>& ioURL)
{
    if (ns::URL* url = ioURL.exchange(nullptr, std::memory_order_acq_rel))
        url->Release();
    if (ioPath != nullptr)
        VObject::sCppMemMgr->Free(ioPath);
    ioPath = nullptr;
}

void XMacFile::Init(VFile* inOwner)
{
    fOwner = inOwner;
    if (fPosixPath == nullptr && inOwner != nullptr)
        fPosixPath = AllocatePosixPathFromFilePath(inOwner->GetPath());
}

VError XMacFile::GetPosixPath(VString& outPath) const
{
    TextFromPosixPath(GetPosixPathCString(), outPath);
    return VE_OK;
}

void XMacFile::TextFromPosixPath(const char* inPath, VString& outText)
{
    TextFromUTF8(inPath, std::strlen(inPath), outText);
    ComposeText(outText);
}

char* XMacFile::CopyPosixPath(const char* inPath, bool inAsFolder)
{
    const size_t length = std::strlen(inPath);
    char* copy = static_cast<char*>(VObject::sCppMemMgr->Malloc(length + 2, false, kPosixPathTag));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, inPath, length + 1);
    if (inAsFolder && length > 0 && copy[length - 1] != '/')
    {
        copy[length] = '/';
        copy[length + 1] = 0;
    }
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Creating and opening

namespace
{

// 0 for a regular file, which then reads as any descriptor does (it was opened without waiting);
// else why it is refused.
int RefuseAllButARegularFile(int inFD)
{
    struct stat status = {};
    if (::fstat(inFD, &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return S_ISDIR(status.st_mode) ? EISDIR : ENOTSUP;
    const int flags = ::fcntl(inFD, F_GETFL);
    if (flags < 0 || ::fcntl(inFD, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return errno;
    return 0;
}

} // namespace

VError XMacFile::Create(uint32_t inOptions, uint16_t inMode) const
{
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if ((inOptions & FO_Overwrite) != 0)
    {
        if (::unlink(GetPosixPathCString()) != 0 && errno != ENOENT)
            return PosixError(errno);
        flags |= O_TRUNC;
    }
    else
    {
        flags |= O_EXCL;
    }
    const int fd = ::open(GetPosixPathCString(), flags, mode_t(inMode));
    if (fd < 0)
        return PosixError(errno);
    ::close(fd);
    return VE_OK;
}

VError XMacFile::Open(FileAccess inAccess, uint32_t inOptions, VFileDesc** outDesc) const
{
    if (outDesc != nullptr)
        *outDesc = nullptr;
    if ((inOptions & FO_OpenResourceFork) != 0)
        return PosixError(ENOTSUP);
    if (inAccess < FA_READ || inAccess > FA_READ_WRITE_OR_READ)
        return PosixError(EINVAL);
    // Tried in turn: FA_READ_WRITE_OR_READ falls back to reading when writing is refused.
    const FileAccess attempts[2] = {inAccess == FA_READ_WRITE_OR_READ ? FA_READ_WRITE : inAccess, FA_READ};
    const int tries = inAccess == FA_READ_WRITE_OR_READ ? 2 : 1;
    int error = 0;
    for (int attempt = 0; attempt < tries; ++attempt)
    {
        const FileAccess access = attempts[attempt];
        const bool write = access != FA_READ;
        int flags = O_CLOEXEC | (write ? O_RDWR : O_RDONLY);
        if ((inOptions & FO_CreateIfNotFound) != 0)
            flags |= O_CREAT;
        if ((inOptions & FO_FollowLinks) == 0)
            flags |= O_NOFOLLOW;
        // A file opened for writing is cut only once its lock is held.
        if ((inOptions & FO_Truncate) != 0 && !write)
            flags |= O_TRUNC;
        const bool regularOnly = (inOptions & FO_RegularFileOnly) != 0;
        if (regularOnly)
            flags |= O_NONBLOCK | O_NOCTTY;
        StDescriptor fd(::open(GetPosixPathCString(), flags, 0644));
        if (fd.Get() < 0)
        {
            error = errno;
            continue;
        }
        if (regularOnly)
        {
            error = RefuseAllButARegularFile(fd.Get());
            if (error != 0)
                continue;
        }
        if (write && ::flock(fd.Get(), (access == FA_SHARED ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0)
        {
            // A lock held elsewhere is a refusal, not a wait.
            error = errno == EWOULDBLOCK ? EACCES : errno;
            continue;
        }
        if (write && (inOptions & FO_Truncate) != 0 && ::ftruncate(fd.Get(), 0) != 0)
        {
            error = errno;
            continue;
        }
        if ((inOptions & FO_ReadAhead) != 0)
            ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        if ((inOptions & (FO_NoCache | FO_NoCacheAlso)) != 0)
            ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_NOREUSE);
        VFileDesc* desc = new (std::nothrow) VFileDesc(fOwner, fd.Get(), inAccess);
        if (desc == nullptr)
            return VE_MEMORY_FULL;
        // The descriptor now belongs to desc.
        fd.Release();
        if (outDesc != nullptr)
            *outDesc = desc;
        else
            delete desc;
        return VE_OK;
    }
    return PosixError(error);
}

VError XMacFile::ReplaceContent(const void* inData, size_t inSize, EContentStep& outStep) const
{
    outStep = eContentOpen;
    std::string target;
    if (!ResolveFinalLinks(GetPosixPathCString(), target))
        return PosixError(errno);
    const StDescriptor folder(::open(FolderOf(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0)
        return PosixError(errno);
    return PosixError(
        ReplaceContentAt(folder.Get(), target.substr(target.rfind('/') + 1), inData, inSize, false, outStep));
}

VError XMacFile::ReplaceContentBeneath(const char* inRoot, const void* inData, size_t inSize,
                                       EContentStep& outStep, std::string& outLink) const
{
    outStep = eContentOpen;
    outLink.clear();
    StDescriptor folder;
    std::string name;
    int error = OpenParentBeneath(inRoot, GetPosixPathCString(), true, folder, name, outLink);
    if (error == 0)
    {
        error = ReplaceContentAt(folder.Get(), name, inData, inSize, true, outStep);
        if (error == ELOOP)
            outLink = GetPosixPathCString();
    }
    return PosixError(error);
}

// ---------------------------------------------------------------------------------------------
// Copying, moving, renaming, deleting

bool XMacFile::CallFileManager(const std::function<bool(cf::Error**)>& inCall, cf::Error** outError)
{
    VTask* task = VTaskMgr::IsInited() ? VTaskMgr::GetCurrentTask() : nullptr;
    if (task == nullptr || task->IsThread())
        return inCall(outError);
    // A fiber must not block the thread it shares: the call runs on the work queue while the
    // fiber waits on the event, which lets the other fibers run.
    struct Outcome
    {
        bool fResult = false;
        cf::Error* fError = nullptr;
    };
    VSyncEvent* event = new (std::nothrow) VSyncEvent;
    std::shared_ptr<Outcome> outcome(new (std::nothrow) Outcome);
    if (event == nullptr || outcome == nullptr)
    {
        ReleaseRefCountable(&event);
        return inCall(outError);
    }
    VRefPtr<VSyncEvent> signal(event);
    dispatch::Async(dispatch::GetGlobalQueue(dispatch::kQueuePriorityDefault, 0),
                    [&inCall, signal, outcome]
                    {
                        outcome->fResult = inCall(&outcome->fError);
                        signal->Unlock();
                    });
    signal->Lock();
    if (outError != nullptr)
        *outError = outcome->fError;
    else
        cf::ErrorRelease(outcome->fError);
    return outcome->fResult;
}

bool XMacFile::_DestinationPosixPath(const VFilePath& inDestination, VFilePath& outPath,
                                     char*& outPosixPath) const
{
    outPath = inDestination;
    if (outPath.IsFolder() && fOwner != nullptr)
    {
        VString name;
        fOwner->GetPath().GetName(name);
        outPath.SetFileName(name);
    }
    outPosixPath = AllocatePosixPathFromFilePath(outPath);
    return outPosixPath != nullptr && *outPosixPath != 0 && outPath.IsFile();
}

void XMacFile::_GiveNewFile(const VFilePath& inPath, VFileSystem* inFileSystem, VFile** outFile)
{
    if (outFile != nullptr)
        *outFile = new (std::nothrow) VFile(inPath, inFileSystem);
}

VError XMacFile::_CopyOrMove(bool inMove, const VFilePath& inDestination, VFileSystem* inFileSystem,
                             VFile** outFile, uint32_t inOptions) const
{
    if (outFile != nullptr)
        *outFile = nullptr;
    VFilePath destination;
    char* posixDestination = nullptr;
    const bool usable = _DestinationPosixPath(inDestination, destination, posixDestination);
    StPosixPath destinationPath(posixDestination);
    if (!usable)
        return PosixError(EINVAL);
    const bool replace = (inOptions & FO_Overwrite) != 0;
    // In one folder a rename moves the file, replacing the destination only when asked to.
    VFilePath folder;
    VFilePath destinationFolder;
    if (inMove && fOwner != nullptr && fOwner->GetPath().GetFolder(folder) &&
        destination.GetFolder(destinationFolder) &&
        folder.GetPath().EqualToStringRaw(destinationFolder.GetPath()) &&
        sys::renamex_np(GetPosixPathCString(), destinationPath.Get(), replace ? 0 : sys::kRenameExclusive) ==
            0)
    {
        _GiveNewFile(destination, inFileSystem, outFile);
        return VE_OK;
    }
    const std::string from(GetPosixPathCString());
    const std::string to(destinationPath.Get());
    cf::Error* error = nullptr;
    const bool done = CallFileManager(
        [&](cf::Error** outError) {
            return inMove ? ns::MoveItem(from, to, replace, outError)
                          : ns::CopyItem(from, to, replace, outError);
        },
        &error);
    if (!done)
        return FileManagerError(error);
    _GiveNewFile(destination, inFileSystem, outFile);
    return VE_OK;
}

VError XMacFile::Copy(const VFilePath& inDestination, VFileSystem* inFileSystem, VFile** outFile,
                      uint32_t inOptions) const
{
    return _CopyOrMove(false, inDestination, inFileSystem, outFile, inOptions);
}

VError XMacFile::Move(const VFilePath& inDestination, VFileSystem* inFileSystem, VFile** outFile,
                      uint32_t inOptions) const
{
    return _CopyOrMove(true, inDestination, inFileSystem, outFile, inOptions);
}

VError XMacFile::RenamePath(const char* inPosixPath, const VFilePath& inNewPath)
{
    StPosixPath newPath(AllocatePosixPathFromFilePath(inNewPath));
    if (newPath.IsEmpty())
        return PosixError(EINVAL);
    return sys::renamex_np(inPosixPath, newPath.Get(), sys::kRenameExclusive) == 0 ? VE_OK
                                                                                   : PosixError(errno);
}

VError XMacFile::Rename(const VString& inName, VFile** outFile) const
{
    if (outFile != nullptr)
        *outFile = nullptr;
    if (fOwner == nullptr)
        return PosixError(EINVAL);
    VFilePath newPath(fOwner->GetPath());
    if (!newPath.SetName(inName) || !newPath.IsFile())
        return VE_FILE_BAD_NAME;
    const VError error = RenamePath(GetPosixPathCString(), newPath);
    if (error == VE_OK)
        _GiveNewFile(newPath, fOwner->GetFileSystem(), outFile);
    return error;
}

VError XMacFile::Delete() const
{
    return ::unlink(GetPosixPathCString()) == 0 ? VE_OK : PosixError(errno);
}

VError XMacFile::MoveToTrash() const
{
    cf::Error* error = nullptr;
    return ns::TrashItem(GetPosixPathCString(), nullptr, &error) ? VE_OK : FileManagerError(error);
}

bool XMacFile::Exists() const
{
    struct stat status = {};
    return ::lstat(GetPosixPathCString(), &status) == 0 &&
           (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode));
}

// ---------------------------------------------------------------------------------------------
// Times, attributes, space

VError XMacFile::GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    return GetTimeAttributes(GetPosixPathCString(), false, outModified, outCreated, outAccessed);
}

VError XMacFile::GetTimeAttributes(const char* inPath, bool inFollowLinks, VTime* outModified,
                                   VTime* outCreated, VTime* outAccessed)
{
    struct statx status = {};
    const int flags = inFollowLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(AT_FDCWD, inPath, flags, STATX_BASIC_STATS | STATX_BTIME, &status) != 0)
        return PosixError(errno);
    TimeFromTimestamp(status.stx_mtime, outModified);
    if ((status.stx_mask & STATX_BTIME) != 0)
        TimeFromTimestamp(status.stx_btime, outCreated);
    TimeFromTimestamp(status.stx_atime, outAccessed);
    return VE_OK;
}

VError XMacFile::SetTimeAttributes(const char* inPath, const VTime* inModified, const VTime*,
                                   const VTime* inAccessed)
{
    const struct timespec times[2] = {TimestampFromTime(inAccessed), TimestampFromTime(inModified)};
    if (times[0].tv_nsec == UTIME_OMIT && times[1].tv_nsec == UTIME_OMIT)
        return VE_OK;
    return ::utimensat(AT_FDCWD, inPath, times, AT_SYMLINK_NOFOLLOW) == 0 ? VE_OK : PosixError(errno);
}

VError XMacFile::GetPathAttributes(const char* inPath, bool inFollowLinks, uint32_t& outAttributes)
{
    outAttributes = 0;
    struct statx status = {};
    if (::statx(AT_FDCWD, inPath, inFollowLinks ? 0 : AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &status) != 0)
        return PosixError(errno);
    if ((status.stx_attributes & STATX_ATTR_IMMUTABLE) != 0)
        outAttributes |= kAttributeLocked;
    if (PosixNameBeginsWithDot(inPath))
        outAttributes |= kAttributeHidden;
    return VE_OK;
}

VError XMacFile::SetPathAttributes(const char* inPath, bool inFollowLinks, uint32_t inAttributes)
{
    uint32_t current = 0;
    if (const VError error = GetPathAttributes(inPath, inFollowLinks, current); error != VE_OK)
        return error;
    // Hidden is a matter of the name here: there is no flag to set.
    const bool lock = (inAttributes & kAttributeLocked) != 0;
    if (lock == ((current & kAttributeLocked) != 0))
        return VE_OK;
    return PosixError(ChangeImmutableFlag(inPath, inFollowLinks, lock));
}

VError XMacFile::GetFileAttributes(uint32_t& outAttributes) const
{
    return GetPathAttributes(GetPosixPathCString(), false, outAttributes);
}

VError XMacFile::SetFileAttributes(uint32_t inAttributes) const
{
    return SetPathAttributes(GetPosixPathCString(), false, inAttributes);
}

VError XMacFile::GetEffectivePermission(const char* inPath, uint32_t& outPermission)
{
    outPermission = 0;
    struct stat status = {};
    if (::lstat(inPath, &status) != 0)
        return PosixError(errno);
    const uid_t user = ::geteuid();
    if (user == 0)
    {
        outPermission = 7;
        return VE_OK;
    }
    if (IsImmutable(inPath, false))
        return VE_OK;
    if (status.st_uid == user)
    {
        outPermission = (status.st_mode >> 6) & 7;
        return VE_OK;
    }
    // The process's own groups, which are what the system checks.
    bool inGroup = status.st_gid == ::getegid();
    const int count = ::getgroups(0, nullptr);
    if (!inGroup && count > 0)
    {
        std::vector<gid_t> groups(static_cast<size_t>(count));
        const int got = ::getgroups(count, groups.data());
        inGroup =
            got > 0 && std::find(groups.begin(), groups.begin() + got, status.st_gid) != groups.begin() + got;
    }
    outPermission = inGroup ? (status.st_mode >> 3) & 7 : status.st_mode & 7;
    return VE_OK;
}

VError XMacFile::UnlockPath(const char* inPath)
{
    struct stat status = {};
    if (::lstat(inPath, &status) != 0)
        return PosixError(errno);
    if (IsImmutable(inPath, false))
    {
        if (const int error = ChangeImmutableFlag(inPath, false, false); error != 0)
            return PosixError(error);
    }
    const uid_t user = ::geteuid();
    if (S_ISLNK(status.st_mode) || (user != 0 && user != status.st_uid))
        return VE_OK;
    const mode_t wanted = S_ISDIR(status.st_mode) ? 0700 : 0600;
    if ((status.st_mode & wanted) != wanted && ::chmod(inPath, (status.st_mode & 07777) | wanted) != 0)
        return PosixError(errno);
    return VE_OK;
}

VError XMacFile::Unlock() const
{
    return UnlockPath(GetPosixPathCString());
}

VError XMacFile::GetVolumeFreeSpace(const char* inPath, int64_t* outFree, int64_t* outCapacity,
                                    bool inWithQuotas, const VFileDesc* inDesc)
{
    sVolumeQueries.fetch_add(1, std::memory_order_relaxed);
    struct statvfs status = {};
    int result =
        inDesc != nullptr ? ::fstatvfs(inDesc->GetImpl().GetFD(), &status) : ::statvfs(inPath, &status);
    if (result != 0 && inDesc == nullptr)
    {
        // A file about to be made: its folder's volume.
        VFilePath path;
        GetFilePathFromPosixPath(inPath, false, path);
        StPosixPath parent(AllocatePosixPathFromFilePath(path.ToParent()));
        result = parent.IsEmpty() ? -1 : ::statvfs(parent.Get(), &status);
    }
    if (result != 0)
        return PosixError(errno);
    const uint64_t unit = status.f_frsize != 0 ? status.f_frsize : status.f_bsize;
    if (outFree != nullptr)
        *outFree = int64_t((inWithQuotas ? status.f_bavail : status.f_bfree) * unit);
    if (outCapacity != nullptr)
        *outCapacity = int64_t(status.f_blocks * unit);
    return VE_OK;
}

VError XMacFile::GetVolumeFreeSpace(int64_t* outFree, int64_t* outCapacity, bool inWithQuotas,
                                    const VFileDesc* inDesc) const
{
    return GetVolumeFreeSpace(GetPosixPathCString(), outFree, outCapacity, inWithQuotas, inDesc);
}

uint32_t XMacFile::GetVolumeQueryCountForTesting()
{
    return sVolumeQueries.load(std::memory_order_relaxed);
}

void XMacFile::SetResolveBeneathByHandForTesting(bool inByHand)
{
    sys::SetResolveBeneathByHandForTesting(inByHand);
}

void XMacFile::SetIOFaultForTesting(bool inWrite, int inErrno, int64_t inAfterBytes)
{
    if (inWrite)
        sys::SetWriteFaultForTesting(inErrno, inAfterBytes);
    else
        sys::SetReadFaultForTesting(inErrno, inAfterBytes);
}

VError XMacFile::RevealInFinder() const
{
    ns::ActivateFileViewerSelecting(GetPosixPathCString());
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Links

bool XMacFile::IsSymbolicLink() const
{
    struct stat status = {};
    return ::lstat(GetPosixPathCString(), &status) == 0 && S_ISLNK(status.st_mode);
}

VError XMacFile::ReadSymbolicLink(VString& outText) const
{
    outText.Clear();
    struct stat status = {};
    if (::lstat(GetPosixPathCString(), &status) != 0)
        return PosixError(errno);
    if (!S_ISLNK(status.st_mode))
        return PosixError(EINVAL);
    // Twice the size the system gives and more: a link may change under us.
    std::vector<char> buffer(size_t(status.st_size) * 2 + 10);
    const ssize_t length = ::readlink(GetPosixPathCString(), buffer.data(), buffer.size() - 1);
    if (length < 0)
        return PosixError(errno);
    buffer[size_t(length)] = 0;
    TextFromPosixPath(buffer.data(), outText);
    return VE_OK;
}

VError XMacFile::ResolveAlias(VFilePath& outPath) const
{
    outPath.Clear();
    if (!IsSymbolicLink())
    {
        // No alias but a link here: the file names itself.
        VFileError* error = new (std::nothrow) VFileError(fOwner, VE_FILE_CANNOT_RESOLVE_ALIAS);
        _PushRetainedError(error, VE_OK);
        return VE_FILE_CANNOT_RESOLVE_ALIAS;
    }
    // realpath and stat, never an open: opening the target may block (a pipe) or act (a device).
    char* real = ::realpath(GetPosixPathCString(), nullptr);
    if (real == nullptr)
        return PosixError(errno);
    struct stat status = {};
    const bool found = ::stat(real, &status) == 0;
    const int error = errno;
    if (found)
        GetFilePathFromPosixPath(real, S_ISDIR(status.st_mode), outPath);
    std::free(real);
    return found ? VE_OK : PosixError(error);
}

VError XMacFile::CreateSymbolicLink(const VFilePath& inTarget, bool inRelative) const
{
    VString text;
    if (inRelative && fOwner != nullptr)
    {
        // Up from the link's folder until the target lies below; each level up is a "../".
        VFilePath folder;
        fOwner->GetPath().GetFolder(folder);
        VString prefix;
        while (!inTarget.GetRelativePosixPath(folder, text))
        {
            folder.ToParent();
            prefix.AppendCString("../");
            if (!folder.IsValid())
            {
                text.Clear();
                break;
            }
        }
        if (!text.IsEmpty())
            text.Insert(prefix, 1);
    }
    if (text.IsEmpty())
        inTarget.GetPosixPath(text);
    StPosixPath target(AllocatePosixPathFromString(text));
    if (target.IsEmpty())
        return PosixError(EINVAL);
    // The new link is made aside and renamed over whatever was there, which therefore stays
    // whole when the link cannot be made.
    const std::string path(GetPosixPathCString());
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt)
    {
        const std::string temporary = sys::TemporarySiblingPath(path);
        if (::symlink(target.Get(), temporary.c_str()) != 0)
        {
            if (errno == EEXIST)
                continue;
            return PosixError(errno);
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0)
        {
            const int error = errno;
            ::unlink(temporary.c_str());
            return PosixError(error);
        }
        return VE_OK;
    }
    return PosixError(EEXIST);
}

VError XMacFile::CreateAlias(const VFilePath&, const VFilePath*) const
{
    return PosixError(ENOTSUP);
}

// ---------------------------------------------------------------------------------------------
// Sizes, codes, owners, permissions

VError XMacFile::GetSize(int64_t* outSize) const
{
    struct stat status = {};
    const bool ok = ::lstat(GetPosixPathCString(), &status) == 0;
    if (outSize != nullptr)
        *outSize = ok ? int64_t(status.st_size) : 0;
    return ok ? VE_OK : PosixError(errno);
}

VError XMacFile::GetResourceForkSize(int64_t* outSize) const
{
    if (outSize != nullptr)
        *outSize = 0;
    return VE_OK;
}

VError XMacFile::GetKind(uint32_t* outKind) const
{
    if (outKind != nullptr)
        *outKind = 0;
    return VE_OK;
}

VError XMacFile::GetCreator(uint32_t* outCreator) const
{
    if (outCreator != nullptr)
        *outCreator = 0;
    return VE_OK;
}

VError XMacFile::SetExtensionVisible(bool inVisible) const
{
    return inVisible ? VE_OK : PosixError(ENOTSUP);
}

VError XMacFile::GetUTIString(VString& outIdentifier) const
{
    outIdentifier.Clear();
    const std::string identifier = ut::TypeIdentifierOfItem(GetPosixPathCString());
    if (identifier.empty())
    {
        const int code =
            errno == ENOENT || errno == ENOTDIR ? ns::kFileReadNoSuchFileError : ns::kFileReadUnknownError;
        return MakeVError(kCOMPONENT_COCOA, uint32_t(code));
    }
    TextFromUTF8(identifier.data(), identifier.size(), outIdentifier);
    return VE_OK;
}

VError XMacFile::GetOwner(uint32_t& outUser, uint32_t& outGroup) const
{
    struct stat status = {};
    if (::stat(GetPosixPathCString(), &status) != 0)
        return PosixError(errno);
    outUser = status.st_uid;
    outGroup = status.st_gid;
    return VE_OK;
}

VError XMacFile::MakeWritableByAll() const
{
    struct stat status = {};
    if (::lstat(GetPosixPathCString(), &status) != 0)
        return PosixError(errno);
    const mode_t mode = (status.st_mode | 0666) & 0777;
    return ::fchmodat(AT_FDCWD, GetPosixPathCString(), mode, AT_SYMLINK_NOFOLLOW) == 0 ? VE_OK
                                                                                       : PosixError(errno);
}

bool XMacFile::IsWritableByAll() const
{
    struct stat status = {};
    return ::lstat(GetPosixPathCString(), &status) == 0 && (status.st_mode & S_IWOTH) != 0;
}

VError XMacFile::SetPermissions(uint16_t inMode) const
{
    return ::fchmodat(AT_FDCWD, GetPosixPathCString(), inMode & 0777, AT_SYMLINK_NOFOLLOW) == 0
               ? VE_OK
               : PosixError(errno);
}

VError XMacFile::GetPermissions(uint16_t* outMode) const
{
    struct stat status = {};
    const bool ok = ::lstat(GetPosixPathCString(), &status) == 0;
    if (outMode != nullptr)
        *outMode = ok ? uint16_t(status.st_mode & 0777) : 0;
    return ok ? VE_OK : PosixError(errno);
}

VError XMacFile::GetPermissionsBeneath(const char* inRoot, uint16_t* outMode, std::string& outLink) const
{
    StDescriptor folder;
    std::string name;
    struct stat status = {};
    const int error = StatBeneath(inRoot, GetPosixPathCString(), folder, name, status, outLink);
    if (outMode != nullptr)
        *outMode = error == 0 ? uint16_t(status.st_mode & 0777) : 0;
    return PosixError(error);
}

VError XMacFile::SetPermissionsBeneath(const char* inRoot, uint16_t inMode, std::string& outLink,
                                       bool* outOtherNames) const
{
    if (outOtherNames != nullptr)
        *outOtherNames = false;
    StDescriptor folder;
    std::string name;
    struct stat status = {};
    int error = StatBeneath(inRoot, GetPosixPathCString(), folder, name, status, outLink);
    // The item is held from the look to the change: what changes is what was looked at. A file or
    // a folder is opened for reading, so that its descriptor changes the mode without /proc; any
    // other item (never opened: a device could act on it), and one the caller may not read, is
    // held for its path alone.
    StDescriptor item;
    bool pathOnly = false;
    if (error == 0)
    {
        if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
            item.Reset(::openat(folder.Get(), name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        pathOnly = item.Get() < 0;
        if (pathOnly)
            item.Reset(::openat(folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (item.Get() < 0 || ::fstat(item.Get(), &status) != 0)
            error = errno;
    }
    if (error == 0 && S_ISLNK(status.st_mode))
    {
        outLink = GetPosixPathCString();
        error = ELOOP;
    }
    // Another name of the file may lie outside the folder: it is not changed in place.
    else if (error == 0 && !S_ISDIR(status.st_mode) && status.st_nlink > 1)
    {
        error = EMLINK;
        if (outOtherNames != nullptr)
            *outOtherNames = true;
    }
    // Nothing is written where nothing needs to change.
    else if (error == 0 && (status.st_mode & 07777) != (inMode & 0777u))
    {
        if (pathOnly)
            error = sys::ChangeModeOfPathDescriptor(item.Get(), inMode & 0777);
        else if (::fchmod(item.Get(), inMode & 0777) != 0)
            error = errno;
    }
    return PosixError(error);
}

// ---------------------------------------------------------------------------------------------
// Kinds

VError XMacFile::ConformsTo(const VFileKind& inKind, bool& outConforms) const
{
    outConforms = false;
    VString extension;
    if (fOwner != nullptr)
        fOwner->GetPath().GetExtension(extension);
    if (inKind.IsPublic())
    {
        VString identifier;
        if (const VError error = GetUTIString(identifier); error != VE_OK)
            return error;
        std::string bytes;
        std::string kind;
        TextToUTF8(identifier, bytes);
        TextToUTF8(inKind.GetID(), kind);
        outConforms = ut::ConformsTo(bytes, kind);
    }
    outConforms = outConforms || (!extension.IsEmpty() && inKind.MatchExtension(extension));
    return VE_OK;
}

bool XMacFile::IsFileKindConformsTo(const VFileKind& inKind, const VFileKind& inConformsTo)
{
    std::string target;
    if (!TextToUTF8(inConformsTo.GetID(), target))
        return false;
    std::vector<VString> identifiers{inKind.GetID()};
    // A private kind is known by the parents it declares.
    inKind.GetParentIDs(identifiers);
    for (const VString& identifier : identifiers)
    {
        std::string bytes;
        if (TextToUTF8(identifier, bytes) && ut::ConformsTo(bytes, target))
            return true;
    }
    return false;
}

VFileKind* XMacFile::CreatePublicFileKind(const VString& inIdentifier)
{
    std::string identifier;
    if (!TextToUTF8(inIdentifier, identifier))
        return nullptr;
    const ut::Declaration* declaration = ut::CopyDeclaration(identifier);
    if (declaration == nullptr)
        return nullptr;
    auto texts = [](const std::vector<const char*>& inList)
    {
        std::vector<VString> result;
        for (const char* text : inList)
            result.emplace_back(text);
        return result;
    };
    return VFileKind::Create(VString(declaration->fIdentifier), std::vector<VString>(),
                             VString(declaration->fDescription), texts(declaration->fExtensions),
                             texts(declaration->fConformsTo), true);
}

VFileKind* XMacFile::CreatePublicFileKindFromOsKind(const VString& inOsKind)
{
    std::string bytes;
    if (!TextToUTF8(inOsKind, bytes) || bytes.size() != 4)
        return nullptr;
    const uint32_t code = uint32_t(uint8_t(bytes[0])) << 24 | uint32_t(uint8_t(bytes[1])) << 16 |
                          uint32_t(uint8_t(bytes[2])) << 8 | uint32_t(uint8_t(bytes[3]));
    return PublicKindOfIdentifier(
        ut::CreatePreferredIdentifierForTag(ut::kTagClassOSType, ut::CreateStringForOSType(code)));
}

VFileKind* XMacFile::CreatePublicFileKindFromExtension(const VString& inExtension)
{
    std::string extension;
    if (!TextToUTF8(inExtension, extension))
        return nullptr;
    return PublicKindOfIdentifier(
        ut::CreatePreferredIdentifierForTag(ut::kTagClassFilenameExtension, extension));
}

} // namespace kova
