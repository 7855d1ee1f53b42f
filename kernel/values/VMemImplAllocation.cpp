#include "kernel/values/VMemImplAllocation.h"

#include <new>

namespace kova
{

void VMemImplAllocation::Init(VMemCppImpl* arena, uint64_t inSize, bool physical)
{
    fArena = arena;
    fNext = nullptr;
    fPrevious = nullptr;
    fCapacity = inSize - kHeaderSize;
    fUsed = 0;
    fLastBlockSize = 0;
    fPhysical = physical;
}

bool VMemImplAllocation::Contains(const void* block) const
{
    const char* address = static_cast<const char*>(block);
    return address >= GetData() && address < GetData() + fUsed;
}

} // namespace kova
