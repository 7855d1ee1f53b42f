#include "kernel/values/VMemCppImpl_stdlib.h"

#include <cstdlib>
#include <malloc.h>

namespace kova
{

void* VMemCppImpl_stdlib::Malloc(size_t size, uint8_t, uint8_t, uint32_t)
{
    return std::malloc(size);
}

void VMemCppImpl_stdlib::Free(void* block)
{
    std::free(block);
}

void* VMemCppImpl_stdlib::Realloc(void* block, size_t size)
{
    return std::realloc(block, size);
}

size_t VMemCppImpl_stdlib::GetPtrSize(const void* block)
{
    return block == nullptr ? 0 : malloc_usable_size(const_cast<void*>(block));
}

} // namespace kova
