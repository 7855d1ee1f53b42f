#include "kernel/values/VHashKeyMap.h"

#include "kernel/files/VMemoryStream.h"
#include "kernel/values/KovaTypes.h"

#include <gtest/gtest.h>

#include <vector>

namespace kova
{
namespace
{

struct LadderCase
{
    size_t fCount;
    size_t fSize;
};

// Stored vectors were sized by this ladder, odd bounds included.
TEST(VHashKeyMapTest, VectorSizeLadder)
{
    const LadderCase cases[] = {
        {0, 5},
        {4, 5},
        {5, 11},
        {8, 11},
        {9, 23},
        {17, 23},
        {18, 41},
        {5778, 9349},
        {5779, 15121},
        {15127, 24473},
        {15128, 39607},
        {39603, 64081},
        {39604, 103681},
        {64079, 103681},
        {64080, 167759},
        {1149851, 1860503},
        {1149852, 3010349},
        {2537720636u, 4106118251u},
        {2537720637u, 0},
    };
    for (const LadderCase& c : cases)
        EXPECT_EQ(_VHashKeyMap::_ComputeHashVectorSize(c.fCount), c.fSize) << c.fCount;
}

TEST(VHashKeyMapTest, PutTakesTheNextEmptyCellWrappingRoundUntilFull)
{
    _VHashKeyMap map;
    ASSERT_TRUE(map.Rebuild(3)); // 5 cells
    ASSERT_EQ(map.GetSize(), 5u);
    EXPECT_TRUE(map.Put(4, 0));
    EXPECT_TRUE(map.Put(9, 1)); // home 4 taken: wraps to 0
    EXPECT_TRUE(map.Put(0, 2)); // home 0 taken: 1
    EXPECT_EQ(map.GetCell(4), 0u);
    EXPECT_EQ(map.GetCell(0), 1u);
    EXPECT_EQ(map.GetCell(1), 2u);
    EXPECT_EQ(map.GetCell(2), _VHashKeyMap::kEmptyCell);
    EXPECT_TRUE(map.Put(2, 3));
    EXPECT_TRUE(map.Put(2, 4));
    EXPECT_FALSE(map.Put(2, 5));
    EXPECT_FALSE(_VHashKeyMap().Put(1, 0));
}

// A vector read from a stream has cells taken here and there: later names still go to the first
// empty cell from their home on, as cell after cell would find it.
TEST(VHashKeyMapTest, PutIntoAReadVectorFollowsTheCellByCellRule)
{
    const std::vector<uint32_t> stored = {
        _VHashKeyMap::kEmptyCell, 0, _VHashKeyMap::kEmptyCell, 1, 2, _VHashKeyMap::kEmptyCell,
        _VHashKeyMap::kEmptyCell};
    VPtrStream stream;
    stream.OpenWriting();
    stream.Put(uint32_t(stored.size()));
    for (uint32_t cell : stored)
        stream.Put(cell);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    VConstPtrStream input(data.fData, data.fSize);
    input.OpenReading();
    _VHashKeyMap map;
    ASSERT_EQ(map.Rebuild(&input, 3), VE_OK);
    input.CloseReading();
    stream.CloseWriting();

    std::vector<uint32_t> expected = stored;
    uint32_t slot = 3;
    for (uint32_t hash : {1u, 1u, 8u, 3u})
    {
        size_t cell = hash % expected.size();
        while (expected[cell] != _VHashKeyMap::kEmptyCell)
            cell = (cell + 1) % expected.size();
        expected[cell] = slot;
        ASSERT_TRUE(map.Put(hash, slot++)) << hash;
    }
    EXPECT_FALSE(map.Put(0, slot));
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(map.GetCell(i), expected[i]) << i;
}

} // namespace
} // namespace kova
