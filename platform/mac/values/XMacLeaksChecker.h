// The platform half of VLeaksChecker: where the leaks file goes, beside the main bundle.
#pragma once

#include <string>

namespace kova
{

class XMacLeaksChecker
{
public:
    XMacLeaksChecker() = delete;

    // The main bundle's path without the extension of its last name (/Applications/Tool.app
    // gives /Applications/Tool), as the file system spells it. Empty when there is no bundle
    // path, or when the path would not fit 4096 bytes with its terminator.
    static std::string GetMainBundlePathWithoutExtension();
};

} // namespace kova
