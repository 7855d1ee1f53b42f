// The platform half of VDebugMgr: where the application bundle lies, for the assert file's path,
// and the break into the debugger.
#pragma once

#include <string>

namespace kova
{

class XMacDebugMgr
{
public:
    XMacDebugMgr() = delete;

    // The main bundle's path, without a trailing separator.
    static std::string GetMainBundlePath();
    // Stops in the debugger attached to the process; nothing without one.
    static void Debugger();
};

} // namespace kova
