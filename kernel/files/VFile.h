// VFile is the reference-counted object that stands for one file named by a path; the file need not
// exist. It is the portable face of every file operation: existence, creation, opening into a
// descriptor, copying, moving, renaming, deleting, trashing, sizes, times, attributes, links, and
// whole-content reads and writes. The disk work is its platform part's (XMacFile); a system
// failure becomes a VFileError naming the file, with the operation's code and parameters.
//
// A file object never changes its path: renaming, copying and moving hand out a new object
// (retained for the caller) and leave this one as it was.
//
// Whole contents are replaced safely: SetContent writes a private (0600) temporary file beside the
// target, gives it the target's mode and renames it over the target once it is written and on
// disk, so the file is always the old content whole or the new one whole, and the new content is
// never more open to others than the file; AppendContent that fails cuts the file back to its
// old size. Copies and moves never leave a half-made destination either.
//
//     VRefPtr<VFile> file(new VFile(folder, name, FPS_POSIX));
//     if (file->SetContent(bytes, size) != VE_OK) ... // the error names the file
#pragma once

#include "kernel/files/FileAccess.h"
#include "kernel/files/IFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kova
{

class VFileDesc;
class VFileKind;
class VFileSystem;
class VFolder;
class VURL;
class VVolumeInfo;

namespace ns
{
class URL;
} // namespace ns

class VFile : public VObject, public IFile
{
public:
    // A file system given is retained.
    explicit VFile(const VFilePath& inPath, VFileSystem* inFileSystem = nullptr);
    VFile(const VFile& inOther);
    VFile(const VString& inPath, FilePathStyle inStyle);
    // The URL's file path.
    explicit VFile(const VURL& inURL);
    // The file of that name in the folder, on the folder's file system while it stays inside that
    // file system's root.
    VFile(const VFolder& inFolder, const VString& inName, FilePathStyle inStyle);
    VFile(const VFilePath& inBase, const VString& inRelativePath, FilePathStyle inStyle);
    // The platform part takes the POSIX path as given.
    VFile(const char* inPosixPath, const VFilePath& inPath, VFileSystem* inFileSystem);
    explicit VFile(ns::URL* inURL);
    VFile& operator=(const VFile&) = delete;
    ~VFile() override;

    // Start-up and shut-down hooks of the process object.
    static bool Init();
    static void DeInit();
    // A new empty private (0600) file "kov_" + 32 hexadecimal digits in the temporary folder,
    // owned by the caller; null when it cannot be made.
    static VFile* CreateTemporaryFile();

    // IFileSystemObject
    const VFilePath& GetPath() const override { return fPath; }
    VFileSystem* GetFileSystem() const override { return fFileSystem; }
    // FPS_POSIX: the platform part's path; FPS_SYSTEM: the colon path; any other style: empty.
    void GetPlatformPath(VString& outPath, FilePathStyle inStyle) const override;
    // "/name/relative/path" inside a named file system, else the POSIX path.
    VString GetPathWithFileSystem() const override;
    // Null without a parent; with inSandboxed and a file system, null for a parent it does not
    // authorize. The parent carries this file's file system.
    IFolder* RetainParentFolder(bool inSandboxed) const override;
    // A file path naming a regular file or a symbolic link (not followed: a dangling link counts).
    bool Exists() const override;
    // Kova 608.
    VError GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const override;

    // IFile
    // A regular file's only (links followed): a pipe, a device or a folder is refused without
    // waiting, Kova 602 with the native EISDIR or ENOTSUP.
    VError GetContent(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outContent) const override;
    VError GetData(void* outData, size_t inSize, size_t* outRead) const override;
    // Creates the missing folders above the file first. Writes a private temporary file beside the
    // file (a final link stays: its target is replaced) and renames it over the file once it is on
    // disk; on failure the old file is left whole and the temporary removed.
    VError SetContent(const void* inData, size_t inSize) const override;
    // Creates the file (and its folders) when missing; on failure the file is cut back to its
    // old size.
    VError AppendContent(const void* inData, size_t inSize) const override;
    // A missing file is a success. Kova 604.
    VError Delete() const override;
    // Whether the file opens for writing now.
    bool IsWritable() const override;
    VError GetSize(int64_t* outSize) const override;
    VError CopyTo(const VFile& inDestination, uint32_t inOptions) const override;
    VError CopyTo(const VFolder& inDestination, VFile** outCopy, uint32_t inOptions) const override;

    // The descriptor (owned by the caller) in *outDesc, null on failure. Kova 602 with "access"
    // and "options".
    VError Open(FileAccess inAccess, VFileDesc** outDesc, uint32_t inOptions = 0) const;
    // Kova 607 with "options"; without FO_Overwrite an existing file fails.
    VError Create(uint32_t inOptions = 0) const;
    // Copies to the path (a folder path receives the file under its own name); with FO_Overwrite
    // an existing destination is replaced, else the copy fails. Kova 605 with "destination" and
    // "options"; the new file (when asked) is retained for the caller, null on failure.
    VError CopyTo(const VFilePath& inDestination, VFile** outCopy, uint32_t inOptions) const;
    // The source copied onto this file's path (the error names the source).
    VError CopyFrom(const VFile& inSource, uint32_t inOptions) const;
    // Kova 601 with "newname"; an existing file of the new name fails.
    VError Rename(const VString& inName, VFile** outFile) const;
    // As CopyTo for destinations and options. Kova 606 with "destination" and "options".
    VError Move(const VFilePath& inDestination, VFile** outFile, uint32_t inOptions) const;
    VError Move(const VFile& inDestination, uint32_t inOptions) const;
    VError Move(const VFolder& inDestination, VFile** outFile, uint32_t inOptions) const;
    // A missing file is a success. Kova 604.
    VError MoveToTrash() const;

    // Kova 608 for the getters, 609 for the setters marked so.
    VError GetResourceForkSize(int64_t* outSize) const;
    VError SetTimeAttributes(const VTime* inModified, const VTime* inCreated, const VTime* inAccessed) const;
    VError GetFileAttributes(uint32_t& outAttributes) const;
    VError SetFileAttributes(uint32_t inAttributes) const;
    // The volume's free space and capacity; an answer at most inMaxAgeMilliseconds old (with the
    // same inWithQuotas) is given again without asking the system. Both 0 on failure.
    VError GetVolumeFreeSpace(int64_t* outFree, int64_t* outTotal = nullptr, bool inWithQuotas = true,
                              uint32_t inMaxAgeMilliseconds = 0, const VFileDesc* inDesc = nullptr) const;
    VError MAC_GetKind(uint32_t* outKind) const;
    VError MAC_GetCreator(uint32_t* outCreator) const;
    VError Mac_GetOwner(uint32_t& outUser, uint32_t& outGroup) const;
    VError MAC_GetPermissions(uint16_t* outMode) const;
    VError MAC_SetKind(uint32_t inKind) const;            // 609
    VError MAC_MakeWritableByAll() const;                 // 609
    VError MAC_SetPermissions(uint16_t inMode) const;     // 609
    VError MAC_SetCreator(uint32_t inCreator) const;      // 609
    VError MAC_SetExtensionVisible(bool inVisible) const; // 609
    bool MAC_IsWritableByAll() const;
    bool MAC_IsSymbolicLink() const;
    // Raised on failure.
    VError MAC_CreateSymbolicLink(const VFilePath& inTarget, bool inRelative) const;
    // Clears the lock and gives the owner its rights back. Kova 609.
    VError Unlock() const;

    // For trees that someone else laid out (a download): operations on a file inside inRoot that
    // never go through a way out of it. inRoot is taken as named; the links below it, the file
    // itself included, are followed while their way stays inside it (relative links that never go
    // above it); a link whose way leaves it is refused with POSX ELOOP, *outLink (when given)
    // getting its path (cleared otherwise); a file outside inRoot is refused with EINVAL.
    //
    // SetContent's replacement (kova 602 when refused): the missing folders on the way are made,
    // and an item in the file's place that is no regular file is refused (EINVAL) untouched. A
    // file with other names is replaced, which leaves them their old content.
    VError SetContentBeneath(const VFolder& inRoot, const void* inData, size_t inSize,
                             VFilePath* outLink = nullptr) const;
    // MAC_GetPermissions (kova 608) and MAC_SetPermissions (kova 609). A file with more than one
    // name, another of which may lie outside inRoot, is not changed: POSX EMLINK, *outOtherNames
    // (when given) getting this file's path (cleared otherwise).
    VError MAC_GetPermissionsBeneath(const VFolder& inRoot, uint16_t* outMode,
                                     VFilePath* outLink = nullptr) const;
    VError MAC_SetPermissionsBeneath(const VFolder& inRoot, uint16_t inMode, VFilePath* outLink = nullptr,
                                     VFilePath* outOtherNames = nullptr) const;

    // Kova 610: no aliases but links here.
    VError CreateAlias(const VFilePath& inAliasPath, const VFilePath* inRelativeTo) const;
    // The path the link finally names; cleared on failure (kova 611).
    VError ResolveAlias(VFilePath& outPath) const;
    bool IsAliasFile() const;
    bool HasResourceFork() const;
    // When *ioFile is a link to a file, replaces it (released) with that file. A link that cannot
    // be resolved, or names a folder (kova 617), is deleted with inDeleteUnresolved; else its
    // failure is returned. A file that is no link is left alone.
    static VError ResolveAliasFile(VFile** ioFile, bool inDeleteUnresolved);
    static VError ResolveAliasFile(VRefPtr<VFile>& ioFile, bool inDeleteUnresolved);
    // The file of that name in the folder, resolved as above with deletion; null when it was a link
    // that could not be resolved to a file.
    static VFile* CreateAndResolveAlias(const VFolder& inFolder, const VString& inName,
                                        FilePathStyle inStyle);
    // Kova 612; true when shown.
    bool RevealInFinder() const;

    // Paths compare exactly on this platform. False for null.
    bool IsSameFile(const VFile* inOther) const;
    bool ConformsTo(const VFileKind& inKind) const;
    // False for an identifier the file-kind manager does not know.
    bool ConformsTo(const VString& inKindID) const;

    // The absolute file URL of the path; GetRelativeURL drops the base folder's URL when it begins
    // this one. Both return 0.
    VError GetURL(VString& outURL, bool inEncoded) const;
    VError GetRelativeURL(VFolder* inBase, VString& outURL, bool inEncoded) const;

    const XMacFile& GetImpl() const { return fImpl; }

private:
    // The rule of native failures, for this file; inSetParameters adds the operation's own.
    VError _ThrowNative(VError inNative, VError inOperationError,
                        const std::function<void(VValueBag&)>& inSetParameters = {}) const;
    // A failure that comes from no system call: the file error alone.
    VError _Throw(VError inError, const std::function<void(VValueBag&)>& inSetParameters = {}) const;
    // The file system handed to a destination: this file's when the destination lies in its root.
    VFileSystem* _FileSystemFor(const VFilePath& inDestination) const;
    // The file opened, and its size.
    VError _OpenWithSize(FileAccess inAccess, uint32_t inOptions, std::unique_ptr<VFileDesc>& outDesc,
                         int64_t& outSize) const;
    // The folders above the file, made when missing.
    VError _CreateParentFolders() const;
    VError _Create(uint32_t inOptions, uint16_t inMode) const;
    // The error of a whole-content write, after the step that failed.
    VError _ThrowContentError(VError inNative, XMacFile::EContentStep inStep, size_t inSize) const;
    // The link a "beneath" operation met, as a path; cleared when none.
    static void _GiveLink(const std::string& inLink, VFilePath* outLink);
    // Delete and MoveToTrash.
    VError _Remove(bool inToTrash) const;
    // The copies and the moves: the checks, the work of the platform part, the errors.
    VError _CopyOrMove(bool inMove, const VFilePath& inDestination, VFileSystem* inFileSystem,
                       VFile** outFile, uint32_t inOptions) const;

    XMacFile fImpl;
    VFilePath fPath;
    VFileSystem* fFileSystem = nullptr;
    // The last free-space answer; taken and put back by atomic exchanges.
    mutable std::atomic<VVolumeInfo*> fVolumeInfo{nullptr};
};

} // namespace kova
