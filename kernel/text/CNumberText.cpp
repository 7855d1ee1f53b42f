#include "kernel/text/CNumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace kova
{

namespace
{

// Made once for the process and never changed; null when the C library cannot make it, and then
// the process's own conventions are used (the toolbox never changes them).
locale_t CNumericLocale()
{
    static const locale_t sLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return sLocale;
}

} // namespace

bool ReadPlainCReal(const char* inText, const char* inEnd, double& outValue, const char** outStop)
{
    // std::from_chars takes a '-' but no '+'; one sign at most.
    const char* start = inText < inEnd && *inText == '+' ? inText + 1 : inText;
    const char* digits = start == inText && start < inEnd && *start == '-' ? start + 1 : start;
    if (digits == inEnd || !((*digits >= '0' && *digits <= '9') || *digits == '.'))
        return false;
    if (*digits == '0' && digits + 1 < inEnd && (digits[1] == 'x' || digits[1] == 'X'))
        return false;
    double value = 0;
    const std::from_chars_result result = std::from_chars(start, inEnd, value, std::chars_format::general);
    if (result.ec != std::errc())
        return false;
    outValue = value;
    if (outStop != nullptr)
        *outStop = result.ptr;
    return true;
}

double ReadCReal(const char* inText, char** outEnd)
{
    const char* end = inText;
    while (IsPlainRealByte(static_cast<unsigned char>(*end)))
        ++end;
    double value = 0;
    const char* stop = nullptr;
    if (ReadPlainCReal(inText, end, value, &stop))
    {
        if (outEnd != nullptr)
            *outEnd = const_cast<char*>(stop);
        return value;
    }
    const locale_t numeric = CNumericLocale();
    return numeric != locale_t(nullptr) ? strtod_l(inText, outEnd, numeric) : std::strtod(inText, outEnd);
}

int WriteCReal(char* outBuffer, size_t inSize, double inValue)
{
    // "%.14G" never needs more than 21 bytes ("-1.2345678901234E-308").
    char text[32];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof(text), inValue, std::chars_format::general, 14);
    if (result.ec != std::errc())
    {
        const locale_t numeric = CNumericLocale();
        const locale_t previous = numeric != locale_t(nullptr) ? uselocale(numeric) : locale_t(nullptr);
        const int written = std::snprintf(outBuffer, inSize, "%.14G", inValue);
        if (previous != locale_t(nullptr))
            uselocale(previous);
        return written;
    }
    const size_t length = size_t(result.ptr - text);
    // G writes its exponent, infinities and not-a-numbers in capitals.
    std::transform(text, text + length, text,
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    if (inSize > 0)
    {
        const size_t kept = std::min(length, inSize - 1);
        std::memcpy(outBuffer, text, kept);
        outBuffer[kept] = 0;
    }
    return int(length);
}

} // namespace kova
