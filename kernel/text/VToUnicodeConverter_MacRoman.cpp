#include "kernel/text/VToUnicodeConverter_MacRoman.h"

#include "kernel/text/AsciiRuns.h"

#include <algorithm>
#include <array>

namespace kova
{

namespace
{

// Every byte's unit, so that text is decoded without a branch on each byte.
constexpr std::array<UniChar, 256> MakeUnits()
{
    std::array<UniChar, 256> units{};
    for (int byte = 0; byte < 256; ++byte)
        units[byte] = byte < 0x80 ? UniChar(byte) : VToUnicodeConverter_MacRoman::sHighHalf[byte - 0x80];
    return units;
}

constexpr std::array<UniChar, 256> kUnits = MakeUnits();

constexpr size_t kRun = 2 * kAsciiBlock;

// Decodes runs of 32 bytes. A run of ASCII is widened at once; any other is looked up byte by
// byte: in text that mixes high bytes with ASCII a branch on where they lie would cost more than
// the lookups. Source and destination never overlap (the units take twice the room), which lets
// the lookups run ahead of the stores.
void DecodeRuns(const uint8_t* __restrict inSource, UniChar* __restrict outDestination, size_t inRuns)
{
    for (size_t run = 0; run < inRuns; ++run, inSource += kRun, outDestination += kRun)
    {
        if ((HighBytes(inSource) | HighBytes(inSource + kAsciiBlock)) == 0)
        {
            WidenBlock(inSource, outDestination);
            WidenBlock(inSource + kAsciiBlock, outDestination + kAsciiBlock);
            continue;
        }
        for (size_t i = 0; i < kRun; ++i)
            outDestination[i] = kUnits[inSource[i]];
    }
}

} // namespace

bool VToUnicodeConverter_MacRoman::Convert(const void* inSource, size_t inSourceBytes,
                                           size_t& outBytesConsumed, UniChar* inDestination,
                                           int32_t inDestinationChars, int32_t& outProducedChars) const
{
    const size_t count = std::min(inSourceBytes, size_t(std::max(inDestinationChars, 0)));
    const auto* source = static_cast<const uint8_t*>(inSource);
    const size_t runs = count / kRun;
    DecodeRuns(source, inDestination, runs);
    for (size_t i = runs * kRun; i < count; ++i)
        inDestination[i] = kUnits[source[i]];
    outBytesConsumed = count;
    outProducedChars = int32_t(count);
    return true;
}

} // namespace kova
