// printf-style formatting of VString.
//
// The format is walked one directive at a time: literal text is appended as it stands, each
// directive of the C library is handed to snprintf alone with the argument it takes, fetched by
// its real type (on x86_64 floating-point arguments travel apart from the others, so only the
// directive's own type finds the right one), and each object directive appends its object's
// text. So no output is ever cut, no text of the caller can pass for the place of an object, and
// the C library only ever sees one directive that this file has checked.
//
// The everyday directives (integers, reals in f, e and g forms, C strings and characters, with the
// flags '-', '+', ' ' and '0' and a width and precision of up to 128) are written here instead,
// digits by std::to_chars, which writes what the C library writes in the "C" locale: a call of
// snprintf costs more than the formatting itself. Everything else still goes to snprintf.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VValueSingle.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <typeinfo>
#include <sys/types.h>

namespace kova
{

namespace
{

// How a directive's argument travels in the argument list.
enum class ArgumentClass
{
    kInvalid, // no directive the C library knows: written as it stands, no argument
    kNone,    // no argument ("%%", "%m")
    kInt,
    kLong,
    kLongLong,
    kIntMax,
    kSize,
    kPtrDiff,
    kWideChar,
    kDouble,
    kLongDouble,
    kCString,
    kWideString,
    kPointer,
    kCount,  // "%n": its pointer is taken and nothing is written through it
    kObject, // "%A", "%S", "%V"
};

enum class LengthModifier
{
    kNone,
    kChar,
    kShort,
    kLong,
    kLongLong,
    kLongDouble,
    kIntMax,
    kSize,
    kPtrDiff,
};

// Flags of a directive.
constexpr unsigned kFlagMinus = 1;
constexpr unsigned kFlagPlus = 2;
constexpr unsigned kFlagSpace = 4;
constexpr unsigned kFlagZero = 8;
constexpr unsigned kFlagOther = 16; // '#', '\'' or 'I': left to the C library

struct Directive
{
    size_t fLength = 0; // bytes from the '%' through the conversion character
    int fStars = 0;     // '*' for the width and the precision: one int argument each, first
    char fConversion = 0;
    ArgumentClass fClass = ArgumentClass::kInvalid;
    unsigned fFlags = 0;
    int fWidth = 0;      // digits given; 0 when none
    int fPrecision = -1; // digits given after '.'; -1 when none ('.' alone is 0)
    LengthModifier fModifier = LengthModifier::kNone;
};

// Longer directives (endless flags, absurd widths) are not passed to the C library.
constexpr size_t kLongestDirective = 40;
// Widths and precisions formatted here; larger ones go to the C library.
constexpr int kLargestNativeField = 128;

bool IsDigit(char inChar)
{
    return inChar >= '0' && inChar <= '9';
}

ArgumentClass IntegerClass(LengthModifier inLength)
{
    switch (inLength)
    {
    case LengthModifier::kLong:
        return ArgumentClass::kLong;
    case LengthModifier::kLongLong:
    case LengthModifier::kLongDouble: // "%Ld" is a long long for the C library
        return ArgumentClass::kLongLong;
    case LengthModifier::kIntMax:
        return ArgumentClass::kIntMax;
    case LengthModifier::kSize:
        return ArgumentClass::kSize;
    case LengthModifier::kPtrDiff:
        return ArgumentClass::kPtrDiff;
    default:
        return ArgumentClass::kInt; // char and short arguments arrive as int
    }
}

// The directive that starts at the '%'.
Directive ParseDirective(const char* inPercent)
{
    Directive directive;
    const char* cursor = inPercent + 1;
    // The object directives and "%%" are known by the one character after the '%'.
    if (*cursor == 'A' || *cursor == 'S' || *cursor == 'V' || *cursor == '%')
    {
        directive.fLength = 2;
        directive.fConversion = *cursor;
        directive.fClass = *cursor == '%' ? ArgumentClass::kNone : ArgumentClass::kObject;
        return directive;
    }
    for (;; ++cursor)
    {
        if (*cursor == '-')
            directive.fFlags |= kFlagMinus;
        else if (*cursor == '+')
            directive.fFlags |= kFlagPlus;
        else if (*cursor == ' ')
            directive.fFlags |= kFlagSpace;
        else if (*cursor == '0')
            directive.fFlags |= kFlagZero;
        else if (*cursor == '#' || *cursor == '\'' || *cursor == 'I')
            directive.fFlags |= kFlagOther;
        else
            break;
    }
    // The width, then the precision after a '.': digits, or a '*' that takes an argument. A count
    // too large for the fields formatted here is kept as one more than their limit.
    auto readCount = [&]()
    {
        if (*cursor == '*')
        {
            ++directive.fStars;
            ++cursor;
            return 0;
        }
        int count = 0;
        while (IsDigit(*cursor))
        {
            if (count <= kLargestNativeField)
                count = count * 10 + (*cursor - '0');
            ++cursor;
        }
        return count > kLargestNativeField ? kLargestNativeField + 1 : count;
    };
    directive.fWidth = readCount();
    if (*cursor == '.')
    {
        ++cursor;
        directive.fPrecision = readCount();
    }
    LengthModifier length = LengthModifier::kNone;
    switch (*cursor)
    {
    case 'h':
        length = cursor[1] == 'h' ? LengthModifier::kChar : LengthModifier::kShort;
        cursor += cursor[1] == 'h' ? 2 : 1;
        break;
    case 'l':
        length = cursor[1] == 'l' ? LengthModifier::kLongLong : LengthModifier::kLong;
        cursor += cursor[1] == 'l' ? 2 : 1;
        break;
    case 'q':
        length = LengthModifier::kLongLong;
        ++cursor;
        break;
    case 'L':
        length = LengthModifier::kLongDouble;
        ++cursor;
        break;
    case 'j':
        length = LengthModifier::kIntMax;
        ++cursor;
        break;
    case 'z':
    case 'Z':
        length = LengthModifier::kSize;
        ++cursor;
        break;
    case 't':
        length = LengthModifier::kPtrDiff;
        ++cursor;
        break;
    default:
        break;
    }
    directive.fModifier = length;
    directive.fConversion = *cursor;
    if (*cursor == 0)
    {
        // A directive cut by the end of the format is written as it stands.
        directive.fLength = size_t(cursor - inPercent);
        return directive;
    }
    directive.fLength = size_t(cursor + 1 - inPercent);
    switch (*cursor)
    {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        directive.fClass = IntegerClass(length);
        break;
    case 'c':
        directive.fClass = length == LengthModifier::kLong ? ArgumentClass::kWideChar : ArgumentClass::kInt;
        break;
    case 'C':
        directive.fClass = ArgumentClass::kWideChar;
        break;
    case 's':
        directive.fClass =
            length == LengthModifier::kLong ? ArgumentClass::kWideString : ArgumentClass::kCString;
        break;
    case 'S':
        directive.fClass = ArgumentClass::kWideString;
        break;
    case 'p':
        directive.fClass = ArgumentClass::kPointer;
        break;
    case 'n':
        directive.fClass = ArgumentClass::kCount;
        break;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        directive.fClass =
            length == LengthModifier::kLongDouble ? ArgumentClass::kLongDouble : ArgumentClass::kDouble;
        break;
    case 'm':
    case '%':
        directive.fClass = ArgumentClass::kNone;
        break;
    default:
        break;
    }
    if (directive.fLength > kLongestDirective)
        directive.fClass = ArgumentClass::kInvalid;
    return directive;
}

// One directive of the C library with its width and precision arguments and its value.
template <class T>
int FormatOne(char* outBuffer, size_t inSize, const char* inSpec, int inStars, const int* inStarValues,
              T inValue)
{
    switch (inStars)
    {
    case 0:
        return std::snprintf(outBuffer, inSize, inSpec, inValue);
    case 1:
        return std::snprintf(outBuffer, inSize, inSpec, inStarValues[0], inValue);
    default:
        return std::snprintf(outBuffer, inSize, inSpec, inStarValues[0], inStarValues[1], inValue);
    }
}

// The output of one directive of the C library: in the object's own buffer when it fits, else in
// a memory-manager block.
class DirectiveOutput
{
public:
    DirectiveOutput() = default;
    DirectiveOutput(const DirectiveOutput&) = delete;
    DirectiveOutput& operator=(const DirectiveOutput&) = delete;
    ~DirectiveOutput() { VMemory::DisposePtr(fBlock); }

