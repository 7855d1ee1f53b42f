#include "platform/mac/frameworks/CFString.h"

#include <unicode/stringoptions.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

namespace kova::cf
{

namespace
{

std::u16string ToUTF16(std::string_view text)
{
    std::u16string out;
    if (text.empty() || text.size() > size_t(INT32_MAX))
        return out;
    out.resize(text.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &length, text.data(), int32_t(text.size()), 0xFFFD,
                         nullptr, &status);
    out.resize(U_SUCCESS(status) ? size_t(length) : 0);
    return out;
}

// The root collator for the differences that count, made once and shared (comparisons through it
// are safe from several threads); null when ICU cannot make it.
const UCollator* RootCollator(uint32_t flags)
{
    struct Collators
    {
        UCollator* fByLevel[4] = {};
        Collators()
        {
            // Accents ignored, with or without case; case and width ignored; nothing ignored.
            const UColAttributeValue strengths[4] = {UCOL_PRIMARY, UCOL_PRIMARY, UCOL_SECONDARY,
                                                     UCOL_TERTIARY};
            for (int i = 0; i < 4; ++i)
            {
                UErrorCode status = U_ZERO_ERROR;
                UCollator* collator = ucol_open("", &status);
                ucol_setStrength(collator, strengths[i]);
                if (i == 1)
                    ucol_setAttribute(collator, UCOL_CASE_LEVEL, UCOL_ON, &status);
                if (U_FAILURE(status))
                {
                    ucol_close(collator);
                    collator = nullptr;
                }
                fByLevel[i] = collator;
            }
        }
    };
    static const Collators sCollators;
    const bool accents = (flags & kCompareDiacriticInsensitive) == 0;
    const bool caseAndWidth = (flags & (kCompareCaseInsensitive | kCompareWidthInsensitive)) == 0;
    const bool caseOnly = (flags & kCompareCaseInsensitive) == 0;
    if (!accents)
        return sCollators.fByLevel[caseOnly ? 1 : 0];
    return sCollators.fByLevel[caseAndWidth ? 3 : 2];
}

} // namespace

int32_t StringCompare(std::u16string_view first, std::u16string_view second, uint32_t flags)
{
    const int32_t firstLength = int32_t(std::min<size_t>(first.size(), INT32_MAX));
    const int32_t secondLength = int32_t(std::min<size_t>(second.size(), INT32_MAX));
    int32_t order;
    const UCollator* collator = (flags & kCompareLocalized) != 0 ? RootCollator(flags) : nullptr;
    if (collator != nullptr)
    {
        order = ucol_strcoll(collator, first.data(), firstLength, second.data(), secondLength);
    }
    else if ((flags & kCompareCaseInsensitive) != 0)
    {
        UErrorCode status = U_ZERO_ERROR;
        order = u_strCaseCompare(first.data(), firstLength, second.data(), secondLength,
                                 U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
    }
    else
    {
        order = u_strCompare(first.data(), firstLength, second.data(), secondLength, true);
    }
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int32_t StringCompare(std::string_view first, std::string_view second, uint32_t flags)
{
    return StringCompare(std::u16string_view(ToUTF16(first)), std::u16string_view(ToUTF16(second)), flags);
}

// ---------------------------------------------------------------------------------------------
// String objects

struct String
{
    std::atomic<int32_t> fRefCount{1};
    std::u16string fUnits;
    bool fDirectAccess = true;
};

String* StringCreateWithCharacters(const char16_t* inUnits, int64_t inLength)
{
    if (inLength < 0 || (inUnits == nullptr && inLength > 0))
        return nullptr;
    try
    {
        auto* string = new String;
        string->fUnits.assign(inUnits != nullptr ? inUnits : u"", size_t(inLength));
        return string;
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

String* StringCreateWithUTF8(std::string_view inText)
{
    try
    {
        auto* string = new String;
        string->fUnits = ToUTF16(inText);
        string->fDirectAccess = false;
        return string;
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

String* StringRetain(String* inString)
{
    if (inString != nullptr)
        inString->fRefCount.fetch_add(1, std::memory_order_relaxed);
    return inString;
}

void StringRelease(String* inString)
{
    if (inString != nullptr && inString->fRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete inString;
}

int64_t StringGetLength(const String* inString)
{
    return inString != nullptr ? int64_t(inString->fUnits.size()) : 0;
}

const char16_t* StringGetCharactersPtr(const String* inString)
{
    return inString != nullptr && inString->fDirectAccess ? inString->fUnits.data() : nullptr;
}

void StringGetCharacters(const String* inString, int64_t inStart, int64_t inLength, char16_t* outUnits)
{
    if (inString == nullptr || outUnits == nullptr || inStart < 0 || inLength <= 0)
        return;
    const int64_t size = int64_t(inString->fUnits.size());
    if (inStart >= size)
        return;
    const int64_t count = std::min(inLength, size - inStart);
    std::copy_n(inString->fUnits.data() + inStart, count, outUnits);
}

} // namespace kova::cf
