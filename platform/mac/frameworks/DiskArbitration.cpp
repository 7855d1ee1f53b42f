#include "platform/mac/frameworks/DiskArbitration.h"

#include "platform/mac/frameworks/SysInfo.h"
#include "platform/mac/frameworks/SysMount.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>

namespace kova::da
{

namespace
{

// The file systems whose data lie on another machine.
constexpr std::string_view kNetworkTypes[] = {
    "nfs",    "nfs4",  "cifs",  "smb3",       "smbfs",          "afs",        "ceph", "9p", "glusterfs",
    "lustre", "ncpfs", "davfs", "fuse.sshfs", "fuse.glusterfs", "fuse.davfs2"};

std::string LastComponent(const std::string& inPath)
{
    size_t slash = inPath.rfind('/');
    return slash == std::string::npos ? inPath : inPath.substr(slash + 1);
}

// The path without links, or empty.
std::string RealPath(const std::string& inPath)
{
    char* real = ::realpath(inPath.c_str(), nullptr);
    if (real == nullptr)
        return std::string();
    std::string path(real);
    std::free(real);
    return path;
}

bool Exists(const std::string& inPath)
{
    struct stat status = {};
    return ::stat(inPath.c_str(), &status) == 0;
}

std::string Trimmed(const std::string& inText)
{
    size_t first = inText.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return inText.substr(first, inText.find_last_not_of(" \t") - first + 1);
}

// The device name under /sys/class/block of a mounted source ("/dev/mapper/vg-root" gives "dm-0");
// empty when the source is no block device.
std::string BlockDeviceOfSource(const std::string& inSource)
{
    if (inSource.compare(0, 5, "/dev/") != 0 || inSource.find("/../") != std::string::npos)
        return std::string();
    std::string real = RealPath(sys::SystemPath(inSource));
    std::string name = LastComponent(real.empty() ? inSource : real);
    if (name.empty() || name == "." || name == ".." || !Exists(sys::SystemPath("/sys/class/block/" + name)))
        return std::string();
    return name;
}

// The whole disk of a device: a partition's parent, else the device itself.
std::string WholeDiskOf(const std::string& inDevice)
{
    const std::string entry = sys::SystemPath("/sys/class/block/" + inDevice);
    if (!Exists(entry + "/partition"))
        return inDevice;
    std::string real = RealPath(entry);
    if (real.empty())
        return inDevice;
    std::string parent = real.substr(0, real.rfind('/'));
    return LastComponent(parent);
}

std::string ProtocolOf(const std::string& inDisk)
{
    const std::string real = RealPath(sys::SystemPath("/sys/class/block/" + inDisk));
    auto startsWith = [&](std::string_view prefix) { return inDisk.compare(0, prefix.size(), prefix) == 0; };
    if (real.find("/usb") != std::string::npos)
        return "USB";
    if (startsWith("nvme"))
        return "NVMe";
    if (startsWith("vd"))
        return "Virtio";
    if (startsWith("xvd"))
        return "Xen";
    if (startsWith("mmcblk"))
        return "Secure Digital";
    if (startsWith("md"))
        return "RAID";
    if (startsWith("dm-"))
        return "Device Mapper";
    if (startsWith("loop"))
        return "Virtual Interface";
    if (startsWith("sd") || startsWith("sr"))
        return real.find("/ata") != std::string::npos ? "SATA" : "SCSI";
    return std::string();
}

// The UUID whose link in /dev/disk/by-partuuid (else by-uuid) leads to the device.
std::string UUIDOf(const std::string& inDevice)
{
    for (const char* folderName : {"/dev/disk/by-partuuid", "/dev/disk/by-uuid"})
    {
        const std::string folderPath = sys::SystemPath(folderName);
        DIR* folder = ::opendir(folderPath.c_str());
        if (folder == nullptr)
            continue;
        std::string found;
        while (const dirent* entry = ::readdir(folder))
        {
            if (entry->d_name[0] == '.')
                continue;
            if (LastComponent(RealPath(folderPath + "/" + entry->d_name)) == inDevice)
            {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(folder);
        if (!found.empty())
            return found;
    }
    return std::string();
}

MediaDescription DescribeMedia(const std::string& inDevice)
{
    MediaDescription media;
    media.fBSDName = inDevice;
    const std::string disk = WholeDiskOf(inDevice);
    media.fProtocol = ProtocolOf(disk);
    if (std::optional<std::string> model =
            sys::ReadFirstLine("/sys/class/block/" + disk + "/device/model", 256))
        media.fModel = Trimmed(*model);
    media.fUUID = UUIDOf(inDevice);
    // Sizes are counted in sectors of 512 bytes whatever the device's own.
    if (std::optional<std::string> sectors = sys::ReadFirstLine("/sys/class/block/" + inDevice + "/size", 32))
    {
        char* end = nullptr;
        errno = 0;
        unsigned long long count = std::strtoull(sectors->c_str(), &end, 10);
        if (errno == 0 && end != sectors->c_str() && count <= UINT64_MAX / 512)
            media.fSize = count * 512;
    }
    return media;
}

} // namespace

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

bool CopyDescriptionOfMount(const std::string& inMountPoint, const std::string& inType,
                            const std::string& inSource, DiskDescription& outDescription)
{
    outDescription = DiskDescription();
    outDescription.fVolumeName = sys::VolumeNameOfMountPoint(inMountPoint);
    if (std::find(std::begin(kNetworkTypes), std::end(kNetworkTypes), inType) != std::end(kNetworkTypes))
    {
        outDescription.fNetwork = true;
        return true;
    }
    const std::string device = BlockDeviceOfSource(inSource);
    if (device.empty())
        return false;
    outDescription.fMedia = DescribeMedia(device);
    if (device.compare(0, 2, "md") == 0 || device.compare(0, 3, "dm-") == 0)
    {
        const std::string slavesPath = sys::SystemPath("/sys/class/block/" + device + "/slaves");
        if (DIR* slaves = ::opendir(slavesPath.c_str()))
        {
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(slaves))
            {
                if (entry->d_name[0] != '.')
                    names.push_back(entry->d_name);
            }
            ::closedir(slaves);
            std::sort(names.begin(), names.end());
            for (const std::string& name : names)
                outDescription.fMembers.push_back(DescribeMedia(name));
            outDescription.fIsSet = !outDescription.fMembers.empty();
        }
    }
    return true;
}

} // namespace kova::da
