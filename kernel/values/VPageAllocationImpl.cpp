#include "kernel/values/VPageAllocationImpl.h"

#include "kernel/values/VMemCppImpl.h"
#include "kernel/values/VMemStats.h"

#include <cstring>
#include <new>
#include <vector>

namespace kova
{

void VPageAllocationImpl::Init(VMemThreadImpl* owner, uint64_t pageSize, uint32_t blockSize)
{
    fOwner = owner;
    fFreeList = nullptr;
    fNext = nullptr;
    fPrevious = nullptr;
    fPageSize = pageSize;
    fNextUnused = kHeaderSize;
    fFreeCount = 0;
    fUsedCount = 0;
    fCapacity = uint16_t((pageSize - kHeaderSize) / blockSize);
    fBlockSize = int16_t(blockSize);
}

bool VPageAllocationImpl::IsCarvedOffset(uint64_t offset) const
{
    return offset >= kHeaderSize && offset < fNextUnused &&
           (offset - kHeaderSize) % uint64_t(fBlockSize) == 0;
}

bool VPageAllocationImpl::CheckPtr(const void* data) const
{
    uint64_t offset = OffsetOf(VSmallBlockHeader::FromData(data));
    if (!IsCarvedOffset(offset))
        return false;
    // The list is walked at most as far as the page has blocks, so a damaged list cannot loop.
    const VSmallBlockHeader* entry = fFreeList;
    for (uint32_t steps = 0; entry != nullptr; ++steps)
    {
        if (steps >= fCapacity || !IsCarvedOffset(OffsetOf(entry)))
            return false;
        if (OffsetOf(entry) == offset)
            return false;
        entry = NextFree(entry);
    }
    return true;
}

bool VPageAllocationImpl::Check() const
{
    if (fBlockSize <= 0 || fCapacity != (fPageSize - kHeaderSize) / uint64_t(fBlockSize))
        return false;
    if (fNextUnused < kHeaderSize || fNextUnused > kHeaderSize + uint64_t(fCapacity) * uint64_t(fBlockSize) ||
        (fNextUnused - kHeaderSize) % uint64_t(fBlockSize) != 0)
        return false;
    uint64_t carved = (fNextUnused - kHeaderSize) / uint64_t(fBlockSize);
    if (uint64_t(fUsedCount) + fFreeCount != carved)
        return false;

    std::vector<bool> onFreeList(carved, false);
    uint64_t entries = 0;
    for (const VSmallBlockHeader* entry = fFreeList; entry != nullptr; entry = NextFree(entry))
    {
        uint64_t offset = OffsetOf(entry);
        if (!IsCarvedOffset(offset))
            return false;
        uint64_t index = (offset - kHeaderSize) / uint64_t(fBlockSize);
        if (onFreeList[index])
            return false;
        onFreeList[index] = true;
        ++entries;
    }
    if (entries != fFreeCount)
        return false;

    for (uint64_t index = 0; index < carved; ++index)
    {
        uint64_t offset = kHeaderSize + index * uint64_t(fBlockSize);
        if (BlockAt(offset)->GetOffset() != offset)
            return false;
    }
    return true;
}

void VPageAllocationImpl::AddStats(VMemStats& stats) const
{
    uint64_t blockSize = uint64_t(fBlockSize);
    int32_t freeBlocks = int32_t(fCapacity) - int32_t(fUsedCount);
    uint64_t freeBytes = blockSize * uint64_t(freeBlocks);
    stats.fFreeMemory += freeBytes;
    stats.fUsedMemory -= freeBytes;
    stats.fSmallBlockCount += fCapacity;
    stats.fFreeSmallBlockCount += freeBlocks;
    stats.fUsedSmallBlockCount += fUsedCount;
    VMemStatsUsage& usage = stats.fSmallBlocks[blockSize];
    usage.fUsed += fUsedCount;
    usage.fFree += freeBlocks;
    VMemStatsPages& pages = stats.fAllocationPages[fPageSize];
    if (IsFull())
        ++pages.fFull;
    else
        ++pages.fPartial;

    uint64_t carved = (fNextUnused - kHeaderSize) / blockSize;
    std::vector<bool> onFreeList(carved, false);
    uint64_t steps = 0;
    for (const VSmallBlockHeader* entry = fFreeList; entry != nullptr && steps < carved;
         entry = NextFree(entry), ++steps)
    {
        uint64_t offset = OffsetOf(entry);
        if (IsCarvedOffset(offset))
            onFreeList[(offset - kHeaderSize) / blockSize] = true;
    }
    for (uint64_t index = 0; index < carved; ++index)
    {
        if (onFreeList[index])
            continue;
        VSmallBlockHeader* block = BlockAt(kHeaderSize + index * blockSize);
        if (block->HoldsObject())
        {
            ++stats.fObjectCount;
            VMemStatsCount& count = stats.fObjectsByClass[VMemCppImpl::GetTypeOfObject(block->GetData())];
            ++count.fCount;
            count.fBytes += blockSize;
        }
        else
        {
            VMemStatsCount& count = stats.fBlocksByTag[block->fTag];
            ++count.fCount;
            count.fBytes += blockSize;
        }
    }
}

} // namespace kova
