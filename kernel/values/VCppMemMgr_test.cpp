#include "kernel/values/VCppMemMgr.h"

#include "kernel/tasks/VSyncEvent.h"
#include "kernel/values/Sanitizers.h"
#include "kernel/values/VCppMemMgrTesting_test.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VMemCppImpl.h"
#include "kernel/values/VMemStats.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#if defined(KOVA_ADDRESS_SANITIZER)
// Allocation failures are part of what these tests check: the sanitizer must report them as null
// results, as the C library does, instead of stopping the process.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

namespace kova
{

// Reaches the manager's purge and hog state, which no public operation shows.
class VCppMemMgrTestPeer
{
public:
    static int32_t CountPurgeWaiters(VCppMemMgr& manager)
    {
        VSyncEvent* event = manager.fPurgeEvent;
        return event == nullptr ? 0 : event->CountWaiters();
    }
    static size_t CountHogs(VCppMemMgr& manager)
    {
        StLocker locker(manager.fHogsLock);
        return manager.fHogs.size();
    }
};

namespace
{

using testing_support::kTenMiB;
using testing_support::MakePooled;
using testing_support::ManagerPtr;
using testing_support::StUseMemMgr;

constexpr uint32_t kTag = FourCharCode("test");
constexpr size_t kShare = kTenMiB / 4;
// More than half an arena's share: two never fit one arena.
constexpr size_t kHalfShare = 1400000;

// ---- the C library back end

TEST(VCppMemMgrStdLib, BlocksComeFromTheCLibrary)
{
    VCppMemMgr& manager = *VObject::sCppMemMgr;
    ASSERT_TRUE(manager.IsUsingStdLib());
    void* block = manager.Malloc(100, false, kTag);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(manager.GetPtrSize(block), malloc_usable_size(block));
    EXPECT_EQ(manager.GetAllocationBlockNumber(block), 0);
    manager.Free(block);
    manager.Free(nullptr);
    EXPECT_EQ(manager.GetPtrSize(nullptr), 0u);
}

TEST(VCppMemMgrStdLib, ReportsTheFixedFigures)
{
    VCppMemMgr& manager = *VObject::sCppMemMgr;
    EXPECT_EQ(manager.GetAllocatedMem(), 1048576u);
    EXPECT_EQ(manager.GetFreeMemory(), 0u);
    EXPECT_EQ(manager.GetUsedMem(), 0u);
    size_t total = 1;
    size_t used = 1;
    manager.GetMemUsageInfo(total, used);
    EXPECT_EQ(total, 1048576u);
    EXPECT_EQ(used, 0u);
    size_t figures[9];
    std::fill(std::begin(figures), std::end(figures), 7);
    manager.GetMemStatistics(figures[0], figures[1], figures[2], figures[3], figures[4], figures[5],
                             figures[6], figures[7], figures[8]);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(figures[i], i == 2 ? 1048576u : 0u) << i;
    EXPECT_EQ(manager.CountVirtualAllocations(), 1);
    EXPECT_FALSE(manager.AddVirtualAllocation(kTenMiB, nullptr, false));

    VMemStats stats;
    stats.fUsedMemory = 5;
    manager.GetStatistics(stats, -1);
    EXPECT_EQ(stats.fUsedMemory, 0u);
    EXPECT_TRUE(stats.fRecords.empty());
}

// ---- both back ends

class VCppMemMgrBothBackEnds : public testing::TestWithParam<VCppMemMgr::EAllocatorKind>
{
protected:
    void SetUp() override
    {
        fManager.reset(new VCppMemMgr(GetParam()));
        if (GetParam() == VCppMemMgr::eAllocatorPooled)
        {
            ASSERT_TRUE(fManager->AddVirtualAllocation(kTenMiB, nullptr, false));
        }
    }
    ManagerPtr fManager;
};

TEST_P(VCppMemMgrBothBackEnds, CallocZeroesAndRefusesOverflow)
{
    auto* one = static_cast<unsigned char*>(fManager->Calloc(1, 1, 0));
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one[0], 0);
    fManager->Free(one);

