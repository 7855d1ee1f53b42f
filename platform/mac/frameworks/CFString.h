// Our stand-in for the string comparison of CoreFoundation, over ICU: UTF-8 texts compared by
// code points, or case-insensitively by Unicode case folding.
#pragma once

#include <cstdint>
#include <string_view>

namespace kova::cf
{

enum StringCompareFlags : uint32_t
{
    kCompareCaseInsensitive = 1,
};

// -1, 0 or 1. Ill-formed UTF-8 compares as if each bad sequence were U+FFFD.
int32_t StringCompare(std::string_view first, std::string_view second, uint32_t flags);

} // namespace kova::cf
