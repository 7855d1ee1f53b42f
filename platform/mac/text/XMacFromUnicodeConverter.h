// XMacFromUnicodeConverter encodes into every character set the toolbox does not encode itself,
// through the platform's text encoding converter (see XMacToUnicodeConverter). A character the
// set lacks becomes one "?" byte (a surrogate pair being one character), so that the text goes
// on after it; any failure other than a full output raises the platform's status as a CARB error.
// For the sets with shift states, a call that the output cuts short leaves the shift state for the
// next call, which goes on with the text; the call that reaches its end returns to the initial state.
#pragma once

#include "kernel/text/VFromUnicodeConverter.h"
#include "platform/mac/frameworks/TextEncodingConverter.h"

namespace kova
{

class XMacFromUnicodeConverter : public VFromUnicodeConverter
{
public:
    explicit XMacFromUnicodeConverter(CharSet inCharSet);
    ~XMacFromUnicodeConverter() override;

    bool IsValid() const override { return fInfo != nullptr || fConverter != nullptr; }
    bool Convert(const UniChar* inSource, int32_t inSourceChars, int32_t& outCharsConsumed,
                 void* inDestination, size_t inDestinationBytes, size_t& outBytesProduced) const override;
    // The bytes budgeted for each unit, from the encoding's format: 2 for every code page.
    int32_t GetCharSize() const override;

private:
    tec::TextEncoding fEncoding;
    tec::UnicodeToTextInfo fInfo = nullptr;
    tec::TECObjectRef fConverter = nullptr;
    tec::TextEncoding fUnicodeEncoding;
};

} // namespace kova
