// VToUnicodeConverter decodes the bytes of one character set into UTF-16 units. Converters are
// reference-counted and handed out by VTextConverters per CharSet; they keep no conversion state
// between calls, so one converter may serve several tasks at once. This header also holds the
// built-in decoders of the Unicode forms (UTF-16 in both byte orders, UTF-32 and raw 32-bit units
// in both byte orders) and the Void decoder that stands for a set nobody can decode; UTF-8 and
// Mac Roman have their own headers.
//
// Convert decodes as much as fits and always stores both counts; ConvertString appends to a
// string, growing it once from the byte count. Both may be fed a text in pieces: a character cut
// short by the end of a piece is left unconsumed, to be given again with the bytes that follow.
// ConvertLast and ConvertLastString decode bytes that end the input: nothing more can come, so
// such a character is decoded as the converter decodes other ill-formed bytes, never dropped.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VString;

class VToUnicodeConverter : public VObject, public IRefCountable
{
public:
    VToUnicodeConverter() = default;
    VToUnicodeConverter(const VToUnicodeConverter&) = delete;
    VToUnicodeConverter& operator=(const VToUnicodeConverter&) = delete;
    ~VToUnicodeConverter() override;

    virtual bool IsValid() const { return true; }

    // Appends the decoded bytes to ioString. The consumed byte count, when asked for, falls short
    // of inSourceBytes by an incomplete character at the end. False with the string unchanged when
    // it cannot grow (kova error 300) or when a later pass of the decoder fails.
    virtual bool ConvertString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                               VString& ioString) const;

    // ConvertString over bytes that end the input (whole-buffer decoding).
    virtual bool ConvertLastString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                                   VString& ioString) const;

    // Decodes into at most inDestinationChars units.
    virtual bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                         UniChar* inDestination, int32_t inDestinationChars,
                         int32_t& outProducedChars) const = 0;
    // Convert over bytes that end the input; the base is Convert, for converters that never keep
    // a character back. Called with no bytes, a converter that keeps state gives what it holds.
    virtual bool ConvertLast(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                             UniChar* inDestination, int32_t inDestinationChars,
                             int32_t& outProducedChars) const;

    virtual int32_t GetCharSize() const { return 2; }

private:
    // The passes of ConvertString and ConvertLastString.
    bool _ConvertPasses(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                        VString& ioString, bool inLast) const;
};

// UTF-16 in the processor's order: a copy.
class VToUnicodeConverter_Null : public VToUnicodeConverter
{
public:
    bool ConvertString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                       VString& ioString) const override;
    // Nothing is ever kept back: as ConvertString.
    bool ConvertLastString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                           VString& ioString) const override
    {
        return ConvertString(inSource, inSourceBytes, outBytesConsumed, ioString);
    }
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;
};

// UTF-16 in the opposite order.
class VToUnicodeConverter_Swap : public VToUnicodeConverter
{
public:
    bool ConvertString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                       VString& ioString) const override;
    // Nothing is ever kept back: as ConvertString.
    bool ConvertLastString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                           VString& ioString) const override
    {
        return ConvertString(inSource, inSourceBytes, outBytesConsumed, ioString);
    }
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;
};

// UTF-32; inSwap when the bytes are in the order opposite to the processor's. A surrogate value
// stops the decoding with false; a value of 0x110000 or more is dropped and makes the result
// false. A trailing partial unit is left unconsumed.
class VToUnicodeConverter_UTF32 : public VToUnicodeConverter
{
public:
    explicit VToUnicodeConverter_UTF32(bool inSwap) : fSwap(inSwap) {}
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;

private:
    bool fSwap;
};

// 32-bit units that each carry one UTF-16 unit in their low half. The destination may overlap
// the source (decoding in place).
class VToUnicodeConverter_UTF32_Raw : public VToUnicodeConverter
{
public:
    explicit VToUnicodeConverter_UTF32_Raw(bool inSwap) : fSwap(inSwap) {}
    bool ConvertString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                       VString& ioString) const override;
    // Nothing is ever kept back: as ConvertString.
    bool ConvertLastString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                           VString& ioString) const override
    {
        return ConvertString(inSource, inSourceBytes, outBytesConsumed, ioString);
    }
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;

private:
    bool fSwap;
};

// A set that cannot be decoded: nothing is consumed or produced, and every conversion fails.
class VToUnicodeConverter_Void : public VToUnicodeConverter
{
public:
    bool IsValid() const override { return false; }
    bool ConvertString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                       VString& ioString) const override;
    // Nothing is ever kept back: as ConvertString.
    bool ConvertLastString(const void* inSource, size_t inSourceBytes, size_t* outBytesConsumed,
                           VString& ioString) const override
    {
        return ConvertString(inSource, inSourceBytes, outBytesConsumed, ioString);
    }
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;
    int32_t GetCharSize() const override { return 1; }
};

} // namespace kova
