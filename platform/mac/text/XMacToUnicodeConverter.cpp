#include "platform/mac/text/XMacToUnicodeConverter.h"

#include "kernel/errors/VErrorBase.h"
#include "platform/mac/text/XMacTextEncoding.h"

#include <algorithm>

namespace kova
{

XMacToUnicodeConverter::XMacToUnicodeConverter(CharSet inCharSet)
    : fEncoding(XMacTextEncoding::FromCharSet(inCharSet)),
      fUnicodeEncoding(tec::CreateTextEncoding(tec::kTextEncodingUnicodeDefault, 0, tec::kUnicode16BitFormat))
{
    if (fEncoding == tec::kTextEncodingUnknown)
        return;
    if (tec::CreateTextToUnicodeInfoByEncoding(fEncoding, &fInfo) == tec::kTextUnsupportedEncodingErr)
        tec::TECCreateConverter(&fConverter, fEncoding, fUnicodeEncoding);
}

XMacToUnicodeConverter::~XMacToUnicodeConverter()
{
    if (fInfo != nullptr)
        tec::DisposeTextToUnicodeInfo(&fInfo);
    if (fConverter != nullptr)
        tec::TECDisposeConverter(fConverter);
}

bool XMacToUnicodeConverter::Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                     UniChar* inDestination, int32_t inDestinationChars,
                                     int32_t& outProducedChars) const
{
    return _Convert(inSource, inSourceBytes, outBytesConsumed, inDestination, inDestinationChars,
                    outProducedChars, false);
}

bool XMacToUnicodeConverter::ConvertLast(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                         UniChar* inDestination, int32_t inDestinationChars,
                                         int32_t& outProducedChars) const
{
    return _Convert(inSource, inSourceBytes, outBytesConsumed, inDestination, inDestinationChars,
                    outProducedChars, true);
}

bool XMacToUnicodeConverter::_Convert(const void* inSource, size_t inSourceBytes, size_t& outBytesConsumed,
                                      UniChar* inDestination, int32_t inDestinationChars,
                                      int32_t& outProducedChars, bool inLast) const
{
    outBytesConsumed = 0;
    outProducedChars = 0;
    if (!IsValid())
        return false;
    const size_t capacity = size_t(std::max(inDestinationChars, 0)) * 2;
    size_t read = 0;
    size_t written = 0;
    tec::OSStatus status =
        fInfo != nullptr
            ? tec::ConvertFromTextToUnicode(fInfo, inSourceBytes, inSource,
                                            tec::kUnicodeUseFallbacksMask | tec::kUnicodeLooseMappingsMask |
                                                (inLast ? tec::kUnicodeTextEndsMask : 0),
                                            capacity, &read, &written, inDestination)
            : tec::TECConvertText(fConverter, inSource, inSourceBytes, &read, inDestination, capacity,
                                  &written);
    if (inLast && fInfo == nullptr && (status == tec::noErr || status == tec::kTECPartialCharErr))
    {
        // The bytes the converter object handed back are the end of the input: flushed, they
        // count as read. Output that does not fit leaves them for the next, larger pass.
        size_t flushed = 0;
        tec::OSStatus flush = tec::TECFlushText(fConverter, reinterpret_cast<char*>(inDestination) + written,
                                                capacity - written, &flushed);
        if (flush == tec::noErr)
        {
            read = inSourceBytes;
            written += flushed;
            status = tec::noErr;
        }
        else if (flush != tec::kTECOutputBufferFullStatus)
        {
            status = flush;
        }
    }
    if (status == tec::noErr || status == tec::kTECOutputBufferFullStatus ||
        status == tec::kTECPartialCharErr)
    {
        outBytesConsumed = read;
        outProducedChars = int32_t(written / 2);
        return true;
    }
    if (inSourceBytes == 0)
        return true;
    _ThrowError(MakeVError(kCOMPONENT_CARBON, uint32_t(status)));
    return false;
}

} // namespace kova
