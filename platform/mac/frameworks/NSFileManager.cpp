#include "platform/mac/frameworks/NSFileManager.h"

#include "platform/mac/frameworks/SysMount.h"

namespace kova::ns
{

std::vector<MountedVolume> MountedVolumeURLs()
{
    std::vector<MountedVolume> volumes;
    for (const sys::MountEntry& entry : sys::ReadMountTable())
    {
        std::string name = sys::VolumeNameOfMountPoint(entry.fMountPoint);
        const bool readable = !name.empty();
        volumes.push_back(MountedVolume{entry.fMountPoint, std::move(name), readable});
    }
    return volumes;
}

} // namespace kova::ns
