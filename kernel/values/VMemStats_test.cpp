#include "kernel/values/VMemStats.h"

#include "kernel/files/VMemoryStream.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VLeaksChecker.h"
#include "platform/mac/errors/XMacStackCrawl.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

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

// The text a dump writes into a memory stream.
template <class DUMP>
std::string DumpText(DUMP inDump)
{
    VPtrStream stream;
    stream.OpenWriting();
    EXPECT_EQ(inDump(&stream), VE_OK);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    std::string text(static_cast<const char*>(data.fData), data.fSize);
    stream.CloseWriting();
    return text;
}

TEST(VMemStats, SummaryOfAnEmptyRecord)
{
    VMemStats stats;
    EXPECT_EQ(DumpText([&](VStream* ioStream) { return stats.DumpToStream(ioStream); }),
              "Used Mem = 0\nFree Mem = 0\nBiggest Free Block = 0\n\n\nNb Objects = 0\n\n\n"
              "\n\nBlocks by Tags\n\n");
}

TEST(VMemStats, SummaryListsClassesAndTagsInMapOrder)
{
    VMemStats stats;
    stats.fUsedMemory = 1048576;
    stats.fFreeMemory = 5;
    stats.fBiggestFreeBlock = 4096;
    stats.fBiggestBlock = 77; // only in the long form
    stats.fObjectCount = 3;
    stats.fObjectsByClass[std::type_index(typeid(int))] = {3, 48};
    stats.fBlocksByTag[FourCharCode("str ")] = {1, 100};
    stats.fBlocksByTag[FourCharCode("memb")] = {2, 64};
    std::string expected =
        "Used Mem = 1048576\nFree Mem = 5\nBiggest Free Block = 4096\n\n\nNb Objects = 3\n\n\n";
    expected += std::string(typeid(int).name()) + " : 3   ,  mem = 48\n";
    expected += "\n\nBlocks by Tags\n\nmemb : 2   ,  mem = 64\nstr  : 1   ,  mem = 100\n";
    EXPECT_EQ(DumpText([&](VStream* ioStream) { return stats.DumpToStream(ioStream); }), expected);
}

TEST(VMemStats, LongFormAddsTheBlockCountsAndEveryMap)
{
    VMemStats stats;
    stats.fBigBlockCount = 9;
    stats.fUsedSmallBlockCount = 4;
    stats.fBiggestBlock = 77;
    stats.fSmallBlocks[16] = {3, 1};
    stats.fOtherBigBlocks[65536] = {1, 2};
    stats.fAllocationPages[8192] = {5, 6};
    stats.fAllocationPages[16384] = {0, 1};
    std::string text = DumpText([&](VStream* ioStream) { return stats.Dump(ioStream); });
    for (const char* line :
         {"Biggest Block = 77\n", "Nb Big Blocks = 9\n", "Nb Used Small Blocks = 4\n",
          "Nb Pages containing small blocks = 0\n", "\n\nSmall Blocks\n\n16 : NbUsed = 3 , NbFree = 1\n",
          "\n\nOther Big Blocks\n\n65536 : NbUsed = 1 , NbFree = 2\n",
          "\n\nAllocation Pages\n\n8192 : NbFull = 5 , NbPartial = 6\n16384 : NbFull = 0 , NbPartial = 1\n",
          "Blocks by Tags"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(VMemStats, AFailedStreamGivesItsError)
{
    VMemStats stats;
    VPtrStream stream; // not opened: nothing can be written
    EXPECT_NE(stats.DumpToStream(&stream), VE_OK);
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

TEST(VLeaksChecker, CountsRegisteredBlocksOnlyWhileChecking)
{
    VLeaksChecker checker;
    XMacStackCrawl crawl;
    checker.RegisterBlock(crawl);
    EXPECT_EQ(crawl.GetCount(), 0u);
    EXPECT_EQ(checker.GetLiveBlockCount(), 0);

    checker.SetLeaksCheck(true);
    checker.SetStackFramesToSkip(0);
    checker.RegisterBlock(crawl);
    EXPECT_GE(crawl.GetCount(), 1u);
    EXPECT_LE(crawl.GetCount(), VLeaksChecker::kMaxRecordedFrames);
    EXPECT_EQ(checker.GetLiveBlockCount(), 1);

    // Unregistering counts down whether checking is on or not, and only for a recorded crawl.
    checker.SetLeaksCheck(false);
    checker.UnregisterBlock(crawl);
    EXPECT_EQ(checker.GetLiveBlockCount(), 0);
    XMacStackCrawl empty;
    checker.UnregisterBlock(empty);
    EXPECT_EQ(checker.GetLiveBlockCount(), 0);

    // A skip beyond the stack records nothing and counts nothing.
    checker.SetLeaksCheck(true);
    checker.SetStackFramesToSkip(1000);
    XMacStackCrawl deep;
    checker.RegisterBlock(deep);
    EXPECT_EQ(deep.GetCount(), 0u);
    EXPECT_EQ(checker.GetLiveBlockCount(), 0);
}

} // namespace
} // namespace kova
