#include "kernel/files/VFile.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFileDesc.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileKind.h"
#include "kernel/files/VFileKindManager.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VFolder.h"
#include "kernel/files/VURL.h"
#include "kernel/files/VVolumeInfo.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/values/VUUID.h"
#include "kernel/values/VValueBag.h"

#include <memory>
#include <new>

namespace kova
{

namespace
{

// Owns a descriptor for one scope: the file is closed on every path.
using StFileDesc = std::unique_ptr<VFileDesc>;

void SetDestination(VValueBag& ioBag, const VFilePath& inDestination, uint32_t inOptions)
{
    ioBag.SetString("destination", inDestination.GetPath());
    ioBag.SetLong("options", int32_t(inOptions));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

VFile::VFile(const VFilePath& inPath, VFileSystem* inFileSystem)
    : fPath(inPath), fFileSystem(RetainRefCountable(inFileSystem))
{
    fImpl.Init(this);
}

VFile::VFile(const VFile& inOther)
    : VObject(inOther), IFile(inOther), fPath(inOther.fPath),
      fFileSystem(RetainRefCountable(inOther.fFileSystem))
{
    fImpl.Init(this);
}

VFile::VFile(const VString& inPath, FilePathStyle inStyle) : fPath(inPath, inStyle)
{
    fImpl.Init(this);
}

VFile::VFile(const VURL& inURL)
{
    inURL.GetFilePath(fPath);
    fImpl.Init(this);
}

VFile::VFile(const VFolder& inFolder, const VString& inName, FilePathStyle inStyle)
{
    fPath.FromRelativePath(inFolder.GetPath(), inName, inStyle, false);
    VFileSystem* fileSystem = inFolder.GetFileSystem();
    if (fileSystem != nullptr && fPath.IsChildOf(fileSystem->GetRoot()))
        fFileSystem = RetainRefCountable(fileSystem);
    fImpl.Init(this);
}

VFile::VFile(const VFilePath& inBase, const VString& inRelativePath, FilePathStyle inStyle)
    : fPath(inBase, inRelativePath, inStyle, false)
{
    fImpl.Init(this);
}

VFile::VFile(const char* inPosixPath, const VFilePath& inPath, VFileSystem* inFileSystem)
    : fImpl(inPosixPath), fPath(inPath), fFileSystem(RetainRefCountable(inFileSystem))
{
    fImpl.Init(this);
}

VFile::VFile(ns::URL* inURL) : fImpl(inURL)
{
    XMacFile::GetFilePathFromNSURL(inURL, fPath);
    fImpl.Init(this);
}

VFile::~VFile()
{
    VVolumeInfo* info = fVolumeInfo.exchange(nullptr, std::memory_order_acq_rel);
    ReleaseRefCountable(&info);
    ReleaseRefCountable(&fFileSystem);
}

bool VFile::Init()
{
    return true;
}

void VFile::DeInit() {}

VFile* VFile::CreateTemporaryFile()
{
    VRefPtr<VFolder> folder(VFolder::RetainSystemFolder(eSystemFolderTemporary, true));
    if (folder == nullptr)
        return nullptr;
    VString uuid;
    VUUID(true).GetString(uuid);
    VString name("kov_");
    name.AppendString(uuid);
    VFilePath path(folder->GetPath());
    path.ToSubFile(name);
    VFile* file = new (std::nothrow) VFile(path);
    // Private: what goes into it is its maker's alone.
    if (file != nullptr && file->_Create(0, 0600) != VE_OK)
        ReleaseRefCountable(&file);
    return file;
}

// ---------------------------------------------------------------------------------------------
// Errors

VError VFile::_ThrowNative(VError inNative, VError inOperationError,
                           const std::function<void(VValueBag&)>& inSetParameters) const
{
    return VFileError::ThrowFromNative(fPath, inNative, inOperationError, inSetParameters);
}

VError VFile::_Throw(VError inError, const std::function<void(VValueBag&)>& inSetParameters) const
{
    VFileError* error = new (std::nothrow) VFileError(fPath, inError);
    if (error != nullptr && inSetParameters)
        inSetParameters(*error->GetBag());
    _PushRetainedError(error, VE_OK);
    return inError;
}

// ---------------------------------------------------------------------------------------------
// Paths

void VFile::GetPlatformPath(VString& outPath, FilePathStyle inStyle) const
{
    _GetPlatformPathOf(fImpl, outPath, inStyle);
}

VString VFile::GetPathWithFileSystem() const
{
    return _MakePathWithFileSystem();
}

IFolder* VFile::RetainParentFolder(bool inSandboxed) const
{
    VFilePath parent;
    if (!fPath.GetParent(parent))
        return nullptr;
    if (inSandboxed && fFileSystem != nullptr && !fFileSystem->IsAuthorized(parent))
        return nullptr;
    return new (std::nothrow) VFolder(parent, fFileSystem);
}

VFileSystem* VFile::_FileSystemFor(const VFilePath& inDestination) const
{
    return fFileSystem != nullptr && fFileSystem->IsAuthorized(inDestination) ? fFileSystem : nullptr;
}

bool VFile::IsSameFile(const VFile* inOther) const
{
    return inOther != nullptr && fPath.GetPath().EqualToStringRaw(inOther->fPath.GetPath());
}

VError VFile::GetURL(VString& outURL, bool inEncoded) const
{
    _MakeURL(outURL, inEncoded);
    return VE_OK;
}

VError VFile::GetRelativeURL(VFolder* inBase, VString& outURL, bool inEncoded) const
{
    _MakeRelativeURL(inBase, outURL, inEncoded);
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Existence, creation, opening

bool VFile::Exists() const
{
    return fPath.IsFile() && fImpl.Exists();
}

VError VFile::Create(uint32_t inOptions) const
{
    return _Create(inOptions, 0644);
}

VError VFile::_Create(uint32_t inOptions, uint16_t inMode) const
{
    return _ThrowNative(fImpl.Create(inOptions, inMode), VE_FILE_CANNOT_CREATE,
                        [inOptions](VValueBag& ioBag) { ioBag.SetLong("options", int32_t(inOptions)); });
}

VError VFile::Open(FileAccess inAccess, VFileDesc** outDesc, uint32_t inOptions) const
{
    return _ThrowNative(fImpl.Open(inAccess, inOptions, outDesc), VE_FILE_CANNOT_OPEN,
                        [inAccess, inOptions](VValueBag& ioBag)
                        {
                            ioBag.SetLong("access", int32_t(inAccess));
                            ioBag.SetLong("options", int32_t(inOptions));
                        });
}

// ---------------------------------------------------------------------------------------------
// Copying, moving, renaming, deleting

VError VFile::_CopyOrMove(bool inMove, const VFilePath& inDestination, VFileSystem* inFileSystem,
                          VFile** outFile, uint32_t inOptions) const
{
    if (outFile != nullptr)
        *outFile = nullptr;
    const VError operationError = inMove ? VE_FILE_CANNOT_MOVE : VE_FILE_CANNOT_COPY;
    auto parameters = [&inDestination, inOptions](VValueBag& ioBag)
    { SetDestination(ioBag, inDestination, inOptions); };
    // An unusable path, this one or the destination, never reaches the system.
    if (!fPath.IsFile() || !inDestination.IsValid() || inDestination.IsEmpty())
        return _Throw(operationError, parameters);
    const VError native = inMove ? fImpl.Move(inDestination, inFileSystem, outFile, inOptions)
                                 : fImpl.Copy(inDestination, inFileSystem, outFile, inOptions);
    return _ThrowNative(native, operationError, parameters);
}

VError VFile::CopyTo(const VFilePath& inDestination, VFile** outCopy, uint32_t inOptions) const
{
    return _CopyOrMove(false, inDestination, _FileSystemFor(inDestination), outCopy, inOptions);
}

VError VFile::CopyTo(const VFile& inDestination, uint32_t inOptions) const
{
    return _CopyOrMove(false, inDestination.GetPath(), nullptr, nullptr, inOptions);
}

VError VFile::CopyTo(const VFolder& inDestination, VFile** outCopy, uint32_t inOptions) const
{
    return _CopyOrMove(false, inDestination.GetPath(), inDestination.GetFileSystem(), outCopy, inOptions);
}

VError VFile::CopyFrom(const VFile& inSource, uint32_t inOptions) const
{
    return inSource.CopyTo(*this, inOptions);
}

VError VFile::Rename(const VString& inName, VFile** outFile) const
{
    return _ThrowNative(fImpl.Rename(inName, outFile), VE_FILE_CANNOT_RENAME,
                        [&inName](VValueBag& ioBag) { ioBag.SetString("newname", inName); });
}

VError VFile::Move(const VFilePath& inDestination, VFile** outFile, uint32_t inOptions) const
{
    return _CopyOrMove(true, inDestination, _FileSystemFor(inDestination), outFile, inOptions);
}

VError VFile::Move(const VFile& inDestination, uint32_t inOptions) const
{
    return _CopyOrMove(true, inDestination.GetPath(), inDestination.GetFileSystem(), nullptr, inOptions);
}

VError VFile::Move(const VFolder& inDestination, VFile** outFile, uint32_t inOptions) const
{
    return _CopyOrMove(true, inDestination.GetPath(), inDestination.GetFileSystem(), outFile, inOptions);
}

VError VFile::_Remove(bool inToTrash) const
{
    if (!fPath.IsFile())
        return _Throw(VE_FILE_CANNOT_DELETE);
    // A missing file is removed already.
    if (!fImpl.Exists())
        return VE_OK;
    return _ThrowNative(inToTrash ? fImpl.MoveToTrash() : fImpl.Delete(), VE_FILE_CANNOT_DELETE);
}

VError VFile::Delete() const
{
    return _Remove(false);
}

VError VFile::MoveToTrash() const
{
    return _Remove(true);
}

// ---------------------------------------------------------------------------------------------
// Sizes, times, attributes

VError VFile::GetSize(int64_t* outSize) const
{
    return _ThrowNative(fImpl.GetSize(outSize), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::GetResourceForkSize(int64_t* outSize) const
{
    return _ThrowNative(fImpl.GetResourceForkSize(outSize), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    return _ThrowNative(fImpl.GetTimeAttributes(outModified, outCreated, outAccessed),
                        VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::SetTimeAttributes(const VTime* inModified, const VTime* inCreated,
                                const VTime* inAccessed) const
{
    return _ThrowNative(
        XMacFile::SetTimeAttributes(fImpl.GetPosixPathCString(), inModified, inCreated, inAccessed),
        VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::GetFileAttributes(uint32_t& outAttributes) const
{
    return _ThrowNative(fImpl.GetFileAttributes(outAttributes), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::SetFileAttributes(uint32_t inAttributes) const
{
    return _ThrowNative(fImpl.SetFileAttributes(inAttributes), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::GetVolumeFreeSpace(int64_t* outFree, int64_t* outTotal, bool inWithQuotas,
                                 uint32_t inMaxAgeMilliseconds, const VFileDesc* inDesc) const
{
    int64_t free = 0;
    int64_t total = 0;
    VError error = VE_OK;
    if (inMaxAgeMilliseconds == 0)
    {
        error = fImpl.GetVolumeFreeSpace(&free, &total, inWithQuotas, inDesc);
    }
    else
    {
        const uint32_t now = VSystem::GetCurrentTime();
        VVolumeInfo* info = fVolumeInfo.exchange(nullptr, std::memory_order_acq_rel);
        const uint32_t age =
            info == nullptr ? 0 : (now >= info->GetStamp() ? now - info->GetStamp() : info->GetStamp() - now);
        if (info != nullptr && age <= inMaxAgeMilliseconds && info->IsWithQuotas() == inWithQuotas)
        {
            free = info->GetFree();
            total = info->GetTotal();
            // Put back; whatever another task put there meanwhile goes.
            VVolumeInfo* other = fVolumeInfo.exchange(info, std::memory_order_acq_rel);
            ReleaseRefCountable(&other);
        }
        else
        {
            ReleaseRefCountable(&info);
            error = fImpl.GetVolumeFreeSpace(&free, &total, inWithQuotas, inDesc);
            VVolumeInfo* fresh =
                error == VE_OK ? new (std::nothrow) VVolumeInfo(now, inWithQuotas, free, total) : nullptr;
            VVolumeInfo* other = fVolumeInfo.exchange(fresh, std::memory_order_acq_rel);
            ReleaseRefCountable(&other);
        }
    }
    if (error != VE_OK)
        free = total = 0;
    if (outFree != nullptr)
        *outFree = free;
    if (outTotal != nullptr)
        *outTotal = total;
    return _ThrowNative(error, VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::MAC_GetKind(uint32_t* outKind) const
{
    return _ThrowNative(fImpl.GetKind(outKind), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::MAC_GetCreator(uint32_t* outCreator) const
{
    return _ThrowNative(fImpl.GetCreator(outCreator), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::Mac_GetOwner(uint32_t& outUser, uint32_t& outGroup) const
{
    return _ThrowNative(fImpl.GetOwner(outUser, outGroup), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::MAC_GetPermissions(uint16_t* outMode) const
{
    return _ThrowNative(fImpl.GetPermissions(outMode), VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::MAC_SetKind(uint32_t inKind) const
{
    return _ThrowNative(fImpl.SetKind(inKind), VE_FILE_CANNOT_SET_ATTRIBUTES);
}

VError VFile::MAC_MakeWritableByAll() const
{
    return _ThrowNative(fImpl.MakeWritableByAll(), VE_FILE_CANNOT_SET_ATTRIBUTES);
}

VError VFile::MAC_SetPermissions(uint16_t inMode) const
{
    return _ThrowNative(fImpl.SetPermissions(inMode), VE_FILE_CANNOT_SET_ATTRIBUTES);
}

VError VFile::MAC_GetPermissionsBeneath(const VFolder& inRoot, uint16_t* outMode, VFilePath* outLink) const
{
    std::string link;
    const VError native = fImpl.GetPermissionsBeneath(inRoot.GetImpl().GetPosixPathCString(), outMode, link);
    _GiveLink(link, outLink);
    return _ThrowNative(native, VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFile::MAC_SetPermissionsBeneath(const VFolder& inRoot, uint16_t inMode, VFilePath* outLink,
                                        VFilePath* outOtherNames) const
{
    std::string link;
    bool otherNames = false;
    const VError native =
        fImpl.SetPermissionsBeneath(inRoot.GetImpl().GetPosixPathCString(), inMode, link, &otherNames);
    _GiveLink(link, outLink);
    if (outOtherNames != nullptr)
    {
        if (otherNames)
            *outOtherNames = fPath;
        else
            outOtherNames->Clear();
    }
    return _ThrowNative(native, VE_FILE_CANNOT_SET_ATTRIBUTES);
}

VError VFile::MAC_SetCreator(uint32_t inCreator) const
{
    return _ThrowNative(fImpl.SetCreator(inCreator), VE_FILE_CANNOT_SET_ATTRIBUTES);
}

VError VFile::MAC_SetExtensionVisible(bool inVisible) const
{
    return _ThrowNative(fImpl.SetExtensionVisible(inVisible), VE_FILE_CANNOT_SET_ATTRIBUTES);
}

bool VFile::MAC_IsWritableByAll() const
{
    return fImpl.IsWritableByAll();
}

bool VFile::MAC_IsSymbolicLink() const
{
    return fImpl.IsSymbolicLink();
}

VError VFile::MAC_CreateSymbolicLink(const VFilePath& inTarget, bool inRelative) const
{
    const VError error = fImpl.CreateSymbolicLink(inTarget, inRelative);
    if (error != VE_OK)
        _ThrowError(error);
    return error;
}

VError VFile::Unlock() const
{
    return _ThrowNative(fImpl.Unlock(), VE_FILE_CANNOT_SET_ATTRIBUTES);
}

// ---------------------------------------------------------------------------------------------
// Aliases, kinds, showing

VError VFile::CreateAlias(const VFilePath& inAliasPath, const VFilePath* inRelativeTo) const
{
    return _ThrowNative(fImpl.CreateAlias(inAliasPath, inRelativeTo), VE_FILE_CANNOT_CREATE_ALIAS);
}

VError VFile::ResolveAlias(VFilePath& outPath) const
{
    const VError error = _ThrowNative(fImpl.ResolveAlias(outPath), VE_FILE_CANNOT_RESOLVE_ALIAS);
    if (error != VE_OK)
        outPath.Clear();
    return error;
}

bool VFile::IsAliasFile() const
{
    return fImpl.IsAliasFile();
}

bool VFile::HasResourceFork() const
{
    return fImpl.HasResourceFork();
}

VError VFile::ResolveAliasFile(VFile** ioFile, bool inDeleteUnresolved)
{
    if (ioFile == nullptr || *ioFile == nullptr || !(*ioFile)->IsAliasFile())
        return VE_OK;
    VFile* alias = *ioFile;
    VFilePath target;
    VError error = alias->ResolveAlias(target);
    if (error == VE_OK && target.IsFile())
    {
        VFile* resolved = new (std::nothrow) VFile(target);
        if (resolved == nullptr)
            return VE_MEMORY_FULL;
        *ioFile = resolved;
        alias->Release();
        return VE_OK;
    }
    if (inDeleteUnresolved)
        return alias->Delete();
    if (error == VE_OK)
        error = alias->_Throw(VE_FILE_ALIAS_TARGET_IS_FOLDER);
    return error;
}

VError VFile::ResolveAliasFile(VRefPtr<VFile>& ioFile, bool inDeleteUnresolved)
{
    VFile* file = RetainRefCountable(ioFile.Get());
    const VError error = ResolveAliasFile(&file, inDeleteUnresolved);
    ioFile = VRefPtr<VFile>(file);
    return error;
}

VFile* VFile::CreateAndResolveAlias(const VFolder& inFolder, const VString& inName, FilePathStyle inStyle)
{
    VFile* file = new (std::nothrow) VFile(inFolder, inName, inStyle);
    if (file == nullptr)
        return nullptr;
    const VFile* alias = file->IsAliasFile() ? file : nullptr;
    // An alias that is still the file after resolving could not be resolved, and is gone.
    if (ResolveAliasFile(&file, true) != VE_OK || (alias != nullptr && file == alias))
        ReleaseRefCountable(&file);
    return file;
}

bool VFile::RevealInFinder() const
{
    return _ThrowNative(fImpl.RevealInFinder(), VE_FILE_CANNOT_REVEAL) == VE_OK;
}

bool VFile::ConformsTo(const VFileKind& inKind) const
{
    bool conforms = false;
    return fImpl.ConformsTo(inKind, conforms) == VE_OK && conforms;
}

bool VFile::ConformsTo(const VString& inKindID) const
{
    VFileKindManager* manager = VFileKindManager::Get();
    VRefPtr<VFileKind> kind(manager != nullptr ? manager->RetainFileKind(inKindID) : nullptr);
    return kind != nullptr && ConformsTo(*kind);
}

// ---------------------------------------------------------------------------------------------
// Whole contents

VError VFile::_OpenWithSize(FileAccess inAccess, uint32_t inOptions, std::unique_ptr<VFileDesc>& outDesc,
                            int64_t& outSize) const
{
    VFileDesc* opened = nullptr;
    const VError error = Open(inAccess, &opened, inOptions);
    outDesc.reset(opened);
    if (error != VE_OK)
        return error;
    return _ThrowNative(outDesc->GetImpl().GetSize(&outSize), VE_FILE_CANNOT_GET_SIZE);
}

VError VFile::_CreateParentFolders() const
{
    VRefPtr<IFolder> parent(RetainParentFolder(false));
    return parent != nullptr ? static_cast<VFolder*>(parent.Get())->CreateRecursive(false) : VE_OK;
}

VError VFile::GetContent(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outContent) const
{
    StFileDesc desc;
    int64_t size = 0;
    VError error = _OpenWithSize(FA_READ, FO_FollowLinks | FO_RegularFileOnly, desc, size);
    if (error != VE_OK)
        return error;
    if (uint64_t(size) > SIZE_MAX || !outContent.ResizeExactly(size_t(size)))
    {
        outContent.ResizeExactly(0);
        return _Throw(VE_MEMORY_FULL);
    }
    outContent.SetDataSize(size_t(size));
    if (size > 0)
        error = desc->GetData(outContent.GetDataPtr(), size_t(size), 0);
    // What a failed read left in the buffer is no content.
    if (error != VE_OK)
        outContent.ResizeExactly(0);
    return error;
}

VError VFile::GetData(void* outData, size_t inSize, size_t* outRead) const
{
    if (outRead != nullptr)
        *outRead = 0;
    VFileDesc* opened = nullptr;
    const VError error = Open(FA_READ, &opened, FO_FollowLinks);
    StFileDesc desc(opened);
    if (error != VE_OK)
        return error;
    return desc->GetData(outData, inSize, 0, outRead);
}

VError VFile::SetContent(const void* inData, size_t inSize) const
{
    if (const VError error = _CreateParentFolders(); error != VE_OK)
        return error;
    XMacFile::EContentStep step = XMacFile::eContentOpen;
    const VError native = fImpl.ReplaceContent(inData, inSize, step);
    return _ThrowContentError(native, step, inSize);
}

VError VFile::SetContentBeneath(const VFolder& inRoot, const void* inData, size_t inSize,
                                VFilePath* outLink) const
{
    XMacFile::EContentStep step = XMacFile::eContentOpen;
    std::string link;
    const VError native =
        fImpl.ReplaceContentBeneath(inRoot.GetImpl().GetPosixPathCString(), inData, inSize, step, link);
    _GiveLink(link, outLink);
    return _ThrowContentError(native, step, inSize);
}

VError VFile::_ThrowContentError(VError inNative, XMacFile::EContentStep inStep, size_t inSize) const
{
    switch (inStep)
    {
    case XMacFile::eContentOpen:
        return _ThrowNative(inNative, VE_FILE_CANNOT_OPEN,
                            [](VValueBag& ioBag)
                            {
                                ioBag.SetLong("access", FA_READ_WRITE);
                                ioBag.SetLong("options",
                                              int32_t(FO_FollowLinks | FO_Truncate | FO_CreateIfNotFound));
                            });
    case XMacFile::eContentWrite:
        return _ThrowNative(inNative, VE_FILE_CANNOT_WRITE,
                            [inSize](VValueBag& ioBag)
                            {
                                ioBag.SetLong8("count", int64_t(inSize));
                                ioBag.SetLong8("offset", 0);
                            });
    case XMacFile::eContentCommit:
    default:
        return _ThrowNative(inNative, VE_FILE_CANNOT_FLUSH);
    }
}

void VFile::_GiveLink(const std::string& inLink, VFilePath* outLink)
{
    if (outLink == nullptr)
        return;
    if (inLink.empty())
        outLink->Clear();
    else
        XMacFile::GetFilePathFromPosixPath(inLink.c_str(), false, *outLink);
}

VError VFile::AppendContent(const void* inData, size_t inSize) const
{
    if (const VError error = _CreateParentFolders(); error != VE_OK)
        return error;
    StFileDesc desc;
    int64_t size = 0;
    VError error = _OpenWithSize(FA_READ_WRITE, FO_FollowLinks | FO_CreateIfNotFound, desc, size);
    if (error != VE_OK)
        return error;
    error = desc->PutData(inData, inSize, size);
    // A failed append leaves no part of it behind.
    if (error != VE_OK)
        desc->SetSize(size);
    return error;
}

bool VFile::IsWritable() const
{
    StErrorContextInstaller errors(false, true);
    VFileDesc* opened = nullptr;
    const VError error = Open(FA_READ_WRITE, &opened, FO_ReadAhead);
    delete opened;
    return error == VE_OK;
}

} // namespace kova
