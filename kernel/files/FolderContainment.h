// Whether a path read from outside stays inside the folder it was given, decided on disk: the
// names of a path are resolved when it is made, so what can still lead out are links, which only
// the real paths show.
#pragma once

namespace kova
{

class VFilePath;

// Both paths taken to their real places (links resolved down to the deepest part that exists,
// the rest kept as named), and the path the folder itself or below it. False when either cannot
// be resolved.
bool IsInsideFolderOnDisk(const VFilePath& inPath, const VFilePath& inFolder);

} // namespace kova
