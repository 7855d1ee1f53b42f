// Byte-order helpers for the stream forms: data written by a processor of the other byte order is
// read back by swapping every multi-byte number. Works on any 1-, 2-, 4- or 8-byte scalar,
// doubles included (swapped as their bit pattern).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kova
{

template <class T>
inline T ByteSwap(T inValue)
{
    static_assert(std::is_trivially_copyable_v<T>, "only plain scalars are swapped");
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8, "unsupported width");
    if constexpr (sizeof(T) == 1)
    {
        return inValue;
    }
    else if constexpr (sizeof(T) == 2)
    {
        uint16_t bits;
        std::memcpy(&bits, &inValue, 2);
        bits = __builtin_bswap16(bits);
        std::memcpy(&inValue, &bits, 2);
        return inValue;
    }
    else if constexpr (sizeof(T) == 4)
    {
        uint32_t bits;
        std::memcpy(&bits, &inValue, 4);
        bits = __builtin_bswap32(bits);
        std::memcpy(&inValue, &bits, 4);
        return inValue;
    }
    else
    {
        uint64_t bits;
        std::memcpy(&bits, &inValue, 8);
        bits = __builtin_bswap64(bits);
        std::memcpy(&inValue, &bits, 8);
        return inValue;
    }
}

// Swaps count elements of a width in place; the block need not be aligned.
void ByteSwapElements(void* ioElements, size_t inCount, size_t inWidth);

} // namespace kova
