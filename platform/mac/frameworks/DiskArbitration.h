// Our stand-in for the disk descriptions of Disk Arbitration and the media of the I/O registry:
// the volume name of the file system mounted at a path, named as the mounted-volume list names it
// (SysMount.h), and the description of the disk behind a mounted file system: whether it lies on
// the network, and for a local one its medium (protocol, model, UUID, size) or, for a RAID (md) or
// mapped (dm) set, the media of its members. Written over /sys/class/block and /dev/disk, read
// under the system-information root (SysInfo.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::da
{

// DADiskCreateFromVolumePath, DADiskCopyDescription and its volume-name key in one call: false
// when no file system is mounted exactly at mountPath.
bool CopyVolumeNameOfMountPath(const char* mountPath, std::string& outName);

// What the description and the I/O registry tell of one medium.
struct MediaDescription
{
    std::string fBSDName;  // "sda1"
    std::string fProtocol; // "SATA", "SCSI", "NVMe", "USB", "Virtio", "Secure Digital", ...; empty
                           // when unknown
    std::string fModel;    // the device's model as it tells it, blanks at the ends removed
    std::string fUUID;     // the partition's UUID, else the file system's; empty without one
    uint64_t fSize = 0;    // bytes
};

struct DiskDescription
{
    std::string fVolumeName;
    bool fNetwork = false;
    MediaDescription fMedia;
    // A RAID or mapped set: its members, from the set's slaves/ folder.
    bool fIsSet = false;
    std::vector<MediaDescription> fMembers;
};

// The description of the file system mounted at inMountPoint from inSource with the type inType:
// false when it is neither a network file system nor one on a block device of the system.
bool CopyDescriptionOfMount(const std::string& inMountPoint, const std::string& inType,
                            const std::string& inSource, DiskDescription& outDescription);

} // namespace kova::da
