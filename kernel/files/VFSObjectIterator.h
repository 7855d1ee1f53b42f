// The folder iterators list the files (VFileIterator) or the sub-folders (VFolderIterator) of one
// folder, one level deep, over the platform iterator (XMacFSObjectIterator), which reads and
// filters the entries. An iterator stands on its first item once made; each item is a new object
// on the folder's file system, held until the iterator moves on.
//
//     for (VFileIterator file(folder, FI_WANT_FILES); file.IsValid(); ++file)
//         ... file->GetPath() ...
//
// The options (XMacFSObjectIterator.h): FI_WANT_FOLDERS, FI_WANT_FILES, FI_WANT_INVISIBLES,
// FI_RESOLVE_ALIASES. A file iterator never returns folders and a folder iterator never files,
// whatever the options.
//
// FileAttributeAccessor hands a walk's callback the current item and its times (IFileAttributeAccessor).
#pragma once

#include "kernel/files/IFileAttributeAccessor.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "platform/mac/files/XMacFSObjectIterator.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace kova
{

template <class XIMPL>
class FileAttributeAccessor : public IFileAttributeAccessor
{
public:
    explicit FileAttributeAccessor(XIMPL* inIterator) : fIterator(inIterator) {}

    VError GetTime(VTime* outModified, VTime* outCreated, VTime* outAccessed) const override
    {
        return fIterator->GetTime(outModified, outCreated, outAccessed);
    }
    IFile* GetFile() const override { return fFile; }
    IFolder* GetFolder() const override { return fFolder; }
    void SetDocument(IFile* inFile) override
    {
        fFile = inFile;
        fFolder = nullptr;
    }
    void SetDocument(IFolder* inFolder) override
    {
        fFolder = inFolder;
        fFile = nullptr;
    }

private:
    XIMPL* fIterator;
    IFile* fFile = nullptr;
    IFolder* fFolder = nullptr;
};

template <class ITEM, class XIMPL>
class VFSObjectIterator : public VObject
{
public:
    // The folder (may be null: nothing is listed) is retained. inExcludedKind is the option bit of
    // the other kind of item, which the platform iterator never sees. A listing of the folder read
    // already (XMacFSObjectIterator::ReadListing) spares reading it again.
    VFSObjectIterator(const VFolder* inFolder, uint32_t inOptions, uint32_t inExcludedKind,
                      std::shared_ptr<const XMacFSObjectIterator::Listing> inListing = nullptr)
        : fFolder(RetainRefCountable(const_cast<VFolder*>(inFolder))), fOptions(inOptions & ~inExcludedKind)
    {
        _Init(std::move(inListing));
    }
    VFSObjectIterator(const VFSObjectIterator&) = delete;
    VFSObjectIterator& operator=(const VFSObjectIterator&) = delete;
    ~VFSObjectIterator() override
    {
        _DropImpl();
        ReleaseRefCountable(&fCurrent);
        ReleaseRefCountable(&fFolder);
    }

    bool IsValid() const { return fCurrent != nullptr; }
    // The current item, not retained; null at the end.
    ITEM* Current() const { return fCurrent; }
    ITEM* operator->() const { return fCurrent; }
    ITEM& operator*() const { return *fCurrent; }
    // 1 for the first item.
    int32_t GetPos() const { return fIndex; }
    // The accessor of the current item; null at the end.
    IFileAttributeAccessor* GetAttributeAccessor() const { return fAccessor; }
    // The platform iterator; null at the end.
    const XIMPL* GetImpl() const { return fImpl; }

    VFSObjectIterator& operator++()
    {
        ReleaseRefCountable(&fCurrent);
        if (fImpl != nullptr)
            fCurrent = fImpl->Next();
        ++fIndex;
        if (fCurrent == nullptr)
            _DropImpl();
        return *this;
    }

private:
    void _Init(std::shared_ptr<const XMacFSObjectIterator::Listing> inListing)
    {
        fIndex = 0;
        if (fFolder != nullptr)
        {
            if (inListing == nullptr)
                inListing = XMacFSObjectIterator::ReadListing(*fFolder);
            fImpl = new (std::nothrow) XIMPL(*fFolder, fOptions, std::move(inListing));
            fAccessor = fImpl != nullptr ? new (std::nothrow) FileAttributeAccessor<XIMPL>(fImpl) : nullptr;
            ReleaseRefCountable(&fCurrent);
            if (fAccessor != nullptr)
                fCurrent = fImpl->Next();
        }
        if (fCurrent == nullptr)
            _DropImpl();
        else
            fIndex = 1;
    }
    void _DropImpl()
    {
        delete fAccessor;
        fAccessor = nullptr;
        delete fImpl;
        fImpl = nullptr;
    }

    VFolder* fFolder;
    ITEM* fCurrent = nullptr;
    int32_t fIndex = 0;
    uint32_t fOptions;
    XIMPL* fImpl = nullptr;
    FileAttributeAccessor<XIMPL>* fAccessor = nullptr;
};

class VFolderIterator : public VFSObjectIterator<VFolder, XMacFolderIterator>
{
public:
    explicit VFolderIterator(const VFolder* inFolder, uint32_t inOptions = FI_WANT_FOLDERS,
                             std::shared_ptr<const XMacFSObjectIterator::Listing> inListing = nullptr)
        : VFSObjectIterator(inFolder, inOptions, FI_WANT_FILES, std::move(inListing))
    {
    }
    ~VFolderIterator() override;
};

class VFileIterator : public VFSObjectIterator<VFile, XMacFileIterator>
{
public:
    explicit VFileIterator(const VFolder* inFolder, uint32_t inOptions = FI_WANT_FILES,
                           std::shared_ptr<const XMacFSObjectIterator::Listing> inListing = nullptr)
        : VFSObjectIterator(inFolder, inOptions, FI_WANT_FOLDERS, std::move(inListing))
    {
    }
    ~VFileIterator() override;
};

} // namespace kova
