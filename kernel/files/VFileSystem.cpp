#include "kernel/files/VFileSystem.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FolderContainment.h"
#include "kernel/files/IFolder.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/files/XMacFile.h"

#include <new>

namespace kova
{

VFileSystem::VFileSystem(const VString& inName, IFolder* inRoot, uint32_t inFlags, size_t inQuota,
                         size_t inUsed)
    : fName(inName), fRoot(RetainRefCountable(inRoot)), fQuota(inQuota), fFlags(inFlags),
      fAvailable(inQuota > inUsed ? inQuota - inUsed : 0)
{
}

VFileSystem::~VFileSystem()
{
    if ((fFlags & kDeleteRootOnDestruction) != 0)
    {
        if (const VFolder* root = dynamic_cast<const VFolder*>(fRoot); root != nullptr && root->Exists())
        {
            StErrorContextInstaller muted(false, true);
            root->Delete(true);
        }
    }
    ReleaseRefCountable(&fRoot);
}

VFileSystem* VFileSystem::Create(const VString& inName, IFolder* inRoot, uint32_t inFlags, size_t inQuota,
                                 size_t inUsed, VError* outError)
{
    if (inName.IsEmpty() || inName.IsNull() || inName.FindUniChar(u'/') != 0)
    {
        VErrorBase* error = new (std::nothrow) VErrorBase(VE_FS_BAD_NAME);
        if (error != nullptr)
            error->GetBag()->SetString("name", inName);
        _PushRetainedError(error, VE_OK);
        if (outError != nullptr)
            *outError = VE_FS_BAD_NAME;
        return nullptr;
    }
    if (outError != nullptr)
        *outError = VE_OK;
    return new (std::nothrow) VFileSystem(inName, inRoot, inFlags, inQuota, inUsed);
}

VFilePath VFileSystem::GetRoot() const
{
    return fRoot != nullptr ? fRoot->GetPath() : VFilePath();
}

IFolder* VFileSystem::RetainRootFolder() const
{
    return fRoot != nullptr
               ? fRoot->RetainRelativeFolder(VString(), FPS_POSIX, const_cast<VFileSystem*>(this))
               : nullptr;
}

bool VFileSystem::IsAuthorized(const VFilePath& inPath) const
{
    // A path holds no "." or ".." component (its steps are resolved when it is made), so what
    // could still lead out are links.
    if (fRoot == nullptr || !inPath.IsValid())
        return false;
    // On disk: the links of what exists of the path must keep it in the root's real place. A path
    // named through another way to the root (a link above it) is inside all the same.
    return IsInFolderOnDisk(inPath, fRoot->GetPath(), true);
}

VError VFileSystem::Request(size_t inBytes)
{
    if ((fFlags & kSpaceAccounting) == 0)
        return VE_FS_NO_SPACE_ACCOUNTING;
    if (fQuota == 0)
        return VE_OK;
    uint64_t available = fAvailable.load(std::memory_order_acquire);
    do
    {
        if (available < inBytes)
            return VE_FS_NOT_ENOUGH_SPACE;
    } while (!fAvailable.compare_exchange_weak(available, available - inBytes, std::memory_order_acq_rel));
    return VE_OK;
}

VError VFileSystem::Relinquish(size_t inBytes)
{
    if ((fFlags & kSpaceAccounting) == 0)
        return VE_FS_NO_SPACE_ACCOUNTING;
    if (fQuota == 0)
        return VE_OK;
    uint64_t available = fAvailable.load(std::memory_order_acquire);
    uint64_t given = 0;
    do
    {
        // Never more than the quota: space given back twice is not space.
        given = inBytes > fQuota - available ? fQuota : available + inBytes;
    } while (!fAvailable.compare_exchange_weak(available, given, std::memory_order_acq_rel));
    return VE_OK;
}

VString VFileSystem::MakePathWithFileSystem(const VFilePath& inPath, const VString& inPlatformPath) const
{
    if (fRoot == nullptr)
        return inPlatformPath;
    VString relative;
    if (!inPath.IsSameOrChildOf(fRoot->GetPath()) || !inPath.GetRelativePosixPath(fRoot->GetPath(), relative))
    {
        // Inside on disk, named another way: relative to the root's real place.
        VFilePath real;
        VFilePath realRoot;
        if (!IsAuthorized(inPath) || !XMacFile::ResolveRealPath(inPath, real) ||
            !XMacFile::ResolveRealPath(fRoot->GetPath(), realRoot) ||
            !real.GetRelativePosixPath(realRoot, relative))
            return inPlatformPath;
    }
    VStr<256> path;
    path.AppendUniChar(u'/');
    path.AppendString(fName);
    path.AppendUniChar(u'/');
    path.AppendString(relative);
    return path;
}

} // namespace kova
