// Our stand-in for the parts of the Foundation file manager that the file layer calls: the mounted
// volumes (each mounted file system of the process's mount table, in the table's order, with its
// volume name; see SysMount.h for how volumes are named), the temporary folder, and copying,
// moving and trashing items.
//
// Copies and moves never leave a destination half made: the item is made under a temporary name
// beside the destination and renamed into place once whole, and a failure removes the temporary.
// They keep modes, times and symbolic links (copied as links, never followed); a folder is copied
// whole by a walk of our own (SysTree.h), and an entry it cannot reproduce (a pipe, a socket, a
// device) fails the copy rather than being left out. Failures are
// reported as the framework reports them, as errors of the Cocoa domain with its file codes,
// whatever the system's own error was, but for a lack of descriptors (see CopyItem).
//
// The trash is the freedesktop.org one: the home trash ($XDG_DATA_HOME/Trash) for items on its
// volume, else the trash at the top of the item's volume ($topdir/.Trash/$uid when an
// administrator made a sticky .Trash there, else $topdir/.Trash-$uid). The item is renamed into
// the trash's "files" folder beside a "[Trash Info]" file in its "info" folder that tells a
// desktop where to restore it; an item is never copied into a trash.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kova::cf
{
struct Error;
} // namespace kova::cf

namespace kova::sys
{
struct ItemRights;
} // namespace kova::sys

namespace kova::ns
{

// The Cocoa file error codes these calls answer with.
inline constexpr int kFileNoSuchFileError = 4;
inline constexpr int kFileReadUnknownError = 256;
inline constexpr int kFileReadNoPermissionError = 257;
inline constexpr int kFileReadNoSuchFileError = 260;
inline constexpr int kFileWriteUnknownError = 512;
inline constexpr int kFileWriteNoPermissionError = 513;
inline constexpr int kFileWriteFileExistsError = 516;
inline constexpr int kFileWriteOutOfSpaceError = 640;
inline constexpr int kFileWriteVolumeReadOnlyError = 642;
inline constexpr int kFeatureUnsupportedError = 3328;

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

// copyItemAtURL:toURL:error:. inReplace stands for the caller's wish to replace an existing
// destination (otherwise the copy fails with 516); an item copied onto itself fails with 516 and
// nothing is touched, and so does a file copied onto a folder. A folder replaces what stands at
// the destination in one exchange once its copy is whole, and the displaced item is then removed;
// a folder copied into itself, or over a folder that holds it, is refused (512). With
// inProceedAfterError (the delegate's shouldProceedAfterError answered yes) a folder's walk goes
// on after an entry that failed, the copy is put in place all the same, and the first failure is
// reported. With inRights, every item of the copy takes them (sys::ItemRights) before it takes its
// place; the owner part only where the process may change owners (sys::MayChangeOwners) and the
// system takes that owner, and is left out silently elsewhere. On failure *outError (when given)
// receives the error, retained for the caller: a Cocoa file code, or for a process or system out
// of descriptors (EMFILE, ENFILE) that error of the POSIX domain, which the file codes would tell
// as a failure to read or write.
bool CopyItem(const std::string& inFrom, const std::string& inTo, bool inReplace, cf::Error** outError,
              bool inProceedAfterError = false, const sys::ItemRights* inRights = nullptr);
// moveItemAtURL:toURL:error:: a rename on one volume; across volumes a copy as above, after which
// the source is removed (a failure to remove it is reported, the copy standing whole).
bool MoveItem(const std::string& inFrom, const std::string& inTo, bool inReplace, cf::Error** outError);
// trashItemAtURL:resultingItemURL:error:; *outTrashedPath (when given) gets the item's path in
// the trash.
bool TrashItem(const std::string& inPath, std::string* outTrashedPath, cf::Error** outError);

// The Foundation search-path directories and domains that URLForDirectory knows.
inline constexpr int kApplicationDirectory = 1;
inline constexpr int kLibraryDirectory = 5;
inline constexpr int kDocumentDirectory = 9;
inline constexpr int kDesktopDirectory = 12;
inline constexpr int kCachesDirectory = 13;
inline constexpr int kApplicationSupportDirectory = 14;
inline constexpr int kUserDomainMask = 1;
inline constexpr int kLocalDomainMask = 2;

// URLForDirectory:inDomain:appropriateForURL:create:error: with no URL to be appropriate for. The
// folders of this system: in the local domain, applications /opt, application support /var/lib,
// caches /var/cache; in the user's, documents and desktop from the XDG user folders
// ($XDG_CONFIG_HOME/user-dirs.dirs, else ~/Documents and ~/Desktop), application support
// $XDG_DATA_HOME, caches $XDG_CACHE_HOME and the library $XDG_CONFIG_HOME (each variable only when
// it holds an absolute path, else ~/.local/share, ~/.cache, ~/.config). With inCreate a missing
// folder is made with its parents (the user's own ones private to the user). The folder's path
// without a trailing "/" in outPath, or false with *outError (4 for a directory this system has
// not, or the code of a failure to create it).
bool URLForDirectory(int inDirectory, int inDomainMask, bool inCreate, std::string& outPath,
                     cf::Error** outError);
// createDirectoryAtURL:withIntermediateDirectories:attributes:error: with the POSIX permissions
// attribute (less the process's umask); with intermediates an existing folder is a success.
bool CreateDirectoryAtPath(const std::string& inPath, bool inWithIntermediateDirectories, mode_t inMode,
                           cf::Error** outError);
// homeDirectoryForCurrentUser: $HOME when it holds an absolute path, else the home folder of the
// user database; empty when the user has none.
std::string HomeDirectoryForCurrentUser();

// The home trash: $XDG_DATA_HOME/Trash when that variable holds an absolute path, else
// $HOME/.local/share/Trash (the home folder of the user database when $HOME is unset); empty when
// the user has no home folder.
std::string HomeTrashPath();

} // namespace kova::ns
