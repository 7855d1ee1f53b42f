// VFileError is the error of a file or folder operation: a toolbox error that names the file,
// folder or path concerned in its parameters "name" (the last component with its extension) and
// "path" (the full colon path), so that error texts can say "{name}" and "{path}".
//
// File and folder operations report a native failure (a POSX, MACH, CARB or COCO code) through
// ThrowFromNative: the native code is mapped to a more precise toolbox code when the toolbox
// knows one, else the operation's own code is used; the file error is pushed together with the
// native error and its code returned. Any other code passes back unchanged, with nothing pushed.
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VFilePath.h"

#include <functional>

namespace kova
{

class VFile;
class VFolder;
class VValueBag;

class VFileError : public VErrorBase
{
public:
    // A null file or folder gives an empty path.
    VFileError(const VFile* inFile, VError inError);
    VFileError(const VFolder* inFolder, VError inError);
    VFileError(const VFilePath& inPath, VError inError);
    ~VFileError() override;

    const VFilePath& GetPath() const { return fPath; }

    // The base's description: the localized text of the code with the parameters filled in.
    void GetErrorDescription(VString& outText) const override;

    // Whether the code comes from the system (POSX, MACH, CARB or COCO).
    static bool IsNativeError(VError inError);
    // The rule above. inSetParameters, when given, adds the operation's parameters to the error
    // before it is pushed. Returns 0 for 0.
    static VError ThrowFromNative(const VFilePath& inPath, VError inNative, VError inOperationError,
                                  const std::function<void(VValueBag&)>& inSetParameters = {});

private:
    void _SetParameters();

    VFilePath fPath;
};

} // namespace kova
