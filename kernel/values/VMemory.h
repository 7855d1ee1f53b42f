// VMemory: the static block operations most of the toolbox allocates through. They forward to
// VObject::sCppMemMgr, which must exist (the entry point creates it first).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class VMemory
{
public:
    static void* NewPtr(size_t size, uint32_t tag);
    static void* NewPtrClear(size_t size, uint32_t tag);
    // Null is ignored.
    static void DisposePtr(void* block);
    // The block may move; null on failure, the old block then unchanged.
    static void* SetPtrSize(void* block, size_t size);
    static size_t GetPtrSize(const void* block);
};

} // namespace kova
