// VMemCppImpl is the toolbox's own allocator back end: an arena that takes large chunks of virtual
// memory (VMemImplAllocation) and cuts them into blocks itself. Requests of up to 8191 bytes are
// small blocks from size-class pages (VMemThreadImpl); larger ones are big blocks carved from the
// chunks and, once freed, kept in 1026 free lists by size class (size / 1024 up to 1 MiB, one
// list above), merged with free neighbours and split when a reused block is 8 KiB or more too big.
//
// The memory manager creates four arenas when the pooled allocator is chosen and calls them only
// under its main lock: an arena has no lock of its own. Any arena may be asked to free any block;
// it hands a block of another arena to its owner. Chunks come from the manager's
// AddVirtualAllocation, or from the arena itself when auto-allocation is on; an arena owns its
// chunks and gives them back when it is destroyed.
//
// Blocks are 8-byte aligned (the headers are 8 and 24 bytes long), not 16. Failures are null
// results; nothing is raised.
#pragma once

#include "kernel/values/VMemThreadImpl.h"
#include "kernel/values/VPageAllocationImpl.h"
#include "kernel/values/XMemCppImpl.h"

#include <cstddef>
#include <cstdint>
#include <typeindex>

namespace kova
{

struct VBigBlockHeader;
class VMemImplAllocation;

class VMemCppImpl final : public XMemCppImpl
{
public:
    static constexpr size_t kMaxBigRequest = 2147481598;
    static constexpr int32_t kHugeClass = 1025;
    static constexpr int32_t kBigClassCount = 1026;
    static constexpr size_t kMinChunkSize = 65536;
    static constexpr size_t kAutoChunkSize = 20971520;
    // A free block is split when it exceeds the request by at least this much.
    static constexpr uint64_t kMinRemainder = 8192;

    explicit VMemCppImpl(int32_t arenaIndex);
    VMemCppImpl(const VMemCppImpl&) = delete;
    VMemCppImpl& operator=(const VMemCppImpl&) = delete;
    ~VMemCppImpl() override;

    void Init(VCppMemMgr* manager) override;
    // inPageFlag: a big block that will hold a page of small blocks.
    void* Malloc(size_t size, uint8_t inPageFlag, uint8_t inObjectFlag, uint32_t tag) override
    {
        if (size <= VMemThreadImpl::kMaxBlockRequest && inPageFlag == 0)
            return fSmallBlocks.Malloc(size, inObjectFlag != 0, tag);
        if (size > kMaxBigRequest)
            return nullptr;
        return MallocBig(size, inPageFlag != 0, inObjectFlag != 0, tag);
    }
    void Free(void* block) override
    {
        if (block == nullptr)
            return;
        // A small block goes straight to the pages of its owner, whichever arena was asked.
        if (VPageAllocationImpl::IsSmallBlock(block))
            VPageAllocationImpl::FromBlock(block)->fOwner->Free(block);
        else
            FreeBig(block);
    }
    // A new block with the old one's tag and contents (the smaller size), the old block freed;
    // null and nothing changed when there is no room.
    void* Realloc(void* block, size_t size) override;
    size_t GetPtrSize(const void* block) override;
    bool CheckPtr(const void* block) override;
    bool Check(void* block) override;
    bool AddAllocation(size_t size, const void* address, uint8_t physical) override;
    int32_t CountAllocations() override;
    void SetAutoAllocationState(bool on) override { fAutoAllocation = on; }
    void GetStats(VMemStats& stats, int16_t arenaIndex) override;
    uint64_t GetTotalAllocation() const override { return fTotal; }
    void GetMemUsageInfo(size_t& outTotal, size_t& outUsed) override;

    // Takes memory the caller reserved (whole pages from VSystem::VirtualAlloc) as a new chunk;
    // the arena owns it from then on. False below 64 KiB.
    bool AddAlreadyAllocatedMem(void* memory, size_t size, bool physical);
    // The index of the arena that owns the block; -1 for null.
    int32_t GetAllocationBlockNumber(const void* block) const;

