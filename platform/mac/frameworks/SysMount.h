// Our stand-in for the mount services of libSystem that the file layer calls: statfs with the
// mount-on and type names of the file system that holds a path, the real path of an item (what
// fcntl F_GETPATH gives), and the table of mounted file systems. Written over the Linux mount
// table (/proc/self/mountinfo).
//
// Volume names: a mount is named after the last component of its mount point, as the system it
// stands for names the volumes it mounts under /Volumes; the root file system, which has no such
// component, is named "Root".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova::sys
{

// The name of the volume mounted at "/".
inline constexpr const char* kRootVolumeName = "Root";

struct MountEntry
{
    std::string fMountPoint; // absolute, no trailing "/" except for "/" itself
    std::string fType;       // the file-system type name ("ext4", "tmpfs", ...)
    std::string fSource;     // the mounted device or source
};

// The mounts of the process in the table's order (the order of mounting). When the table cannot
// be read, the root file system alone.
std::vector<MountEntry> ReadMountTable();

// The mounts listed in a file of the mount table's format, in its order; empty when it cannot be
// read.
std::vector<MountEntry> ReadMountTableFile(const std::string& path);

// getfsstat: the mounted file systems of the table under the system-information root
// (SysInfo.h), each with what statvfs tells of its mount point (all 0 when it cannot be read).
struct FileSystemStatus
{
    MountEntry fEntry;
    uint64_t fBlocks = 0;
    uint64_t fBlockSize = 0;
    uint64_t fAvailableBlocks = 0;
};
std::vector<FileSystemStatus> getfsstat();

// The volume name of a mount point (see above); empty for an empty mount point.
std::string VolumeNameOfMountPoint(const std::string& mountPoint);

struct StatFS
{
    std::string f_mntonname;  // the mount point of the file system that holds the path
    std::string f_fstypename; // its type name
};

// Follows links like statfs: 0 on success, else -1 with errno set (ENOENT for a missing path).
int statfs(const char* path, StatFS& out);

// The absolute path without links, "." or ".." of an existing item; -1 with errno set otherwise.
int GetRealPath(const char* path, std::string& out);

// For tests: reads the mount table from a file of the same format; null goes back to the
// process's own table.
void SetMountTablePathForTesting(const char* path);

} // namespace kova::sys
