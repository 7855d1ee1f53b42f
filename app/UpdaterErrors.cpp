#include "app/UpdaterErrors.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFilePath.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

namespace
{

VError Throw(VError inError, const char* inName1, const VString* inText1, const char* inName2,
             const VString* inText2)
{
    if (inError == VE_OK)
        return VE_OK;
    VErrorBase* error = new (std::nothrow) VErrorBase(inError);
    if (error == nullptr)
        return inError;
    if (inText1 != nullptr)
        error->GetBag()->SetString(inName1, *inText1);
    if (inText2 != nullptr)
        error->GetBag()->SetString(inName2, *inText2);
    _PushRetainedError(error, VE_OK);
    return inError;
}

} // namespace

VError ThrowErrorWithPath(VError inError, const VFilePath& inPath)
{
    return Throw(inError, "path", &inPath.GetPath(), nullptr, nullptr);
}

VError ThrowErrorWithPaths(VError inError, const VFilePath& inSource, const VFilePath& inDestination)
{
    return Throw(inError, "srcPath", &inSource.GetPath(), "dstPath", &inDestination.GetPath());
}

VError ThrowErrorWithNamedPaths(VError inError, const char* inName1, const VFilePath& inPath1,
                                const char* inName2, const VFilePath& inPath2)
{
    return Throw(inError, inName1, &inPath1.GetPath(), inName2, &inPath2.GetPath());
}

VError ThrowServiceError(VError inError, const VString& inServiceName)
{
    return Throw(inError, "ServiceName", &inServiceName, nullptr, nullptr);
}

} // namespace kova
