#include "kernel/values/VMemCppImpl.h"

#include "kernel/tasks/VSystem.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VMemImplAllocation.h"
#include "kernel/values/VMemStats.h"
#include "kernel/values/VMemThreadImpl.h"
#include "kernel/values/VPageAllocationImpl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <vector>

namespace kova
{
namespace
{

constexpr uint32_t kTag = FourCharCode("test");

// An arena of its own, with one chunk of the given size (none for 0).
std::unique_ptr<VMemCppImpl> MakeArena(size_t chunkSize, int32_t index = 0)
{
    auto arena = std::make_unique<VMemCppImpl>(index);
    arena->Init(nullptr);
    if (chunkSize != 0)
    {
        EXPECT_TRUE(arena->AddAllocation(chunkSize, nullptr, 0));
    }
    return arena;
}

size_t BigBlockSizeOf(const void* data)
{
    return VBigBlockHeader::FromData(data)->GetSize();
}

struct SmallClassCase
{
    size_t fRequest;
    int32_t fClass;
    size_t fBlockSize;
    size_t fPageSize;
    uint16_t fCapacity;
};

class VMemCppImplSmallClasses : public testing::TestWithParam<SmallClassCase>
{
};

TEST_P(VMemCppImplSmallClasses, RequestLandsInItsClassAndPage)
{
    const SmallClassCase& c = GetParam();
    EXPECT_EQ(VMemThreadImpl::GetStepFromSize(c.fRequest + 8, nullptr), c.fClass);
    EXPECT_EQ(VMemThreadImpl::GetBlockSize(c.fRequest + 8), c.fBlockSize);
    EXPECT_EQ(VMemThreadImpl::GetPageSize(c.fBlockSize), c.fPageSize);

    auto arena = MakeArena(1 << 20);
    void* block = arena->Malloc(c.fRequest, 0, 0, kTag);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(VPageAllocationImpl::IsSmallBlock(block));
    EXPECT_EQ(arena->GetPtrSize(block), c.fBlockSize - 8);
    VPageAllocationImpl* page = VPageAllocationImpl::FromBlock(block);
    EXPECT_EQ(page->fPageSize, c.fPageSize);
    EXPECT_EQ(page->fCapacity, c.fCapacity);
    // The page is a big block that fills whole kibibytes exactly.
    EXPECT_EQ(BigBlockSizeOf(page), c.fPageSize + 24);
    EXPECT_EQ(arena->GetBytesInUse(), c.fBlockSize);
    arena->Free(block);
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VMemCppImplSmallClasses,
    testing::Values(SmallClassCase{0, 1, 16, 8168, 507}, SmallClassCase{1, 1, 16, 8168, 507},
                    SmallClassCase{8, 1, 16, 8168, 507}, SmallClassCase{9, 2, 32, 8168, 253},
                    SmallClassCase{232, 15, 240, 8168, 33}, SmallClassCase{248, 16, 256, 16360, 63},
                    SmallClassCase{1000, 63, 1008, 16360, 16}, SmallClassCase{1016, 64, 1024, 65512, 63},
                    SmallClassCase{1017, 66, 1088, 65512, 60}, SmallClassCase{4088, 113, 4096, 131048, 31},
                    SmallClassCase{4089, 115, 4352, 131048, 30},
                    SmallClassCase{8191, 131, 8448, 131048, 15}));

TEST(VMemCppImpl, BigBlockSizesAndClasses)
{
    EXPECT_EQ(VMemCppImpl::GetBigBlockSize(8192), 9216u);
    EXPECT_EQ(VMemCppImpl::GetBigBlockSize(1048552), 1048576u);
    EXPECT_EQ(VMemCppImpl::GetBigBlockSize(1048553), 1048584u);
    int32_t step = -1;
    EXPECT_EQ(VMemCppImpl::GetStepFromSize(9217, &step), 10);
    EXPECT_EQ(step, 1024);
    EXPECT_EQ(VMemCppImpl::GetStepFromSize(1048577, &step), 1025);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(VMemCppImpl::GetExactStepFromSize(9217), 9);
    EXPECT_EQ(VMemCppImpl::GetExactStepFromSize(1048576), 1024);
    EXPECT_EQ(VMemCppImpl::GetExactStepFromSize(1048577), 1025);

    auto arena = MakeArena(1 << 20);
    void* block = arena->Malloc(8192, 0, 0, kTag);
    ASSERT_NE(block, nullptr);
    EXPECT_FALSE(VPageAllocationImpl::IsSmallBlock(block));
    EXPECT_EQ(BigBlockSizeOf(block), 9216u);
    EXPECT_EQ(arena->GetPtrSize(block), 9216u - 24);
    EXPECT_EQ(arena->Malloc(VMemCppImpl::kMaxBigRequest + 1, 0, 0, kTag), nullptr);
    arena->Free(block);
}

TEST(VMemCppImpl, BlocksAreEightByteAligned)
{
    auto arena = MakeArena(4 << 20);
    std::vector<void*> blocks;
    for (size_t size : {1, 7, 24, 100, 1000, 4000, 8191, 8192, 10000, 70000, 1100000})
    {
        void* block = arena->Malloc(size, 0, 0, kTag);
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 8, 0u) << size;
        blocks.push_back(block);
    }
    for (void* block : blocks)
        arena->Free(block);
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
}

TEST(VMemCppImpl, PageFillsLeavesItsListAndComesBackWhenABlockIsFreed)
{
    auto arena = MakeArena(1 << 20);
    std::vector<void*> blocks;
    for (int i = 0; i < 507; ++i)
        blocks.push_back(arena->Malloc(1, 0, 0, kTag));
    VPageAllocationImpl* page = VPageAllocationImpl::FromBlock(blocks[0]);
    EXPECT_TRUE(page->IsFull());
    EXPECT_EQ(VPageAllocationImpl::FromBlock(blocks[506]), page);
    EXPECT_EQ(arena->GetFirstPage(1), nullptr);

    void* next = arena->Malloc(1, 0, 0, kTag);
    VPageAllocationImpl* second = VPageAllocationImpl::FromBlock(next);
    EXPECT_NE(second, page);
    EXPECT_EQ(arena->GetFirstPage(1), second);

    // A full page that gets a block back is served from first again, and reuses that block.
    arena->Free(blocks[100]);
    EXPECT_EQ(arena->GetFirstPage(1), page);
    EXPECT_EQ(arena->Malloc(1, 0, 0, kTag), blocks[100]);

    for (void* block : blocks)
        arena->Free(block);
    arena->Free(next);
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
    EXPECT_EQ(arena->GetFirstPage(1), nullptr);
    EXPECT_TRUE(arena->Check(nullptr));
}

// A chunk of exactly 64 KiB holding a 20 KiB block, a guard and a filler, so that nothing can be
// carved any more and requests must reuse the freed 20 KiB block.
struct SplitCase
{
    size_t fRequest;
    uint64_t fUsedSize;
    uint64_t fRemainder;
};

class VMemCppImplSplit : public testing::TestWithParam<SplitCase>
{
};

TEST_P(VMemCppImplSplit, FreeBlockIsSplitOnlyWhenEightKiBOrMoreRemain)
{
    const SplitCase& c = GetParam();
    auto arena = MakeArena(65536);
    void* twenty = arena->Malloc(20480 - 24, 0, 0, kTag);
    void* guard = arena->Malloc(20480 - 24, 0, 0, kTag);
    void* filler = arena->Malloc(23552 - 24, 0, 0, kTag);
    ASSERT_NE(filler, nullptr);
    arena->Free(twenty);
    EXPECT_EQ(arena->GetFirstFreeBlock(20), VBigBlockHeader::FromData(twenty));

    void* block = arena->Malloc(c.fRequest, 0, 0, kTag);
    EXPECT_EQ(block, twenty);
    EXPECT_EQ(BigBlockSizeOf(block), c.fUsedSize);
    EXPECT_EQ(arena->GetFirstFreeBlock(20), nullptr);
    if (c.fRemainder != 0)
    {
        VBigBlockHeader* tail = arena->GetFirstFreeBlock(int32_t(c.fRemainder / 1024));
        ASSERT_NE(tail, nullptr);
        EXPECT_EQ(tail->GetSize(), c.fRemainder);
        EXPECT_EQ(reinterpret_cast<char*>(tail),
                  reinterpret_cast<char*>(VBigBlockHeader::FromData(block)) + c.fUsedSize);
        EXPECT_EQ(tail->GetFollowing(), VBigBlockHeader::FromData(guard));
        EXPECT_EQ(VBigBlockHeader::FromData(guard)->fPrecedingSize, int32_t(c.fRemainder));
    }
    EXPECT_TRUE(arena->Check(nullptr));
    for (void* used : {block, guard, filler})
        arena->Free(used);
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, VMemCppImplSplit,
                         testing::Values(SplitCase{10240, 11264, 9216}, SplitCase{16384, 20480, 0}));

TEST(VMemCppImpl, FreeingTheLastBlockCutsTheCarvedAreaBackOverTheFreeRun)
{
    auto arena = MakeArena(1 << 20);
    void* a = arena->Malloc(10000, 0, 0, kTag);
    void* b = arena->Malloc(10000, 0, 0, kTag);
    void* c = arena->Malloc(10000, 0, 0, kTag);
    void* d = arena->Malloc(10000, 0, 0, kTag);
    arena->Free(b);
    arena->Free(c); // merges with b
    EXPECT_NE(arena->GetFirstFreeBlock(int32_t(2 * BigBlockSizeOf(a) / 1024)), nullptr);
    arena->Free(a); // merges with b and c: one free run before d
    arena->Free(d); // the last block: the whole run goes back
    VMemStats stats;
    arena->GetStats(stats, 0);
    EXPECT_EQ(stats.fBigBlockCount, 0);
    for (int32_t sizeClass = 0; sizeClass < VMemCppImpl::kBigClassCount; ++sizeClass)
        EXPECT_EQ(arena->GetFirstFreeBlock(sizeClass), nullptr) << sizeClass;
    // Carving starts again at the beginning of the chunk.
    EXPECT_EQ(arena->Malloc(10000, 0, 0, kTag), a);
}

TEST(VMemCppImpl, HugeBlocksAreReusedByBestFit)
{
    auto arena = MakeArena(8 << 20);
    void* large = arena->Malloc(1500000, 0, 0, kTag);
    void* guard = arena->Malloc(100000, 0, 0, kTag);
    void* medium = arena->Malloc(1200000, 0, 0, kTag);
    void* lastGuard = arena->Malloc(100000, 0, 0, kTag);
    ASSERT_NE(guard, nullptr);
    ASSERT_NE(lastGuard, nullptr);
    arena->Free(large);
    arena->Free(medium);
    EXPECT_EQ(arena->Malloc(1100000, 0, 0, kTag), medium);
    EXPECT_EQ(arena->Malloc(1500000, 0, 0, kTag), large);
    EXPECT_TRUE(arena->Check(nullptr));
}

TEST(VMemCppImpl, WithoutRoomOnlyAutoAllocationAddsAndGivesBackChunks)
{
    auto arena = MakeArena(0);
    EXPECT_EQ(arena->Malloc(100, 0, 0, kTag), nullptr);
    EXPECT_EQ(arena->Malloc(100000, 0, 0, kTag), nullptr);

    arena->SetAutoAllocationState(true);
    void* block = arena->Malloc(100, 0, 0, kTag);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(arena->CountAllocations(), 1);
    EXPECT_EQ(arena->GetTotalAllocation(), VMemCppImpl::kAutoChunkSize);
    void* huge = arena->Malloc(30000000, 0, 0, kTag);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(arena->CountAllocations(), 2);
    arena->Free(huge);
    EXPECT_EQ(arena->CountAllocations(), 1);
    arena->Free(block);
    EXPECT_EQ(arena->CountAllocations(), 0);
    EXPECT_EQ(arena->GetTotalAllocation(), 0u);
}

TEST(VMemCppImpl, ChunksBelowSixtyFourKiBAreRefused)
{
    auto arena = MakeArena(0);
    EXPECT_FALSE(arena->AddAllocation(65535, nullptr, 0));
    EXPECT_TRUE(arena->AddAllocation(65536, nullptr, 0));
    EXPECT_EQ(arena->CountAllocations(), 1);
}

TEST(VMemCppImpl, DestroyedArenaGivesItsChunksBack)
{
    constexpr size_t kSize = 1 << 20;
    void* place = nullptr;
    {
        auto arena = MakeArena(0);
        // Free address space, given back so that the arena takes it at once.
        place = VSystem::VirtualAlloc(kSize, nullptr);
        ASSERT_NE(place, nullptr);
        VSystem::VirtualFree(place, kSize, false);
        ASSERT_TRUE(arena->AddAllocation(kSize, place, 0));
        EXPECT_NE(arena->Malloc(100, 0, 0, kTag), nullptr);
        // Taken while the arena lives.
        EXPECT_EQ(VSystem::VirtualAlloc(kSize, place), nullptr);
    }
    void* again = VSystem::VirtualAlloc(kSize, place);
    EXPECT_EQ(again, place);
    VSystem::VirtualFree(again, kSize, false);
}

TEST(VMemCppImpl, AnyArenaFreesAnyArenasBlock)
{
    auto first = MakeArena(1 << 20, 0);
    auto second = MakeArena(1 << 20, 1);
    void* small = second->Malloc(10, 0, 0, kTag);
    void* big = second->Malloc(50000, 0, 0, kTag);
    EXPECT_EQ(first->GetAllocationBlockNumber(small), 1);
    EXPECT_EQ(first->GetAllocationBlockNumber(big), 1);
    first->Free(small);
    first->Free(big);
    EXPECT_EQ(second->GetBytesInUse(), 0u);
    EXPECT_EQ(first->GetBytesInUse(), 0u);
}

TEST(VMemCppImpl, ReallocKeepsTagAndContentsAndTheOldBlockOnFailure)
{
    auto arena = MakeArena(65536);
    char* block = static_cast<char*>(arena->Malloc(20, 0, 0, kTag));
    std::memcpy(block, "0123456789abcdefghi", 20);
    char* grown = static_cast<char*>(arena->Realloc(block, 30000));
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "0123456789abcdefghi");
    EXPECT_EQ(VBigBlockHeader::FromData(grown)->fTag, kTag);

