#include "platform/mac/text/XMacStringCompare.h"

#include "platform/mac/frameworks/CFLocale.h"

#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/usearch.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <string>

namespace kova
{

namespace
{

bool IsWidthVariant(UniChar inUnit)
{
    return inUnit == 0x3000 || (inUnit >= 0xFF01 && inUnit <= 0xFFEE);
}

// The text itself, or a copy in ioStorage where full- and half-width forms are replaced by their
// ordinary forms, unit for unit so that positions stay those of the text.
const UniChar* FoldWidth(const UniChar* inText, int32_t inLength, std::u16string& ioStorage)
{
    int32_t first = 0;
    while (first < inLength && !IsWidthVariant(inText[first]))
        ++first;
    if (first == inLength)
        return inText;
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* compatibility = unorm2_getNFKCInstance(&status);
    if (U_FAILURE(status))
        return inText;
    ioStorage.assign(inText, size_t(inLength));
    for (int32_t i = first; i < inLength; ++i)
    {
        if (!IsWidthVariant(ioStorage[size_t(i)]))
            continue;
        UChar mapping[4];
        status = U_ZERO_ERROR;
        int32_t length = unorm2_getRawDecomposition(compatibility, ioStorage[size_t(i)], mapping, 4, &status);
        if (U_SUCCESS(status) && length == 1)
            ioStorage[size_t(i)] = mapping[0];
    }
    return ioStorage.data();
}

int32_t Sign(int32_t inValue)
{
    return inValue < 0 ? -1 : inValue > 0 ? 1 : 0;
}

int32_t FindUnits(const UniChar* inText, int32_t inLength, const UniChar* inPattern, int32_t inPatternLength)
{
    for (int32_t start = 0; start + inPatternLength <= inLength; ++start)
    {
        if (u_memcmp(inText + start, inPattern, inPatternLength) == 0)
            return start + 1;
    }
    return 0;
}

bool IsPrintableASCII(UniChar inUnit)
{
    return inUnit >= 0x20 && inUnit <= 0x7E;
}

bool IsPrintableASCII(const UniChar* inText, int32_t inLength)
{
    return std::all_of(inText, inText + inLength, [](UniChar inUnit) { return IsPrintableASCII(inUnit); });
}

UniChar LowerASCII(UniChar inUnit)
{
    return inUnit >= 'A' && inUnit <= 'Z' ? UniChar(inUnit + 0x20) : inUnit;
}

// The first match of printable ASCII in printable ASCII, where each character is one collation
// element: a loose search matches letters of either case, a strict one the same units.
int32_t FindASCII(const UniChar* inText, int32_t inLength, const UniChar* inPattern, int32_t inPatternLength,
                  bool inStrict)
{
    if (inStrict)
        return FindUnits(inText, inLength, inPattern, inPatternLength);
    for (int32_t start = 0; start + inPatternLength <= inLength; ++start)
    {
        int32_t i = 0;
        while (i < inPatternLength && LowerASCII(inText[start + i]) == LowerASCII(inPattern[i]))
            ++i;
        if (i == inPatternLength)
            return start + 1;
    }
    return 0;
}

// Whether a set of characters and sequences holds a printable ASCII character, or a sequence
// with one in it (a contraction, a prefix); a sequence too long to read counts as one.
bool TouchesASCII(const USet* inSet)
{
    const int32_t count = uset_getItemCount(inSet);
    for (int32_t i = 0; i < count; ++i)
    {
        UChar32 first = 0;
        UChar32 last = 0;
        UChar sequence[64];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = uset_getItem(inSet, i, &first, &last, sequence, 64, &status);
        if (U_FAILURE(status))
            return true;
        const bool touches = length == 0 ? first <= 0x7E && last >= 0x20
                                         : std::any_of(sequence, sequence + length,
                                                       [](UChar inUnit) { return IsPrintableASCII(inUnit); });
        if (touches)
            return true;
    }
    return false;
}

} // namespace

XMacStringCompare::XMacStringCompare(std::shared_ptr<const cf::Locale> inLocale)
    : fLocale(std::move(inLocale))
{
}

XMacStringCompare::XMacStringCompare(const XMacStringCompare& inOther)
    : fLocale(inOther.fLocale != nullptr ? cf::LocaleCreateCopy(*inOther.fLocale) : nullptr)
{
}

XMacStringCompare::~XMacStringCompare()
{
    for (std::atomic<UCollator*>& collator : fCollators)
    {
        if (UCollator* opened = collator.load(std::memory_order_acquire))
            ucol_close(opened);
    }
}

UCollator* XMacStringCompare::_GetCollator(bool inStrict) const
{
    std::atomic<UCollator*>& slot = fCollators[inStrict ? 1 : 0];
    UCollator* collator = slot.load(std::memory_order_acquire);
    if (collator != nullptr)
        return collator;
    UErrorCode status = U_ZERO_ERROR;
    collator = ucol_open(fLocale != nullptr ? fLocale->GetIdentifier().c_str() : "", &status);
    // Tertiary strength weighs case and diacritics (width too, which the texts lose first);
    // primary strength weighs letters alone.
    ucol_setStrength(collator, inStrict ? UCOL_TERTIARY : UCOL_PRIMARY);
    // Decomposed and precomposed accents must compare alike.
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status))
    {
        ucol_close(collator);
        return nullptr;
    }
    // Opened once: a thread that loses the race uses the winner's collator.
    UCollator* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, collator, std::memory_order_acq_rel))
    {
        ucol_close(collator);
        collator = expected;
    }
    return collator;
}

