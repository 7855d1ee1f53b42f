// The value bag's text forms: the XML element, the JSON object, and the typed reading of an XML
// attribute text.
#include "kernel/values/VValueBag.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/CNumberText.h"
#include "kernel/text/HexDigits.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VUUID.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace kova
{

namespace
{

// Markers that are never written: they shape the JSON form.
const VString& ObjectUniqueName()
{
    static const VString sName("____objectunic");
    return sName;
}

const VString& PropertyNameInArrayName()
{
    static const VString sName("____property_name_in_jsarray");
    return sName;
}

const VString& FakeArrayElementName()
{
    static const VString sName("____FakeArrayElement");
    return sName;
}

bool IsMarkerName(const VString& inName)
{
    return inName.EqualToStringRaw(ObjectUniqueName()) || inName.EqualToStringRaw(PropertyNameInArrayName());
}

// The characters XML 1.0 lets start a name, and those it lets follow.
bool IsXMLNameStart(uint32_t inCharacter)
{
    return inCharacter == ':' || inCharacter == '_' || (inCharacter >= 'A' && inCharacter <= 'Z') ||
           (inCharacter >= 'a' && inCharacter <= 'z') || (inCharacter >= 0xC0 && inCharacter <= 0xD6) ||
           (inCharacter >= 0xD8 && inCharacter <= 0xF6) || (inCharacter >= 0xF8 && inCharacter <= 0x2FF) ||
           (inCharacter >= 0x370 && inCharacter <= 0x37D) ||
           (inCharacter >= 0x37F && inCharacter <= 0x1FFF) ||
           (inCharacter >= 0x200C && inCharacter <= 0x200D) ||
           (inCharacter >= 0x2070 && inCharacter <= 0x218F) ||
           (inCharacter >= 0x2C00 && inCharacter <= 0x2FEF) ||
           (inCharacter >= 0x3001 && inCharacter <= 0xD7FF) ||
           (inCharacter >= 0xF900 && inCharacter <= 0xFDCF) ||
           (inCharacter >= 0xFDF0 && inCharacter <= 0xFFFD) ||
           (inCharacter >= 0x10000 && inCharacter <= 0xEFFFF);
}

bool IsXMLNameCharacter(uint32_t inCharacter)
{
    return IsXMLNameStart(inCharacter) || inCharacter == '-' || inCharacter == '.' ||
           (inCharacter >= '0' && inCharacter <= '9') || inCharacter == 0xB7 ||
           (inCharacter >= 0x300 && inCharacter <= 0x36F) || (inCharacter >= 0x203F && inCharacter <= 0x2040);
}

bool IsXMLName(const VString& inName)
{
    const UniChar* units = inName.GetCPointer();
    int32_t length = inName.GetLength();
    if (length == 0)
        return false;
    for (int32_t i = 0; i < length; ++i)
    {
        uint32_t character = units[i];
        if (IsHighSurrogate(character) && i + 1 < length && IsLowSurrogate(units[i + 1]))
            character = JoinSurrogates(character, units[++i]);
        else if (IsSurrogate(character))
            return false;
        if (!(i == 0 ? IsXMLNameStart(character) : IsXMLNameCharacter(character)))
            return false;
    }
    return true;
}

// A name XML cannot hold is left out of the text, and said so.
bool CheckXMLName(const VString& inName)
{
    if (IsXMLName(inName))
        return true;
    VString reason("not an XML name: ");
    reason.AppendString(inName);
    _ThrowError(VE_INVALID_PARAMETER, &reason);
    return false;
}

bool IsBreak(UniChar inUnit)
{
    return inUnit == u'\t' || inUnit == u'\n' || inUnit == u'\r';
}

// The units XML 1.0 lets stand in character data, a pair of surrogates counting as one.
void AppendXMLCharacters(VString& ioDump, const UniChar* inUnits, int32_t inLength, bool inKeepBreaks)
{
    for (int32_t i = 0; i < inLength; ++i)
    {
        UniChar unit = inUnits[i];
        if (IsHighSurrogate(unit) && i + 1 < inLength && IsLowSurrogate(inUnits[i + 1]))
        {
            ioDump.AppendUniChars(inUnits + i, 2);
            ++i;
        }
        else if ((unit >= 0x20 && unit <= 0xD7FF) || (unit >= 0xE000 && unit <= 0xFFFD) ||
                 (inKeepBreaks && IsBreak(unit)))
        {
            ioDump.AppendUniChar(unit);
        }
    }
}

void AppendTabs(VString& ioText, int32_t inCount)
{
    for (int32_t i = 0; i < inCount; ++i)
        ioText.AppendUniChar(u'\t');
}

bool IsDigitUnit(UniChar inUnit)
{
    return inUnit >= u'0' && inUnit <= u'9';
}

// 32 hexadecimal digits, "-" or the minus sign allowed between the first and the last, inside
// optional braces.
VValueSingle* ParseUUIDText(const UniChar* inUnits, int32_t inLength)
{
    if (inLength < 32)
        return nullptr;
    if (inUnits[0] == u'{' && inUnits[inLength - 1] == u'}')
    {
        ++inUnits;
        inLength -= 2;
    }
    VUUIDBuffer bytes;
    int digits = 0;
    for (int32_t i = 0; i < inLength; ++i)
    {
        UniChar unit = inUnits[i];
        if ((unit == u'-' || unit == 0x2212) && digits > 0 && digits < 32)
            continue;
        int value = HexDigitValue(unit);
        if (value < 0 || digits == 32)
            return nullptr;
        uint8_t& byte = bytes.fBytes[digits / 2];
        byte = uint8_t(byte | (digits % 2 == 0 ? value << 4 : value));
        ++digits;
    }
    if (digits != 32)
        return nullptr;
    auto* uuid = new VUUID(bytes);
    uuid->SetDirty(true);
    return uuid;
}

VValueSingle* CopyOfText(const VString& inText)
{
    auto* copy = new VString(inText);
    copy->SetDirty(true);
    return copy;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// XML

void VValueBag::DumpXML(VString& ioDump, const VString& inElementName, bool inWithIndentation) const
{
    _DumpXML(ioDump, inElementName, inWithIndentation ? 0 : -1);
}

void VValueBag::DumpXMLIndentation(VString& ioDump, int32_t inLevel)
{
    if (inLevel >= 1)
        AppendTabs(ioDump, std::min(inLevel, 100));
}

VError VValueBag::_DumpXML(VString& ioDump, const VString& inElementName, int32_t inLevel) const
{
    if (!CheckXMLName(inElementName))
        return VE_INVALID_PARAMETER;
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;
    DumpXMLIndentation(ioDump, inLevel);
    size_t found = fAttributes._Find(CDataAttributeName());
    int32_t cdata = found == VPackedDictionary_attributes::kNotFound ? 0 : int32_t(found) + 1;

    VStr1000 tag;
    tag.AppendUniChar(u'<');
    tag.AppendString(inElementName);
    DumpXMLAttributes(tag, inElementName, cdata);
    int32_t names = GetElementNamesCount();
    if (names > 0 || cdata != 0)
        tag.AppendUniChar(u'>');
    else
        tag.AppendCString("/>");
    ioDump.AppendString(tag);
    if (names == 0 && cdata == 0)
        return VE_OK;

    VError error = VE_OK;
    VString name;
    for (int32_t n = 1; n <= names && error == VE_OK; ++n)
    {
        VBagArray* list = GetNthElementName(n, &name);
        if (list == nullptr || !CheckXMLName(name))
            continue;
        for (int32_t i = 1; i <= list->GetCount() && error == VE_OK; ++i)
        {
            if (const VValueBag* child = list->GetNth(i))
            {
                ioDump.AppendUniChar(u'\n');
                error = child->_DumpXML(ioDump, name, inLevel >= 0 ? inLevel + 1 : -1);
            }
        }
    }
    bool lineBreak = cdata != 0 ? DumpXMLCData(ioDump, cdata) : true;
    if (inLevel >= 0 && lineBreak)
    {
        ioDump.AppendUniChar(u'\n');
        DumpXMLIndentation(ioDump, inLevel);
    }
    ioDump.AppendCString("</");
    ioDump.AppendString(inElementName);
    ioDump.AppendUniChar(u'>');
    return error;
}

void VValueBag::DumpXMLAttributes(VString& ioDump, const VString&, int32_t inCDataPosition) const
{
    VString name;
    VString text;
    for (int32_t i = 1; i <= GetAttributesCount(); ++i)
    {
        if (i == inCDataPosition)
            continue;
        const VValueSingle* value = GetNthAttribute(i, &name);
        if (value == nullptr || IsMarkerName(name) || !CheckXMLName(name))
            continue;
        value->GetXMLString(text, 1);
        ioDump.AppendUniChar(u' ');
        ioDump.AppendString(name);
        ioDump.AppendCString("=\"");
        ioDump.AppendString(text);
        ioDump.AppendUniChar(u'"');
    }
}

bool VValueBag::DumpXMLCData(VString& ioDump, int32_t inCDataPosition) const
{
    const VValueSingle* value = GetNthAttribute(inCDataPosition, nullptr);
    if (value == nullptr)
        return true;
    VString text;
    value->GetString(text);
    static const UniChar kMarkup[] = {u'&', u'>', u'"', u'\'', u'<'};
    if (NeedsEscapeSequence(text, kMarkup, kMarkup + 5))
    {
        // "]]>" would close the section: it is split over two sections.
        static const VString sClose("]]>");
        ioDump.AppendCString("<![CDATA[");
        int32_t from = 1;
        for (;;)
        {
            int32_t at = text.FindRawString(sClose, from);
            if (at == 0)
            {
                AppendXMLCharacters(ioDump, text.GetCPointer() + from - 1, text.GetLength() - from + 1, true);
                break;
            }
            AppendXMLCharacters(ioDump, text.GetCPointer() + from - 1, at + 3 - from, true);
            ioDump.AppendCString("]]<![CDATA[>");
            from = at + 3;
        }
        ioDump.AppendCString("]]>");
        return false;
    }
    int32_t before = ioDump.GetLength();
    AppendXMLCharacters(ioDump, text.GetCPointer(), text.GetLength(), false);
    return ioDump.GetLength() == before;
}

bool VValueBag::NeedsEscapeSequence(const VString& inText, const UniChar* inListBegin,
                                    const UniChar* inListEnd)
{
    bool lineBreak = false;
    bool visible = false;
    for (int32_t i = 0; i < inText.GetLength(); ++i)
    {
        UniChar unit = inText.GetCPointer()[i];
        if (std::find(inListBegin, inListEnd, unit) != inListEnd)
            return true;
        if (IsBreak(unit))
            lineBreak = true;
        else if (unit != u' ')
            visible = true;
    }
    return lineBreak && visible;
}

// ---------------------------------------------------------------------------------------------
// JSON text steps

void AppendJSONNewline(VString& ioText, int32_t&, bool inPretty)
{
    if (inPretty)
        ioText.AppendUniChar(u'\n');
}

void AjustJSONTab(VString& ioText, int32_t& ioLevel, bool inPretty)
{
    if (inPretty && ioLevel >= 1)
        AppendTabs(ioText, ioLevel);
}

void AppendBeginJSONObject(VString& ioText, int32_t& ioLevel, bool inPretty)
{
    AppendJSONNewline(ioText, ioLevel, inPretty);
    AjustJSONTab(ioText, ioLevel, inPretty);
    ioText.AppendUniChar(u'{');
    ++ioLevel;
}

void AppendBeginJSONArray(VString& ioText, int32_t& ioLevel, bool inPretty)
{
    AppendJSONNewline(ioText, ioLevel, inPretty);
    AjustJSONTab(ioText, ioLevel, inPretty);
    ioText.AppendUniChar(u'[');
    ++ioLevel;
}

void AppendEndJSONObject(VString& ioText, int32_t& ioLevel, bool inPretty)
{
    AppendJSONNewline(ioText, ioLevel, inPretty);
    --ioLevel;
    AjustJSONTab(ioText, ioLevel, inPretty);
    ioText.AppendUniChar(u'}');
}

void AppendEndJSONArray(VString& ioText, int32_t& ioLevel, bool inPretty)
{
    AppendJSONNewline(ioText, ioLevel, inPretty);
    --ioLevel;
    AjustJSONTab(ioText, ioLevel, inPretty);
    ioText.AppendUniChar(u']');
}

void AppendJSONPropertyName(VString& ioText, int32_t& ioLevel, bool inPretty, const VString& inName)
{
    AppendJSONNewline(ioText, ioLevel, inPretty);
    AjustJSONTab(ioText, ioLevel, inPretty);
    VString quoted;
    inName.GetJSONString(quoted, 1);
    ioText.AppendString(quoted);
    ioText.AppendCString(inPretty ? " : " : ":");
}

// ---------------------------------------------------------------------------------------------
// JSON

namespace
{

// A value's JSON text; null for a null value and for a kind that has no JSON text (a blob).
void AppendJSONOfValue(VString& ioText, const VValueSingle* inValue)
{
    if (inValue == nullptr || inValue->IsNull() || inValue->GetValueInfo()->GetKind() == VK_BLOB)
    {
        ioText.AppendCString("null");
        return;
    }
    VStr255 text;
    if (inValue->GetJSONString(text, 513) != VE_OK || text.IsEmpty())
        ioText.AppendCString("null");
    else
        ioText.AppendString(text);
}

} // namespace

VError VValueBag::GetJSONString(VString& outJSONString, uint32_t inOptions) const
{
    VString text;
    int32_t level = 0;
    VError error = _GetJSONString(text, level, (inOptions & 8) != 0, inOptions);
    outJSONString = std::move(text);
    return error;
}

VError VValueBag::_GetJSONString(VString& ioText, int32_t& ioLevel, bool inPretty, uint32_t inOptions) const
{
    StJSONNesting nesting;
    if (!nesting.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;
    size_t fake = fAttributes._Find(FakeArrayElementName());
    if (fake != VPackedDictionary_attributes::kNotFound)
    {
        if (const VValueSingle* value = GetNthAttribute(int32_t(fake) + 1, nullptr))
        {
            AppendJSONOfValue(ioText, value);
            return VE_OK;
        }
    }
    AppendBeginJSONObject(ioText, ioLevel, inPretty);
    bool any = false;
    VString name;
    static const VString sCDataName("__CDATA");
    for (int32_t i = 1; i <= GetAttributesCount(); ++i)
    {
        const VValueSingle* value = GetNthAttribute(i, &name);
        if (IsMarkerName(name))
            continue;
        if (any)
            ioText.AppendUniChar(u',');
        any = true;
        bool isCData = name.EqualToUSASCIICString("<>");
        AppendJSONPropertyName(ioText, ioLevel, inPretty, isCData ? sCDataName : name);
        AppendJSONOfValue(ioText, value);
    }
    VError error = VE_OK;
    for (int32_t n = 1; n <= GetElementNamesCount() && error == VE_OK; ++n)
    {
        VBagArray* list = GetNthElementName(n, &name);
        if (list == nullptr)
            continue;
        if (any)
            ioText.AppendUniChar(u',');
        any = true;
        AppendJSONPropertyName(ioText, ioLevel, inPretty, name);
        const VValueBag* single = list->GetCount() == 1 ? list->GetNth(1) : nullptr;
        bool asObject = single != nullptr &&
                        ((inOptions & 32) != 0 || single->GetAttributeValue(ObjectUniqueName()) != nullptr);
        if (asObject)
            error = single->_GetJSONString(ioText, ioLevel, inPretty, inOptions);
        else
            error = list->_GetJSONString(ioText, ioLevel, inPretty, inOptions);
    }
    AppendEndJSONObject(ioText, ioLevel, inPretty);
    return error;
}

VError VBagArray::_GetJSONString(VString& ioText, int32_t& ioLevel, bool inPretty, uint32_t inOptions) const
{
    AppendBeginJSONArray(ioText, ioLevel, inPretty);
    VError error = VE_OK;
    bool any = false;
    for (int32_t i = 1; i <= GetCount() && error == VE_OK; ++i)
    {
        const VValueBag* bag = GetNth(i);
        if (bag == nullptr)
            continue;
        if (any)
            ioText.AppendUniChar(u',');
        any = true;
        error = bag->_GetJSONString(ioText, ioLevel, inPretty, inOptions);
    }
    AppendEndJSONArray(ioText, ioLevel, inPretty);
    return error;
}

VError VValueBag::FromJSONString(const VString& inJSONString, uint32_t inOptions)
{
    VJSONImporter importer(inJSONString, (inOptions >> 3) & VJSONImporter::kNonAmbiguousDates);
    return importer.JSONObjectToBag(*this);
}

VJSONObject* VValueBag::BuildJSONObject(VError& outError) const
{
    VString text;
    outError = GetJSONString(text, 0);
    if (outError != VE_OK)
        return nullptr;
    VJSONValue value;
    outError = value.ParseFromString(text, true, false);
    if (outError != VE_OK)
        return nullptr;
    return value.RetainObject();
}

VError VValueBag::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    VError error = VE_OK;
    VJSONObject* object = BuildJSONObject(error);
    if (object == nullptr)
    {
        outJSONValue.SetUndefined();
        return error;
    }
    outJSONValue.SetObject(object);
    object->Release();
    return error;
}

VError VValueBag::FromJSONValue(const VJSONValue& inJSONValue)
{
    VString text;
    VError error = inJSONValue.Stringify(text, 1);
    if (error != VE_OK)
        return error;
    Destroy();
    return FromJSONString(text, 0);
}

// ---------------------------------------------------------------------------------------------
// Typed reading of an XML attribute

VValueSingle* ParseXMLValue(const VString& inText)
{
    // Only the manager's spaces are trimmed: tab and line ends are part of the value.
    const VIntlMgr* manager = VTask::GetCurrentIntlManager();
    auto isSpace = [manager](UniChar inUnit)
    {
        if (manager != nullptr)
            return manager->IsSpace(inUnit);
        return inUnit == 0x20 || inUnit == 0xA0 || (inUnit >= 0x2000 && inUnit <= 0x200B) || inUnit == 0x3000;
    };
    const UniChar* begin = inText.GetCPointer();
    const UniChar* end = begin + inText.GetLength();
    while (begin < end && isSpace(*begin))
        ++begin;
    while (end > begin && isSpace(end[-1]))
        --end;
    int32_t length = int32_t(end - begin);
    if (length == 0)
        return CopyOfText(inText);

    const UniChar* p = begin;
    bool signed_ = false;
    bool negative = false;
    if (*p == u'+' || *p == u'-' || *p == 0x2212)
    {
        signed_ = true;
        negative = *p != u'+';
        ++p;
    }
    if (p == end || *p < u'0' || *p > u'{')
        return CopyOfText(inText);

    auto rest = [&](const char* inWord)
    {
        size_t n = std::strlen(inWord);
        if (size_t(end - p) != n)
            return false;
        for (size_t i = 0; i < n; ++i)
        {
            if (p[i] != UniChar(uint8_t(inWord[i])))
                return false;
        }
        return true;
    };

    if (IsDigitUnit(*p))
    {
        // Digits into a 64-bit magnitude (overflow noted, never wrapped), and the whole number
        // into a C text with '.' for strtod in the C conventions.
        char buffer[200];
        size_t used = 0;
        auto put = [&](char inCharacter)
        {
            if (used + 1 >= sizeof(buffer))
                return false;
            buffer[used++] = inCharacter;
            return true;
        };
        bool fits = !negative || put('-');
        uint64_t magnitude = 0;
        bool overflow = false;
        const UniChar* digitsBegin = p;
        while (p < end && IsDigitUnit(*p) && fits)
        {
            uint64_t digit = uint64_t(*p - u'0');
            if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10)
                overflow = true;
            else
                magnitude = magnitude * 10 + digit;
            fits = put(char(*p++));
        }
        const UniChar* digitsEnd = p;
        bool real = false;
        bool valid = fits;
        if (valid && p < end && *p == u'.')
        {
            real = true;
            ++p;
            valid = put('.') && p < end && IsDigitUnit(*p);
            while (valid && p < end && IsDigitUnit(*p))
                valid = put(char(*p++));
        }
        if (valid && p < end && (*p == u'e' || *p == u'E'))
        {
            real = true;
            ++p;
            valid = put('e');
            if (valid && p < end && (*p == u'+' || *p == u'-' || *p == 0x2212))
                valid = put(*p++ == u'+' ? '+' : '-');
            valid = valid && p < end && IsDigitUnit(*p);
            while (valid && p < end && IsDigitUnit(*p))
                valid = put(char(*p++));
        }
        valid = valid && p == end;
        VValueSingle* result = nullptr;
        if (valid && real)
        {
            buffer[used] = 0;
            char* stop = nullptr;
            int savedErrno = errno;
            errno = 0;
            double number = ReadCReal(buffer, &stop);
            bool rangeError = errno == ERANGE;
            errno = savedErrno;
            if (!rangeError && stop != buffer)
                result = new VReal(number);
        }
        else if (valid && !overflow && magnitude < (uint64_t(1) << 31))
        {
            result = new VLong(negative ? -int32_t(magnitude) : int32_t(magnitude));
        }
        else if (valid && !overflow)
        {
            // Only the digits that render the magnitude: no leading zero, no overflow.
            VString rendered;
            rendered.AppendULong8(magnitude);
            bool exact = rendered.GetLength() == int32_t(digitsEnd - digitsBegin) &&
                         std::equal(digitsBegin, digitsEnd, rendered.GetCPointer());
            uint64_t limit = negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
            if (exact && magnitude <= limit)
                result = new VLong8(negative ? int64_t(0 - magnitude) : int64_t(magnitude));
        }
        if (result != nullptr)
        {
            result->SetDirty(true);
            return result;
        }
        if (!signed_)
        {
            if (VValueSingle* uuid = ParseUUIDText(begin, length))
                return uuid;
        }
        return CopyOfText(inText);
    }

    VValueSingle* result = nullptr;
    switch (*p)
    {
    case u'I':
        if (rest("INF") && (!signed_ || negative))
            result = new VReal(negative ? -std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::infinity());
        break;
    case u'N':
        if (!signed_ && rest("NaN"))
            result = new VReal(std::numeric_limits<double>::quiet_NaN());
        break;
    case u'f':
        if (!signed_ && rest("false"))
            result = new VBoolean(false);
        else if (!signed_)
            result = ParseUUIDText(begin, length);
        break;
    case u't':
        if (!signed_ && rest("true"))
            result = new VBoolean(true);
        break;
    case u'{':
        if (!signed_)
            result = ParseUUIDText(begin, length);
        break;
    default:
        break;
    }
    if (result == nullptr)
        return CopyOfText(inText);
    result->SetDirty(true);
    return result;
}

} // namespace kova
