// XMacStringCompare is the platform comparison behind the system collator: it compares and
// searches UTF-16 texts by the rules of one locale. A strict comparison weighs case and
// diacritics but not character width; a loose one ignores case, diacritics and width. ICU's
// collation and string search stand in for the platform's locale-aware string functions; the
// texts are read where they lie, copied only to fold full- and half-width forms in strict mode.
//
// A comparison object opens its collators on first use and keeps them; it may be used from
// several threads at once.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct UCollator;

namespace kova
{

namespace cf
{
class Locale;
}

class XMacStringCompare
{
public:
    // Keeps the locale; a null locale compares by the root rules of Unicode collation.
    explicit XMacStringCompare(std::shared_ptr<const cf::Locale> inLocale);
    // A copy holds a duplicate of the locale and opens collators of its own.
    XMacStringCompare(const XMacStringCompare& inOther);
    XMacStringCompare& operator=(const XMacStringCompare&) = delete;
    virtual ~XMacStringCompare();

    const std::shared_ptr<const cf::Locale>& GetLocale() const { return fLocale; }

    // -1, 0 or 1. Null or negative lengths count as empty texts.
    int32_t CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                          int32_t inLength2, bool inStrict) const;
    // The 1-based position of the first match and its length in the text (which may differ from
    // the pattern's); 0 and 0 when there is none or either text is empty.
    int32_t FindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                       int32_t inPatternLength, bool inStrict, int32_t* outMatchedLength) const;

private:
    // Null when ICU cannot open one; the comparison then falls back to code units.
    UCollator* _GetCollator(bool inStrict) const;
    // Whether the collator orders printable ASCII as the root order does (see the source).
    bool _CollatesASCIIAsRoot(bool inStrict, const UCollator* inCollator) const;

    std::shared_ptr<const cf::Locale> fLocale;
    mutable std::atomic<UCollator*> fCollators[2] = {nullptr, nullptr}; // loose, strict
    mutable std::atomic<int8_t> fASCIIAsRoot[2] = {-1, -1};             // -1 until known
};

} // namespace kova
