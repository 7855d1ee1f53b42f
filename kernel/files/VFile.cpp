#include "kernel/files/VFile.h"

#include "kernel/files/VFolder.h"
#include "platform/mac/files/XMacFile.h"

namespace kova
{

VFile::VFile(const VFolder& inFolder, const VString& inName, FilePathStyle inStyle)
{
    fPath.FromRelativePath(inFolder.GetPath(), inName, inStyle);
}

VFile::~VFile() = default;

bool VFile::Exists() const
{
    VString posixPath;
    fPath.GetPosixPath(posixPath);
    return fPath.IsFile() && XMacFile::PosixPathExists(posixPath, false);
}

} // namespace kova
