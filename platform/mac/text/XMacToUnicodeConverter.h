// XMacToUnicodeConverter decodes every character set the toolbox does not decode itself, through
// the platform's text encoding converter: a conversion info when the platform has one for the
// encoding, else a converter object. A set the platform cannot decode gives an invalid converter,
// which XMacIntlMgr::NewToUnicodeConverter throws away.
//
// A status that only says the output is full or the input ends inside a character counts as
// success; any other failure raises the platform's status as a CARB error. A converter object
// (the sets with shift states) carries its state from one call to the next: a text decoded in
// chunks keeps the shift sequence a chunk left open, and decodes as the whole text does.
#pragma once

#include "kernel/text/VToUnicodeConverter.h"
#include "platform/mac/frameworks/TextEncodingConverter.h"

namespace kova
{

class XMacToUnicodeConverter : public VToUnicodeConverter
{
public:
    explicit XMacToUnicodeConverter(CharSet inCharSet);
    ~XMacToUnicodeConverter() override;

    bool IsValid() const override { return fInfo != nullptr || fConverter != nullptr; }
    bool Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed, UniChar* inDestination,
                 int32_t inDestinationChars, int32_t& outProducedChars) const override;
    // The end of the input: a character cut short decodes to a replacement character, and a
    // converter object returns to its initial state.
    bool ConvertLast(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                     UniChar* inDestination, int32_t inDestinationChars,
                     int32_t& outProducedChars) const override;

private:
    bool _Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                  UniChar* inDestination, int32_t inDestinationChars, int32_t& outProducedChars,
                  bool inLast) const;

    tec::TextEncoding fEncoding;
    tec::TextToUnicodeInfo fInfo = nullptr;
    tec::TECObjectRef fConverter = nullptr;
    tec::TextEncoding fUnicodeEncoding;
};

} // namespace kova
