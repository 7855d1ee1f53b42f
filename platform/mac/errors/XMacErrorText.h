// XMacErrorText gives the system's own text for an error code of a platform component: POSX
// (errno values), MACH (kernel returns), CARB (Carbon statuses) and COCO (Cocoa error codes). An
// error's message falls back to it when no localizer has a text for the code.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

class VString;

class XMacErrorText
{
public:
    XMacErrorText() = delete;

    // Sets outText to the platform's text for the code and returns true; returns false with
    // outText left empty when the code belongs to no platform component or is a POSX code with
    // no text. A MACH, CARB or COCO code the platform has no text for is named by its number
    // ("Mach error 99", "Carbon status (-12345).", "Cocoa error 7.").
    static bool GetErrorText(VError inError, VString& outText);
};

} // namespace kova
