#include "kernel/text/VToUnicodeConverter_UTF8.h"

#include "kernel/text/AsciiRuns.h"

#include <algorithm>

namespace kova
{

namespace
{

// Trailing bytes announced by a lead byte; 0x80-0xBF announce none and stand alone.
constexpr uint8_t TrailingCount(uint8_t inLead)
{
    return inLead < 0xC0 ? 0 : inLead < 0xE0 ? 1 : inLead < 0xF0 ? 2 : inLead < 0xF8 ? 3 : inLead < 0xFC ? 4 : 5;
}

// What accumulating (value << 6) + byte over a sequence of n trailing bytes adds beyond the
// payload bits: the marks of the lead and of every trailing byte.
constexpr uint32_t kSequenceOffsets[6] = {0, 0x3080, 0xE2080, 0x3C82080, 0xFA082080, 0x82082080};

constexpr bool IsTrailingByte(uint8_t inByte)
{
    return (inByte & 0xC0) == 0x80;
}

// C0 80 is the one overlong form that stored text may hold (a zero inside a C string).
constexpr uint32_t RejectOverlongAscii(uint32_t inValue, int inTrailing)
{
    return inValue < 0x80 && !(inTrailing == 1 && inValue == 0) ? 0xFFFD : inValue;
}

} // namespace

bool VToUnicodeConverter_UTF8::Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                       UniChar* inDestination, int32_t inDestinationChars,
                                       int32_t& outProducedChars) const
{
    const auto* source = static_cast<const uint8_t*>(inSource);
    const uint8_t* const sourceEnd = source + inSourceBytes;
    UniChar* destination = inDestination;
    const UniChar* const destinationEnd = inDestination + std::max(inDestinationChars, 0);
    bool result = true;

    while (source < sourceEnd && destination < destinationEnd)
    {
        const uint8_t lead = *source;
        if (lead < 0x80)
        {
            WidenAsciiRun(source, sourceEnd, destination, destinationEnd);
            while (source < sourceEnd && destination < destinationEnd && *source < 0x80)
                *destination++ = *source++;
            continue;
        }
        const size_t available = size_t(sourceEnd - source) - 1;

        // The common two- and three-byte forms, complete and well formed.
        if (lead >= 0xC0 && lead < 0xE0 && available >= 1 && IsTrailingByte(source[1]))
        {
            uint32_t value = (uint32_t(lead & 0x1F) << 6) | (source[1] & 0x3F);
            *destination++ = UniChar(RejectOverlongAscii(value, 1));
            source += 2;
            continue;
        }
        if (lead >= 0xE0 && lead < 0xF0 && available >= 2 && IsTrailingByte(source[1]) && IsTrailingByte(source[2]))
        {
            uint32_t value = (uint32_t(lead & 0x0F) << 12) | (uint32_t(source[1] & 0x3F) << 6) | (source[2] & 0x3F);
            *destination++ = UniChar(RejectOverlongAscii(value, 2));
            source += 3;
            continue;
        }

        const int trailing = TrailingCount(lead);
        bool wellFormed = true;
        for (size_t i = 1; i <= std::min<size_t>(size_t(trailing), available); ++i)
        {
            if (!IsTrailingByte(source[i]))
            {
                wellFormed = false;
                break;
            }
        }
        if (trailing == 0 || !wellFormed)
        {
            *destination++ = lead;
            ++source;
            continue;
        }
        if (available < size_t(trailing))
            break; // cut short by the end of the input

        uint32_t value = lead;
        for (int i = 1; i <= trailing; ++i)
            value = (value << 6) + source[i];
        value = RejectOverlongAscii(value - kSequenceOffsets[trailing], trailing);
        if (value < 0x10000)
        {
            *destination++ = UniChar(value);
        }
        else
        {
            if (destinationEnd - destination < 2)
                break;
            if (value < 0x110000)
            {
                value -= 0x10000;
                *destination++ = UniChar(0xD800 + (value >> 10));
                *destination++ = UniChar(0xDC00 + (value & 0x3FF));
            }
            else
            {
                *destination++ = u'?';
                result = false;
            }
        }
        source += trailing + 1;
    }

    outBytesConsumed = size_t(source - static_cast<const uint8_t*>(inSource));
    outProducedChars = int32_t(destination - inDestination);
    return result;
}

} // namespace kova
