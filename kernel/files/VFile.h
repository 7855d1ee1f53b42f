// VFile is the reference-counted object that stands for one file named by a path; the file need
// not exist. This first form names a file inside a folder and answers whether it exists; the file
// operations join it with the file layer.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VFolder;

class VFile : public VObject, public IRefCountable
{
public:
    // The file of that name in the folder: the folder's path followed by the name, read in the
    // given syntax.
    VFile(const VFolder& inFolder, const VString& inName, FilePathStyle inStyle);
    ~VFile() override;

    const VFilePath& GetPath() const { return fPath; }
    // A valid file path naming a file on disk (symbolic links followed), not a folder.
    bool Exists() const;

private:
    VFilePath fPath;
};

} // namespace kova
