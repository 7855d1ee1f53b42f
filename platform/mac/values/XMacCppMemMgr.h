// The platform half of VCppMemMgr: what the main bundle asks of the memory manager.
#pragma once

namespace kova
{

class XMacCppMemMgr
{
public:
    XMacCppMemMgr() = delete;

    // Whether the main bundle's information dictionary sets "MemoryAllocator" to "kova" (in any
    // case). No key, "stdlib" or any other value means the C library. Allocates nothing through
    // the memory manager, which does not exist yet when this is asked.
    static bool MainBundleAsksForPooledAllocator();
};

} // namespace kova
