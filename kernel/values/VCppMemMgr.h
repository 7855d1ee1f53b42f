// VCppMemMgr is the one process-wide memory manager: every block the toolbox allocates for its
// own data is taken from it (through VMemory or VObject::sCppMemMgr) and given back to it. It
// hands each request to one back end chosen once, at construction: the C library, or four pooled
// arenas (VMemCppImpl). With eAllocatorFromBundle the main bundle's "MemoryAllocator" key decides:
// "kova" in any case selects the arenas, anything else (or no key) the C library.
//
// Exhaustion is reported only by a null result; the manager raises no error and logs nothing.
// With the C library no lock is taken on the allocation path, and Malloc and Free inline to the C
// calls. With the arenas every arena access runs under the main lock (recursive, see
// VMemMgrLock), and the arenas never serve a request larger than the
// largest chunk that AddVirtualAllocation gave them. When no arena can serve, the manager purges:
// it calls the purge handler (without the main lock, so that the handler may free through the
// manager) once per arena at most, moving on to the next arena each time; a thread that finds a
// purge in progress waits for it on the purge event instead of starting another one, and the
// handler's own requests fail at once rather than wait for the purge they run in. The queries
// that walk the arenas (usage, chunk counts) take the main lock too.
//
// The manager object itself lives in whole pages reserved from the system, so that it exists
// before any other block; its operator new returns 16-byte aligned memory, or null when the
// system refuses (the entry point then exits with status 1).
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VLeaksChecker.h"
#include "kernel/values/VMemCppImpl_stdlib.h"
#include "kernel/values/VMemMgrLock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VMemCppImpl;
class VMemStats;
class VSyncEvent;
class IMemoryWalker;
class VArrayString;
class VArrayLong;
struct DebugBlockHeader;

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
    // Of a fixed type: a kind read from outside that names none is refused, never undefined.
    enum EAllocatorKind : int
    {
        eAllocatorFromBundle = 0,
        eAllocatorStdLib = 1,
        eAllocatorPooled = 2,
    };

    // Called with (arena index, requested size, first purge of this request); the result is ignored.
    using PurgeHandlerProc = uint64_t (*)(int32_t arenaIndex, uint64_t requestedSize, bool firstPurge);

    static constexpr int32_t kArenaCount = 4;
    // AddVirtualAllocation ignores smaller sizes.
    static constexpr size_t kMinVirtualAllocation = 10485760;

    explicit VCppMemMgr(EAllocatorKind kind);
    // The two flags are kept and have no effect. A kind outside the enumeration sets up no back
    // end: every allocation then fails.
    VCppMemMgr(EAllocatorKind kind, bool flag1, bool flag2);
    VCppMemMgr(const VCppMemMgr&) = delete;
    VCppMemMgr& operator=(const VCppMemMgr&) = delete;
    virtual ~VCppMemMgr();

    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    // isObject: the block will hold an object with a virtual table (counted by class in the
    // arenas' statistics). arenaHint: the arena to ask first, -1 for none.
    void* Malloc(size_t size, bool isObject, uint32_t tag, int32_t arenaHint = -1)
    {
        if (fUseStdLib)
            return fStdLib->Malloc(size, 0, isObject, tag);
        return _MallocFromArenas(size, isObject, tag, arenaHint);
    }
    // Zero-filled; null when count * size overflows.
    void* Calloc(size_t count, size_t size, uint32_t tag);
    // Null is ignored.
    void Free(void* block)
    {
        if (fUseStdLib)
            fStdLib->Free(block);
        else if (block != nullptr)
            _FreeBlock(block);
    }
    // Null block: allocates. Size 0: frees and returns null. Otherwise a new block (tag 'grow')
    // holding the old contents; on failure null, and the old block stays valid and unchanged.
    void* Realloc(void* block, size_t size);
    // The usable size of a block (malloc_usable_size with the C library).
    size_t GetPtrSize(const void* block);

    uint64_t GetAllocatedMem();
    // These four report 0 (after computing GetAllocatedMem), as callers have always been told.
    uint64_t GetFreeMemory();
    uint64_t GetMaxFree();
    uint64_t GetMaxUsed();
    uint64_t GetUsedMem();
    // All nine outputs 0 except the third, which receives GetAllocatedMem.
    void GetMemStatistics(size_t& out1, size_t& out2, size_t& outAllocated, size_t& out4, size_t& out5,
                          size_t& out6, size_t& out7, size_t& out8, size_t& out9);
    // The arenas' total and bytes in use (the C library: 1048576 and 0).
    void GetMemUsageInfo(size_t& outTotal, size_t& outUsed);
    // Clears the record's counters, then adds the figures of one arena, or of every arena when
    // the index names none.
    void GetStatistics(VMemStats& stats, int32_t arenaIndex);
    // The index of the arena that owns a block; 0 with the C library.
    int32_t GetAllocationBlockNumber(const void* block);

    // Gives the arenas virtual memory: each a share of size / 4 in whole pages. Sizes below
    // 10 MiB are ignored (true). With an address, the arenas' chunks are placed one after the
    // other from it: arena i at address + i * share. False when a reservation fails; the arenas
    // already served keep their memory.
    bool AddVirtualAllocation(size_t size, const void* address, bool physical);
    int32_t CountVirtualAllocations();

    // Returns the previous handler.
    PurgeHandlerProc SetPurgeHandlerProc(PurgeHandlerProc handler);
    // Runs the purge handler for one arena (0 for -1) with (index, 0, true), after any purge in
    // progress; does not move the current arena. Nothing with the C library.
    void PurgeMem(int32_t arenaIndex);

    VMemoryHog* RegisterMemHog();
    // A hog that is not registered is left alone.
    void UnRegisterMemHog(VMemoryHog* hog);

    // Debugging hooks: the back ends keep no debug information, so these answer "all is well"
    // and do nothing.
    bool CheckPtr(const void*) { return true; }
    bool Check() { return true; }
    bool CheckNow() { return true; }
    bool IsAPtr(const void*, size_t) { return true; }
    const void* CheckVObject(const void* object) { return object; }
    bool Walk(IMemoryWalker&) { return false; }
    void RegisterUser() {}
    void UnregisterUser() {}
    void RegisterBlock(DebugBlockHeader*, size_t, bool) {}
    void UnregisterBlock(DebugBlockHeader*) {}
    void DumpLeaks() {}
    void GetUsage(VArrayString&, VArrayLong&, VArrayLong&) {}

    bool IsUsingStdLib() const { return fUseStdLib; }
    int32_t GetArenaCount() const { return fArenaCount; }
    int32_t GetCurrentArenaIndex();
    uint64_t GetLargestChunk();
    VMemCppImpl* GetArena(int32_t index) const { return fArenas[size_t(index)]; }
    VLeaksChecker& GetLeaksChecker() { return fLeaksChecker; }

    // Added by each arena for every chunk it receives.
    void AddToTotalVirtualAllocation(uint64_t size) { fTotalVirtualAllocation += size; }
    uint64_t GetTotalVirtualAllocation() const { return fTotalVirtualAllocation; }

