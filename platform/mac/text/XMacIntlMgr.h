// XMacIntlMgr is the platform half of the international manager. For now it makes the platform
// text converters and compares the names of character sets.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VToUnicodeConverter;
class VFromUnicodeConverter;

class XMacIntlMgr
{
public:
    // A new platform converter for the set, with one reference for the caller; null when the
    // platform cannot convert the set.
    static VToUnicodeConverter* NewToUnicodeConverter(CharSet inCharSet);
    static VFromUnicodeConverter* NewFromUnicodeConverter(CharSet inCharSet);

    // Two names in the platform's order, where case, diacritics and width do not count: -1, 0 or 1.
    static int32_t CompareNames(const UniChar* inName1, int32_t inLength1, const UniChar* inName2,
                                int32_t inLength2);
};

} // namespace kova
