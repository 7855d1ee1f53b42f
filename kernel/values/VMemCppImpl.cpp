#include "kernel/values/VMemCppImpl.h"

#include "kernel/tasks/VSystem.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemImplAllocation.h"
#include "kernel/values/VMemStats.h"
#include "kernel/values/VPageAllocationImpl.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <typeinfo>

namespace kova
{

namespace
{

constexpr uint64_t kMergeLimit = uint64_t(1) << 31;

uint64_t RoundUp(uint64_t value, uint64_t step)
{
    return (value + step - 1) / step * step;
}

VBigBlockLinks* LinksOf(VBigBlockHeader* block)
{
    return reinterpret_cast<VBigBlockLinks*>(block->GetData());
}

} // namespace

VMemCppImpl::VMemCppImpl(int32_t arenaIndex) : fSmallBlocks(this), fIndex(arenaIndex) {}

VMemCppImpl::~VMemCppImpl()
{
    while (fChunks != nullptr)
        ReleaseChunk(fChunks);
}

void VMemCppImpl::Init(VCppMemMgr* manager)
{
    fManager = manager;
}

int32_t VMemCppImpl::GetStepFromSize(size_t size, int32_t* outStep)
{
    if (size > 1048576)
    {
        if (outStep != nullptr)
            *outStep = 0;
        return kHugeClass;
    }
    if (outStep != nullptr)
        *outStep = 1024;
    return int32_t((size + 1023) / 1024);
}

int32_t VMemCppImpl::GetExactStepFromSize(size_t size)
{
    return size > 1048576 ? kHugeClass : int32_t(size / 1024);
}

uint64_t VMemCppImpl::GetBigBlockSize(size_t inSize)
{
    uint64_t blockSize = uint64_t(inSize) + sizeof(VBigBlockHeader);
    return inSize < 1048553 ? RoundUp(blockSize, 1024) : RoundUp(blockSize, 8);
}

std::type_index VMemCppImpl::GetTypeOfObject(const void* object)
{
    // The virtual table's slot -1 holds the class's type information.
    const std::type_info* const* vtable;
    std::memcpy(&vtable, object, sizeof(vtable));
    return std::type_index(*vtable[-1]);
}

VMemCppImpl* VMemCppImpl::GetOwner(const void* block) const
{
    if (VPageAllocationImpl::IsSmallBlock(block))
        return VPageAllocationImpl::FromBlock(block)->fOwner->GetArena();
    VMemImplAllocation* chunk = VBigBlockHeader::FromData(block)->fChunk;
    return chunk == nullptr ? nullptr : chunk->fArena;
}

int32_t VMemCppImpl::GetAllocationBlockNumber(const void* block) const
{
    if (block == nullptr)
        return -1;
    VMemCppImpl* owner = GetOwner(block);
    return owner == nullptr ? -1 : owner->fIndex;
}

// ---- chunks

bool VMemCppImpl::AddAllocation(size_t size, const void* address, uint8_t physical)
{
    if (size < kMinChunkSize)
        return false;
    bool inPhysicalMemory = false;
    void* memory = physical != 0 ? VSystem::VirtualAllocPhysicalMemory(size, address, &inPhysicalMemory)
                                 : VSystem::VirtualAlloc(size, address);
    if (memory == nullptr)
        return false;
    return AddChunk(memory, size, inPhysicalMemory);
}

bool VMemCppImpl::AddAlreadyAllocatedMem(void* memory, size_t size, bool physical)
{
    if (memory == nullptr || size < kMinChunkSize)
        return false;
    return AddChunk(memory, size, physical);
}

bool VMemCppImpl::AddChunk(void* memory, uint64_t size, bool physical)
{
    VMemImplAllocation* chunk = new (memory) VMemImplAllocation;
    chunk->Init(this, size, physical);
    chunk->fNext = fChunks;
    if (fChunks != nullptr)
        fChunks->fPrevious = chunk;
    fChunks = chunk;
    fTotal += size;
    if (fManager != nullptr)
        fManager->AddToTotalVirtualAllocation(size);
    return true;
}

void VMemCppImpl::ReleaseChunk(VMemImplAllocation* chunk)
{
    if (chunk->fPrevious != nullptr)
        chunk->fPrevious->fNext = chunk->fNext;
    else
        fChunks = chunk->fNext;
    if (chunk->fNext != nullptr)
        chunk->fNext->fPrevious = chunk->fPrevious;
    uint64_t reserved = chunk->GetReservedSize();
    fTotal -= reserved;
    VSystem::VirtualFree(chunk, reserved, chunk->fPhysical);
}

int32_t VMemCppImpl::CountAllocations()
{
    int32_t count = 0;
    for (VMemImplAllocation* chunk = fChunks; chunk != nullptr; chunk = chunk->fNext)
        ++count;
    return count;
}

void VMemCppImpl::GetMemUsageInfo(size_t& outTotal, size_t& outUsed)
{
    outTotal = fTotal;
    outUsed = fBytesInUse;
}

// ---- free lists

void VMemCppImpl::PushFree(VBigBlockHeader* block)
{
    int32_t sizeClass = GetExactStepFromSize(block->GetSize());
    VBigBlockHeader* head = fFreeLists[sizeClass];
    new (block->GetData()) VBigBlockLinks{head, nullptr};
    if (head != nullptr)
        LinksOf(head)->fPrevious = block;
    fFreeLists[sizeClass] = block;
}

void VMemCppImpl::UnlinkFree(VBigBlockHeader* block)
{
    VBigBlockLinks* links = LinksOf(block);
    if (links->fPrevious != nullptr)
        LinksOf(links->fPrevious)->fNext = links->fNext;
    else
        fFreeLists[GetExactStepFromSize(block->GetSize())] = links->fNext;
    if (links->fNext != nullptr)
        LinksOf(links->fNext)->fPrevious = links->fPrevious;
    if (block == fLatestRemainder)
        fLatestRemainder = nullptr;
}

// ---- allocation

VBigBlockHeader* VMemCppImpl::TakeFreeBlock(uint64_t blockSize, int32_t sizeClass)
{
    VBigBlockHeader* block = nullptr;
    if (sizeClass == kHugeClass)
    {
        // Best fit: an exact size at once, else the smallest larger block.
        for (VBigBlockHeader* candidate = fFreeLists[kHugeClass]; candidate != nullptr;
             candidate = LinksOf(candidate)->fNext)
        {
            uint64_t candidateSize = candidate->GetSize();
            if (candidateSize == blockSize)
            {
                block = candidate;
                break;
            }
            if (candidateSize > blockSize && (block == nullptr || candidateSize < block->GetSize()))
                block = candidate;
        }
    }
    else
    {
        // Every block of a class list holds at least class * 1024 bytes, which is the request.
        block = fFreeLists[sizeClass];
    }
    if (block != nullptr)
        UnlinkFree(block);
    return block;
}

void* VMemCppImpl::MallocBig(size_t inSize, bool pageFlag, bool objectFlag, uint32_t tag)
{
    uint64_t blockSize = GetBigBlockSize(inSize);
    int32_t sizeClass = GetExactStepFromSize(blockSize);

    VBigBlockHeader* block = TakeFreeBlock(blockSize, sizeClass);
    if (block == nullptr)
    {
        for (VMemImplAllocation* chunk = fChunks; chunk != nullptr; chunk = chunk->fNext)
        {
            if (chunk->GetRoom() >= blockSize)
                return chunk->AllocateAtTheEnd(blockSize, fBytesInUse, objectFlag, pageFlag, tag)->GetData();
        }
        if (fLatestRemainder != nullptr && fLatestRemainder->GetSize() >= blockSize)
        {
            block = fLatestRemainder;
            UnlinkFree(block);
        }
        else
        {
            for (int32_t larger = kHugeClass; larger > sizeClass && block == nullptr; --larger)
            {
                block = fFreeLists[larger];
                if (block != nullptr)
                    UnlinkFree(block);
            }
        }
    }
    if (block == nullptr)
    {
        if (!fAutoAllocation ||
            !AddAllocation(std::max<uint64_t>(blockSize + 1088, kAutoChunkSize), nullptr, 0))
            return nullptr;
        VBigBlockHeader* carved =
            fChunks->AllocateAtTheEnd(blockSize, fBytesInUse, objectFlag, pageFlag, tag);
        return carved == nullptr ? nullptr : carved->GetData();
    }
    UseFreeBlock(block, blockSize, pageFlag, objectFlag, tag);
    return block->GetData();
}

void VMemCppImpl::UseFreeBlock(VBigBlockHeader* block, uint64_t blockSize, bool pageFlag, bool objectFlag,
                               uint32_t tag)
{
    uint64_t size = block->GetSize();
    if (size - blockSize >= kMinRemainder)
    {
        uint64_t tailSize = size - blockSize;
        VMemImplAllocation* chunk = block->fChunk;
        VBigBlockHeader* tail = new (reinterpret_cast<char*>(block) + blockSize)
            VBigBlockHeader{chunk, -int32_t(tailSize), 0, int32_t(blockSize), 0};
        if (chunk->IsLastBlock(tail))
            chunk->fLastBlockSize = tailSize;
        else
            tail->GetFollowing()->fPrecedingSize = int32_t(tailSize);
        PushFree(tail);
        fLatestRemainder = tail;
        size = blockSize;
    }
    block->fSizeWord = int32_t(size) | (objectFlag ? VBigBlockHeader::kObjectFlag : 0) |
                       (pageFlag ? VBigBlockHeader::kPageFlag : 0);
    block->fTag = tag;
    fBytesInUse += size;
}

// ---- freeing

void VMemCppImpl::FreeBig(void* block)
{
    VMemImplAllocation* chunk = VBigBlockHeader::FromData(block)->fChunk;
    if (chunk != nullptr)
        chunk->fArena->FreeBigBlock(VBigBlockHeader::FromData(block));
}

void VMemCppImpl::FreeBigBlock(VBigBlockHeader* block)
{
    VMemImplAllocation* chunk = block->fChunk;
    if (chunk == nullptr)
        return;
    uint64_t size = block->GetSize();
    fBytesInUse -= size;

    VBigBlockHeader* preceding = block->GetPreceding();
    if (preceding != nullptr && preceding->IsFree() && preceding->GetSize() + size < kMergeLimit)
    {
        UnlinkFree(preceding);
        size += preceding->GetSize();
        block = preceding;
    }

    if (reinterpret_cast<char*>(block) + size == reinterpret_cast<char*>(chunk->GetCarvedEnd()))
    {
        // The free run at the end of the carved area goes back to the chunk.
        for (preceding = block->GetPreceding(); preceding != nullptr && preceding->IsFree();
             preceding = block->GetPreceding())
        {
            UnlinkFree(preceding);
            block = preceding;
        }
        chunk->ReduceFrom(block);
        if (chunk->IsEmpty() && fAutoAllocation)
            ReleaseChunk(chunk);
        return;
    }

    VBigBlockHeader* following = reinterpret_cast<VBigBlockHeader*>(reinterpret_cast<char*>(block) + size);
    if (following->IsFree() && size + following->GetSize() < kMergeLimit)
    {
        UnlinkFree(following);
        size += following->GetSize();
    }
    block->fSizeWord = -int32_t(size);
    if (chunk->IsLastBlock(block))
        chunk->fLastBlockSize = size;
    else
        block->GetFollowing()->fPrecedingSize = int32_t(size);
    PushFree(block);
}

void* VMemCppImpl::Realloc(void* block, size_t size)
{
    if (block == nullptr)
        return Malloc(size, 0, 0, 0);
    uint32_t tag = VPageAllocationImpl::IsSmallBlock(block) ? VSmallBlockHeader::FromData(block)->fTag
                                                            : VBigBlockHeader::FromData(block)->fTag;
    void* grown = Malloc(size, 0, 0, tag);
    if (grown == nullptr)
        return nullptr;
    std::memcpy(grown, block, std::min(GetPtrSize(block), size));
    Free(block);
    return grown;
}

// ---- queries

size_t VMemCppImpl::GetPtrSize(const void* block)
{
    if (block == nullptr)
        return 0;
    if (VPageAllocationImpl::IsSmallBlock(block))
        return size_t(VPageAllocationImpl::FromBlock(block)->fBlockSize) - sizeof(VSmallBlockHeader);
    return VBigBlockHeader::FromData(block)->GetSize() - sizeof(VBigBlockHeader);
}

bool VMemCppImpl::CheckPtr(const void* block)
{
    if (block == nullptr)
        return false;
    if (VPageAllocationImpl::IsSmallBlock(block))
    {
        if (VSmallBlockHeader::FromData(block)->GetOffset() < VPageAllocationImpl::kHeaderSize)
            return false;
        return VPageAllocationImpl::FromBlock(block)->CheckPtr(block);
    }
    return !VBigBlockHeader::FromData(block)->IsFree();
}

bool VMemCppImpl::Check(void*)
{
    bool sound = true;
    for (VMemImplAllocation* chunk = fChunks; chunk != nullptr; chunk = chunk->fNext)
        sound = CheckChunk(chunk) && sound;
    return sound;
}

bool VMemCppImpl::CheckChunk(VMemImplAllocation* chunk)
{
    if (chunk->fUsed > chunk->fCapacity)
        return false;
    char* end = reinterpret_cast<char*>(chunk->GetCarvedEnd());
    uint64_t precedingSize = 0;
    for (VBigBlockHeader* block = chunk->GetFirstBlock(); reinterpret_cast<char*>(block) < end;
         block = block->GetFollowing())
    {
        uint64_t size = block->GetSize();
        if (size < sizeof(VBigBlockHeader) || size % 8 != 0 ||
            size > uint64_t(end - reinterpret_cast<char*>(block)))
            return false;
        if (block->fChunk != chunk || uint64_t(block->fPrecedingSize) != precedingSize)
            return false;
        if (block->HoldsPage() && !reinterpret_cast<VPageAllocationImpl*>(block->GetData())->Check())
            return false;
        precedingSize = size;
    }
    return chunk->fLastBlockSize == precedingSize;
}

void VMemCppImpl::GetStats(VMemStats& stats, int16_t arenaIndex)
{
    for (VMemImplAllocation* chunk = fChunks; chunk != nullptr; chunk = chunk->fNext)
    {
        stats.fRecords.push_back(
            {uint64_t(reinterpret_cast<uintptr_t>(chunk->GetData())), VMemStatsRecord::kChunk, arenaIndex});
        char* end = reinterpret_cast<char*>(chunk->GetCarvedEnd());
        for (VBigBlockHeader* block = chunk->GetFirstBlock(); reinterpret_cast<char*>(block) < end;
             block = block->GetFollowing())
        {
            uint64_t size = block->GetSize();
            if (size == 0)
                break;
            ++stats.fBigBlockCount;
            stats.fBiggestBlock = std::max(stats.fBiggestBlock, size);
            if (block->IsFree())
            {
                ++stats.fFreeBigBlockCount;
                stats.fFreeMemory += size;
                stats.fBiggestFreeBlock = std::max(stats.fBiggestFreeBlock, size);
                ++stats.fOtherBigBlocks[size].fFree;
                continue;
            }
            ++stats.fUsedBigBlockCount;
            stats.fUsedMemory += size;
            if (block->HoldsPage())
            {
                ++stats.fPagesOfSmallBlocks;
                reinterpret_cast<VPageAllocationImpl*>(block->GetData())->AddStats(stats);
                continue;
            }
            stats.fRecords.push_back({size, VMemStatsRecord::kBlock, arenaIndex});
            ++stats.fOtherBigBlocks[size].fUsed;
            VMemStatsCount* count;
            if (block->HoldsObject())
            {
                ++stats.fObjectCount;
                count = &stats.fObjectsByClass[GetTypeOfObject(block->GetData())];
            }
            else
            {
                count = &stats.fBlocksByTag[block->fTag];
            }
            ++count->fCount;
            count->fBytes += size;
        }
    }
}

} // namespace kova
