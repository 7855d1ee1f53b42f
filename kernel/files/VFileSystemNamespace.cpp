#include "kernel/files/VFileSystemNamespace.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/IFile.h"
#include "kernel/files/IFolder.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

namespace
{

bool EndsWithSlash(const VString& inText)
{
    return !inText.IsEmpty() && inText.GetCPointer()[inText.GetLength() - 1] == u'/';
}

// The text of a string property; empty for any other value.
VString StringProperty(const VJSONValue& inObject, const char* inName)
{
    VString text;
    const VJSONValue value = inObject.GetProperty(VString(inName));
    if (value.IsString())
        value.GetString(text);
    return text;
}

// A path that no file system claims, read as a full POSIX path: a file or a folder by its form.
IFile* PosixFile(const VString& inPath)
{
    const VFilePath path(inPath, FPS_POSIX);
    return path.IsFile() ? new (std::nothrow) VFile(path) : nullptr;
}

IFolder* PosixFolder(const VString& inPath)
{
    const VFilePath path(inPath, FPS_POSIX);
    return path.IsFolder() ? new (std::nothrow) VFolder(path) : nullptr;
}

} // namespace

VFileSystemNamespace::VFileSystemNamespace(VFileSystemNamespace* inParent)
    : fParent(RetainRefCountable(inParent))
{
}

VFileSystemNamespace::~VFileSystemNamespace()
{
    fFileSystems.clear();
    ReleaseRefCountable(&fParent);
}

void VFileSystemNamespace::RegisterFileSystem(VFileSystem* inFileSystem)
{
    if (inFileSystem == nullptr)
        return;
    // The file system replaced goes once the lock is left: its end may delete its folder.
    VRefPtr<VFileSystem> replaced;
    {
        StLocker lock(fLock);
        VRefPtr<VFileSystem>& slot = fFileSystems[inFileSystem->GetName()];
        replaced = slot;
        slot = VRefPtr<VFileSystem>::Retained(inFileSystem);
    }
}

VError VFileSystemNamespace::RegisterFileSystem(const VString& inName, IFolder* inRoot, uint32_t inFlags)
{
    VError error = VE_OK;
    VRefPtr<VFileSystem> fileSystem(VFileSystem::Create(inName, inRoot, inFlags, 0, 0, &error));
    RegisterFileSystem(fileSystem.Get());
    return error;
}

void VFileSystemNamespace::UnregisterFileSystem(const VString& inName)
{
    VRefPtr<VFileSystem> removed;
    {
        StLocker lock(fLock);
        auto found = fFileSystems.find(inName);
        if (found == fFileSystems.end())
            return;
        removed = found->second;
        fFileSystems.erase(found);
    }
}

VFileSystem* VFileSystemNamespace::_RetainHere(const VString& inName, uint32_t inOptions,
                                               bool& outFound) const
{
    StLocker lock(fLock);
    auto found = fFileSystems.find(inName);
    outFound = found != fFileSystems.end();
    if (!outFound)
        return nullptr;
    VFileSystem* fileSystem = found->second.Get();
    if ((inOptions & kRefuseHidden) != 0 && (fileSystem->GetFlags() & VFileSystem::kHidden) != 0)
        return nullptr;
    return RetainRefCountable(fileSystem);
}

VFileSystem* VFileSystemNamespace::RetainFileSystem(const VString& inName, uint32_t inOptions) const
{
    for (const VFileSystemNamespace* space = this; space != nullptr; space = space->fParent)
    {
        bool found = false;
        VFileSystem* fileSystem = space->_RetainHere(inName, inOptions, found);
        // A name found stops the search, even when it is refused.
        if (found || (inOptions & kSearchParents) == 0)
            return fileSystem;
    }
    return nullptr;
}

IFolder* VFileSystemNamespace::RetainFileSystemRootFolder(const VString& inName, uint32_t inOptions) const
{
    VRefPtr<VFileSystem> fileSystem(RetainFileSystem(inName, inOptions));
    return fileSystem != nullptr ? fileSystem->RetainRootFolder() : nullptr;
}