private:
    friend class VCppMemMgrTestPeer;

    void _Init(EAllocatorKind kind, bool flag1, bool flag2);
    void _Lock() { fMainLock.Lock(); }
    void _Unlock() { fMainLock.Unlock(); }
    void* _MallocFromArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint);
    // Under the main lock: the walk over the arenas with its purges; the current arena is not
    // asked again on the first walk when the caller already asked it.
    void* _MallocWalkingArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint,
                               bool currentAsked);
    void* _AskArenas(size_t size, bool isObject, uint32_t tag, int32_t arenaHint, bool currentAsked);
    void _FreeBlock(void* block);
    // Called under the main lock, which is released while waiting.
    void _WaitForPurge();
    // Called under the main lock, which is released while the handler runs. False when the
    // purge event could not be made (nothing was purged).
    bool _Purge(int32_t arenaIndex, uint64_t size, bool firstPurge);

    VMemMgrLock fMainLock;
    VMemCppImpl_stdlib* fStdLib = nullptr;
    std::vector<VMemCppImpl*> fArenas;
    int32_t fArenaCount = 0;
    int32_t fCurrentArena = 0;
    int32_t fPurgingArena = -1;
    // The thread that runs the purge handler while fPurgingArena is not -1.
    const void* fPurgingThread = nullptr;
    uint64_t fLargestChunk = 0;
    // The event of the purge in progress; null when none runs.
    VSyncEvent* fPurgeEvent = nullptr;
    std::atomic<PurgeHandlerProc> fPurgeHandler{nullptr};
    uint64_t fTotalVirtualAllocation = 0;
    bool fFlag1 = false;
    bool fFlag2 = false;
    bool fUseStdLib = false;
    VLeaksChecker fLeaksChecker;
    VCriticalSection fHogsLock;
    std::vector<VMemoryHog*> fHogs;
};

} // namespace kova
