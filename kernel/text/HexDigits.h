// The value of one hexadecimal digit of a text, for every reader of hexadecimal (numbers, UUIDs).
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

// 0 to 15 for '0'-'9', 'A'-'F' and 'a'-'f'; -1 for any other unit.
constexpr int HexDigitValue(UniChar inUnit)
{
    if (inUnit >= u'0' && inUnit <= u'9')
        return inUnit - u'0';
    if (inUnit >= u'A' && inUnit <= u'F')
        return inUnit - u'A' + 10;
    if (inUnit >= u'a' && inUnit <= u'f')
        return inUnit - u'a' + 10;
    return -1;
}

} // namespace kova
