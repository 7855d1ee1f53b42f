// XMacComponentManager is the system's side of the component manager: the localizations of the
// main bundle in the order of the user's preferred languages.
#pragma once

#include "kernel/text/VString.h"

#include <vector>

namespace kova
{

class XMacComponentManager
{
public:
    XMacComponentManager() = delete;

    // The names of the main bundle's ".lproj" folders (without the extension) that match one of
    // the user's preferred languages, best first: a full tag ("fr-CA") before its language ("fr").
    static void GetPreferredLocalizations(std::vector<VString>& outNames);
};

} // namespace kova
