#include "kernel/values/VMemThreadImpl.h"

#include "kernel/values/VMemCppImpl.h"
#include "kernel/values/VMemImplAllocation.h"
#include "kernel/values/VPageAllocationImpl.h"

#include <new>

namespace kova
{

VMemThreadImpl::VMemThreadImpl(VMemCppImpl* arena) : fArena(arena) {}

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

void* VMemThreadImpl::_MallocFromNewPage(int32_t inClass, size_t inBlockSize, bool objectFlag, uint32_t tag)
{
    size_t pageSize = GetPageSize(inBlockSize);
    void* pageData = fArena->Malloc(pageSize, 1, 0, 0);
    if (pageData == nullptr)
        return nullptr;
    // The page's blocks count one by one as they are served, not the page as a whole.
    fArena->fBytesInUse -= VBigBlockHeader::FromData(pageData)->GetSize();
    auto* page = new (pageData) VPageAllocationImpl;
    page->Init(this, pageSize, uint32_t(inBlockSize));
    LinkAtHead(page, inClass);
    void* block = page->Malloc(objectFlag, tag);
    fArena->fBytesInUse += inBlockSize;
    if (page->IsFull())
        Unlink(page, inClass);
    return block;
}

void VMemThreadImpl::_FreeChangesPageList(VPageAllocationImpl* page, bool wasFull)
{
    const int32_t sizeClass = GetStepFromSize(size_t(page->fBlockSize), nullptr);
    if (page->IsEmpty())
    {
        if (!wasFull)
            Unlink(page, sizeClass);
        VBigBlockHeader* pageBlock = VBigBlockHeader::FromData(page);
        fArena->fBytesInUse += pageBlock->GetSize();
        fArena->FreeBigBlock(pageBlock);
    }
    else
    {
        LinkAtHead(page, sizeClass);
    }
}

} // namespace kova
