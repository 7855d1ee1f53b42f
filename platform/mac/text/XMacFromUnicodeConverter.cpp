#include "platform/mac/text/XMacFromUnicodeConverter.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/text/Surrogates.h"
#include "platform/mac/text/XMacTextEncoding.h"

#include <algorithm>

namespace kova
{

XMacFromUnicodeConverter::XMacFromUnicodeConverter(CharSet inCharSet)
    : fEncoding(XMacTextEncoding::FromCharSet(inCharSet)),
      fUnicodeEncoding(tec::CreateTextEncoding(tec::kTextEncodingUnicodeDefault, 0, tec::kUnicode16BitFormat))
{
    if (fEncoding == tec::kTextEncodingUnknown)
        return;
    if (tec::CreateUnicodeToTextInfoByEncoding(fEncoding, &fInfo) == tec::kTextUnsupportedEncodingErr)
        tec::TECCreateConverter(&fConverter, fUnicodeEncoding, fEncoding);
}

XMacFromUnicodeConverter::~XMacFromUnicodeConverter()
{
    if (fInfo != nullptr)
        tec::DisposeUnicodeToTextInfo(&fInfo);
    if (fConverter != nullptr)
        tec::TECDisposeConverter(fConverter);
}

bool XMacFromUnicodeConverter::Convert(const UniChar* inSource, int32_t inSourceChars,
                                       int32_t& outCharsConsumed, void* inDestination,
                                       size_t inDestinationBytes, size_t& outBytesProduced) const
{
    outCharsConsumed = 0;
    outBytesProduced = 0;
    if (!IsValid())
        return false;
    if (inDestinationBytes == 0)
        return true;
    auto* destination = static_cast<uint8_t*>(inDestination);
    size_t consumed = 0;
    size_t produced = 0;
    size_t remaining = size_t(std::max(inSourceChars, 0));
    for (;;)
    {
        size_t read = 0;
        size_t written = 0;
        tec::OSStatus status =
            fInfo != nullptr
                ? tec::ConvertFromUnicodeToText(fInfo, remaining * 2, inSource + consumed,
                                                tec::kUnicodeLooseMappingsMask, inDestinationBytes - produced,
                                                &read, &written, destination + produced)
                : tec::TECConvertText(fConverter, inSource + consumed, remaining * 2, &read,
                                      destination + produced, inDestinationBytes - produced, &written);
        consumed += read / 2;
        remaining -= read / 2;
        produced += written;
        if (status == tec::noErr || status == tec::kTECOutputBufferFullStatus)
            break;
        if (status == tec::kTECUnmappableElementErr && remaining > 0)
        {
            // Replaced while the output is less than half full; past that, the caller's next
            // pass, with fresh room, resumes at the character.
            if (produced >= inDestinationBytes / 2)
                break;
            destination[produced++] = '?';
            const UniChar* unit = inSource + consumed;
            size_t skipped = StartsSurrogatePair(unit, unit + remaining) ? 2 : 1;
            consumed += skipped;
            remaining -= skipped;
            if (remaining == 0)
                break;
            continue;
        }
        _ThrowError(MakeVError(kCOMPONENT_CARBON, uint32_t(status)));
        return false;
    }
    outCharsConsumed = int32_t(consumed);
    outBytesProduced = produced;
    return true;
}

int32_t XMacFromUnicodeConverter::GetCharSize() const
{
    static constexpr int32_t kBytesPerUnit[8] = {2, 1, 1, 4, 2, 2, 4, 4};
    tec::TextEncodingFormat format = tec::GetTextEncodingFormat(fEncoding);
    return format < 8 ? kBytesPerUnit[format] : 1;
}

} // namespace kova
