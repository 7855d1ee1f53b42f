// Our stand-in for the UUID maker of CoreFoundation: random (version 4, RFC 4122) identifiers from
// the kernel's random source.
#pragma once

#include <cstdint>

namespace kova::cf
{

struct UUIDBytes
{
    uint8_t fBytes[16];
};

// A new random identifier, byte 0 first; false (and outBytes untouched) when the system gives
// no randomness.
bool UUIDCreateRandom(UUIDBytes& outBytes);

} // namespace kova::cf