    EXPECT_EQ(arena->Realloc(grown, 60000), nullptr);
    EXPECT_STREQ(grown, "0123456789abcdefghi");
    EXPECT_TRUE(arena->CheckPtr(grown));
    arena->Free(grown);
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
}

TEST(VMemCppImpl, CheckPtrTellsUsedBlocksFromFreedOnes)
{
    auto arena = MakeArena(1 << 20);
    void* small = arena->Malloc(10, 0, 0, kTag);
    void* otherSmall = arena->Malloc(10, 0, 0, kTag);
    void* big = arena->Malloc(50000, 0, 0, kTag);
    void* lastBig = arena->Malloc(50000, 0, 0, kTag);
    EXPECT_TRUE(arena->CheckPtr(small));
    EXPECT_TRUE(arena->CheckPtr(big));
    arena->Free(small);
    arena->Free(big);
    EXPECT_FALSE(arena->CheckPtr(small));
    EXPECT_FALSE(arena->CheckPtr(big));
    EXPECT_TRUE(arena->CheckPtr(otherSmall));
    EXPECT_FALSE(arena->CheckPtr(nullptr));
    arena->Free(otherSmall);
    arena->Free(lastBig);
}

TEST(VMemCppImpl, CheckFindsDamagedPages)
{
    auto arena = MakeArena(1 << 20);
    void* first = arena->Malloc(10, 0, 0, kTag);
    void* second = arena->Malloc(10, 0, 0, kTag);
    void* third = arena->Malloc(10, 0, 0, kTag);
    arena->Free(second);
    EXPECT_TRUE(arena->Check(nullptr));

    // A free block whose link points back to itself: the list loops.
    VSmallBlockHeader* freed = VSmallBlockHeader::FromData(second);
    std::memcpy(second, &freed, sizeof(freed));
    EXPECT_FALSE(arena->Check(nullptr));
    std::memset(second, 0, sizeof(void*));
    EXPECT_TRUE(arena->Check(nullptr));

    // A used block whose header lost its offset.
    VSmallBlockHeader* header = VSmallBlockHeader::FromData(third);
    int32_t saved = header->fOffsetWord;
    header->fOffsetWord = -8;
    EXPECT_FALSE(arena->Check(nullptr));
    header->fOffsetWord = saved;
    EXPECT_TRUE(arena->Check(nullptr));
    arena->Free(first);
    arena->Free(third);
}

