#include "app/RobustCopy.h"

#include "app/UpdaterErrors.h"
#include "app/VUpdateEngine.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFSObjectIterator.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/VRefPtr.h"

#include <new>

namespace kova
{

VError RobustCopyFile(const VFilePath& inSource, const VFilePath& inDestination, uint32_t inOptions)
{
    VFilePath folderPath(inDestination);
    folderPath.ToFolder();
    VRefPtr<VFolder> folder(new (std::nothrow) VFolder(folderPath));
    if (!folder)
        return ThrowErrorWithPath(VE_MEMORY_FULL, folderPath);
    if (!folder->Exists())
    {
        if (const VError error = folder->CreateRecursive(false); error != VE_OK)
            return ThrowErrorWithPath(error, folderPath);
    }
    VRefPtr<VFile> source(new (std::nothrow) VFile(inSource));
    if (!source || source->CopyTo(inDestination, nullptr, inOptions) != VE_OK)
        return ThrowErrorWithPaths(VE_UPDATER_COPY_FILE_FAILED, inSource, inDestination);
    return VE_OK;
}

bool RobustCopyFolderContent(const VFolder& inSource, VFolder& inDestination, uint32_t inOptions)
{
    if (!inSource.Exists())
    {
        ThrowErrorWithPath(VE_FOLDER_NOT_FOUND, inSource.GetPath());
        return false;
    }
    if (!inDestination.Exists())
    {
        if (const VError error = inDestination.CreateRecursive(false); error != VE_OK)
        {
            ThrowErrorWithPath(error, inDestination.GetPath());
            return false;
        }
    }
    if (const VError error = inSource.CopyContentsTo(inDestination, inOptions); error != VE_OK)
    {
        ThrowErrorWithPath(error, inDestination.GetPath());
        return false;
    }
    return true;
}

bool RobustCopyFolderContent(const VFilePath& inSource, const VFilePath& inDestination, uint32_t inOptions)
{
    VRefPtr<VFolder> source(new (std::nothrow) VFolder(inSource));
    VRefPtr<VFolder> destination(new (std::nothrow) VFolder(inDestination));
    if (!source || !destination)
    {
        ThrowErrorWithPath(VE_MEMORY_FULL, inDestination);
        return false;
    }
    return RobustCopyFolderContent(*source, *destination, inOptions);
}

VError FindFileByExt(const VFolder& inFolder, const VString& inExtension, VFilePath& outPath)
{
    outPath.Clear();
    for (VFileIterator file(&inFolder, FI_WANT_FILES); file.IsValid(); ++file)
    {
        VString extension;
        file->GetExtension(extension);
        if (extension.EqualToString(inExtension, false))
        {
            outPath = file->GetPath();
            return VE_OK;
        }
    }
    return VE_FILE_NOT_FOUND;
}

VError FindFileByExt(const VFilePath& inFolder, const VString& inExtension, VFilePath& outPath)
{
    if (inFolder.IsEmpty() || !inFolder.IsValid() || !inFolder.IsFolder())
        return VE_INVALID_PARAMETER;
    VRefPtr<VFolder> folder(new (std::nothrow) VFolder(inFolder));
    if (!folder)
        return VE_MEMORY_FULL;
    return FindFileByExt(*folder, inExtension, outPath);
}

} // namespace kova