    int32_t GetArenaIndex() const { return fIndex; }
    uint64_t GetBytesInUse() const { return fBytesInUse; }
    bool IsAutoAllocationOn() const { return fAutoAllocation; }

    // Big size class of a block size: ceil(size / 1024) with step 1024, or 1025 with step 0 above
    // 1 MiB. GetExactStepFromSize: size / 1024, or 1025 above 1 MiB (the free list of a block).
    static int32_t GetStepFromSize(size_t size, int32_t* outStep);
    static int32_t GetExactStepFromSize(size_t size);
    // The total size of the big block that serves a request of n bytes (header included).
    static uint64_t GetBigBlockSize(size_t inSize);
    // The run-time type of the object whose data begins with its virtual-table pointer.
    static std::type_index GetTypeOfObject(const void* object);

    // The first page of a small size class that can serve, and the first free block of a big size
    // class; null when none (for tests and diagnostics).
    VPageAllocationImpl* GetFirstPage(int32_t inClass) const { return fSmallBlocks.GetFirstPage(inClass); }
    VBigBlockHeader* GetFirstFreeBlock(int32_t inClass) const { return fFreeLists[inClass]; }

private:
    friend class VMemThreadImpl;

    bool AddChunk(void* memory, uint64_t size, bool physical);
    void ReleaseChunk(VMemImplAllocation* chunk);
    VMemCppImpl* GetOwner(const void* block) const;
    void* MallocBig(size_t inSize, bool pageFlag, bool objectFlag, uint32_t tag);
    // A big block of any arena: handed to its owner.
    void FreeBig(void* block);
    VBigBlockHeader* TakeFreeBlock(uint64_t blockSize, int32_t sizeClass);
    void UseFreeBlock(VBigBlockHeader* block, uint64_t blockSize, bool pageFlag, bool objectFlag,
                      uint32_t tag);
    void FreeBigBlock(VBigBlockHeader* block);
    void PushFree(VBigBlockHeader* block);
    void UnlinkFree(VBigBlockHeader* block);
    bool CheckChunk(VMemImplAllocation* chunk);

    VMemThreadImpl fSmallBlocks;
    VCppMemMgr* fManager = nullptr;
    VMemImplAllocation* fChunks = nullptr;
    VBigBlockHeader* fFreeLists[kBigClassCount] = {};
    // The free block most recently split off a larger one; null once it leaves its list.
    VBigBlockHeader* fLatestRemainder = nullptr;
    uint64_t fTotal = 0;
    uint64_t fBytesInUse = 0;
    int32_t fIndex;
    bool fAutoAllocation = false;
};

inline void* VMemThreadImpl::Malloc(size_t inSize, bool objectFlag, uint32_t tag)
{
    const size_t blockRequest = inSize + sizeof(VSmallBlockHeader);
    const int32_t sizeClass = GetStepFromSize(blockRequest, nullptr);
    VPageAllocationImpl* page = fPages[sizeClass];
    if (page == nullptr)
        return _MallocFromNewPage(sizeClass, GetBlockSize(blockRequest), objectFlag, tag);
    // A page on its class list is never full.
    void* block = page->Malloc(objectFlag, tag);
    fArena->fBytesInUse += uint64_t(page->fBlockSize);
    if (page->IsFull())
        Unlink(page, sizeClass);
    return block;
}

inline void VMemThreadImpl::Free(void* data)
{
    VPageAllocationImpl* page = VPageAllocationImpl::FromBlock(data);
    const bool wasFull = page->IsFull();
    page->Free(data);
    fArena->fBytesInUse -= uint64_t(page->fBlockSize);
    if (wasFull || page->IsEmpty())
        _FreeChangesPageList(page, wasFull);
}

} // namespace kova
