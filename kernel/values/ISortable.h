// ISortable is what the toolbox's quicksort needs of a sequence: its element block, and the
// exchange and comparison of two elements by 0-based position. Several sortables can be sorted
// as parallel arrays in one pass (MultiCriteriaQSort): the first ones are the sort keys, in
// order of priority, and every one of them is permuted alike. QSort is the same sort over a plain
// array of numbers, without the indirection.
//
// Both sorts are an iterative quicksort for ranges of 10 elements or more (middle pivot, a fixed
// stack of pending ranges, the smaller part first) and a selection sort below that. Neither is
// stable.
#pragma once

#include <cstdint>

namespace kova
{

class ISortable
{
public:
    virtual ~ISortable();

    // The element block; the base has none. Every access to elements is bracketed by the pair.
    virtual uint8_t* LockAndGetData() const;
    virtual void UnlockData() const;

    // inData is the block LockAndGetData gave; positions are 0-based.
    virtual void SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) = 0;
    // -1, 0 or 1 as element inFirst is smaller than, equal to or greater than element inSecond.
    virtual int32_t CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond) = 0;

    // Sorts the inclusive 0-based range inFirst..inLast of the null-terminated list. The first
    // inCriteria entries are the keys (inDescending holds one flag per key); every entry is
    // permuted alike, so all must hold the range. Nothing happens when the work block of one
    // pointer per entry cannot be had.
    static void MultiCriteriaQSort(ISortable** inSortables, const uint8_t* inDescending, int32_t inCriteria,
                                   int32_t inFirst, int32_t inLast);

protected:
    ISortable() = default;
    ISortable(const ISortable&) = default;
    ISortable& operator=(const ISortable&) = default;
};

// Sorts inCount numbers in place by their ordinary order, reversed when inDescending. Made for
// 8-, 16-, 32- and 64-bit signed integers and doubles.
template <class T>
void QSort(T* ioElements, int32_t inCount, bool inDescending);

} // namespace kova
