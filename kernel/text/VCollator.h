// VCollator compares, searches and pattern-matches UTF-16 text by the rules of one dialect. Each
// international manager owns one; every string comparison that takes the language into account
// ends here. The comparison and search themselves belong to the implementation (VCollator_system);
// prefixes, suffixes and the LIKE-style patterns are built on them here.
//
// Every operation takes a strict flag: strict, case and diacritics matter; not strict, neither
// case nor diacritics nor character width matter. Texts are given as units and a length; a null
// text or a negative length counts as empty. Positions are 1-based; 0 means "not found".
//
// Patterns: the wildcard (by default "@") matches any run of characters, the empty run
// included. There is no single-character wildcard and no escape.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VString;

class VCollator : public VObject, public IRefCountable
{
public:
    static constexpr UniChar sDefaultWildChar = u'@';
    // Options: a wildcard inside a pattern is an ordinary character; only the two ends count.
    static constexpr uint16_t kOptionWildCharOnlyAtEnds = 2;

    explicit VCollator(uint32_t inDialect);
    VCollator(const VCollator& inOther) = default;
    VCollator& operator=(const VCollator&) = delete;
    ~VCollator() override;

    uint32_t GetDialect() const { return fDialect; }
    UniChar GetWildChar() const { return fWildChar; }
    uint16_t GetOptions() const { return fOptions; }

    // -1, 0 or 1.
    virtual int32_t CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                  int32_t inLength2, bool inStrict) const = 0;
    virtual bool EqualString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                             int32_t inLength2, bool inStrict) const = 0;
    // The first match and, when outMatchedLength is not null, its length in the text.
    virtual int32_t FindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                               int32_t inPatternLength, bool inStrict, int32_t* outMatchedLength) const = 0;
    // The last match; matches may overlap (the last "aa" of "aaa" is at 2).
    virtual int32_t ReversedFindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                       int32_t inPatternLength, bool inStrict,
                                       int32_t* outMatchedLength) const = 0;
    virtual bool BeginsWithString(const UniChar* inText, int32_t inLength, const UniChar* inPrefix,
                                  int32_t inPrefixLength, bool inStrict, int32_t* outMatchedLength) const;
    virtual bool EndsWithString(const UniChar* inText, int32_t inLength, const UniChar* inSuffix,
                                int32_t inSuffixLength, bool inStrict, int32_t* outMatchedLength) const;
    // A new collator with one reference; null when it cannot be made.
    virtual VCollator* Clone() const = 0;
    virtual void SetWildChar(UniChar inWildChar);
    // Names the comparison rules, so that stored orders made under other rules can be detected.
    virtual void GetStringComparisonAlgorithmSignature(VString& outSignature) const = 0;
    // Back to the default wildcard.
    virtual void Reset();
    // 0 when the text matches the pattern. The two forms differ in where the wildcard counts;
    // the options choose between them (CompareString_Like).
    virtual int32_t _CompareString_Like_IgnoreWildCharInMiddle(const UniChar* inText, int32_t inLength,
                                                               const UniChar* inPattern,
                                                               int32_t inPatternLength, bool inStrict) const;
    virtual int32_t _CompareString_Like_SupportWildCharInMiddle(const UniChar* inText, int32_t inLength,
                                                                const UniChar* inPattern,
                                                                int32_t inPatternLength, bool inStrict) const;

    // 0 when the text matches the pattern.
    int32_t CompareString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                               int32_t inPatternLength, bool inStrict) const;
    // Settles plain ASCII text and patterns itself and asks CompareString_Like for the rest.
    bool EqualString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                          int32_t inPatternLength, bool inStrict) const;
    // Whether a binary search over a sorted index can answer the pattern: no wildcard but a final
    // one, and no kana (whose order the index may not follow).
    bool IsPatternCompatibleWithDichotomyAndDiacritics(const UniChar* inPattern,
                                                       int32_t inPatternLength) const;

protected:
    // The 1-based start of the last match, found by forward searches that each start just after
    // the start of the previous match; 0 when there is none.
    int32_t _FindLastOccurrence(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                int32_t inPatternLength, bool inStrict, int32_t* outMatchedLength) const;

private:
    uint32_t fDialect;
    UniChar fWildChar = sDefaultWildChar;
    uint16_t fOptions = 1;
};

} // namespace kova
