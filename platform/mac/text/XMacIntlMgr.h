// XMacIntlMgr is the platform half of the international manager. For now it only makes the
// platform text converters.
#pragma once

#include "kernel/text/CharSet.h"

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
};

} // namespace kova
