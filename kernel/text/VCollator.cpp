#include "kernel/text/VCollator.h"

namespace kova
{

namespace
{

int32_t UsableLength(const UniChar* inText, int32_t inLength)
{
    return inText == nullptr || inLength < 0 ? 0 : inLength;
}

// Control characters that collation ignores; TAB, LF, VT, FF and CR are not among them.
bool IsIgnorable(UniChar inUnit)
{
    return inUnit <= 0x08 || (inUnit >= 0x0E && inUnit <= 0x1F) || inUnit == 0x7F;
}

UniChar FoldASCIICase(UniChar inUnit)
{
    return inUnit >= u'a' && inUnit <= u'z' ? UniChar(inUnit - 0x20) : inUnit;
}

bool IsKana(UniChar inUnit)
{
    return (inUnit >= 0x3040 && inUnit <= 0x3094) || (inUnit >= 0x309D && inUnit <= 0x309E) ||
           (inUnit >= 0x30A1 && inUnit <= 0x30FE) || (inUnit >= 0xFF65 && inUnit <= 0xFF9F);
}

int32_t FindUnit(const UniChar* inText, int32_t inFrom, int32_t inLength, UniChar inUnit)
{
    int32_t i = inFrom;
    while (i < inLength && inText[i] != inUnit)
        ++i;
    return i;
}

} // namespace

VCollator::VCollator(uint32_t inDialect) : fDialect(inDialect) {}

VCollator::~VCollator() = default;

void VCollator::SetWildChar(UniChar inWildChar)
{
    fWildChar = inWildChar;
}

void VCollator::Reset()
{
    SetWildChar(sDefaultWildChar);
}

int32_t VCollator::_FindLastOccurrence(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                       int32_t inPatternLength, bool inStrict,
                                       int32_t* outMatchedLength) const
{
    int32_t last = 0;
    int32_t lastLength = 0;
    int32_t offset = 0;
    while (offset < inLength)
    {
        int32_t matched = 0;
        int32_t position =
            FindString(inText + offset, inLength - offset, inPattern, inPatternLength, inStrict, &matched);
        if (position <= 0 || position > inLength - offset)
            break;
        last = offset + position;
        lastLength = matched;
        offset += position;
    }
    if (outMatchedLength != nullptr)
        *outMatchedLength = lastLength;
    return last;
}

bool VCollator::BeginsWithString(const UniChar* inText, int32_t inLength, const UniChar* inPrefix,
                                 int32_t inPrefixLength, bool inStrict, int32_t* outMatchedLength) const
{
    inLength = UsableLength(inText, inLength);
    inPrefixLength = UsableLength(inPrefix, inPrefixLength);
    int32_t matched = 0;
    bool begins = inPrefixLength == 0 ||
                  FindString(inText, inLength, inPrefix, inPrefixLength, inStrict, &matched) == 1;
    if (outMatchedLength != nullptr)
        *outMatchedLength = begins ? matched : 0;
    return begins;
}

bool VCollator::EndsWithString(const UniChar* inText, int32_t inLength, const UniChar* inSuffix,
                               int32_t inSuffixLength, bool inStrict, int32_t* outMatchedLength) const
{
    inLength = UsableLength(inText, inLength);
    inSuffixLength = UsableLength(inSuffix, inSuffixLength);
    bool ends = inSuffixLength == 0;
    int32_t tailLength = 0;
    if (!ends)
    {
        int32_t last = _FindLastOccurrence(inText, inLength, inSuffix, inSuffixLength, inStrict, nullptr);
        if (last > 0)
        {
            tailLength = inLength - last + 1;
            ends = EqualString(inText + last - 1, tailLength, inSuffix, inSuffixLength, inStrict);
        }
    }
    if (outMatchedLength != nullptr)
        *outMatchedLength = ends ? tailLength : 0;
    return ends;
}

int32_t VCollator::CompareString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                      int32_t inPatternLength, bool inStrict) const
{
    if ((fOptions & kOptionWildCharOnlyAtEnds) != 0)
        return _CompareString_Like_IgnoreWildCharInMiddle(inText, inLength, inPattern, inPatternLength,
                                                          inStrict);
    return _CompareString_Like_SupportWildCharInMiddle(inText, inLength, inPattern, inPatternLength,
                                                       inStrict);
}

int32_t VCollator::_CompareString_Like_IgnoreWildCharInMiddle(const UniChar* inText, int32_t inLength,
                                                              const UniChar* inPattern,
                                                              int32_t inPatternLength, bool inStrict) const
{
    inLength = UsableLength(inText, inLength);
    inPatternLength = UsableLength(inPattern, inPatternLength);
    const bool leading = inPatternLength > 0 && inPattern[0] == fWildChar;
    const bool trailing = inPatternLength > 0 && inPattern[inPatternLength - 1] == fWildChar;
    if (!leading && !trailing)
        return CompareString(inText, inLength, inPattern, inPatternLength, inStrict);
    const int32_t unequal = inLength > inPatternLength ? 1 : -1;
    if (!leading)
    {
        if (BeginsWithString(inText, inLength, inPattern, inPatternLength - 1, inStrict, nullptr))
            return 0;
        return CompareString(inText, inLength, inPattern, inPatternLength - 1, inStrict);
    }
    if (!trailing)
        return EndsWithString(inText, inLength, inPattern + 1, inPatternLength - 1, inStrict, nullptr)
                   ? 0
                   : unequal;
    if (inPatternLength <= 2)
        return 0;
    return FindString(inText, inLength, inPattern + 1, inPatternLength - 2, inStrict, nullptr) != 0 ? 0
                                                                                                    : unequal;
}

