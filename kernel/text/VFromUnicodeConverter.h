// VFromUnicodeConverter encodes UTF-16 units into the bytes of one character set; the
// counterpart of VToUnicodeConverter, handed out by VTextConverters in the same way and, for
// the built-in ones, just as free of state. This header also holds the built-in encoders of the
// Unicode forms and the Void encoder; UTF-8 and Mac Roman have their own headers.
//
// Convert encodes as much as fits and always stores both counts; it may be given a text in
// pieces, so an encoder may leave a unit that waits for its partner (a high surrogate at the end)
// unconsumed. ConvertLast encodes units that end the text: nothing waits. ConvertRealloc and
// ConvertToBuffer append a whole text to a growing block through ConvertLast: they size it once
// from GetCharSize (the bytes budgeted for each unit) and grow it only when the encoder stops for
// lack of room. A pass that makes no progress ends them, so that text an encoder cannot take is
// reported as not consumed and never looped on.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VFromUnicodeConverter : public VObject, public IRefCountable
{
public:
    VFromUnicodeConverter() = default;
    VFromUnicodeConverter(const VFromUnicodeConverter&) = delete;
    VFromUnicodeConverter& operator=(const VFromUnicodeConverter&) = delete;
    ~VFromUnicodeConverter() override;

    virtual bool IsValid() const { return true; }

    // Encodes into at most inDestinationBytes bytes.
    virtual bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                         void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const = 0;
    // Convert over units that end the text; the base is Convert.
    virtual bool ConvertLast(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                             void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const
    {
        return Convert(inSource, inSourceChars, outCharsConsumed, inDestination, inDestinationBytes,
                       outBytesProduced);
    }

    virtual int32_t GetCharSize() const = 0;

    // Appends the encoded text to a memory-manager block of ioBytesInBlock used bytes, keeping
    // inExtraBytes reserved behind them (for a terminator, say): the block may move. On failure
    // (kova error 300 "mem failure" when the block cannot grow) the bytes appended so far stay.
    // outCharsConsumed, when asked for, tells how many units were encoded.
    bool ConvertRealloc(const UniChar* inSource, int32_t inSourceChars, void*& ioBlock,
                        size_t& ioBytesInBlock, size_t inExtraBytes,
                        int32_t* outCharsConsumed = nullptr) const;

    // The same at the end of a growable buffer, whose data size ends at its old size + the bytes
    // produced + inExtraBytes.
    bool ConvertToBuffer(const UniChar* inSource, int32_t inSourceChars,
                         VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBuffer, size_t inExtraBytes,
                         int32_t* outCharsConsumed = nullptr) const;
};

// UTF-16 in the processor's order: a copy.
class VFromUnicodeConverter_Null : public VFromUnicodeConverter
{
public:
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 2; }
};

// UTF-16 in the opposite order.
class VFromUnicodeConverter_Swap : public VFromUnicodeConverter
{
public:
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 2; }
};

// UTF-32; inSwap for the order opposite to the processor's. A lone surrogate, a high surrogate
// at the end, or a full output stops the encoding with false.
class VFromUnicodeConverter_UTF32 : public VFromUnicodeConverter
{
public:
    explicit VFromUnicodeConverter_UTF32(bool inSwap) : fSwap(inSwap) {}
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 4; }

private:
    bool fSwap;
};

// Each unit widened to 32 bits, surrogates and all. The destination may overlap the source
// (encoding in place).
class VFromUnicodeConverter_UTF32_Raw : public VFromUnicodeConverter
{
public:
    explicit VFromUnicodeConverter_UTF32_Raw(bool inSwap) : fSwap(inSwap) {}
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 4; }

private:
    bool fSwap;
};

// A set that cannot be encoded: nothing is consumed or produced, and every conversion fails.
class VFromUnicodeConverter_Void : public VFromUnicodeConverter
{
public:
    bool IsValid() const override { return false; }
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 2; }
};

} // namespace kova
