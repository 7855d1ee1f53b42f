#include "kernel/files/VFolder.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileSystem.h"
#include "platform/mac/files/XMacFile.h"

#include <new>
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

} // namespace

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

VFolder::VFolder(ns::URL* inURL) : fImpl(inURL)
{
    XMacFile::GetFilePathFromNSURL(inURL, fPath);
    fImpl.Init(this);
}

VFolder::~VFolder()
{
    ReleaseRefCountable(&fFileSystem);
}

VError VFolder::_ThrowNative(VError inNative, VError inOperationError) const
{
    return VFileError::ThrowFromNative(fPath, inNative, inOperationError);
}

void VFolder::GetPlatformPath(VString& outPath, FilePathStyle inStyle) const
{
    _GetPlatformPathOf(fImpl, outPath, inStyle);
}

VString VFolder::GetPathWithFileSystem() const
{
    return _MakePathWithFileSystem();
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

bool VFolder::Exists() const
{
    return fPath.IsFolder() && fImpl.Exists(true);
}

VError VFolder::GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const
{
    return _ThrowNative(fImpl.GetTimeAttributes(outModified, outCreated, outAccessed),
                        VE_FOLDER_CANNOT_GET_ATTRIBUTES);
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

VError VFolder::GetElements(std::vector<VRefPtr<IFile>>*, std::vector<VRefPtr<IFolder>>*) const
{
    // Listing a folder needs the folder iterators.
    _ThrowError(VE_UNIMPLEMENTED);
    return VE_UNIMPLEMENTED;
}

VError VFolder::Iterate(std::function<bool(IFileAttributeAccessor*)>&&, uint32_t) const
{
    _ThrowError(VE_UNIMPLEMENTED);
    return VE_UNIMPLEMENTED;
}

IFile* VFolder::_RetainRelativeIFile(const VString& inRelativePath, FilePathStyle inStyle) const
{
    const VFilePath path(fPath, inRelativePath, inStyle, fFileSystem != nullptr);
    if (!path.IsFile() || (fFileSystem != nullptr && !fFileSystem->IsAuthorized(path)))
        return nullptr;
    return new (std::nothrow) VFile(path, fFileSystem);
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

VFolder* VFolder::RetainSystemFolder(ESystemFolderKind inKind, bool inCreate)
{
    VFolder* folder = nullptr;
    XMacFolder::RetainSystemFolder(inKind, inCreate, &folder);
    return folder;
}

} // namespace kova
