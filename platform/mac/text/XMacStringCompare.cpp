#include "platform/mac/text/XMacStringCompare.h"

#include "platform/mac/frameworks/CFLocale.h"

#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/usearch.h>
#include <unicode/ustring.h>

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
        if (UCollator* collator = _GetCollator(inStrict))
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
