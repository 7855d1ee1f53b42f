// The built-in UTF-8 decoder. It is lenient where stored text may rely on it and strict where
// leniency would be unsafe:
// - a lone byte 0x80-0xBF gives the unit of the same value, C0 80 gives U+0000, and the 3-byte
//   forms of surrogates give surrogate units (text written by older encoders reads back as it
//   was written);
// - a lead byte whose trailing bytes are not all of the form 10xxxxxx is taken alone, as the unit
//   of the same value, and decoding resumes at the next byte: no well-formed byte is swallowed;
// - an overlong form of a character below U+0080 (other than C0 80) gives U+FFFD, so that no '/',
//   '.', '"' or '<' can hide in one; longer overlong forms give their value;
// - a value of 0x110000 or more gives "?" and makes the result false;
// - a sequence cut short by the end of a piece of input is left unconsumed, so that the caller
//   can feed it again with the bytes that follow; at the end of the input (ConvertLast) its lead
//   stands alone like any other ill-formed byte: 37 FF gives "7" and U+00FF.
#pragma once

#include "kernel/text/VToUnicodeConverter.h"

namespace kova
{

class VToUnicodeConverter_UTF8 : public VToUnicodeConverter
{
public:
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;
    bool ConvertLast(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                     UniChar* inDestination, int32_t inDestinationChars,
                     int32_t& outProducedChars) const override;
};

} // namespace kova
