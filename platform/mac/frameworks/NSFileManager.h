// Our stand-in for the parts of the Foundation file manager that the file layer calls: the mounted
// volumes (each mounted file system of the process's mount table, in the table's order, with its
// volume name; see SysMount.h for how volumes are named) and the temporary folder.
#pragma once

#include <string>
#include <vector>

namespace kova::ns
{

struct MountedVolume
{
    std::string fPath;  // the volume's file-system representation: its mount point
    std::string fName;  // its volume name, in UTF-8
    bool fNameReadable; // false when the volume has no name to give
};

// mountedVolumeURLsIncludingResourceValuesForKeys:options: with the volume-name key, options 0.
std::vector<MountedVolume> MountedVolumeURLs();

// NSTemporaryDirectory(): $TMPDIR when it holds an absolute path, else "/tmp/"; always ending
// with "/". The folder may not exist.
std::string TemporaryDirectory();

} // namespace kova::ns
