// XMacFile is the platform half of files and folders. This first form converts colon paths to
// POSIX paths and tells whether a POSIX path names a file or a folder; the file operations and
// the volumes that name mount points join it with the file layer.
#pragma once

namespace kova
{

class VString;

class XMacFile
{
public:
    XMacFile() = delete;

    // Appends the POSIX form of a colon path: its volume name, then the rest with "/" and ":"
    // exchanged. A volume whose mount point is known is replaced by that mount point; any other
    // gives "/" and its name. True when the volume is known, which needs the volumes of the file
    // layer: false until then.
    static bool HFSFullPathToPosix(const VString& inPath, VString& ioPosixPath);

    // Whether the POSIX path names a folder (inFolder) or anything but a folder; links followed.
    static bool PosixPathExists(const VString& inPosixPath, bool inFolder);
};

} // namespace kova
