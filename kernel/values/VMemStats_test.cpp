#include "kernel/values/VMemStats.h"

#include "kernel/values/KovaTypes.h"
#include "kernel/values/VLeaksChecker.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

TEST(VMemStats, ClearZeroesTheCountersAndKeepsTheMaps)
{
    VMemStats stats;
    stats.fFreeMemory = 1;
    stats.fUsedMemory = 2;
    stats.fPagesOfSmallBlocks = 3;
    stats.fObjectCount = 4;
    stats.fSmallBlockCount = 5;
    stats.fFreeSmallBlockCount = 6;
    stats.fUsedSmallBlockCount = 7;
    stats.fBigBlockCount = 8;
    stats.fFreeBigBlockCount = 9;
    stats.fUsedBigBlockCount = 10;
    stats.fBiggestBlock = 11;
    stats.fBiggestFreeBlock = 12;
    stats.fBlocksByTag[FourCharCode("memb")] = {2, 64};
    stats.fSmallBlocks[16] = {1, 2};
    stats.fRecords.push_back({0x1000, VMemStatsRecord::kChunk, 0});
    stats.Clear();

    EXPECT_EQ(stats.fFreeMemory, 0u);
    EXPECT_EQ(stats.fUsedMemory, 0u);
    EXPECT_EQ(stats.fPagesOfSmallBlocks, 0);
    EXPECT_EQ(stats.fObjectCount, 0);
    EXPECT_EQ(stats.fSmallBlockCount, 0);
    EXPECT_EQ(stats.fFreeSmallBlockCount, 0);
    EXPECT_EQ(stats.fUsedSmallBlockCount, 0);
    EXPECT_EQ(stats.fBigBlockCount, 0);
    EXPECT_EQ(stats.fFreeBigBlockCount, 0);
    EXPECT_EQ(stats.fUsedBigBlockCount, 0);
    EXPECT_EQ(stats.fBiggestBlock, 0u);
    EXPECT_EQ(stats.fBiggestFreeBlock, 0u);
    EXPECT_EQ(stats.fBlocksByTag[FourCharCode("memb")].fBytes, 64u);
    EXPECT_EQ(stats.fSmallBlocks[16].fFree, 2);
    EXPECT_EQ(stats.fRecords.size(), 1u);
}

TEST(VLeaksChecker, StartsOffAndReportsThePreviousSetting)
{
    VLeaksChecker checker;
    EXPECT_FALSE(checker.IsCheckingLeaks());
    EXPECT_EQ(checker.GetStackFramesToSkip(), 4);
    EXPECT_EQ(checker.GetLiveBlockCount(), 0);
    EXPECT_FALSE(checker.SetLeaksCheck(true));
    EXPECT_TRUE(checker.SetLeaksCheck(false));
    EXPECT_FALSE(checker.IsCheckingLeaks());
    checker.SetStackFramesToSkip(2);
    EXPECT_EQ(checker.GetStackFramesToSkip(), 2);
}

} // namespace
} // namespace kova
