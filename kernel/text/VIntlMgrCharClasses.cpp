// Character classes, words and bidirectional runs of the international manager. The classes
// come from constant range tables; a word is a run of letters and digits.
#include "kernel/text/VIntlMgr.h"

#include "kernel/text/VBidiRun.h"
#include "kernel/text/VCollator.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VMemory.h"

#include <algorithm>
#include <iterator>

namespace kova
{

namespace
{

// A class table: a count of ranges, a split value, then the inclusive ranges in ascending order.
// A unit at or below the split is looked up from the first range forward, above it from the last
// range backward, so that a lookup walks about half of the table.
// The unified ideographs and the Hangul syllables are present only by their first and last
// characters.
// clang-format off
constexpr uint16_t kLetters[] = {
    202, 0x0C8E,
    0x0041, 0x005A, 0x0061, 0x007A, 0x00AA, 0x00AA, 0x00B5, 0x00B5, 0x00BA, 0x00BA, 0x00C0, 0x00D6,
    0x00D8, 0x00F6, 0x00F8, 0x0241, 0x0250, 0x02A8, 0x02B0, 0x02B8, 0x02BB, 0x02C1, 0x02D0, 0x02D1,
    0x02E0, 0x02E4, 0x037A, 0x037A, 0x0386, 0x0386, 0x0388, 0x038A, 0x038C, 0x038C, 0x038E, 0x03A1,
    0x03A3, 0x03CE, 0x03D0, 0x03FF, 0x0400, 0x0482, 0x048A, 0x04CE, 0x04D0, 0x04F9, 0x0500, 0x050F,
    0x0531, 0x0556, 0x0559, 0x0559, 0x0561, 0x0587, 0x05D0, 0x05EA, 0x05F0, 0x05F2, 0x0621, 0x063A,
    0x0640, 0x064A, 0x0671, 0x06B7, 0x06BA, 0x06BE, 0x06C0, 0x06CE, 0x06D0, 0x06D3, 0x06D5, 0x06D5,
    0x06E5, 0x06E6, 0x0905, 0x0939, 0x093D, 0x093D, 0x0958, 0x0961, 0x0985, 0x098C, 0x098F, 0x0990,
    0x0993, 0x09A8, 0x09AA, 0x09B0, 0x09B2, 0x09B2, 0x09B6, 0x09B9, 0x09DC, 0x09DD, 0x09DF, 0x09E1,
    0x09F0, 0x09F1, 0x0A05, 0x0A0A, 0x0A0F, 0x0A10, 0x0A13, 0x0A28, 0x0A2A, 0x0A30, 0x0A32, 0x0A33,
    0x0A35, 0x0A36, 0x0A38, 0x0A39, 0x0A59, 0x0A5C, 0x0A5E, 0x0A5E, 0x0A72, 0x0A74, 0x0A85, 0x0A8B,
    0x0A8D, 0x0A8D, 0x0A8F, 0x0A91, 0x0A93, 0x0AA8, 0x0AAA, 0x0AB0, 0x0AB2, 0x0AB3, 0x0AB5, 0x0AB9,
    0x0ABD, 0x0ABD, 0x0AE0, 0x0AE0, 0x0B05, 0x0B0C, 0x0B0F, 0x0B10, 0x0B13, 0x0B28, 0x0B2A, 0x0B30,
    0x0B32, 0x0B33, 0x0B36, 0x0B39, 0x0B3D, 0x0B3D, 0x0B5C, 0x0B5D, 0x0B5F, 0x0B61, 0x0B85, 0x0B8A,
    0x0B8E, 0x0B90, 0x0B92, 0x0B95, 0x0B99, 0x0B9A, 0x0B9C, 0x0B9C, 0x0B9E, 0x0B9F, 0x0BA3, 0x0BA4,
    0x0BA8, 0x0BAA, 0x0BAE, 0x0BB5, 0x0BB7, 0x0BB9, 0x0C05, 0x0C0C, 0x0C0E, 0x0C10, 0x0C12, 0x0C28,
    0x0C2A, 0x0C33, 0x0C35, 0x0C39, 0x0C60, 0x0C61, 0x0C85, 0x0C8C, 0x0C8E, 0x0C90, 0x0C92, 0x0CA8,
    0x0CAA, 0x0CB3, 0x0CB5, 0x0CB9, 0x0CDE, 0x0CDE, 0x0CE0, 0x0CE1, 0x0D05, 0x0D0C, 0x0D0E, 0x0D10,
    0x0D12, 0x0D28, 0x0D2A, 0x0D39, 0x0D60, 0x0D61, 0x0E01, 0x0E2E, 0x0E30, 0x0E30, 0x0E32, 0x0E33,
    0x0E40, 0x0E46, 0x0E81, 0x0E82, 0x0E84, 0x0E84, 0x0E87, 0x0E88, 0x0E8A, 0x0E8A, 0x0E8D, 0x0E8D,
    0x0E94, 0x0E97, 0x0E99, 0x0E9F, 0x0EA1, 0x0EA3, 0x0EA5, 0x0EA5, 0x0EA7, 0x0EA7, 0x0EAA, 0x0EAB,
    0x0EAD, 0x0EAE, 0x0EB0, 0x0EB0, 0x0EB2, 0x0EB3, 0x0EBD, 0x0EBD, 0x0EC0, 0x0EC4, 0x0EC6, 0x0EC6,
    0x0EDC, 0x0EDD, 0x0F40, 0x0F47, 0x0F49, 0x0F69, 0x10A0, 0x10C5, 0x10D0, 0x10F6, 0x1100, 0x1159,
    0x115F, 0x11A2, 0x11A8, 0x11F9, 0x1E00, 0x1E9B, 0x1EA0, 0x1EF9, 0x1F00, 0x1F15, 0x1F18, 0x1F1D,
    0x1F20, 0x1F45, 0x1F48, 0x1F4D, 0x1F50, 0x1F57, 0x1F59, 0x1F59, 0x1F5B, 0x1F5B, 0x1F5D, 0x1F5D,
    0x1F5F, 0x1F7D, 0x1F80, 0x1FB4, 0x1FB6, 0x1FBC, 0x1FBE, 0x1FBE, 0x1FC2, 0x1FC4, 0x1FC6, 0x1FCC,
    0x1FD0, 0x1FD3, 0x1FD6, 0x1FDB, 0x1FE0, 0x1FEC, 0x1FF2, 0x1FF4, 0x1FF6, 0x1FFC, 0x207F, 0x207F,
    0x2102, 0x2102, 0x2107, 0x2107, 0x210A, 0x2113, 0x2115, 0x2115, 0x2118, 0x211D, 0x2124, 0x2124,
    0x2126, 0x2126, 0x2128, 0x2128, 0x212A, 0x2131, 0x2133, 0x2138, 0x3005, 0x3005, 0x3031, 0x3035,
    0x3041, 0x3094, 0x309B, 0x309E, 0x30A1, 0x30FA, 0x30FC, 0x30FE, 0x3105, 0x312C, 0x3131, 0x318E,
    0x4E00, 0x4E00, 0x9FA5, 0x9FA5, 0xAC00, 0xAC00, 0xD7A3, 0xD7A3, 0xF900, 0xFA2D, 0xFB00, 0xFB06,
    0xFB13, 0xFB17, 0xFB1F, 0xFB28, 0xFB2A, 0xFB36, 0xFB38, 0xFB3C, 0xFB3E, 0xFB3E, 0xFB40, 0xFB41,
    0xFB43, 0xFB44, 0xFB46, 0xFBB1, 0xFBD3, 0xFD3D, 0xFD50, 0xFD8F, 0xFD92, 0xFDC7, 0xFDF0, 0xFDFB,
    0xFE70, 0xFE72, 0xFE74, 0xFE74, 0xFE76, 0xFEFC, 0xFF21, 0xFF3A, 0xFF41, 0xFF5A, 0xFF66, 0xFFBE,
    0xFFC2, 0xFFC7, 0xFFCA, 0xFFCF, 0xFFD2, 0xFFD7, 0xFFDA, 0xFFDC,
};
// clang-format on

// clang-format off
constexpr uint16_t kDigits[] = {
    32, 0x0D66,
    0x0030, 0x0039, 0x00B2, 0x00B3, 0x00B9, 0x00B9, 0x00BC, 0x00BE, 0x0660, 0x0669, 0x06F0, 0x06F9,
    0x0966, 0x096F, 0x09E6, 0x09EF, 0x09F4, 0x09F9, 0x0A66, 0x0A6F, 0x0AE6, 0x0AEF, 0x0B66, 0x0B6F,
    0x0BE7, 0x0BF2, 0x0C66, 0x0C6F, 0x0CE6, 0x0CEF, 0x0D66, 0x0D6F, 0x0E50, 0x0E59, 0x0ED0, 0x0ED9,
    0x0F20, 0x0F33, 0x2070, 0x2070, 0x2074, 0x2079, 0x2080, 0x2089, 0x2153, 0x2182, 0x2460, 0x249B,
    0x24EA, 0x24EA, 0x2776, 0x2793, 0x3007, 0x3007, 0x3021, 0x3029, 0x3192, 0x3195, 0x3220, 0x3229,
    0x3280, 0x3289, 0xFF10, 0xFF19,
};
// clang-format on

// clang-format off
constexpr uint16_t kPunctuation[] = {
    67, 0x0E5A,
    0x0021, 0x0023, 0x0025, 0x002A, 0x002C, 0x002F, 0x003A, 0x003B, 0x003F, 0x0040, 0x005B, 0x005D,
    0x005F, 0x005F, 0x007B, 0x007B, 0x007D, 0x007D, 0x00A1, 0x00A1, 0x00AB, 0x00AB, 0x00AD, 0x00AD,
    0x00B7, 0x00B7, 0x00BB, 0x00BB, 0x00BF, 0x00BF, 0x0374, 0x0375, 0x037E, 0x037E, 0x0387, 0x0387,
    0x055A, 0x055F, 0x0589, 0x0589, 0x05BE, 0x05BE, 0x05C0, 0x05C0, 0x05C3, 0x05C3, 0x05F3, 0x05F4,
    0x060C, 0x060C, 0x061B, 0x061B, 0x061F, 0x061F, 0x066A, 0x066D, 0x06D4, 0x06D4, 0x0964, 0x0965,
    0x0970, 0x0970, 0x0E2F, 0x0E2F, 0x0E5A, 0x0E5B, 0x0EAF, 0x0EAF, 0x0F04, 0x0F12, 0x0F3A, 0x0F3F,
    0x0F85, 0x0F85, 0x10FB, 0x10FB, 0x2010, 0x2027, 0x2030, 0x2043, 0x2045, 0x2046, 0x207D, 0x207E,
    0x208D, 0x208E, 0x2329, 0x232A, 0x3001, 0x3003, 0x3006, 0x3006, 0x3008, 0x3011, 0x3014, 0x301F,
    0x3030, 0x3030, 0x30FB, 0x30FB, 0xFD3E, 0xFD3F, 0xFE30, 0xFE44, 0xFE49, 0xFE52, 0xFE54, 0xFE61,
    0xFE63, 0xFE63, 0xFE68, 0xFE68, 0xFE6A, 0xFE6B, 0xFF01, 0xFF03, 0xFF05, 0xFF0A, 0xFF0C, 0xFF0F,
    0xFF1A, 0xFF1B, 0xFF1F, 0xFF20, 0xFF3B, 0xFF3D, 0xFF3F, 0xFF3F, 0xFF5B, 0xFF5B, 0xFF5D, 0xFF5D,
    0xFF61, 0xFF65,
};
// clang-format on

// clang-format off
constexpr uint16_t kSpaces[] = {
    4, 0x00A0,
    0x0020, 0x0020, 0x00A0, 0x00A0, 0x2000, 0x200B, 0x3000, 0x3000,
};
// clang-format on

constexpr bool HasItsCount(const uint16_t* inTable, size_t inSize)
{
    return inSize == 2 + 2 * size_t(inTable[0]);
}
static_assert(HasItsCount(kLetters, std::size(kLetters)));
static_assert(HasItsCount(kDigits, std::size(kDigits)));
static_assert(HasItsCount(kPunctuation, std::size(kPunctuation)));
static_assert(HasItsCount(kSpaces, std::size(kSpaces)));

constexpr uint32_t kRangesTag = FourCharCode("strU");

bool IsASCIIDigit(uint8_t inCharacter)
{
    return inCharacter >= '0' && inCharacter <= '9';
}

bool IsASCIILetter(uint8_t inCharacter)
{
    return (inCharacter >= 'A' && inCharacter <= 'Z') || (inCharacter >= 'a' && inCharacter <= 'z');
}

// The accented letters of Mac OS Roman and its few other letters.
bool IsMacLetter(uint8_t inCharacter)
{
    if (inCharacter >= 0x80 && inCharacter <= 0x9F)
        return true;
    switch (inCharacter)
    {
    case 0xAE:
    case 0xBE:
    case 0xCB:
    case 0xCC:
    case 0xCD:
    case 0xCE:
    case 0xCF:
        return true;
    default:
        return false;
    }
}

// Whether x lies strictly inside one of the words: after its first unit, before its end.
bool IsInsideAWord(const std::vector<std::pair<int32_t, int32_t>>& inWords, int32_t inPosition)
{
    for (const auto& [start, length] : inWords)
    {
        if (start < inPosition && inPosition < start + length)
            return true;
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Classes

bool VIntlMgr::_CharTest(UniChar inUnit, const uint16_t* inTable) const
{
    const int32_t count = inTable[0];
    const uint16_t* ranges = inTable + 2;
    if (inUnit <= inTable[1])
    {
        for (int32_t i = 0; i < count; ++i)
        {
            if (ranges[2 * i] > inUnit)
                return false;
            if (inUnit <= ranges[2 * i + 1])
                return true;
        }
        return false;
    }
    for (int32_t i = count - 1; i >= 0; --i)
    {
        if (ranges[2 * i + 1] < inUnit)
            return false;
        if (ranges[2 * i] <= inUnit)
            return true;
    }
    return false;
}

bool VIntlMgr::IsAlpha(UniChar inUnit) const
{
    return _CharTest(inUnit, kLetters);
}

bool VIntlMgr::IsDigit(UniChar inUnit) const
{
    return _CharTest(inUnit, kDigits);
}

bool VIntlMgr::IsPunctuation(UniChar inUnit) const
{
    return _CharTest(inUnit, kPunctuation);
}

bool VIntlMgr::IsSpace(UniChar inUnit, bool) const
{
    return _CharTest(inUnit, kSpaces);
}

uint32_t VIntlMgr::CharDigitValue(UniChar inUnit) const
{
    return inUnit >= u'0' && inUnit <= u'9' ? uint32_t(inUnit - u'0') : 0xFFFFFFFF;
}

bool VIntlMgr::IsAMacCharacter(uint8_t inCharacter, uint32_t inKind)
{
    switch (inKind)
    {
    case 0:
        return inCharacter == '\t' || inCharacter == '\r' || (inCharacter >= 0x20 && inCharacter != 0x7F);
    case 1:
        return IsASCIIDigit(inCharacter) || IsASCIILetter(inCharacter) || IsMacLetter(inCharacter) ||
               inCharacter == '_';
    case 2:
        return IsASCIILetter(inCharacter) || IsMacLetter(inCharacter) || inCharacter == '_';
    case 3:
        return IsASCIIDigit(inCharacter) || IsASCIILetter(inCharacter) || inCharacter == '_';
    case 4:
        return IsASCIILetter(inCharacter) || inCharacter == '_';
    case 5:
        return IsASCIIDigit(inCharacter);
    default:
        return false;
    }
}

uint16_t* VIntlMgr::_FillOneRangesArray(const uint16_t* inFlags, uint8_t inMask)
{
    if (inFlags == nullptr)
        return nullptr;
    auto inClass = [inFlags, inMask](uint32_t inUnit) { return (inFlags[inUnit] & inMask) != 0; };
    // Two passes: count the ranges, then fill a block of exactly the table's size.
    auto forEachRange = [&](auto&& inVisit)
    {
        uint32_t unit = 0;
        while (unit <= 0xFFFF)
        {
            if (!inClass(unit))
            {
                ++unit;
                continue;
            }
            uint32_t first = unit;
            while (unit <= 0xFFFF && inClass(unit))
                ++unit;
            // Unit 0 never belongs to a class; a run of it alone gives no range.
            if (first == 0)
                first = 1;
            if (first <= unit - 1)
                inVisit(first, unit - 1);
        }
    };
    uint32_t count = 0;
    uint64_t startSum = 0;
    forEachRange(
        [&](uint32_t inFirst, uint32_t)
        {
            ++count;
            startSum += inFirst;
        });
    auto* table =
        static_cast<uint16_t*>(VMemory::NewPtr((2 + 2 * size_t(count)) * sizeof(uint16_t), kRangesTag));
    if (table == nullptr)
        return nullptr;
    table[0] = uint16_t(count);
    table[1] = count == 0 ? 0 : uint16_t(startSum / count);
    uint16_t* cursor = table + 2;
    forEachRange(
        [&](uint32_t inFirst, uint32_t inLast)
        {
            *cursor++ = uint16_t(inFirst);
            *cursor++ = uint16_t(inLast);
        });
    return table;
}

// ---------------------------------------------------------------------------------------------
// Words

bool VIntlMgr::_IsItaDeadChar(UniChar inUnit) const
{
    return inUnit < 0x20 || !(IsAlpha(inUnit) || IsDigit(inUnit));
}

bool VIntlMgr::_HasApostropheSecondFollowedByVowel(const VString& inText, int32_t inStart,
                                                   int32_t inLength) const
{
    if (inLength < 4 || inStart < 1 || inStart > inText.GetLength() - inLength + 1)
        return false;
    const UniChar second = inText.GetCPointer()[inStart];
    if (second != 0x0027 && second != 0x2019)
        return false;
    VString word;
    inText.GetSubString(inStart, inLength, word);
    ToUpperLowerCase(word, false, false);
    if (word.GetLength() < 3)
        return false;
    switch (word.GetCPointer()[2])
    {
    case u'a':
    case u'e':
    case u'i':
    case u'o':
    case u'u':
    case u'y':
    case u'h':
        return true;
    default:
        return false;
    }
}

bool VIntlMgr::_SplitWordRangeOnDot(const VString& inText, int32_t inStart, int32_t inLength,
                                    std::vector<std::pair<int32_t, int32_t>>& outRanges,
                                    bool inWithDots) const
{
    if (inStart < 1 || inLength <= 0 || inStart > inText.GetLength())
        return false;
    const int32_t end = inStart - 1 + std::min(inLength, inText.GetLength() - inStart + 1);
    const UniChar* units = inText.GetCPointer();
    bool foundDot = false;
    int32_t segmentStart = inStart;
    for (int32_t position = inStart; position <= end; ++position)
    {
        if (units[position - 1] != u'.')
            continue;
        foundDot = true;
        if (position > segmentStart)
            outRanges.emplace_back(segmentStart, position - segmentStart);
        if (inWithDots)
            outRanges.emplace_back(position, 1);
        segmentStart = position + 1;
    }
    if (foundDot && end >= segmentStart)
        outRanges.emplace_back(segmentStart, end - segmentStart + 1);
    return foundDot;
}

bool VIntlMgr::GetWordBoundariesWithOptions(const VString& inText,
                                            std::vector<std::pair<int32_t, int32_t>>& outWords,
                                            uint32_t inOptions) const
{
    std::vector<std::pair<int32_t, int32_t>> words;
    bool result = true;
    if (!inText.IsEmpty())
    {
        if ((inOptions & kOptionSystemServices) != 0)
        {
            const UniChar* units = inText.GetCPointer();
            const int32_t length = inText.GetLength();
            for (int32_t i = 0; i < length;)
            {
                if (_IsItaDeadChar(units[i]))
                {
                    ++i;
                    continue;
                }
                const int32_t start = i;
                while (i < length && !_IsItaDeadChar(units[i]))
                    ++i;
                words.emplace_back(start + 1, i - start);
            }
        }
        else
        {
            result = false;
        }
    }
    outWords.swap(words);
    return result;
}

bool VIntlMgr::FindWord(const VString& inText, const VString& inWord, const VCompareOptions& inOptions) const
{
    const bool diacritical = inOptions.IsDiacritical();
    const UniChar* text = inText.GetCPointer();
    const int32_t length = inText.GetLength();
    if (inWord.IsEmpty())
        return false;
    bool patternWord = false;
    if (inOptions.IsLike())
    {
        for (int32_t i = 0; i < inWord.GetLength() && !patternWord; ++i)
            patternWord = inWord.GetCPointer()[i] == fCollator->GetWildChar();
    }
    if (patternWord || (fOptions & kOptionCompareWords) != 0)
    {
        std::vector<std::pair<int32_t, int32_t>> words;
        GetWordBoundariesWithOptions(inText, words, fOptions);
        for (const auto& [start, wordLength] : words)
        {
            if (fCollator->EqualString_Like(text + start - 1, wordLength, inWord.GetCPointer(),
                                            inWord.GetLength(), diacritical))
            {
                return true;
            }
        }
        return false;
    }
    if ((fOptions & kOptionSystemServices) == 0)
        return false;
    for (int32_t offset = 0; offset < length;)
    {
        int32_t matched = 0;
        const int32_t found = fCollator->FindString(text + offset, length - offset, inWord.GetCPointer(),
                                                    inWord.GetLength(), diacritical, &matched);
        if (found <= 0)
            return false;
        const int32_t start = offset + found;      // 1-based
        const int32_t after = start - 1 + matched; // 0-based index of the unit after the match
        const bool wholeBefore = start == 1 || _IsItaDeadChar(text[start - 2]);
        const bool wholeAfter = after >= length || _IsItaDeadChar(text[after]);
        if (wholeBefore && wholeAfter)
            return true;
        offset = start;
    }
    return false;
}

void VIntlMgr::FindStrings(const VString& inText, const VString& inPattern, EFindStringMode inMode,
                           bool inDiacritical, std::vector<std::pair<int32_t, int32_t>>& outMatches,
                           bool inAll) const
{
    outMatches.clear();
    if (inPattern.IsEmpty())
        return;
    const UniChar* text = inText.GetCPointer();
    const int32_t length = inText.GetLength();
    std::vector<std::pair<int32_t, int32_t>> words;
    if (inMode != eFindContains)
        GetWordBoundariesWithOptions(inText, words, fOptions);
    for (int32_t offset = 0; offset < length;)
    {
        int32_t matched = 0;
        const int32_t found = fCollator->FindString(text + offset, length - offset, inPattern.GetCPointer(),
                                                    inPattern.GetLength(), inDiacritical, &matched);
        if (found <= 0)
            break;
        const int32_t start = offset + found;
        const int32_t end = start + matched;
        bool accepted = true;
        switch (inMode)
        {
        case eFindWholeWords:
            accepted = !IsInsideAWord(words, start) && !IsInsideAWord(words, end);
            break;
        case eFindWordStart:
            accepted = !IsInsideAWord(words, start);
            break;
        case eFindWordEnd:
            accepted = !IsInsideAWord(words, end);
            break;
        default:
            break;
        }
        if (accepted)
        {
            outMatches.emplace_back(start, matched);
            if (!inAll)
                break;
        }
        // On after the match; a match of no unit still moves one unit on.
        offset = start - 1 + std::max(matched, 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Bidirectional runs

bool VIntlMgr::GetBidiRuns(const UniChar* inText, int32_t inLength, std::vector<VBidiRun>& outRuns,
                           std::vector<int32_t>& outVisualOrder, int32_t inBaseLevel,
                           bool inIgnoreFinalCR) const
{
    outRuns.clear();
    outVisualOrder.clear();
    if (inText == nullptr || inLength < 0)
        inLength = 0;
    if (inIgnoreFinalCR && inLength > 0 && inText[inLength - 1] == 0x0D)
        --inLength;
    const bool rightToLeft = (inBaseLevel & 1) != 0;
    outRuns.emplace_back(0, inLength, rightToLeft ? 1 : 0);
    outVisualOrder.push_back(0);
    return rightToLeft;
}

bool VIntlMgr::TextLogicalToVisual(const VString& inText, int32_t) const
{
    return inText.IsEmpty() || (inText.GetLength() == 1 && inText.GetCPointer()[0] == 0x0D);
}

} // namespace kova