class Counted
{
public:
    virtual ~Counted() = default;
    int fValue = 7;
};

TEST(VMemCppImpl, StatsCountBlocksByKindTagAndClass)
{
    auto arena = MakeArena(1 << 20, 2);
    constexpr uint32_t kOtherTag = FourCharCode("memb");
    void* smallA = arena->Malloc(8, 0, 0, kTag);
    void* smallB = arena->Malloc(8, 0, 0, kOtherTag);
    void* object = arena->Malloc(sizeof(Counted), 0, 1, 0);
    new (object) Counted;
    void* bigObject = arena->Malloc(20000, 0, 1, 0);
    new (bigObject) Counted;
    void* big = arena->Malloc(50000, 0, 0, kOtherTag);
    void* freed = arena->Malloc(50000, 0, 0, kTag);
    void* last = arena->Malloc(30000, 0, 0, kTag);
    arena->Free(freed);

    VMemStats stats;
    arena->GetStats(stats, 2);
    // Pages of 16- and 32-byte blocks, the big object, two more used big blocks and a free one.
    EXPECT_EQ(stats.fBigBlockCount, 6);
    EXPECT_EQ(stats.fUsedBigBlockCount, 5);
    EXPECT_EQ(stats.fFreeBigBlockCount, 1);
    EXPECT_EQ(stats.fPagesOfSmallBlocks, 2);
    EXPECT_EQ(stats.fSmallBlockCount, 507 + 253);
    EXPECT_EQ(stats.fUsedSmallBlockCount, 3);
    EXPECT_EQ(stats.fFreeSmallBlockCount, 505 + 252);
    EXPECT_EQ(stats.fObjectCount, 2);
    EXPECT_EQ(stats.fBiggestFreeBlock, BigBlockSizeOf(freed));
    EXPECT_EQ(stats.fBiggestBlock, BigBlockSizeOf(freed));
    uint64_t freeInPages = 505u * 16 + 252u * 32;
    EXPECT_EQ(stats.fFreeMemory, BigBlockSizeOf(freed) + freeInPages);
    uint64_t usedBig = 2 * 8192 + BigBlockSizeOf(bigObject) + BigBlockSizeOf(big) + BigBlockSizeOf(last);
    EXPECT_EQ(stats.fUsedMemory, usedBig - freeInPages);

    EXPECT_EQ(stats.fSmallBlocks[16].fUsed, 2);
    EXPECT_EQ(stats.fSmallBlocks[16].fFree, 505);
    EXPECT_EQ(stats.fSmallBlocks[32].fUsed, 1);
    EXPECT_EQ(stats.fAllocationPages[8168].fPartial, 2);
    EXPECT_EQ(stats.fAllocationPages[8168].fFull, 0);
    EXPECT_EQ(stats.fOtherBigBlocks[BigBlockSizeOf(freed)].fFree, 1);
    EXPECT_EQ(stats.fOtherBigBlocks[BigBlockSizeOf(big)].fUsed, 1);
    EXPECT_EQ(stats.fBlocksByTag[kTag].fCount, 2);
    EXPECT_EQ(stats.fBlocksByTag[kTag].fBytes, 16u + BigBlockSizeOf(last));
    EXPECT_EQ(stats.fBlocksByTag[kOtherTag].fCount, 2);
    EXPECT_EQ(stats.fBlocksByTag[kOtherTag].fBytes, 16u + BigBlockSizeOf(big));
    const VMemStatsCount& objects = stats.fObjectsByClass[std::type_index(typeid(Counted))];
    EXPECT_EQ(objects.fCount, 2);
    EXPECT_EQ(objects.fBytes, 32u + BigBlockSizeOf(bigObject));

    ASSERT_FALSE(stats.fRecords.empty());
    EXPECT_EQ(stats.fRecords[0].fKind, VMemStatsRecord::kChunk);
    EXPECT_EQ(stats.fRecords[0].fArena, 2);
    EXPECT_EQ(stats.fRecords.size(), 1u + 3u);

    for (void* block : {smallA, smallB, object, bigObject, big, last})
        arena->Free(block);
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
}

