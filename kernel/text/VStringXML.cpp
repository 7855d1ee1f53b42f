// XML character escaping of VString, its XML text slots, and the string's Base64 forms over
// Base64Coder.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/Base64Coder.h"
#include "kernel/text/HexDigits.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"

#include <cstring>

namespace kova
{

namespace
{

struct Entity
{
    UniChar fUnit;
    const char16_t* fText;
    int32_t fLength;
};

// In the order the reader tries them.
constexpr Entity kEntities[] = {
    {u'&', u"&amp;", 5}, {u'>', u"&gt;", 4}, {u'"', u"&quot;", 6}, {u'<', u"&lt;", 4}, {u'\'', u"&apos;", 6},
};

const Entity* EntityOf(UniChar inUnit)
{
    for (const Entity& entity : kEntities)
    {
        if (entity.fUnit == inUnit)
            return &entity;
    }
    return nullptr;
}

// The controls XML 1.0 cannot carry as they stand; tab, LF and CR can.
bool IsEscapedControl(UniChar inUnit)
{
    return (inUnit < 32 && inUnit != 9 && inUnit != 10 && inUnit != 13) || inUnit == 127;
}

// "&#x" and at least two upper-case digits, then ";": 6 units for every escaped control.
constexpr int32_t kControlReferenceLength = 6;

void WriteControlReference(UniChar inUnit, UniChar* outUnits)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    outUnits[0] = u'&';
    outUnits[1] = u'#';
    outUnits[2] = u'x';
    outUnits[3] = kDigits[(inUnit >> 4) & 15];
    outUnits[4] = kDigits[inUnit & 15];
    outUnits[5] = u';';
}

// The length of the reference that stands for the unit, 1 when it stays.
int32_t EscapedLength(UniChar inUnit, bool inEscapeControls)
{
    if (const Entity* entity = EntityOf(inUnit))
        return entity->fLength;
    return inEscapeControls && IsEscapedControl(inUnit) ? kControlReferenceLength : 1;
}

// The reference that starts at inUnits[0] (a '&'), with the unit it stands for and its length;
// false when none starts there.
bool ReadReference(const UniChar* inUnits, int32_t inAvailable, UniChar& outUnit, int32_t& outLength)
{
    for (const Entity& entity : kEntities)
    {
        if (entity.fLength <= inAvailable &&
            std::memcmp(inUnits, entity.fText, size_t(entity.fLength) * sizeof(UniChar)) == 0)
        {
            outUnit = entity.fUnit;
            outLength = entity.fLength;
            return true;
        }
    }
    if (inAvailable < 5 || inUnits[1] != u'#' || inUnits[2] != u'x')
        return false;
    // Only the low 16 bits count, so a long run of digits wraps harmlessly.
    uint32_t value = 0;
    int32_t i = 3;
    for (; i < inAvailable && HexDigitValue(inUnits[i]) >= 0; ++i)
        value = value * 16 + uint32_t(HexDigitValue(inUnits[i]));
    if (i == 3 || i == inAvailable || inUnits[i] != u';' || (value & 0xFFFF) == 0)
        return false;
    outUnit = UniChar(value & 0xFFFF);
    outLength = i + 1;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// XML escaping

// The whole text is escaped, units after a zero unit included, and it changes all at once: when
// the longer text cannot be had nothing is lost, it stays as it was.
void VString::TranscodeToXML(bool inEscapeControls)
{
    int64_t newLength = 0;
    for (int32_t i = 0; i < fLength; ++i)
        newLength += EscapedLength(fString[i], inEscapeControls);
    if (newLength == fLength)
        return;
    if (newLength > INT32_MAX - 1)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return;
    }
    if (!_EnsureRoom(int32_t(newLength), true))
        return;
    // Backwards, so that the references never overwrite units not yet read.
    UniChar* write = fString + newLength;
    for (int32_t read = fLength - 1; read >= 0; --read)
    {
        const UniChar unit = fString[read];
        if (const Entity* entity = EntityOf(unit))
        {
            write -= entity->fLength;
            std::memcpy(write, entity->fText, size_t(entity->fLength) * sizeof(UniChar));
        }
        else if (inEscapeControls && IsEscapedControl(unit))
        {
            write -= kControlReferenceLength;
            WriteControlReference(unit, write);
        }
        else
        {
            *--write = unit;
        }
    }
    _Commit(int32_t(newLength));
}

// The text only shrinks, so it is unescaped in place, after the first reference has made the
// buffer this string's own.
void VString::TranscodeFromXML()
{
    int32_t read = 0;
    while (read < fLength && fString[read] != u'&')
        ++read;
    if (read == fLength)
        return;
    int32_t write = read;
    bool changed = false;
    while (read < fLength)
    {
        UniChar unit = fString[read];
        int32_t length = 1;
        if (unit == u'&' && ReadReference(fString + read, fLength - read, unit, length) && !changed)
        {
            if (!_EnsureRoom(fLength, true))
                return;
            changed = true;
        }
        if (changed)
            fString[write] = unit;
        ++write;
        read += length;
    }
    if (changed)
        _Commit(write);
}

void VString::GetXMLString(VString& outString, uint32_t) const
{
    outString.FromString(*this);
    outString.TranscodeToXML(false);
}

bool VString::FromXMLString(const VString& inString)
{
    FromString(inString);
    TranscodeFromXML();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Base64

bool VString::EncodeBase64(const void* inBytes, size_t inSize, bool inURL)
{
    Base64Coder::Buffer encoded;
    if (!Base64Coder::_Encode(inBytes, inSize, encoded, 0, inURL))
        return false;
    const size_t length = encoded.GetDataSize();
    if (length > size_t(INT32_MAX) - 1)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    if (!_EnsureRoom(int32_t(length), false))
        return false;
    const auto* text = static_cast<const uint8_t*>(encoded.GetDataPtr());
    for (size_t i = 0; i < length; ++i)
        fString[i] = UniChar(text[i]);
    _Commit(int32_t(length));
    return true;
}

bool VString::EncodeBase64(CharSet inCharSet, bool inURL)
{
    if (fLength == 0)
        return true;
    StStringConverter<char> bytes(*this, inCharSet, eCRM_NONE);
    if (!bytes.IsOK())
        return false;
    return EncodeBase64(bytes.GetData(), bytes.GetSize(), inURL);
}

bool VString::DecodeBase64(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outBytes, bool inURL) const
{
    if (fLength == 0)
        return Base64Coder::Decode("", 0, outBytes, inURL, false);
    auto* text = static_cast<uint8_t*>(VMemory::NewPtr(size_t(fLength), kMEM_TAG_MEMORY_BUFFER));
    if (text == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
    for (int32_t i = 0; i < fLength; ++i)
    {
        if (fString[i] >= 128)
        {
            VMemory::DisposePtr(text);
            _ThrowError(VE_STREAM_TEXT_CONVERSION_FAILURE);
            return false;
        }
        text[i] = uint8_t(fString[i]);
    }
    const bool decoded = Base64Coder::Decode(text, size_t(fLength), outBytes, inURL, false);
    VMemory::DisposePtr(text);
    return decoded;
}

bool VString::DecodeBase64(CharSet inCharSet, bool inURL)
{
    if (fLength == 0)
        return true;
    Base64Coder::Buffer decoded;
    if (!DecodeBase64(decoded, inURL))
        return false;
    FromBlock(decoded.GetDataPtr(), decoded.GetDataSize(), inCharSet);
    return true;
}

} // namespace kova