    // Formats the value; false (raised) when the output cannot be had or held.
    template <class T>
    bool Format(const char* inSpec, int inStars, const int* inStarValues, T inValue)
    {
        int size = FormatOne(fBuffer, sizeof(fBuffer), inSpec, inStars, inStarValues, inValue);
        if (size < 0)
        {
            // An output beyond what an int counts, or a wide character with no multibyte form.
            fBytes = fBuffer;
            fSize = 0;
            return true;
        }
        fSize = size_t(size);
        fBytes = fBuffer;
        if (fSize < sizeof(fBuffer))
            return true;
        if (fSize > size_t(INT32_MAX))
        {
            _ThrowError(VE_STRING_ALLOC_FAILED);
            return false;
        }
        fBlock = static_cast<char*>(VMemory::NewPtr(fSize + 1, kMEM_TAG_STRING));
        if (fBlock == nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            return false;
        }
        FormatOne(fBlock, fSize + 1, inSpec, inStars, inStarValues, inValue);
        fBytes = fBlock;
        return true;
    }

    const char* GetBytes() const { return fBytes; }
    size_t GetSize() const { return fSize; }

private:
    char fBuffer[256];
    char* fBlock = nullptr;
    const char* fBytes = fBuffer;
    size_t fSize = 0;
};

// Takes the directive's arguments from the list and formats them.
bool FormatDirective(const Directive& inDirective, const char* inSpec, va_list* ioArguments,
                     DirectiveOutput& outOutput)
{
    int stars[2] = {0, 0};
    for (int i = 0; i < inDirective.fStars; ++i)
        stars[i] = va_arg(*ioArguments, int);
    const int count = inDirective.fStars;
    switch (inDirective.fClass)
    {
    case ArgumentClass::kInt:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, int));
    case ArgumentClass::kLong:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, long));
    case ArgumentClass::kLongLong:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, long long));
    case ArgumentClass::kIntMax:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, intmax_t));
    case ArgumentClass::kSize:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, size_t));
    case ArgumentClass::kPtrDiff:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, ptrdiff_t));
    case ArgumentClass::kWideChar:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, wint_t));
    case ArgumentClass::kDouble:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, double));
    case ArgumentClass::kLongDouble:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, long double));
    case ArgumentClass::kCString:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, const char*));
    case ArgumentClass::kWideString:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, const wchar_t*));
    case ArgumentClass::kPointer:
        return outOutput.Format(inSpec, count, stars, va_arg(*ioArguments, void*));
    case ArgumentClass::kNone:
        // "%m" and "%5%" take nothing; the extra argument is never read.
        return outOutput.Format(inSpec, count, stars, 0);
    default:
        return true;
    }
}

