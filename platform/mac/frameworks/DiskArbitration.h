// Our stand-in for the disk descriptions of Disk Arbitration: the volume name of the file system
// mounted at a path, named as the mounted-volume list names it (SysMount.h).
#pragma once

#include <string>

namespace kova::da
{

// DADiskCreateFromVolumePath, DADiskCopyDescription and its volume-name key in one call: false
// when no file system is mounted exactly at mountPath.
bool CopyVolumeNameOfMountPath(const char* mountPath, std::string& outName);

} // namespace kova::da
