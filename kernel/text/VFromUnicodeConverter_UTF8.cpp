#include "kernel/text/VFromUnicodeConverter_UTF8.h"

#include "kernel/text/AsciiRuns.h"
#include "kernel/text/Surrogates.h"

#include <algorithm>

namespace kova
{

namespace
{

constexpr int EncodedLength(uint32_t inValue)
{
    return inValue < 0x80        ? 1
           : inValue < 0x800     ? 2
           : inValue < 0x10000   ? 3
           : inValue < 0x200000  ? 4
           : inValue < 0x4000000 ? 5
                                 : 6;
}

// Writes the sequence last byte first: six payload bits a trailing byte, then the lead's mark.
void WriteSequence(uint8_t* outBytes, uint32_t inValue, int inLength)
{
    static constexpr uint8_t kLeadMarks[7] = {0, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    for (int i = inLength - 1; i > 0; --i)
    {
        outBytes[i] = uint8_t(0x80 | (inValue & 0x3F));
        inValue >>= 6;
    }
    outBytes[0] = uint8_t(kLeadMarks[inLength] | inValue);
}

// The next character starting at ioSource: its value and the units it takes, or 0 units when it
// is a high surrogate that ends the input.
template <class Unit>
int32_t NextCharacter(const Unit* inSource, const Unit* inSourceEnd, uint32_t& outValue)
{
    uint32_t unit = uint32_t(inSource[0]);
    if (IsHighSurrogate(unit))
    {
        if (inSourceEnd - inSource < 2)
            return 0;
        uint32_t next = uint32_t(inSource[1]);
        if (IsLowSurrogate(next))
        {
            outValue = JoinSurrogates(unit, next);
            return 2;
        }
    }
    outValue = unit;
    return 1;
}

size_t CountBytes(const UniChar* inSource, const UniChar* inSourceEnd, int32_t& outCharsConsumed)
{
    const UniChar* source = inSource;
    size_t bytes = 0;
    while (source < inSourceEnd)
    {
        uint32_t value = 0;
        int32_t units = NextCharacter(source, inSourceEnd, value);
        if (units == 0)
            break;
        bytes += size_t(EncodedLength(value));
        source += units;
    }
    outCharsConsumed = int32_t(source - inSource);
    return bytes;
}

} // namespace

bool VFromUnicodeConverter_UTF8::Convert(const UniChar* inSource, int32_t inSourceChars,
                                         int32_t& outCharsConsumed, void* inDestination,
                                         size_t inDestinationBytes, size_t& outBytesProduced) const
{
    const UniChar* source = inSource;
    const UniChar* const sourceEnd = inSource + std::max(inSourceChars, 0);
    if (inDestination == nullptr)
    {
        outBytesProduced = CountBytes(source, sourceEnd, outCharsConsumed);
        return true;
    }
    auto* destination = static_cast<uint8_t*>(inDestination);
    const uint8_t* const destinationEnd = destination + inDestinationBytes;

    // While a block of input and room for it at three bytes a unit remain, no character needs its
    // own bounds checks. Words of two- or three-byte characters are encoded in runs.
    constexpr ptrdiff_t kRoom = 3 * kAsciiBlock;
    while (sourceEnd - source >= kAsciiBlock && destinationEnd - destination >= kRoom)
    {
        const uint32_t unit = *source;
        if (unit < 0x80)
        {
            // A lone ASCII unit between words of other scripts is not worth a block.
            if (source[1] >= 0x80)
            {
                *destination++ = uint8_t(unit);
                ++source;
                continue;
            }
            int ascii = NarrowAsciiBlock(source, destination);
            source += ascii;
            destination += ascii;
            continue;
        }
        if (unit < 0x800)
        {
            const UniChar* const runEnd =
                source + std::min(sourceEnd - source, (destinationEnd - destination) / 2);
            uint32_t next = unit;
            do
            {
                destination[0] = uint8_t(0xC0 | (next >> 6));
                destination[1] = uint8_t(0x80 | (next & 0x3F));
                destination += 2;
                ++source;
            } while (source < runEnd && (next = *source) >= 0x80 && next < 0x800);
            continue;
        }
        if (!IsSurrogate(unit))
        {
            const UniChar* const runEnd =
                source + std::min(sourceEnd - source, (destinationEnd - destination) / 3);
            uint32_t next = unit;
            do
            {
                destination[0] = uint8_t(0xE0 | (next >> 12));
                destination[1] = uint8_t(0x80 | ((next >> 6) & 0x3F));
                destination[2] = uint8_t(0x80 | (next & 0x3F));
                destination += 3;
                ++source;
            } while (source < runEnd && (next = *source) >= 0x800 && !IsSurrogate(next));
            continue;
        }
        uint32_t value = 0;
        int32_t units = NextCharacter(source, sourceEnd, value);
        int length = EncodedLength(value);
        WriteSequence(destination, value, length);
        destination += length;
        source += units;
    }
    while (source < sourceEnd)
    {
        const uint32_t unit = *source;
        if (unit < 0x80)
        {
            if (sourceEnd - source >= kAsciiBlock && destinationEnd - destination >= kAsciiBlock)
            {
                int ascii = NarrowAsciiBlock(source, destination);
                source += ascii;
                destination += ascii;
                continue;
            }
            if (destination == destinationEnd)
                break;
            *destination++ = uint8_t(unit);
            ++source;
            continue;
        }
        if (unit < 0x800)
        {
            if (destinationEnd - destination < 2)
                break;
            destination[0] = uint8_t(0xC0 | (unit >> 6));
            destination[1] = uint8_t(0x80 | (unit & 0x3F));
            destination += 2;
            ++source;
            continue;
        }
        if (!IsSurrogate(unit))
        {
            if (destinationEnd - destination < 3)
                break;
            destination[0] = uint8_t(0xE0 | (unit >> 12));
            destination[1] = uint8_t(0x80 | ((unit >> 6) & 0x3F));
            destination[2] = uint8_t(0x80 | (unit & 0x3F));
            destination += 3;
            ++source;
            continue;
        }
        uint32_t value = 0;
        int32_t units = NextCharacter(source, sourceEnd, value);
        if (units == 0)
            break;
        int length = EncodedLength(value);
        if (destinationEnd - destination < length)
            break;
        WriteSequence(destination, value, length);
        destination += length;
        source += units;
    }
    outCharsConsumed = int32_t(source - inSource);
    outBytesProduced = size_t(destination - static_cast<uint8_t*>(inDestination));
    return true;
}

bool VFromUnicodeConverter_UTF8::ConvertLast(const UniChar* inSource, int32_t inSourceChars,
                                             int32_t& outCharsConsumed, void* inDestination,
                                             size_t inDestinationBytes, size_t& outBytesProduced) const
{
    Convert(inSource, inSourceChars, outCharsConsumed, inDestination, inDestinationBytes, outBytesProduced);
    // Only a high surrogate that ends the text waits for a partner in Convert.
    constexpr int kLoneLength = 3;
    if (outCharsConsumed + 1 == inSourceChars && IsHighSurrogate(inSource[outCharsConsumed]) &&
        (inDestination == nullptr || inDestinationBytes - outBytesProduced >= size_t(kLoneLength)))
    {
        if (inDestination != nullptr)
            WriteSequence(static_cast<uint8_t*>(inDestination) + outBytesProduced, inSource[outCharsConsumed],
                          kLoneLength);
        outBytesProduced += kLoneLength;
        ++outCharsConsumed;
    }
    return true;
}

bool VFromUnicodeConverter_UTF8::ConvertFrom_wchar(const wchar_t* inSource, int32_t inSourceChars,
                                                   int32_t& outCharsConsumed, void* inDestination,
                                                   size_t inDestinationBytes, size_t& outBytesProduced) const
{
    const wchar_t* source = inSource;
    const wchar_t* const sourceEnd = inSource + std::max(inSourceChars, 0);
    auto* destination = static_cast<uint8_t*>(inDestination);
    size_t produced = 0;
    bool result = true;
    while (source < sourceEnd)
    {
        uint32_t value = 0;
        int32_t units = NextCharacter(source, sourceEnd, value);
        if (units == 0)
            break;
        if ((value & 0x80000000u) != 0)
        {
            result = false;
            break;
        }
        int length = EncodedLength(value);
        if (destination != nullptr)
        {
            if (inDestinationBytes - produced < size_t(length))
                break;
            WriteSequence(destination + produced, value, length);
        }
        produced += size_t(length);
        source += units;
    }
    outCharsConsumed = int32_t(source - inSource);
    outBytesProduced = produced;
    return result;
}

} // namespace kova