// Appends ASCII bytes widened. False when the string could not grow.
bool AppendASCIIBytes(VString& ioText, const char* inBytes, size_t inSize)
{
    if (inSize == 0)
        return true;
    const int32_t length = ioText.GetLength();
    if (inSize > size_t(INT32_MAX - length))
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    const int32_t newLength = length + int32_t(inSize);
    if (!ioText.EnsureSize(newLength))
        return false;
    UniChar* target = ioText.GetCPointerForWrite() + length;
    for (size_t i = 0; i < inSize; ++i)
        target[i] = UniChar(uint8_t(inBytes[i]));
    return ioText.Validate(newLength);
}

bool IsASCII(const char* inBytes, size_t inSize)
{
    uint8_t accumulated = 0;
    for (size_t i = 0; i < inSize; ++i)
        accumulated |= uint8_t(inBytes[i]);
    return (accumulated & 0x80) == 0;
}

// Appends C library output: ASCII widened, or the whole run read as Mac Roman. False when the
// string could not grow.
bool AppendCBytes(VString& ioText, const char* inBytes, size_t inSize)
{
    if (inSize == 0 || IsASCII(inBytes, inSize))
        return AppendASCIIBytes(ioText, inBytes, inSize);
    if (inSize > size_t(INT32_MAX - ioText.GetLength()))
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    return VTextConverters::Get()->GetStdLibToUnicodeConverter()->ConvertString(inBytes, inSize, nullptr,
                                                                                ioText);
}

// Copies inSize bytes, from sizeof(Word) to twice as many, as two words that overlap in the middle.
template <class Word>
void CopyHeadAndTail(char* outTarget, const char* inSource, size_t inSize)
{
    Word head;
    Word tail;
    std::memcpy(&head, inSource, sizeof(Word));
    std::memcpy(&tail, inSource + inSize - sizeof(Word), sizeof(Word));
    std::memcpy(outTarget, &head, sizeof(Word));
    std::memcpy(outTarget + inSize - sizeof(Word), &tail, sizeof(Word));
}

