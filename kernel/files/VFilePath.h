// VFilePath names a file or a folder: one full path in the toolbox's colon syntax, with a validity
// flag. The first component is the volume name; components are separated by ":"; a folder path
// ends with ":" ("Volume:Users:me:"), a file path does not ("Volume:Users:me:notes.txt"); a run
// of colons inside a path is a parent step ("a:b::c:" names "a:c:"). A path touches no disk.
//
// This first form holds full paths in the colon syntax, sub-folders and sub-files, the folder of
// a path and the POSIX form; the conversions from POSIX paths and the other path operations join
// it with the file layer.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

namespace kova
{

// The syntax in which a path string is given or wanted.
enum FilePathStyle
{
    FPS_SYSTEM = 0, // the colon syntax
    FPS_POSIX = 1,  // "/" separators
};

class VFilePath : public VObject
{
public:
    // Empty and invalid.
    VFilePath();
    VFilePath(const VFilePath& inOther);
    VFilePath(const VString& inPath, FilePathStyle inStyle, bool inUnused = false);
    VFilePath& operator=(const VFilePath& inOther);
    ~VFilePath() override;

    // A full path in the colon syntax, parent steps resolved. Invalid when empty, when it holds a
    // NUL, or when it begins with ":" (before or after resolving). A POSIX path stays invalid
    // until the file layer converts POSIX paths.
    VFilePath& FromFullPath(const VString& inPath, FilePathStyle inStyle, bool inUnused = false);
    VFilePath& FromFilePath(const VFilePath& inOther);
    void Clear();

    bool IsValid() const { return fIsValid; }
    bool IsFolder() const;
    bool IsFile() const;
    void GetPath(VString& outPath) const { outPath.FromString(fPath); }
    const VString& GetPath() const { return fPath; }
    // The absolute POSIX form; empty for an invalid path.
    void GetPosixPath(VString& outPath) const;

    // A file path becomes the folder that holds it; a folder path stays; a path without ":"
    // becomes empty and invalid. An invalid path is left as it is.
    VFilePath& ToFolder();
    // On a valid folder path only: appends the name and ":" (a sub-folder) or the name alone (a
    // file in it). Neither checks the name.
    VFilePath& ToSubFolder(const VString& inName);
    VFilePath& ToSubFile(const VString& inName);

private:
    VString fPath;
    bool fIsValid = false;
};

} // namespace kova
