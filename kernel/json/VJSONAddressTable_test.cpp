#include "kernel/json/VJSONAddressTable.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

namespace kova
{
namespace
{

TEST(VJSONAddressTable, RemovedAddressesLeaveTheOthersFound)
{
    // Addresses added and removed at random, many sharing runs of the table: after each step every
    // address still in finds its number and every address removed finds none.
    std::vector<char> block(4096);
    std::mt19937 random(11);
    VJSONAddressTable table;
    std::unordered_map<const void*, size_t> expected;
    for (int step = 0; step < 20000; ++step)
    {
        const void* address = &block[random() % 600];
        if (random() % 3 == 0)
        {
            table.Remove(address);
            expected.erase(address);
        }
        else if (table.FindOrAdd(address, size_t(step)).second)
        {
            expected.emplace(address, size_t(step));
        }
        if (step % 97 != 0)
            continue;
        for (size_t i = 0; i < 600; ++i)
        {
            const size_t* found = table.Find(&block[i]);
            auto wanted = expected.find(&block[i]);
            ASSERT_EQ(found != nullptr, wanted != expected.end()) << step << " " << i;
            if (found != nullptr)
            {
                ASSERT_EQ(*found, wanted->second) << step << " " << i;
            }
        }
    }
    table.Remove(&block[4000]); // never added
    EXPECT_EQ(table.Find(&block[4000]), nullptr);
}

} // namespace
} // namespace kova
