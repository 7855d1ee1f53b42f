#include "kernel/values/VCppMemMgr.h"

#include "kernel/tasks/VSyncEvent.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/Sanitizers.h"
#include "kernel/values/VMemCppImpl.h"
#include "kernel/values/VMemCppImpl_stdlib.h"
#include "kernel/values/VMemStats.h"
#include "platform/mac/values/XMacCppMemMgr.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(KOVA_ADDRESS_SANITIZER)
#include <sanitizer/lsan_interface.h>
#endif

namespace kova
{

namespace
{

// The manager's pages begin with the reserved size; 16 bytes keep the object 16-byte aligned.
constexpr size_t kPagesHeader = 16;

} // namespace

VCppMemMgr::VCppMemMgr(EAllocatorKind kind) : VCppMemMgr(kind, false, false) {}

VCppMemMgr::VCppMemMgr(EAllocatorKind kind, bool flag1, bool flag2)
{
    _Init(kind, flag1, flag2);
}

VCppMemMgr::~VCppMemMgr()
{
    delete fStdLib;
    for (VMemCppImpl* arena : fArenas)
        delete arena;
    for (VMemoryHog* hog : fHogs)
        delete hog;
}

void VCppMemMgr::_Init(EAllocatorKind kind, bool flag1, bool flag2)
{
    fPurgeHandler.store(nullptr);
    fTotalVirtualAllocation = 0;
    fFlag1 = flag1;
    fFlag2 = flag2;
    if (kind == eAllocatorFromBundle)
        kind = XMacCppMemMgr::MainBundleAsksForPooledAllocator() ? eAllocatorPooled : eAllocatorStdLib;
    if (kind == eAllocatorStdLib)
    {
        fStdLib = new (std::nothrow) VMemCppImpl_stdlib;
        fUseStdLib = fStdLib != nullptr;
    }
    else if (kind == eAllocatorPooled)
    {
        fArenas.reserve(kArenaCount);
        for (int32_t index = 0; index < kArenaCount; ++index)
        {
            VMemCppImpl* arena = new (std::nothrow) VMemCppImpl(index);
            if (arena == nullptr)
                break;
            fArenas.push_back(arena);
            arena->Init(this);
        }
        fArenaCount = int32_t(fArenas.size());
        fCurrentArena = 0;
        fPurgingArena = -1;
        fLargestChunk = 0;
        fPurgeEvent = nullptr;
        fUseStdLib = false;
    }
}

void* VCppMemMgr::operator new(size_t size) noexcept
{
    size_t reserved = size + kPagesHeader;
    void* pages = VSystem::VirtualAlloc(reserved, nullptr);
    if (pages == nullptr)
        return nullptr;
    std::memcpy(pages, &reserved, sizeof(reserved));
#if defined(KOVA_ADDRESS_SANITIZER)
    // Leak checkers do not scan anonymous pages: the manager's back ends would look leaked.
    __lsan_register_root_region(pages, reserved);
#endif
    return static_cast<char*>(pages) + kPagesHeader;
}

void VCppMemMgr::operator delete(void* block) noexcept
{
    if (block == nullptr)
        return;
    char* pages = static_cast<char*>(block) - kPagesHeader;
    size_t reserved;
    std::memcpy(&reserved, pages, sizeof(reserved));
#if defined(KOVA_ADDRESS_SANITIZER)
    __lsan_unregister_root_region(pages, reserved);
#endif
    VSystem::VirtualFree(pages, reserved, false);
}

// ---- allocation

void* VCppMemMgr::_AskArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint, bool currentAsked)
{
    bool hinted = arenaHint >= 0 && arenaHint < fArenaCount;
    if (hinted && arenaHint != fPurgingArena)
    {
        if (void* block = fArenas[size_t(arenaHint)]->Malloc(size, 0, isObject, tag))
            return block;
    }
    int32_t index = fCurrentArena;
    do
    {
        if (index != fPurgingArena && !(hinted && index == arenaHint) &&
            !(currentAsked && index == fCurrentArena))
        {
            if (void* block = fArenas[size_t(index)]->Malloc(size, 0, isObject, tag))
                return block;
        }
        index = index + 1 == fArenaCount ? 0 : index + 1;
    } while (index != fCurrentArena);
    return nullptr;
}

void* VCppMemMgr::_MallocFromArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint)
{
    _Lock();
    void* block = nullptr;
    if (fArenaCount > 0 && fLargestChunk >= size)
    {
        // The usual request names no arena, and the current one serves it: the walk's first step.
        const bool askCurrent = (arenaHint < 0 || arenaHint >= fArenaCount) && fCurrentArena != fPurgingArena;
        if (askCurrent)
            block = fArenas[size_t(fCurrentArena)]->Malloc(size, 0, isObject, tag);
        if (block == nullptr)
            block = _MallocWalkingArenas(size, isObject, tag, arenaHint, askCurrent);
    }
    _Unlock();
    return block;
}

