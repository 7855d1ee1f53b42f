// VMemoryBuffer is the toolbox's growable byte buffer (blobs, Base64, binary JSON, file contents,
// process output): a block from the memory manager, the bytes in use (data size) and the bytes
// allocated. Writers make room with _EnlargeAmortized, write at the data size and advance it;
// owners that replace the whole content size the block with ResizeExactly instead.
//
// Growth is amortized: to hold n bytes the block grows to n + min(n / kGrowthDivisor, kMaxStep)
// rounded down to a multiple of kGranule (after adding kGranule - 1), so that appending byte by
// byte costs few reallocations; when that much cannot be had, exactly n is tried. The block
// belongs to the memory manager that existed when the buffer was made, or the one it was given
// (or, for a buffer made before the manager, to the one that exists when it first allocates),
// and goes back to it when the buffer is destroyed. Failures leave the buffer as it was and are
// reported by a false result.
#pragma once

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstring>

namespace kova
{

template <unsigned long kGranule = 1024ul, unsigned long kGrowthDivisor = 2ul,
          unsigned long kMaxStep = 1048576ul>
class VMemoryBuffer : public VObject
{
public:
    VMemoryBuffer() : fMemMgr(VObject::sCppMemMgr) {}
    // Blocks from the given manager, so that a copy can live where its source lives.
    explicit VMemoryBuffer(VCppMemMgr* inMemMgr) : fMemMgr(inMemMgr) {}
    ~VMemoryBuffer() override
    {
        if (fData != nullptr)
            fMemMgr->Free(fData);
    }

    // A copy that cannot fail silently is made with Assign.
    VMemoryBuffer(const VMemoryBuffer&) = delete;
    VMemoryBuffer& operator=(const VMemoryBuffer&) = delete;

    void* GetDataPtr() const { return fData; }
    size_t GetDataSize() const { return fDataSize; }
    size_t GetAllocatedSize() const { return fAllocatedSize; }
    VCppMemMgr* GetMemMgr() const { return fMemMgr; }

    // False, and nothing changed, beyond the allocated size.
    bool SetDataSize(size_t inSize)
    {
        if (inSize > fAllocatedSize)
            return false;
        fDataSize = inSize;
        return true;
    }

    // Makes room for at least inSize bytes; the data size does not change. A buffer that already
    // has the room is left alone.
    bool _EnlargeAmortized(size_t inSize)
    {
        if (inSize <= fAllocatedSize)
            return true;
        size_t step = inSize / kGrowthDivisor;
        if (step > kMaxStep)
            step = kMaxStep;
        size_t target;
        if (__builtin_add_overflow(inSize, step + (kGranule - 1), &target))
            target = inSize;
        else
            target -= target % kGranule;
        if (target < inSize)
            target = inSize;
        if (_Resize(target))
            return true;
        return target != inSize && _Resize(inSize);
    }

    // Gives the block exactly inSize bytes, keeping the data that fits; 0 frees it, and a block
    // of that size already is kept. False, with the buffer unchanged, when the room cannot be had.
    bool ResizeExactly(size_t inSize)
    {
        if (inSize == fAllocatedSize)
            return true;
        if (inSize == 0)
        {
            _Clear();
            return true;
        }
        if (!_Resize(inSize))
            return false;
        if (fDataSize > fAllocatedSize)
            fDataSize = fAllocatedSize;
        return true;
    }

    // Makes this buffer a copy of the other one's data. False when the block cannot be resized:
    // the buffer then keeps its old contents (or stays empty when it had no block).
    bool Assign(const VMemoryBuffer& other)
    {
        if (&other == this)
            return true;
        if (!ResizeExactly(other.fDataSize))
            return false;
        if (other.fDataSize != 0)
            std::memcpy(fData, other.fData, other.fDataSize);
        fDataSize = other.fDataSize;
        return true;
    }

private:
    bool _AdoptMemMgr()
    {
        if (fMemMgr == nullptr)
            fMemMgr = VObject::sCppMemMgr;
        return fMemMgr != nullptr;
    }

    // Gives the block exactly inSize bytes, keeping the data that fits. inSize is never 0 (the
    // manager's Realloc to 0 frees the block).
    bool _Resize(size_t inSize)
    {
        if (!_AdoptMemMgr())
            return false;
        void* block = fData == nullptr ? fMemMgr->Malloc(inSize, false, kMEM_TAG_MEMORY_BUFFER, -1)
                                       : fMemMgr->Realloc(fData, inSize);
        if (block == nullptr)
            return false;
        fData = block;
        fAllocatedSize = inSize;
        return true;
    }

    void _Clear()
    {
        if (fData != nullptr)
            fMemMgr->Free(fData);
        fData = nullptr;
        fDataSize = 0;
        fAllocatedSize = 0;
    }

    VCppMemMgr* fMemMgr;
    void* fData = nullptr;
    size_t fDataSize = 0;
    size_t fAllocatedSize = 0;
};

} // namespace kova
