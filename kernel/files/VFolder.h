// VFolder is the reference-counted object that stands for one folder named by a folder path; the
// folder need not exist. It creates folders (alone or with their missing ancestors), deletes them
// (empty, with their contents, or forced), renames, moves and copies them with their whole tree,
// moves them to the trash, finds the system's well-known folders, and lists and walks their
// contents. The disk work is its platform part's (XMacFolder); a system failure becomes a
// VFileError naming the folder, with the operation's code.
//
// A folder object never changes its path: renaming, moving and copying hand out new objects
// (retained for the caller). A folder may belong to a named file system (VFileSystem): relative
// folders and parents made through it stay inside that file system's root.
//
// The operations that replace or remove trees never lose what they were not asked to touch: a
// link at the folder's path is deleted alone and never walked into; a whole copy is made aside and
// put in place only once complete, so a failed copy leaves the destination as it was; a rename
// never replaces an item; and a copy into the source itself, or over a folder that holds it, is
// refused.
//
//     VRefPtr<VFolder> logs(new VFolder(path));
//     if (logs->CreateRecursive(false) != VE_OK) ... // the error names the folder that failed
#pragma once

#include "kernel/files/IFolder.h"
#include "kernel/files/VFilePath.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacFolder.h"

#include <functional>
#include <vector>

namespace kova
{

class VFile;
class VFileSystem;

namespace ns
{
class URL;
} // namespace ns

// The system's well-known folders.
enum ESystemFolderKind : int32_t
{
    eSystemFolderExecutable = 0,               // the folder that holds the application's executable
    eSystemFolderDocuments = 1,                // the user's documents (XDG)
    eSystemFolderTemporary = 2,                // $TMPDIR, else /tmp
    eSystemFolderNone = 3,                     // no folder: the request fails
    eSystemFolderApplicationSupportLocal = 4,  // /var/lib, shared by the users of the machine
    eSystemFolderApplicationSupportUser = 5,   // $XDG_DATA_HOME
    eSystemFolderApplicationSupportLocal2 = 6, // as 4
    eSystemFolderApplicationSupportUser2 = 7,  // as 5
    eSystemFolderDesktop = 8,                  // the user's desktop (XDG)
    eSystemFolderApplications = 9,             // /opt
    eSystemFolderCachesLocal = 10,             // /var/cache
    eSystemFolderCachesUser = 11,              // $XDG_CACHE_HOME
    eSystemFolderLibrary = 12,                 // $XDG_CONFIG_HOME
    eSystemFolderHome = 13,
};

// The folder copy options; every bit is handed to the file copies too (where 4 replaces an
// existing file).
constexpr uint32_t FCO_REPLACE_WHOLE = 4;       // a whole copy that takes the place of an existing target
constexpr uint32_t FCO_PROCEED_AFTER_ERROR = 8; // the walk goes on; the first failure is the result
constexpr uint32_t FCO_SKIP_INVISIBLES = 16;    // item by item: leave out the hidden items
// With FCO_REPLACE_WHOLE: the whole copy takes only a free place; an item found there, when the
// copy begins or when it is complete, stays as it is and the copy fails (nothing left beside it).
constexpr uint32_t FCO_KEEP_EXISTING_TARGET = 32;

// What a whole copy gives every item it makes, for a tree that someone else laid out and that
// others will run (an application installed from a download). The source's owners are never
// kept: where the process may change owners (it has CAP_CHOWN, as the superuser has), every item,
// a link itself and not what it names, takes fUser and fGroup when fGiveOwner is set, and stays
// the process's otherwise; elsewhere, and where the system refuses that owner (an id it cannot
// map, a volume that squashes the superuser), the owner part is left out. No item keeps a mode
// bit of fClearedModes. All of it is done before the copy takes its place.
struct VFolderCopyRights
{
    bool fGiveOwner = false;
    uint32_t fUser = 0;
    uint32_t fGroup = 0;
    uint16_t fClearedModes = 0;
};
// The mode bits no installed item keeps: set-user-id, set-group-id, writing by others.
constexpr uint16_t kInstalledItemClearedModes = 04000 | 02000 | 0002;

class VFolder : public VObject, public IFolder
{
public:
    // A file system given is retained.
    explicit VFolder(const VFilePath& inPath, VFileSystem* inFileSystem = nullptr);
    VFolder(const VFolder& inOther);
    VFolder(const VString& inPath, FilePathStyle inStyle);
    // The sub-folder of that name (the style's separator added when the name lacks it), on the
    // parent's file system while it stays inside that file system's root.
    VFolder(const VFolder& inParent, const VString& inName, FilePathStyle inStyle);
    // The platform part takes the POSIX path as given.
    VFolder(const char* inPosixPath, const VFilePath& inPath, VFileSystem* inFileSystem);
    // The URL's folder.
    explicit VFolder(ns::URL* inURL);
    VFolder& operator=(const VFolder&) = delete;
    ~VFolder() override;

