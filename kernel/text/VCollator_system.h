// VCollator_system is the collator of this system: it hands every comparison and search to the
// platform's locale-aware string functions (XMacStringCompare) for the locale of its dialect, and
// answers the empty-text cases itself so that the platform only ever sees real text.
#pragma once

#include "kernel/text/VCollator.h"
#include "platform/mac/text/XMacStringCompare.h"

#include <cstdint>
#include <memory>

namespace kova
{

class VIntlMgr;

class VCollator_system : public VCollator
{
public:
    // A new collator with one reference, the default wildcard and options 1; null when it cannot
    // be made. Given a manager (whose dialect must be inDialect), it shares the manager's locale,
    // so that the user's regional settings apply; otherwise it makes the dialect's own locale.
    static VCollator_system* Create(uint32_t inDialect, VIntlMgr* inManager);

    // The same dialect, wildcard and options, over a duplicate of the locale.
    VCollator_system(const VCollator_system& inOther) = default;
    ~VCollator_system() override;

    int32_t CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                          int32_t inLength2, bool inStrict) const override;
    bool EqualString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2, int32_t inLength2,
                     bool inStrict) const override;
    int32_t FindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                       int32_t inPatternLength, bool inStrict, int32_t* outMatchedLength) const override;
    int32_t ReversedFindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                               int32_t inPatternLength, bool inStrict,
                               int32_t* outMatchedLength) const override;
    VCollator* Clone() const override;
    // "system:" and the operating system's version text.
    void GetStringComparisonAlgorithmSignature(VString& outSignature) const override;

private:
    VCollator_system(uint32_t inDialect, std::shared_ptr<const cf::Locale> inLocale);

    XMacStringCompare fCompare;
};

} // namespace kova
