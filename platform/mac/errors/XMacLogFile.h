// XMacLogFile opens the files of a log folder by name without trusting what lies under the name.
// The names are predictable (2026-01-31_09-05-07_log_1.txt), and whoever may write the folder can
// plant a link, a pipe or a device under the name of a file to come. A log file is opened only when
// its name holds a regular file of its own (no symbolic link at the name, no other hard link),
// and no open ever waits on a pipe; a name that holds nothing gets a new file, created
// exclusively. The folders it makes are made one by one, each entered without following a link,
// so that a folder swapped for a link once made leads nowhere else.
#pragma once

#include <cstdio>
#include <string>

namespace kova
{

class XMacLogFile
{
public:
    XMacLogFile() = delete;

    enum class EOpen
    {
        kOpened,
        // The name holds something that is not a log file of its own: the caller takes another.
        kTaken,
        kFailed,
    };

    // The stream of the file inName in the folder inFolder (a POSIX path, taken as named, links
    // included): its regular file appended to (emptied with inOverwrite), or a new file when the
    // name holds nothing. With inMakeFolder the missing folders of the path are made first.
    // Null unless outResult is kOpened; outErrno says why on kFailed.
    static FILE* OpenStream(const std::string& inFolder, const std::string& inName, bool inOverwrite,
                            bool inMakeFolder, EOpen& outResult, int& outErrno);
    // Makes the folder of that POSIX path as OpenStream does: 0, or the errno with outFailed
    // naming the folder that could not be made or entered.
    static int MakeFolder(const std::string& inPath, std::string& outFailed);
    // Whether anything lies at the path, a dangling link included.
    static bool NameIsTaken(const std::string& inPath);
    // Removes the name when it holds a regular file; anything else stays.
    static void RemoveFile(const std::string& inPath);

    // For tests: called with the path of each folder made, right after it is made (null for none).
    static void SetFolderMadeHookForTesting(void (*inHook)(const std::string& inPath));
};

} // namespace kova
