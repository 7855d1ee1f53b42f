#include "kernel/files/FolderContainment.h"

#include "kernel/files/VFilePath.h"
#include "platform/mac/files/XMacFile.h"

namespace kova
{

bool IsInFolderOnDisk(const VFilePath& inPath, const VFilePath& inFolder, bool inFolderItself)
{
    ++sFolderContainmentCheckCount;
    VFilePath real;
    VFilePath realFolder;
    return XMacFile::ResolveRealPath(inPath, real) && XMacFile::ResolveRealPath(inFolder, realFolder) &&
           (inFolderItself ? real.IsSameOrChildOf(realFolder) : real.IsChildOf(realFolder));
}

} // namespace kova
