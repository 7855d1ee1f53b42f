// XMacFSObjectIterator lists one folder, one level deep, for the portable iterators
// (VFSObjectIterator): it reads the folder's entries, filters them by the iterator options, resolves
// links when asked, and names each item by its toolbox path (colon syntax) and its POSIX path.
// XMacFolderIterator and XMacFileIterator make the item objects.
//
// The entries are read once, when the iterator is made, and the folder closed again: a walk down
// a deep tree holds no descriptor per level. Items are named from the folder's real path (links
// above it resolved). Hidden here means a name that begins with "." (the system has no hidden flag).
// Entries that vanish or cannot be read, converted or resolved are left out without an error; so
// are pipes, sockets and devices, which are neither files nor folders.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kova
{

class VFile;
class VFileSystem;
class VFolder;
class VTime;

// The iterator options.
constexpr uint32_t FI_WANT_FOLDERS = 0x02;
constexpr uint32_t FI_WANT_FILES = 0x04;          // regular files and symbolic links
constexpr uint32_t FI_WANT_INVISIBLES = 0x08;     // names that begin with "." too
constexpr uint32_t FI_RESOLVE_ALIASES = 0x10;     // links give the items they lead to
constexpr uint32_t FI_ITERATE_RECURSIVELY = 0x01; // VFolder::Iterate: walk the sub-folders too

class XMacFSObjectIterator : public VObject
{
public:
    // What was read of a folder, which the iterators of its files and of its sub-folders may share.
    struct Listing;

    // Lists the folder; a folder that cannot be read or whose real path cannot be found yields
    // nothing. With a file system, only the items inside its root (real paths compared) are
    // given.
    XMacFSObjectIterator(const VFolder& inFolder, uint32_t inOptions);
    // The same over a listing of the folder read already: the files and the sub-folders of one
    // folder are then read from the system once.
    XMacFSObjectIterator(const VFolder& inFolder, uint32_t inOptions,
                         std::shared_ptr<const Listing> inListing);
    static std::shared_ptr<const Listing> ReadListing(const VFolder& inFolder);
    XMacFSObjectIterator(const XMacFSObjectIterator&) = delete;
    XMacFSObjectIterator& operator=(const XMacFSObjectIterator&) = delete;
    ~XMacFSObjectIterator() override;

    // The next item the options let through: its toolbox path (a folder's ends with ":") and its
    // POSIX path, never cut; false at the end.
    bool GetNextPath(VFilePath& outPath, std::string& outPosixPath);
    // The current item's times, each when asked; with no current item kova 611 is pushed for the
    // folder and kova 600 returned.
    VError GetTime(VTime* outModified, VTime* outCreated, VTime* outAccessed) const;
    // The current item's device and inode (of what a resolved link leads to); false when it
    // cannot be read.
    bool GetCurrentIdentity(uint64_t& outDevice, uint64_t& outInode) const;

protected:
    VFileSystem* fFileSystem = nullptr;

private:
    // The current item's status, read when not known yet; false when it cannot be.
    bool _CurrentStatus() const;
    // The toolbox path of an item given by its real POSIX path.
    bool _PathOf(const std::string& inPosixPath, bool inIsFolder, VFilePath& outPath) const;

    uint32_t fOptions;
    VFilePath fFolderPath;
    std::shared_ptr<const Listing> fListing;
    size_t fNext = 0;
    // The current item.
    std::string fCurrentPath;
    mutable struct stat fStatus = {};
    mutable bool fHasStatus = false;
};

struct XMacFSObjectIterator::Listing
{
    struct Entry
    {
        std::string fName;
        unsigned char fType;
    };
    // The folder's real POSIX path with a trailing "/", and its colon path: the items of the
    // folder are named from them without asking the volumes again.
    std::string fRealPath;
    VFilePath fFolder;
    // The root of the folder's file system, by its real colon path.
    VFilePath fRootRealPath;
    std::vector<Entry> fEntries;
};

class XMacFolderIterator : public XMacFSObjectIterator
{
public:
    using XMacFSObjectIterator::XMacFSObjectIterator;
    // The next folder (count 1, on the iterator's file system); null at the end.
    VFolder* Next();
};

class XMacFileIterator : public XMacFSObjectIterator
{
public:
    using XMacFSObjectIterator::XMacFSObjectIterator;
    // The next file (count 1, on the iterator's file system); null at the end.
    VFile* Next();
};

} // namespace kova
