#include "platform/mac/files/XMacFSObjectIterator.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileText.h"
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
    : fFileSystem(RetainRefCountable(inFolder.GetFileSystem())), fOptions(inOptions),
      fFolderPath(inFolder.GetPath())
{
    // The folder named may be a link to one: it is followed, as the folder's existence is.
    const int fd = ::open(inFolder.GetImpl().GetPosixPathCString(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (sys::GetPathOfDescriptor(fd, fRealPath) != 0)
    {
        ::close(fd);
        return;
    }
    if (fRealPath.back() != '/')
        fRealPath.push_back('/');
    if (!XMacFile::PosixFullPathToHFS(fRealPath.c_str(), true, fColonPath))
    {
        ::close(fd);
        return;
    }
    if (fColonPath.IsEmpty() || fColonPath.GetCPointer()[fColonPath.GetLength() - 1] != u':')
        fColonPath.AppendUniChar(u':');
    DIR* folder = ::fdopendir(fd);
    if (folder == nullptr)
    {
        ::close(fd);
        return;
    }
    while (const struct dirent* entry = ::readdir(folder))
    {
        if (!IsDotOrDotDot(entry->d_name))
            fEntries.push_back(Entry{entry->d_name, entry->d_type});
    }
    ::closedir(folder);
    // The items are named by real paths: the root is compared by its own.
    if (fFileSystem != nullptr && !XMacFile::ResolveRealPath(fFileSystem->GetRoot(), fRootRealPath))
        fEntries.clear();
    fUsable = true;
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
    if (!fUsable)
        return false;
    while (fNext < fEntries.size())
    {
        const Entry& entry = fEntries[fNext++];
        unsigned char type = entry.fType;
        if (type != DT_UNKNOWN && type != DT_DIR && type != DT_REG && type != DT_LNK)
            continue;
        std::string posixPath = fRealPath + entry.fName;
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
            VString name;
            TextFromUTF8(entry.fName.data(), entry.fName.size(), name);
            ComposeText(name);
            // A ":" in a name of the system is a "/" in the colon syntax.
            name.Exchange(u':', u'/');
            VString colonPath(fColonPath);
            colonPath.AppendString(name);
            if (isFolder)
                colonPath.AppendUniChar(u':');
            outPath.FromFullPath(colonPath, FPS_SYSTEM);
            if (!outPath.IsValid())
                continue;
        }
        if (fFileSystem != nullptr && !outPath.IsChildOfRawPath(fRootRealPath))
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