// In the root order every printable ASCII character is one collation element with a primary
// weight of its own, the two cases of a letter alone sharing one. A locale keeps that when its
// tailoring touches no ASCII character or sequence (no Czech "ch", no Turkish "i"), spaces and
// punctuation stay non-ignorable, case is no level of its own and digits are not read as
// numbers. Then a search of ASCII in ASCII needs no string search, whose start walks the whole
// collation table (a millisecond and a megabyte of collation data at the updater's start).
bool XMacStringCompare::_CollatesASCIIAsRoot(bool inStrict, const UCollator* inCollator) const
{
    std::atomic<int8_t>& known = fASCIIAsRoot[inStrict ? 1 : 0];
    const int8_t cached = known.load(std::memory_order_acquire);
    if (cached >= 0)
        return cached == 1;
    UErrorCode status = U_ZERO_ERROR;
    bool asRoot = ucol_getAttribute(inCollator, UCOL_ALTERNATE_HANDLING, &status) == UCOL_NON_IGNORABLE &&
                  ucol_getAttribute(inCollator, UCOL_CASE_LEVEL, &status) == UCOL_OFF &&
                  ucol_getAttribute(inCollator, UCOL_NUMERIC_COLLATION, &status) == UCOL_OFF &&
                  U_SUCCESS(status);
    USet* tailored = asRoot ? ucol_getTailoredSet(inCollator, &status) : nullptr;
    if (tailored == nullptr || U_FAILURE(status))
        asRoot = false;
    else
        asRoot = !TouchesASCII(tailored);
    uset_close(tailored);
    known.store(asRoot ? 1 : 0, std::memory_order_release);
    return asRoot;
}

int32_t XMacStringCompare::CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                         int32_t inLength2, bool inStrict) const
{
    if (inText1 == nullptr || inLength1 < 0)
        inLength1 = 0;
    if (inText2 == nullptr || inLength2 < 0)
        inLength2 = 0;
    std::u16string storage1;
    std::u16string storage2;
    if (inStrict)
    {
        inText1 = FoldWidth(inText1, inLength1, storage1);
        inText2 = FoldWidth(inText2, inLength2, storage2);
    }
    if (UCollator* collator = _GetCollator(inStrict))
    {
        switch (ucol_strcoll(collator, inText1, inLength1, inText2, inLength2))
        {
        case UCOL_LESS:
            return -1;
        case UCOL_GREATER:
            return 1;
        default:
            return 0;
        }
    }
    return Sign(u_strCompare(inText1, inLength1, inText2, inLength2, true));
}

int32_t XMacStringCompare::FindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                      int32_t inPatternLength, bool inStrict, int32_t* outMatchedLength) const
{
    int32_t matchedLength = 0;
    int32_t position = 0;
    if (inText != nullptr && inLength > 0 && inPattern != nullptr && inPatternLength > 0)
    {
        std::u16string textStorage;
        std::u16string patternStorage;
        if (inStrict)
        {
            inText = FoldWidth(inText, inLength, textStorage);
            inPattern = FoldWidth(inPattern, inPatternLength, patternStorage);
        }
        UErrorCode status = U_ZERO_ERROR;
        UStringSearch* search = nullptr;
        UCollator* collator = _GetCollator(inStrict);
        if (collator != nullptr && IsPrintableASCII(inPattern, inPatternLength) &&
            IsPrintableASCII(inText, inLength) && _CollatesASCIIAsRoot(inStrict, collator))
        {
            position = FindASCII(inText, inLength, inPattern, inPatternLength, inStrict);
            if (outMatchedLength != nullptr)
                *outMatchedLength = position > 0 ? inPatternLength : 0;
            return position;
        }
        if (collator != nullptr)
            search = usearch_openFromCollator(inPattern, inPatternLength, inText, inLength, collator, nullptr,
                                              &status);
        if (search != nullptr && U_SUCCESS(status))
        {
            int32_t start = usearch_first(search, &status);
            if (U_SUCCESS(status) && start != USEARCH_DONE)
            {
                position = start + 1;
                matchedLength = usearch_getMatchedLength(search);
            }
        }
        else
        {
            // A pattern that collation cannot search (no collator, nothing but ignorable
            // characters) is looked for unit by unit.
            position = FindUnits(inText, inLength, inPattern, inPatternLength);
            matchedLength = position > 0 ? inPatternLength : 0;
        }
        usearch_close(search);
    }
    if (outMatchedLength != nullptr)
        *outMatchedLength = matchedLength;
    return position;
}

} // namespace kova
