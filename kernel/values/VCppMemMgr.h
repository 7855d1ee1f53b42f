// VCppMemMgr is the one process-wide memory manager: every block the toolbox allocates for its
// own data is taken from it (through VMemory or VObject::sCppMemMgr) and given back to it. It
// hands each request to one back end chosen once, at construction: the C library, or four pooled
// arenas (chosen by the main bundle's "MemoryAllocator" key when the kind is FromBundle).
//
// Exhaustion is reported only by a null result; the manager raises no error. With the C library
// no lock is taken on the allocation path; with the arenas every arena access runs under the
// main lock, and a purge handler may run (without that lock) when the arenas are full.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/KovaTypes.h"

#include <cstddef>
#include <cstdint>
#include <pthread.h>
#include <vector>

namespace kova
{

class XMemCppImpl;
class VSyncEvent;
class VMemStats;
class VLeaksChecker;

// Block tags: four-character codes that label allocations for statistics only.
constexpr uint32_t kMEM_TAG_STRING = FourCharCode("str ");
constexpr uint32_t kMEM_TAG_STRING_RETAINED = FourCharCode("strX");
constexpr uint32_t kMEM_TAG_UNICODE_RANGES = FourCharCode("strU");
constexpr uint32_t kMEM_TAG_INTL = FourCharCode("intl");
constexpr uint32_t kMEM_TAG_CASE_CONVERSION = FourCharCode("tupc");
constexpr uint32_t kMEM_TAG_VALUE_ARRAY = FourCharCode("varr");
constexpr uint32_t kMEM_TAG_ARRAY = FourCharCode("arr ");
constexpr uint32_t kMEM_TAG_SORT = FourCharCode("sort");
constexpr uint32_t kMEM_TAG_MEMORY_BUFFER = FourCharCode("memb");
constexpr uint32_t kMEM_TAG_STREAM = FourCharCode("stm ");
constexpr uint32_t kMEM_TAG_FILE_STREAM = FourCharCode("stmf");
constexpr uint32_t kMEM_TAG_GROW = FourCharCode("grow");

// A memory hog: a registration that a task holds while it uses much memory.
class VMemoryHog
{
public:
    explicit VMemoryHog(int32_t taskID) : fTaskID(taskID) {}
    int32_t GetTaskID() const { return fTaskID; }

private:
    VCriticalSection fLock;
    int32_t fTaskID;
};

class VCppMemMgr
{
public:
    enum EAllocatorKind
    {
        eAllocatorFromBundle = 0, // the main bundle's "MemoryAllocator" key decides
        eAllocatorStdLib = 1,
        eAllocatorPooled = 2,
    };

    // Called with (arena index, requested size, first purge of this request); the result is ignored.
    using PurgeHandlerProc = uint64_t (*)(int32_t arenaIndex, uint64_t requestedSize, bool firstPurge);

    explicit VCppMemMgr(EAllocatorKind kind);
    VCppMemMgr(EAllocatorKind kind, bool flag1, bool flag2);
    VCppMemMgr(const VCppMemMgr&) = delete;
    VCppMemMgr& operator=(const VCppMemMgr&) = delete;
    virtual ~VCppMemMgr();

    // The manager itself lives in whole pages reserved from the system, before any other block.
    static void* operator new(size_t size);
    static void operator delete(void* block);

    void* Malloc(size_t size, bool isObject, uint32_t tag, int32_t arenaHint = -1);
    void* Calloc(size_t count, size_t size, uint32_t tag);
    void Free(void* block);
    void* Realloc(void* block, size_t size);
    size_t GetPtrSize(const void* block);

    uint64_t GetAllocatedMem();
    uint64_t GetFreeMemory();
    uint64_t GetMaxFree();
    uint64_t GetMaxUsed();
    uint64_t GetUsedMem();
    void GetMemStatistics(size_t& out1, size_t& out2, size_t& outAllocated, size_t& out4, size_t& out5,
                          size_t& out6, size_t& out7, size_t& out8, size_t& out9);
    void GetMemUsageInfo(size_t& outTotal, size_t& outUsed);
    void GetStatistics(VMemStats& stats, int32_t arenaIndex);
    int32_t GetAllocationBlockNumber(const void* block);

    bool AddVirtualAllocation(size_t size, const void* address, bool physical);
    int32_t CountVirtualAllocations();

    PurgeHandlerProc SetPurgeHandlerProc(PurgeHandlerProc handler);
    void PurgeMem(int32_t arenaIndex);

    VMemoryHog* RegisterMemHog();
    void UnRegisterMemHog(VMemoryHog* hog);

    // Debugging hooks: the back ends keep no debug information, so these answer "all is well".
    bool CheckPtr(const void*) { return true; }
    bool Check() { return true; }
    bool CheckNow() { return true; }
    bool IsAPtr(const void*, size_t) { return true; }
    const void* CheckVObject(const void* object) { return object; }

    bool IsUsingStdLib() const { return fUseStdLib; }
    int32_t GetArenaCount() const { return fArenaCount; }
    int32_t GetCurrentArenaIndex() const { return fCurrentArena; }
    uint64_t GetLargestChunk() const { return fLargestChunk; }
    XMemCppImpl* GetArena(int32_t index) const { return fArenas[size_t(index)]; }

    // Added by each arena for every chunk it receives.
    void AddToTotalVirtualAllocation(uint64_t size) { fTotalVirtualAllocation += size; }
    uint64_t GetTotalVirtualAllocation() const { return fTotalVirtualAllocation; }

private:
    void _Init(EAllocatorKind kind, bool flag1, bool flag2);
    void* _MallocFromArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint);
    void* _AskArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint);
    void _FreeBlock(void* block);
    void _WaitForPurge();
    void _RunPurge(int32_t arenaIndex, uint64_t size, bool firstPurge);

    pthread_mutex_t fMainLock;
    XMemCppImpl* fStdLib = nullptr;
    std::vector<XMemCppImpl*> fArenas;
    int32_t fArenaCount = 0;
    int32_t fArenasWanted = 0;
    int32_t fCurrentArena = 0;
    int32_t fPurgingArena = -1;
    uint64_t fLargestChunk = 0;
    VSyncEvent* fPurgeEvent = nullptr;
    PurgeHandlerProc fPurgeHandler = nullptr;
    uint64_t fTotalVirtualAllocation = 0;
    bool fFlag1 = false;
    bool fFlag2 = false;
    bool fUseStdLib = false;
    VLeaksChecker* fLeaksChecker = nullptr;
    VCriticalSection fHogsLock;
    std::vector<VMemoryHog*> fHogs;
};

} // namespace kova
