#include "kernel/values/VHashKeyMap.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace kova
