// The UTF-16 surrogate tests and the arithmetic of pairs, shared by every converter and string
// operation that must keep a character above U+FFFF whole. The tests take any integer type so
// that 32-bit units (wide text, UTF-32) and UTF-16 units go through the same checks.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

constexpr bool IsHighSurrogate(uint32_t inUnit)
{
    return inUnit >= 0xD800 && inUnit <= 0xDBFF;
}

constexpr bool IsLowSurrogate(uint32_t inUnit)
{
    return inUnit >= 0xDC00 && inUnit <= 0xDFFF;
}

constexpr bool IsSurrogate(uint32_t inUnit)
{
    return inUnit >= 0xD800 && inUnit <= 0xDFFF;
}

// A high surrogate directly followed by a low one, both within [inUnits, inEnd).
template <class Unit>
constexpr bool StartsSurrogatePair(const Unit* inUnits, const Unit* inEnd)
{
    return inEnd - inUnits >= 2 && IsHighSurrogate(uint32_t(inUnits[0])) &&
           IsLowSurrogate(uint32_t(inUnits[1]));
}

// The character of a high and a low surrogate.
constexpr uint32_t JoinSurrogates(uint32_t inHigh, uint32_t inLow)
{
    return (inHigh << 10) + inLow - 0x35FDC00;
}

// The two halves of a character from U+10000 to U+10FFFF.
constexpr UniChar HighSurrogateOf(uint32_t inCharacter)
{
    return UniChar(0xD800 + ((inCharacter - 0x10000) >> 10));
}

constexpr UniChar LowSurrogateOf(uint32_t inCharacter)
{
    return UniChar(0xDC00 + (inCharacter & 0x3FF));
}

} // namespace kova
