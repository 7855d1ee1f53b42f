#include "kernel/files/VFolder.h"

#include "platform/mac/files/XMacFile.h"

namespace kova
{

VFolder::VFolder(const VFilePath& inPath, VFileSystem*) : fPath(inPath) {}

VFolder::~VFolder() = default;

bool VFolder::Exists() const
{
    VString posixPath;
    fPath.GetPosixPath(posixPath);
    return fPath.IsFolder() && XMacFile::PosixPathExists(posixPath, true);
}

} // namespace kova