// Copies at most 16 bytes with a few moves of fixed size instead of a call.
void CopyShort(char* outTarget, const char* inSource, size_t inSize)
{
    if (inSize >= 8)
        CopyHeadAndTail<uint64_t>(outTarget, inSource, inSize);
    else if (inSize >= 4)
        CopyHeadAndTail<uint32_t>(outTarget, inSource, inSize);
    else
        for (size_t i = 0; i < inSize; ++i)
            outTarget[i] = inSource[i];
}

// The output of one formatting. The bytes of the C library's kind (literal text and the
// directives' fields) gather in a run on the stack, which becomes units a run at a time (ASCII
// widened, anything else read as Mac Roman, byte by byte either way); the object directives' texts
// come between runs. Nothing reaches the target before Finish, so that a failure leaves it as it
// was.
class StPrintfOutput
{
public:
    static constexpr size_t kRunSize = 2048;

    StPrintfOutput() = default;
    StPrintfOutput(const StPrintfOutput&) = delete;
    StPrintfOutput& operator=(const StPrintfOutput&) = delete;

    // Room for inSize bytes, at most kRunSize, at the end of the run; Commit says how many were
    // written.
    char* Reserve(size_t inSize)
    {
        if (kRunSize - fSize < inSize)
            _Flush();
        return fBytes + fSize;
    }
    void Commit(size_t inSize) { fSize += inSize; }

    void AppendBytes(const char* inBytes, size_t inSize)
    {
        if (inSize > kRunSize - fSize)
        {
            _Flush();
            if (inSize > kRunSize)
            {
                fFailed = fFailed || !AppendCBytes(fText, inBytes, inSize);
                return;
            }
        }
        // Literal text between directives is mostly a few bytes: no call for those.
        if (inSize <= 16)
            CopyShort(fBytes + fSize, inBytes, inSize);
        else
            std::memcpy(fBytes + fSize, inBytes, inSize);
        fSize += inSize;
    }

    // At most kRunSize.
    void AppendSpaces(size_t inCount)
    {
        std::fill_n(Reserve(inCount), inCount, ' ');
        fSize += inCount;
    }

    void AppendText(const VString& inText)
    {
        _Flush();
        const int32_t before = fText.GetLength();
        fText.AppendString(inText);
        fFailed = fFailed || fText.GetLength() - before != inText.GetLength();
    }

    bool HasFailed() const { return fFailed; }
    // A step failed and raised its error: Finish leaves the target alone.
    void Fail() { fFailed = true; }

    // Appends the whole output to the target; nothing when a step failed (its error was raised).
    void Finish(VString& ioTarget)
    {
        if (fFailed)
            return;
        // The usual line, one run and no object, is widened straight into the target when ASCII.
        if (!fFlushed && IsASCII(fBytes, fSize))
        {
            AppendASCIIBytes(ioTarget, fBytes, fSize);
            return;
        }
        _Flush();
        if (!fFailed)
            ioTarget.AppendString(fText);
    }

private:
    void _Flush()
    {
        fFlushed = true;
        if (fSize == 0)
            return;
        fFailed = fFailed || !AppendCBytes(fText, fBytes, fSize);
        fSize = 0;
    }

    char fBytes[kRunSize];
    size_t fSize = 0;
    bool fFlushed = false;
    bool fFailed = false;
    VStr<255> fText;
};

// ---- the directives written here

// Whether the directive is one that FormatNatively writes; decided before any argument is taken.
bool IsNative(const Directive& inDirective)
{
    if (inDirective.fStars != 0 || (inDirective.fFlags & kFlagOther) != 0 ||
        inDirective.fWidth > kLargestNativeField || inDirective.fPrecision > kLargestNativeField)
        return false;
    switch (inDirective.fConversion)
    {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        return inDirective.fClass != ArgumentClass::kInvalid;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
        return inDirective.fClass == ArgumentClass::kDouble;
    case 'c':
        // '0' with a character or a string is the C library's own business.
        return inDirective.fClass == ArgumentClass::kInt && (inDirective.fFlags & kFlagZero) == 0;
    case 's':
        return inDirective.fClass == ArgumentClass::kCString && (inDirective.fFlags & kFlagZero) == 0;
    default:
        return false;
    }
}

