// RealToInteger is the one conversion from a float to an integer that every value kind uses where
// a real must become a whole number: it truncates toward zero, saturates at the bounds of the
// target type and gives 0 for a NaN, so that no input is undefined behaviour.
#pragma once

#include <concepts>
#include <limits>

namespace kova
{

template <std::integral INT>
constexpr INT RealToInteger(double inReal)
{
    if (inReal != inReal) // NaN
        return 0;
    // Both bounds are 0 or powers of two, so they convert to double exactly.
    constexpr double kLowest = double(std::numeric_limits<INT>::min());
    constexpr double kPastHighest = double(std::numeric_limits<INT>::max() / 2 + 1) * 2.0;
    if (inReal <= kLowest)
        return std::numeric_limits<INT>::min();
    if (inReal >= kPastHighest)
        return std::numeric_limits<INT>::max();
    return INT(inReal);
}

} // namespace kova
