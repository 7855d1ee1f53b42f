#include "kernel/values/VMemCppImpl_stdlib.h"

#include <malloc.h>

namespace kova
{

size_t VMemCppImpl_stdlib::GetPtrSize(const void* block)
{
    return block == nullptr ? 0 : malloc_usable_size(const_cast<void*>(block));
}

} // namespace kova
