#include "platform/mac/frameworks/DiskArbitration.h"

#include "platform/mac/frameworks/SysMount.h"

namespace kova::da
{

bool CopyVolumeNameOfMountPath(const char* mountPath, std::string& outName)
{
    if (mountPath == nullptr || *mountPath != '/')
        return false;
    std::string path(mountPath);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    for (const sys::MountEntry& entry : sys::ReadMountTable())
    {
        if (entry.fMountPoint == path)
        {
            outName = sys::VolumeNameOfMountPoint(path);
            return !outName.empty();
        }
    }
    return false;
}

} // namespace kova::da
