// XMacFile is the platform half of files and folders. Its static members translate between the
// toolbox's paths (VFilePath, colon syntax) and the forms the system wants: POSIX path strings in
// UTF-8, file URLs, and full colon paths built on volume names (XMacVolumes).
//
// POSIX path strings handed to the system are decomposed (Unicode) UTF-8, NUL-terminated, in a
// block of the toolbox's memory manager that the owner gives back with its Free; text read back
// from the system is UTF-8, composed.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstddef>

namespace kova
{

namespace ns
{
class URL;
} // namespace ns

class VFilePath;
class VString;
class VTime;

class XMacFile
{
public:
    XMacFile() = delete;

    // The string as a POSIX path for the system. When it cannot be converted (no memory, a text
    // that is not whole UTF-16, or a NUL inside, which would make the system act on a shorter
    // path), a one-byte empty string; null only when not even that can be allocated.
    static char* AllocatePosixPathFromString(const VString& inPath);
    // The path's POSIX form (empty for an invalid path), as above.
    static char* AllocatePosixPathFromFilePath(const VFilePath& inPath);
    // A file URL for the path, a directory URL for a folder path; returned retained. Null for an
    // invalid path.
    static ns::URL* CreateNSURLFromFilePath(const VFilePath& inPath);

    // A null string gives an empty path. Otherwise the UTF-8 text, composed; a folder gets a
    // trailing "/" when it lacks one; then the path is read as a full POSIX path.
    static void GetFilePathFromPosixPath(const char* inPath, bool inIsFolder, VFilePath& outPath);
    // The URL's path read as above, a folder when it is a directory URL; a null URL gives an
    // empty path.
    static void GetFilePathFromNSURL(const ns::URL* inURL, VFilePath& outPath);

    // Whether the last component (a trailing "/" ignored) begins with "."; false for strings
    // shorter than 2.
    static bool PosixNameBeginsWithDot(const char* inPath);

    // The name of the volume mounted at inMountPath, NUL-terminated in at most inSize - 1 bytes.
    static bool GetVolumeNameFromMountPath(const char* inMountPath, char* outName, size_t inSize);

    // The full colon path of a full POSIX path: the name of the volume that holds it, then the
    // rest with "/" and ":" exchanged; "." steps dropped and ".." steps as parent steps. With
    // inMeasureWhole the path itself is measured (its real path taken), else its parent folder.
    // False when no volume can be found for it.
    static bool PosixFullPathToHFS(const char* inPath, bool inMeasureWhole, VString& outPath);
    // Appends the POSIX form of a full colon path: the mount path of its volume, then the rest
    // with "/" and ":" exchanged; a volume that is not mounted gives "/" and its name. True when
    // the volume is mounted.
    static bool HFSFullPathToPosix(const VString& inPath, VString& ioPosixPath);

    // Whether the POSIX path names a folder (inFolder) or anything but a folder; links followed.
    static bool PosixPathExists(const VString& inPosixPath, bool inFolder);

    // The native code of an errno: POSX with the number; 0 for 0.
    static VError PosixError(int inErrno)
    {
        return inErrno == 0 ? VE_OK : MakeVError(kCOMPONENT_POSIX, uint32_t(inErrno));
    }

    // The times of the item (its link itself unless inFollowLinks), each when asked. The creation
    // time is the file system's birth time where it records one; otherwise that value is left
    // as it was. POSX on failure.
    static VError GetTimeAttributes(const char* inPath, bool inFollowLinks, VTime* outModified,
                                    VTime* outCreated, VTime* outAccessed);
};

} // namespace kova
