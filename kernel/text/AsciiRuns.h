// Fast paths of the built-in converters for runs of ASCII: most text that passes through them is
// mostly ASCII, and a run can be checked and widened or narrowed 16 units at a time. Each helper
// advances its cursors past the longest whole block of ASCII it finds and leaves the rest (at most
// one block, and whatever follows the first non-ASCII unit) to the caller's unit-by-unit loop.
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

// Widens bytes below 0x80 into UTF-16 units.
inline void WidenAsciiRun(const uint8_t*& ioSource, const uint8_t* inSourceEnd, UniChar*& ioDestination,
                          const UniChar* inDestinationEnd)
{
    const uint8_t* source = ioSource;
    UniChar* destination = ioDestination;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (inSourceEnd - source >= 16 && inDestinationEnd - destination >= 16)
    {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        if (_mm_movemask_epi8(bytes) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 8), _mm_unpackhi_epi8(bytes, zero));
        source += 16;
        destination += 16;
    }
#else
    while (inSourceEnd - source >= 8 && inDestinationEnd - destination >= 8)
    {
        uint64_t bytes;
        std::memcpy(&bytes, source, 8);
        if ((bytes & 0x8080808080808080ull) != 0)
            break;
        for (int i = 0; i < 8; ++i)
            destination[i] = UniChar(source[i]);
        source += 8;
        destination += 8;
    }
#endif
    ioSource = source;
    ioDestination = destination;
}

// Narrows UTF-16 units below 0x80 into bytes.
inline void NarrowAsciiRun(const UniChar*& ioSource, const UniChar* inSourceEnd, uint8_t*& ioDestination,
                           const uint8_t* inDestinationEnd)
{
    const UniChar* source = ioSource;
    uint8_t* destination = ioDestination;
#if defined(__SSE2__)
    const __m128i highBits = _mm_set1_epi16(int16_t(0xFF80));
    while (inSourceEnd - source >= 16 && inDestinationEnd - destination >= 16)
    {
        __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 8));
        __m128i any = _mm_and_si128(_mm_or_si128(low, high), highBits);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm_packus_epi16(low, high));
        source += 16;
        destination += 16;
    }
#else
    while (inSourceEnd - source >= 4 && inDestinationEnd - destination >= 4)
    {
        uint64_t units;
        std::memcpy(&units, source, 8);
        if ((units & 0xFF80FF80FF80FF80ull) != 0)
            break;
        for (int i = 0; i < 4; ++i)
            destination[i] = uint8_t(source[i]);
        source += 4;
        destination += 4;
    }
#endif
    ioSource = source;
    ioDestination = destination;
}

} // namespace kova
