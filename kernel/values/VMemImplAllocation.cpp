#include "kernel/values/VMemImplAllocation.h"

#include <new>

namespace kova
{

void VMemImplAllocation::Init(VMemCppImpl* arena, uint64_t inSize, bool physical)
{
    fArena = arena;
    fNext = nullptr;
    fPrevious = nullptr;
    fCapacity = inSize - kHeaderSize;
    fUsed = 0;
    fLastBlockSize = 0;
    fPhysical = physical;
}

bool VMemImplAllocation::Contains(const void* block) const
{
    const char* address = static_cast<const char*>(block);
    return address >= GetData() && address < GetData() + fUsed;
}

bool VMemImplAllocation::IsLastBlock(const VBigBlockHeader* block) const
{
    return reinterpret_cast<const char*>(block) + block->GetSize() == GetData() + fUsed;
}

void VMemImplAllocation::ReduceFrom(VBigBlockHeader* block)
{
    fUsed = uint64_t(reinterpret_cast<char*>(block) - GetData());
    fLastBlockSize = uint64_t(block->fPrecedingSize);
}

VBigBlockHeader* VMemImplAllocation::AllocateAtTheEnd(uint64_t inSize, uint64_t& ioBytesInUse,
                                                      bool objectFlag, bool pageFlag, uint32_t tag)
{
    if (GetRoom() < inSize)
        return nullptr;
    int32_t sizeWord = int32_t(inSize) | (objectFlag ? VBigBlockHeader::kObjectFlag : 0) |
                       (pageFlag ? VBigBlockHeader::kPageFlag : 0);
    VBigBlockHeader* block =
        new (GetData() + fUsed) VBigBlockHeader{this, sizeWord, 0, int32_t(fLastBlockSize), tag};
    fUsed += inSize;
    fLastBlockSize = inSize;
    ioBytesInUse += inSize;
    return block;
}

} // namespace kova