    auto* block = static_cast<unsigned char*>(fManager->Calloc(100, 30, kTag));
    ASSERT_NE(block, nullptr);
    for (size_t i = 0; i < 3000; ++i)
        ASSERT_EQ(block[i], 0) << i;
    fManager->Free(block);

    EXPECT_EQ(fManager->Calloc(SIZE_MAX / 2 + 2, 2, kTag), nullptr);
    EXPECT_EQ(fManager->Calloc(size_t(1) << 33, size_t(1) << 33, kTag), nullptr);
}

TEST_P(VCppMemMgrBothBackEnds, ReallocAllocatesFreesAndKeepsContents)
{
    char* block = static_cast<char*>(fManager->Realloc(nullptr, 16));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "fifteen letters", 16);
    block = static_cast<char*>(fManager->Realloc(block, 100000));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "fifteen letters");
    block = static_cast<char*>(fManager->Realloc(block, 8));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, "fifteen ", 8), 0);
    EXPECT_EQ(fManager->Realloc(block, 0), nullptr);
}

TEST_P(VCppMemMgrBothBackEnds, FailedReallocKeepsTheOldBlock)
{
    char* block = static_cast<char*>(fManager->Malloc(32, false, kTag));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "still here", 11);
    EXPECT_EQ(fManager->Realloc(block, SIZE_MAX / 4), nullptr);
    EXPECT_STREQ(block, "still here");
    fManager->Free(block);
}

