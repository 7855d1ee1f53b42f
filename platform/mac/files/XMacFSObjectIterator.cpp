#include "platform/mac/files/XMacFSObjectIterator.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VString.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/SysFile.h"
#include "platform/mac/frameworks/SysMount.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace kova
{

namespace
{

bool IsDotOrDotDot(const char* inName)
{
    return inName[0] == '.' && (inName[1] == 0 || (inName[1] == '.' && inName[2] == 0));
}

unsigned char TypeOfMode(mode_t inMode)
{
    return S_ISDIR(inMode) ? DT_DIR : S_ISREG(inMode) ? DT_REG : S_ISLNK(inMode) ? DT_LNK : DT_UNKNOWN;
}

} // namespace

XMacFSObjectIterator::XMacFSObjectIterator(const VFolder& inFolder, uint32_t inOptions)
    : XMacFSObjectIterator(inFolder, inOptions, ReadListing(inFolder))
{
}

XMacFSObjectIterator::XMacFSObjectIterator(const VFolder& inFolder, uint32_t inOptions,
                                           std::shared_ptr<const Listing> inListing)
    : fFileSystem(RetainRefCountable(inFolder.GetFileSystem())), fOptions(inOptions),
      fFolderPath(inFolder.GetPath()), fListing(std::move(inListing))
{
}

std::shared_ptr<const XMacFSObjectIterator::Listing>
XMacFSObjectIterator::ReadListing(const VFolder& inFolder)
{
    // The folder named may be a link to one: it is followed, as the folder's existence is.
    const int fd = ::open(inFolder.GetImpl().GetPosixPathCString(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto listing = std::make_shared<Listing>();
    if (sys::GetPathOfDescriptor(fd, listing->fRealPath) != 0)
    {
        ::close(fd);
        return nullptr;
    }
    if (listing->fRealPath.back() != '/')
        listing->fRealPath.push_back('/');
    // A folder named by its real path has its colon path already; only another one is looked up
    // among the volumes, which reads the mount table.
    if (listing->fRealPath == inFolder.GetImpl().GetPosixPathCString() && inFolder.GetPath().IsFolder())
    {
        listing->fFolder = inFolder.GetPath();
    }
    else
    {
        VString colonPath;
        if (!XMacFile::PosixFullPathToHFS(listing->fRealPath.c_str(), true, colonPath))
        {
            ::close(fd);
            return nullptr;
        }
        if (colonPath.IsEmpty() || colonPath.GetCPointer()[colonPath.GetLength() - 1] != u':')
            colonPath.AppendUniChar(u':');
        listing->fFolder.FromFullPath(colonPath, FPS_SYSTEM);
        if (!listing->fFolder.IsFolder())
        {
            ::close(fd);
            return nullptr;
        }
    }
    // The items are named by real paths: the root is compared by its own.
    if (const VFileSystem* fileSystem = inFolder.GetFileSystem();
        fileSystem != nullptr && !XMacFile::ResolveRealPath(fileSystem->GetRoot(), listing->fRootRealPath))
    {
        ::close(fd);
        return nullptr;
    }
    DIR* folder = ::fdopendir(fd);
    if (folder == nullptr)
    {
        ::close(fd);
        return nullptr;
    }
    while (const struct dirent* entry = ::readdir(folder))
    {
        if (!IsDotOrDotDot(entry->d_name))
            listing->fEntries.push_back(Listing::Entry{entry->d_name, entry->d_type});
    }
    ::closedir(folder);
    return listing;
}

XMacFSObjectIterator::~XMacFSObjectIterator()
{
    ReleaseRefCountable(&fFileSystem);
}

bool XMacFSObjectIterator::_PathOf(const std::string& inPosixPath, bool inIsFolder, VFilePath& outPath) const
{
    VString colonPath;
    if (!XMacFile::PosixFullPathToHFS(inPosixPath.c_str(), false, colonPath))
        return false;
    if (inIsFolder && (colonPath.IsEmpty() || colonPath.GetCPointer()[colonPath.GetLength() - 1] != u':'))
        colonPath.AppendUniChar(u':');
    outPath.FromFullPath(colonPath, FPS_SYSTEM);
    return outPath.IsValid() && (inIsFolder ? outPath.IsFolder() : outPath.IsFile());
}

bool XMacFSObjectIterator::GetNextPath(VFilePath& outPath, std::string& outPosixPath)
{
    fCurrentPath.clear();
    fHasStatus = false;
    if (fListing == nullptr)
        return false;
    while (fNext < fListing->fEntries.size())
    {
        const Listing::Entry& entry = fListing->fEntries[fNext++];
        unsigned char type = entry.fType;
        if (type != DT_UNKNOWN && type != DT_DIR && type != DT_REG && type != DT_LNK)
            continue;
        std::string posixPath = fListing->fRealPath + entry.fName;
        fHasStatus = false;
        if (type == DT_UNKNOWN)
        {
            if (::lstat(posixPath.c_str(), &fStatus) != 0)
                continue;
            fHasStatus = true;
            type = TypeOfMode(fStatus.st_mode);
            if (type == DT_UNKNOWN)
                continue;
        }
        const bool hidden = entry.fName[0] == '.';
        if (hidden && (fOptions & FI_WANT_INVISIBLES) == 0)
            continue;
        bool resolved = false;
        if (type == DT_LNK && (fOptions & FI_RESOLVE_ALIASES) != 0)
        {
            // realpath and lstat, never an open: opening what a link leads to may block (a pipe)
            // or act (a device).
            std::string target;
            if (sys::GetRealPath(posixPath.c_str(), target) != 0 || ::lstat(target.c_str(), &fStatus) != 0)
                continue;
            fHasStatus = true;
            type = TypeOfMode(fStatus.st_mode);
            if (type != DT_DIR && type != DT_REG)
                continue;
            posixPath = std::move(target);
            resolved = true;
        }
        const bool isFolder = type == DT_DIR;
        if ((isFolder && (fOptions & FI_WANT_FOLDERS) == 0) || (!isFolder && (fOptions & FI_WANT_FILES) == 0))
            continue;
        if (resolved)
        {
            if (!_PathOf(posixPath, isFolder, outPath))
                continue;
        }
        else
        {
            // A name of the system holds at most 255 bytes, so as many units.
            VStr<255> name;
            XMacFile::GetNameFromPosixName(entry.fName, name);
            outPath = fListing->fFolder;
            if (isFolder)
                outPath.ToSubFolder(name);
            else
                outPath.ToSubFile(name);
            if (!outPath.IsValid())
                continue;
        }
        if (fFileSystem != nullptr && !outPath.IsChildOfRawPath(fListing->fRootRealPath))
            continue;
        fCurrentPath = posixPath;
        outPosixPath = std::move(posixPath);
        if (isFolder)
            outPosixPath.push_back('/');
        return true;
    }
    return false;
}

bool XMacFSObjectIterator::_CurrentStatus() const
{
    if (fCurrentPath.empty())
        return false;
    if (!fHasStatus)
        fHasStatus = ::lstat(fCurrentPath.c_str(), &fStatus) == 0;
    return fHasStatus;
}

VError XMacFSObjectIterator::GetTime(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    if (fCurrentPath.empty())
    {
        VFileError* error = new (std::nothrow) VFileError(fFolderPath, VE_FILE_CANNOT_RESOLVE_ALIAS);
        _PushRetainedError(error, VE_OK);
        return VE_FILE_NOT_FOUND;
    }
    return XMacFile::GetTimeAttributes(fCurrentPath.c_str(), false, outModified, outCreated, outAccessed);
}

bool XMacFSObjectIterator::GetCurrentIdentity(uint64_t& outDevice, uint64_t& outInode) const
{
    if (!_CurrentStatus())
        return false;
    outDevice = uint64_t(fStatus.st_dev);
    outInode = uint64_t(fStatus.st_ino);
    return true;
}

VFolder* XMacFolderIterator::Next()
{
    VFilePath path;
    std::string posixPath;
    if (!GetNextPath(path, posixPath))
        return nullptr;
    return new (std::nothrow) VFolder(posixPath.c_str(), path, fFileSystem);
}

VFile* XMacFileIterator::Next()
{
    VFilePath path;
    std::string posixPath;
    if (!GetNextPath(path, posixPath))
        return nullptr;
    return new (std::nothrow) VFile(posixPath.c_str(), path, fFileSystem);
}

} // namespace kova
