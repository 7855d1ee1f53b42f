// The built-in UTF-8 encoder. A surrogate pair becomes one 4-byte sequence; a lone surrogate of
// either kind becomes its own 3-byte form (which the decoder reads back as the same unit), except
// a high surrogate that ends a piece given to Convert: the encoder stops before it and reports it
// as not consumed, since its partner may come with the next piece. At the end of the text
// (ConvertLast) it is encoded alone too. The encoder never fails; it stops, with true, where the
// next character does not fit.
//
// With a null destination the same walk only counts the bytes the text needs.
#pragma once

#include "kernel/text/VFromUnicodeConverter.h"

namespace kova
{

class VFromUnicodeConverter_UTF8 : public VFromUnicodeConverter
{
public:
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    bool ConvertLast(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                     void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    int32_t GetCharSize() const override { return 1; }

    // The same from 32-bit units (UTF-32, or UTF-16 units widened one by one: a high surrogate
    // pairs with a low one that follows). Values up to 0x7FFFFFFF take up to 6 bytes; a value
    // with the top bit set stops the encoding with false.
    bool ConvertFrom_wchar(const wchar_t* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                           void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const;
};

} // namespace kova
