// The string's JSON side: its text as the body of a JSON string literal and back, its JSON value
// forms, the date shapes the JSON reader recognises, identifiers and JSON templates.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/HexDigits.h"
#include "kernel/text/Surrogates.h"

#include <cstdint>
#include <vector>

namespace kova
{

namespace
{

constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// \u and four upper-case digits.
inline UniChar* WriteUnicodeEscape(UniChar inUnit, UniChar* outUnits)
{
    outUnits[0] = u'\\';
    outUnits[1] = u'u';
    outUnits[2] = UniChar(kUpperHexDigits[(inUnit >> 12) & 0xF]);
    outUnits[3] = UniChar(kUpperHexDigits[(inUnit >> 8) & 0xF]);
    outUnits[4] = UniChar(kUpperHexDigits[(inUnit >> 4) & 0xF]);
    outUnits[5] = UniChar(kUpperHexDigits[inUnit & 0xF]);
    return outUnits + 6;
}

// The short escapes of the controls that have one; 0 for the others.
constexpr UniChar ShortEscape(UniChar inUnit)
{
    switch (inUnit)
    {
    case 8:
        return u'b';
    case 9:
        return u't';
    case 10:
        return u'n';
    case 12:
        return u'f';
    case 13:
        return u'r';
    default:
        return 0;
    }
}

inline bool IsDigit(UniChar inUnit)
{
    return inUnit >= u'0' && inUnit <= u'9';
}

// dddd-dd-dd from the units.
bool HasDateShape(const UniChar* inUnits)
{
    for (int i = 0; i < 10; ++i)
    {
        bool dash = i == 4 || i == 7;
        if (dash ? inUnits[i] != u'-' : !IsDigit(inUnits[i]))
            return false;
    }
    return true;
}

} // namespace

int32_t VString::WriteJSONEscaped(const UniChar* inUnits, int32_t inLength, uint32_t inOptions,
                                  UniChar* outUnits)
{
    UniChar* out = outUnits;
    bool quoted = (inOptions & 1) != 0;
    if (quoted)
        *out++ = u'"';
    if ((inOptions & 16) != 0)
    {
        for (int32_t i = 0; i < inLength; ++i)
            *out++ = inUnits[i];
    }
    else
    {
        bool escapeMarkup = (inOptions & 0x400) != 0;
        for (int32_t i = 0; i < inLength; ++i)
        {
            UniChar unit = inUnits[i];
            // The common case first: a unit that is written as it is.
            if (unit >= 0x20 && unit != u'"' && unit != u'\\' && unit < 0x7F &&
                !(escapeMarkup && (unit == u'&' || unit == u'\'')))
            {
                *out++ = unit;
                continue;
            }
            if (unit == u'"' || unit == u'\\')
            {
                *out++ = u'\\';
                *out++ = unit;
            }
            else if (unit < 0x20)
            {
                if (UniChar letter = ShortEscape(unit))
                {
                    *out++ = u'\\';
                    *out++ = letter;
                }
                else
                {
                    out = WriteUnicodeEscape(unit, out);
                }
            }
            else if (unit == 0x7F || unit == u'&' || unit == u'\'')
            {
                out = WriteUnicodeEscape(unit, out);
            }
            else if (IsHighSurrogate(unit) && i + 1 < inLength && IsLowSurrogate(inUnits[i + 1]))
            {
                *out++ = unit;
                *out++ = inUnits[++i];
            }
            else if (IsSurrogate(unit))
            {
                // Alone, it has no UTF-8 form: the escape carries it through files.
                out = WriteUnicodeEscape(unit, out);
            }
            else
            {
                *out++ = unit;
            }
        }
    }
    if (quoted)
        *out++ = u'"';
    return int32_t(out - outUnits);
}

VError VString::GetJSONString(VString& outJSONString, uint32_t inOptions) const
{
    if ((inOptions & 16) != 0 && (inOptions & 1) == 0)
    {
        outJSONString.FromString(*this);
        return VE_OK;
    }
    int64_t room = 4 + 6 * int64_t(fLength);
    if (room > INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return VE_STRING_ALLOC_FAILED;
    }
    // Into a string of its own: the output may be this string.
    VString escaped;
    if (!escaped.EnsureSize(int32_t(room)))
        return VE_STRING_ALLOC_FAILED;
    int32_t written = WriteJSONEscaped(fString, fLength, inOptions, escaped.GetCPointerForWrite());
    escaped.Validate(written);
    outJSONString = std::move(escaped);
    return VE_OK;
}

VError VString::FromJSONString(const VString& inJSONString, uint32_t inOptions)
{
    if ((inOptions & 16) != 0)
    {
        FromString(inJSONString);
        return VE_OK;
    }
    int32_t length = inJSONString.GetLength();
    const UniChar* text = inJSONString.GetCPointer();
    VString decoded;
    if (!decoded.EnsureSize(length))
        return VE_STRING_ALLOC_FAILED;
    UniChar* out = decoded.GetCPointerForWrite();
    int32_t produced = 0;
    for (int32_t i = 0; i < length; ++i)
    {
        UniChar unit = text[i];
        if (unit != u'\\')
        {
            out[produced++] = unit;
            continue;
        }
        if (i + 1 >= length)
            break; // a last backslash is dropped
        UniChar escape = text[++i];
        switch (escape)
        {
        case u'b':
            out[produced++] = 8;
            break;
        case u'f':
            out[produced++] = 12;
            break;
        case u'n':
            out[produced++] = 10;
            break;
        case u'r':
            out[produced++] = 13;
            break;
        case u't':
            out[produced++] = 9;
            break;
        case u'u':
            if (i + 4 < length)
            {
                uint32_t value = 0;
                for (int k = 1; k <= 4; ++k)
                {
                    int digit = HexDigitValue(text[i + k]);
                    if (digit >= 0)
                        value = (value << 4) | uint32_t(digit);
                }
                out[produced++] = UniChar(value);
                i += 4;
            }
            else
            {
                out[produced++] = u'u';
            }
            break;
        default:
            out[produced++] = escape;
            break;
        }
    }
    decoded.Validate(produced);
    *this = std::move(decoded);
    return VE_OK;
}

VError VString::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    if (IsNull())
        outJSONValue.SetNull();
    else
        outJSONValue.SetString(*this);
    return VE_OK;
}

