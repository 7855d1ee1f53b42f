#include "kernel/files/IFile.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VFromUnicodeConverter.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/VCppMemMgr.h"

#include <cstring>

namespace kova
{

namespace
{

constexpr UniChar kCR = 13;
constexpr UniChar kLF = 10;

// Every line end (CR LF, lone CR, lone LF) as the mode's; eCRM_NONE keeps them. The string's own
// line-end conversion, once it has one, takes the place of this function.
void ConvertCarriageReturns(VString& ioText, ECarriageReturnMode inMode)
{
    if (inMode != eCRM_CRLF && inMode != eCRM_CR && inMode != eCRM_LF)
        return;
    const UniChar* units = ioText.GetCPointer();
    const int32_t length = ioText.GetLength();
    VString converted;
    for (int32_t i = 0; i < length; ++i)
    {
        const UniChar unit = units[i];
        if (unit != kCR && unit != kLF)
        {
            converted.AppendUniChar(unit);
            continue;
        }
        if (unit == kCR && i + 1 < length && units[i + 1] == kLF)
            ++i;
        if (inMode == eCRM_CRLF)
            converted.AppendUniChar(kCR);
        converted.AppendUniChar(inMode == eCRM_CR ? kCR : kLF);
    }
    ioText.FromString(converted);
}

// A code an operation returned without raising it still reaches the caller as an error.
VError LastErrorOf(const StErrorContextInstaller& inContext, VError inReturned)
{
    if (inContext.GetLastError() == VE_OK && inReturned != VE_OK)
        _ThrowError(inReturned);
    return inContext.GetLastError() != VE_OK ? inContext.GetLastError() : inReturned;
}

} // namespace

VError IFile::GetContentAsString(VString& outText, CharSet inCharSet, ECarriageReturnMode inMode) const
{
    StErrorContextInstaller context(true, false);
    VMemoryBuffer<1024ul, 2ul, 1048576ul> content;
    const VError error = GetContent(content);
    if (error != VE_OK || context.GetLastError() != VE_OK)
    {
        outText.Clear();
        return LastErrorOf(context, error);
    }
    const void* bytes = content.GetDataPtr();
    size_t size = content.GetDataSize();
    size_t bomSize = 0;
    CharSet charSet = VTC_UNKNOWN;
    if (bytes != nullptr && VTextConverters::ParseBOM(bytes, size, &bomSize, &charSet) && bomSize <= size)
    {
        bytes = static_cast<const uint8_t*>(bytes) + bomSize;
        size -= bomSize;
    }
    else
    {
        charSet = inCharSet;
    }
    outText.Clear();
    if (size > 0)
        outText.FromBlock(bytes, size, charSet);
    ConvertCarriageReturns(outText, inMode);
    return context.GetLastError();
}

VError IFile::SetContentAsString(const VString& inText, CharSet inCharSet, ECarriageReturnMode inMode,
                                 bool inWithBOM) const
{
    StErrorContextInstaller context(true, false);
    VString text(inText);
    ConvertCarriageReturns(text, inMode);
    VFromUnicodeConverter* converter = VTextConverters::Get()->RetainFromUnicodeConverter(inCharSet);
    if (converter == nullptr || !converter->IsValid())
    {
        ReleaseRefCountable(&converter);
        _ThrowError(VE_STREAM_NO_TEXT_CONVERTER);
        return context.GetLastError();
    }
    size_t bomSize = 0;
    const uint8_t* bom = inWithBOM ? VTextConverters::GetBOMForCharSet(inCharSet, bomSize) : nullptr;
    if (bom == nullptr)
        bomSize = 0;
    VCppMemMgr* manager = VObject::sCppMemMgr;
    // The mark goes first in the block, so that the encoded text follows it without a copy.
    void* block = bomSize > 0 ? manager->Malloc(bomSize, false, FourCharCode("memb")) : nullptr;
    size_t used = 0;
    VError error = VE_OK;
    if (bomSize > 0 && block == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
    }
    else
    {
        if (bomSize > 0)
        {
            std::memcpy(block, bom, bomSize);
            used = bomSize;
        }
        int32_t consumed = 0;
        const bool encoded =
            converter->ConvertRealloc(text.GetCPointer(), text.GetLength(), block, used, 0, &consumed);
        if (encoded && consumed == text.GetLength() && context.GetLastError() == VE_OK)
        {
            // An empty text empties the file, without a mark.
            const size_t skip = used == bomSize ? bomSize : 0;
            error = SetContent(static_cast<const uint8_t*>(block) + skip, used - skip);
        }
        else if (context.GetLastError() == VE_OK)
        {
            _ThrowError(VE_STREAM_TEXT_CONVERSION_FAILURE);
        }
    }
    manager->Free(block);
    ReleaseRefCountable(&converter);
    return LastErrorOf(context, error);
}

VError IFile::GetContentAsJSON(VJSONValue& outValue, CharSet inCharSet) const
{
    VString text;
    VError error = GetContentAsString(text, inCharSet, eCRM_NONE);
    if (error != VE_OK)
        return error;
    VJSONImporter importer(text, VJSONImporter::kNonAmbiguousDates);
    return importer.Parse(outValue);
}

VError IFile::SetContentAsJSON(const VJSONValue& inValue, CharSet inCharSet, ECarriageReturnMode inMode,
                               bool inWithBOM) const
{
    VString text;
    VError error = inValue.Stringify(text, 1);
    if (error != VE_OK)
        return error;
    return SetContentAsString(text, inCharSet, inMode, inWithBOM);
}

} // namespace kova
