#include "kernel/text/VToUnicodeConverter_MacRoman.h"

#include "kernel/text/AsciiRuns.h"

#include <algorithm>

namespace kova
{

bool VToUnicodeConverter_MacRoman::Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                           UniChar* inDestination, int32_t inDestinationChars,
                                           int32_t& outProducedChars) const
{
    const auto* source = static_cast<const uint8_t*>(inSource);
    const uint8_t* const sourceEnd = source + inSourceBytes;
    UniChar* destination = inDestination;
    const UniChar* const destinationEnd = inDestination + std::max(inDestinationChars, 0);
    while (source < sourceEnd && destination < destinationEnd)
    {
        uint8_t byte = *source;
        if (byte < 0x80)
        {
            WidenAsciiRun(source, sourceEnd, destination, destinationEnd);
            if (source == sourceEnd || destination == destinationEnd)
                break;
            byte = *source;
        }
        *destination++ = byte < 0x80 ? UniChar(byte) : sHighHalf[byte - 0x80];
        ++source;
    }
    outBytesConsumed = size_t(source - static_cast<const uint8_t*>(inSource));
    outProducedChars = int32_t(destination - inDestination);
    return true;
}

} // namespace kova