TEST_P(VCppMemMgrBothBackEnds, VMemoryGoesThroughTheManager)
{
    StUseMemMgr use(fManager.get());
    auto* block = static_cast<unsigned char*>(VMemory::NewPtrClear(5000, kTag));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[4999], 0);
    EXPECT_GE(VMemory::GetPtrSize(block), 5000u);
    block[4999] = 9;
    block = static_cast<unsigned char*>(VMemory::SetPtrSize(block, 20000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[4999], 9);
    VMemory::DisposePtr(block);
    VMemory::DisposePtr(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kinds, VCppMemMgrBothBackEnds,
                         testing::Values(VCppMemMgr::eAllocatorStdLib, VCppMemMgr::eAllocatorPooled));

// ---- the manager object

TEST(VCppMemMgr, ObjectIsSixteenByteAligned)
{
    for (int i = 0; i < 3; ++i)
    {
        ManagerPtr manager(new VCppMemMgr(VCppMemMgr::eAllocatorStdLib));
        ASSERT_NE(manager, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(manager.get()) % 16, 0u);
    }
}

TEST(VCppMemMgr, UnknownKindSetsUpNoBackEnd)
{
    ManagerPtr manager(new VCppMemMgr(VCppMemMgr::EAllocatorKind(7), true, false));
    EXPECT_FALSE(manager->IsUsingStdLib());
    EXPECT_EQ(manager->GetArenaCount(), 0);
    EXPECT_EQ(manager->Malloc(10, false, kTag), nullptr);
    EXPECT_EQ(manager->Calloc(1, 1, kTag), nullptr);
    EXPECT_EQ(manager->Realloc(nullptr, 10), nullptr);
    manager->AddVirtualAllocation(kTenMiB, nullptr, false);
    EXPECT_EQ(manager->CountVirtualAllocations(), 0);
    manager->PurgeMem(0);
    manager->Free(nullptr);
}

// ---- the pooled arenas

TEST(VCppMemMgrPooled, WithoutVirtualMemoryOnlyEmptyRequestsReachTheArenas)
{
    static std::vector<std::tuple<int32_t, uint64_t, bool>> sCalls;
    sCalls.clear();
    ManagerPtr manager = MakePooled();
    EXPECT_EQ(manager->GetArenaCount(), 4);
    manager->SetPurgeHandlerProc(
        [](int32_t arena, uint64_t size, bool first) -> uint64_t
        {
            sCalls.emplace_back(arena, size, first);
            return 0;
        });
    EXPECT_EQ(manager->Malloc(1, false, kTag), nullptr);
    EXPECT_TRUE(sCalls.empty());

    // Size 0 is not larger than the largest chunk: every arena is asked and purged once.
    EXPECT_EQ(manager->Malloc(0, false, kTag), nullptr);
    std::vector<std::tuple<int32_t, uint64_t, bool>> expected{
        {0, 0, true}, {1, 0, false}, {2, 0, false}, {3, 0, false}};
    EXPECT_EQ(sCalls, expected);
    EXPECT_EQ(manager->GetCurrentArenaIndex(), 0);
}

TEST(VCppMemMgrPooled, VirtualAllocationBelowTenMiBGivesNothing)
{
    ManagerPtr manager = MakePooled();
    EXPECT_TRUE(manager->AddVirtualAllocation(kTenMiB - 1, nullptr, false));
    EXPECT_EQ(manager->CountVirtualAllocations(), 0);
    EXPECT_EQ(manager->GetLargestChunk(), 0u);

    EXPECT_TRUE(manager->AddVirtualAllocation(kTenMiB, nullptr, false));
    EXPECT_EQ(manager->CountVirtualAllocations(), 4);
    EXPECT_EQ(manager->GetLargestChunk(), kShare);
    EXPECT_EQ(manager->GetAllocatedMem(), kTenMiB);
    EXPECT_EQ(manager->GetTotalVirtualAllocation(), kTenMiB);
    for (int32_t index = 0; index < 4; ++index)
        EXPECT_EQ(manager->GetArena(index)->GetTotalAllocation(), kShare) << index;
}

TEST(VCppMemMgrPooled, VirtualAllocationSharesAreWholePages)
{
    ManagerPtr manager = MakePooled();
    size_t page = VSystem::GetVMPageSize();
    EXPECT_TRUE(manager->AddVirtualAllocation(kTenMiB + 4 * page + 100, nullptr, false));
    EXPECT_EQ(manager->GetLargestChunk(), kShare + page);
    EXPECT_EQ(manager->GetArena(3)->GetTotalAllocation() % page, 0u);
}

TEST(VCppMemMgrPooled, VirtualAllocationAtAnAddressPlacesArenasOneAfterTheOther)
{
    ManagerPtr manager = MakePooled();
    // Find free address space, then give it back so that the manager can take it at once.
    void* place = VSystem::VirtualAlloc(kTenMiB, nullptr);
    ASSERT_NE(place, nullptr);
    VSystem::VirtualFree(place, kTenMiB, false);
    ASSERT_TRUE(manager->AddVirtualAllocation(kTenMiB, place, false));
    VMemStats stats;
    manager->GetStatistics(stats, -1);
    ASSERT_EQ(stats.fRecords.size(), 4u);
    for (const VMemStatsRecord& record : stats.fRecords)
    {
        uintptr_t expected = reinterpret_cast<uintptr_t>(place) + size_t(record.fArena) * kShare + 64;
        EXPECT_EQ(record.fValue, expected) << record.fArena;
    }

    // The same place again is taken: the reservation fails and says so.
    EXPECT_FALSE(manager->AddVirtualAllocation(kTenMiB, place, false));
    EXPECT_EQ(manager->CountVirtualAllocations(), 4);
}

TEST(VCppMemMgrPooled, AllocatesFromTheHintedArenaAndFreesThroughAnyArena)
{
    ManagerPtr manager = MakePooled(kTenMiB);
    void* block = manager->Malloc(100, false, kTag, 2);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(manager->GetAllocationBlockNumber(block), 2);
    EXPECT_EQ(manager->GetPtrSize(block), 104u);
    void* unhinted = manager->Malloc(100000, false, kTag);
    EXPECT_EQ(manager->GetAllocationBlockNumber(unhinted), 0);
    size_t total = 0;
    size_t used = 0;
    manager->GetMemUsageInfo(total, used);
    EXPECT_EQ(total, kTenMiB);
    EXPECT_EQ(used, 112u + 100352u);

    VMemStats stats;
    manager->GetStatistics(stats, 2);
    EXPECT_EQ(stats.fRecords.size(), 1u);
    EXPECT_EQ(stats.fUsedSmallBlockCount, 1);

    manager->Free(block);
    manager->Free(unhinted);
    manager->Free(nullptr);
    manager->GetMemUsageInfo(total, used);
    EXPECT_EQ(used, 0u);
}

TEST(VCppMemMgrPooled, RequestsLargerThanTheLargestChunkFailWithoutPurging)
{
    static int sCalls;
    sCalls = 0;
    ManagerPtr manager = MakePooled(kTenMiB);
    manager->SetPurgeHandlerProc(
        [](int32_t, uint64_t, bool) -> uint64_t
        {
            ++sCalls;
            return 0;
        });
    EXPECT_EQ(manager->Malloc(kShare + 1, false, kTag), nullptr);
    EXPECT_EQ(sCalls, 0);
}

// ---- purging

using PurgeCall = std::tuple<int32_t, uint64_t, bool>;

// Each arena holds one block of more than half its share, so that one more such request fits
// nowhere; RecordAndFree, the usual handler, notes the call and frees the purged arena's block.
class VCppMemMgrPurge : public testing::Test
{
public:
    // Public: the handlers reach them from lambdas through sFixture.
    void SetUp() override
    {
        sFixture = this;
        sCalls.clear();
        for (int32_t index = 0; index < 4; ++index)
        {
            fBlocks[index] = fManager->Malloc(kHalfShare, false, kTag, index);
            ASSERT_NE(fBlocks[index], nullptr);
            ASSERT_EQ(fManager->GetAllocationBlockNumber(fBlocks[index]), index);
        }
    }
    void TearDown() override { sFixture = nullptr; }

    static uint64_t RecordAndFree(int32_t arena, uint64_t size, bool first)
    {
        sCalls.emplace_back(arena, size, first);
        sFixture->fManager->Free(sFixture->fBlocks[arena]);
        sFixture->fBlocks[arena] = nullptr;
        return 0;
    }

    static inline VCppMemMgrPurge* sFixture = nullptr;
    static inline std::vector<PurgeCall> sCalls;
    ManagerPtr fManager = MakePooled(kTenMiB);
    void* fBlocks[4] = {};
};

TEST_F(VCppMemMgrPurge, PurgeFreesMemoryAndMovesOnToTheNextArena)
{
    fManager->SetPurgeHandlerProc(RecordAndFree);
    void* block = fManager->Malloc(kHalfShare, false, kTag);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(sCalls, (std::vector<PurgeCall>{{0, kHalfShare, true}}));
    EXPECT_EQ(fManager->GetAllocationBlockNumber(block), 0);
    EXPECT_EQ(fManager->GetCurrentArenaIndex(), 1);

    // The next request starts at arena 1 and purges it.
    void* second = fManager->Malloc(kHalfShare, false, kTag);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::get<0>(sCalls.back()), 1);
    EXPECT_EQ(fManager->GetCurrentArenaIndex(), 2);
    fManager->Free(block);
    fManager->Free(second);
}

