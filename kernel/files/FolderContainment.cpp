#include "kernel/files/FolderContainment.h"

#include "kernel/files/VFilePath.h"
#include "kernel/values/VCppMemMgr.h"
#include "platform/mac/files/XMacFile.h"
#include "platform/mac/files/XMacFolder.h"

namespace kova
{

namespace
{

// Whether the folder at inFrom, or one above it, is inFolder itself on disk, by identity.
bool IsSameOrInsideOnDisk(const VFilePath& inFrom, const VFilePath& inFolder)
{
    char* from = XMacFile::AllocatePosixPathFromFilePath(inFrom);
    char* folder = XMacFile::AllocatePosixPathFromFilePath(inFolder);
    const bool inside = from != nullptr && folder != nullptr && *from != 0 && *folder != 0 &&
                        XMacFolder(from).IsSameOrInside(XMacFolder(folder));
    VObject::sCppMemMgr->Free(from);
    VObject::sCppMemMgr->Free(folder);
    return inside;
}

} // namespace

bool IsInFolderOnDisk(const VFilePath& inPath, const VFilePath& inFolder, bool inFolderItself)
{
    ++sFolderContainmentCheckCount;
    VFilePath real;
    VFilePath realFolder;
    if (!XMacFile::ResolveRealPath(inPath, real) || !XMacFile::ResolveRealPath(inFolder, realFolder))
        return false;
    if (inFolderItself ? real.IsSameOrChildOf(realFolder) : real.IsChildOf(realFolder))
        return true;
    // Named apart, the path may still lie in the folder: one of the folders on its way is the
    // folder itself reached another way (a bind mount), which only their identities tell. An item
    // lies in the folder when the folder that holds it is the folder or lies in it.
    VFilePath holder;
    if (!inFolderItself && !real.GetParent(holder))
        return false;
    return IsSameOrInsideOnDisk(inFolderItself ? real : holder, realFolder);
}

} // namespace kova