void* VCppMemMgr::_MallocWalkingArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint,
                                       bool currentAsked)
{
    int32_t startArena = fCurrentArena;
    bool firstPurge = true;
    void* block = _AskArenas(size, isObject, tag, arenaHint, currentAsked);
    while (block == nullptr)
    {
        if (fPurgingArena != -1)
        {
            // The purge handler's own request cannot wait for its own purge: it fails.
            if (fPurgingThread == VMemMgrLock::CurrentThread())
                break;
            // Another thread purges: wait for it rather than purge a second arena at once.
            _WaitForPurge();
            arenaHint = -1;
            if (fCurrentArena == startArena)
                break;
            block = _AskArenas(size, isObject, tag, arenaHint, false);
            continue;
        }
        if (!_Purge(fCurrentArena, size, firstPurge))
            break;
        firstPurge = false;
        fCurrentArena = (fCurrentArena + 1) % fArenaCount;
        arenaHint = -1;
        block = _AskArenas(size, isObject, tag, arenaHint, false);
        if (fCurrentArena == startArena)
            break;
    }
    return block;
}

void VCppMemMgr::_WaitForPurge()
{
    VSyncEvent* event = fPurgeEvent;
    event->Retain();
    _Unlock();
    event->Lock();
    event->Release();
    _Lock();
}

bool VCppMemMgr::_Purge(int32_t arenaIndex, uint64_t size, bool firstPurge)
{
    VSyncEvent* event = new (std::nothrow) VSyncEvent;
    if (event == nullptr)
        return false;
    fPurgeEvent = event;
    fPurgingArena = arenaIndex;
    fPurgingThread = VMemMgrLock::CurrentThread();
    _Unlock();
    if (PurgeHandlerProc handler = fPurgeHandler.load())
        handler(arenaIndex, size, firstPurge);
    _Lock();
    event->Retain();
    event->Unlock();
    event->Release();
    fPurgeEvent = nullptr;
    event->Release();
    fPurgingArena = -1;
    return true;
}

void* VCppMemMgr::Calloc(size_t count, size_t size, uint32_t tag)
{
    size_t total;
    if (__builtin_mul_overflow(count, size, &total))
        return nullptr;
    void* block = Malloc(total, false, tag, -1);
    if (block != nullptr)
        std::memset(block, 0, total);
    return block;
}

void VCppMemMgr::_FreeBlock(void* block)
{
    _Lock();
    if (fArenaCount > 0)
        fArenas[0]->Free(block);
    _Unlock();
}

void* VCppMemMgr::Realloc(void* block, size_t size)
{
    if (block == nullptr)
        return Malloc(size, false, 0, -1);
    if (size == 0)
    {
        Free(block);
        return nullptr;
    }
    // The C library may grow or shrink the block in place; it keeps the old block on failure too.
    if (fUseStdLib)
        return fStdLib->Realloc(block, size);
    void* grown = Malloc(size, false, kMEM_TAG_GROW, -1);
    if (grown == nullptr)
        return nullptr;
    // The size of a block is read from its own header, which no other request writes while the
    // caller holds the block: no lock is needed for it.
    std::memcpy(grown, block, std::min(fArenas[0]->GetPtrSize(block), size));
    Free(block);
    return grown;
}

size_t VCppMemMgr::GetPtrSize(const void* block)
{
    if (fUseStdLib)
        return fStdLib->GetPtrSize(block);
    _Lock();
    size_t size = fArenaCount > 0 ? fArenas[0]->GetPtrSize(block) : 0;
    _Unlock();
    return size;
}

// ---- usage

uint64_t VCppMemMgr::GetAllocatedMem()
{
    _Lock();
    uint64_t total = 0;
    if (fUseStdLib)
        total = fStdLib->GetTotalAllocation();
    for (VMemCppImpl* arena : fArenas)
        total += arena->GetTotalAllocation();
    _Unlock();
    return total;
}

uint64_t VCppMemMgr::GetFreeMemory()
{
    GetAllocatedMem();
    return 0;
}

uint64_t VCppMemMgr::GetMaxFree()
{
    GetAllocatedMem();
    return 0;
}

uint64_t VCppMemMgr::GetMaxUsed()
{
    GetAllocatedMem();
    return 0;
}

uint64_t VCppMemMgr::GetUsedMem()
{
    GetAllocatedMem();
    return 0;
}

void VCppMemMgr::GetMemStatistics(size_t& out1, size_t& out2, size_t& outAllocated, size_t& out4,
                                  size_t& out5, size_t& out6, size_t& out7, size_t& out8, size_t& out9)
{
    out1 = out2 = out4 = out5 = out6 = out7 = out8 = out9 = 0;
    outAllocated = GetAllocatedMem();
}

