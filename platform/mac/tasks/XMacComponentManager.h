// The platform half of VComponentManager: which of the main bundle's localizations the user's
// preferred languages ask for, through the bundle stand-in.
#pragma once

namespace kova
{

class VString;

class XMacComponentManager
{
public:
    XMacComponentManager() = delete;

    // The name of the main bundle's ".lproj" folder (without the extension) that matches the
    // user's preferred languages: for each in turn, exactly, else by language. False when none
    // matches.
    static bool GetPreferredLocalizationOfMainBundle(VString& outName);
};

} // namespace kova