VError VString::FromJSONValue(const VJSONValue& inJSONValue)
{
    if (inJSONValue.IsNull())
    {
        SetNull(true);
        return VE_OK;
    }
    inJSONValue.GetString(*this);
    SetNull(false);
    return VE_OK;
}

void VString::GetCleanJSName(VString& outName) const
{
    outName.Clear();
    if (fLength == 0)
        return;
    if (IsDigit(fString[0]))
        outName.AppendUniChar(u'_');
    for (int32_t i = 0; i < fLength; ++i)
    {
        UniChar unit = fString[i];
        bool letter = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
        if (letter || IsDigit(unit) || unit == u'_' || unit == u'$')
            outName.AppendUniChar(unit);
    }
}

bool VString::IsISODate() const
{
    return fLength == 10 && HasDateShape(fString);
}

bool VString::IsNonAmbigousDate() const
{
    return fLength == 14 && fString[0] == u'!' && fString[1] == u'!' && HasDateShape(fString + 2) &&
           fString[12] == u'!' && fString[13] == u'!';
}

void VString::FormatWithTemplate(const VJSONObject* inValues, VString& outText) const
{
    static const VString sOpening("{{");
    static const VString sClosing("}}");
    VString result;
    std::vector<VString> parts;
    GetSubStrings(sOpening, parts, true, false, true);
    std::vector<VString> pieces;
    VString text;
    for (const VString& part : parts)
    {
        part.GetSubStrings(sClosing, pieces, true, false, true);
        if (pieces.size() < 2)
        {
            result.AppendString(part);
            continue;
        }
        if (inValues != nullptr)
        {
            VJSONValue value = inValues->GetPropertyWithPath(pieces[0]);
            if (!value.IsNull() && !value.IsUndefined())
            {
                value.GetString(text);
                result.AppendString(text);
            }
        }
        for (size_t i = 1; i < pieces.size(); ++i)
            result.AppendString(pieces[i]);
    }
    outText = std::move(result);
}

} // namespace kova
