// The Mac Roman character set, built in so that the platform's standard 8-bit text decodes the
// same everywhere. Bytes below 0x80 are ASCII; this table maps 0x80-0xFF.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

extern const UniChar kMacRomanHighHalf[128];

inline UniChar MacRomanToUnicode(uint8_t inByte)
{
    return inByte < 0x80 ? UniChar(inByte) : kMacRomanHighHalf[inByte - 0x80];
}

} // namespace kova
