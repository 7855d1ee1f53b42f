#include "kernel/files/VFolder.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFSObjectIterator.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/files/XMacFile.h"

#include <cerrno>
#include <memory>
#include <new>
#include <set>
#include <utility>
#include <vector>

namespace kova
{

namespace
{

// The name with the style's separator at its end.
VString WithSeparator(const VString& inName, FilePathStyle inStyle)
{
    const UniChar separator = inStyle == FPS_SYSTEM ? u':' : u'/';
    VString name(inName);
    if (name.IsEmpty() || name.GetCPointer()[name.GetLength() - 1] != separator)
        name.AppendUniChar(separator);
    return name;
}

// A name that names one item in a folder: not empty, not "." or "..", no ":".
bool IsItemName(const VString& inName)
{
    return !inName.IsEmpty() && !inName.EqualToUSASCIICString(".") && !inName.EqualToUSASCIICString("..") &&
           inName.FindUniChar(u':') == 0;
}

std::function<void(VValueBag&)> DestinationParameter(const VFilePath& inDestination)
{
    return [inDestination](VValueBag& ioBag) { ioBag.SetString("destination", inDestination.GetPath()); };
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

VFolder::VFolder(const VFilePath& inPath, VFileSystem* inFileSystem)
    : fPath(inPath), fFileSystem(RetainRefCountable(inFileSystem))
{
    fImpl.Init(this);
}

VFolder::VFolder(const VFolder& inOther)
    : VObject(inOther), IFolder(inOther), fPath(inOther.fPath),
      fFileSystem(RetainRefCountable(inOther.fFileSystem))
{
    fImpl.Init(this);
}

VFolder::VFolder(const VString& inPath, FilePathStyle inStyle) : fPath(inPath, inStyle)
{
    fImpl.Init(this);
}

VFolder::VFolder(const VFolder& inParent, const VString& inName, FilePathStyle inStyle)
{
    VFileSystem* fileSystem = inParent.GetFileSystem();
    fPath.FromRelativePath(inParent.GetPath(), WithSeparator(inName, inStyle), inStyle,
                           fileSystem != nullptr);
    if (fileSystem != nullptr && fileSystem->IsAuthorized(fPath))
        fFileSystem = RetainRefCountable(fileSystem);
    fImpl.Init(this);
}

VFolder::VFolder(const char* inPosixPath, const VFilePath& inPath, VFileSystem* inFileSystem)
    : fImpl(inPosixPath), fPath(inPath), fFileSystem(RetainRefCountable(inFileSystem))
{
    fImpl.Init(this);
}

VFolder::VFolder(ns::URL* inURL) : fImpl(inURL)
{
    XMacFile::GetFilePathFromNSURL(inURL, fPath);
    fImpl.Init(this);
}

VFolder::~VFolder()
{
    ReleaseRefCountable(&fFileSystem);
}

VError VFolder::_ThrowNative(VError inNative, VError inOperationError,
                             const std::function<void(VValueBag&)>& inSetParameters) const
{
    return VFileError::ThrowFromNative(fPath, inNative, inOperationError, inSetParameters);
}

VError VFolder::_Throw(VError inError, const std::function<void(VValueBag&)>& inSetParameters) const
{
    VFileError* error = new (std::nothrow) VFileError(fPath, inError);
    if (error != nullptr && inSetParameters)
        inSetParameters(*error->GetBag());
    _PushRetainedError(error, VE_OK);
    return inError;
}

// ---------------------------------------------------------------------------------------------
// Paths, parents, relatives

void VFolder::GetPlatformPath(VString& outPath, FilePathStyle inStyle) const
{
    _GetPlatformPathOf(fImpl, outPath, inStyle);
}

VString VFolder::GetPathWithFileSystem() const
{
    return _MakePathWithFileSystem();
}

VError VFolder::GetURL(VString& outURL, bool inEncoded) const
{
    _MakeURL(outURL, inEncoded);
    return VE_OK;
}

VError VFolder::GetRelativeURL(VFolder* inBase, VString& outURL, bool inEncoded) const
{
    _MakeRelativeURL(inBase, outURL, inEncoded);
    return VE_OK;
}

IFolder* VFolder::RetainParentFolder(bool inSandboxed) const
{
    VFilePath parent;
    if (!fPath.GetParent(parent))
        return nullptr;
    if (fFileSystem != nullptr && fFileSystem->IsAuthorized(parent))
        return new (std::nothrow) VFolder(parent, fFileSystem);
    if (inSandboxed && fFileSystem != nullptr)
        return nullptr;
    return new (std::nothrow) VFolder(parent);
}

IFolder* VFolder::RetainRelativeFolder(const VString& inRelativePath, FilePathStyle inStyle,
                                       VFileSystem* inFileSystem) const
{
    VFileSystem* fileSystem = inFileSystem != nullptr ? inFileSystem : fFileSystem;
    const VString relative =
        inRelativePath.IsEmpty() ? inRelativePath : WithSeparator(inRelativePath, inStyle);
    const VFilePath path(fPath, relative, inStyle, fileSystem != nullptr);
    if (!path.IsFolder() || (fileSystem != nullptr && !fileSystem->IsAuthorized(path)))
        return nullptr;
    return new (std::nothrow) VFolder(path, fileSystem);
}

VFile* VFolder::RetainRelativeFile(const VString& inRelativePath, FilePathStyle inStyle) const
{
    const VFilePath path(fPath, inRelativePath, inStyle, fFileSystem != nullptr);
    if (!path.IsFile() || (fFileSystem != nullptr && !fFileSystem->IsAuthorized(path)))
        return nullptr;
    return new (std::nothrow) VFile(path, fFileSystem);
}

IFile* VFolder::_RetainRelativeIFile(const VString& inRelativePath, FilePathStyle inStyle) const
{
    return RetainRelativeFile(inRelativePath, inStyle);
}

VFolder* VFolder::RetainSystemFolder(ESystemFolderKind inKind, bool inCreate)
{
    VFolder* folder = nullptr;
    XMacFolder::RetainSystemFolder(inKind, inCreate, &folder);
    return folder;
}

// ---------------------------------------------------------------------------------------------
// Existence, creation, rights, times

bool VFolder::Exists() const
{
    return fPath.IsFolder() && fImpl.Exists(true);
}

bool VFolder::IsEmpty() const
{
    return !Exists() || fImpl.IsEmpty();
}

VError VFolder::Create() const
{
    if (Exists())
        return VE_OK;
    return _ThrowNative(fImpl.Create(), VE_FOLDER_CANNOT_CREATE);
}

VError VFolder::CreateRecursive(bool inMakeWritableByAll) const
{
    // The missing ancestors, deepest first; climbed in a loop, as a path from outside may hold any
    // number of components and a fiber's stack is small.
    std::vector<VRefPtr<VFolder>> missing;
    VRefPtr<VFolder> folder = VRefPtr<VFolder>::Retained(const_cast<VFolder*>(this));
    while (folder != nullptr && !folder->Exists())
    {
        missing.push_back(folder);
        folder = VRefPtr<VFolder>(static_cast<VFolder*>(folder->RetainParentFolder(false)));
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level)
    {
        VError error = (*level)->Create();
        if (error == VE_OK && inMakeWritableByAll)
            error = (*level)->MakeWritableByAll();
        if (error != VE_OK)
            return error;
    }
    return VE_OK;
}

VError VFolder::MakeWritableByAll() const
{
    return _ThrowNative(fImpl.MakeWritableByAll(), VE_FOLDER_CANNOT_SET_ATTRIBUTES);
}

VError VFolder::MAC_SetPermissions(uint16_t inMode) const
{
    return _ThrowNative(fImpl.SetPermissions(inMode), VE_FOLDER_CANNOT_SET_ATTRIBUTES);
}

VError VFolder::MAC_GetPermissions(uint16_t* outMode) const
{
    return _ThrowNative(fImpl.GetPermissions(outMode), VE_FOLDER_CANNOT_GET_ATTRIBUTES);
}

VError VFolder::Mac_GetOwner(uint32_t& outUser, uint32_t& outGroup) const
{
    return _ThrowNative(fImpl.GetOwner(outUser, outGroup), VE_FOLDER_CANNOT_GET_ATTRIBUTES);
}

VError VFolder::GetVolumeCapacity(int64_t* outCapacity) const
{
    return _ThrowNative(fImpl.GetVolumeCapacity(outCapacity), VE_FOLDER_CANNOT_GET_ATTRIBUTES);
}

VError VFolder::GetVolumeFreeSpace(int64_t* outFree, bool inWithQuotas) const
{
    return _ThrowNative(fImpl.GetVolumeFreeSpace(outFree, inWithQuotas), VE_FOLDER_CANNOT_GET_ATTRIBUTES);
}

VError VFolder::GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    return _ThrowNative(fImpl.GetTimeAttributes(outModified, outCreated, outAccessed),
                        VE_FOLDER_CANNOT_GET_ATTRIBUTES);
}

VError VFolder::SetTimeAttributes(const VTime* inModified, const VTime* inCreated,
                                  const VTime* inAccessed) const
{
    return _ThrowNative(fImpl.SetTimeAttributes(inModified, inCreated, inAccessed),
                        VE_FILE_CANNOT_GET_ATTRIBUTES);
}

VError VFolder::GetFolderAttributes(uint32_t& outAttributes) const
{
    return fImpl.GetFolderAttributes(outAttributes);
}

VError VFolder::SetFolderAttributes(uint32_t inAttributes) const
{
    return fImpl.SetFolderAttributes(inAttributes);
}

VError VFolder::IsHidden(bool& outHidden) const
{
    return fImpl.IsHidden(outHidden);
}

bool VFolder::IsWritableByAll() const
{
    return fImpl.IsWritableByAll();
}

bool VFolder::MAC_IsPackage() const
{
    return fImpl.IsPackage();
}

bool VFolder::RevealInFinder(bool inInside) const
{
    if (inInside)
    {
        VFileIterator file(this, FI_WANT_FILES | FI_RESOLVE_ALIASES);
        if (file.IsValid() && file->RevealInFinder())
            return true;
        VFolderIterator folder(this, FI_WANT_FOLDERS | FI_RESOLVE_ALIASES);
        if (folder.IsValid() && folder->RevealInFinder(false))
            return true;
    }
    return _ThrowNative(fImpl.RevealInFinder(), VE_FOLDER_CANNOT_REVEAL) == VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Deleting

VError VFolder::Delete(bool inWithContents) const
{
    if (!fPath.IsFolder())
        return _Throw(VE_FOLDER_CANNOT_DELETE);
    // A link goes alone: what it leads to is not this folder's to delete.
    if (fImpl.IsSymbolicLink() || IsEmpty())
        return _ThrowNative(fImpl.Delete(), VE_FOLDER_CANNOT_DELETE);
    if (!inWithContents)
        return _Throw(VE_FOLDER_NOT_EMPTY);
    if (const VError error = DeleteContents(true); error != VE_OK)
        return error;
    return _ThrowNative(fImpl.Delete(), VE_FOLDER_CANNOT_DELETE);
}

VError VFolder::DeleteContents(bool inWithSubFolders) const
{
    if (!fPath.IsFolder())
        return _Throw(VE_FOLDER_CANNOT_DELETE);
    if (!fImpl.Exists(false) && !fImpl.IsSymbolicLink())
        return VE_OK;
    VFilePath failedItem;
    const VError native = fImpl.DeleteContents(
        inWithSubFolders, [] { VTaskMgr::Yield(); }, failedItem);
    return _ThrowDeletion(native, failedItem);
}

VError VFolder::_ThrowDeletion(VError inNative, const VFilePath& inFailedItem) const
{
    if (inNative == VE_OK)
        return VE_OK;
    const VFilePath& item =
        !inFailedItem.IsValid() || inFailedItem.GetPath().EqualToStringRaw(fPath.GetPath()) ? fPath
                                                                                            : inFailedItem;
    std::function<void(VValueBag&)> parameters;
    // A walk stops with EBUSY only at a mount point: the text says which, whatever texts the
    // toolbox's codes have.
    if (inNative == XMacFile::PosixError(EBUSY))
    {
        parameters = [&item](VValueBag& ioBag)
        {
            VString posixPath;
            item.GetPosixPath(posixPath);
            if (posixPath.GetLength() > 1 && posixPath.GetCPointer()[posixPath.GetLength() - 1] == u'/')
                posixPath.Truncate(posixPath.GetLength() - 1);
            VString text(u"Another file system is mounted at ");
            text.AppendString(posixPath);
            text.AppendString(VString(u"; a deletion does not enter it."));
            ErrorBagKeys::error_description.Set(ioBag, text);
        };
    }
    const VError operation = item.IsFile() ? VE_FILE_CANNOT_DELETE : VE_FOLDER_CANNOT_DELETE;
    return VFileError::ThrowFromNative(item, inNative, operation, parameters);
}

VError VFolder::DeleteForced() const
{
    if (!fPath.IsFolder())
        return _Throw(VE_FOLDER_CANNOT_DELETE);
    VFilePath failedItem;
    VError error = fImpl.DeleteForced(failedItem);
    if (error == VE_UNIMPLEMENTED)
    {
        // A platform without a forced deletion of its own: emptied, then deleted.
        error = DeleteContents(true);
        if (error != VE_OK)
            return error;
        error = fImpl.Delete();
    }
    return _ThrowDeletion(error, failedItem);
}

VError VFolder::MoveToTrash() const
{
    if (!Exists())
        return VE_OK;
    return _ThrowNative(fImpl.MoveToTrash(), VE_FOLDER_CANNOT_MOVE_TO_TRASH);
}

// ---------------------------------------------------------------------------------------------
// Renaming, moving, copying

VError VFolder::Rename(const VString& inName, VFolder** outFolder) const
{
    if (outFolder != nullptr)
        *outFolder = nullptr;
    auto parameters = [&inName](VValueBag& ioBag) { ioBag.SetString("newname", inName); };
    if (inName.IsEmpty() || inName.EqualToUSASCIICString(".") || inName.EqualToUSASCIICString(".."))
        return _Throw(VE_FOLDER_CANNOT_RENAME, parameters);
    return _ThrowNative(fImpl.Rename(inName, outFolder), VE_FOLDER_CANNOT_RENAME, parameters);
}

VError VFolder::Move(const VFolder& inDestination, VFolder** outFolder) const
{
    return _ThrowNative(fImpl.Move(inDestination, nullptr, outFolder), VE_FOLDER_CANNOT_RENAME);
}

VError VFolder::Move(const VFolder& inDestination, const VString& inName, VFolder** outFolder) const
{
    return _ThrowNative(fImpl.Move(inDestination, &inName, outFolder), VE_FOLDER_CANNOT_RENAME);
}

VError VFolder::CopyTo(const VFolder& inDestination, VFolder** outFolder, uint32_t inOptions) const
{
    VString name;
    GetName(name);
    return CopyTo(inDestination, name, outFolder, inOptions);
}

VError VFolder::_CheckCopyTarget(const VFolder& inTarget) const
{
    if (inTarget.fImpl.IsSameOrInside(fImpl) || fImpl.IsSameOrInside(inTarget.fImpl))
        return _Throw(VE_FOLDER_CANNOT_COPY, DestinationParameter(inTarget.GetPath()));
    return VE_OK;
}

VError VFolder::CopyTo(const VFolder& inDestination, const VString& inName, VFolder** outFolder,
                       uint32_t inOptions) const
{
    return _CopyTo(inDestination, inName, outFolder, inOptions, true, nullptr);
}

VError VFolder::CopyTo(const VFolder& inDestination, const VString& inName, VFolder** outFolder,
                       uint32_t inOptions, const VFolderCopyRights& inRights) const
{
    return _CopyTo(inDestination, inName, outFolder, inOptions, true, &inRights);
}

VError VFolder::_CopyTo(const VFolder& inDestination, const VString& inName, VFolder** outFolder,
                        uint32_t inOptions, bool inRemoveAbandoned, const VFolderCopyRights* inRights) const
{
    if (outFolder != nullptr)
        *outFolder = nullptr;
    // Rights are given by the whole copy only, before it takes its place.
    if (inDestination.GetPath().IsSameOrChildOf(fPath) || !IsItemName(inName) ||
        (inRights != nullptr && (inOptions & FCO_REPLACE_WHOLE) == 0))
        return _Throw(VE_FOLDER_CANNOT_COPY, DestinationParameter(inDestination.GetPath()));
    VRefPtr<VFolder> target(new (std::nothrow) VFolder(inDestination, inName, FPS_SYSTEM));
    if (target == nullptr)
        return _Throw(VE_MEMORY_FULL);
    if (const VError refused = _CheckCopyTarget(*target); refused != VE_OK)
        return refused;
    VError error = VE_OK;
    if ((inOptions & FCO_REPLACE_WHOLE) != 0)
    {
        if (inRemoveAbandoned)
            inDestination.fImpl.RemoveAbandonedCopies({inName});
        error = _ThrowNative(fImpl.CopyToNonExistingFolder(inDestination, inName, inOptions, inRights),
                             VE_FOLDER_CANNOT_COPY, DestinationParameter(target->GetPath()));
    }
    else
    {
        error = CopyContentsTo(*target, inOptions);
    }
    if (outFolder != nullptr)
        *outFolder = target.Detach();
    return error;
}

VError VFolder::CopyContentsTo(const VFolder& inDestination, uint32_t inOptions) const
{
    const auto destination = DestinationParameter(inDestination.GetPath());
    if (!Exists())
        return _ThrowNative(XMacFile::PosixError(ENOENT), VE_FOLDER_CANNOT_COPY, destination);
    if (inDestination.GetPath().IsSameOrChildOf(fPath))
        return _Throw(VE_FOLDER_CANNOT_COPY, destination);
    if (const VError refused = _CheckCopyTarget(inDestination); refused != VE_OK)
        return refused;
    const bool proceed = (inOptions & FCO_PROCEED_AFTER_ERROR) != 0;
    // A file found in place is kept as a folder found in place is.
    const uint32_t fileOptions =
        (inOptions & FCO_KEEP_EXISTING_TARGET) != 0 ? inOptions & ~FCO_REPLACE_WHOLE : inOptions;
    const bool skipInvisibles = (inOptions & FCO_SKIP_INVISIBLES) != 0;
    const uint32_t invisibles = skipInvisibles ? 0 : FI_WANT_INVISIBLES;
    VError firstError = VE_OK;
    auto keep = [&firstError](VError inError)
    {
        if (firstError == VE_OK)
            firstError = inError;
    };
    // Folders still to copy, each with its copy; a stack of our own, as a tree from outside may be
    // deeper than a fiber's stack allows.
    std::vector<std::pair<VRefPtr<VFolder>, VRefPtr<VFolder>>> pending;
    pending.emplace_back(VRefPtr<VFolder>::Retained(const_cast<VFolder*>(this)),
                         VRefPtr<VFolder>::Retained(const_cast<VFolder*>(&inDestination)));
    while (!pending.empty() && (firstError == VE_OK || proceed))
    {
        const VRefPtr<VFolder> source = pending.back().first;
        const VRefPtr<VFolder> copy = pending.back().second;
        pending.pop_back();
        if (const VError error = copy->Create(); error != VE_OK)
        {
            keep(error);
            continue;
        }
        std::vector<VRefPtr<VFolder>> subFolders;
        std::vector<VString> names;
        for (VFolderIterator folder(source.Get(), FI_WANT_FOLDERS | invisibles); folder.IsValid(); ++folder)
        {
            subFolders.push_back(VRefPtr<VFolder>::Retained(folder.Current()));
            names.emplace_back();
            folder->GetName(names.back());
        }
        // What killed whole copies left here goes in one look at the folder, not one per copy.
        const bool whole = (inOptions & FCO_REPLACE_WHOLE) != 0;
        if (whole)
            copy->fImpl.RemoveAbandonedCopies(names);
        for (size_t i = 0; i < subFolders.size() && (firstError == VE_OK || proceed); ++i)
        {
            if (whole)
            {
                if (const VError error =
                        subFolders[i]->_CopyTo(*copy, names[i], nullptr, inOptions, false, nullptr);
                    error != VE_OK)
                    keep(error);
                continue;
            }
            VFolder* target = new (std::nothrow) VFolder(*copy, names[i], FPS_SYSTEM);
            if (target == nullptr)
            {
                keep(_Throw(VE_MEMORY_FULL));
                continue;
            }
            pending.emplace_back(subFolders[i], VRefPtr<VFolder>(target));
        }
        for (VFileIterator file(source.Get(), FI_WANT_FILES | invisibles);
             file.IsValid() && (firstError == VE_OK || proceed); ++file)
        {
            if (const VError error = file->CopyTo(*copy, nullptr, fileOptions); error != VE_OK)
                keep(error);
        }
        // What the iterators leave out is no file, folder or link: it cannot be copied, and it
        // must not vanish from the copy without a word.
        std::vector<VFilePath> others;
        source->fImpl.GetItemsThatAreNoFilesOrFolders(!skipInvisibles, others);
        for (const VFilePath& other : others)
            keep(VFileError::ThrowFromNative(other, XMacFile::PosixError(ENOTSUP), VE_FOLDER_CANNOT_COPY,
                                             destination));
    }
    return firstError;
}

// ---------------------------------------------------------------------------------------------
// Aliases

VError VFolder::ResolveAliasFolder(VFolder** ioFolder, bool inDeleteUnresolved)
{
    if (ioFolder == nullptr || *ioFolder == nullptr)
        return VE_OK;
    VFolder* folder = *ioFolder;
    if (!folder->fPath.IsFolder() || folder->fImpl.Exists(false))
        return VE_OK;
    // The folder path without its ":" names the alias file.
    const VString& text = folder->fPath.GetPath();
    VString filePath;
    filePath.FromUniString(text.GetCPointer(), text.GetLength() - 1);
    VRefPtr<VFile> alias(new (std::nothrow) VFile(VFilePath(filePath, FPS_SYSTEM)));
    if (alias == nullptr || !alias->IsAliasFile() || !alias->Exists())
        return VE_OK;
    VFilePath target;
    VError error = alias->ResolveAlias(target);
    if (error == VE_OK && target.IsFolder())
    {
        VFolder* resolved = new (std::nothrow) VFolder(target);
        if (resolved == nullptr)
            return VE_MEMORY_FULL;
        *ioFolder = resolved;
        folder->Release();
        return VE_OK;
    }
    if (inDeleteUnresolved)
        return alias->Delete();
    if (error == VE_OK)
        error = folder->_Throw(VE_FOLDER_ALIAS_TARGET_IS_FILE);
    return error;
}

VFolder* VFolder::CreateAndResolveAlias(const VFolder& inParent, const VString& inName)
{
    VFolder* folder = static_cast<VFolder*>(inParent.RetainRelativeFolder(inName, FPS_SYSTEM));
    if (folder == nullptr)
        return nullptr;
    const bool wasAlias = !folder->fImpl.Exists(false) && folder->fImpl.IsSymbolicLink();
    const VFolder* before = folder;
    // A link still there after resolving could not be resolved, and is gone.
    if (ResolveAliasFolder(&folder, true) != VE_OK || (wasAlias && folder == before))
        ReleaseRefCountable(&folder);
    return folder;
}

// ---------------------------------------------------------------------------------------------
// Listing and walking

template <class FILE, class FOLDER>
VError VFolder::_List(std::vector<VRefPtr<FILE>>* outFiles, std::vector<VRefPtr<FOLDER>>* outFolders) const
{
    if (!Exists())
        return VE_OK;
    if (outFiles != nullptr)
    {
        for (VFileIterator file(this, FI_WANT_FILES); file.IsValid(); ++file)
            outFiles->push_back(VRefPtr<FILE>::Retained(file.Current()));
    }
    if (outFolders != nullptr)
    {
        for (VFolderIterator folder(this, FI_WANT_FOLDERS); folder.IsValid(); ++folder)
            outFolders->push_back(VRefPtr<FOLDER>::Retained(folder.Current()));
    }
    return VE_OK;
}

VError VFolder::GetContents(std::vector<VRefPtr<VFile>>* outFiles,
                            std::vector<VRefPtr<VFolder>>* outFolders) const
{
    return _List(outFiles, outFolders);
}

VError VFolder::GetElements(std::vector<VRefPtr<IFile>>* outFiles,
                            std::vector<VRefPtr<IFolder>>* outFolders) const
{
    return _List(outFiles, outFolders);
}

VError VFolder::Iterate(std::function<bool(IFileAttributeAccessor*)>&& inFunction, uint32_t inOptions) const
{
    if (!inFunction)
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return VE_INVALID_PARAMETER;
    }
    if (!Exists())
        return VE_OK;
    const bool withFiles = (inOptions & FI_WANT_FILES) != 0;
    const bool withFolders = (inOptions & (FI_WANT_FOLDERS | FI_ITERATE_RECURSIVELY)) != 0;
    const uint32_t folderOptions = withFiles ? FI_WANT_FOLDERS : inOptions;
    // The folders entered, by identity: a resolved link may lead back up the tree.
    std::set<std::pair<uint64_t, uint64_t>> entered;
    {
        uint64_t device = 0;
        uint64_t inode = 0;
        if (fImpl.GetIdentity(device, inode))
            entered.emplace(device, inode);
    }
    // The sub-folders being walked, one iterator a level: depth first, in a stack of our own.
    std::vector<std::unique_ptr<VFolderIterator>> levels;
    // Lists the files of the folder and opens its level; false when the function ended the walk.
    auto enter = [&](const VFolder* inFolder) -> bool
    {
        // Read once for its files and its sub-folders.
        const auto listing = XMacFSObjectIterator::ReadListing(*inFolder);
        if (withFiles)
        {
            for (VFileIterator file(inFolder, inOptions, listing); file.IsValid(); ++file)
            {
                IFileAttributeAccessor* accessor = file.GetAttributeAccessor();
                accessor->SetDocument(static_cast<IFile*>(file.Current()));
                if (!inFunction(accessor))
                    return false;
            }
        }
        if (withFolders)
            levels.push_back(std::make_unique<VFolderIterator>(inFolder, folderOptions, listing));
        return true;
    };
    if (!enter(this))
        return VE_OK;
    while (!levels.empty())
    {
        VFolderIterator& folder = *levels.back();
        if (!folder.IsValid())
        {
            levels.pop_back();
            continue;
        }
        if ((inOptions & FI_WANT_FOLDERS) != 0)
        {
            IFileAttributeAccessor* accessor = folder.GetAttributeAccessor();
            accessor->SetDocument(static_cast<IFolder*>(folder.Current()));
            if (!inFunction(accessor))
                return VE_OK;
        }
        VRefPtr<VFolder> sub;
        uint64_t device = 0;
        uint64_t inode = 0;
        if ((inOptions & FI_ITERATE_RECURSIVELY) != 0 &&
            folder.GetImpl()->GetCurrentIdentity(device, inode) && entered.emplace(device, inode).second)
            sub = VRefPtr<VFolder>::Retained(folder.Current());
        ++folder;
        if (sub != nullptr && !enter(sub.Get()))
            return VE_OK;
    }
    return VE_OK;
}

} // namespace kova
