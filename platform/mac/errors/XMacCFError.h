// XMacCFError reads the system's error objects (a CFError, or an NSError, which is the same
// object) as native error codes: the object's domain gives the component signature and its code
// the number. VErrorBase's MakeVErrorFrom... functions are its portable face.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

namespace cf
{
struct Error;
}

class XMacCFError
{
public:
    XMacCFError() = delete;

    // 0 for null. The domains OSStatus, POSIX, Mach and Cocoa give CARB, POSX, MACH and COCO with
    // the code in the low 32 bits; any other domain gives kova 1.
    static VError GetNativeError(const cf::Error* inError);
    // Drops the caller's reference to a non-null error.
    static void Release(cf::Error* inError);
};

} // namespace kova
