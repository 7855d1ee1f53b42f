// VFolder is the reference-counted object that stands for one folder named by a folder path; the
// folder need not exist. It creates folders, alone or with all their missing ancestors, finds the
// system's well-known folders, and gives its parent and relative folders and files. The disk work
// is its platform part's (XMacFolder); a system failure becomes a VFileError naming the folder.
//
// A folder may belong to a named file system (VFileSystem): relative folders and parents made
// through it stay inside that file system's root. A folder object never changes its path.
//
//     VRefPtr<VFolder> logs(new VFolder(path));
//     if (logs->CreateRecursive(false) != VE_OK) ... // the error names the folder that failed
#pragma once

#include "kernel/files/IFolder.h"
#include "kernel/files/VFilePath.h"
#include "kernel/values/VObject.h"
#include "platform/mac/files/XMacFolder.h"

namespace kova
{

class VFileSystem;

namespace ns
{
class URL;
} // namespace ns

// The system's well-known folders.
enum ESystemFolderKind : int32_t
{
    eSystemFolderExecutable = 0,              // the folder that holds the application's executable
    eSystemFolderDocuments = 1,               // the user's documents
    eSystemFolderTemporary = 2,               // $TMPDIR, else /tmp
    eSystemFolderNone = 3,                    // no folder: the request fails
    eSystemFolderApplicationSupportLocal = 4, // shared by the users of the machine
    eSystemFolderApplicationSupportUser = 5,
    eSystemFolderApplicationSupportLocal2 = 6, // as 4
    eSystemFolderApplicationSupportUser2 = 7,  // as 5
    eSystemFolderDesktop = 8,
    eSystemFolderApplications = 9,
    eSystemFolderCachesLocal = 10,
    eSystemFolderCachesUser = 11,
    eSystemFolderLibrary = 12,
    eSystemFolderHome = 13,
};

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
    VError GetElements(std::vector<VRefPtr<IFile>>* outFiles,
                       std::vector<VRefPtr<IFolder>>* outFolders) const override;
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

    // The folder of the kind, retained for the caller (no file system); created when inCreate
    // asks and it is missing. Null when the kind has no folder here.
    static VFolder* RetainSystemFolder(ESystemFolderKind inKind, bool inCreate);

    const XMacFolder& GetImpl() const { return fImpl; }

private:
    // The rule of native failures, for this folder.
    VError _ThrowNative(VError inNative, VError inOperationError) const;

    XMacFolder fImpl;
    VFilePath fPath;
    VFileSystem* fFileSystem = nullptr;
};

} // namespace kova
