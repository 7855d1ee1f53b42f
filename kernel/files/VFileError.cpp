#include "kernel/files/VFileError.h"

#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

VFileError::VFileError(const VFile* inFile, VError inError) : VErrorBase(inError)
{
    if (inFile != nullptr)
        fPath.FromFilePath(inFile->GetPath());
    _SetParameters();
}

VFileError::VFileError(const VFolder* inFolder, VError inError) : VErrorBase(inError)
{
    if (inFolder != nullptr)
        fPath.FromFilePath(inFolder->GetPath());
    _SetParameters();
}

VFileError::VFileError(const VFilePath& inPath, VError inError) : VErrorBase(inError), fPath(inPath)
{
    _SetParameters();
}

VFileError::~VFileError() = default;

void VFileError::_SetParameters()
{
    VString name;
    fPath.GetName(name);
    GetBag()->SetString("name", name);
    GetBag()->SetString("path", fPath.GetPath());
}

void VFileError::GetErrorDescription(VString& outText) const
{
    VErrorBase::GetErrorDescription(outText);
}

bool VFileError::IsNativeError(VError inError)
{
    const OsType component = ComponentOfError(inError);
    return component == kCOMPONENT_POSIX || component == kCOMPONENT_MACH || component == kCOMPONENT_CARBON ||
           component == kCOMPONENT_COCOA;
}

VError VFileError::ThrowFromNative(const VFilePath& inPath, VError inNative, VError inOperationError,
                                   const std::function<void(VValueBag&)>& inSetParameters)
{
    if (!IsNativeError(inNative))
        return inNative;
    const VError error = EncodedNativeErrorToVError(inNative, inOperationError);
    VFileError* fileError = new (std::nothrow) VFileError(inPath, error);
    if (fileError != nullptr && inSetParameters)
        inSetParameters(*fileError->GetBag());
    _PushRetainedError(fileError, inNative);
    return error;
}

} // namespace kova
