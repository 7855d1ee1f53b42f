// The updater's copy helpers: a file or a folder's contents copied with the destination folders
// made on the way, and a file found in a folder by its extension. Failures are raised on the
// current error context with the paths they concern (UpdaterErrors.h), except where noted.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VFilePath;
class VFolder;
class VString;

// Copies the file to the destination path with the VFile::CopyTo options, making the folders of
// the destination first. A folder that cannot be made raises its own error with its "path"; a
// copy that fails raises UPQL 8 with "srcPath" and "dstPath". Answers the error, or 0.
VError RobustCopyFile(const VFilePath& inSource, const VFilePath& inDestination, uint32_t inOptions);

// Copies the items of the source folder into the destination, made with its parents when missing.
// A missing source raises kova 650 with its "path"; a destination that cannot be made, or a copy
// that fails, raises that error with the destination's "path".
bool RobustCopyFolderContent(const VFolder& inSource, VFolder& inDestination, uint32_t inOptions);
bool RobustCopyFolderContent(const VFilePath& inSource, const VFilePath& inDestination, uint32_t inOptions);

// The path of the first file of the folder whose extension is inExtension (diacritics and case
// not significant), in the order the folder lists them; kova 600 when there is none. The path form
// answers kova 3 for a path that is no valid folder path, leaving outPath as it was. Nothing is
// raised.
VError FindFileByExt(const VFolder& inFolder, const VString& inExtension, VFilePath& outPath);
VError FindFileByExt(const VFilePath& inFolder, const VString& inExtension, VFilePath& outPath);

} // namespace kova
