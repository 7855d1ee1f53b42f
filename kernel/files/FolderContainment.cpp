#include "kernel/files/FolderContainment.h"

#include "kernel/files/VFilePath.h"
#include "platform/mac/files/XMacFile.h"

namespace kova
{

bool IsInsideFolderOnDisk(const VFilePath& inPath, const VFilePath& inFolder)
{
    VFilePath real;
    VFilePath realFolder;
    return inPath.IsValid() && inFolder.IsValid() && XMacFile::ResolveRealPath(inPath, real) &&
           XMacFile::ResolveRealPath(inFolder, realFolder) && real.IsSameOrChildOf(realFolder);
}

} // namespace kova
