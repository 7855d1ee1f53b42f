#include "kernel/values/ISortable.h"

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <utility>

namespace kova
{

namespace
{

// Pending ranges. Only the larger part of a partition waits here while the smaller one (at most
// half of the range) goes on, and only ranges of 10 or more are partitioned, so with k ranges
// pending the current one holds at most count / 2^k elements: fewer than 29 ever wait for a
// 32-bit count.
constexpr int32_t kPendingRanges = 30;

// The ranges that the selection sort takes whole: up to 9 elements.
constexpr int32_t kSelectionSortSpan = 9;

// ORDER gives Compare(i, j) (negative, 0, positive) and Swap(i, j) on 0-based positions.
template <class ORDER>
void SelectionSort(ORDER& ioOrder, int32_t inFirst, int32_t inLast)
{
    for (int32_t end = inLast; end > inFirst; --end)
    {
        int32_t greatest = inFirst;
        for (int32_t k = inFirst + 1; k <= end; ++k)
        {
            if (ioOrder.Compare(k, greatest) > 0)
                greatest = k;
        }
        if (greatest != end)
            ioOrder.Swap(greatest, end);
    }
}

template <class ORDER>
void SortRange(ORDER& ioOrder, int32_t inFirst, int32_t inLast)
{
    struct Range
    {
        int32_t fLow;
        int32_t fHigh;
    };
    Range pending[kPendingRanges];
    int32_t pendingCount = 0;
    int32_t low = inFirst;
    int32_t high = inLast;
    for (;;)
    {
        if (high - low >= kSelectionSortSpan)
        {
            ioOrder.Swap(low, low + (high - low + 1) / 2);
            // Elements equal to the pivot may stay between the two parts: they are in place.
            int32_t left = low;
            int32_t right = high + 1;
            for (;;)
            {
                do
                    ++left;
                while (left <= high && ioOrder.Compare(left, low) <= 0);
                do
                    --right;
                while (right > low && ioOrder.Compare(right, low) >= 0);
                if (right < left)
                    break;
                ioOrder.Swap(left, right);
            }
            if (right != low)
                ioOrder.Swap(low, right);

            Range leftPart{low, right - 1};
            Range rightPart{left, high};
            bool leftIsLarger = leftPart.fHigh - leftPart.fLow >= rightPart.fHigh - rightPart.fLow;
            const Range& larger = leftIsLarger ? leftPart : rightPart;
            const Range& smaller = leftIsLarger ? rightPart : leftPart;
            if (larger.fHigh > larger.fLow)
                pending[pendingCount++] = larger;
            if (smaller.fHigh > smaller.fLow)
            {
                low = smaller.fLow;
                high = smaller.fHigh;
                continue;
            }
        }
        else if (high > low)
        {
            SelectionSort(ioOrder, low, high);
        }
        if (pendingCount == 0)
            break;
        --pendingCount;
        low = pending[pendingCount].fLow;
        high = pending[pendingCount].fHigh;
    }
}

// The combined order of several sortables: the first deciding key wins, reversed when that key
// sorts descending.
class MultiCriteriaOrder
{
public:
    MultiCriteriaOrder(ISortable** inSortables, uint8_t** inData, const uint8_t* inDescending,
                       int32_t inCriteria, int32_t inEntries)
        : fSortables(inSortables), fData(inData), fDescending(inDescending), fCriteria(inCriteria),
          fEntries(inEntries)
    {
    }

    int32_t Compare(int32_t inFirst, int32_t inSecond) const
    {
        return MultiCriteriaCompare(inFirst, inSecond);
    }
    void Swap(int32_t inFirst, int32_t inSecond) const { MultiCriteriaSwap(inFirst, inSecond); }

private:
    int32_t MultiCriteriaCompare(int32_t inFirst, int32_t inSecond) const
    {
        for (int32_t c = 0; c < fCriteria; ++c)
        {
            int32_t result = fSortables[c]->CompareElements(fData[c], inFirst, inSecond);
            if (result == 0)
                continue;
            if (fDescending[c] != 0)
                return result == 1 ? -1 : 1;
            return result;
        }
        return 0;
    }

    void MultiCriteriaSwap(int32_t inFirst, int32_t inSecond) const
    {
        for (int32_t e = 0; e < fEntries; ++e)
            fSortables[e]->SwapElements(fData[e], inFirst, inSecond);
    }

    ISortable** fSortables;
    uint8_t** fData;
    const uint8_t* fDescending;
    int32_t fCriteria;
    int32_t fEntries;
};

template <class T>
class PlainOrder
{
public:
    PlainOrder(T* ioElements, bool inDescending) : fElements(ioElements), fDescending(inDescending) {}

    int32_t Compare(int32_t inFirst, int32_t inSecond) const
    {
        const T& a = fDescending ? fElements[inSecond] : fElements[inFirst];
        const T& b = fDescending ? fElements[inFirst] : fElements[inSecond];
        if (a < b)
            return -1;
        return b < a ? 1 : 0;
    }
    void Swap(int32_t inFirst, int32_t inSecond) const { std::swap(fElements[inFirst], fElements[inSecond]); }

private:
    T* fElements;
    bool fDescending;
};

} // namespace

ISortable::~ISortable() = default;

uint8_t* ISortable::LockAndGetData() const
{
    return nullptr;
}

void ISortable::UnlockData() const {}

void ISortable::MultiCriteriaQSort(ISortable** inSortables, const uint8_t* inDescending, int32_t inCriteria,
                                   int32_t inFirst, int32_t inLast)
{
    if (inSortables == nullptr || inDescending == nullptr || inFirst < 0 || inLast - inFirst < 1)
        return;
    int32_t entries = 0;
    while (inSortables[entries] != nullptr)
        ++entries;
    // Keys beyond the list do not exist; without a key every order is already right.
    if (inCriteria > entries)
        inCriteria = entries;
    if (inCriteria < 1)
        return;

    auto** data = static_cast<uint8_t**>(
        VObject::sCppMemMgr->Malloc(sizeof(uint8_t*) * size_t(entries), false, kMEM_TAG_SORT));
    if (data == nullptr)
        return;
    for (int32_t e = 0; e < entries; ++e)
        data[e] = inSortables[e]->LockAndGetData();

    MultiCriteriaOrder order(inSortables, data, inDescending, inCriteria, entries);
    SortRange(order, inFirst, inLast);

    for (int32_t e = 0; e < entries; ++e)
        inSortables[e]->UnlockData();
    VObject::sCppMemMgr->Free(data);
}

template <class T>
void QSort(T* ioElements, int32_t inCount, bool inDescending)
{
    if (ioElements == nullptr || inCount < 2)
        return;
    PlainOrder<T> order(ioElements, inDescending);
    SortRange(order, 0, inCount - 1);
}

template void QSort<int8_t>(int8_t*, int32_t, bool);
template void QSort<int16_t>(int16_t*, int32_t, bool);
template void QSort<int32_t>(int32_t*, int32_t, bool);
template void QSort<int64_t>(int64_t*, int32_t, bool);
template void QSort<double>(double*, int32_t, bool);

} // namespace kova
