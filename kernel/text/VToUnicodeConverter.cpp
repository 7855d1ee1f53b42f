#include "kernel/text/VToUnicodeConverter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VString.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace kova
{

namespace
{

uint32_t LoadUnit32(const uint8_t* inBytes, bool inSwap)
{
    uint32_t value;
    std::memcpy(&value, inBytes, sizeof(value));
    return inSwap ? __builtin_bswap32(value) : value;
}

void SwapUnits(UniChar* ioUnits, size_t inCount)
{
    for (size_t i = 0; i < inCount; ++i)
        ioUnits[i] = UniChar(__builtin_bswap16(uint16_t(ioUnits[i])));
}

} // namespace

VToUnicodeConverter::~VToUnicodeConverter() = default;

bool VToUnicodeConverter::ConvertString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                                        VString& ioString) const
{
    return _ConvertPasses(inSource, inSourceBytes, outBytesConsumed, ioString, false);
}

bool VToUnicodeConverter::ConvertLastString(const void* inSource, size_t inSourceBytes,
                                            size_t* outBytesConsumed, VString& ioString) const
{
    return _ConvertPasses(inSource, inSourceBytes, outBytesConsumed, ioString, true);
}

bool VToUnicodeConverter::ConvertLast(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                      UniChar* inDestination, int32_t inDestinationChars,
                                      int32_t& outProducedChars) const
{
    return Convert(inSource, inSourceBytes, outBytesConsumed, inDestination, inDestinationChars,
                   outProducedChars);
}

namespace
{

// A pass that reads nothing gets a larger room at most this many times in a row: a decoder that
// keeps state may owe more units than the bytes it is given (what it held from the piece before),
// and the end of the input may release such units with no byte at all.
constexpr int kMaxRoomEnlargements = 2;

int64_t PassRoom(size_t inRemaining, bool inLast, int inEnlargements)
{
    int64_t room = int64_t(std::min<size_t>(inRemaining, INT32_MAX)) + (inLast ? 16 : 1);
    for (int i = 0; i < inEnlargements; ++i)
        room = room * 2 + 16;
    return room;
}

} // namespace

// Each pass gives the decoder one unit of room per byte and one more, which is enough for every
// built-in decoder; a decoder that still stops short (a platform one, or a string that cannot
// hold that much) gets another pass over the rest as long as the passes make progress.
bool VToUnicodeConverter::_ConvertPasses(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                                         VString& ioString, bool inLast) const
{
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = 0;
    const int32_t originalLength = ioString.GetLength();
    const auto* source = static_cast<const uint8_t*>(inSource);
    size_t remaining = inSourceBytes;
    size_t consumedTotal = 0;
    int passes = 0;
    int enlargements = 0;
    bool result = true;
    for (;;)
    {
        const int32_t oldLength = ioString.GetLength();
        const int64_t room =
            std::min<int64_t>(PassRoom(remaining, inLast, enlargements), int64_t(INT32_MAX) - 1 - oldLength);
        if (room <= 0 || !ioString.EnsureSize(oldLength + int32_t(room)))
        {
            VString message("conversion failed (EnsureSize failed).");
            _ThrowError(MakeKovaError(300), &message);
            result = false;
            break;
        }
        size_t consumed = 0;
        int32_t produced = 0;
        UniChar* destination = ioString.GetCPointerForWrite() + oldLength;
        const bool converted =
            inLast ? ConvertLast(source, remaining, consumed, destination, int32_t(room), produced)
                   : Convert(source, remaining, consumed, destination, int32_t(room), produced);
        ++passes;
        ioString.Validate(oldLength + produced);
        consumed = std::min(consumed, remaining);
        consumedTotal += consumed;
        source += consumed;
        remaining -= consumed;
        result = converted;
        // A last pass that filled its room may owe more units.
        if (remaining == 0 && (!inLast || produced < room))
            break;
        if (consumed == 0)
        {
            // An incomplete character at the end of a piece, or not enough room; a decoder that
            // keeps producing without reading is not followed forever either.
            if (!converted || ++enlargements > kMaxRoomEnlargements)
                break;
            continue;
        }
        enlargements = 0;
    }
    if (!result && passes > 1)
    {
        ioString.Truncate(originalLength);
        consumedTotal = 0;
    }
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = consumedTotal;
    return result;
}

// ---------------------------------------------------------------------------------------------
// UTF-16

namespace
{

// Appends the whole units of the bytes; the odd byte of an odd count is left unconsumed.
bool AppendUTF16Units(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed, VString& ioString,
                      bool inSwap)
{
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = 0;
    const size_t units = inSourceBytes / 2;
    const int32_t oldLength = ioString.GetLength();
    ioString.AppendBlock(inSource, units * 2, VTC_UTF_16);
    if (size_t(ioString.GetLength() - oldLength) != units)
        return false;
    if (inSwap)
        SwapUnits(ioString.GetCPointerForWrite() + oldLength, units);
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = units * 2;
    return true;
}

// Copies the whole units that fit; returns how many.
size_t CopyUTF16Units(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                      UniChar* inDestination, int32_t inDestinationChars, int32_t& outProducedChars)
{
    size_t room = inDestinationChars > 0 ? size_t(inDestinationChars) * 2 : 0;
    size_t bytes = std::min(room, inSourceBytes) & ~size_t(1);
    if (bytes != 0)
        std::memmove(inDestination, inSource, bytes);
    outBytesConsumed = bytes;
    outProducedChars = int32_t(bytes / 2);
    return bytes / 2;
}

} // namespace

