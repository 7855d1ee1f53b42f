#include "kernel/text/VToUnicodeConverter_MacRoman.h"

#include "kernel/text/AsciiRuns.h"

#include <algorithm>

namespace kova
{

namespace
{

inline UniChar Decode(uint8_t inByte)
{
    return inByte < 0x80 ? UniChar(inByte) : VToUnicodeConverter_MacRoman::sHighHalf[inByte - 0x80];
}

} // namespace

bool VToUnicodeConverter_MacRoman::Convert(const void* inSource, size_t inSourceBytes,
                                           size_t& outBytesConsumed, UniChar* inDestination,
                                           int32_t inDestinationChars, int32_t& outProducedChars) const
{
    const auto* source = static_cast<const uint8_t*>(inSource);
    const uint8_t* const sourceEnd = source + inSourceBytes;
    UniChar* destination = inDestination;
    const UniChar* const destinationEnd = inDestination + std::max(inDestinationChars, 0);
    while (source < sourceEnd && destination < destinationEnd)
    {
        if (sourceEnd - source >= kAsciiBlock && destinationEnd - destination >= kAsciiBlock)
        {
            if (WidenAsciiBlock(source, destination) < kAsciiBlock)
            {
                for (int i = 0; i < kAsciiBlock; ++i)
                    destination[i] = Decode(source[i]);
            }
            source += kAsciiBlock;
            destination += kAsciiBlock;
            continue;
        }
        *destination++ = Decode(*source++);
    }
    outBytesConsumed = size_t(source - static_cast<const uint8_t*>(inSource));
    outProducedChars = int32_t(destination - inDestination);
    return true;
}

} // namespace kova
