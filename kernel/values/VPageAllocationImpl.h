// VPageAllocationImpl is a page of small blocks of one size class: a 56-byte header at the start of
// the data of a big block flagged as a page, then equal blocks carved one after the other. A page
// serves a block from its free list when it has one, else from its never-used area, so serving
// and freeing are constant-time. VMemThreadImpl keeps the pages of each class that can still serve.
//
// Page header (56 bytes): owning VMemThreadImpl, head of the free list, next and previous page of
// the class, page size, offset of the next never-used block (56 at first), free-list count, used
// count, capacity = (page size - 56) / block size, block size.
//
// Small block header (VSmallBlockHeader, 8 bytes before the data): i32 = minus the block's offset
// from the page start, minus 1 more when the block holds an object (offsets are even); i32 tag.
// A free block keeps the next free block's header address in its first data bytes.
// Pages start 8 bytes past a 16-byte boundary at worst and block sizes are multiples of 16, so
// small-block data is 8-byte aligned (not 16).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace kova
{

class VMemStats;
class VMemThreadImpl;

struct VSmallBlockHeader
{
    int32_t fOffsetWord;
    uint32_t fTag;

    uint32_t GetOffset() const { return uint32_t(-int64_t(fOffsetWord)) & ~1u; }
    bool HoldsObject() const { return (uint32_t(-int64_t(fOffsetWord)) & 1u) != 0; }
    char* GetData() { return reinterpret_cast<char*>(this) + sizeof(VSmallBlockHeader); }
    static VSmallBlockHeader* FromData(const void* data)
    {
        return reinterpret_cast<VSmallBlockHeader*>(const_cast<char*>(static_cast<const char*>(data)) -
                                                    sizeof(VSmallBlockHeader));
    }
};
static_assert(sizeof(VSmallBlockHeader) == 8);

class VPageAllocationImpl
{
public:
    static constexpr size_t kHeaderSize = 56;

    void Init(VMemThreadImpl* owner, uint64_t pageSize, uint32_t blockSize);

    // Whether the block data handed out by any arena is a small block (the i32 at data - 8 is
    // negative) rather than a big one.
    static bool IsSmallBlock(const void* data)
    {
        int32_t word;
        std::memcpy(&word, static_cast<const char*>(data) - 8, sizeof(word));
        return word < 0;
    }
    // The page that holds a small block.
    static VPageAllocationImpl* FromBlock(const void* data)
    {
        VSmallBlockHeader* block = VSmallBlockHeader::FromData(data);
        return reinterpret_cast<VPageAllocationImpl*>(reinterpret_cast<char*>(block) - block->GetOffset());
    }

    // Serves one block and returns its data; null when the page is full.
    void* Malloc(bool objectFlag, uint32_t tag)
    {
        VSmallBlockHeader* block;
        if (fFreeList != nullptr)
        {
            block = fFreeList;
            fFreeList = NextFree(block);
            --fFreeCount;
        }
        else
        {
            if (fNextUnused + uint64_t(fBlockSize) > fPageSize)
                return nullptr;
            block = BlockAt(fNextUnused);
            fNextUnused += uint64_t(fBlockSize);
        }
        const int32_t offset = int32_t(OffsetOf(block));
        new (block) VSmallBlockHeader{-offset - (objectFlag ? 1 : 0), tag};
        ++fUsedCount;
        return block->GetData();
    }
    // Puts a block of this page at the head of its free list.
    void Free(void* data)
    {
        VSmallBlockHeader* block = VSmallBlockHeader::FromData(data);
        std::memcpy(data, &fFreeList, sizeof(fFreeList));
        fFreeList = block;
        ++fFreeCount;
        --fUsedCount;
    }

    bool IsFull() const { return fUsedCount == fCapacity; }
    bool IsEmpty() const { return fUsedCount == 0; }

    // Whether the block lies in this page on the grid of its blocks and is not on the free list.
    bool CheckPtr(const void* data) const;
    // Counts within bounds, free list inside the page without repeats and of the recorded length,
    // every carved block's header holding its own offset.
    bool Check() const;
    // Adds the page's figures to a statistics record (see VMemCppImpl::GetStats).
    void AddStats(VMemStats& stats) const;

    // A layout record: VMemThreadImpl works on these fields directly.
    VMemThreadImpl* fOwner;
    VSmallBlockHeader* fFreeList;
    VPageAllocationImpl* fNext;
    VPageAllocationImpl* fPrevious;
    uint64_t fPageSize;
    uint64_t fNextUnused;
    uint16_t fFreeCount;
    uint16_t fUsedCount;
    uint16_t fCapacity;
    int16_t fBlockSize;

private:
    VSmallBlockHeader* BlockAt(uint64_t offset) const
    {
        return reinterpret_cast<VSmallBlockHeader*>(
            reinterpret_cast<char*>(const_cast<VPageAllocationImpl*>(this)) + offset);
    }
    uint64_t OffsetOf(const void* block) const
    {
        return uint64_t(static_cast<const char*>(block) - reinterpret_cast<const char*>(this));
    }
    // Whether an offset names the header of a carved block.
    bool IsCarvedOffset(uint64_t offset) const;
    static VSmallBlockHeader* NextFree(const VSmallBlockHeader* block)
    {
        VSmallBlockHeader* next;
        std::memcpy(&next, reinterpret_cast<const char*>(block) + sizeof(VSmallBlockHeader), sizeof(next));
        return next;
    }
};
static_assert(sizeof(VPageAllocationImpl) == VPageAllocationImpl::kHeaderSize);

} // namespace kova
