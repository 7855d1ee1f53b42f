#include "kernel/text/VFromUnicodeConverter_MacRoman.h"

#include "kernel/text/AsciiRuns.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VToUnicodeConverter_MacRoman.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kova
{

namespace
{

// The decoding table turned around at compile time: a direct table for U+0080-U+00FF, where most
// of the set lies, and a sorted list for the rest.
constexpr std::array<uint8_t, 128> MakeLatin1Bytes()
{
    std::array<uint8_t, 128> bytes{};
    for (int i = 0; i < 128; ++i)
    {
        UniChar unit = VToUnicodeConverter_MacRoman::sHighHalf[i];
        if (unit >= 0x80 && unit < 0x100)
            bytes[unit - 0x80] = uint8_t(0x80 + i);
    }
    return bytes;
}

constexpr size_t CountOtherUnits()
{
    size_t count = 0;
    for (UniChar unit : VToUnicodeConverter_MacRoman::sHighHalf)
        count += unit >= 0x100 ? 1 : 0;
    return count;
}

using UnitAndByte = std::pair<UniChar, uint8_t>;

constexpr std::array<UnitAndByte, CountOtherUnits()> MakeOtherBytes()
{
    std::array<UnitAndByte, CountOtherUnits()> pairs{};
    size_t count = 0;
    for (int i = 0; i < 128; ++i)
    {
        UniChar unit = VToUnicodeConverter_MacRoman::sHighHalf[i];
        if (unit >= 0x100)
            pairs[count++] = {unit, uint8_t(0x80 + i)};
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

constexpr std::array<uint8_t, 128> kLatin1Bytes = MakeLatin1Bytes();
constexpr std::array<UnitAndByte, CountOtherUnits()> kOtherBytes = MakeOtherBytes();

// The byte of a unit of 0x80 or more; 0 when Mac Roman lacks it.
uint8_t EncodeHighUnit(UniChar inUnit)
{
    if (inUnit < 0x100)
        return kLatin1Bytes[inUnit - 0x80];
    auto found = std::lower_bound(kOtherBytes.begin(), kOtherBytes.end(), UnitAndByte{inUnit, 0});
    return found != kOtherBytes.end() && found->first == inUnit ? found->second : 0;
}

} // namespace

bool VFromUnicodeConverter_MacRoman::Convert(const UniChar* inSource, int32_t inSourceChars,
                                             int32_t& outCharsConsumed, void* inDestination,
                                             size_t inDestinationBytes, size_t& outBytesProduced) const
{
    const UniChar* source = inSource;
    const UniChar* const sourceEnd = inSource + std::max(inSourceChars, 0);
    auto* destination = static_cast<uint8_t*>(inDestination);
    const uint8_t* const destinationEnd = destination + inDestinationBytes;
    while (source < sourceEnd && destination < destinationEnd)
    {
        if (sourceEnd - source >= kAsciiBlock && destinationEnd - destination >= kAsciiBlock)
        {
            int ascii = NarrowAsciiBlock(source, destination);
            source += ascii;
            destination += ascii;
            if (ascii == kAsciiBlock)
                continue;
        }
        const UniChar unit = *source;
        int32_t units = 1;
        uint8_t byte;
        if (unit < 0x80)
        {
            byte = uint8_t(unit);
        }
        else if ((byte = EncodeHighUnit(unit)) == 0)
        {
            byte = '?';
            if (StartsSurrogatePair(source, sourceEnd))
                units = 2;
        }
        *destination++ = byte;
        source += units;
    }
    outCharsConsumed = int32_t(source - inSource);
    outBytesProduced = size_t(destination - static_cast<uint8_t*>(inDestination));
    return true;
}

} // namespace kova
