#include "platform/mac/frameworks/NSFileManager.h"

#include "platform/mac/frameworks/SysMount.h"

#include <cstdlib>

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

std::string TemporaryDirectory()
{
    const char* variable = std::getenv("TMPDIR");
    std::string folder = variable != nullptr && variable[0] == '/' ? variable : "/tmp";
    if (folder.back() != '/')
        folder.push_back('/');
    return folder;
}

} // namespace kova::ns
