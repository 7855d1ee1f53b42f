// XMacString is the platform half of VString's platform strings: it makes a system string from a
// string's units and takes the units of a system string back, in one piece when the system string
// gives direct access to them and in chunks otherwise.
#pragma once

#include <cstdint>

namespace kova
{

namespace cf
{
struct String;
}

class VString;

class XMacString
{
public:
    XMacString() = delete;

    // A new system string with the text, one reference for the caller; null when it cannot be
    // made.
    static cf::String* RetainCFStringCopy(const VString& inText);
    // Replaces the text by the system string's; a null string changes nothing. A text that cannot
    // be held leaves outText as it was (kova 107 raised).
    static void FromCFString(const cf::String* inString, VString& outText);

    // The most units copied at once from a system string without direct access.
    static constexpr int64_t kChunkUnits = 1024;
};

} // namespace kova