TEST_F(VCppMemMgrPurge, PurgeMemCallsTheHandlerWithoutMovingTheCurrentArena)
{
    auto record = [](int32_t arena, uint64_t size, bool first) -> uint64_t
    {
        sCalls.emplace_back(arena, size, first);
        return 0;
    };
    EXPECT_EQ(fManager->SetPurgeHandlerProc(record), nullptr);
    fManager->PurgeMem(-1);
    fManager->PurgeMem(2);
    fManager->PurgeMem(9);
    EXPECT_EQ(sCalls, (std::vector<PurgeCall>{{0, 0, true}, {2, 0, true}, {0, 0, true}}));
    EXPECT_EQ(fManager->GetCurrentArenaIndex(), 0);
    EXPECT_EQ(fManager->SetPurgeHandlerProc(nullptr), +record);

    // The C library has nothing to purge.
    VCppMemMgr::PurgeHandlerProc previous = VObject::sCppMemMgr->SetPurgeHandlerProc(record);
    VObject::sCppMemMgr->PurgeMem(0);
    VObject::sCppMemMgr->SetPurgeHandlerProc(previous);
    EXPECT_EQ(sCalls.size(), 3u);
}

// A request that finds another thread's purge running waits for it, and retries when it ends.
TEST_F(VCppMemMgrPurge, RequestWaitsForThePurgeInProgress)
{
    static std::atomic<bool> sPurging;
    sPurging = false;
    fManager->SetPurgeHandlerProc(
        [](int32_t arena, uint64_t size, bool first) -> uint64_t
        {
            if (sCalls.empty())
            {
                // Hold the first purge until the other request waits for it.
                sPurging = true;
                while (VCppMemMgrTestPeer::CountPurgeWaiters(*sFixture->fManager) == 0)
                    std::this_thread::yield();
            }
            return RecordAndFree(arena, size, first);
        });

    void* first = nullptr;
    std::thread purger([&] { first = fManager->Malloc(kHalfShare, false, kTag); });
    while (!sPurging)
        std::this_thread::yield();
    void* second = fManager->Malloc(kHalfShare, false, kTag);
    purger.join();

    // The first request took arena 0's room; the waiter found none left and purged arena 1.
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(fManager->GetAllocationBlockNumber(first), 0);
    EXPECT_EQ(fManager->GetAllocationBlockNumber(second), 1);
    EXPECT_EQ(sCalls, (std::vector<PurgeCall>{{0, kHalfShare, true}, {1, kHalfShare, true}}));
    EXPECT_EQ(fManager->GetCurrentArenaIndex(), 2);
    fManager->Free(first);
    fManager->Free(second);
}

