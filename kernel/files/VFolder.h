// VFolder is the reference-counted object that stands for one folder named by a path; the folder
// need not exist. This first form answers whether the folder exists; the folder operations join
// it with the file layer.
#pragma once

#include "kernel/files/VFilePath.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

namespace kova
{

class VFileSystem;

class VFolder : public VObject, public IRefCountable
{
public:
    // Named file systems are not held yet: the pointer is accepted and must be null.
    explicit VFolder(const VFilePath& inPath, VFileSystem* inFileSystem = nullptr);
    ~VFolder() override;

    const VFilePath& GetPath() const { return fPath; }
    // A valid folder path naming a folder on disk (symbolic links followed).
    bool Exists() const;

private:
    VFilePath fPath;
};

} // namespace kova
