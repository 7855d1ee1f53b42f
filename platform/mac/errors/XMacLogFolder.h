// XMacLogFolder is a log folder held open, in which log files are opened by name without trusting
// what lies under the name. The names are predictable (2026-01-31_09-05-07_log_1.txt), and whoever
// may write the folder can plant a link, a pipe or a device under the name of a file to come. A log
// file is opened only when its name holds a regular file of its own (no symbolic link at the name,
// no other hard link), and no open ever waits on a pipe; a name that holds nothing gets a new file,
// created exclusively.
//
// The folder is held by a descriptor from the moment it is made or first opened, and its files are
// opened, created and removed relative to it, never by its path again: whoever may write above a
// folder the logger made and swaps it for a link leads no file elsewhere. The part of the path that
// exists when the folder is first opened is taken as named, links included; the folders missing
// below it are made and entered without following a link out of it (sys::ResolveBeneath). Copies
// hold the same folder.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kova
{

namespace sys
{
class StDescriptor;
}

class XMacLogFolder
{
public:
    enum class EOpen
    {
        kOpened,
        // The name holds something that is not a log file of its own: the caller takes another.
        kTaken,
        kFailed,
    };

    // Holds no folder.
    XMacLogFolder() = default;

    // Holds the folder of the POSIX path (in place of any held before): with inMake its missing
    // folders are made first. 0, or the errno with outFailed naming the folder that could not be
    // opened or made.
    int Open(const std::string& inPath, bool inMake, std::string& outFailed);
    bool IsOpen() const { return fFolder != nullptr; }

    // The stream of the file inName in the folder: its regular file appended to (emptied with
    // inOverwrite), or a new file when the name holds nothing. Null unless outResult is kOpened;
    // outErrno says why on kFailed.
    FILE* OpenStream(const std::string& inName, bool inOverwrite, EOpen& outResult, int& outErrno) const;
    // Whether anything lies at the name, a dangling link included.
    bool NameIsTaken(const std::string& inName) const;
    // Removes the name when it holds a regular file; anything else stays.
    void RemoveFile(const std::string& inName) const;
    // The names beginning with inPrefix of the items that are no folders (a link counts as what it
    // names). 0 or errno.
    int GetFileNames(const std::string& inPrefix, std::vector<std::string>& outNames) const;

    // For tests: called with the path of the deepest folder made, right after it is made, before it
    // is entered (null for none).
    static void SetFolderMadeHookForTesting(void (*inHook)(const std::string& inPath));

private:
    int _FD() const;

    std::shared_ptr<const sys::StDescriptor> fFolder;
};

} // namespace kova