// A handler that allocates, or purges, from inside its own purge is refused instead of waiting
// for itself for ever.
TEST_F(VCppMemMgrPurge, HandlerCannotWaitForItsOwnPurge)
{
    static void* sInner;
    sInner = reinterpret_cast<void*>(1);
    fManager->SetPurgeHandlerProc(
        [](int32_t arena, uint64_t size, bool first) -> uint64_t
        {
            if (sCalls.empty())
            {
                sInner = sFixture->fManager->Malloc(kHalfShare, false, kTag);
                sFixture->fManager->PurgeMem(arena);
            }
            return RecordAndFree(arena, size, first);
        });
    void* block = fManager->Malloc(kHalfShare, false, kTag);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(sInner, nullptr);
    EXPECT_EQ(sCalls.size(), 1u);
    fManager->Free(block);
}

// ---- memory hogs

TEST(VCppMemMgr, MemoryHogsCarryTheTaskAndLeaveTheListOnce)
{
    ManagerPtr manager = MakePooled();
    VMemoryHog* first = manager->RegisterMemHog();
    VMemoryHog* second = manager->RegisterMemHog();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetTaskID(), VTaskMgr::GetCurrentTaskID());
    EXPECT_EQ(VCppMemMgrTestPeer::CountHogs(*manager), 2u);

    VMemoryHog stranger(0);
    manager->UnRegisterMemHog(&stranger);
    EXPECT_EQ(VCppMemMgrTestPeer::CountHogs(*manager), 2u);
    manager->UnRegisterMemHog(first);
    EXPECT_EQ(VCppMemMgrTestPeer::CountHogs(*manager), 1u);
    manager->UnRegisterMemHog(second);
    EXPECT_EQ(VCppMemMgrTestPeer::CountHogs(*manager), 0u);
}

