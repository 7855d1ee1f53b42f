// IFileSystemObject is what files and folders share: a path, the named file system they belong
// to, existence, times and a parent folder. IFile and IFolder extend it; VFile and VFolder
// implement them. The operations written once here work on the object's path alone.
//
// Also here: the escaping of the characters that may not stand in a file name ("%" and two
// upper-case hexadecimal digits for controls and " % * / : < > ? \ |).
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"

namespace kova
{

class IFile;
class IFolder;
class VFileSystem;
class VJSONValue;
class VTime;

class IFileSystemObject : public IRefCountable
{
public:
    ~IFileSystemObject() override;

    virtual const VFilePath& GetPath() const = 0;
    // Null when the object belongs to no named file system.
    virtual VFileSystem* GetFileSystem() const = 0;
    virtual void GetPlatformPath(VString& outPath, FilePathStyle inStyle) const = 0;
    virtual VString GetPathWithFileSystem() const = 0;
    // Retained; null when there is no parent (or, sandboxed, none the file system allows).
    virtual IFolder* RetainParentFolder(bool inSandboxed) const = 0;
    virtual bool Exists() const = 0;
    // The last component without its extension; each interface says how.
    virtual void GetNameWithoutExtension(VString& outName) const = 0;
    // Each time may be null.
    virtual VError GetTimeAttributes(VTime* outModified, VTime* outCreated, VTime* outAccessed) const = 0;

    // The last component with its extension.
    void GetName(VString& outName) const;
    void GetExtension(VString& outExtension) const;
    // Case and accents do not count.
    bool MatchExtension(const VString& inExtension) const;

protected:
    // GetPlatformPath of files and folders: FPS_POSIX gives the platform part's path, FPS_SYSTEM
    // the colon path, any other style an empty string.
    template <class IMPL>
    void _GetPlatformPathOf(const IMPL& inImpl, VString& outPath, FilePathStyle inStyle) const
    {
        if (inStyle == FPS_POSIX)
            inImpl.GetPosixPath(outPath);
        else if (inStyle == FPS_SYSTEM)
            outPath.FromString(GetPath().GetPath());
        else
            outPath.Clear();
    }
    // GetURL and GetRelativeURL of files and folders: the absolute file URL of the path, without the
    // base folder's URL when that begins it.
    void _MakeURL(VString& outURL, bool inEncoded) const;
    void _MakeRelativeURL(const IFileSystemObject* inBase, VString& outURL, bool inEncoded) const;
    // GetPathWithFileSystem of files and folders: "/", the file system's name, "/" and the POSIX
    // path relative to its root when the object lies inside it, else the POSIX platform path.
    VString _MakePathWithFileSystem() const;
};

// Hooks that let another layer turn JSON values into files and folders and back. They are set
// once at start-up, before any task uses them; each may be null.
using FileExtractor = IFile* (*)(const VJSONValue& inValue);
using FolderExtractor = IFolder* (*)(const VJSONValue& inValue);
using FileWrapper = VJSONValue (*)(IFile* inFile);
using FolderWrapper = VJSONValue (*)(IFolder* inFolder);
// Replaces the four hooks.
void SetFileFolderExtractorAndWrapper(FileExtractor inFileExtractor, FolderExtractor inFolderExtractor,
                                      FileWrapper inFileWrapper, FolderWrapper inFolderWrapper);
// The hook's retained file or folder; null while the hook is unset.
IFile* ExtractFile(const VJSONValue& inValue);
IFolder* ExtractFolder(const VJSONValue& inValue);
// The hook's value; undefined while the hook is unset.
VJSONValue WrapFile(IFile* inFile);
VJSONValue WrapFolder(IFolder* inFolder);

// Controls and " % * / : < > ? \ | become "%" and two hexadecimal digits; everything else stays.
VString EncodeReservedFileCharacters(const VString& inName);
// Every "%" followed by two units becomes the unit they give in hexadecimal (whether or not it is
// a reserved one); a "%" with fewer units after it stays.
VString DecodeReservedFileCharacters(const VString& inName);

} // namespace kova
