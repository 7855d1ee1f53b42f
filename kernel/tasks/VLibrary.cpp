#include "kernel/tasks/VLibrary.h"

#include "kernel/files/VResourceFile.h"
#include "kernel/text/VString.h"

namespace kova
{

VLibrary::VLibrary(const VFilePath& inPath) : fPath(inPath) {}

VLibrary::~VLibrary()
{
    StLocker locker(fLock);
    Unload();
}

bool VLibrary::Load()
{
    StLocker locker(fLock);
    if (!fLoaded)
        fLoaded = fImpl.Load(fPath);
    return fLoaded;
}

void VLibrary::Unload()
{
    StLocker locker(fLock);
    if (!fLoaded)
        return;
    fImpl.Unload();
    fLoaded = false;
    ReleaseRefCountable(&fResourceFile);
    fResourceFileAsked = false;
}

bool VLibrary::IsLoaded() const
{
    StLocker locker(fLock);
    return fLoaded;
}

void* VLibrary::GetProcAddress(const VString& inName)
{
    StLocker locker(fLock);
    return fLoaded ? fImpl.GetProcAddress(inName) : nullptr;
}

bool VLibrary::IsSameFile(const VFilePath& inPath) const
{
    StLocker locker(fLock);
    return fPath.GetPath().EqualToStringRaw(inPath.GetPath());
}

VFolder* VLibrary::RetainFolder(BundleFolderKind inKind)
{
    StLocker locker(fLock);
    return fLoaded ? fImpl.RetainFolder(fPath, inKind) : nullptr;
}

VFile* VLibrary::RetainExecutableFile()
{
    StLocker locker(fLock);
    return fLoaded ? fImpl.RetainExecutableFile(fPath) : nullptr;
}

VResourceFile* VLibrary::RetainResourceFile()
{
    StLocker locker(fLock);
    if (!fLoaded)
        return nullptr;
    if (!fResourceFileAsked)
    {
        fResourceFile = fImpl.RetainResourceFile(fPath);
        fResourceFileAsked = true;
    }
    return RetainRefCountable(fResourceFile);
}

const cf::Bundle* VLibrary::MAC_GetBundleRef() const
{
    StLocker locker(fLock);
    return fImpl.GetBundleRef();
}

} // namespace kova
