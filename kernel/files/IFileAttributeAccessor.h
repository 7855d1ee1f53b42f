// IFileAttributeAccessor is what a folder walk (IFolder::Iterate) hands its callback for each item:
// the item itself, as a file or a folder, and its times, read from what the walk already knows of
// the item rather than by another look-up. It is valid only during the call.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

class IFile;
class IFolder;
class VTime;

class IFileAttributeAccessor
{
public:
    // The item's modification, creation and last-access times, each when asked.
    virtual VError GetTime(VTime* outModified, VTime* outCreated, VTime* outAccessed) const = 0;
    // The item, not retained: one of them is null.
    virtual IFile* GetFile() const = 0;
    virtual IFolder* GetFolder() const = 0;
    virtual ~IFileAttributeAccessor() = default;
    // The item the accessor stands for; setting one kind clears the other.
    virtual void SetDocument(IFile* inFile) = 0;
    virtual void SetDocument(IFolder* inFolder) = 0;
};

} // namespace kova
