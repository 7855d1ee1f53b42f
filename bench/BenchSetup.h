// Brings up what the toolbox needs before a benchmark measures it (the memory manager first,
// as the entry point does).
#pragma once

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

namespace kova::bench
{

inline void EnsureToolbox()
{
    if (VObject::sCppMemMgr == nullptr)
        VObject::sCppMemMgr = new VCppMemMgr(VCppMemMgr::eAllocatorStdLib);
}

} // namespace kova::bench
