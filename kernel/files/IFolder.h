// IFolder is the interface of a folder, implemented by VFolder.
#pragma once

#include "kernel/files/IFileSystemObject.h"
#include "kernel/values/VRefPtr.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kova
{

class IFile;
class IFileAttributeAccessor;

class IFolder : public IFileSystemObject
{
public:
    ~IFolder() override;

    // IFileSystemObject: the folder name without its extension.
    void GetNameWithoutExtension(VString& outName) const override;

    // Retained; null when the relative path names no folder the file system allows.
    virtual IFolder* RetainRelativeFolder(const VString& inRelativePath, FilePathStyle inStyle,
                                          VFileSystem* inFileSystem) const = 0;
    // The folder's files and sub-folders, appended retained; either vector may be null.
    virtual VError GetElements(std::vector<VRefPtr<IFile>>* outFiles,
                               std::vector<VRefPtr<IFolder>>* outFolders) const = 0;
    // Calls the function for each item the options ask for, until it returns false.
    virtual VError Iterate(std::function<bool(IFileAttributeAccessor*)>&& inFunction,
                           uint32_t inOptions) const = 0;
    // Retained; null when the relative path names no file.
    virtual IFile* _RetainRelativeIFile(const VString& inRelativePath, FilePathStyle inStyle) const = 0;

    // Whether both name the same folder (paths compare exactly on this platform). False for null.
    bool IsSameFolder(const IFolder* inOther) const;
};

} // namespace kova
