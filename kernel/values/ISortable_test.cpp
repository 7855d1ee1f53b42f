#include "kernel/values/ISortable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

namespace kova
{
namespace
{

// A sortable over a vector of ints that counts what the sort asks of it.
class VectorSortable : public ISortable
{
public:
    explicit VectorSortable(std::vector<int> inValues) : fValues(std::move(inValues)) {}

    uint8_t* LockAndGetData() const override
    {
        ++fLocks;
        return reinterpret_cast<uint8_t*>(const_cast<int*>(fValues.data()));
    }
    void UnlockData() const override { ++fUnlocks; }
    void SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override
    {
        int* values = reinterpret_cast<int*>(inData);
        std::swap(values[inFirst], values[inSecond]);
    }
    int32_t CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) override
    {
        const int* values = reinterpret_cast<const int*>(inData);
        return values[inFirst] < values[inSecond] ? -1 : (values[inFirst] > values[inSecond] ? 1 : 0);
    }

    std::vector<int> fValues;
    mutable int fLocks = 0;
    mutable int fUnlocks = 0;
};

// Inputs that reach both sorts and the quicksort's awkward shapes.
std::vector<std::vector<int>> Shapes()
{
    std::vector<std::vector<int>> shapes = {{}, {5}, {2, 1}, {3, 1, 2}};
    std::mt19937 random(42);
    for (int size : {9, 10, 11, 64, 1000})
    {
        std::vector<int> shuffled(size_t(size), 0);
        for (int& value : shuffled)
            value = int(random() % 50) - 25;
        shapes.push_back(shuffled);
        std::vector<int> ascending(size_t(size), 0);
        for (int i = 0; i < size; ++i)
            ascending[size_t(i)] = i;
        shapes.push_back(ascending);
        shapes.push_back(std::vector<int>(ascending.rbegin(), ascending.rend()));
        shapes.push_back(std::vector<int>(size_t(size), 7));
    }
    return shapes;
}

template <class T>
void ExpectQSortMatchesStdSort()
{
    for (const std::vector<int>& shape : Shapes())
    {
        for (bool descending : {false, true})
        {
            std::vector<T> values(shape.begin(), shape.end());
            std::vector<T> expected = values;
            if (descending)
                std::sort(expected.begin(), expected.end(), std::greater<T>());
            else
                std::sort(expected.begin(), expected.end());
            QSort(values.data(), int32_t(values.size()), descending);
            EXPECT_EQ(values, expected) << "size " << shape.size() << (descending ? " descending" : "");
        }
    }
}

TEST(QSort, SortsEveryShapeOfEveryElementTypeBothWays)
{
    ExpectQSortMatchesStdSort<int8_t>();
    ExpectQSortMatchesStdSort<int16_t>();
    ExpectQSortMatchesStdSort<int32_t>();
    ExpectQSortMatchesStdSort<int64_t>();
    ExpectQSortMatchesStdSort<double>();
}

TEST(QSort, ExtremesAndNotANumberNeitherCrashNorLoseElements)
{
    std::vector<int64_t> extremes = {
        0, std::numeric_limits<int64_t>::max(), -1, std::numeric_limits<int64_t>::min(), 1, 2, 3, 4, 5, 6, 7};
    QSort(extremes.data(), int32_t(extremes.size()), false);
    EXPECT_TRUE(std::is_sorted(extremes.begin(), extremes.end()));

    // A NaN is neither smaller nor greater: the sort must stay inside the array and keep it.
    std::vector<double> reals = {3, NAN, 1, 2, NAN, 9, 8, 7, 6, 5, 4, NAN};
    QSort(reals.data(), int32_t(reals.size()), false);
    EXPECT_EQ(std::count_if(reals.begin(), reals.end(), [](double r) { return std::isnan(r); }), 3);
    EXPECT_EQ(reals.size(), 12u);
}

TEST(MultiCriteriaQSort, SortsByKeysInPriorityAndCarriesEveryEntryAlong)
{
    std::mt19937 random(7);
    std::vector<int> primary(200), secondary(200), payload(200);
    for (size_t i = 0; i < primary.size(); ++i)
    {
        primary[i] = int(random() % 5);
        secondary[i] = int(random() % 7);
        payload[i] = int(i);
    }
    std::vector<std::tuple<int, int, int>> rows;
    for (size_t i = 0; i < primary.size(); ++i)
        rows.emplace_back(primary[i], secondary[i], payload[i]);

    VectorSortable key1(primary), key2(secondary), carried(payload);
    ISortable* list[] = {&key1, &key2, &carried, nullptr};
    const uint8_t descending[] = {0, 1};
    ISortable::MultiCriteriaQSort(list, descending, 2, 0, 199);

    for (size_t i = 1; i < primary.size(); ++i)
    {
        auto previous = std::make_tuple(key1.fValues[i - 1], -key2.fValues[i - 1]);
        auto current = std::make_tuple(key1.fValues[i], -key2.fValues[i]);
        EXPECT_LE(previous, current) << "at " << i;
    }
    // Rows stay whole: each payload still sits beside its own keys.
    for (size_t i = 0; i < primary.size(); ++i)
    {
        int row = carried.fValues[i];
        EXPECT_EQ(key1.fValues[i], std::get<0>(rows[size_t(row)]));
        EXPECT_EQ(key2.fValues[i], std::get<1>(rows[size_t(row)]));
    }
    EXPECT_EQ(key1.fLocks, 1);
    EXPECT_EQ(carried.fUnlocks, 1);
}

TEST(MultiCriteriaQSort, SortsOnlyTheRangeAndIgnoresBadArguments)
{
    VectorSortable sortable({9, 8, 7, 6, 5, 4, 3, 2, 1, 0, -1, -2});
    ISortable* list[] = {&sortable, nullptr};
    const uint8_t ascending[] = {0};
    ISortable::MultiCriteriaQSort(list, ascending, 1, 2, 9);
    EXPECT_EQ(sortable.fValues, (std::vector<int>{9, 8, 0, 1, 2, 3, 4, 5, 6, 7, -1, -2}));

    std::vector<int> before = sortable.fValues;
    ISortable::MultiCriteriaQSort(list, ascending, 1, 5, 5);
    ISortable::MultiCriteriaQSort(list, ascending, 1, 6, 2);
    ISortable::MultiCriteriaQSort(list, ascending, 0, 0, 11);
    ISortable::MultiCriteriaQSort(nullptr, ascending, 1, 0, 11);
    EXPECT_EQ(sortable.fValues, before);
    EXPECT_EQ(sortable.fLocks, 1);

    // More criteria than entries: the entries are the keys.
    ISortable::MultiCriteriaQSort(list, ascending, 3, 0, 11);
    EXPECT_TRUE(std::is_sorted(sortable.fValues.begin(), sortable.fValues.end()));
}

} // namespace
} // namespace kova