// Random allocations, reallocations and frees with their contents checked, the arena checked as
// it goes: every path of splitting, merging, pages and cutting back meets every other.
TEST(VMemCppImpl, RandomWorkloadKeepsContentsAndStructure)
{
    auto arena = MakeArena(0);
    arena->SetAutoAllocationState(true);
    std::mt19937 random(12345);
    struct Live
    {
        unsigned char* fData;
        size_t fSize;
        unsigned char fFill;
    };
    std::vector<Live> live;
    auto check = [](const Live& block)
    {
        for (size_t i = 0; i < block.fSize; ++i)
        {
            if (block.fData[i] != block.fFill)
                return false;
        }
        return true;
    };
    auto randomSize = [&random]() -> size_t
    {
        uint32_t kind = random() % 8;
        if (kind < 3)
            return random() % 64;
        if (kind < 6)
            return random() % 8192;
        if (kind < 7)
            return 8192 + random() % 100000;
        return random() % 1500000;
    };
    for (int step = 0; step < 4000; ++step)
    {
        uint32_t action = random() % 10;
        if (action < 5 || live.empty())
        {
            size_t size = randomSize();
            auto* data = static_cast<unsigned char*>(arena->Malloc(size, 0, 0, kTag));
            ASSERT_NE(data, nullptr);
            ASSERT_GE(arena->GetPtrSize(data), size);
            unsigned char fill = static_cast<unsigned char>(random());
            std::memset(data, fill, size);
            live.push_back({data, size, fill});
        }
        else
        {
            size_t index = random() % live.size();
            ASSERT_TRUE(check(live[index])) << step;
            if (action < 7)
            {
                size_t size = randomSize();
                auto* data = static_cast<unsigned char*>(arena->Realloc(live[index].fData, size));
                ASSERT_NE(data, nullptr);
                size_t kept = std::min(size, live[index].fSize);
                live[index] = {data, kept, live[index].fFill};
            }
            else
            {
                arena->Free(live[index].fData);
                live[index] = live.back();
                live.pop_back();
            }
        }
        if (step % 500 == 0)
        {
            ASSERT_TRUE(arena->Check(nullptr)) << step;
        }
    }
    for (const Live& block : live)
    {
        ASSERT_TRUE(check(block));
        arena->Free(block.fData);
    }
    EXPECT_EQ(arena->GetBytesInUse(), 0u);
    EXPECT_EQ(arena->CountAllocations(), 0);
}

} // namespace
} // namespace kova
