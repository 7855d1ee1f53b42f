// XMacFolder is the platform half of a folder: every VFolder embeds one, and every folder operation
// that touches the disk is done here, on the folder's POSIX path. An operation returns 0 or a
// native code (POSX with errno, or the COCO code of a file-manager error); VFolder turns it into a
// file error with its own toolbox code.
//
// The item a folder names is the one at its path: a symbolic link there is a link (deleted,
// renamed, moved and trashed as a link, never walked into), while the questions about the folder
// (existence, times, rights, volume) and a whole copy follow it. Walks over a tree go by directory
// descriptors and never pass through a link (SysTree).
#pragma once

#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace kova
{

namespace ns
{
class URL;
} // namespace ns

class VFilePath;
class VFolder;
struct VFolderCopyRights;
class VString;
class VTime;

class XMacFolder : public VObject
{
public:
    XMacFolder();
    // The path is copied (a "/" added when it lacks one); null leaves it empty until Init.
    explicit XMacFolder(const char* inPosixPath);
    // The URL is kept; the path is its file-system representation, with a trailing "/".
    explicit XMacFolder(ns::URL* inURL);
    XMacFolder(const XMacFolder&) = delete;
    XMacFolder& operator=(const XMacFolder&) = delete;
    ~XMacFolder() override;

    // Records the owner and, when no path is held yet, makes it from the owner's path.
    void Init(VFolder* inOwner);

    // mkdir with mode 0755 (less the process's umask): the parent must exist.
    VError Create() const;
    // An empty folder goes (rmdir); a link at the path goes alone.
    VError Delete() const;
    // The folder and everything in it, locked items and folders their owner may not write
    // included; a link at the path goes alone. A locked parent is unlocked, and a parent its owner
    // (the caller) may not write is given the owner's rights, for the time of the deletion: both
    // are put back whatever happened (a failure to put them back is pushed as kova 655 for this
    // folder). The result is the walk's, with the item that failed in outFailedItem as below.
    VError DeleteForced(VFilePath& outFailedItem) const;
    // Removes what the folder holds (only the items that are no folders without inWithSubFolders),
    // calling inAfterFolder after each sub-folder; a link at the path is not walked into (ENOTDIR).
    // At the first failure the walk stops, with the item that failed in outFailedItem (named under
    // this folder's path; a folder path for a folder). No deletion enters a file system mounted
    // inside the folder: it stops at the mount point with EBUSY, the mount point being the item
    // that failed.
    VError DeleteContents(bool inWithSubFolders, const std::function<void()>& inAfterFolder,
                          VFilePath& outFailedItem) const;
    // The file manager's trash (the freedesktop.org one): a rename, never a copy.
    VError MoveToTrash() const;
    // A folder is there (links followed with inFollowLinks).
    bool Exists(bool inFollowLinks) const;
    // The item at the path is a symbolic link.
    bool IsSymbolicLink() const;
    // The folder (links followed) holds no entry at all; true when it cannot be read.
    bool IsEmpty() const;
    // Shows the folder in its parent; always 0.
    VError RevealInFinder() const;
    // Hidden here is a name that begins with "."; POSX when the folder cannot be reached.
    VError IsHidden(bool& outHidden) const;

    // The last component replaced by the name; an existing item of that name fails with EEXIST.
    // *outFolder (when given) gets the renamed folder on the owner's file system, null on failure.
    // An empty, "." or ".." name is refused (EINVAL).
    VError Rename(const VString& inName, VFolder** outFolder) const;
    // Moves the folder into inDestination under inName (its own name when null or empty), never
    // over an existing item; across volumes a whole copy is made there first and the folder goes
    // once the copy stands. *outFolder (when given) gets the moved folder on the destination's
    // file system, null on failure.
    VError Move(const VFolder& inDestination, const VString* inName, VFolder** outFolder) const;
    // Copies the whole tree into inDestination under inName; a link at the path is resolved
    // first, and the folder it leads to copied (the links inside stay links). The copy is made
    // under a temporary name beside its place and put there once whole: where nothing stands,
    // never over an item;
    // with option 4 (unless option 32 keeps what stands there), in one exchange with the folder
    // that stands there, which is then deleted.
    // Without option 8 a failure removes the temporary copy and leaves the place as it was; with
    // it the walk goes on after a failed entry, the copy is put in place, and the first failure
    // is returned. An entry that is no file, folder or link fails the copy. With inRights every
    // item of the copy takes them (see VFolderCopyRights) before the copy takes its place.
    VError CopyToNonExistingFolder(const VFolder& inDestination, const VString& inName, uint32_t inOptions,
                                   const VFolderCopyRights* inRights = nullptr) const;
    // Removes from this folder what whole copies of the items inNames, killed on the way, left
    // beside their places: the hidden partial copies (and displaced items) whose process has quit,
    // never one of a process that still runs.
    void RemoveAbandonedCopies(const std::vector<VString>& inNames) const;
    // The items of the folder that are neither files, folders nor links (pipes, sockets, devices),
    // by path; the hidden ones only with inWithInvisibles.
    void GetItemsThatAreNoFilesOrFolders(bool inWithInvisibles, std::vector<VFilePath>& outItems) const;
    // The folder's device and inode (links followed); false when it cannot be reached.
    bool GetIdentity(uint64_t& outDevice, uint64_t& outInode) const;
    // Whether this folder is the folder inOther, or lies in it, by identity (device and inode; links
    // resolved). False when inOther is no folder on disk.
    bool IsSameOrInside(const XMacFolder& inOther) const;

    VError SetTimeAttributes(const VTime* inModified, const VTime* inCreated, const VTime* inAccessed) const;
    // Links followed.
    VError GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const;
    VError GetVolumeCapacity(int64_t* outCapacity) const;
    VError GetVolumeFreeSpace(int64_t* outFree, bool inWithQuotas) const;
    // The path as UTF-8 text, composed. Always 0.
    VError GetPosixPath(VString& outPath) const;
    // The path handed to the system: decomposed UTF-8 ending with "/"; never null.
    const char* GetPosixPathCString() const { return fPosixPath != nullptr ? fPosixPath : ""; }
    // chmod 0777.
    VError MakeWritableByAll() const;
    // The mode's low nine bits (0 on failure).
    VError GetPermissions(uint16_t* outMode) const;
    VError SetPermissions(uint16_t inMode) const;
    // Any of the write bits 0222 is set.
    bool IsWritableByAll() const;
    // The calling process may search the folder.
    bool IsTraversable() const;
    // The attribute bits of XMacFile (locked 1, hidden 2), links followed.
    VError GetFolderAttributes(uint32_t& outAttributes) const;
    VError SetFolderAttributes(uint32_t inAttributes) const;
    // A folder of a package's extension (app, bundle, framework, plugin).
    bool IsPackage() const;
    VError GetOwner(uint32_t& outUser, uint32_t& outGroup) const;

    // The folder of the kind (ESystemFolderKind) in *outFolder, created with its parents when
    // inCreate asks and it is missing. Kinds without a folder leave *outFolder untouched and
    // return 0; the code of a file-manager failure is returned. The caller tests the folder, not
    // the result.
    static VError RetainSystemFolder(int32_t inKind, bool inCreate, VFolder** outFolder);

    // For tests: once inAfterCount more items were removed by the deletions of folders, each
    // removal fails with inErrno, until errno 0 clears the fault.
    static void SetRemoveFaultForTesting(int inErrno, int inAfterCount);

private:
    // The path of the item itself, without the trailing "/" that would make the system follow a
    // final link ("/" stays "/").
    std::string _ItemPath() const;
    // The POSIX path of the sub-item inName of inFolder, without a trailing "/"; empty when the name
    // is empty, "." or ".." or the path cannot be made.
    static std::string _SubItemPath(const VFolder& inFolder, const VString& inName, VFilePath& outPath);

    VFolder* fOwner = nullptr;
    char* fPosixPath = nullptr;
    mutable std::atomic<ns::URL*> fURL{nullptr};
};

} // namespace kova