VError VFileSystemNamespace::RetainMapOfFileSystems(VFileSystemMap& outMap, uint32_t inOptions) const
{
    if ((inOptions & kSearchParents) != 0 && fParent != nullptr)
        fParent->RetainMapOfFileSystems(outMap, inOptions);
    StLocker lock(fLock);
    for (const auto& [name, fileSystem] : fFileSystems)
    {
        if ((inOptions & kRefuseHidden) != 0 && (fileSystem->GetFlags() & VFileSystem::kHidden) != 0)
            continue;
        outMap[name] = fileSystem;
    }
    return VE_OK;
}

bool VFileSystemNamespace::ParsePathWithFileSystem(const VString& inPath, VRefPtr<VFileSystem>& outFileSystem,
                                                   VString& outRelativePath, uint32_t inOptions) const
{
    if (inPath.IsEmpty() || inPath.IsNull() || inPath.GetCPointer()[0] != u'/')
        return false;
    const int32_t secondSlash = inPath.FindUniChar(u'/', 2);
    if (secondSlash == 0)
        return false;
    VString name;
    name.FromUniString(inPath.GetCPointer() + 1, secondSlash - 2);
    VString rest;
    rest.FromUniString(inPath.GetCPointer() + secondSlash, inPath.GetLength() - secondSlash);
    VRefPtr<VFileSystem> fileSystem(RetainFileSystem(name, inOptions));
    if (fileSystem == nullptr)
        return false;
    const VFilePath root = fileSystem->GetRoot();
    const VFilePath full(root, rest, FPS_POSIX, true);
    VString relative;
    // Parent steps that climb out of the root leave a path that is not inside it.
    if (!full.IsValid() || !full.GetRelativePosixPath(root, relative))
        return false;
    outFileSystem = fileSystem;
    outRelativePath.FromString(relative);
    return true;
}

IFile* VFileSystemNamespace::RetainFile(const VString& inPath, IFolder* inBase, uint32_t inOptions,
                                        bool inAcceptPosixPath) const
{
    if (inPath.IsEmpty() || inPath.IsNull())
        return nullptr;
    if (inPath.GetCPointer()[0] == u'/')
    {
        VRefPtr<VFileSystem> fileSystem;
        VString relative;
        if (ParsePathWithFileSystem(inPath, fileSystem, relative, inOptions))
        {
            if (relative.IsEmpty() || EndsWithSlash(relative))
                return nullptr;
            VRefPtr<IFolder> root(fileSystem->RetainRootFolder());
            return root != nullptr ? root->_RetainRelativeIFile(relative, FPS_POSIX) : nullptr;
        }
        return inBase == nullptr && inAcceptPosixPath ? PosixFile(inPath) : nullptr;
    }
    if (inBase != nullptr)
        return inBase->_RetainRelativeIFile(inPath, FPS_POSIX);
    return inAcceptPosixPath ? PosixFile(inPath) : nullptr;
}

IFolder* VFileSystemNamespace::RetainFolder(const VString& inPath, IFolder* inBase, uint32_t inOptions,
                                            bool inAcceptPosixPath) const
{
    if (inPath.IsEmpty() || inPath.IsNull())
        return nullptr;
    if (inPath.GetCPointer()[0] == u'/')
    {
        VString path(inPath);
        if (!EndsWithSlash(path))
            path.AppendUniChar(u'/');
        VRefPtr<VFileSystem> fileSystem;
        VString relative;
        if (ParsePathWithFileSystem(path, fileSystem, relative, inOptions))
        {
            if (!relative.IsEmpty() && !EndsWithSlash(relative))
                return nullptr;
            VRefPtr<IFolder> root(fileSystem->RetainRootFolder());
            return root != nullptr ? root->RetainRelativeFolder(relative, FPS_POSIX, nullptr) : nullptr;
        }
        return inBase == nullptr && inAcceptPosixPath ? PosixFolder(inPath) : nullptr;
    }
    if (inBase != nullptr)
        return inBase->RetainRelativeFolder(inPath, FPS_POSIX, nullptr);
    return inAcceptPosixPath ? PosixFolder(inPath) : nullptr;
}

