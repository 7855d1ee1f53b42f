// XMacFile is the platform half of a file: every VFile embeds one, and all disk work on files is
// done here, with POSIX calls and the file-manager and workspace stand-ins. An operation returns 0
// or a native code (POSX with errno, or the COCO code of a file-manager error); VFile turns it
// into a file error with its own toolbox code.
//
// Its static members translate between the toolbox's paths (VFilePath, colon syntax) and the forms
// the system wants: POSIX path strings in UTF-8, file URLs, and full colon paths built on volume
// names (XMacVolumes). POSIX path strings handed to the system are decomposed (Unicode) UTF-8,
// NUL-terminated, in a block of the toolbox's memory manager that the owner gives back with its
// Free; text read back from the system is UTF-8, composed.
//
// What this platform has of the file attributes: no resource forks (opening one is refused with
// ENOTSUP, their size is 0); a final symbolic link is refused unless the open asks to follow it;
// hidden means a name beginning with "." (setting it changes nothing); locked is the inode's
// immutable flag (setting it needs the capability, else EPERM); the creation time is the birth
// time where the file system reports one, and is never set; a symbolic link is the only alias.
#pragma once

#include "kernel/files/FileAccess.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace kova
{

namespace cf
{
struct Error;
} // namespace cf

namespace ns
{
class URL;
} // namespace ns

class VFile;
class VFileDesc;
class VFileKind;
class VFilePath;
class VFileSystem;
class VString;
class VTime;

class XMacFile : public VObject
{
public:
    // File attribute bits.
    static constexpr uint32_t kAttributeLocked = 1;
    static constexpr uint32_t kAttributeHidden = 2;
    // Effective permission bits.
    static constexpr uint32_t kPermissionRead = 4;
    static constexpr uint32_t kPermissionWrite = 2;
    static constexpr uint32_t kPermissionExecute = 1;

    XMacFile();
    // The path is copied; null leaves it empty until Init.
    explicit XMacFile(const char* inPosixPath);
    // The URL is kept; the path is its file-system representation.
    explicit XMacFile(ns::URL* inURL);
    XMacFile(const XMacFile&) = delete;
    XMacFile& operator=(const XMacFile&) = delete;
    ~XMacFile() override;

    // Records the owner and, when no path is held yet, makes it from the owner's path.
    void Init(VFile* inOwner);

    // The path handed to the system; never null.
    const char* GetPosixPathCString() const { return fPosixPath != nullptr ? fPosixPath : ""; }
    // The path as UTF-8 text, composed. Always 0.
    VError GetPosixPath(VString& outPath) const;
    // A POSIX path read back from the system: UTF-8 text, composed.
    static void TextFromPosixPath(const char* inPath, VString& outText);
    // A copy of a POSIX path from the memory manager, with a "/" added when inAsFolder asks and it
    // has none; null when out of memory.
    static char* CopyPosixPath(const char* inPath, bool inAsFolder);
    // For the objects that keep a URL: the URL retained into ioURL, and a copy of its path (a
    // folder's with its "/" when inAsFolder and the URL is a directory's); and their release.
    static char* AdoptURL(ns::URL* inURL, std::atomic<ns::URL*>& ioURL, bool inAsFolder);
    static void ReleasePathAndURL(char*& ioPath, std::atomic<ns::URL*>& ioURL);

    // An empty file, mode 0644 or inMode (less the umask). With FO_Overwrite an existing file is
    // removed first; without it an existing file fails with EEXIST.
    VError Create(uint32_t inOptions, uint16_t inMode = 0644) const;
    // The descriptor in *outDesc (the caller owns it), null on failure. See FileAccess.h.
    VError Open(FileAccess inAccess, uint32_t inOptions, VFileDesc** outDesc) const;
    // The steps of ReplaceContent, to tell which one failed.
    enum EContentStep
    {
        eContentOpen,   // the file (behind its final links) could not be opened under an exclusive lock
        eContentWrite,  // the new content could not be written
        eContentCommit, // it could not be put on disk or in place
    };
    // Replaces the whole content: the bytes go to a temporary file beside the file (behind its
    // final links, which stay), made private (0600) and given the file's mode (a new file's: 0644
    // less the umask) once written, and it is renamed over the file once on disk. On failure the
    // file is left as it was and the temporary removed. A file that is not a regular one (a
    // device, a pipe) is written in place.
    VError ReplaceContent(const void* inData, size_t inSize, EContentStep& outStep) const;

    // The operations "beneath" act on a file inside the folder inRoot (a POSIX path) and never
    // through a way that leaves it: inRoot is taken as named, and the links met below it, the
    // file itself included, are followed while their way stays inside inRoot (relative links that
    // never go above it). A link whose way leaves it (an absolute one, or one that goes above
    // inRoot, even to come back) fails with ELOOP and outLink gets its path, as reached inside
    // inRoot. A file outside inRoot fails with EINVAL. They serve trees that someone else laid
    // out, a download for one.
    //
    // ReplaceContent's replacement: the missing folders on the way are made (0755 less the
    // umask), and an item in the file's place that is no regular file is refused (EINVAL) without
    // being opened. A file with other names keeps them with its old content.
    VError ReplaceContentBeneath(const char* inRoot, const void* inData, size_t inSize, EContentStep& outStep,
                                 std::string& outLink) const;
    VError GetPermissionsBeneath(const char* inRoot, uint16_t* outMode, std::string& outLink) const;
    // A file with more than one name (another may lie outside inRoot) is not changed: EMLINK, with
    // *outOtherNames (when given) set. A mode the item has already is not written again.
    VError SetPermissionsBeneath(const char* inRoot, uint16_t inMode, std::string& outLink,
                                 bool* outOtherNames = nullptr) const;
    // For tests: paths beneath a folder resolved as where the system has no openat2.
    static void SetResolveBeneathByHandForTesting(bool inByHand);

    // Copies the file to inDestination (a folder path receives it under its own name). With
    // FO_Overwrite an existing destination is replaced, else the copy fails; either way the
    // destination is the old item whole or the new one whole. *outFile (when given) gets the new
    // file on inFileSystem, null on failure.
    VError Copy(const VFilePath& inDestination, VFileSystem* inFileSystem, VFile** outFile,
                uint32_t inOptions) const;
    // Moves the file, as Copy for its destination and options; a rename where it can.
    VError Move(const VFilePath& inDestination, VFileSystem* inFileSystem, VFile** outFile,
                uint32_t inOptions) const;
    // The last component replaced by the new name; an existing item of that name fails with
    // EEXIST. *outFile (when given) gets the renamed file, null on failure.
    VError Rename(const VString& inName, VFile** outFile) const;
    VError Delete() const;
    VError MoveToTrash() const;
    // A regular file or a symbolic link (not followed) is there.
    bool Exists() const;

    VError GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const;
    VError GetFileAttributes(uint32_t& outAttributes) const;
    VError SetFileAttributes(uint32_t inAttributes) const;
    VError Unlock() const;
    VError GetVolumeFreeSpace(int64_t* outFree, int64_t* outCapacity, bool inWithQuotas,
                              const VFileDesc* inDesc) const;
    // Shows the file in its folder; always 0.
    VError RevealInFinder() const;

    bool IsSymbolicLink() const;
    // The link's text, composed.
    VError ReadSymbolicLink(VString& outText) const;
    // The path of what the link finally names (links resolved; a folder path for a folder). A
    // file that is no link is not an alias: kova 611 is pushed and returned.
    VError ResolveAlias(VFilePath& outPath) const;
    // Makes this file a link to the target: its absolute POSIX path, or with inRelative a path
    // relative to the link's folder. An item already at the link's path is replaced only once the
    // new link stands.
    VError CreateSymbolicLink(const VFilePath& inTarget, bool inRelative) const;
    // No aliases but links here: ENOTSUP.
    VError CreateAlias(const VFilePath& inTarget, const VFilePath* inRelativeTo) const;
    bool IsAliasFile() const { return IsSymbolicLink(); }

    // The item's own size (a link's, not its target's).
    VError GetSize(int64_t* outSize) const;
    // No resource forks here: 0, and there is none.
    VError GetResourceForkSize(int64_t* outSize) const;
    bool HasResourceFork() const { return false; }
    // No type or creator codes here: 0, and setting them does nothing.
    VError GetKind(uint32_t* outKind) const;
    VError GetCreator(uint32_t* outCreator) const;
    VError SetKind(uint32_t) const { return VE_OK; }
    VError SetCreator(uint32_t) const { return VE_OK; }
    // No Finder comments here: setting one does nothing, and none is read.
    void SetFinderComment(const VString&) const {}
    void GetFinderComment(VString&) const {}
    // Extensions are always shown here: showing one is a success, hiding one ENOTSUP.
    VError SetExtensionVisible(bool inVisible) const;
    // The file's type identifier; cleared with the file-manager code on failure.
    VError GetUTIString(VString& outIdentifier) const;
    VError GetOwner(uint32_t& outUser, uint32_t& outGroup) const;
    // (mode | 0666) & 0777; a link's own mode cannot change here (EOPNOTSUPP).
    VError MakeWritableByAll() const;
    bool IsWritableByAll() const;
    VError SetPermissions(uint16_t inMode) const;
    VError GetPermissions(uint16_t* outMode) const;
    // Whether the file is of the kind: a public kind by its type identifier, else (and for
    // private kinds) by the extension the kind lists.
    VError ConformsTo(const VFileKind& inKind, bool& outConforms) const;

    // The dispatch rule of the file manager's copies and moves: run on the default-priority
    // global queue while a task that is no thread of its own waits on a sync event (so other
    // fibers keep running), else directly. Returns what the call returned.
    static bool CallFileManager(const std::function<bool(cf::Error**)>& inCall, cf::Error** outError);

    static VError RenamePath(const char* inPosixPath, const VFilePath& inNewPath);
    // The times of the item (its link itself unless inFollowLinks), each when asked. The creation
    // time is the file system's birth time where it records one; otherwise that value is left
    // as it was. POSX on failure.
    static VError GetTimeAttributes(const char* inPath, bool inFollowLinks, VTime* outModified,
                                    VTime* outCreated, VTime* outAccessed);
    // The modification and access times when given, on the item itself (a link is not followed);
    // the creation time cannot be set here and is ignored.
    static VError SetTimeAttributes(const char* inPath, const VTime* inModified, const VTime* inCreated,
                                    const VTime* inAccessed);
    static VError GetPathAttributes(const char* inPath, bool inFollowLinks, uint32_t& outAttributes);
    static VError SetPathAttributes(const char* inPath, bool inFollowLinks, uint32_t inAttributes);
    // What the calling process may do with the item: read 4, write 2, execute or search 1.
    static VError GetEffectivePermission(const char* inPath, uint32_t& outPermission);
    // Clears the immutable flag, then gives the owner full rights (0700 for a folder, 0600 else)
    // when the caller is the owner or the superuser.
    static VError UnlockPath(const char* inPath);
    // The volume's free space (what the caller may use with inWithQuotas) and capacity in bytes;
    // of the descriptor's volume when one is given, else of the path's (or of its parent's when
    // the path is missing).
    static VError GetVolumeFreeSpace(const char* inPath, int64_t* outFree, int64_t* outCapacity,
                                     bool inWithQuotas, const VFileDesc* inDesc);

    static bool IsFileKindConformsTo(const VFileKind& inKind, const VFileKind& inConformsTo);
    // A new public kind (count 1) of the identifier, from the system's declaration; null when the
    // system declares none.
    static VFileKind* CreatePublicFileKind(const VString& inIdentifier);
    // The code is the kind string's first four UTF-8 bytes, most significant first; anything but
    // exactly four bytes gives null.
    static VFileKind* CreatePublicFileKindFromOsKind(const VString& inOsKind);
    static VFileKind* CreatePublicFileKindFromExtension(const VString& inExtension);

    // For tests: how many times the volumes' free space was asked of the system.
    static uint32_t GetVolumeQueryCountForTesting();
    // For tests: once inAfterBytes more bytes were read (inWrite false) or written by the file
    // layer, each read or write fails with inErrno, until errno 0 clears the fault.
    static void SetIOFaultForTesting(bool inWrite, int inErrno, int64_t inAfterBytes);

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
    // An item's name read from the system as a name of the colon syntax: UTF-8 text, composed,
    // each ":" becoming "/".
    static void GetNameFromPosixName(const std::string& inName, VString& outName);

    // The path with the links of its deepest existing ancestor resolved (the rest, which does not
    // exist, kept as it is). False when nothing of it resolves or the rest holds a "." or ".."
    // component, which could lead anywhere once made.
    static bool ResolveRealPath(const VFilePath& inPath, VFilePath& outPath);

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
    // with "/" and ":" exchanged; a volume that is not mounted gives "/" and its name. Its steps
    // ("." , ".." and runs of ":") are resolved first, as VFilePath resolves them: a path that
    // climbs above its volume, or names nothing once resolved, appends nothing. True when the
    // volume is mounted.
    static bool HFSFullPathToPosix(const VString& inPath, VString& ioPosixPath);

    // The native code of an errno: POSX with the number; 0 for 0.
    static VError PosixError(int inErrno)
    {
        return inErrno == 0 ? VE_OK : MakeVError(kCOMPONENT_POSIX, uint32_t(inErrno));
    }

private:
    // The destination of a copy or move: a folder path receives this file's name.
    bool _DestinationPosixPath(const VFilePath& inDestination, VFilePath& outPath, char*& outPosixPath) const;
    VError _CopyOrMove(bool inMove, const VFilePath& inDestination, VFileSystem* inFileSystem,
                       VFile** outFile, uint32_t inOptions) const;
    // The file made for a copy's or move's destination, when asked.
    static void _GiveNewFile(const VFilePath& inPath, VFileSystem* inFileSystem, VFile** outFile);

    VFile* fOwner = nullptr;
    mutable std::atomic<ns::URL*> fURL{nullptr};
    char* fPosixPath = nullptr;
};

} // namespace kova
