// VMemImplAllocation is one chunk of a pooled arena (VMemCppImpl): a 64-byte header at the start
// of a virtual-memory reservation, then the data area. The arena carves big blocks one after the
// other from the start of the data area; the carved area grows only at its end and is cut back
// when the blocks at its end are freed. Blocks inside it are reused through the arena's free lists.
//
// Chunk header (64 bytes): owning arena, next chunk, previous chunk (the arena's list runs newest
// first), capacity (reservation size - 64), end of the carved area (an offset into the data area),
// size of the last block carved, physical-memory flag.
//
// Every block the arena hands out begins with a header: a big block with VBigBlockHeader (below),
// a small block (inside a page, VPageAllocationImpl) with VSmallBlockHeader. In both, the i32 at
// data - 8 tells the kinds apart: negative for a small block (minus its offset in its page),
// non-negative for a big block (the size of the block before it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace kova
{

class VMemCppImpl;
class VMemImplAllocation;

// The 24-byte header in front of a big block's data:
//   owning chunk (8); size word (4): in use, the block's total size (header included, a multiple
//   of 8) with bit value 1 = holds an object and bit value 2 = holds a page of small blocks; free,
//   minus the size; reserved (4); size of the preceding block in the chunk (4, 0 for the first);
//   tag (4).
// A free block keeps its free-list links (next, previous) in its first 16 data bytes.
// Chunks are page-aligned and every block size is a multiple of 8, so big-block data is 8-byte
// aligned (not 16).
struct VBigBlockHeader
{
    static constexpr int32_t kObjectFlag = 1;
    static constexpr int32_t kPageFlag = 2;
    static constexpr int32_t kFlagMask = 7;

    VMemImplAllocation* fChunk;
    int32_t fSizeWord;
    int32_t fReserved;
    int32_t fPrecedingSize;
    uint32_t fTag;

    bool IsFree() const { return fSizeWord < 0; }
    bool HoldsObject() const { return fSizeWord > 0 && (fSizeWord & kObjectFlag) != 0; }
    bool HoldsPage() const { return fSizeWord > 0 && (fSizeWord & kPageFlag) != 0; }
    uint32_t GetSize() const
    {
        return fSizeWord < 0 ? uint32_t(-int64_t(fSizeWord)) : uint32_t(fSizeWord & ~kFlagMask);
    }

    char* GetData() { return reinterpret_cast<char*>(this) + sizeof(VBigBlockHeader); }
    static VBigBlockHeader* FromData(const void* data)
    {
        return reinterpret_cast<VBigBlockHeader*>(const_cast<char*>(static_cast<const char*>(data)) -
                                                  sizeof(VBigBlockHeader));
    }

    VBigBlockHeader* GetFollowing()
    {
        return reinterpret_cast<VBigBlockHeader*>(reinterpret_cast<char*>(this) + GetSize());
    }
    VBigBlockHeader* GetPreceding()
    {
        return fPrecedingSize == 0
                   ? nullptr
                   : reinterpret_cast<VBigBlockHeader*>(reinterpret_cast<char*>(this) - fPrecedingSize);
    }
};
static_assert(sizeof(VBigBlockHeader) == 24);

// Free-list links kept in the data of a free big block.
struct VBigBlockLinks
{
    VBigBlockHeader* fNext;
    VBigBlockHeader* fPrevious;
};

class VMemImplAllocation
{
public:
    static constexpr size_t kHeaderSize = 64;

    // Sets the header up at the start of a reservation of inSize bytes.
    void Init(VMemCppImpl* arena, uint64_t inSize, bool physical);

    // Whether the block header lies in this chunk's carved area.
    bool Contains(const void* block) const;
    bool IsLastBlock(const VBigBlockHeader* block) const
    {
        return reinterpret_cast<const char*>(block) + block->GetSize() == GetData() + fUsed;
    }
    // The carved area ends where the block begins; the block before it becomes the last one.
    void ReduceFrom(VBigBlockHeader* block)
    {
        fUsed = uint64_t(reinterpret_cast<char*>(block) - GetData());
        fLastBlockSize = uint64_t(block->fPrecedingSize);
    }
    // Carves a block of inSize bytes (a multiple of 8) at the end of the carved area, adds its
    // size to ioBytesInUse and returns its header; null when the chunk lacks room.
    VBigBlockHeader* AllocateAtTheEnd(uint64_t inSize, uint64_t& ioBytesInUse, bool objectFlag, bool pageFlag,
                                      uint32_t tag)
    {
        if (GetRoom() < inSize)
            return nullptr;
        const int32_t sizeWord = int32_t(inSize) | (objectFlag ? VBigBlockHeader::kObjectFlag : 0) |
                                 (pageFlag ? VBigBlockHeader::kPageFlag : 0);
        auto* block = new (GetData() + fUsed) VBigBlockHeader{this, sizeWord, 0, int32_t(fLastBlockSize), tag};
        fUsed += inSize;
        fLastBlockSize = inSize;
        ioBytesInUse += inSize;
        return block;
    }

    char* GetData() { return reinterpret_cast<char*>(this) + kHeaderSize; }
    const char* GetData() const { return reinterpret_cast<const char*>(this) + kHeaderSize; }
    VBigBlockHeader* GetFirstBlock() { return reinterpret_cast<VBigBlockHeader*>(GetData()); }
    VBigBlockHeader* GetCarvedEnd() { return reinterpret_cast<VBigBlockHeader*>(GetData() + fUsed); }
    uint64_t GetRoom() const { return fCapacity - fUsed; }
    bool IsEmpty() const { return fUsed == 0; }
    // The size of the whole reservation, header included.
    uint64_t GetReservedSize() const { return fCapacity + kHeaderSize; }

    // A layout record: the owning arena works on these fields directly.
    VMemCppImpl* fArena;
    VMemImplAllocation* fNext;
    VMemImplAllocation* fPrevious;
    uint64_t fCapacity;
    uint64_t fUsed;
    uint64_t fLastBlockSize;
    bool fPhysical;
};
static_assert(sizeof(VMemImplAllocation) <= VMemImplAllocation::kHeaderSize);

} // namespace kova
