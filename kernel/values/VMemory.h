// VMemory: the static block operations most of the toolbox allocates through. They forward to
// VObject::sCppMemMgr, which must exist (the entry point creates it first). Inline, so that a
// string's block costs no more calls than the manager's own.
#pragma once

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kova
{

class VMemory
{
public:
    static void* NewPtr(size_t size, uint32_t tag)
    {
        return VObject::sCppMemMgr->Malloc(size, false, tag, -1);
    }
    static void* NewPtrClear(size_t size, uint32_t tag)
    {
        void* block = NewPtr(size, tag);
        if (block != nullptr)
            std::memset(block, 0, size);
        return block;
    }
    // Null is ignored.
    static void DisposePtr(void* block)
    {
        if (block != nullptr)
            VObject::sCppMemMgr->Free(block);
    }
    // The block may move; null on failure, the old block then unchanged.
    static void* SetPtrSize(void* block, size_t size) { return VObject::sCppMemMgr->Realloc(block, size); }
    static size_t GetPtrSize(const void* block) { return VObject::sCppMemMgr->GetPtrSize(block); }
};

} // namespace kova
