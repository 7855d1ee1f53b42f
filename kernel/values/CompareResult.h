// CompareResult is the answer of every ordering comparison of the value model and of strings.
// Equality tests answer bool instead.
#pragma once

#include <cstdint>

namespace kova
{

enum CompareResult : int32_t
{
    CR_SMALLER = -1,
    CR_EQUAL = 0,
    CR_BIGGER = 1,
    // The two values cannot be ordered: empty values, blobs, the base of arrays.
    CR_UNRELEVANT = -1000
};

// Orders two plain numbers (or anything with operator<).
template <class T>
constexpr CompareResult CompareNatives(const T& inFirst, const T& inSecond)
{
    if (inFirst < inSecond)
        return CR_SMALLER;
    if (inSecond < inFirst)
        return CR_BIGGER;
    return CR_EQUAL;
}

} // namespace kova