// The argument of d and i, taken as the length modifier says and narrowed as the C library does.
int64_t TakeSigned(const Directive& inDirective, va_list* ioArguments)
{
    switch (inDirective.fClass)
    {
    case ArgumentClass::kLong:
        return va_arg(*ioArguments, long);
    case ArgumentClass::kLongLong:
        return va_arg(*ioArguments, long long);
    case ArgumentClass::kIntMax:
        return va_arg(*ioArguments, intmax_t);
    case ArgumentClass::kSize:
        return ssize_t(va_arg(*ioArguments, size_t));
    case ArgumentClass::kPtrDiff:
        return va_arg(*ioArguments, ptrdiff_t);
    default:
    {
        const int value = va_arg(*ioArguments, int);
        if (inDirective.fModifier == LengthModifier::kChar)
            return static_cast<signed char>(value);
        if (inDirective.fModifier == LengthModifier::kShort)
            return short(value);
        return value;
    }
    }
}

// The argument of u, x, X and o.
uint64_t TakeUnsigned(const Directive& inDirective, va_list* ioArguments)
{
    switch (inDirective.fClass)
    {
    case ArgumentClass::kLong:
        return va_arg(*ioArguments, unsigned long);
    case ArgumentClass::kLongLong:
        return va_arg(*ioArguments, unsigned long long);
    case ArgumentClass::kIntMax:
        return va_arg(*ioArguments, uintmax_t);
    case ArgumentClass::kSize:
        return va_arg(*ioArguments, size_t);
    case ArgumentClass::kPtrDiff:
        return uint64_t(va_arg(*ioArguments, ptrdiff_t));
    default:
    {
        const unsigned value = va_arg(*ioArguments, unsigned);
        if (inDirective.fModifier == LengthModifier::kChar)
            return static_cast<unsigned char>(value);
        if (inDirective.fModifier == LengthModifier::kShort)
            return static_cast<unsigned short>(value);
        return value;
    }
    }
}

// Room for a field: a width and zeros of up to 128 each around the longest real in f form with a
// precision of 128 (309 digits, the point and 128 decimals).
constexpr size_t kFieldSize = 1024;
constexpr size_t kBodySize = 512;

// Lays out sign, body and padding in the directive's width: spaces before (or after, with '-'),
// or zeros between the sign and the body when inZeroPad.
size_t WriteField(const Directive& inDirective, char inSign, size_t inZeros, const char* inBody,
                  size_t inBodySize, bool inZeroPad, char* outField)
{
    const size_t used = (inSign != 0 ? 1 : 0) + inZeros + inBodySize;
    const size_t width = size_t(inDirective.fWidth);
    size_t padding = width > used ? width - used : 0;
    const bool left = (inDirective.fFlags & kFlagMinus) != 0;
    if (inZeroPad && !left)
    {
        inZeros += padding;
        padding = 0;
    }
    char* cursor = outField;
    if (!left)
        cursor = std::fill_n(cursor, padding, ' ');
    if (inSign != 0)
        *cursor++ = inSign;
    cursor = std::fill_n(cursor, inZeros, '0');
    cursor = std::copy_n(inBody, inBodySize, cursor);
    if (left)
        cursor = std::fill_n(cursor, padding, ' ');
    return size_t(cursor - outField);
}

size_t WriteInteger(const Directive& inDirective, bool inNegative, uint64_t inMagnitude, char* outField)
{
    const char conversion = inDirective.fConversion;
    if (inDirective.fWidth == 0 && inDirective.fPrecision < 0 &&
        (inDirective.fFlags & (kFlagPlus | kFlagSpace)) == 0 && conversion != 'X')
    {
        // The plain directive: sign and digits, nothing to lay out.
        char* cursor = outField;
        if (inNegative)
            *cursor++ = '-';
        const int base = conversion == 'o' ? 8 : conversion == 'x' ? 16 : 10;
        return size_t(std::to_chars(cursor, cursor + 24, inMagnitude, base).ptr - outField);
    }
    const int base = conversion == 'o' ? 8 : conversion == 'x' || conversion == 'X' ? 16 : 10;
    char digits[24];
    size_t count = 0;
    // A precision of 0 writes no digit for 0.
    if (inDirective.fPrecision != 0 || inMagnitude != 0)
        count = size_t(std::to_chars(digits, digits + sizeof(digits), inMagnitude, base).ptr - digits);
    if (conversion == 'X')
        std::transform(digits, digits + count, digits,
                       [](char c) { return c >= 'a' ? char(c - 'a' + 'A') : c; });
    char sign = 0;
    if (inNegative)
        sign = '-';
    else if (conversion == 'd' || conversion == 'i')
        sign = (inDirective.fFlags & kFlagPlus) != 0 ? '+' : (inDirective.fFlags & kFlagSpace) != 0 ? ' ' : 0;
    const size_t precision = inDirective.fPrecision < 0 ? 0 : size_t(inDirective.fPrecision);
    const size_t zeros = precision > count ? precision - count : 0;
    // '0' pads only when no precision is given.
    const bool zeroPad = (inDirective.fFlags & kFlagZero) != 0 && inDirective.fPrecision < 0;
    return WriteField(inDirective, sign, zeros, digits, count, zeroPad, outField);
}

