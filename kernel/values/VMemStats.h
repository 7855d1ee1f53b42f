// VMemStats is a record of memory statistics: twelve counters and the maps and per-chunk records
// that the pooled arenas fill when the memory manager gathers statistics (VCppMemMgr::GetStatistics).
// With the C library back end it stays all zero. A record belongs to its caller; Clear zeroes the
// counters but keeps the maps' entries, so a record meant for one gathering should start empty.
//
// A record is written as text through a stream's PutText (so in the stream's character set and
// line-end mode): DumpToStream gives the summary (memory, objects by class, blocks by tag), Dump
// the long form (the summary, then the block counts and the maps of blocks and pages).
#pragma once

#include "kernel/tasks/VCriticalSection.h"

#include "kernel/values/KovaTypes.h"

#include <cstdint>
#include <map>
#include <typeindex>
#include <vector>

namespace kova
{

class VStream;

// Blocks and bytes of one class or one tag.
struct VMemStatsCount
{
    int32_t fCount = 0;
    uint64_t fBytes = 0;
};

// Used and free blocks of one size.
struct VMemStatsUsage
{
    int32_t fUsed = 0;
    int32_t fFree = 0;
};

// Full and partly used pages of one size.
struct VMemStatsPages
{
    int32_t fFull = 0;
    int32_t fPartial = 0;
};

// One record of the per-chunk list gathered while counting: a chunk (kind kChunk, value = address
// of its data area) or a used big block that is no page (kind kBlock, value = its size).
struct VMemStatsRecord
{
    static constexpr int32_t kChunk = -2;
    static constexpr int32_t kBlock = -1;

    uint64_t fValue;
    int32_t fKind;
    int32_t fArena;
};

class VMemStats
{
public:
    // Zeroes the twelve counters; the maps and the records keep their entries.
    void Clear();

    // Both return the stream's last error.
    VError DumpToStream(VStream* ioStream) const;
    VError Dump(VStream* ioStream) const;

    uint64_t fFreeMemory = 0;
    uint64_t fUsedMemory = 0;
    int32_t fPagesOfSmallBlocks = 0;
    int32_t fObjectCount = 0;
    int32_t fSmallBlockCount = 0;
    int32_t fFreeSmallBlockCount = 0;
    int32_t fUsedSmallBlockCount = 0;
    int32_t fBigBlockCount = 0;
    int32_t fFreeBigBlockCount = 0;
    int32_t fUsedBigBlockCount = 0;
    uint64_t fBiggestBlock = 0;
    uint64_t fBiggestFreeBlock = 0;

    // Objects by the run-time type of their class.
    std::map<std::type_index, VMemStatsCount> fObjectsByClass;
    std::map<uint32_t, VMemStatsCount> fBlocksByTag;
    // By block size.
    std::map<uint64_t, VMemStatsUsage> fSmallBlocks;
    // By page size.
    std::map<uint64_t, VMemStatsPages> fAllocationPages;
    // By block size.
    std::map<uint64_t, VMemStatsUsage> fOtherBigBlocks;
    std::vector<VMemStatsRecord> fRecords;
};

// The lock of memory dumps; built by static initialisation (it allocates nothing).
extern VCriticalSection gDumpMemMutex;

} // namespace kova
