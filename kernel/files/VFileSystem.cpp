#include "kernel/files/VFileSystem.h"

#include "kernel/files/IFolder.h"

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
    ReleaseRefCountable(&fRoot);
}

VFilePath VFileSystem::GetRoot() const
{
    return fRoot != nullptr ? fRoot->GetPath() : VFilePath();
}

bool VFileSystem::IsAuthorized(const VFilePath& inPath) const
{
    return fRoot != nullptr && inPath.IsSameOrChildOf(fRoot->GetPath());
}

VString VFileSystem::MakePathWithFileSystem(const VFilePath& inPath, const VString& inPlatformPath) const
{
    if (!IsAuthorized(inPath))
        return inPlatformPath;
    VString relative;
    inPath.GetRelativePosixPath(fRoot->GetPath(), relative);
    VStr<256> path;
    path.AppendUniChar(u'/');
    path.AppendString(fName);
    path.AppendUniChar(u'/');
    path.AppendString(relative);
    return path;
}

} // namespace kova
