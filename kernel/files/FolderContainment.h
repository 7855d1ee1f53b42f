// Whether a path lies in a folder on disk: what a reader confined to a folder checks before it
// reads a path that came from its input (a name in a document, an item of a listing).
//
//     if (!IsInFolderOnDisk(file.GetPath(), folder.GetPath()))
//         ... // refused: a link or ".." leads out
#pragma once

#include <cstdint>

namespace kova
{

class VFilePath;

// True when inPath lies below inFolder once ".." and the links of both are resolved: a link
// inside that leads out is outside, a folder named through a link above it holds its own items.
// Beyond the names, a folder on the way that is the folder itself on disk (same device and inode:
// a bind mount of it) holds the path too. What does not exist yet is taken as it is named, below
// its deepest existing ancestor. The folder itself is in itself (by name or identity) only with
// inFolderItself. False when either path cannot be resolved.
bool IsInFolderOnDisk(const VFilePath& inPath, const VFilePath& inFolder, bool inFolderItself = false);

// The checks made on this thread: each resolves real paths, and where the names differ looks at
// the identities of the folders on the way. Tests read it to check that a reader checks each path
// once; counting is a plain add.
inline thread_local uint64_t sFolderContainmentCheckCount = 0;

} // namespace kova
