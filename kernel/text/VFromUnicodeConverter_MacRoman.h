// The built-in Mac Roman encoder, counterpart of VToUnicodeConverter_MacRoman. A character the set
// lacks becomes "?" (one byte for a whole surrogate pair), as the platform converters do, so the
// encoder never fails; it stops, with true, when the destination is full.
#pragma once

#include "kernel/text/VFromUnicodeConverter.h"

namespace kova
{

class VFromUnicodeConverter_MacRoman : public VFromUnicodeConverter
{
public:
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 1; }
};

} // namespace kova