// The field of a real; 0 with outFailed set when std::to_chars has no room (never with the
// precisions accepted here).
size_t WriteReal(const Directive& inDirective, double inValue, char* outField, bool& outFailed)
{
    const char conversion = inDirective.fConversion;
    const bool upper = conversion == 'F' || conversion == 'E' || conversion == 'G';
    char sign = std::signbit(inValue)                    ? '-'
                : (inDirective.fFlags & kFlagPlus) != 0  ? '+'
                : (inDirective.fFlags & kFlagSpace) != 0 ? ' '
                                                         : 0;
    char body[kBodySize];
    size_t size = 3;
    const bool finite = std::isfinite(inValue);
    if (!finite)
    {
        std::memcpy(body, std::isnan(inValue) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf"), 3);
    }
    else
    {
        const std::chars_format format = conversion == 'f' || conversion == 'F' ? std::chars_format::fixed
                                         : conversion == 'e' || conversion == 'E'
                                             ? std::chars_format::scientific
                                             : std::chars_format::general;
        const int precision = inDirective.fPrecision < 0 ? 6 : inDirective.fPrecision;
        const std::to_chars_result result =
            std::to_chars(body, body + sizeof(body), std::fabs(inValue), format, precision);
        if (result.ec != std::errc())
        {
            outFailed = true;
            return 0;
        }
        size = size_t(result.ptr - body);
        if (upper)
            std::replace(body, body + size, 'e', 'E');
    }
    // Infinities and not-a-numbers are padded with spaces even with '0'.
    const bool zeroPad = finite && (inDirective.fFlags & kFlagZero) != 0;
    return WriteField(inDirective, sign, 0, body, size, zeroPad, outField);
}

// A directive that IsNative accepted: takes its argument and appends its field.
void FormatNatively(const Directive& inDirective, const char* inSpec, va_list* ioArguments,
                    StPrintfOutput& ioOutput)
{
    switch (inDirective.fConversion)
    {
    case 'd':
    case 'i':
    {
        const int64_t value = TakeSigned(inDirective, ioArguments);
        const uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
        ioOutput.Commit(WriteInteger(inDirective, value < 0, magnitude, ioOutput.Reserve(kFieldSize)));
        return;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        ioOutput.Commit(WriteInteger(inDirective, false, TakeUnsigned(inDirective, ioArguments),
                                     ioOutput.Reserve(kFieldSize)));
        return;
    case 'c':
    {
        const char character = char(va_arg(*ioArguments, int));
        ioOutput.Commit(WriteField(inDirective, 0, 0, &character, 1, false, ioOutput.Reserve(kFieldSize)));
        return;
    }
    case 's':
    {
        const char* text = va_arg(*ioArguments, const char*);
        if (text == nullptr)
        {
            // What stands for a null string is the C library's choice.
            DirectiveOutput formatted;
            if (formatted.Format(inSpec, 0, nullptr, text))
                ioOutput.AppendBytes(formatted.GetBytes(), formatted.GetSize());
            else
                ioOutput.Fail();
            return;
        }
        const size_t length =
            inDirective.fPrecision < 0 ? std::strlen(text) : strnlen(text, size_t(inDirective.fPrecision));
        const size_t width = size_t(inDirective.fWidth);
        const size_t padding = width > length ? width - length : 0;
        const bool left = (inDirective.fFlags & kFlagMinus) != 0;
        if (!left)
            ioOutput.AppendSpaces(padding);
        ioOutput.AppendBytes(text, length);
        if (left)
            ioOutput.AppendSpaces(padding);
        return;
    }
    default:
    {
        const double value = va_arg(*ioArguments, double);
        bool failed = false;
        const size_t size = WriteReal(inDirective, value, ioOutput.Reserve(kFieldSize), failed);
        if (!failed)
        {
            ioOutput.Commit(size);
            return;
        }
        DirectiveOutput formatted;
        if (formatted.Format(inSpec, 0, nullptr, value))
            ioOutput.AppendBytes(formatted.GetBytes(), formatted.GetSize());
        else
            ioOutput.Fail();
        return;
    }
    }
}

// The string itself when a %S argument is exactly a VString, whose units can be appended without
// a copy (and found without a dynamic_cast); null otherwise.
const VString* ExactString(char inConversion, const void* inObject)
{
    if (inConversion != 'S' || inObject == nullptr ||
        (VObject::sCppMemMgr != nullptr && VObject::sCppMemMgr->CheckVObject(inObject) == nullptr))
        return nullptr;
    const auto* object = static_cast<const VObject*>(inObject);
    return typeid(*object) == typeid(VString) ? static_cast<const VString*>(object) : nullptr;
}

// The text of an object directive's argument.
void GetObjectText(char inConversion, const void* inObject, VString& outText)
{
    if (inObject == nullptr ||
        (VObject::sCppMemMgr != nullptr && VObject::sCppMemMgr->CheckVObject(inObject) == nullptr))
    {
        outText.FromUniCString(u"@@invalid VObject@@");
        return;
    }
    const auto* object = static_cast<const VObject*>(inObject);
    switch (inConversion)
    {
    case 'A':
        if (const auto* value = dynamic_cast<const VValueSingle*>(object))
            value->GetString(outText);
        else
            outText.FromUniCString(u"@@invalid VValueSingle@@");
        break;
    case 'S':
        if (const auto* text = dynamic_cast<const VString*>(object))
            outText.FromString(*text);
        else
            outText.FromUniCString(u"@@invalid VString@@");
        break;
    default:
        object->DebugDump(outText);
        break;
    }
}

} // namespace

void VString::_Printf(const char* inFormat, va_list inArguments)
{
    if (inFormat == nullptr)
        return;
    va_list arguments;
    va_copy(arguments, inArguments);
    StPrintfOutput output;
    const char* cursor = inFormat;
    while (*cursor != 0 && !output.HasFailed())
    {
        // Literal text is mostly short: a plain scan costs less than a call.
        const char* percent = cursor;
        while (*percent != 0 && *percent != '%')
            ++percent;
        output.AppendBytes(cursor, size_t(percent - cursor));
        if (*percent == 0)
            break;
        Directive directive = ParseDirective(percent);
        cursor = percent + directive.fLength;
        switch (directive.fClass)
        {
        case ArgumentClass::kObject:
        {
            const void* object = va_arg(arguments, const void*);
            if (const VString* text = ExactString(directive.fConversion, object))
            {
                output.AppendText(*text);
                break;
            }
            VString text;
            GetObjectText(directive.fConversion, object, text);
            output.AppendText(text);
            break;
        }
        case ArgumentClass::kInvalid:
            output.AppendBytes(percent, directive.fLength);
            break;
        case ArgumentClass::kCount:
            va_arg(arguments, void*);
            break;
        default:
        {
            if (directive.fConversion == '%' && directive.fLength == 2)
            {
                output.AppendBytes("%", 1);
                break;
            }
            char spec[kLongestDirective + 1];
            std::memcpy(spec, percent, directive.fLength);
            spec[directive.fLength] = 0;
            if (IsNative(directive))
            {
                FormatNatively(directive, spec, &arguments, output);
                break;
            }
            DirectiveOutput formatted;
            if (!FormatDirective(directive, spec, &arguments, formatted))
                output.Fail();
            else
                output.AppendBytes(formatted.GetBytes(), formatted.GetSize());
            break;
        }
        }
    }
    va_end(arguments);
    // The error that stopped the formatting is raised; this string stays as it was.
    output.Finish(*this);
}

void VString::Printf(const char* inFormat, ...)
{
    _EmptyForRewrite();
    va_list arguments;
    va_start(arguments, inFormat);
    _Printf(inFormat, arguments);
    va_end(arguments);
}

void VString::VPrintf(const char* inFormat, va_list inArguments)
{
    _EmptyForRewrite();
    _Printf(inFormat, inArguments);
}

VString& VString::AppendPrintf(const char* inFormat, ...)
{
    va_list arguments;
    va_start(arguments, inFormat);
    _Printf(inFormat, arguments);
    va_end(arguments);
    return *this;
}

} // namespace kova