bool VToUnicodeConverter_Null::ConvertString(const void* inSource, size_t inSourceBytes,
                                             size_t* outBytesConsumed, VString& ioString) const
{
    return AppendUTF16Units(inSource, inSourceBytes, outBytesConsumed, ioString, false);
}

bool VToUnicodeConverter_Null::Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                       UniChar* inDestination, int32_t inDestinationChars,
                                       int32_t& outProducedChars) const
{
    CopyUTF16Units(inSource, inSourceBytes, outBytesConsumed, inDestination, inDestinationChars,
                   outProducedChars);
    return true;
}

bool VToUnicodeConverter_Swap::ConvertString(const void* inSource, size_t inSourceBytes,
                                             size_t* outBytesConsumed, VString& ioString) const
{
    return AppendUTF16Units(inSource, inSourceBytes, outBytesConsumed, ioString, true);
}

bool VToUnicodeConverter_Swap::Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                       UniChar* inDestination, int32_t inDestinationChars,
                                       int32_t& outProducedChars) const
{
    SwapUnits(inDestination, CopyUTF16Units(inSource, inSourceBytes, outBytesConsumed, inDestination,
                                            inDestinationChars, outProducedChars));
    return true;
}

// ---------------------------------------------------------------------------------------------
// UTF-32

bool VToUnicodeConverter_UTF32::Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                        UniChar* inDestination, int32_t inDestinationChars,
                                        int32_t& outProducedChars) const
{
    const auto* source = static_cast<const uint8_t*>(inSource);
    const uint8_t* sourceEnd = source + (inSourceBytes & ~size_t(3));
    UniChar* destination = inDestination;
    const UniChar* destinationEnd = inDestination + std::max(inDestinationChars, 0);
    bool result = true;
    while (source < sourceEnd)
    {
        if (destination == destinationEnd)
        {
            result = false;
            break;
        }
        uint32_t value = LoadUnit32(source, fSwap);
        if (value < 0x10000)
        {
            if (IsSurrogate(value))
            {
                result = false;
                break;
            }
            *destination++ = UniChar(value);
        }
        else if (value < 0x110000)
        {
            if (destinationEnd - destination < 2)
            {
                result = false;
                break;
            }
            *destination++ = HighSurrogateOf(value);
            *destination++ = LowSurrogateOf(value);
        }
        else
        {
            // Not a character: dropped, and the caller learns that the text lost something.
            result = false;
        }
        source += 4;
    }
    outBytesConsumed = size_t(source - static_cast<const uint8_t*>(inSource));
    outProducedChars = int32_t(destination - inDestination);
    return result;
}

bool VToUnicodeConverter_UTF32_Raw::ConvertString(const void* inSource, size_t inSourceBytes,
                                                  size_t* outBytesConsumed, VString& ioString) const
{
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = 0;
    const int32_t oldLength = ioString.GetLength();
    const size_t units = inSourceBytes / 4;
    if (units > size_t(INT32_MAX - 1 - oldLength) || !ioString.EnsureSize(oldLength + int32_t(units)))
        return false;
    size_t consumed = 0;
    int32_t produced = 0;
    Convert(inSource, inSourceBytes, consumed, ioString.GetCPointerForWrite() + oldLength, int32_t(units),
            produced);
    ioString.Validate(oldLength + produced);
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = consumed;
    return true;
}

bool VToUnicodeConverter_UTF32_Raw::Convert(const void* inSource, size_t inSourceBytes,
                                            size_t& outBytesConsumed, UniChar* inDestination,
                                            int32_t inDestinationChars, int32_t& outProducedChars) const
{
    size_t room = inDestinationChars > 0 ? size_t(inDestinationChars) : 0;
    size_t units = std::min(room, inSourceBytes / 4);
    const auto* source = static_cast<const uint8_t*>(inSource);
    // Narrowing in place is safe from the first unit on whenever the destination starts at or
    // before the source; a destination that starts inside the source reads from a copy.
    std::unique_ptr<uint8_t[]> copy;
    auto* destinationBytes = reinterpret_cast<const uint8_t*>(inDestination);
    if (destinationBytes > source && destinationBytes < source + units * 4)
    {
        copy.reset(new (std::nothrow) uint8_t[units * 4]);
        if (copy == nullptr)
        {
            outBytesConsumed = 0;
            outProducedChars = 0;
            return false;
        }
        std::memcpy(copy.get(), source, units * 4);
        source = copy.get();
    }
    for (size_t i = 0; i < units; ++i)
        inDestination[i] = UniChar(LoadUnit32(source + i * 4, fSwap));
    outBytesConsumed = units * 4;
    outProducedChars = int32_t(units);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Void

bool VToUnicodeConverter_Void::ConvertString(const void*, size_t, size_t* outBytesConsumed, VString&) const
{
    if (outBytesConsumed != nullptr)
        *outBytesConsumed = 0;
    return false;
}

bool VToUnicodeConverter_Void::Convert(const void*, size_t, size_t& outBytesConsumed, UniChar*, int32_t,
                                       int32_t& outProducedChars) const
{
    outBytesConsumed = 0;
    outProducedChars = 0;
    return false;
}

} // namespace kova
