// VString's conversions to and from numbers, booleans, four-character codes, hexadecimal, C
// strings, encoded byte blocks and platform strings.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/CNumberText.h"
#include "kernel/text/HexDigits.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VFromUnicodeConverter.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/VMemoryBuffer.h"
#include "platform/mac/text/XMacString.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace kova
{

namespace
{

// The first unit of the calling task's decimal separator; '.' while there is no manager.
UniChar DecimalSeparatorUnit()
{
    const VIntlMgr* manager = VTask::GetCurrentIntlManager();
    if (manager == nullptr || manager->GetDecimalSeparator().IsEmpty())
        return u'.';
    return manager->GetDecimalSeparator().GetCPointer()[0];
}

// The integer of the text (see VString.h); false when its magnitude does not fit 64 signed bits.
bool ReadDecimalInteger(const UniChar* inUnits, int32_t inLength, int64_t& outValue)
{
    const UniChar separator = DecimalSeparatorUnit();
    uint64_t magnitude = 0;
    bool negative = false;
    bool tooLarge = false;
    for (int32_t i = 0; i < inLength; ++i)
    {
        const UniChar unit = inUnits[i];
        if (unit >= u'0' && unit <= u'9')
        {
            const uint64_t digit = uint64_t(unit - u'0');
            if (magnitude > (UINT64_MAX - digit) / 10)
                tooLarge = true;
            else
                magnitude = magnitude * 10 + digit;
        }
        else if (unit == u'-')
        {
            if (magnitude == 0)
                negative = true;
        }
        else if (unit == separator)
        {
            break;
        }
    }
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    if (tooLarge || magnitude > limit)
    {
        outValue = 0;
        return false;
    }
    outValue = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

// The hexadecimal text of the low inBits bits of inValue.
void WriteHex(VString& outText, uint64_t inValue, int inBits, bool inPrefixed)
{
    const int maxDigits = inBits / 4;
    int digits = 1;
    while (digits < maxDigits && (inValue >> (4 * digits)) != 0)
        ++digits;
    int width = digits;
    if (inPrefixed)
    {
        if (inBits == 8)
            width = 2;
        else if (digits <= 4)
            width = 4;
        else if (digits <= 8)
            width = 8;
        else
            width = 16;
    }
    if (!outText.EnsureSize(maxDigits + 2))
    {
        outText.Clear();
        return;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    UniChar* target = outText.GetCPointerForWrite();
    int32_t length = 0;
    if (inPrefixed)
    {
        target[length++] = u'0';
        target[length++] = u'x';
    }
    for (int i = width - 1; i >= 0; --i)
        target[length++] = UniChar(kDigits[(inValue >> (4 * i)) & 0xF]);
    outText.Validate(length);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reading

uint8_t VString::GetBoolean() const
{
    static constexpr UniChar kTrue[] = u"true";
    const VIntlMgr* manager = VTask::GetCurrentIntlManager();
    if (manager != nullptr)
        return manager->EqualString(fString, fLength, kTrue, 4, false);
    // Without a manager: the word in any mix of ASCII case.
    if (fLength != 4)
        return false;
    for (int32_t i = 0; i < 4; ++i)
    {
        UniChar unit = fString[i];
        if (unit >= u'A' && unit <= u'Z')
            unit = UniChar(unit + (u'a' - u'A'));
        if (unit != kTrue[i])
            return false;
    }
    return true;
}

int64_t VString::GetLong8() const
{
    int64_t value = 0;
    ReadDecimalInteger(fString, fLength, value);
    return value;
}

int32_t VString::GetLong() const
{
    int64_t value = GetLong8();
    return (value >= INT32_MIN && value <= INT32_MAX) ? int32_t(value) : 0;
}

int16_t VString::GetWord() const
{
    int64_t value = GetLong8();
    return (value >= INT16_MIN && value <= INT16_MAX) ? int16_t(value) : 0;
}

double VString::GetReal() const
{
    return GetRealCheckOverflow(nullptr);
}

double VString::GetRealCheckOverflow(bool* outOverflow) const
{
    if (outOverflow != nullptr)
        *outOverflow = false;
    // A plain number is read from the units themselves: its text is ASCII, and the first unit
    // that cannot belong to it ends it. A longer one, or any other text, is encoded for strtod.
    char plain[64];
    int32_t count = 0;
    while (count < fLength && count < int32_t(sizeof(plain)) && IsPlainRealByte(fString[count]))
    {
        plain[count] = char(fString[count]);
        ++count;
    }
    double value = 0;
    if (count < int32_t(sizeof(plain)) && ReadPlainCReal(plain, plain + count, value, nullptr))
        return value;
    StStringConverter<char> utf8(*this, VTC_UTF_8, eCRM_NONE);
    if (!utf8.IsOK())
        return 0.0;
    const int savedErrno = errno;
    errno = 0;
    value = ReadCReal(utf8.GetCPointer(), nullptr);
    if (outOverflow != nullptr)
        *outOverflow = errno == ERANGE && (value == 0.0 || std::isinf(value));
    errno = savedErrno;
    return value;
}

OsType VString::GetOsType() const
{
    uint8_t bytes[4] = {' ', ' ', ' ', ' '};
    int32_t consumed = 0;
    size_t produced = 0;
    VTextConverters::Get()->ConvertFromVString(*this, consumed, bytes, sizeof(bytes), produced, VTC_UTF_8);
    return (OsType(bytes[0]) << 24) | (OsType(bytes[1]) << 16) | (OsType(bytes[2]) << 8) | OsType(bytes[3]);
}

uint64_t VString::GetHexLong() const
{
    uint64_t value = 0;
    for (int32_t i = 0; i < fLength; ++i)
    {
        const int digit = HexDigitValue(fString[i]);
        if (digit < 0)
            continue;
        if ((value >> 60) != 0)
            return 0; // a seventeenth significant digit
        value = (value << 4) | uint64_t(digit);
    }
    return value;
}

// ---------------------------------------------------------------------------------------------
// Writing

void VString::FromReal(double inValue)
{
    _EmptyForRewrite();
    AppendReal(inValue);
}

void VString::FromULong8(uint64_t inValue)
{
    _EmptyForRewrite();
    AppendULong8(inValue);
}

void VString::FromUniChar(UniChar inUnit)
{
    if (inUnit == 0)
        Clear();
    else
        FromUniString(&inUnit, 1);
}

void VString::FromString(const VInlineString& inRecord)
{
    if (inRecord.fString != nullptr && inRecord.fString == fString)
        return;
    // The new string holds one reference of the record's block; moving hands it over.
    *this = VString(inRecord);
}

void VString::FromOsType(OsType inCode)
{
    const uint8_t bytes[4] = {uint8_t(inCode >> 24), uint8_t(inCode >> 16), uint8_t(inCode >> 8),
                              uint8_t(inCode)};
    FromBlock(bytes, sizeof(bytes), VTC_UTF_8);
}

void VString::FromHexLong(uint64_t inValue, bool inPrefixed)
{
    WriteHex(*this, inValue, 64, inPrefixed);
}

void VString::FromHexLong(int64_t inValue, bool inPrefixed)
{
    WriteHex(*this, uint64_t(inValue), 64, inPrefixed);
}

void VString::FromHexLong(uint32_t inValue, bool inPrefixed)
{
    WriteHex(*this, inValue, 32, inPrefixed);
}

void VString::FromHexLong(int32_t inValue, bool inPrefixed)
{
    WriteHex(*this, uint32_t(inValue), 32, inPrefixed);
}

void VString::FromHexLong(unsigned char inValue, bool inPrefixed)
{
    WriteHex(*this, inValue, 8, inPrefixed);
}

void VString::FromHexLong(char inValue, bool inPrefixed)
{
    WriteHex(*this, uint8_t(inValue), 8, inPrefixed);
}

template <class UNSIGNED>
void StringFromHexLong(VString& outText, UNSIGNED inValue, bool inPrefixed)
{
    WriteHex(outText, uint64_t(inValue), int(sizeof(UNSIGNED) * 8), inPrefixed);
}

template void StringFromHexLong<uint64_t>(VString&, uint64_t, bool);
template void StringFromHexLong<uint32_t>(VString&, uint32_t, bool);
template void StringFromHexLong<uint8_t>(VString&, uint8_t, bool);

void VString::FromCString(const char* inText)
{
    if (inText == nullptr)
    {
        Clear();
        return;
    }
    const size_t size = std::strlen(inText);
    uint8_t accumulated = 0;
    for (size_t i = 0; i < size; ++i)
        accumulated |= uint8_t(inText[i]);
    if ((accumulated & 0x80) != 0)
    {
        FromBlock(inText, size, VTC_UTF_8);
        return;
    }
    if (size > size_t(INT32_MAX))
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return;
    }
    if (!_EnsureRoom(int32_t(size), false))
        return;
    for (size_t i = 0; i < size; ++i)
        fString[i] = UniChar(uint8_t(inText[i]));
    _Commit(int32_t(size));
}

CharSet VString::FromBlockWithOptionalBOM(const void* inBytes, size_t inSize, CharSet inDefault)
{
    size_t markSize = 0;
    CharSet charSet = inDefault;
    CharSet marked = VTC_UNKNOWN;
    if (VTextConverters::ParseBOM(inBytes, inSize, &markSize, &marked))
        charSet = marked;
    FromBlock(static_cast<const uint8_t*>(inBytes) + markSize, inSize - markSize, charSet);
    return charSet;
}

size_t VString::ToBlock(void* outBuffer, size_t inSize, CharSet inCharSet, bool inZeroTerminate,
                        bool inLengthPrefix) const
{
    // UTF-16 has a 16-bit prefix and terminator; every other set a byte.
    const size_t unitSize = inCharSet == VTC_UTF_16 ? 2 : 1;
    const size_t prefixSize = inLengthPrefix ? unitSize : 0;
    const size_t terminatorSize = inZeroTerminate ? unitSize : 0;
    if (outBuffer == nullptr || inSize < prefixSize + terminatorSize)
        return 0;
    auto* bytes = static_cast<uint8_t*>(outBuffer);
    int32_t consumed = 0;
    size_t produced = 0;
    VTextConverters::Get()->ConvertFromVString(*this, consumed, bytes + prefixSize,
                                               inSize - prefixSize - terminatorSize, produced, inCharSet);
    if (inZeroTerminate)
        std::memset(bytes + prefixSize + produced, 0, terminatorSize);
    if (!inLengthPrefix)
        return produced;
    if (unitSize == 1)
    {
        if (produced >= 256)
            produced = 0;
        bytes[0] = uint8_t(produced);
    }
    else
    {
        if (produced >= 0x20000)
            produced = 0;
        const uint16_t units = uint16_t(produced / 2);
        std::memcpy(bytes, &units, sizeof(units));
    }
    return produced;
}

bool VString::ToBuffer(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outBytes, CharSet inCharSet) const
{
    VFromUnicodeConverter* encoder = VTextConverters::Get()->RetainFromUnicodeConverter(inCharSet);
    bool converted = false;
    if (encoder->IsValid())
    {
        outBytes.SetDataSize(0);
        converted = encoder->ConvertToBuffer(fString, fLength, outBytes, 0);
    }
    encoder->Release();
    return converted;
}

cf::String* VString::MAC_RetainCFStringCopy() const
{
    return XMacString::RetainCFStringCopy(*this);
}

void VString::MAC_FromCFString(const cf::String* inString)
{
    XMacString::FromCFString(inString, *this);
}

} // namespace kova