    // IFileSystemObject
    const VFilePath& GetPath() const override { return fPath; }
    VFileSystem* GetFileSystem() const override { return fFileSystem; }
    // FPS_POSIX: the platform part's path; FPS_SYSTEM: the colon path; any other style: empty.
    void GetPlatformPath(VString& outPath, FilePathStyle inStyle) const override;
    // "/name/relative/path/" inside a named file system, else the POSIX path.
    VString GetPathWithFileSystem() const override;
    // Null without a parent. The parent keeps this folder's file system when that authorizes it;
    // with inSandboxed, a parent the file system does not authorize gives null.
    IFolder* RetainParentFolder(bool inSandboxed) const override;
    // A folder path naming a folder on disk, links followed (a link to a folder counts).
    bool Exists() const override;
    // Kova 654 on failure.
    VError GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const override;

    // IFolder. A null inFileSystem means this folder's own; with a file system the path must
    // stay inside its root.
    IFolder* RetainRelativeFolder(const VString& inRelativePath, FilePathStyle inStyle,
                                  VFileSystem* inFileSystem = nullptr) const override;
    // The files (iterator options FI_WANT_FILES) and sub-folders (FI_WANT_FOLDERS), appended
    // retained; either vector may be null. Nothing for a folder that does not exist.
    VError GetElements(std::vector<VRefPtr<IFile>>* outFiles,
                       std::vector<VRefPtr<IFolder>>* outFolders) const override;
    // Calls the function for each item the options ask for: with FI_WANT_FILES the files (listed
    // with the caller's options), then with FI_WANT_FOLDERS each sub-folder (listed with only
    // FI_WANT_FOLDERS when files were asked for too) and, with FI_ITERATE_RECURSIVELY, everything
    // below it the same way, depth first; false from the function ends the walk. A folder reached
    // twice (through a resolved link) is walked once. Kova 3 for an empty function.
    VError Iterate(std::function<bool(IFileAttributeAccessor*)>&& inFunction,
                   uint32_t inOptions) const override;
    IFile* _RetainRelativeIFile(const VString& inRelativePath, FilePathStyle inStyle) const override;

    // An existing folder is a success; otherwise the parent must exist. Kova 652 on failure.
    VError Create() const;
    // Creates the missing ancestors first, then this folder. With inMakeWritableByAll every folder
    // this call creates, and only those, is made writable by all.
    VError CreateRecursive(bool inMakeWritableByAll) const;
    // Kova 655 on failure.
    VError MakeWritableByAll() const;
    VError MAC_SetPermissions(uint16_t inMode) const;

    // An empty folder is deleted; a non-empty one with inWithContents after its contents
    // (DeleteContents), else kova 651 and nothing is touched. A link at the path is deleted
    // alone. Kova 653 on a failure of the system (a missing folder included).
    VError Delete(bool inWithContents) const;
    // Deletes what the folder holds (only the files, links and other items that are no folders
    // without inWithSubFolders), by a walk that never passes through a link, yielding the task
    // after each sub-folder. A missing folder holds nothing; a link at the path is not walked into
    // (653). The first failure stops the walk and is returned, as an error naming the item (604
    // for a file, 653 for a folder). No deletion enters a file system mounted inside the folder:
    // it stops at the mount point, which its error names.
    VError DeleteContents(bool inWithSubFolders) const;
    // Deletes the folder with everything in it, locked items included (see XMacFolder). Kova 653,
    // naming the item that failed as DeleteContents does.
    VError DeleteForced() const;
    // A folder that does not exist is a success. Kova 661.
    VError MoveToTrash() const;

    // Kova 654 on failure for the getters.
    VError GetVolumeCapacity(int64_t* outCapacity) const;
    VError GetVolumeFreeSpace(int64_t* outFree, bool inWithQuotas = true) const;
    VError MAC_GetPermissions(uint16_t* outMode) const;
    VError Mac_GetOwner(uint32_t& outUser, uint32_t& outGroup) const;
    // Kova 608 on failure.
    VError SetTimeAttributes(const VTime* inModified, const VTime* inCreated, const VTime* inAccessed) const;
    // With inInside, the folder's first file or else its first sub-folder is shown; otherwise (or
    // when it holds neither) the folder itself. False, with kova 656, on failure.
    bool RevealInFinder(bool inInside) const;

