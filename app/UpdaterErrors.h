// Raising the updater's errors with the paths they concern, as parameters of the error.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

class VFilePath;
class VString;

// Each does nothing for code 0; otherwise it pushes an error of that code on the current error
// context and returns the code. The paths are the path objects' own strings.
VError ThrowErrorWithPath(VError inError, const VFilePath& inPath);
VError ThrowErrorWithPaths(VError inError, const VFilePath& inSource, const VFilePath& inDestination);
// The same with two named path parameters.
VError ThrowErrorWithNamedPaths(VError inError, const char* inName1, const VFilePath& inPath1,
                                const char* inName2, const VFilePath& inPath2);
// The same with the parameter "ServiceName".
VError ThrowServiceError(VError inError, const VString& inServiceName);

} // namespace kova