// ---- threads

// No byte in use in any arena, and every arena's structure sound.
void ExpectEverythingFreed(VCppMemMgr& inManager)
{
    size_t total = 0;
    size_t used = 1;
    inManager.GetMemUsageInfo(total, used);
    EXPECT_EQ(used, 0u);
    for (int32_t index = 0; index < inManager.GetArenaCount(); ++index)
        EXPECT_TRUE(inManager.GetArena(index)->Check(nullptr)) << index;
}

TEST(VCppMemMgrPooled, ThreadsAllocateAndFreeConcurrently)
{
    ManagerPtr manager = MakePooled(4 * kTenMiB);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                std::mt19937 random{uint32_t(t)};
                std::vector<std::pair<unsigned char*, size_t>> live;
                for (int step = 0; step < 3000; ++step)
                {
                    if (live.size() < 50 && random() % 2 == 0)
                    {
                        size_t size = 1 + random() % 20000;
                        auto* block = static_cast<unsigned char*>(manager->Malloc(size, false, kTag));
                        if (block == nullptr)
                        {
                            ++failures;
                            continue;
                        }
                        std::memset(block, t + 1, size);
                        live.emplace_back(block, size);
                    }
                    else if (!live.empty())
                    {
                        auto [block, size] = live.back();
                        live.pop_back();
                        for (size_t i = 0; i < size; ++i)
                        {
                            if (block[i] != t + 1)
                            {
                                ++failures;
                                break;
                            }
                        }
                        manager->Free(block);
                    }
                }
                for (auto [block, size] : live)
                    manager->Free(block);
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    ExpectEverythingFreed(*manager);
}

// Blocks made on some threads and freed on others, at the edges of the size classes (the last
// small block, the first big one, the step changes), while every thread also allocates.
TEST(VCppMemMgrPooled, BlocksFreedOnAnotherThreadGoBackToTheirPages)
{
    ManagerPtr manager = MakePooled(4 * kTenMiB);
    const size_t kSizes[] = {1, 8, 9, 1000, 1016, 1017, 4088, 4089, 8191, 8192, 20000};
    std::mutex handOverLock;
    std::vector<std::pair<unsigned char*, size_t>> handedOver;
    std::atomic<int> producersLeft{3};
    std::atomic<int> failures{0};
    auto check = [&](unsigned char* inBlock, size_t inSize)
    {
        for (size_t i = 0; i < inSize; ++i)
        {
            if (inBlock[i] != uint8_t(inSize))
            {
                ++failures;
                break;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int round = 0; round < 400; ++round)
                {
                    size_t size = kSizes[size_t(round + t) % std::size(kSizes)];
                    auto* block = static_cast<unsigned char*>(manager->Malloc(size, false, kTag));
                    if (block == nullptr)
                    {
                        ++failures;
                        continue;
                    }
                    std::memset(block, uint8_t(size), size);
                    std::lock_guard<std::mutex> guard(handOverLock);
                    handedOver.emplace_back(block, size);
                }
                --producersLeft;
            });
    }
    for (int t = 0; t < 3; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (;;)
                {
                    std::pair<unsigned char*, size_t> taken{nullptr, 0};
                    {
                        std::lock_guard<std::mutex> guard(handOverLock);
                        if (!handedOver.empty())
                        {
                            taken = handedOver.back();
                            handedOver.pop_back();
                        }
                    }
                    if (taken.first == nullptr)
                    {
                        if (producersLeft == 0)
                        {
                            std::lock_guard<std::mutex> guard(handOverLock);
                            if (handedOver.empty())
                                return;
                        }
                        // A block of this thread's own, freed at once, between the others.
                        manager->Free(manager->Malloc(24, false, kTag));
                        continue;
                    }
                    check(taken.first, taken.second);
                    manager->Free(taken.first);
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    ExpectEverythingFreed(*manager);
}

} // namespace
} // namespace kova