int32_t VCollator::_CompareString_Like_SupportWildCharInMiddle(const UniChar* inText, int32_t inLength,
                                                               const UniChar* inPattern,
                                                               int32_t inPatternLength, bool inStrict) const
{
    inLength = UsableLength(inText, inLength);
    inPatternLength = UsableLength(inPattern, inPatternLength);
    if (inPatternLength == 0)
        return CompareString(inText, inLength, inPattern, 0, inStrict);

    // The text cursor only moves forward: the earliest occurrence of each middle segment is
    // taken, without backtracking.
    const UniChar* text = inText;
    int32_t textLeft = inLength;
    int32_t p = 0;
    if (inPattern[0] != fWildChar)
    {
        const int32_t end = FindUnit(inPattern, 0, inPatternLength, fWildChar);
        if (end == inPatternLength)
            return CompareString(text, textLeft, inPattern, inPatternLength, inStrict);
        int32_t matched = 0;
        if (!BeginsWithString(text, textLeft, inPattern, end, inStrict, &matched))
        {
            // Collation may call equal what the search did not find at the start: no match still.
            int32_t order = CompareString(text, textLeft, inPattern, end, inStrict);
            return order != 0 ? order : -1;
        }
        text += matched;
        textLeft -= matched;
        p = end;
    }
    for (;;)
    {
        while (p < inPatternLength && inPattern[p] == fWildChar)
            ++p;
        if (p == inPatternLength)
            return 0;
        const int32_t segmentEnd = FindUnit(inPattern, p, inPatternLength, fWildChar);
        const UniChar* segment = inPattern + p;
        const int32_t segmentLength = segmentEnd - p;
        if (segmentEnd < inPatternLength)
        {
            int32_t matched = 0;
            int32_t position = FindString(text, textLeft, segment, segmentLength, inStrict, &matched);
            if (position <= 0)
                return -1;
            const int32_t advance = position - 1 + matched;
            if (advance > textLeft)
                return -1;
            text += advance;
            textLeft -= advance;
            p = segmentEnd;
            continue;
        }
        // The last segment must end the text.
        int32_t last = _FindLastOccurrence(text, textLeft, segment, segmentLength, inStrict, nullptr);
        if (last == 0)
            return -1;
        return CompareString(text + last - 1, textLeft - last + 1, segment, segmentLength, inStrict) == 0
                   ? 0
                   : -1;
    }
}

bool VCollator::EqualString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                 int32_t inPatternLength, bool inStrict) const
{
    inLength = UsableLength(inText, inLength);
    inPatternLength = UsableLength(inPattern, inPatternLength);
    auto wholeMatch = [&]
    { return CompareString_Like(inText, inLength, inPattern, inPatternLength, inStrict) == 0; };
    int32_t i = 0;
    int32_t j = 0;
    for (;;)
    {
        while (i < inLength && IsIgnorable(inText[i]))
            ++i;
        while (j < inPatternLength && IsIgnorable(inPattern[j]))
            ++j;
        if (j == inPatternLength)
        {
            if (i == inLength)
                return true;
            return inText[i] < 0x7F ? false : wholeMatch();
        }
        if (i == inLength)
        {
            for (; j < inPatternLength; ++j)
            {
                if (inPattern[j] != fWildChar)
                    return inPattern[j] < 0x7F ? false : wholeMatch();
            }
            return true;
        }
        const UniChar t = inText[i];
        const UniChar c = inPattern[j];
        // Accents written alone ("`", "^") and anything beyond ASCII need the collation.
        const bool special =
            t > 0x7F || c > 0x7F || t == u'`' || c == u'`' || t == u'^' || c == u'^' || c == fWildChar;
        if (special)
        {
            if (c == fWildChar && j == inPatternLength - 1)
                return true;
            const bool wildIsOrdinary = c == fWildChar && (fOptions & kOptionWildCharOnlyAtEnds) != 0 &&
                                        j != 0 && j != inPatternLength - 1;
            if (!wildIsOrdinary)
                return CompareString_Like(inText + i, inLength - i, inPattern + j, inPatternLength - j,
                                          inStrict) == 0;
        }
        if (inStrict ? t != c : FoldASCIICase(t) != FoldASCIICase(c))
            return false;
        ++i;
        ++j;
    }
}

bool VCollator::IsPatternCompatibleWithDichotomyAndDiacritics(const UniChar* inPattern,
                                                              int32_t inPatternLength) const
{
    inPatternLength = UsableLength(inPattern, inPatternLength);
    for (int32_t i = 0; i < inPatternLength; ++i)
    {
        if (inPattern[i] == fWildChar && i != inPatternLength - 1)
            return false;
    }
    for (int32_t i = 0; i < inPatternLength; ++i)
    {
        if (IsKana(inPattern[i]))
            return false;
    }
    return true;
}

} // namespace kova
