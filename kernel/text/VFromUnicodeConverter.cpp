#include "kernel/text/VFromUnicodeConverter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VString.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace kova
{

namespace
{

void StoreUnit32(uint8_t* outBytes, uint32_t inValue, bool inSwap)
{
    if (inSwap)
        inValue = __builtin_bswap32(inValue);
    std::memcpy(outBytes, &inValue, sizeof(inValue));
}

void ThrowMemFailure()
{
    VString message("mem failure");
    _ThrowError(MakeKovaError(300), &message);
}

// Room for one pass: GetCharSize bytes a unit and two more units. A pass that makes no progress
// gets a larger room at most twice (an encoder may need more than its budget for one character,
// escape sequences included); a third one ends the conversion.
constexpr int kMaxRoomEnlargements = 2;

size_t PassRoom(int32_t inCharSize, int32_t inRemaining, int inEnlargements)
{
    size_t room = size_t(std::max(inCharSize, 1)) * (size_t(inRemaining) + 2);
    for (int i = 0; i < inEnlargements; ++i)
        room = room * 2 + 16;
    return room;
}

} // namespace

VFromUnicodeConverter::~VFromUnicodeConverter() = default;

namespace
{

// The passes of ConvertRealloc and ConvertToBuffer. inMakeRoom(n) gives a block of at least n
// bytes that holds the ioUsed bytes written so far (it may move), or null when it cannot.
template <class MakeRoom>
bool ConvertInPasses(const VFromUnicodeConverter& inConverter, const UniChar* inSource, int32_t inSourceChars,
                     size_t& ioUsed, size_t inExtraBytes, int32_t* outCharsConsumed,
                     const MakeRoom& inMakeRoom)
{
    const UniChar* source = inSource;
    int32_t remaining = std::max(inSourceChars, 0);
    int enlargements = 0;
    bool result = true;
    // Even empty text gets its one pass: the caller counts on the reserved bytes.
    for (;;)
    {
        const size_t room = PassRoom(inConverter.GetCharSize(), remaining, enlargements);
        uint8_t* block =
            ioUsed <= SIZE_MAX - inExtraBytes - room ? inMakeRoom(ioUsed + inExtraBytes + room) : nullptr;
        if (block == nullptr)
        {
            ThrowMemFailure();
            result = false;
            break;
        }

        size_t roomLeft = room;
        int32_t consumedThisRound = 0;
        size_t produced = 0;
        do
        {
            int32_t consumed = 0;
            produced = 0;
            result = inConverter.ConvertLast(source, remaining, consumed, block + ioUsed, roomLeft, produced);
            ioUsed += produced;
            roomLeft -= produced;
            source += consumed;
            remaining -= consumed;
            consumedThisRound += consumed;
        } while (result && remaining > 0 && produced > 0);

        if (!result || remaining == 0)
            break;
        if (consumedThisRound == 0 && ++enlargements > kMaxRoomEnlargements)
            break;
    }
    if (outCharsConsumed != nullptr)
        *outCharsConsumed = int32_t(source - inSource);
    return result;
}

} // namespace

bool VFromUnicodeConverter::ConvertRealloc(const UniChar* inSource, int32_t inSourceChars, void*& ioBlock,
                                           size_t& ioBytesInBlock, size_t inExtraBytes,
                                           int32_t* outCharsConsumed) const
{
    return ConvertInPasses(*this, inSource, inSourceChars, ioBytesInBlock, inExtraBytes, outCharsConsumed,
                           [&ioBlock](size_t inSize)
                           {
                               VCppMemMgr* manager = VObject::sCppMemMgr;
                               void* grown = manager != nullptr ? manager->Realloc(ioBlock, inSize) : nullptr;
                               if (grown != nullptr)
                                   ioBlock = grown;
                               return static_cast<uint8_t*>(grown);
                           });
}

bool VFromUnicodeConverter::ConvertToBuffer(const UniChar* inSource, int32_t inSourceChars,
                                            VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBuffer,
                                            size_t inExtraBytes, int32_t* outCharsConsumed) const
{
    size_t used = ioBuffer.GetDataSize();
    bool result = ConvertInPasses(*this, inSource, inSourceChars, used, inExtraBytes, outCharsConsumed,
                                  [&ioBuffer](size_t inSize) {
                                      return ioBuffer._EnlargeAmortized(inSize)
                                                 ? static_cast<uint8_t*>(ioBuffer.GetDataPtr())
                                                 : nullptr;
                                  });
    // Refused only when no room could be had at all, and then nothing was written.
    ioBuffer.SetDataSize(used + inExtraBytes);
    return result;
}

// ---------------------------------------------------------------------------------------------
// UTF-16

namespace
{

// Copies the whole units that fit; returns the bytes copied.
size_t CopyUTF16Units(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                      void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced)
{
    size_t bytes = inSourceChars > 0 ? size_t(inSourceChars) * 2 : 0;
    bytes = std::min(bytes, inDestinationBytes) & ~size_t(1);
    if (bytes != 0)
        std::memmove(inDestination, inSource, bytes);
    outCharsConsumed = int32_t(bytes / 2);
    outBytesProduced = bytes;
    return bytes;
}

} // namespace

bool VFromUnicodeConverter_Null::Convert(const UniChar* inSource, int32_t inSourceChars,
                                         int32_t& outCharsConsumed, void* inDestination,
                                         size_t inDestinationBytes, size_t& outBytesProduced) const
{
    CopyUTF16Units(inSource, inSourceChars, outCharsConsumed, inDestination, inDestinationBytes,
                   outBytesProduced);
    return true;
}

bool VFromUnicodeConverter_Swap::Convert(const UniChar* inSource, int32_t inSourceChars,
                                         int32_t& outCharsConsumed, void* inDestination,
                                         size_t inDestinationBytes, size_t& outBytesProduced) const
{
    size_t bytes = CopyUTF16Units(inSource, inSourceChars, outCharsConsumed, inDestination,
                                  inDestinationBytes, outBytesProduced);
    auto* units = static_cast<uint8_t*>(inDestination);
    for (size_t i = 0; i < bytes; i += 2)
        std::swap(units[i], units[i + 1]);
    return true;
}

// ---------------------------------------------------------------------------------------------
// UTF-32

bool VFromUnicodeConverter_UTF32::Convert(const UniChar* inSource, int32_t inSourceChars,
                                          int32_t& outCharsConsumed, void* inDestination,
                                          size_t inDestinationBytes, size_t& outBytesProduced) const
{
    const UniChar* source = inSource;
    const UniChar* const sourceEnd = inSource + std::max(inSourceChars, 0);
    auto* destination = static_cast<uint8_t*>(inDestination);
    const uint8_t* const destinationEnd = destination + inDestinationBytes;
    bool result = true;
    while (source < sourceEnd)
    {
        uint32_t value = *source;
        int32_t units = 1;
        if (IsHighSurrogate(value))
        {
            if (!StartsSurrogatePair(source, sourceEnd))
            {
                result = false;
                break;
            }
            value = JoinSurrogates(value, source[1]);
            units = 2;
        }
        else if (IsLowSurrogate(value))
        {
            result = false;
            break;
        }
        if (destinationEnd - destination < 4)
        {
            result = false;
            break;
        }
        StoreUnit32(destination, value, fSwap);
        destination += 4;
        source += units;
    }
    outCharsConsumed = int32_t(source - inSource);
    outBytesProduced = size_t(destination - static_cast<uint8_t*>(inDestination));
    return result;
}

bool VFromUnicodeConverter_UTF32_Raw::Convert(const UniChar* inSource, int32_t inSourceChars,
                                              int32_t& outCharsConsumed, void* inDestination,
                                              size_t inDestinationBytes, size_t& outBytesProduced) const
{
    size_t units = std::min(size_t(std::max(inSourceChars, 0)), inDestinationBytes / 4);
    auto* destination = static_cast<uint8_t*>(inDestination);
    const UniChar* source = inSource;
    // Widening in place is safe from the last unit down whenever the destination starts at or
    // after the source; a destination that ends inside the source reads from a copy.
    std::unique_ptr<UniChar[]> copy;
    auto* sourceBytes = reinterpret_cast<const uint8_t*>(inSource);
    if (destination < sourceBytes && destination + units * 4 > sourceBytes)
    {
        copy.reset(new (std::nothrow) UniChar[units]);
        if (copy == nullptr)
        {
            outCharsConsumed = 0;
            outBytesProduced = 0;
            return false;
        }
        std::memcpy(copy.get(), inSource, units * sizeof(UniChar));
        source = copy.get();
    }
    for (size_t i = units; i-- > 0;)
        StoreUnit32(destination + i * 4, source[i], fSwap);
    outCharsConsumed = int32_t(units);
    outBytesProduced = units * 4;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Void

bool VFromUnicodeConverter_Void::Convert(const UniChar*, int32_t, int32_t& outCharsConsumed, void*, size_t,
                                         size_t& outBytesProduced) const
{
    outCharsConsumed = 0;
    outBytesProduced = 0;
    return false;
}

} // namespace kova