void VCppMemMgr::GetMemUsageInfo(size_t& outTotal, size_t& outUsed)
{
    if (fUseStdLib)
    {
        fStdLib->GetMemUsageInfo(outTotal, outUsed);
        return;
    }
    outTotal = 0;
    outUsed = 0;
    // The arenas change their figures under the main lock only, so they are read under it too.
    _Lock();
    for (VMemCppImpl* arena : fArenas)
    {
        size_t total;
        size_t used;
        arena->GetMemUsageInfo(total, used);
        outTotal += total;
        outUsed += used;
    }
    _Unlock();
}

void VCppMemMgr::GetStatistics(VMemStats& stats, int32_t arenaIndex)
{
    _Lock();
    stats.Clear();
    if (fUseStdLib)
    {
        fStdLib->GetStats(stats, int16_t(arenaIndex));
    }
    else if (arenaIndex >= 0 && arenaIndex < fArenaCount)
    {
        fArenas[size_t(arenaIndex)]->GetStats(stats, int16_t(arenaIndex));
    }
    else
    {
        for (int32_t index = 0; index < fArenaCount; ++index)
            fArenas[size_t(index)]->GetStats(stats, int16_t(index));
    }
    _Unlock();
}

int32_t VCppMemMgr::GetAllocationBlockNumber(const void* block)
{
    if (fUseStdLib || fArenaCount == 0)
        return 0;
    return fArenas[0]->GetAllocationBlockNumber(block);
}

int32_t VCppMemMgr::GetCurrentArenaIndex()
{
    _Lock();
    int32_t index = fCurrentArena;
    _Unlock();
    return index;
}

uint64_t VCppMemMgr::GetLargestChunk()
{
    _Lock();
    uint64_t largest = fLargestChunk;
    _Unlock();
    return largest;
}

// ---- virtual memory

bool VCppMemMgr::AddVirtualAllocation(size_t size, const void* address, bool physical)
{
    if (fUseStdLib)
        return false;
    if (size < kMinVirtualAllocation)
        return true;
    _Lock();
    if (fArenaCount == 0)
    {
        _Unlock();
        return true;
    }
    size_t pageSize = VSystem::GetVMPageSize();
    size_t share = size / size_t(fArenaCount) / pageSize * pageSize;
    bool done = true;
    for (int32_t index = 0; index < fArenaCount && done; ++index)
    {
        // Consecutive places from the address, so that no two arenas ask for the same pages.
        const void* place =
            address == nullptr ? nullptr : static_cast<const char*>(address) + size_t(index) * share;
        bool inPhysicalMemory = false;
        void* memory = physical ? VSystem::VirtualAllocPhysicalMemory(share, place, &inPhysicalMemory)
                                : VSystem::VirtualAlloc(share, place);
        if (memory == nullptr)
        {
            done = false;
            break;
        }
        if (!fArenas[size_t(index)]->AddAlreadyAllocatedMem(memory, share, inPhysicalMemory))
        {
            VSystem::VirtualFree(memory, share, inPhysicalMemory);
            done = false;
            break;
        }
        fLargestChunk = std::max<uint64_t>(fLargestChunk, share);
    }
    _Unlock();
    return done;
}

int32_t VCppMemMgr::CountVirtualAllocations()
{
    if (fUseStdLib)
        return fStdLib->CountAllocations();
    // Auto-allocating arenas add and drop chunks under the main lock: count under it too.
    _Lock();
    int32_t count = 0;
    for (VMemCppImpl* arena : fArenas)
        count += arena->CountAllocations();
    _Unlock();
    return count;
}

// ---- purging

VCppMemMgr::PurgeHandlerProc VCppMemMgr::SetPurgeHandlerProc(PurgeHandlerProc handler)
{
    return fPurgeHandler.exchange(handler);
}

void VCppMemMgr::PurgeMem(int32_t arenaIndex)
{
    if (fUseStdLib)
        return;
    _Lock();
    if (fArenaCount > 0)
    {
        // A handler that purges again from inside a purge would wait for itself.
        if (fPurgingArena != -1 && fPurgingThread == VMemMgrLock::CurrentThread())
        {
            _Unlock();
            return;
        }
        while (fPurgingArena != -1)
            _WaitForPurge();
        _Purge(arenaIndex >= 0 && arenaIndex < fArenaCount ? arenaIndex : 0, 0, true);
    }
    _Unlock();
}

// ---- memory hogs

VMemoryHog* VCppMemMgr::RegisterMemHog()
{
    VMemoryHog* hog = new (std::nothrow) VMemoryHog(VTaskMgr::GetCurrentTaskID());
    if (hog == nullptr)
        return nullptr;
    StLocker locker(fHogsLock);
    fHogs.push_back(hog);
    return hog;
}

void VCppMemMgr::UnRegisterMemHog(VMemoryHog* hog)
{
    StLocker locker(fHogsLock);
    auto found = std::find(fHogs.begin(), fHogs.end(), hog);
    if (found == fHogs.end())
        return;
    fHogs.erase(found);
    delete hog;
}

} // namespace kova
