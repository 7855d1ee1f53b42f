#include "kernel/values/VMemory.h"

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstring>

namespace kova
{

void* VMemory::NewPtr(size_t size, uint32_t tag)
{
    return VObject::sCppMemMgr->Malloc(size, false, tag, -1);
}

void* VMemory::NewPtrClear(size_t size, uint32_t tag)
{
    void* block = NewPtr(size, tag);
    if (block != nullptr)
        std::memset(block, 0, size);
    return block;
}

void VMemory::DisposePtr(void* block)
{
    if (block != nullptr)
        VObject::sCppMemMgr->Free(block);
}

void* VMemory::SetPtrSize(void* block, size_t size)
{
    return VObject::sCppMemMgr->Realloc(block, size);
}

size_t VMemory::GetPtrSize(const void* block)
{
    return VObject::sCppMemMgr->GetPtrSize(block);
}

} // namespace kova
