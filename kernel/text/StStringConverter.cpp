#include "kernel/text/StStringConverter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VFromUnicodeConverter.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/VCppMemMgr.h"

#include <cstring>
#include <new>

namespace kova
{

namespace
{

// The text with its line ends made those of the mode: a lone CR, a lone LF and a CR LF pair are
// each one line end. A mode that imposes no line end copies the text. False, raised, when the
// room cannot be had.
bool CopyWithLineEnds(const VString& inText, ECarriageReturnMode inMode, VString& outText)
{
    const UniChar* lineEnd = nullptr;
    int64_t lineEndLength = 0;
    switch (inMode)
    {
    case eCRM_CRLF:
        lineEnd = u"\r\n";
        lineEndLength = 2;
        break;
    case eCRM_CR:
        lineEnd = u"\r";
        lineEndLength = 1;
        break;
    case eCRM_LF:
        lineEnd = u"\n";
        lineEndLength = 1;
        break;
    default:
        outText.FromString(inText);
        return outText.GetLength() == inText.GetLength();
    }
    const UniChar* units = inText.GetCPointer();
    const int32_t count = inText.GetLength();
    auto endsPair = [&](int32_t i) { return units[i] == u'\r' && i + 1 < count && units[i + 1] == u'\n'; };

    int64_t length = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        if (endsPair(i))
        {
            ++i;
            length += lineEndLength;
        }
        else
        {
            length += (units[i] == u'\r' || units[i] == u'\n') ? lineEndLength : 1;
        }
    }
    if (length > INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    outText.Clear();
    if (!outText.EnsureSize(int32_t(length)))
        return false;
    UniChar* target = outText.GetCPointerForWrite();
    for (int32_t i = 0; i < count; ++i)
    {
        bool pair = endsPair(i);
        if (pair || units[i] == u'\r' || units[i] == u'\n')
        {
            for (int64_t k = 0; k < lineEndLength; ++k)
                *target++ = lineEnd[k];
            i += pair ? 1 : 0;
        }
        else
        {
            *target++ = units[i];
        }
    }
    return outText.Validate(int32_t(length));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The converter scope

StStringConverterBase::StStringConverterBase(CharSet inCharSet, ECarriageReturnMode inMode)
    : fOutput(fInlineBuffer), fCarriageReturnMode(inMode),
      fConverter(VTextConverters::Get()->RetainFromUnicodeConverter(inCharSet))
{
    fInlineBuffer[0] = 0;
    fInlineBuffer[1] = 0;
}

StStringConverterBase::~StStringConverterBase()
{
    if (fHeapBlock != nullptr && sCppMemMgr != nullptr)
        sCppMemMgr->Free(fHeapBlock);
    fConverter->Release();
}

void StStringConverterBase::_ConvertString(const UniChar* inUnits, int32_t inCount, size_t inZeros)
{
    fSize = 0;
    if (inCount < 0)
        inCount = 0;
    int32_t consumed = 0;
    size_t produced = 0;
    bool fits = inZeros <= fCapacity;
    if (fits)
        fSuccess =
            fConverter->ConvertLast(inUnits, inCount, consumed, fOutput, fCapacity - inZeros, produced);
    if (!fits || (fSuccess && consumed < inCount))
    {
        // The whole text goes to the heap block, made or grown to hold it with its zero bytes.
        bool outputWasHeap = fOutput != fInlineBuffer;
        produced = 0;
        fSuccess = fConverter->ConvertRealloc(inUnits, inCount, fHeapBlock, produced, inZeros);
        if (!fSuccess)
        {
            // The block may have moved: the output goes back to the scope's own buffer.
            if (outputWasHeap)
            {
                fOutput = fInlineBuffer;
                fCapacity = kInlineBytes;
            }
            _Fail(inZeros);
            return;
        }
        // The capacity is the bytes produced; the zero bytes behind them are not counted, so a
        // later conversion into this block never writes past what it holds.
        fOutput = static_cast<char*>(fHeapBlock);
        fCapacity = produced;
        fSize = produced;
    }
    else if (fSuccess)
    {
        fSize = produced;
    }
    std::memset(fOutput + fSize, 0, inZeros);
}

void StStringConverterBase::_Fail(size_t inZeros)
{
    fSuccess = false;
    fSize = 0;
    std::memset(fOutput, 0, inZeros < fCapacity ? inZeros : fCapacity);
}

const char* StStringConverter<char>::ConvertString(const VString& inString)
{
    if (GetCarriageReturnMode() == eCRM_NONE)
    {
        _ConvertString(inString.GetCPointer(), inString.GetLength(), 1);
        return GetCPointer();
    }
    VString converted;
    if (CopyWithLineEnds(inString, GetCarriageReturnMode(), converted))
        _ConvertString(converted.GetCPointer(), converted.GetLength(), 1);
    else
        _Fail(1);
    return GetCPointer();
}

// ---------------------------------------------------------------------------------------------
// Texts of strings and integers

std::string to_string(const VString& inString)
{
    std::string result;
    const int32_t length = inString.GetLength();
    if (length < 1)
        return result;
    VFromUnicodeConverter* utf8 = VTextConverters::Get()->RetainFromUnicodeConverter(VTC_UTF_8);
    const UniChar* units = inString.GetCPointer();
    int32_t consumed = 0;
    size_t produced = 0;
    try
    {
        if (length < 256)
        {
            // At most three bytes a unit: a short text fits the stack buffer in one pass.
            char buffer[512];
            utf8->ConvertLast(units, length, consumed, buffer, sizeof(buffer), produced);
            if (consumed == length)
                result.assign(buffer, produced);
        }
        if (result.empty())
        {
            utf8->ConvertLast(units, length, consumed, nullptr, 0x7FFFFFFF, produced);
            result.resize(produced);
            utf8->ConvertLast(units, length, consumed, result.data(), result.size(), produced);
            result.resize(produced);
        }
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        result.clear();
    }
    utf8->Release();
    return result;
}

VString ToString(int inValue)
{
    VString text;
    text.AppendLong(inValue);
    return text;
}

VString ToString(long long inValue)
{
    VString text;
    text.AppendLong8(inValue);
    return text;
}

VString ToString(unsigned long long inValue)
{
    VString text;
    text.AppendULong8(inValue);
    return text;
}

VString ToString(unsigned long inValue)
{
    return ToString((unsigned long long)inValue);
}

} // namespace kova
