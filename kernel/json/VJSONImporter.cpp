#include "kernel/json/VJSONImporter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/IFile.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONExpandedSize.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONGraph.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/CNumberText.h"
#include "kernel/text/AsciiRuns.h"
#include "kernel/text/HexDigits.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueBag.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace kova
{

const VString VJSONImporter::sNameOfThePropertyWithPathsAndLines("__symbols");

namespace
{

// The "expected" texts of the error records.
constexpr const char* kExpectedValue = "\" 0-9 null true false { [";
constexpr const char* kExpectedValueOrEnd = "\" 0-9 null true false { [ ]";
constexpr const char* kExpectedNameOrEnd = "\" }";
constexpr const char* kExpectedName = "\"";
constexpr const char* kExpectedColon = ":";
constexpr const char* kExpectedObjectNext = "} ,";
constexpr const char* kExpectedArrayNext = "] ,";
constexpr const char* kExpectedObjectStart = "{";
constexpr const char* kExpectedNumber = "+- 0-9 eE";
// Strict mode only.
constexpr const char* kExpectedBlank = "space tab LF CR";
constexpr const char* kExpectedEscape = "\" \\ / b f n r t u";
constexpr const char* kExpectedHexDigit = "0-9 A-F a-f";
constexpr const char* kExpectedSurrogatePair = "a surrogate pair";
constexpr const char* kExpectedEscapedControl = "\\b \\f \\n \\r \\t \\u";
constexpr const char* kExpectedEnd = "end of text";
// Strict reading of bytes.
constexpr const char* kExpectedUTF8 = "UTF-8";
// Bags hold no array of arrays.
constexpr const char* kExpectedBagElement = "\" 0-9 null true false { ]";

constexpr UniChar kMinusSign = 0x2212;

// Quoted texts up to this length share blocks through the name cache.
constexpr int32_t kSharedValueLength = 12;

inline bool IsDigit(UniChar inUnit)
{
    return inUnit >= u'0' && inUnit <= u'9';
}

inline bool IsStrictBlank(UniChar inUnit)
{
    return inUnit == u' ' || inUnit == u'\t' || inUnit == u'\n' || inUnit == u'\r';
}

inline bool EndsWord(UniChar inUnit)
{
    return inUnit == u'"' || inUnit == u',' || inUnit == u':' || inUnit == u'[' || inUnit == u']' ||
           inUnit == u'{' || inUnit == u'}';
}

bool SameText(const UniChar* inUnits, int32_t inLength, const char* inText)
{
    size_t length = std::strlen(inText);
    if (size_t(inLength) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
    {
        if (inUnits[i] != UniChar(uint8_t(inText[i])))
            return false;
    }
    return true;
}

// A unit as readable text: itself, or its escape when it is a control.
VString UnitText(UniChar inUnit)
{
    VString text;
    if (inUnit < 0x20 || inUnit == 0x7F || IsSurrogate(inUnit))
    {
        UniChar escaped[8];
        VString::WriteJSONEscaped(&inUnit, 1, 0, escaped);
        text.AppendUniChars(escaped, 6);
    }
    else
    {
        text.AppendUniChar(inUnit);
    }
    return text;
}

// The offset of the first byte that does not belong to a well-formed UTF-8 sequence (Unicode
// table 3-7: no overlong form, no surrogate, nothing past U+10FFFF, no sequence cut short), or
// inSize when there is none.
size_t FirstIllFormedUTF8(const uint8_t* inBytes, size_t inSize)
{
    size_t i = 0;
    while (i < inSize)
    {
        if (inSize - i >= size_t(kAsciiBlock) && HighBytes(inBytes + i) == 0)
        {
            i += kAsciiBlock;
            continue;
        }
        const uint8_t lead = inBytes[i];
        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        // The trailing bytes' count and the range of the first one; the others are 80-BF.
        size_t trailing = 0;
        uint8_t low = 0x80;
        uint8_t high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            trailing = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            trailing = 2;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            trailing = 3;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        }
        else
            return i;
        if (inSize - i - 1 < trailing || inBytes[i + 1] < low || inBytes[i + 1] > high)
            return i;
        for (size_t k = 2; k <= trailing; ++k)
        {
            if (inBytes[i + k] < 0x80 || inBytes[i + k] > 0xBF)
                return i;
        }
        i += trailing + 1;
    }
    return inSize;
}

// The shape of a number word, as the reader's grammar has it: an optional '-'; "0", or a digit
// 1-9 and more digits, or no digit at all; optionally '.' and digits; optionally 'e' or 'E', a
// sign ('+', '-' or the minus sign) and digits; nothing else. Read in the same pass: the digits
// as one integer and the power of ten that scales it, while they are few enough to be exact.
struct NumberShape
{
    bool fValid = false;
    bool fIntegerDigits = false; // at least one digit before the point
    bool fFraction = false;
    bool fExponent = false;
    bool fMinusSign = false; // the exponent's sign is U+2212
    bool fNegative = false;
    uint64_t fMantissa = 0;
    int32_t fSignificantDigits = 0; // digits of fMantissa, the leading zeros left out
    int32_t fScale = 0;             // the power of ten that fMantissa is multiplied by
};

NumberShape ReadNumberShape(const UniChar* inUnits, int32_t inLength)
{
    NumberShape shape;
    const UniChar* p = inUnits;
    const UniChar* end = inUnits + inLength;
    auto addDigit = [&shape](UniChar inDigit)
    {
        if (shape.fSignificantDigits < 19)
        {
            shape.fMantissa = shape.fMantissa * 10 + uint64_t(inDigit - u'0');
            if (shape.fMantissa != 0)
                ++shape.fSignificantDigits;
        }
        else
        {
            ++shape.fSignificantDigits; // too many for the exact path: counted, not kept
        }
    };
    if (p < end && *p == u'-')
    {
        shape.fNegative = true;
        ++p;
    }
    if (p < end && *p == u'0')
    {
        ++p;
        shape.fIntegerDigits = true;
        if (p < end && IsDigit(*p))
            return shape;
    }
    else
    {
        while (p < end && IsDigit(*p))
        {
            addDigit(*p++);
            shape.fIntegerDigits = true;
        }
    }
    if (p < end && *p == u'.')
    {
        ++p;
        if (p == end || !IsDigit(*p))
            return shape;
        while (p < end && IsDigit(*p))
        {
            addDigit(*p++);
            --shape.fScale;
        }
        shape.fFraction = true;
    }
    if (p < end && (*p == u'e' || *p == u'E'))
    {
        ++p;
        bool negativeExponent = false;
        if (p < end && (*p == u'+' || *p == u'-' || *p == kMinusSign))
        {
            shape.fMinusSign = *p == kMinusSign;
            negativeExponent = *p != u'+';
            ++p;
        }
        if (p == end || !IsDigit(*p))
            return shape;
        int32_t exponent = 0;
        while (p < end && IsDigit(*p))
        {
            if (exponent < 100000)
                exponent = exponent * 10 + (*p - u'0');
            ++p;
        }
        shape.fScale += negativeExponent ? -exponent : exponent;
        shape.fExponent = true;
    }
    shape.fValid = p == end;
    return shape;
}

// The value of a word of that shape: what VString::GetReal makes of it, without building the
// string for the ordinary forms.
double NumberValue(const UniChar* inUnits, int32_t inLength, const NumberShape& inShape)
{
    if (!inShape.fIntegerDigits || inShape.fMinusSign)
    {
        VString text;
        text.AppendUniChars(inUnits, inLength);
        return text.GetReal();
    }
    // Up to 15 digits and a power of ten up to 22 are both exact doubles, so one multiplication
    // or division rounds correctly, as the C library does.
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (inShape.fSignificantDigits <= 15 && inShape.fScale >= -22 && inShape.fScale <= 22)
    {
        double value = double(inShape.fMantissa);
        value =
            inShape.fScale < 0 ? value / kPowersOfTen[-inShape.fScale] : value * kPowersOfTen[inShape.fScale];
        // -0 stays a negative zero, as the C library reads it.
        return inShape.fNegative ? -value : value;
    }
    char small[64];
    std::string large;
    char* text = small;
    if (size_t(inLength) >= sizeof(small))
    {
        large.resize(size_t(inLength) + 1);
        text = large.data();
    }
    for (int32_t i = 0; i < inLength; ++i)
        text[i] = char(inUnits[i]);
    text[inLength] = 0;
    double value = 0;
    auto [end, error] = std::from_chars(text, text + inLength, value);
    // Out of range: the C library's infinity or zero, as GetReal gives.
    if (error != std::errc() || end != text + inLength)
        value = ReadCReal(text, nullptr);
    return value;
}

// Whole decimal literal into 64 bits; false when it does not fit.
bool IntegerValue(const UniChar* inUnits, int32_t inLength, int64_t& outValue)
{
    bool negative = inUnits[0] == u'-';
    uint64_t magnitude = 0;
    for (int32_t i = negative ? 1 : 0; i < inLength; ++i)
    {
        uint64_t digit = uint64_t(inUnits[i] - u'0');
        if (magnitude > (uint64_t(INT64_MAX) + 1 - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative && magnitude > uint64_t(INT64_MAX))
        return false;
    outValue = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Tokens and names

VString VJSONImporter::Token::GetText() const
{
    if (fDecoded)
        return fText;
    VString text;
    text.AppendUniChars(fUnits, fLength);
    return text;
}

// What a reading needs besides its text, kept for the calling thread's next reading: the names
// met (names recur, records of one kind share them, and so do short texts) and the members of
// the collections being read, with the room they took.
class VJSONImporter::Scratch
{
public:
    static constexpr int32_t kMaxNameLength = 32;

    const VJSONObject::Name& GetName(const UniChar* inUnits, int32_t inLength)
    {
        uint32_t hash = VJSONObject::Name::Hash(inUnits, inLength);
        VJSONObject::Name& slot = fNames[hash % kSlots];
        if (!slot.Equals(inUnits, inLength, hash))
            slot = VJSONObject::Name(inUnits, inLength);
        return slot;
    }

    // Back to the thread, empty; the room of a very large reading is given back.
    void Release()
    {
        constexpr size_t kKeptMembers = 65536;
        fProperties.clear();
        fElements.clear();
        if (fProperties.capacity() > kKeptMembers)
            std::vector<VJSONObject::Property>().swap(fProperties);
        if (fElements.capacity() > kKeptMembers)
            std::vector<VJSONValue>().swap(fElements);
        fInUse = false;
    }

    std::vector<VJSONObject::Property> fProperties;
    std::vector<VJSONValue> fElements;
    bool fInUse = false;

private:
    static constexpr uint32_t kSlots = 1021;
    VJSONObject::Name fNames[kSlots];
};

thread_local std::unique_ptr<VJSONImporter::Scratch> VJSONImporter::sThreadScratch;

namespace
{

// Set when the thread's scratch has been destroyed (at the thread's end): later readings make
// their own.
thread_local bool tScratchGone = false;
struct ScratchWatch
{
    ~ScratchWatch() { tScratchGone = true; }
};

} // namespace

VJSONImporter::VJSONImporter(const VString& inText, uint32_t inOptions)
    : fText(inText), fOptions(inOptions), fLength(inText.GetLength()),
      fAnyDate((inOptions & kNonAmbiguousDates) != 0), fBagBudget(JSONCopyBound(uint64_t(fLength)))
{
    fStart = fText.GetCPointer();
    fCursor = fStart;
    fEnd = fStart + fLength;
    fTokenStart = fStart;
    fLineStart = fStart;
    if ((fOptions & kSymbols) != 0)
        fSymbols = new VJSONObject();
    // The thread's scratch, unless another reading on this thread holds it.
    if (sThreadScratch == nullptr && !tScratchGone)
    {
        // Registered after the scratch, so destroyed before it: no reading takes a destroyed one.
        static thread_local ScratchWatch sWatch;
        (void)sWatch;
        sThreadScratch = std::make_unique<Scratch>();
    }
    if (sThreadScratch != nullptr && !sThreadScratch->fInUse)
    {
        fScratch = sThreadScratch.get();
        fScratch->fInUse = true;
    }
    else
    {
        fScratch = new Scratch;
        fOwnsScratch = true;
    }
}

VJSONImporter::~VJSONImporter()
{
    ReleaseRefCountable(&fSymbols);
    ReleaseRefCountable(&fStorageLocker);
    if (fOwnsScratch)
        delete fScratch;
    else
        fScratch->Release();
}

void VJSONImporter::_CountLine(const UniChar* inAt)
{
    ++fLine;
    fLineStart = inAt + 1;
}

bool VJSONImporter::_SkipBlanks()
{
    bool strict = (fOptions & kStrict) != 0;
    bool symbols = (fOptions & kSymbols) != 0;
    while (fCursor < fEnd)
    {
        UniChar unit = *fCursor;
        if (unit > 0x20)
            return true;
        if (strict && !IsStrictBlank(unit))
        {
            fTokenStart = fCursor;
            _RefuseStrict(UnitText(unit), kExpectedBlank);
            return false;
        }
        if (symbols && (unit == u'\n' || (unit == u'\r' && (fCursor + 1 == fEnd || fCursor[1] != u'\n'))))
            _CountLine(fCursor);
        ++fCursor;
    }
    return false;
}

VJSONImporter::JsonToken VJSONImporter::_NextToken(Token& outToken, bool inWantText)
{
    fTokenFailed = false;
    fTokenStart = fCursor;
    outToken.fKind = jsonEnd;
    outToken.fQuoted = false;
    outToken.fDecoded = false;
    outToken.fUnits = nullptr;
    outToken.fLength = 0;
    if (!_SkipBlanks())
        return jsonEnd;
    UniChar unit = *fCursor;
    JsonToken kind = jsonString;
    switch (unit)
    {
    case u'{':
        kind = jsonBeginObject;
        break;
    case u'}':
        kind = jsonEndObject;
        break;
    case u'[':
        kind = jsonBeginArray;
        break;
    case u']':
        kind = jsonEndArray;
        break;
    case u',':
        kind = jsonComma;
        break;
    case u':':
        kind = jsonColon;
        break;
    case u'"':
        ++fCursor;
        outToken.fQuoted = true;
        if (!_ReadString(outToken, inWantText))
            return jsonEnd;
        outToken.fKind = jsonString;
        return jsonString;
    default:
        _ReadWord(outToken);
        outToken.fKind = jsonString;
        return jsonString;
    }
    ++fCursor;
    outToken.fKind = kind;
    return kind;
}

void VJSONImporter::_ReadWord(Token& ioToken)
{
    bool strict = (fOptions & kStrict) != 0;
    const UniChar* start = fCursor++;
    const UniChar* end = fCursor;
    while (fCursor < fEnd)
    {
        UniChar unit = *fCursor;
        if (unit > 0x20)
        {
            if (EndsWord(unit))
                break;
            end = ++fCursor;
            continue;
        }
        // A blank ends the word and is consumed; strict mode leaves a blank it refuses for the
        // next token, which reports it.
        if (strict && !IsStrictBlank(unit))
            break;
        if (unit == u'\r' && fCursor + 1 < fEnd && fCursor[1] == u'\n')
        {
            ++fCursor; // the LF is left for the next token, which counts the line
            break;
        }
        if ((fOptions & kSymbols) != 0 && (unit == u'\n' || unit == u'\r'))
            _CountLine(fCursor);
        ++fCursor;
        break;
    }
    ioToken.fUnits = start;
    ioToken.fLength = int32_t(end - start);
}

bool VJSONImporter::_ReadString(Token& ioToken, bool inWantText)
{
    bool strict = (fOptions & kStrict) != 0;
    const UniChar* run = fCursor;
    // The common string: no escape, no control unit.
    const UniChar* p = fCursor;
    // Strict reading checks surrogates, which only the slow path does.
    const UniChar surrogateMask = strict ? 0xF800 : 0;
    while (p < fEnd && *p != u'"' && *p != u'\\' && *p >= 0x20 && (*p & surrogateMask) != 0xD800)
        ++p;
    if (p < fEnd && *p == u'"')
    {
        ioToken.fUnits = run;
        ioToken.fLength = int32_t(p - run);
        fCursor = p + 1;
        return true;
    }

    // The slow path decodes into the token's own text, one run of plain units at a time.
    VString& text = ioToken.fText;
    if (inWantText)
    {
        text.Clear();
        ioToken.fDecoded = true;
    }
    auto flush = [&](const UniChar* inUntil)
    {
        if (inWantText && inUntil > run)
            text.AppendUniChars(run, int32_t(inUntil - run));
    };
    auto append = [&](UniChar inUnit)
    {
        if (inWantText)
            text.AppendUniChar(inUnit);
    };
    bool symbols = (fOptions & kSymbols) != 0;
    bool expectLow = false; // strict: the escape just read was a high surrogate
    bool cutShort = false;  // a \u escape without its four units
    fCursor = p;
    while (fCursor < fEnd && !cutShort)
    {
        UniChar unit = *fCursor;
        if (unit == u'"')
        {
            if (expectLow)
            {
                fTokenStart = fCursor;
                _RefuseStrict(u"\"", kExpectedSurrogatePair);
                return false;
            }
            flush(fCursor);
            ++fCursor;
            ioToken.fUnits = inWantText ? text.GetCPointer() : nullptr;
            ioToken.fLength = inWantText ? text.GetLength() : 0;
            return true;
        }
        if (unit != u'\\')
        {
            if (unit < 0x20 || expectLow)
            {
                if (strict)
                {
                    fTokenStart = fCursor;
                    _RefuseStrict(UnitText(unit),
                                  expectLow ? kExpectedSurrogatePair : kExpectedEscapedControl);
                    return false;
                }
                if (unit == 0)
                {
                    flush(fCursor);
                    run = ++fCursor;
                    continue;
                }
                if (symbols &&
                    (unit == u'\n' || (unit == u'\r' && (fCursor + 1 == fEnd || fCursor[1] != u'\n'))))
                    _CountLine(fCursor);
            }
            if (strict && IsSurrogate(unit))
            {
                // Text is Unicode: a surrogate stands only in a pair.
                if (IsHighSurrogate(unit) && fCursor + 1 < fEnd && IsLowSurrogate(fCursor[1]))
                {
                    fCursor += 2;
                    continue;
                }
                fTokenStart = fCursor;
                _RefuseStrict(UnitText(unit), kExpectedSurrogatePair);
                return false;
            }
            ++fCursor;
            continue;
        }
        // An escape.
        flush(fCursor);
        const UniChar* escapeStart = fCursor;
        if (fCursor + 1 >= fEnd)
        {
            append(0);
            fCursor = fEnd;
            run = fCursor;
            break;
        }
        UniChar escape = fCursor[1];
        fCursor += 2;
        if (expectLow && escape != u'u')
        {
            fTokenStart = escapeStart;
            _RefuseStrict(UnitText(escape), kExpectedSurrogatePair);
            return false;
        }
        switch (escape)
        {
        case u'b':
            append(8);
            break;
        case u'f':
            append(12);
            break;
        case u'n':
            append(10);
            break;
        case u'r':
            append(13);
            break;
        case u't':
            append(9);
            break;
        case u'u':
        {
            if (fEnd - fCursor < 4)
            {
                fCursor = fEnd;
                cutShort = true;
                break;
            }
            uint32_t value = 0;
            for (int k = 0; k < 4; ++k)
            {
                int digit = HexDigitValue(fCursor[k]);
                if (digit >= 0)
                {
                    value = (value << 4) | uint32_t(digit);
                }
                else if (strict)
                {
                    fTokenStart = escapeStart;
                    VString found;
                    found.AppendUniChars(escapeStart, 6);
                    _RefuseStrict(found, kExpectedHexDigit);
                    return false;
                }
            }
            if (strict)
            {
                // Escapes must pair surrogates the way UTF-16 does.
                bool high = IsHighSurrogate(value);
                bool low = IsLowSurrogate(value);
                if (expectLow != low)
                {
                    fTokenStart = escapeStart;
                    VString found;
                    found.AppendUniChars(escapeStart, 6);
                    _RefuseStrict(found, kExpectedSurrogatePair);
                    return false;
                }
                expectLow = high;
            }
            append(UniChar(value));
            fCursor += 4;
            break;
        }
        default:
            if (strict && escape != u'"' && escape != u'\\' && escape != u'/')
            {
                fTokenStart = escapeStart;
                VString found(u"\\");
                found.AppendString(UnitText(escape));
                _RefuseStrict(found, kExpectedEscape);
                return false;
            }
            if (symbols && (escape == u'\n' || (escape == u'\r' && (fCursor == fEnd || *fCursor != u'\n'))))
                _CountLine(fCursor - 1);
            append(escape);
            break;
        }
        run = fCursor;
    }
    if (!cutShort)
        flush(fCursor);
    if (strict)
    {
        _ThrowErrorUnterminated();
        return false;
    }
    ioToken.fUnits = inWantText ? text.GetCPointer() : nullptr;
    ioToken.fLength = inWantText ? text.GetLength() : 0;
    return true;
}

VJSONImporter::JsonToken VJSONImporter::_PublicToken(Token& outToken, bool inWantText, VError* outError)
{
    JsonToken kind;
    if (outError == nullptr)
    {
        // Without an error out-parameter a failure is only the end of the text: no record stays.
        StErrorContextInstaller quiet(VE_JSON_MALFORMED, VE_JSON_INVALID_TOKEN, VE_JSON_UNTERMINATED_STRING,
                                      VE_JSON_TOKEN_AT_END);
        kind = _NextToken(outToken, inWantText);
    }
    else
    {
        kind = _NextToken(outToken, inWantText);
        *outError = fTokenFailed ? VE_JSON_MALFORMED : VE_OK;
    }
    return kind;
}

VJSONImporter::JsonToken VJSONImporter::GetNextJSONToken(VString& outText, bool* outQuoted, VError* outError)
{
    Token token;
    JsonToken kind = _PublicToken(token, true, outError);
    if (outQuoted != nullptr)
        *outQuoted = token.fQuoted;
    outText.Clear();
    if (kind == jsonString)
        outText = token.GetText();
    return kind;
}

VJSONImporter::JsonToken VJSONImporter::GetNextJSONToken(VError* outError)
{
    Token token;
    return _PublicToken(token, false, outError);
}

// ---------------------------------------------------------------------------------------------
// Values

VError VJSONImporter::ParseString(const VString& inText, VJSONValue& outValue, uint32_t inOptions)
{
    VJSONImporter importer(inText, inOptions);
    return importer._ReadTopValue(outValue);
}

VError VJSONImporter::Parse(VJSONValue& outValue)
{
    return _ReadTopValue(outValue);
}

VError VJSONImporter::ParseFile(const IFile* inFile, VJSONValue& outValue, uint32_t inOptions)
{
    if (inFile == nullptr)
    {
        outValue.SetUndefined();
        return VE_OK;
    }
    VString path;
    inFile->GetPlatformPath(path, FPS_POSIX);
    VString content;
    VError error = (inOptions & kStrict) != 0 ? _ReadStrictContent(*inFile, path, content, inOptions)
                                              : inFile->GetContentAsString(content, VTC_UTF_8, eCRM_NONE);
    if (error == VE_JSON_MALFORMED)
        outValue.SetUndefined();
    if (error != VE_OK)
        return error;
    VJSONImporter importer(content, inOptions);
    importer.fSourceName = path;
    return importer._ReadTopValue(outValue);
}

VError VJSONImporter::_ReadStrictContent(const IFile& inFile, const VString& inPath, VString& outText,
                                         uint32_t inOptions)
{
    VMemoryBuffer<1024ul, 2ul, 1048576ul> content;
    {
        StErrorContextInstaller reading(true, false);
        VError error = inFile.GetContent(content);
        if (error == VE_OK)
            error = reading.GetLastError();
        else if (reading.GetLastError() == VE_OK)
            _ThrowError(error);
        if (error != VE_OK)
            return error;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(content.GetDataPtr());
    size_t size = bytes != nullptr ? content.GetDataSize() : 0;
    size_t bomSize = 0;
    CharSet charSet = VTC_UTF_8;
    if (size > 0 && VTextConverters::ParseBOM(bytes, size, &bomSize, &charSet) && bomSize <= size)
    {
        bytes += bomSize;
        size -= bomSize;
    }
    else
    {
        charSet = VTC_UTF_8;
    }
    // The UTF-8 decoder repairs what is not UTF-8, which a strict reading must refuse (RFC 8259
    // 8.1); text in another form named by its mark is checked by the tokenizer.
    const size_t bad = charSet == VTC_UTF_8 ? FirstIllFormedUTF8(bytes, size) : size;
    outText.Clear();
    if (bad > 0)
        outText.FromBlock(bytes, bad, charSet);
    if (bad == size)
        return VE_OK;
    // Reported where the byte stands in the text read before it.
    VJSONImporter importer(outText, inOptions);
    importer.fSourceName = inPath;
    importer.fTokenStart = importer.fEnd;
    char found[8];
    std::snprintf(found, sizeof(found), "\\x%02X", unsigned(bytes[bad]));
    return importer._RefuseStrict(VString(found), kExpectedUTF8);
}

VStorageLocker* VJSONImporter::_GetStorageLocker()
{
    // One locker for the whole reading, serving more than one collection from the start.
    if (fStorageLocker == nullptr)
        fStorageLocker = new VStorageLocker(false, false);
    return fStorageLocker;
}

VError VJSONImporter::_ReadTopValue(VJSONValue& outValue)
{
    fDecodedForms = false;
    VError error = _ParseValue(outValue);
    // The collections were filled unlinked, each once, at its end: the tree is linked at once now.
    if (!VJSONGraph::ConnectTree(outValue))
    {
        outValue.SetUndefined();
        _ThrowError(VE_MEMORY_FULL);
        if (error == VE_OK)
            error = VE_MEMORY_FULL;
    }
    // The forms share their parts, never one another's: together they may pass the bound of the
    // value that holds them all. Nothing of a value refused is handed out.
    if (error == VE_OK && fDecodedForms)
    {
        error = CheckJSONExpandedSize(outValue, JSONExpansionLimit(outValue));
        if (error != VE_OK)
            outValue.SetUndefined();
    }
    if (error == VE_OK && outValue.IsObject())
        SetPathLineForEncompasingObject();
    if (error == VE_OK && (fOptions & kStrict) != 0)
    {
        // Nothing but blanks may follow the value.
        fTokenFailed = false;
        fTokenStart = fCursor;
        if (_SkipBlanks())
        {
            fTokenStart = fCursor;
            error = _ThrowErrorInvalidToken(_GetStartTokenFirstChar(), kExpectedEnd);
        }
        else if (fTokenFailed)
        {
            error = VE_JSON_MALFORMED;
        }
        if (error != VE_OK && (fOptions & kUndefinedOnFailure) != 0)
            outValue.SetUndefined();
    }
    return error;
}

VError VJSONImporter::_ValueOfToken(JsonToken inKind, VJSONValue& outValue, const char* inExpectedWord,
                                    const char* inExpectedToken)
{
    switch (inKind)
    {
    case jsonBeginObject:
    {
        VError error = _ParseObject(outValue);
        if (error == VE_OK && outValue.IsObject())
            error = _DecodeBinaryObject(outValue);
        return error;
    }
    case jsonBeginArray:
        return _ParseArray(outValue);
    case jsonString:
        return _TokenToValue(fToken, outValue, inExpectedWord);
    default:
        return fTokenFailed ? VE_JSON_MALFORMED : _ThrowErrorInvalidToken(inKind, inExpectedToken);
    }
}

VError VJSONImporter::_DecodeBinaryObject(VJSONValue& ioValue)
{
    const VString& carrier = VJSONBinaryImporter::sBinaryPropertyName();
    for (const VJSONObject::Property& property : ioValue.GetObject()->_GetProperties())
    {
        if (property.fName.GetLength() != carrier.GetLength() || !property.fValue.IsString() ||
            !property.fName.GetString().EqualToStringRaw(carrier))
            continue;
        VString text;
        property.fValue.GetString(text);
        VJSONValue decoded;
        // Each form is held to the bound of its own value here, and the value read to the bound
        // of all it holds at the end.
        uint64_t unbounded = UINT64_MAX;
        VError error = VJSONBinaryImporter::ReadBase64(text, decoded, unbounded);
        if (error == VE_OK)
        {
            ioValue = std::move(decoded);
            fDecodedForms = true;
        }
        return error;
    }
    return VE_OK;
}

VError VJSONImporter::_ParseValue(VJSONValue& outValue)
{
    JsonToken kind = _NextToken(fToken, true);
    VJSONValue value;
    VError error = _ValueOfToken(kind, value, kExpectedValue, kExpectedValue);
    if (error != VE_OK && (fOptions & kUndefinedOnFailure) != 0)
        outValue.SetUndefined();
    else
        outValue = std::move(value);
    return error;
}

const VJSONObject::Name& VJSONImporter::_SharedName(const Token& inToken)
{
    if (inToken.fLength > Scratch::kMaxNameLength)
    {
        fLongName = VJSONObject::Name(inToken.fUnits, inToken.fLength);
        return fLongName;
    }
    return fScratch->GetName(inToken.fUnits, inToken.fLength);
}

VError VJSONImporter::_StringToValue(const VString& inText, bool inQuoted, VJSONValue& outValue,
                                     const char* inExpected)
{
    Token token;
    token.fKind = jsonString;
    token.fQuoted = inQuoted;
    token.fUnits = inText.GetCPointer();
    token.fLength = inText.GetLength();
    token.fDecoded = true;
    token.fText = inText;
    return _TokenToValue(token, outValue, inExpected);
}

VError VJSONImporter::_TokenToValue(Token& ioToken, VJSONValue& outValue, const char* inExpected)
{
    if (!ioToken.fQuoted)
        return _WordToValue(ioToken.fUnits, ioToken.fLength, outValue, inExpected);
    if (_QuotedToDate(ioToken.fUnits, ioToken.fLength, outValue))
        return VE_OK;
    if (ioToken.fDecoded)
    {
        outValue.SetString(ioToken.fText);
        return VE_OK;
    }
    if (ioToken.fLength == 0)
    {
        outValue.SetString(VString::sEmpty);
        return VE_OK;
    }
    if (ioToken.fLength <= kSharedValueLength)
    {
        // Short texts recur (codes, units, flags): they share one block, as names do.
        const VJSONObject::Name& shared = _SharedName(ioToken);
        VInlineString record;
        record.fString = const_cast<UniChar*>(shared.GetUnits());
        record.fLength = record.fMaxLength = shared.GetLength();
        if (record.fString != nullptr)
        {
            outValue.SetString(record);
            return VE_OK;
        }
    }
    // A block of its own for the value, made straight from the source units.
    VInlineString record;
    record.fString = VString::_NewBlockWithText(ioToken.fUnits, ioToken.fLength, kMEM_TAG_STRING);
    if (record.fString == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    record.fLength = record.fMaxLength = ioToken.fLength;
    outValue.SetString(record);
    record.Dispose();
    return VE_OK;
}

bool VJSONImporter::_QuotedToDate(const UniChar* inUnits, int32_t inLength, VJSONValue& outValue) const
{
    if ((fOptions & (kBangDates | kISODates)) == 0 || inLength < 4)
        return false;
    VString text(const_cast<UniChar*>(inUnits), inLength, size_t(-1));
    bool date = false;
    if ((fOptions & kBangDates) != 0)
    {
        if (fAnyDate)
            date = text.IsNonAmbigousDate();
        else
            date = inUnits[0] == u'!' && inUnits[1] == u'!' && inUnits[inLength - 2] == u'!' &&
                   inUnits[inLength - 1] == u'!';
    }
    if (!date && (fOptions & kISODates) != 0)
        date = text.IsISODate();
    if (!date)
        return false;
    VTime time;
    if (!fAnyDate && inUnits[0] == u'!' && inUnits[1] == u'!')
        time.FromXMLString(VString(const_cast<UniChar*>(inUnits + 2), inLength - 4, size_t(-1)));
    else
        time.FromXMLString(text);
    outValue.SetTime(time);
    return true;
}

VError VJSONImporter::_WordToValue(const UniChar* inUnits, int32_t inLength, VJSONValue& outValue,
                                   const char* inExpected)
{
    if (SameText(inUnits, inLength, "true"))
    {
        outValue.SetBool(true);
        return VE_OK;
    }
    if (SameText(inUnits, inLength, "false"))
    {
        outValue.SetBool(false);
        return VE_OK;
    }
    if (SameText(inUnits, inLength, "null"))
    {
        outValue.SetNull();
        return VE_OK;
    }
    VString word;
    if (inLength > 0 && (inUnits[0] == u'-' || IsDigit(inUnits[0])))
    {
        NumberShape shape = ReadNumberShape(inUnits, inLength);
        // Strict reading wants a digit before any point or exponent, and an ASCII sign.
        bool strictRefused = (fOptions & kStrict) != 0 && (!shape.fIntegerDigits || shape.fMinusSign);
        if (shape.fValid && !strictRefused)
        {
            outValue.SetNumber(NumberValue(inUnits, inLength, shape));
            return VE_OK;
        }
        word.AppendUniChars(inUnits, inLength);
        return _ThrowErrorInvalidToken(word, kExpectedNumber);
    }
    word.AppendUniChars(inUnits, inLength);
    if ((fOptions & kStrict) != 0)
        return _ThrowErrorInvalidToken(word, inExpected);
    outValue.SetString(word);
    return VE_OK;
}

VError VJSONImporter::_ParseObject(VJSONValue& outValue)
{
    StJSONNesting level;
    if (!level.IsOK())
        return _ThrowErrorMalformed();
    bool symbols = (fOptions & kSymbols) != 0;
    const size_t base = fScratch->fProperties.size();
    VError error = VE_OK;
    VString savedPath;
    while (error == VE_OK)
    {
        JsonToken kind = _NextToken(fToken, true);
        bool empty = fScratch->fProperties.size() == base;
        if (kind == jsonEndObject)
        {
            if (!empty)
                error = _ThrowErrorExtraComma("}");
            break;
        }
        if (kind != jsonString)
        {
            if (fTokenFailed)
                error = VE_JSON_MALFORMED;
            else
                error = _ThrowErrorInvalidToken(kind, empty ? kExpectedNameOrEnd : kExpectedName);
            break;
        }
        if (!fToken.fQuoted && (fOptions & kStrict) != 0)
        {
            error = _ThrowErrorInvalidToken(fToken.GetText(), kExpectedName);
            break;
        }
        VJSONObject::Name name = fToken.fDecoded ? VJSONObject::Name(fToken.fText) : _SharedName(fToken);
        if (symbols)
        {
            savedPath = fCurrentPath;
            _AppendToPath(name.GetString());
            _RecordSymbol(fCurrentPath, (fCursor - fLineStart) - (int64_t(name.GetLength()) + 2));
        }
        if (_NextToken(fToken, false) != jsonColon)
        {
            error = fTokenFailed ? VE_JSON_MALFORMED
                                 : _ThrowErrorInvalidToken(_GetStartTokenFirstChar(), kExpectedColon);
            break;
        }
        VJSONValue value;
        error = _ParseValue(value);
        if (error != VE_OK)
            break;
        try
        {
            fScratch->fProperties.push_back(VJSONObject::Property{std::move(name), std::move(value)});
        }
        catch (const std::bad_alloc&)
        {
            _ThrowError(VE_MEMORY_FULL);
            error = VE_MEMORY_FULL;
            break;
        }
        kind = _NextToken(fToken, false);
        if (symbols)
            fCurrentPath = savedPath;
        if (kind == jsonEndObject)
            break;
        if (kind != jsonComma)
            error = fTokenFailed ? VE_JSON_MALFORMED : _ThrowErrorInvalidToken(kind, kExpectedObjectNext);
    }
    // Also after a failure: the object holds what was read.
    VJSONValue result(JSON_object);
    if (!result.GetObject()->_AdoptProperties(fScratch->fProperties.data() + base,
                                              fScratch->fProperties.data() + fScratch->fProperties.size()) &&
        error == VE_OK)
    {
        _ThrowError(VE_MEMORY_FULL);
        error = VE_MEMORY_FULL;
    }
    fScratch->fProperties.resize(base);
    if ((fOptions & kShared) != 0)
        result.GetObject()->_SetStorageLocker(_GetStorageLocker());
    outValue = std::move(result);
    return error;
}

VError VJSONImporter::_ParseArray(VJSONValue& outValue)
{
    StJSONNesting level;
    if (!level.IsOK())
        return _ThrowErrorMalformed();
    bool symbols = (fOptions & kSymbols) != 0;
    const size_t base = fScratch->fElements.size();
    VError error = VE_OK;
    size_t index = 0;
    VString savedPath;
    while (error == VE_OK)
    {
        if (symbols)
        {
            savedPath = fCurrentPath;
            fCurrentPath.AppendUniChar(u'[');
            fCurrentPath.AppendULong8(index++);
            fCurrentPath.AppendUniChar(u']');
        }
        JsonToken kind = _NextToken(fToken, true);
        if (symbols && (kind == jsonBeginObject || kind == jsonBeginArray))
        {
            _RecordSymbol(fCurrentPath, (fCursor - 1) - fLineStart);
        }
        else if (symbols && kind == jsonString)
        {
            int64_t offset = (fCursor - fLineStart) - fToken.fLength;
            if (fCursor > fStart && fCursor[-1] == u'"')
                offset -= 2;
            _RecordSymbol(fCurrentPath, offset);
        }
        bool empty = fScratch->fElements.size() == base;
        if (kind == jsonEndArray)
        {
            if (!empty)
                error = _ThrowErrorExtraComma("]");
            break;
        }
        VJSONValue value;
        error = _ValueOfToken(kind, value, kExpectedValueOrEnd, empty ? kExpectedValueOrEnd : kExpectedValue);
        if (error != VE_OK)
            break;
        try
        {
            fScratch->fElements.push_back(std::move(value));
        }
        catch (const std::bad_alloc&)
        {
            _ThrowError(VE_MEMORY_FULL);
            error = VE_MEMORY_FULL;
            break;
        }
        kind = _NextToken(fToken, false);
        if (symbols)
            fCurrentPath = savedPath;
        if (kind == jsonEndArray)
            break;
        if (kind != jsonComma)
            error = fTokenFailed ? VE_JSON_MALFORMED
                                 : _ThrowErrorInvalidToken(_GetStartTokenFirstChar(), kExpectedArrayNext);
    }
    VJSONValue result(JSON_array);
    if (!result.GetArray()->_AdoptValues(fScratch->fElements.data() + base,
                                         fScratch->fElements.data() + fScratch->fElements.size()) &&
        error == VE_OK)
    {
        _ThrowError(VE_MEMORY_FULL);
        error = VE_MEMORY_FULL;
    }
    fScratch->fElements.resize(base);
    if ((fOptions & kShared) != 0)
        result.GetArray()->_SetStorageLocker(_GetStorageLocker());
    outValue = std::move(result);
    return error;
}

// ---------------------------------------------------------------------------------------------
// Symbols

void VJSONImporter::_AppendToPath(const VString& inName)
{
    if (!fCurrentPath.IsEmpty() && !(inName.GetLength() > 0 && inName.GetUniChar(1) == u'['))
        fCurrentPath.AppendUniChar(u'.');
    fCurrentPath.AppendString(inName);
}

void VJSONImporter::_RecordSymbol(const VString& inPath, int64_t inOffset)
{
    static const VString sLine("line");
    static const VString sOffset("offset");
    if (fSymbols == nullptr)
        return;
    VJSONValue record(JSON_object);
    record.GetObject()->SetProperty(sLine, VJSONValue(double(fLine)));
    record.GetObject()->SetProperty(sOffset, VJSONValue(double(inOffset)));
    fSymbols->SetProperty(inPath, record);
}

void VJSONImporter::SetPathLineForEncompasingObject()
{
    if (fSymbols == nullptr)
        return;
    static const VString sClosingBrace("}");
    _RecordSymbol(sClosingBrace, (fCursor - 1) - fLineStart);
}

// ---------------------------------------------------------------------------------------------
// Errors

VString VJSONImporter::_TokenToString(JsonToken inToken)
{
    switch (inToken)
    {
    case jsonBeginObject:
        return VString("{");
    case jsonEndObject:
        return VString("}");
    case jsonBeginArray:
        return VString("[");
    case jsonEndArray:
        return VString("]");
    case jsonComma:
        return VString(",");
    case jsonColon:
        return VString(":");
    case jsonString:
        return VString("\"");
    case jsonBang:
        return VString("!");
    default:
        return VString();
    }
}

VString VJSONImporter::_GetStartTokenFirstChar() const
{
    const UniChar* p = fTokenStart;
    while (p < fEnd && *p <= 0x20)
        ++p;
    VString text;
    if (p < fEnd)
        text.AppendUniChar(*p);
    return text;
}

VError VJSONImporter::_ThrowErrorMalformed()
{
    // Where the offending token begins: its first unit that is not blank.
    const UniChar* at = std::min(fTokenStart, fEnd);
    while (at < fEnd && *at <= 0x20)
        ++at;
    int64_t lineFeeds = 0, carriageReturns = 0;
    const UniChar* afterLastLF = fStart;
    const UniChar* afterLastCR = fStart;
    for (const UniChar* p = fStart; p < at; ++p)
    {
        if (*p == u'\n')
        {
            ++lineFeeds;
            afterLastLF = p + 1;
        }
        else if (*p == u'\r')
        {
            ++carriageReturns;
            afterLastCR = p + 1;
        }
    }
    const UniChar* lineStart = lineFeeds > carriageReturns ? afterLastLF : afterLastCR;
    int64_t line = std::max(lineFeeds, carriageReturns) + 1;
    int64_t position = (at - lineStart) + 1;

    VErrorBase* error = new VErrorBase(VE_JSON_MALFORMED);
    VString source;
    if (!fSourceName.IsEmpty())
    {
        source.AppendString(fSourceName);
        source.AppendCString(", ");
    }
    error->GetBag()->SetString("source", source);
    error->GetBag()->SetLong("line", int32_t(std::min<int64_t>(line, INT32_MAX)));
    error->GetBag()->SetLong("position", int32_t(std::min<int64_t>(position, INT32_MAX)));
    _PushRetainedError(error, VE_OK);
    return VE_JSON_MALFORMED;
}

VError VJSONImporter::_ThrowErrorInvalidToken(const VString& inFound, const char* inExpected)
{
    if ((fOptions & kQuietTokens) != 0)
        return VE_JSON_MALFORMED;
    VErrorBase* error = new VErrorBase(inFound.IsEmpty() ? VE_JSON_TOKEN_AT_END : VE_JSON_INVALID_TOKEN);
    error->GetBag()->SetString("found", inFound);
    error->GetBag()->SetString("expected", VString(inExpected));
    _PushRetainedError(error, VE_OK);
    return _ThrowErrorMalformed();
}

VError VJSONImporter::_ThrowErrorInvalidToken(JsonToken inFound, const char* inExpected)
{
    return _ThrowErrorInvalidToken(_TokenToString(inFound), inExpected);
}

VError VJSONImporter::_ThrowErrorUnterminated()
{
    fTokenFailed = true;
    VErrorBase* error = new VErrorBase(VE_JSON_UNTERMINATED_STRING);
    error->GetBag()->SetString("token", VString("\""));
    _PushRetainedError(error, VE_OK);
    return _ThrowErrorMalformed();
}

VError VJSONImporter::_ThrowErrorExtraComma(const char* inToken)
{
    VErrorBase* error = new VErrorBase(VE_JSON_EXTRA_COMMA);
    error->GetBag()->SetString("token", VString(inToken));
    _PushRetainedError(error, VE_OK);
    return _ThrowErrorMalformed();
}

VError VJSONImporter::_RefuseStrict(const VString& inFound, const char* inExpected)
{
    fTokenFailed = true;
    return _ThrowErrorInvalidToken(inFound, inExpected);
}

// ---------------------------------------------------------------------------------------------
// Value bags

namespace
{

const StBagKeyNoDefault<VBoolean> kObjectUnique("____objectunic");
const VString kFakeArrayElement("____FakeArrayElement");
const VString kCDataName("__CDATA");

// The bag refused an attribute or element: a name it cannot hold, or no memory.
VError BagRefusal(const VString& inName)
{
    StPackedDictionaryKey key(inName);
    bool nameFits = key.IsValid() && key.GetKeyLength() <= StPackedDictionaryKey::kMaxKeyLength;
    return nameFits ? VE_MEMORY_FULL : VE_INVALID_PARAMETER;
}

} // namespace

VError VJSONImporter::JSONObjectToBag(VValueBag& ioBag)
{
    return _BagObject(ioBag, 0);
}

VError VJSONImporter::_BagObject(VValueBag& ioBag, uint32_t inDepth)
{
    StJSONNesting level;
    if (!level.IsOK())
        return _ThrowErrorMalformed();
    Token token;
    JsonToken kind;
    if (inDepth == 0)
    {
        kind = _NextToken(token, false);
        if (kind != jsonBeginObject)
            return fTokenFailed ? VE_JSON_MALFORMED : _ThrowErrorInvalidToken(kind, kExpectedObjectStart);
    }
    bool any = false;
    kind = _NextToken(token, true);
    while (kind != jsonEndObject && kind != jsonEnd)
    {
        if (kind != jsonString)
            return _ThrowErrorInvalidToken(kind, any ? kExpectedName : kExpectedNameOrEnd);
        VString name = token.GetText();
        Token colon;
        if (_NextToken(colon, false) != jsonColon)
            return fTokenFailed ? VE_JSON_MALFORMED
                                : _ThrowErrorInvalidToken(_GetStartTokenFirstChar(), kExpectedColon);
        VError error = _BagValue(ioBag, name, token, inDepth);
        if (error != VE_OK)
            return error;
        any = true;
        kind = _NextToken(token, true);
        if (kind == jsonComma)
            kind = _NextToken(token, true);
    }
    // The end of the text closes what is open, unless the tokenizer failed there.
    return fTokenFailed ? VE_JSON_MALFORMED : VE_OK;
}

VError VJSONImporter::_BagValue(VValueBag& ioBag, const VString& inName, Token& ioToken, uint32_t inDepth)
{
    JsonToken kind = _NextToken(ioToken, true);
    switch (kind)
    {
    case jsonBeginObject:
    {
        VRefPtr<VValueBag> child(new VValueBag);
        child->SetAttribute(kObjectUnique, VBoolean(true));
        VError error = _BagObject(*child, inDepth + 1);
        if (error != VE_OK)
            return error;
        return ioBag.AddElement(inName, child.Get()) ? VE_OK : BagRefusal(inName);
    }
    case jsonBeginArray:
        return _BagArray(ioBag, inName, inDepth);
    case jsonString:
    {
        if (inName.EqualToStringRaw(VJSONBinaryImporter::sBinaryPropertyName()))
        {
            VJSONValue decoded;
            VError error = VJSONBinaryImporter::ReadBase64(ioToken.GetText(), decoded, fBagBudget);
            return error == VE_OK ? ioBag.FromJSONValue(decoded) : error;
        }
        if (inName.EqualToStringRaw(kCDataName))
        {
            VString text = ioToken.GetText();
            return ioBag.SetAttribute(VValueBag::CDataAttributeName(), text) ? VE_OK : VE_MEMORY_FULL;
        }
        VError error = VE_OK;
        _SetBagScalar(ioBag, inName, ioToken, false, error);
        return error;
    }
    default:
        return fTokenFailed ? VE_JSON_MALFORMED : _ThrowErrorInvalidToken(kind, kExpectedValue);
    }
}

VError VJSONImporter::_BagArray(VValueBag& ioBag, const VString& inName, uint32_t inDepth)
{
    Token token;
    JsonToken kind = _NextToken(token, true);
    while (kind != jsonEndArray && kind != jsonEnd)
    {
        VRefPtr<VValueBag> child(new VValueBag);
        VError error = VE_OK;
        if (kind == jsonBeginObject)
            error = _BagObject(*child, inDepth + 1);
        else if (kind == jsonString)
            _SetBagScalar(*child, kFakeArrayElement, token, true, error);
        else
            error = _ThrowErrorInvalidToken(kind, kExpectedBagElement);
        if (error != VE_OK)
            return error;
        if (!ioBag.AddElement(inName, child.Get()))
            return BagRefusal(inName);
        kind = _NextToken(token, true);
        if (kind == jsonComma)
            kind = _NextToken(token, true);
    }
    return fTokenFailed ? VE_JSON_MALFORMED : VE_OK;
}

void VJSONImporter::_SetBagScalar(VValueBag& ioBag, const VString& inName, const Token& inToken,
                                  bool inQuotedAsString, VError& outError)
{
    const UniChar* units = inToken.fUnits;
    int32_t length = inToken.fLength;
    bool stored = false;
    if (inToken.fQuoted)
    {
        VString text = inToken.GetText();
        bool date = !inQuotedAsString && (fAnyDate ? text.IsNonAmbigousDate() : text.IsISODate());
        if (date)
        {
            VTime time;
            time.FromXMLString(text);
            stored = ioBag.SetAttribute(inName, time);
        }
        else
        {
            stored = ioBag.SetAttribute(inName, text);
        }
    }
    else if (SameText(units, length, "null"))
    {
        VString nothing;
        nothing.SetNull(true);
        stored = ioBag.SetAttribute(inName, nothing);
    }
    else if (SameText(units, length, "true") || SameText(units, length, "false"))
    {
        stored = ioBag.SetAttribute(inName, VBoolean(units[0] == u't'));
    }
    else
    {
        // Numbers follow the reader's grammar: a whole literal that 64 bits hold is a long8,
        // any other number a real; every other word is text.
        NumberShape shape = length > 0 && (units[0] == u'-' || IsDigit(units[0]))
                                ? ReadNumberShape(units, length)
                                : NumberShape();
        int64_t integer = 0;
        if (shape.fValid && shape.fIntegerDigits && !shape.fFraction && !shape.fExponent &&
            IntegerValue(units, length, integer))
            stored = ioBag.SetAttribute(inName, VLong8(integer));
        else if (shape.fValid)
            stored = ioBag.SetAttribute(inName, VReal(NumberValue(units, length, shape)));
        else
            stored = ioBag.SetAttribute(inName, inToken.GetText());
    }
    if (!stored)
        outError = BagRefusal(inName);
}

} // namespace kova
