// Reals read and written in the C conventions ('.' as the decimal point) whatever locale the
// process or a thread has set: the one way the toolbox turns reals into text and back.
#pragma once

#include <cstddef>

namespace kova
{

// strtod in the C conventions; *outEnd, when asked for, points after the number (at the text
// when there is none).
double ReadCReal(const char* inText, char** outEnd);

// snprintf of "%.14G" in the C conventions; returns what snprintf returns.
int WriteCReal(char* outBuffer, size_t inSize, double inValue);

} // namespace kova
