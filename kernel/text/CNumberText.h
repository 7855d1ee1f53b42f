// Reals read and written in the C conventions ('.' as the decimal point) whatever locale the
// process or a thread has set: the one way the toolbox turns reals into text and back.
#pragma once

#include <cstddef>

namespace kova
{

// strtod in the C conventions; *outEnd, when asked for, points after the number (at the text
// when there is none).
double ReadCReal(const char* inText, char** outEnd);

// The common case of ReadCReal without the C library: a decimal real at the start of
// inText..inEnd (an optional sign, then digits or a point), read to the same double by
// std::from_chars. False, and nothing read, for what only strtod decides the same: blanks first,
// a hexadecimal real, an infinity, a not-a-number, no number at all, or a value out of range
// (strtod's ERANGE).
bool ReadPlainCReal(const char* inText, const char* inEnd, double& outValue, const char** outStop);

// Whether a byte may belong to the text of a plain real (or tell it apart from a hexadecimal one).
inline bool IsPlainRealByte(unsigned inByte)
{
    return (inByte >= '0' && inByte <= '9') || inByte == '.' || inByte == '-' || inByte == '+' ||
           inByte == 'e' || inByte == 'E' || inByte == 'x' || inByte == 'X';
}

// snprintf of "%.14G" in the C conventions, written by std::to_chars (the same text); returns what
// snprintf returns.
int WriteCReal(char* outBuffer, size_t inSize, double inValue);

} // namespace kova
