#include "platform/mac/files/XMacFolder.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/FileText.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/CFError.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/NSURL.h"
#include "platform/mac/frameworks/NSWorkspace.h"
#include "platform/mac/frameworks/SysMount.h"
#include "platform/mac/frameworks/SysTree.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{

namespace
{

// The code of a file-manager call that failed, whatever it handed back.
VError FileManagerError(cf::Error* inError)
{
    const VError error = VErrorBase::MakeVErrorFromCFErrorAndRelease(inError);
    return error != VE_OK ? error : MakeVError(kCOMPONENT_COCOA, uint32_t(ns::kFileWriteUnknownError));
}

std::string WithoutTrailingSlash(const char* inPath)
{
    std::string path(inPath);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string FolderOf(const std::string& inPath)
{
    const size_t slash = inPath.rfind('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : inPath.substr(0, slash);
}

// The item a walk over the folder's tree failed on: the folder itself (inOwner's path) or one
// inside it, named from the folder's path as its listing names its items. The failure's POSIX path
// is not read back as a whole: at a mount point it would give the root of the volume mounted
// there (a path that dies with the mount) whenever the volume cache happens to know that volume.
void GetFailedItem(const sys::TreeFailure& inFailure, const std::string& inItem, const VFolder* inOwner,
                   VFilePath& outFailedItem)
{
    const std::string& failed = inFailure.fPath;
    if (failed.empty() || failed == inItem)
    {
        if (inOwner != nullptr)
            outFailedItem = inOwner->GetPath();
        return;
    }
    struct stat status = {};
    const bool isFolder = ::lstat(failed.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    const std::string inside = inItem.empty() || inItem.back() != '/' ? inItem + '/' : inItem;
    if (inOwner == nullptr || failed.compare(0, inside.size(), inside) != 0)
    {
        XMacFile::GetFilePathFromPosixPath(failed.c_str(), isFolder, outFailedItem);
        return;
    }
    outFailedItem = inOwner->GetPath();
    VStr<255> name;
    for (size_t start = inside.size(); outFailedItem.IsValid();)
    {
        const size_t slash = failed.find('/', start);
        const bool last = slash == std::string::npos;
        XMacFile::GetNameFromPosixName(failed.substr(start, last ? slash : slash - start), name);
        if (last && !isFolder)
            outFailedItem.ToSubFile(name);
        else
            outFailedItem.ToSubFolder(name);
        if (last)
            break;
        start = slash + 1;
    }
}

bool IsNameOfNoItem(const VString& inName)
{
    return inName.IsEmpty() || inName.EqualToUSASCIICString(".") || inName.EqualToUSASCIICString("..");
}

// The folder of the kind as the file manager finds it: a path without trailing "/", or empty.
// outError gets the file manager's failure.
std::string SystemFolderPath(int32_t inKind, bool inCreate, cf::Error** outError)
{
    struct Search
    {
        int fDirectory;
        int fDomain;
    };
    static const Search kSearches[] = {
        {0, 0},                                                   // 0: the executable's folder
        {ns::kDocumentDirectory, ns::kUserDomainMask},            // 1
        {0, 0},                                                   // 2: the temporary folder
        {0, 0},                                                   // 3: none
        {ns::kApplicationSupportDirectory, ns::kLocalDomainMask}, // 4
        {ns::kApplicationSupportDirectory, ns::kUserDomainMask},  // 5
        {ns::kApplicationSupportDirectory, ns::kLocalDomainMask}, // 6
        {ns::kApplicationSupportDirectory, ns::kUserDomainMask},  // 7
        {ns::kDesktopDirectory, ns::kUserDomainMask},             // 8
        {ns::kApplicationDirectory, ns::kLocalDomainMask},        // 9
        {ns::kCachesDirectory, ns::kLocalDomainMask},             // 10
        {ns::kCachesDirectory, ns::kUserDomainMask},              // 11
        {ns::kLibraryDirectory, ns::kUserDomainMask},             // 12
        {0, 0},                                                   // 13: the home folder
    };
    if (inKind < 0 || inKind >= int32_t(sizeof(kSearches) / sizeof(kSearches[0])) ||
        inKind == eSystemFolderNone)
        return std::string();
    switch (inKind)
    {
    case eSystemFolderExecutable:
    {
        const std::string executable = cf::BundleCopyExecutablePath(*cf::GetMainBundle());
        return executable.empty() ? executable : FolderOf(executable);
    }
    case eSystemFolderTemporary:
    {
        // The temporary folder is the user's own when $TMPDIR names one that is missing.
        std::string folder = WithoutTrailingSlash(ns::TemporaryDirectory().c_str());
        if (inCreate && !ns::CreateDirectoryAtPath(folder, true, 0700, outError))
            folder.clear();
        return folder;
    }
    case eSystemFolderHome:
        return ns::HomeDirectoryForCurrentUser();
    default:
    {
        std::string folder;
        ns::URLForDirectory(kSearches[inKind].fDirectory, kSearches[inKind].fDomain, inCreate, folder,
                            outError);
        return folder;
    }
    }
}

} // namespace

XMacFolder::XMacFolder() = default;

XMacFolder::XMacFolder(const char* inPosixPath)
{
    if (inPosixPath != nullptr)
        fPosixPath = XMacFile::CopyPosixPath(inPosixPath, true);
}

XMacFolder::XMacFolder(ns::URL* inURL)
{
    fPosixPath = XMacFile::AdoptURL(inURL, fURL, true);
}

XMacFolder::~XMacFolder()
{
    XMacFile::ReleasePathAndURL(fPosixPath, fURL);
}

void XMacFolder::Init(VFolder* inOwner)
{
    fOwner = inOwner;
    if (fPosixPath == nullptr && inOwner != nullptr)
        fPosixPath = XMacFile::AllocatePosixPathFromFilePath(inOwner->GetPath());
}

std::string XMacFolder::_ItemPath() const
{
    return WithoutTrailingSlash(GetPosixPathCString());
}

std::string XMacFolder::_SubItemPath(const VFolder& inFolder, const VString& inName, VFilePath& outPath)
{
    outPath = inFolder.GetPath();
    // A ":" would make the name a path of several folders.
    if (IsNameOfNoItem(inName) || inName.FindUniChar(u':', 1, false) != 0 || !outPath.IsFolder())
        return std::string();
    outPath.ToSubFolder(inName);
    char* posix = XMacFile::AllocatePosixPathFromFilePath(outPath);
    std::string path = posix != nullptr ? WithoutTrailingSlash(posix) : std::string();
    if (posix != nullptr)
        VObject::sCppMemMgr->Free(posix);
    return outPath.IsFolder() ? path : std::string();
}

// ---------------------------------------------------------------------------------------------
// Creating and deleting

VError XMacFolder::Create() const
{
    return ::mkdir(GetPosixPathCString(), 0755) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFolder::Delete() const
{
    const std::string item = _ItemPath();
    struct stat status = {};
    if (::lstat(item.c_str(), &status) != 0)
        return XMacFile::PosixError(errno);
    const int result = S_ISDIR(status.st_mode) ? ::rmdir(item.c_str()) : ::unlink(item.c_str());
    return result == 0 ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFolder::DeleteForced(VFilePath& outFailedItem) const
{
    const std::string item = _ItemPath();
    const std::string parent = FolderOf(item);
    // The parent must let its entries go for the time of the deletion.
    uint32_t attributes = 0;
    VError error = XMacFile::GetPathAttributes(parent.c_str(), true, attributes);
    bool relock = false;
    if (error == VE_OK && (attributes & XMacFile::kAttributeLocked) != 0)
    {
        error = XMacFile::SetPathAttributes(parent.c_str(), true, attributes & ~XMacFile::kAttributeLocked);
        relock = error == VE_OK;
    }
    struct stat status = {};
    bool restoreMode = false;
    if (error == VE_OK)
    {
        const uid_t user = ::geteuid();
        if (::stat(parent.c_str(), &status) != 0)
            error = XMacFile::PosixError(errno);
        else if ((status.st_mode & 0700) != 0700 && status.st_uid == user && user != 0)
        {
            if (::chmod(parent.c_str(), (status.st_mode & 07777) | 0700) != 0)
                error = XMacFile::PosixError(errno);
            else
                restoreMode = true;
        }
    }
    if (error == VE_OK)
    {
        sys::RemoveOptions options;
        options.fUnlock = true;
        sys::TreeFailure failure;
        error = XMacFile::PosixError(sys::RemoveTree(item, options, &failure));
        if (error != VE_OK)
            GetFailedItem(failure, item, fOwner, outFailedItem);
    }
    // Put back on every path, the walk's failure included: the parent is the caller's, not ours.
    VError restored = VE_OK;
    if (restoreMode && ::chmod(parent.c_str(), status.st_mode & 07777) != 0)
        restored = XMacFile::PosixError(errno);
    if (relock && restored == VE_OK)
        restored = XMacFile::SetPathAttributes(parent.c_str(), true, attributes);
    if (restored != VE_OK && fOwner != nullptr)
        VFileError::ThrowFromNative(fOwner->GetPath(), restored, VE_FOLDER_CANNOT_SET_ATTRIBUTES);
    return error;
}

VError XMacFolder::DeleteContents(bool inWithSubFolders, const std::function<void()>& inAfterFolder,
                                  VFilePath& outFailedItem) const
{
    sys::RemoveOptions options;
    options.fWithSubFolders = inWithSubFolders;
    options.fAfterFolder = inAfterFolder;
    sys::TreeFailure failure;
    const std::string item = _ItemPath();
    const int error = sys::RemoveTreeContents(item, options, &failure);
    if (error != 0)
        GetFailedItem(failure, item, fOwner, outFailedItem);
    return XMacFile::PosixError(error);
}

VError XMacFolder::MoveToTrash() const
{
    cf::Error* error = nullptr;
    return ns::TrashItem(_ItemPath(), nullptr, &error) ? VE_OK : FileManagerError(error);
}

// ---------------------------------------------------------------------------------------------
// Questions

bool XMacFolder::Exists(bool inFollowLinks) const
{
    struct stat status = {};
    const int result =
        inFollowLinks ? ::stat(GetPosixPathCString(), &status) : ::lstat(_ItemPath().c_str(), &status);
    return result == 0 && S_ISDIR(status.st_mode);
}

bool XMacFolder::IsSymbolicLink() const
{
    struct stat status = {};
    return ::lstat(_ItemPath().c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool XMacFolder::IsEmpty() const
{
    DIR* folder = ::opendir(GetPosixPathCString());
    if (folder == nullptr)
        return true;
    bool empty = true;
    while (const struct dirent* entry = ::readdir(folder))
    {
        const char* name = entry->d_name;
        if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))))
        {
            empty = false;
            break;
        }
    }
    ::closedir(folder);
    return empty;
}

VError XMacFolder::RevealInFinder() const
{
    ns::ActivateFileViewerSelecting(_ItemPath());
    return VE_OK;
}

VError XMacFolder::IsHidden(bool& outHidden) const
{
    outHidden = false;
    struct stat status = {};
    if (::stat(GetPosixPathCString(), &status) != 0)
        return XMacFile::PosixError(errno);
    outHidden = XMacFile::PosixNameBeginsWithDot(GetPosixPathCString());
    return VE_OK;
}

void XMacFolder::GetItemsThatAreNoFilesOrFolders(bool inWithInvisibles,
                                                 std::vector<VFilePath>& outItems) const
{
    outItems.clear();
    DIR* folder = ::opendir(GetPosixPathCString());
    if (folder == nullptr)
        return;
    const std::string base = _ItemPath() == "/" ? std::string() : _ItemPath();
    while (const struct dirent* entry = ::readdir(folder))
    {
        const char* name = entry->d_name;
        if ((name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) ||
            (name[0] == '.' && !inWithInvisibles))
            continue;
        const std::string path = base + "/" + name;
        unsigned char type = entry->d_type;
        struct stat status = {};
        if (type == DT_UNKNOWN && ::lstat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
            !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
            type = DT_FIFO;
        if (type == DT_DIR || type == DT_REG || type == DT_LNK || type == DT_UNKNOWN)
            continue;
        VFilePath item;
        XMacFile::GetFilePathFromPosixPath(path.c_str(), false, item);
        outItems.push_back(item);
    }
    ::closedir(folder);
}

bool XMacFolder::GetIdentity(uint64_t& outDevice, uint64_t& outInode) const
{
    struct stat status = {};
    if (::stat(GetPosixPathCString(), &status) != 0)
        return false;
    outDevice = uint64_t(status.st_dev);
    outInode = uint64_t(status.st_ino);
    return true;
}

bool XMacFolder::IsSameOrInside(const XMacFolder& inOther) const
{
    struct stat other = {};
    return ::stat(inOther.GetPosixPathCString(), &other) == 0 && S_ISDIR(other.st_mode) &&
           sys::IsSameOrInside(_ItemPath(), other);
}

// ---------------------------------------------------------------------------------------------
// Renaming, moving, copying

VError XMacFolder::Rename(const VString& inName, VFolder** outFolder) const
{
    if (outFolder != nullptr)
        *outFolder = nullptr;
    if (fOwner == nullptr || IsNameOfNoItem(inName))
        return XMacFile::PosixError(EINVAL);
    VFilePath newPath(fOwner->GetPath());
    if (!newPath.SetName(inName) || !newPath.IsFolder())
        return VE_FILE_BAD_NAME;
    const std::string item = _ItemPath();
    const VError error = XMacFile::RenamePath(item.c_str(), newPath);
    if (error == VE_OK && outFolder != nullptr)
        *outFolder = new (std::nothrow) VFolder(newPath, fOwner->GetFileSystem());
    return error;
}

VError XMacFolder::Move(const VFolder& inDestination, const VString* inName, VFolder** outFolder) const
{
    if (outFolder != nullptr)
        *outFolder = nullptr;
    VString name;
    if (inName != nullptr && !inName->IsEmpty())
        name.FromString(*inName);
    else if (fOwner != nullptr)
        fOwner->GetPath().GetFolderName(name);
    VFilePath destinationPath;
    const std::string to = _SubItemPath(inDestination, name, destinationPath);
    if (to.empty())
        return XMacFile::PosixError(EINVAL);
    const std::string from = _ItemPath();
    cf::Error* error = nullptr;
    const bool moved = XMacFile::CallFileManager(
        [&from, &to](cf::Error** outError) { return ns::MoveItem(from, to, false, outError); }, &error);
    if (!moved)
        return FileManagerError(error);
    if (outFolder != nullptr)
        *outFolder = new (std::nothrow) VFolder(destinationPath, inDestination.GetFileSystem());
    return VE_OK;
}

VError XMacFolder::CopyToNonExistingFolder(const VFolder& inDestination, const VString& inName,
                                           uint32_t inOptions, const VFolderCopyRights* inRights) const
{
    VFilePath destinationPath;
    const std::string to = _SubItemPath(inDestination, inName, destinationPath);
    if (to.empty())
        return XMacFile::PosixError(EINVAL);
    // A folder named through a link is the folder the link leads to: resolved here once, so that
    // the copy is a real folder of what it holds, while the walk copies the links inside as links.
    std::string from = _ItemPath();
    if (std::string real; sys::GetRealPath(from.c_str(), real) == 0)
        from = std::move(real);
    const bool replace = (inOptions & FCO_REPLACE_WHOLE) != 0 && (inOptions & FCO_KEEP_EXISTING_TARGET) == 0;
    const bool proceed = (inOptions & FCO_PROCEED_AFTER_ERROR) != 0;
    sys::ItemRights rights;
    if (inRights != nullptr)
    {
        rights.fGiveOwner = inRights->fGiveOwner;
        rights.fUser = uid_t(inRights->fUser);
        rights.fGroup = gid_t(inRights->fGroup);
        rights.fClearedModes = mode_t(inRights->fClearedModes);
    }
    const sys::ItemRights* given = inRights != nullptr ? &rights : nullptr;
    cf::Error* error = nullptr;
    const bool copied = XMacFile::CallFileManager(
        [&](cf::Error** outError) { return ns::CopyItem(from, to, replace, outError, proceed, given); },
        &error);
    return copied ? VE_OK : FileManagerError(error);
}

void XMacFolder::RemoveAbandonedCopies(const std::vector<VString>& inNames) const
{
    if (fOwner == nullptr)
        return;
    // The names as the copies' POSIX paths end, which their temporaries are named after.
    std::vector<std::string> names;
    for (const VString& name : inNames)
    {
        VFilePath path;
        const std::string item = _SubItemPath(*fOwner, name, path);
        if (!item.empty())
            names.push_back(item.substr(item.rfind('/') + 1));
    }
    if (!names.empty())
        sys::RemoveAbandonedTemporaries(_ItemPath(), names);
}

// ---------------------------------------------------------------------------------------------
// Times, rights, volume

VError XMacFolder::SetTimeAttributes(const VTime* inModified, const VTime* inCreated,
                                     const VTime* inAccessed) const
{
    return XMacFile::SetTimeAttributes(GetPosixPathCString(), inModified, inCreated, inAccessed);
}

VError XMacFolder::GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    return XMacFile::GetTimeAttributes(GetPosixPathCString(), true, outModified, outCreated, outAccessed);
}

VError XMacFolder::GetVolumeCapacity(int64_t* outCapacity) const
{
    return XMacFile::GetVolumeFreeSpace(GetPosixPathCString(), nullptr, outCapacity, false, nullptr);
}

VError XMacFolder::GetVolumeFreeSpace(int64_t* outFree, bool inWithQuotas) const
{
    return XMacFile::GetVolumeFreeSpace(GetPosixPathCString(), outFree, nullptr, inWithQuotas, nullptr);
}

VError XMacFolder::GetPosixPath(VString& outPath) const
{
    XMacFile::TextFromPosixPath(GetPosixPathCString(), outPath);
    return VE_OK;
}

VError XMacFolder::MakeWritableByAll() const
{
    return ::chmod(GetPosixPathCString(), 0777) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFolder::GetPermissions(uint16_t* outMode) const
{
    struct stat status = {};
    const bool ok = ::stat(GetPosixPathCString(), &status) == 0;
    if (outMode != nullptr)
        *outMode = ok ? uint16_t(status.st_mode & 0777) : 0;
    return ok ? VE_OK : XMacFile::PosixError(errno);
}

VError XMacFolder::SetPermissions(uint16_t inMode) const
{
    return ::chmod(GetPosixPathCString(), inMode & 0777) == 0 ? VE_OK : XMacFile::PosixError(errno);
}

bool XMacFolder::IsWritableByAll() const
{
    struct stat status = {};
    return ::stat(GetPosixPathCString(), &status) == 0 && (status.st_mode & 0222) != 0;
}

bool XMacFolder::IsTraversable() const
{
    uint32_t permission = 0;
    return XMacFile::GetEffectivePermission(GetPosixPathCString(), permission) == VE_OK &&
           (permission & XMacFile::kPermissionExecute) != 0;
}

VError XMacFolder::GetFolderAttributes(uint32_t& outAttributes) const
{
    return XMacFile::GetPathAttributes(GetPosixPathCString(), true, outAttributes);
}

VError XMacFolder::SetFolderAttributes(uint32_t inAttributes) const
{
    return XMacFile::SetPathAttributes(GetPosixPathCString(), true, inAttributes);
}

bool XMacFolder::IsPackage() const
{
    return ns::IsFilePackageAtPath(_ItemPath());
}

VError XMacFolder::GetOwner(uint32_t& outUser, uint32_t& outGroup) const
{
    struct stat status = {};
    if (::stat(GetPosixPathCString(), &status) != 0)
        return XMacFile::PosixError(errno);
    outUser = status.st_uid;
    outGroup = status.st_gid;
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// System folders

void XMacFolder::SetRemoveFaultForTesting(int inErrno, int inAfterCount)
{
    sys::SetRemoveFaultForTesting(inErrno, inAfterCount);
}

VError XMacFolder::RetainSystemFolder(int32_t inKind, bool inCreate, VFolder** outFolder)
{
    if (outFolder == nullptr)
        return VE_OK;
    cf::Error* error = nullptr;
    const std::string folder = SystemFolderPath(inKind, inCreate, &error);
    if (folder.empty())
        return error != nullptr ? VErrorBase::MakeVErrorFromCFErrorAndRelease(error) : VE_OK;
    ns::URL* url = ns::URL::FileURLWithPath(folder, true);
    if (url == nullptr)
        return VE_OK;
    *outFolder = new (std::nothrow) VFolder(url);
    url->Release();
    return VE_OK;
}

} // namespace kova