    // The folder under a new name in its parent, never over an existing item; *outFolder (when
    // given) gets it, retained, null on failure. Kova 657 with "newname"; an empty, "." or ".."
    // name is refused.
    VError Rename(const VString& inName, VFolder** outFolder) const;
    // Into inDestination under its own name or inName, never over an existing item; across
    // volumes the folder goes only once its whole copy stands there. Kova 657.
    VError Move(const VFolder& inDestination, VFolder** outFolder) const;
    VError Move(const VFolder& inDestination, const VString& inName, VFolder** outFolder) const;
    // Copies the folder into inDestination under its own name or inName (see the copy options).
    // With FCO_REPLACE_WHOLE the whole tree is copied aside and takes the place of the target once
    // complete, the old target then deleted (kept, the copy failing, with FCO_KEEP_EXISTING_TARGET);
    // the partial copies that whole copies of the same name, killed on the way, left beside the
    // target go first (never one of a process that still runs). A folder named through a link is
    // copied as the folder it leads to. Otherwise the items are copied one by one into the target
    // (made when missing), merging with what it holds. Refused with kova 660 and
    // "destination", nothing touched, when the destination is this folder or lies in it, or when
    // the target is, holds or lies in this folder (by identity, links resolved). Kova 660 with
    // "destination" for the other failures; *outFolder (when given) gets the target, retained,
    // unless the copy was refused.
    VError CopyTo(const VFolder& inDestination, VFolder** outFolder, uint32_t inOptions) const;
    VError CopyTo(const VFolder& inDestination, const VString& inName, VFolder** outFolder,
                  uint32_t inOptions) const;
    // A whole copy (FCO_REPLACE_WHOLE, else refused with kova 660) whose items take inRights.
    VError CopyTo(const VFolder& inDestination, const VString& inName, VFolder** outFolder,
                  uint32_t inOptions, const VFolderCopyRights& inRights) const;
    // The items of this folder copied one by one into inDestination, made when missing (with
    // FCO_REPLACE_WHOLE each sub-folder is copied whole). A missing source, and an item that is no
    // file, folder or link (a pipe, a socket, a device), fail the copy: nothing is left out
    // silently. Kova 660 with "destination".
    VError CopyContentsTo(const VFolder& inDestination, uint32_t inOptions) const;

    // When *ioFolder names no folder but a link (alias) to one, replaces it (released) with that
    // folder. A link that cannot be resolved gives its failure (kova 611), a link to a file kova
    // 618; with inDeleteUnresolved such a link is deleted instead and that result returned.
    static VError ResolveAliasFolder(VFolder** ioFolder, bool inDeleteUnresolved);
    // The parent's sub-folder of that name, resolved as above with deletion; null when it was a link
    // that could not be resolved to a folder.
    static VFolder* CreateAndResolveAlias(const VFolder& inParent, const VString& inName);

    // True also for a folder that does not exist.
    bool IsEmpty() const;
    // Retained; null when the relative path names no file the file system allows.
    VFile* RetainRelativeFile(const VString& inRelativePath, FilePathStyle inStyle) const;
    // The folder of the kind, retained for the caller (no file system); created when inCreate
    // asks and it is missing. Null when the kind has no folder here.
    static VFolder* RetainSystemFolder(ESystemFolderKind inKind, bool inCreate);
    // As GetElements, with the concrete classes.
    VError GetContents(std::vector<VRefPtr<VFile>>* outFiles,
                       std::vector<VRefPtr<VFolder>>* outFolders) const;

    // These return the platform part's result unchanged (a native code on failure).
    VError GetFolderAttributes(uint32_t& outAttributes) const;
    VError SetFolderAttributes(uint32_t inAttributes) const;
    VError IsHidden(bool& outHidden) const;
    bool IsWritableByAll() const;
    bool MAC_IsPackage() const;

    // The absolute file URL of the path; GetRelativeURL drops the base folder's URL when it begins
    // this one. Both return 0.
    VError GetURL(VString& outURL, bool inEncoded) const;
    VError GetRelativeURL(VFolder* inBase, VString& outURL, bool inEncoded) const;

    const XMacFolder& GetImpl() const { return fImpl; }

private:
    // The rule of native failures, for this folder.
    VError _ThrowNative(VError inNative, VError inOperationError,
                        const std::function<void(VValueBag&)>& inSetParameters = {}) const;
    // A failure that comes from no system call: the file error alone.
    VError _Throw(VError inError, const std::function<void(VValueBag&)>& inSetParameters = {}) const;
    // The native failure of a walk that deletes, for the item it stopped at (this folder when
    // that item is not known).
    VError _ThrowDeletion(VError inNative, const VFilePath& inFailedItem) const;
    // GetContents and GetElements.
    template <class FILE, class FOLDER>
    VError _List(std::vector<VRefPtr<FILE>>* outFiles, std::vector<VRefPtr<FOLDER>>* outFolders) const;
    // Kova 660 with "destination" when the two folders are one, or one lies in the other, by
    // identity.
    VError _CheckCopyTarget(const VFolder& inTarget) const;
    // CopyTo; with inRemoveAbandoned a whole copy first removes what killed copies of the item
    // left in the destination (CopyContentsTo does it once for all the sub-folders it copies).
    VError _CopyTo(const VFolder& inDestination, const VString& inName, VFolder** outFolder,
                   uint32_t inOptions, bool inRemoveAbandoned, const VFolderCopyRights* inRights) const;

    XMacFolder fImpl;
    VFilePath fPath;
    VFileSystem* fFileSystem = nullptr;
};

} // namespace kova
