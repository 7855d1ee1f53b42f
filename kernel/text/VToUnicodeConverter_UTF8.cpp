#include "kernel/text/VToUnicodeConverter_UTF8.h"

#include "kernel/text/AsciiRuns.h"
#include "kernel/text/Surrogates.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kova
{

namespace
{

// Trailing bytes announced by a lead byte; 0x80-0xBF announce none and stand alone.
constexpr uint8_t TrailingCount(uint8_t inLead)
{
    return inLead < 0xC0   ? 0
           : inLead < 0xE0 ? 1
           : inLead < 0xF0 ? 2
           : inLead < 0xF8 ? 3
           : inLead < 0xFC ? 4
                           : 5;
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

// Two bytes as a word, the first in the low half.
inline uint16_t PairAt(const uint8_t* inBytes)
{
    return uint16_t(inBytes[0] | (inBytes[1] << 8));
}

// A lead 0xC2-0xDF (no overlong form) and a trailing byte.
constexpr bool IsTwoByteForm(uint16_t inPair)
{
    return (inPair & 0xC0E0) == 0x80C0 && (inPair & 0x1E) != 0;
}

// Four characters of two bytes each (leads 0xC2-0xDF) in the next eight bytes: decoded at once
// into four units, each byte pair of the little-endian word becoming the unit in its own place.
// False, nothing written, when any of the four is another form.
inline bool DecodeFourTwoByteForms(const uint8_t* inSource, UniChar* outDestination)
{
    if constexpr (std::endian::native != std::endian::little)
        return false;
    uint64_t word;
    std::memcpy(&word, inSource, sizeof(word));
    // Each lead 110xxxxx and trailing byte 10xxxxxx; each lead's payload at 2 or more (not
    // overlong), so that adding 0x1E to its bits 1-4 reaches bit 5.
    if ((word & 0xC0E0C0E0C0E0C0E0) != 0x80C080C080C080C0 ||
        (((word & 0x001E001E001E001E) + 0x001E001E001E001E) & 0x0020002000200020) != 0x0020002000200020)
        return false;
    const uint64_t units = ((word & 0x001F001F001F001F) << 6) | ((word >> 8) & 0x003F003F003F003F);
    std::memcpy(outDestination, &units, sizeof(units));
    return true;
}

// Decodes the character at ioSource when it is not one of the common forms; false when it must
// wait for more input or more room.
bool DecodeOther(const uint8_t*& ioSource, const uint8_t* inSourceEnd, UniChar*& ioDestination,
                 const UniChar* inDestinationEnd, bool& ioResult)
{
    const uint8_t* source = ioSource;
    const uint8_t lead = *source;
    const size_t available = size_t(inSourceEnd - source) - 1;
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
        *ioDestination++ = lead;
        ++ioSource;
        return true;
    }
    if (available < size_t(trailing))
        return false; // cut short by the end of the input

    uint32_t value = lead;
    for (int i = 1; i <= trailing; ++i)
        value = (value << 6) + source[i];
    value = RejectOverlongAscii(value - kSequenceOffsets[trailing], trailing);
    if (value < 0x10000)
    {
        *ioDestination++ = UniChar(value);
    }
    else if (value < 0x110000)
    {
        if (inDestinationEnd - ioDestination < 2)
            return false;
        *ioDestination++ = HighSurrogateOf(value);
        *ioDestination++ = LowSurrogateOf(value);
    }
    else
    {
        *ioDestination++ = u'?';
        ioResult = false;
    }
    ioSource += trailing + 1;
    return true;
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

    // While a block of input and of room remains, no character needs its own bounds checks. Words
    // of two- or three-byte characters are decoded in runs.
    while (sourceEnd - source >= kAsciiBlock && destinationEnd - destination >= kAsciiBlock)
    {
        const uint8_t lead = *source;
        if (lead < 0x80)
        {
            // A lone ASCII byte between words of other scripts is not worth a block.
            if (source[1] >= 0x80)
            {
                *destination++ = lead;
                ++source;
                continue;
            }
            int ascii = WidenAsciiBlock(source, destination);
            source += ascii;
            destination += ascii;
            continue;
        }
        uint16_t pair = PairAt(source);
        if (IsTwoByteForm(pair))
        {
            // Words of such a script are separated by lone ASCII spaces and marks: the run takes
            // those too, and four characters at once where it can.
            for (;;)
            {
                if (sourceEnd - source >= 8 && destinationEnd - destination >= 4 &&
                    DecodeFourTwoByteForms(source, destination))
                {
                    source += 8;
                    destination += 4;
                    continue;
                }
                if (sourceEnd - source < 2 || destination == destinationEnd)
                    break;
                if (*source < 0x80)
                {
                    if (source[1] < 0x80)
                        break; // ASCII text: the blocks above widen it faster
                    *destination++ = *source++;
                    continue;
                }
                pair = PairAt(source);
                if (!IsTwoByteForm(pair))
                    break;
                *destination++ = UniChar(((pair & 0x1F) << 6) | ((pair >> 8) & 0x3F));
                source += 2;
            }
            continue;
        }
        if ((lead & 0xF0) == 0xE0 && IsTrailingByte(source[1]) && IsTrailingByte(source[2]))
        {
            do
            {
                uint32_t value = (uint32_t(source[0] & 0x0F) << 12) | (uint32_t(source[1] & 0x3F) << 6) |
                                 (source[2] & 0x3F);
                *destination++ = UniChar(RejectOverlongAscii(value, 2));
                source += 3;
            } while (sourceEnd - source >= kAsciiBlock && destinationEnd - destination >= kAsciiBlock &&
                     (source[0] & 0xF0) == 0xE0 && IsTrailingByte(source[1]) && IsTrailingByte(source[2]));
            continue;
        }
        DecodeOther(source, sourceEnd, destination, destinationEnd, result);
    }
    while (source < sourceEnd && destination < destinationEnd)
    {
        if (*source < 0x80)
            *destination++ = *source++;
        else if (!DecodeOther(source, sourceEnd, destination, destinationEnd, result))
            break;
    }

    outBytesConsumed = size_t(source - static_cast<const uint8_t*>(inSource));
    outProducedChars = int32_t(destination - inDestination);
    return result;
}

// The end of the input: a sequence cut short there gives its lead alone, as an ill-formed
// sequence does, and decoding resumes at the byte after it.
bool VToUnicodeConverter_UTF8::ConvertLast(const void* inSource, size_t inSourceBytes,
                                           size_t& outBytesConsumed, UniChar* inDestination,
                                           int32_t inDestinationChars, int32_t& outProducedChars) const
{
    const auto* source = static_cast<const uint8_t*>(inSource);
    const int32_t capacity = std::max(inDestinationChars, 0);
    size_t used = 0;
    int32_t produced = 0;
    bool result = true;
    for (;;)
    {
        size_t consumed = 0;
        int32_t made = 0;
        result = Convert(source + used, inSourceBytes - used, consumed, inDestination + produced,
                         capacity - produced, made) &&
                 result;
        used += consumed;
        produced += made;
        if (used == inSourceBytes || produced == capacity)
            break;
        // Stopped with room left: a sequence cut short, unless a pair did not fit in the last unit.
        if (inSourceBytes - used - 1 >= TrailingCount(source[used]))
            break;
        inDestination[produced++] = source[used++];
    }
    outBytesConsumed = used;
    outProducedChars = produced;
    return result;
}

} // namespace kova
