// Fast paths of the built-in converters for ASCII: most text that passes through them is mostly
// ASCII, and sixteen units can be checked and widened or narrowed at once. Each helper handles one
// block of sixteen: it writes all sixteen units (or bytes) and returns how many of them, from the
// first, are ASCII; the caller advances by that count only, so the room for sixteen must exist
// even when fewer are kept. The units written beyond the count are scratch that later writes cover.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kova
{

constexpr ptrdiff_t kAsciiBlock = 16;

// A mask of 16 bytes with bit i set when byte i is 0x80 or more.
inline unsigned HighBytes(const uint8_t* inSource)
{
#if defined(__SSE2__)
    return unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(inSource))));
#else
    unsigned high = 0;
    for (int i = 0; i < 16; ++i)
        high |= unsigned(inSource[i] >> 7) << i;
    return high;
#endif
}

// Widens 16 bytes into units, whatever their values.
inline void WidenBlock(const uint8_t* inSource, UniChar* outDestination)
{
#if defined(__SSE2__)
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inSource));
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(outDestination), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(outDestination + 8), _mm_unpackhi_epi8(bytes, zero));
#else
    for (int i = 0; i < 16; ++i)
        outDestination[i] = inSource[i];
#endif
}

// Widens 16 bytes into units; returns the count of leading bytes below 0x80.
inline int WidenAsciiBlock(const uint8_t* inSource, UniChar* outDestination)
{
    WidenBlock(inSource, outDestination);
    unsigned high = HighBytes(inSource);
    return high == 0 ? 16 : __builtin_ctz(high);
}

// Narrows 16 units into bytes; returns the count of leading units below 0x80.
inline int NarrowAsciiBlock(const UniChar* inSource, uint8_t* outDestination)
{
#if defined(__SSE2__)
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inSource));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inSource + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(outDestination), _mm_packus_epi16(low, high));
    // A unit is ASCII when none of its bits above the lowest seven is set.
    const __m128i highBits = _mm_set1_epi16(int16_t(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    __m128i asciiLow = _mm_cmpeq_epi16(_mm_and_si128(low, highBits), zero);
    __m128i asciiHigh = _mm_cmpeq_epi16(_mm_and_si128(high, highBits), zero);
    unsigned mask = unsigned(_mm_movemask_epi8(_mm_packs_epi16(asciiLow, asciiHigh))) ^ 0xFFFFu;
    return mask == 0 ? 16 : __builtin_ctz(mask);
#else
    int ascii = 16;
    for (int i = 0; i < 16; ++i)
    {
        outDestination[i] = uint8_t(inSource[i]);
        if (inSource[i] >= 0x80 && ascii == 16)
            ascii = i;
    }
    return ascii;
#endif
}

} // namespace kova
