// What the process object will answer for the code that runs before it exists. Errors are dropped,
// and debug dumps write nothing, while there is no process object (before start-up and after
// shut-down). The process object is not built yet: the memory manager, which start-up makes just
// before it, stands for it, and the process object's own answer replaces this one here alone.
#pragma once

#include "kernel/values/VObject.h"

namespace kova
{

inline bool ProcessObjectExists()
{
    return VObject::sCppMemMgr != nullptr;
}

} // namespace kova
