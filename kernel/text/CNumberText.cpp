#include "kernel/text/CNumberText.h"

#include <cstdio>
#include <cstdlib>
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

double ReadCReal(const char* inText, char** outEnd)
{
    const locale_t numeric = CNumericLocale();
    return numeric != locale_t(nullptr) ? strtod_l(inText, outEnd, numeric) : std::strtod(inText, outEnd);
}

int WriteCReal(char* outBuffer, size_t inSize, double inValue)
{
    const locale_t numeric = CNumericLocale();
    const locale_t previous = numeric != locale_t(nullptr) ? uselocale(numeric) : locale_t(nullptr);
    const int written = std::snprintf(outBuffer, inSize, "%.14G", inValue);
    if (previous != locale_t(nullptr))
        uselocale(previous);
    return written;
}

} // namespace kova
