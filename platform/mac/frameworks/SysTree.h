// Our stand-in for the tree walks of libSystem (fts) that the file manager and the folders make:
// copying a whole folder, removing one, and telling whether a path lies inside a folder.
//
// Every walk goes by directory descriptors (openat with O_NOFOLLOW, unlinkat, mkdirat), so a
// symbolic link met on the way is copied or removed as a link and never entered, and a folder
// renamed or replaced by a link while the walk runs cannot lead it elsewhere. The walks keep a
// stack of their own, not the caller's: a tree from outside may be as deep as the system allows.
// They hold a few descriptors whatever the depth (the folders far above the one walked are let go
// and found again through "..", and must then be the folders left), so that a deep tree does not
// run the process out of descriptors.
#pragma once

#include "platform/mac/frameworks/SysFile.h"

#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kova::sys
{

// Where a walk failed: the item's path, the errno, and whether reading the source failed (for a
// copy; a removal fails on the write side).
struct TreeFailure
{
    std::string fPath;
    int fErrno = 0;
    bool fReadSide = false;
};

// Copies the folder inFrom to inTo, which must not exist: every entry, folders with their modes
// and times (set once their contents are in), regular files with their bytes, modes and times,
// symbolic links as links; owners too when the caller is the superuser, or with inRights what they
// give every item, inTo included (see ItemRights). An entry that is none of these (a pipe, a
// socket, a device) is never opened and fails the copy with ENOTSUP. Without inProceedAfterError
// the copy stops at the first failure and removes what it made; with it, the walk goes on and the
// copy stays. 0, or the errno of the first failure (described in *outFailure when given).
int CopyTree(const std::string& inFrom, const std::string& inTo, bool inProceedAfterError,
             TreeFailure* outFailure = nullptr, const ItemRights* inRights = nullptr);

// What a removal does besides removing.
struct RemoveOptions
{
    // Locked items and folders their owner may not write are unlocked before they go (the
    // immutable flag cleared, the owner given full rights).
    bool fUnlock = false;
    // Without it only the items that are no folders go.
    bool fWithSubFolders = true;
    // Called after each sub-folder is removed (the caller may yield there).
    std::function<void()> fAfterFolder;
};

// Removes the item at the path: a folder with everything in it; anything else (a link included,
// never followed) alone. 0 or the errno of the first failure, which stops the walk. A walk never
// enters another file system than the one of the folder it empties: at a folder where another is
// mounted (a bind mount too) it stops with EBUSY, that folder untouched and named in *outFailure.
int RemoveTree(const std::string& inPath, const RemoveOptions& inOptions, TreeFailure* outFailure = nullptr);
// Removes what the folder holds and leaves the folder; a link at the path is not entered (ENOTDIR).
int RemoveTreeContents(const std::string& inPath, const RemoveOptions& inOptions,
                       TreeFailure* outFailure = nullptr);

// Removes the temporaries in inFolder (named by TemporarySiblingPath) that stand for one of the
// items inNames and whose maker has quit: the partial copies and displaced items that a copy
// killed on the way left behind. Those of a process that still runs, or that cannot be told, stay.
// A failure leaves the item where it is.
void RemoveAbandonedTemporaries(const std::string& inFolder, const std::vector<std::string>& inNames);

// Whether the item at the path, or the folder that holds it, or one above, is the folder of that
// identity (device and inode); links resolved. A path that does not exist yet is judged by its
// deepest existing ancestor.
bool IsSameOrInside(const std::string& inPath, const struct stat& inFolder);

// The item at inTemporary takes the place of inTo. When nothing is at inTo it is renamed there
// without ever replacing an item; when something is there and inReplace allows it, the two are
// exchanged in one step and the displaced item (now at *outDisplaced) is the caller's to remove;
// where the file system cannot exchange, the old item is renamed aside first and put back when
// the new one cannot take its place. 0 or errno (EEXIST when an item is there and inReplace is
// false).
int PutInPlace(const std::string& inTemporary, const std::string& inTo, bool inReplace,
               std::string& outDisplaced);

// For tests: once inAfterCount more items have been removed by the walks above, each removal fails
// with inErrno, until errno 0 clears the fault.
void SetRemoveFaultForTesting(int inErrno, int inAfterCount);
// For tests: once inAfterCount more files have been copied by CopyTree, each file copy fails with
// inErrno, or, with kCopyFaultStop, the process stops itself (SIGSTOP) there once, so that a test
// may kill it at that point. Errno 0 clears the fault.
constexpr int kCopyFaultStop = -1;
void SetCopyFaultForTesting(int inErrno, int inAfterCount);

} // namespace kova::sys
