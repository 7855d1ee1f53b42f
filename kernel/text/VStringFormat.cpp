// printf-style formatting of VString.
//
// The format is walked one directive at a time: literal text is appended as it stands, each
// directive of the C library is handed to snprintf alone with the argument it takes, fetched by
// its real type (on x86_64 floating-point arguments travel apart from the others, so only the
// directive's own type finds the right one), and each object directive appends its object's
// text. So no output is ever cut, no text of the caller can pass for the place of an object, and
// the C library only ever sees one directive that this file has checked.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VValueSingle.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
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

struct Directive
{
    size_t fLength = 0; // bytes from the '%' through the conversion character
    int fStars = 0;     // '*' for the width and the precision: one int argument each, first
    char fConversion = 0;
    ArgumentClass fClass = ArgumentClass::kInvalid;
};

// Longer directives (endless flags, absurd widths) are not passed to the C library.
constexpr size_t kLongestDirective = 40;

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
    while (*cursor != 0 && std::strchr("-+ #0'I", *cursor) != nullptr)
        ++cursor;
    // The width, then the precision after a '.': digits, or a '*' that takes an argument.
    auto skipCount = [&]()
    {
        if (*cursor == '*')
        {
            ++directive.fStars;
            ++cursor;
            return;
        }
        while (IsDigit(*cursor))
            ++cursor;
    };
    skipCount();
    if (*cursor == '.')
    {
        ++cursor;
        skipCount();
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

// Appends C library output: ASCII widened, or the whole run read as Mac Roman. False when the
// string could not grow.
bool AppendCBytes(VString& ioText, const char* inBytes, size_t inSize)
{
    if (inSize == 0)
        return true;
    const int32_t length = ioText.GetLength();
    if (inSize > size_t(INT32_MAX - length))
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    uint8_t accumulated = 0;
    for (size_t i = 0; i < inSize; ++i)
        accumulated |= uint8_t(inBytes[i]);
    if ((accumulated & 0x80) != 0)
        return VTextConverters::Get()->GetStdLibToUnicodeConverter()->ConvertString(inBytes, inSize, nullptr,
                                                                                    ioText);
    const int32_t newLength = length + int32_t(inSize);
    if (!ioText.EnsureSize(newLength))
        return false;
    UniChar* target = ioText.GetCPointerForWrite() + length;
    for (size_t i = 0; i < inSize; ++i)
        target[i] = UniChar(uint8_t(inBytes[i]));
    return ioText.Validate(newLength);
}

} // namespace

void VString::_Printf(const char* inFormat, va_list inArguments)
{
    if (inFormat == nullptr)
        return;
    va_list arguments;
    va_copy(arguments, inArguments);
    // The output is made apart, so that a failure leaves this string as it was.
    VStr<255> output;
    bool failed = false;
    auto appendBytes = [&](const char* inBytes, size_t inSize)
    { failed = !AppendCBytes(output, inBytes, inSize); };
    const char* cursor = inFormat;
    while (*cursor != 0 && !failed)
    {
        const char* percent = std::strchr(cursor, '%');
        if (percent == nullptr)
        {
            appendBytes(cursor, std::strlen(cursor));
            break;
        }
        appendBytes(cursor, size_t(percent - cursor));
        if (failed)
            break;
        Directive directive = ParseDirective(percent);
        cursor = percent + directive.fLength;
        switch (directive.fClass)
        {
        case ArgumentClass::kObject:
        {
            VString text;
            GetObjectText(directive.fConversion, va_arg(arguments, const void*), text);
            int32_t before = output.GetLength();
            output.AppendString(text);
            failed = output.GetLength() - before != text.GetLength();
            break;
        }
        case ArgumentClass::kInvalid:
            appendBytes(percent, directive.fLength);
            break;
        case ArgumentClass::kCount:
            va_arg(arguments, void*);
            break;
        default:
        {
            if (directive.fConversion == '%' && directive.fLength == 2)
            {
                appendBytes("%", 1);
                break;
            }
            char spec[kLongestDirective + 1];
            std::memcpy(spec, percent, directive.fLength);
            spec[directive.fLength] = 0;
            DirectiveOutput formatted;
            if (!FormatDirective(directive, spec, &arguments, formatted))
                failed = true;
            else
                appendBytes(formatted.GetBytes(), formatted.GetSize());
            break;
        }
        }
    }
    va_end(arguments);
    // The error that stopped the formatting is raised; this string stays as it was.
    if (!failed)
        AppendString(output);
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
