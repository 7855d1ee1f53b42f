// Our stand-in for the string comparison of CoreFoundation, over ICU: texts compared by code
// points, case-insensitively by Unicode case folding, or, localized, in the order of the root
// collation with the differences the flags ignore left out.
#pragma once

#include <cstdint>
#include <string_view>

namespace kova::cf
{

enum StringCompareFlags : uint32_t
{
    kCompareCaseInsensitive = 1,
    kCompareLocalized = 32,
    // Localized comparisons only: letters that differ by their accents, or by their full or half
    // width, compare equal. The root collation weighs case and width at one level, so ignoring
    // either in a comparison that keeps accents ignores both.
    kCompareDiacriticInsensitive = 128,
    kCompareWidthInsensitive = 256,
};

// -1, 0 or 1. Ill-formed UTF-8 compares as if each bad sequence were U+FFFD.
int32_t StringCompare(std::string_view first, std::string_view second, uint32_t flags);
int32_t StringCompare(std::u16string_view first, std::u16string_view second, uint32_t flags);

} // namespace kova::cf
