#include "kernel/values/VMemThreadImpl.h"

#include "kernel/values/VMemCppImpl.h"
#include "kernel/values/VMemImplAllocation.h"
#include "kernel/values/VPageAllocationImpl.h"

#include <new>

namespace kova
{

VMemThreadImpl::VMemThreadImpl(VMemCppImpl* arena) : fArena(arena) {}

int32_t VMemThreadImpl::GetStepFromSize(size_t inBlockRequest, int32_t* outStep)
{
    int32_t step = inBlockRequest <= 1024 ? 16 : inBlockRequest <= 4096 ? 64 : 256;
    size_t blockSize = (inBlockRequest + size_t(step) - 1) / size_t(step) * size_t(step);
    if (outStep != nullptr)
        *outStep = step;
    if (step == 16)
        return int32_t(blockSize / 16);
    if (step == 64)
        return int32_t(blockSize / 64 + 49);
    return int32_t(blockSize / 256 + 98);
}

size_t VMemThreadImpl::GetBlockSize(size_t inBlockRequest)
{
    int32_t step;
    GetStepFromSize(inBlockRequest, &step);
    return (inBlockRequest + size_t(step) - 1) / size_t(step) * size_t(step);
}

size_t VMemThreadImpl::GetPageSize(size_t inBlockSize)
{
    if (inBlockSize < 256)
        return 8168;
    if (inBlockSize < 1024)
        return 16360;
    if (inBlockSize < 4096)
        return 65512;
    return 131048;
}

void VMemThreadImpl::LinkAtHead(VPageAllocationImpl* page, int32_t inClass)
{
    page->fPrevious = nullptr;
    page->fNext = fPages[inClass];
    if (page->fNext != nullptr)
        page->fNext->fPrevious = page;
    fPages[inClass] = page;
}

void VMemThreadImpl::Unlink(VPageAllocationImpl* page, int32_t inClass)
{
    if (page->fPrevious != nullptr)
        page->fPrevious->fNext = page->fNext;
    else
        fPages[inClass] = page->fNext;
    if (page->fNext != nullptr)
        page->fNext->fPrevious = page->fPrevious;
    page->fNext = nullptr;
    page->fPrevious = nullptr;
}

void* VMemThreadImpl::Malloc(size_t inSize, bool objectFlag, uint32_t tag)
{
    size_t blockRequest = inSize + sizeof(VSmallBlockHeader);
    int32_t sizeClass = GetStepFromSize(blockRequest, nullptr);
    size_t blockSize = GetBlockSize(blockRequest);
    VPageAllocationImpl* page = fPages[sizeClass];
    if (page == nullptr)
    {
        size_t pageSize = GetPageSize(blockSize);
        void* pageData = fArena->Malloc(pageSize, 1, 0, 0);
        if (pageData == nullptr)
            return nullptr;
        // The page's blocks count one by one as they are served, not the page as a whole.
        fArena->fBytesInUse -= VBigBlockHeader::FromData(pageData)->GetSize();
        page = new (pageData) VPageAllocationImpl;
        page->Init(this, pageSize, uint32_t(blockSize));
        LinkAtHead(page, sizeClass);
    }
    void* block = page->Malloc(objectFlag, tag);
    fArena->fBytesInUse += blockSize;
    if (page->IsFull())
        Unlink(page, sizeClass);
    return block;
}

void VMemThreadImpl::Free(void* data)
{
    VPageAllocationImpl* page = VPageAllocationImpl::FromBlock(data);
    size_t blockSize = size_t(page->fBlockSize);
    int32_t sizeClass = GetStepFromSize(blockSize, nullptr);
    bool wasFull = page->IsFull();
    page->Free(data);
    fArena->fBytesInUse -= blockSize;
    if (page->IsEmpty())
    {
        if (!wasFull)
            Unlink(page, sizeClass);
        VBigBlockHeader* pageBlock = VBigBlockHeader::FromData(page);
        fArena->fBytesInUse += pageBlock->GetSize();
        fArena->FreeBigBlock(pageBlock);
    }
    else if (wasFull)
    {
        LinkAtHead(page, sizeClass);
    }
}

} // namespace kova