IFile* VFileSystemNamespace::RetainFile(const VFileSystemNamespace* inSpace, const VString& inPath,
                                        IFolder* inBase, uint32_t inOptions, bool inAcceptPosixPath)
{
    if (inSpace != nullptr)
        return inSpace->RetainFile(inPath, inBase, inOptions, inAcceptPosixPath);
    if (inPath.IsEmpty() || inPath.IsNull())
        return nullptr;
    if (inBase != nullptr)
        return inBase->_RetainRelativeIFile(inPath, FPS_POSIX);
    return PosixFile(inPath);
}

IFolder* VFileSystemNamespace::RetainFolder(const VFileSystemNamespace* inSpace, const VString& inPath,
                                            IFolder* inBase, uint32_t inOptions, bool inAcceptPosixPath)
{
    if (inSpace != nullptr)
        return inSpace->RetainFolder(inPath, inBase, inOptions, inAcceptPosixPath);
    if (inPath.IsEmpty() || inPath.IsNull())
        return nullptr;
    if (inBase != nullptr)
        return inBase->RetainRelativeFolder(inPath, FPS_POSIX, nullptr);
    return PosixFolder(inPath);
}

VError VFileSystemNamespace::LoadFromDefinitionFile(VFile* inFile)
{
    if (inFile == nullptr)
    {
        _ThrowError(VE_UNKNOWN_ERROR);
        return VE_UNKNOWN_ERROR;
    }
    // Undefined on failure, strict.
    constexpr uint32_t kStrictOrUndefined = 3;
    VJSONValue definitions;
    const VError error = VJSONImporter::ParseFile(inFile, definitions, kStrictOrUndefined);
    if (error != VE_OK)
    {
        VErrorBase* cannotParse = new (std::nothrow) VErrorBase(VE_FS_CANNOT_PARSE_DEFINITION);
        if (cannotParse != nullptr)
            cannotParse->GetBag()->SetString("path", inFile->GetPath().GetPath());
        _PushRetainedError(cannotParse, VE_OK);
        return error;
    }
    if (definitions.IsArray())
        LoadFromJSONArray(definitions.GetArray());
    return VE_OK;
}

VError VFileSystemNamespace::LoadFromJSONArray(const VJSONArray* inArray)
{
    if (inArray == nullptr)
        return VE_OK;
    StLocker lock(fLock);
    for (size_t index = 0; index < inArray->GetCount(); ++index)
    {
        const VJSONValue definition = inArray->GetAt(index);
        if (!definition.IsObject())
            continue;
        const VString name = StringProperty(definition, "name");
        VString path = StringProperty(definition, "path");
        const VString parentName = StringProperty(definition, "parent");
        // "writable" is left unread: no flag of a file system stands for it.
        if (!path.IsEmpty() && !EndsWithSlash(path) && path.GetCPointer()[path.GetLength() - 1] != u'\\')
            path.AppendUniChar(u'/');
        // A definition never replaces a file system already registered here (".PRODUCT_RESOURCES").
        if (name.IsEmpty() || name.FindUniChar(u'/') != 0 || fFileSystems.find(name) != fFileSystems.end())
            continue;

        VRefPtr<IFolder> root;
        if (!parentName.IsEmpty())
        {
            VRefPtr<VFileSystem> parent(RetainFileSystem(parentName, kSearchParents));
            if (parent == nullptr)
                continue;
            VRefPtr<IFolder> parentRoot(parent->RetainRootFolder());
            if (parentRoot == nullptr)
                continue;
            root.Reset(parentRoot->RetainRelativeFolder(path, FPS_POSIX, nullptr));
            // Parent steps or links must not lead a definition out of its parent's root.
            if (root == nullptr || !parent->IsAuthorized(root->GetPath()))
                continue;
        }
        else
        {
            if (path.IsEmpty() || path.GetCPointer()[0] != u'/')
                continue;
            VFilePath rootPath;
            rootPath.FromFullPath(path, FPS_POSIX);
            if (!rootPath.IsValid() || !rootPath.IsFolder())
                continue;
            root.Reset(new (std::nothrow) VFolder(rootPath));
            if (root == nullptr)
                continue;
        }
        VRefPtr<VFileSystem> fileSystem(VFileSystem::Create(name, root.Get(), 0, 0, 0, nullptr));
        if (fileSystem != nullptr)
            fFileSystems[name] = fileSystem;
    }
    return VE_OK;
}

} // namespace kova
