// Comparison, exact search and exact exchange of VString: collated comparisons through the calling
// task's collator, raw comparisons of units, the Knuth-Morris-Pratt search and the exchange of a
// pattern in the string's own buffer.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VMemoryBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace kova
{

namespace
{

CompareResult ToCompareResult(int32_t inOrder)
{
    return inOrder < 0 ? CR_SMALLER : (inOrder > 0 ? CR_BIGGER : CR_EQUAL);
}

int32_t Shorter(int32_t inLength1, int32_t inLength2)
{
    return inLength1 < inLength2 ? inLength1 : inLength2;
}

// The order of two unit sequences as unsigned numbers, the shorter first on a common beginning;
// with inFoldASCII "A" to "Z" are taken as "a" to "z".
int32_t CompareUnits(const UniChar* inText1, int32_t inLength1, const UniChar* inText2, int32_t inLength2,
                     bool inFoldASCII)
{
    const int32_t common = Shorter(inLength1, inLength2);
    for (int32_t i = 0; i < common; ++i)
    {
        UniChar unit1 = inText1[i];
        UniChar unit2 = inText2[i];
        if (inFoldASCII)
        {
            if (unit1 >= u'A' && unit1 <= u'Z')
                unit1 = UniChar(unit1 + 0x20);
            if (unit2 >= u'A' && unit2 <= u'Z')
                unit2 = UniChar(unit2 + 0x20);
        }
        if (unit1 != unit2)
            return unit1 < unit2 ? -1 : 1;
    }
    return inLength1 < inLength2 ? -1 : (inLength1 > inLength2 ? 1 : 0);
}

int32_t UsableLength(const UniChar* inText, int32_t inLength)
{
    return inText == nullptr || inLength < 0 ? 0 : inLength;
}

// The collation of last resort, while no international manager exists (static initialisation,
// shut-down): units compare and match exactly, so nothing dereferences a missing manager.
class UnitCollator : public VCollator
{
public:
    UnitCollator() : VCollator(VIntlMgr::kDefaultDialect) {}

    int32_t CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                          int32_t inLength2, bool) const override
    {
        return CompareUnits(inText1, UsableLength(inText1, inLength1), inText2,
                            UsableLength(inText2, inLength2), false);
    }
    bool EqualString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2, int32_t inLength2,
                     bool inStrict) const override
    {
        return CompareString(inText1, inLength1, inText2, inLength2, inStrict) == 0;
    }
    int32_t FindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                       int32_t inPatternLength, bool, int32_t* outMatchedLength) const override
    {
        inLength = UsableLength(inText, inLength);
        inPatternLength = UsableLength(inPattern, inPatternLength);
        // As the system collator: an empty pattern is found at 1 in a non-empty text only.
        int32_t position =
            inLength == 0 ? 0 : VString::FindRawString(inText, inLength, inPattern, inPatternLength);
        if (outMatchedLength != nullptr)
            *outMatchedLength = position > 0 ? inPatternLength : 0;
        return position;
    }
    int32_t ReversedFindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                               int32_t inPatternLength, bool inStrict,
                               int32_t* outMatchedLength) const override
    {
        if (UsableLength(inText, inLength) == 0 || UsableLength(inPattern, inPatternLength) == 0)
            return FindString(inText, inLength, inPattern, inPatternLength, inStrict, outMatchedLength);
        return _FindLastOccurrence(inText, inLength, inPattern, inPatternLength, inStrict, outMatchedLength);
    }
    VCollator* Clone() const override { return new (std::nothrow) UnitCollator(*this); }
    void GetStringComparisonAlgorithmSignature(VString& outSignature) const override
    {
        outSignature.FromUniCString(u"units");
    }
};

// The text of a packed string (a 32-bit count, then the units). Packed data carry no alignment:
// units at an odd address are read through a copy.
class StPackedText
{
public:
    explicit StPackedText(const void* inData)
    {
        uint32_t count;
        std::memcpy(&count, inData, sizeof(count));
        const char* units = static_cast<const char*>(inData) + sizeof(count);
        fLength = count > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(count);
        if ((reinterpret_cast<uintptr_t>(units) % alignof(UniChar)) == 0)
        {
            fUnits = reinterpret_cast<const UniChar*>(units);
            return;
        }
        if (fCopy.EnsureSize(fLength))
        {
            std::memcpy(fCopy.GetCPointerForWrite(), units, size_t(fLength) * sizeof(UniChar));
            fCopy.Validate(fLength);
        }
        fUnits = fCopy.GetCPointer();
        fLength = fCopy.GetLength();
    }
    StPackedText(const StPackedText&) = delete;
    StPackedText& operator=(const StPackedText&) = delete;

    const UniChar* Units() const { return fUnits; }
    int32_t Length() const { return fLength; }

private:
    VString fCopy;
    const UniChar* fUnits = nullptr;
    int32_t fLength = 0;
};

// One comparison through a collator: pattern matching (the second text is the pattern) or plain.
CompareResult Collate(const VCollator& inCollator, bool inLike, const UniChar* inText1, int32_t inLength1,
                      const UniChar* inText2, int32_t inLength2, bool inDiacritical)
{
    if (inLike)
        return ToCompareResult(
            inCollator.CompareString_Like(inText1, inLength1, inText2, inLength2, inDiacritical));
    return ToCompareResult(inCollator.CompareString(inText1, inLength1, inText2, inLength2, inDiacritical));
}

bool CollateEqual(const VCollator& inCollator, bool inLike, const UniChar* inText1, int32_t inLength1,
                  const UniChar* inText2, int32_t inLength2, bool inDiacritical)
{
    if (inLike)
        return inCollator.EqualString_Like(inText1, inLength1, inText2, inLength2, inDiacritical);
    return inCollator.EqualString(inText1, inLength1, inText2, inLength2, inDiacritical);
}

// The beginning forms with options cut both texts to the shorter length.
CompareResult CollateWithOptions(const VCollator& inCollator, const VCompareOptions& inOptions,
                                 const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                 int32_t inLength2)
{
    if (inOptions.IsBeginOnly())
        inLength1 = inLength2 = Shorter(inLength1, inLength2);
    return Collate(inCollator, inOptions.IsLike(), inText1, inLength1, inText2, inLength2,
                   inOptions.IsDiacritical());
}

const VString& AsString(const VValue* inValue)
{
    return inValue == nullptr ? VString::sEmpty : *static_cast<const VString*>(inValue);
}

// The failure table of a pattern and the search with it. The table lives on the stack for
// patterns below 256 units; when a larger one cannot be had the search compares at every place.
class RawPattern
{
public:
    RawPattern(const UniChar* inPattern, int32_t inLength) : fPattern(inPattern), fLength(inLength)
    {
        fTable = inLength < kStackEntries
                     ? fStackTable
                     : static_cast<int32_t*>(std::malloc((size_t(inLength) + 1) * sizeof(int32_t)));
        if (fTable == nullptr)
            return;
        // Entry i: the longest proper prefix of the first i units that also ends them.
        fTable[0] = -1;
        for (int32_t i = 1; i <= inLength; ++i)
        {
            int32_t k = fTable[i - 1];
            while (k >= 0 && fPattern[k] != fPattern[i - 1])
                k = fTable[k];
            fTable[i] = k + 1;
        }
    }
    ~RawPattern()
    {
        if (fTable != fStackTable)
            std::free(fTable);
    }
    RawPattern(const RawPattern&) = delete;
    RawPattern& operator=(const RawPattern&) = delete;

    // The 0-based index of the first occurrence in the units, -1 when there is none.
    int32_t Find(const UniChar* inText, int32_t inLength) const
    {
        if (fLength == 0)
            return 0;
        if (inLength < fLength)
            return -1;
        if (fTable == nullptr)
        {
            for (int32_t i = 0; i <= inLength - fLength; ++i)
            {
                if (std::memcmp(inText + i, fPattern, size_t(fLength) * sizeof(UniChar)) == 0)
                    return i;
            }
            return -1;
        }
        int32_t matched = 0;
        for (int32_t i = 0; i < inLength; ++i)
        {
            while (matched >= 0 && fPattern[matched] != inText[i])
                matched = fTable[matched];
            if (++matched == fLength)
                return i - fLength + 1;
        }
        return -1;
    }

private:
    static constexpr int32_t kStackEntries = 256;

    const UniChar* fPattern;
    int32_t fLength;
    int32_t* fTable;
    int32_t fStackTable[kStackEntries];
};

// The positions of the occurrences a growing exchange writes: the first 1024 on the stack.
class PositionList
{
public:
    int32_t GetCount() const { return fCount; }
    int32_t operator[](int32_t inIndex) const { return fItems[inIndex]; }

    bool Add(int32_t inPosition)
    {
        if (fCount == fCapacity)
        {
            size_t bytes = size_t(fCapacity) * 2 * sizeof(int32_t);
            if (int64_t(fCapacity) * 2 > INT32_MAX || !fMore._EnlargeAmortized(bytes))
                return false;
            if (fItems == fInline)
                std::memcpy(fMore.GetDataPtr(), fInline, sizeof(fInline));
            fItems = static_cast<int32_t*>(fMore.GetDataPtr());
            fCapacity = int32_t(fMore.GetAllocatedSize() / sizeof(int32_t));
        }
        fItems[fCount++] = inPosition;
        return true;
    }

private:
    static constexpr int32_t kInlineCount = 1024;

    int32_t fInline[kInlineCount];
    VMemoryBuffer<1024ul, 2ul, 1048576ul> fMore;
    int32_t* fItems = fInline;
    int32_t fCount = 0;
    int32_t fCapacity = kInlineCount;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Collators

const VCollator& VString::_CurrentCollator()
{
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager();
        manager != nullptr && manager->GetCollator())
        return *manager->GetCollator();
    // Built once in static storage and never destroyed, so that comparisons made while other
    // statics are destroyed still find it.
    alignas(UnitCollator) static unsigned char sStorage[sizeof(UnitCollator)];
    static const UnitCollator* sUnitCollator = new (sStorage) UnitCollator;
    return *sUnitCollator;
}

const VCollator& VString::_CollatorOf(const VCompareOptions& inOptions)
{
    if (const VIntlMgr* manager = inOptions.GetIntlManager(); manager != nullptr && manager->GetCollator())
        return *manager->GetCollator();
    return _CurrentCollator();
}

// ---------------------------------------------------------------------------------------------
// Collated comparisons

CompareResult VString::CompareToSameKind(const VValue* inValue, bool inDiacritical) const
{
    const VString& other = AsString(inValue);
    return Collate(_CurrentCollator(), false, fString, fLength, other.fString, other.fLength, inDiacritical);
}

CompareResult VString::CompareBeginingToSameKind(const VValue* inValue, bool inDiacritical) const
{
    const VString& other = AsString(inValue);
    return Collate(_CurrentCollator(), false, fString, Shorter(fLength, other.fLength), other.fString,
                   other.fLength, inDiacritical);
}

CompareResult VString::CompareToSameKindPtr(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), false, fString, fLength, packed.Units(), packed.Length(),
                   inDiacritical);
}

CompareResult VString::Swap_CompareToSameKindPtr(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), false, packed.Units(), packed.Length(), fString, fLength,
                   inDiacritical);
}

bool VString::EqualToSameKindPtr(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return CollateEqual(_CurrentCollator(), false, fString, fLength, packed.Units(), packed.Length(),
                        inDiacritical);
}

CompareResult VString::CompareBeginingToSameKindPtr(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), false, fString, Shorter(fLength, packed.Length()), packed.Units(),
                   packed.Length(), inDiacritical);
}

CompareResult VString::IsTheBeginingToSameKindPtr(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), false, fString, fLength, packed.Units(),
                   Shorter(fLength, packed.Length()), inDiacritical);
}

CompareResult VString::CompareToSameKind_Like(const VValue* inValue, bool inDiacritical) const
{
    const VString& other = AsString(inValue);
    return Collate(_CurrentCollator(), true, fString, fLength, other.fString, other.fLength, inDiacritical);
}

CompareResult VString::CompareBeginingToSameKind_Like(const VValue* inValue, bool inDiacritical) const
{
    const VString& other = AsString(inValue);
    return Collate(_CurrentCollator(), true, fString, Shorter(fLength, other.fLength), other.fString,
                   other.fLength, inDiacritical);
}

CompareResult VString::CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), true, fString, fLength, packed.Units(), packed.Length(),
                   inDiacritical);
}

CompareResult VString::Swap_CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), true, packed.Units(), packed.Length(), fString, fLength,
                   inDiacritical);
}

bool VString::EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return CollateEqual(_CurrentCollator(), true, fString, fLength, packed.Units(), packed.Length(),
                        inDiacritical);
}

bool VString::Swap_EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return CollateEqual(_CurrentCollator(), true, packed.Units(), packed.Length(), fString, fLength,
                        inDiacritical);
}

CompareResult VString::CompareBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), true, fString, Shorter(fLength, packed.Length()), packed.Units(),
                   packed.Length(), inDiacritical);
}

CompareResult VString::IsTheBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    StPackedText packed(inData);
    return Collate(_CurrentCollator(), true, fString, fLength, packed.Units(),
                   Shorter(fLength, packed.Length()), inDiacritical);
}

CompareResult VString::CompareToSameKindWithOptions(const VValue* inValue,
                                                    const VCompareOptions& inOptions) const
{
    const VString& other = AsString(inValue);
    int32_t length = inOptions.IsBeginOnly() ? Shorter(fLength, other.fLength) : fLength;
    return Collate(_CollatorOf(inOptions), inOptions.IsLike(), fString, length, other.fString, other.fLength,
                   inOptions.IsDiacritical());
}

bool VString::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const
{
    const VString& other = AsString(inValue);
    return CollateEqual(_CollatorOf(inOptions), inOptions.IsLike(), fString, fLength, other.fString,
                        other.fLength, inOptions.IsDiacritical());
}

CompareResult VString::CompareToSameKindPtrWithOptions(const void* inData,
                                                       const VCompareOptions& inOptions) const
{
    StPackedText packed(inData);
    return CollateWithOptions(_CollatorOf(inOptions), inOptions, fString, fLength, packed.Units(),
                              packed.Length());
}

CompareResult VString::Swap_CompareToSameKindPtrWithOptions(const void* inData,
                                                            const VCompareOptions& inOptions) const
{
    StPackedText packed(inData);
    return CollateWithOptions(_CollatorOf(inOptions), inOptions, packed.Units(), packed.Length(), fString,
                              fLength);
}

bool VString::EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const
{
    StPackedText packed(inData);
    return CollateEqual(_CollatorOf(inOptions), inOptions.IsLike(), fString, fLength, packed.Units(),
                        packed.Length(), inOptions.IsDiacritical());
}

CompareResult VString::CompareTo(const VValueSingle& inValue, bool inDiacritical) const
{
    VStr<255> other;
    inValue.GetString(other);
    return Collate(_CurrentCollator(), false, fString, fLength, other.fString, other.fLength, inDiacritical);
}

bool VString::EqualToString(const VString& inString, bool inDiacritical) const
{
    return CollateEqual(_CurrentCollator(), false, fString, fLength, inString.fString, inString.fLength,
                        inDiacritical);
}

bool VString::EqualToString_Like(const VString& inPattern, bool inDiacritical) const
{
    return CollateEqual(_CurrentCollator(), true, fString, fLength, inPattern.fString, inPattern.fLength,
                        inDiacritical);
}

CompareResult VString::CompareToString(const VString& inString, bool inDiacritical) const
{
    return Collate(_CurrentCollator(), false, fString, fLength, inString.fString, inString.fLength,
                   inDiacritical);
}

CompareResult VString::CompareToString_Like(const VString& inPattern, bool inDiacritical) const
{
    return Collate(_CurrentCollator(), true, fString, fLength, inPattern.fString, inPattern.fLength,
                   inDiacritical);
}

// ---------------------------------------------------------------------------------------------
// Packed strings of the kind descriptor

CompareResult VString_info::CompareTwoPtrToData(const void* inData1, const void* inData2,
                                                bool inDiacritical) const
{
    StPackedText first(inData1);
    StPackedText second(inData2);
    return Collate(VString::_CurrentCollator(), false, first.Units(), first.Length(), second.Units(),
                   second.Length(), inDiacritical);
}

CompareResult VString_info::CompareTwoPtrToDataBegining(const void* inData1, const void* inData2,
                                                        bool inDiacritical) const
{
    StPackedText first(inData1);
    StPackedText second(inData2);
    return Collate(VString::_CurrentCollator(), false, first.Units(),
                   Shorter(first.Length(), second.Length()), second.Units(), second.Length(), inDiacritical);
}

CompareResult VString_info::CompareTwoPtrToData_Like(const void* inData1, const void* inData2,
                                                     bool inDiacritical) const
{
    StPackedText first(inData1);
    StPackedText second(inData2);
    return Collate(VString::_CurrentCollator(), true, first.Units(), first.Length(), second.Units(),
                   second.Length(), inDiacritical);
}

CompareResult VString_info::CompareTwoPtrToDataBegining_Like(const void* inData1, const void* inData2,
                                                             bool inDiacritical) const
{
    StPackedText first(inData1);
    StPackedText second(inData2);
    return Collate(VString::_CurrentCollator(), true, first.Units(), Shorter(first.Length(), second.Length()),
                   second.Units(), second.Length(), inDiacritical);
}

CompareResult VString_info::CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                           const VCompareOptions& inOptions) const
{
    StPackedText first(inData1);
    StPackedText second(inData2);
    return CollateWithOptions(VString::_CollatorOf(inOptions), inOptions, first.Units(), first.Length(),
                              second.Units(), second.Length());
}

// ---------------------------------------------------------------------------------------------
// Raw comparisons

bool VString::EqualToUSASCIICString(const char* inText) const
{
    if (inText == nullptr)
        return fLength == 0;
    int64_t i = 0;
    for (; inText[i] != 0; ++i)
    {
        // The byte is widened as a signed 8-bit value: 0x80 and above never meet a Latin unit.
        if (i >= fLength || fString[i] != UniChar(int16_t(int8_t(inText[i]))))
            return false;
    }
    return i == fLength;
}

bool VString::EqualToStringRaw(const VString& inString) const
{
    return fLength == inString.fLength &&
           (fLength == 0 || std::memcmp(fString, inString.fString, size_t(fLength) * sizeof(UniChar)) == 0);
}

CompareResult VString::CompareToStringRaw(const VString& inString) const
{
    return ToCompareResult(CompareUnits(fString, fLength, inString.fString, inString.fLength, false));
}

CompareResult VString::CompareToStringRawCase(const VString& inString) const
{
    return ToCompareResult(CompareUnits(fString, fLength, inString.fString, inString.fLength, true));
}

bool VString::BeginsWithRawString(const VString& inPrefix) const
{
    return inPrefix.fLength <= fLength &&
           std::memcmp(fString, inPrefix.fString, size_t(inPrefix.fLength) * sizeof(UniChar)) == 0;
}

bool VString::EndsWithRawString(const VString& inSuffix) const
{
    return inSuffix.fLength <= fLength && std::memcmp(fString + fLength - inSuffix.fLength, inSuffix.fString,
                                                      size_t(inSuffix.fLength) * sizeof(UniChar)) == 0;
}

// ---------------------------------------------------------------------------------------------
// Exact search and exchange

int32_t VString::FindRawString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                               int32_t inPatternLength)
{
    inLength = UsableLength(inText, inLength);
    inPatternLength = UsableLength(inPattern, inPatternLength);
    if (inPatternLength == 0)
        return 1;
    RawPattern pattern(inPattern, inPatternLength);
    return pattern.Find(inText, inLength) + 1;
}

int32_t VString::FindRawString(const VString& inPattern, int32_t inStart) const
{
    if (inStart < 1)
        return 0;
    int64_t remaining = int64_t(fLength) - inStart + 1;
    if (remaining < inPattern.fLength)
        return 0;
    int32_t found =
        FindRawString(fString + inStart - 1, int32_t(remaining), inPattern.fString, inPattern.fLength);
    return found == 0 ? 0 : inStart + found - 1;
}

int32_t VString::ExchangeRawString(const VString& inPattern, const VString& inReplacement, int32_t inStart,
                                   int32_t inMaxCount)
{
    if (inPattern.fLength == 0 || inStart < 1 || int64_t(inStart) > int64_t(fLength) + 1 || inMaxCount < 1)
        return 0;
    // The exchange writes this string's units: a pattern or replacement read from them is copied
    // first (a copy that shares the block would see the writes too).
    for (const VString* text : {&inPattern, &inReplacement})
    {
        if (text->fLength > 0 && _PointsIntoBuffer(text->fString))
        {
            VString pattern;
            VString replacement;
            pattern.FromUniString(inPattern.fString, inPattern.fLength);
            replacement.FromUniString(inReplacement.fString, inReplacement.fLength);
            if (pattern.fLength != inPattern.fLength || replacement.fLength != inReplacement.fLength)
                return 0;
            return ExchangeRawString(pattern, replacement, inStart, inMaxCount);
        }
    }
    RawPattern pattern(inPattern.fString, inPattern.fLength);
    int32_t found = pattern.Find(fString + inStart - 1, fLength - inStart + 1);
    if (found < 0)
        return 0;
    int32_t first = inStart - 1 + found;
    if (inReplacement.fLength == inPattern.fLength)
        return _ExchangeRawStringSameSize(inPattern, inReplacement, inStart, inMaxCount, first);
    if (inReplacement.fLength < inPattern.fLength)
        return _ExchangeRawStringShrink(inPattern, inReplacement, inStart, inMaxCount, first);
    return _ExchangeRawStringGrowth(inPattern, inReplacement, inStart, inMaxCount, first);
}

// Each replacement is written over its occurrence; the search goes on after it in text that has
// not been written.
int32_t VString::_ExchangeRawStringSameSize(const VString& inPattern, const VString& inReplacement, int32_t,
                                            int32_t inMaxCount, int32_t inFirst)
{
    if (!_EnsureRoom(fLength, true))
        return 0;
    const int32_t patternLength = inPattern.fLength;
    RawPattern pattern(inPattern.fString, patternLength);
    int32_t count = 0;
    for (int32_t at = inFirst; at >= 0;)
    {
        std::memcpy(fString + at, inReplacement.fString, size_t(patternLength) * sizeof(UniChar));
        if (++count == inMaxCount)
            break;
        int32_t next = pattern.Find(fString + at + patternLength, fLength - at - patternLength);
        at = next < 0 ? -1 : at + patternLength + next;
    }
    _Commit(fLength);
    return count;
}

// One pass: the write position never passes the read position, so the text still to search is
// intact.
int32_t VString::_ExchangeRawStringShrink(const VString& inPattern, const VString& inReplacement, int32_t,
                                          int32_t inMaxCount, int32_t inFirst)
{
    if (!_EnsureRoom(fLength, true))
        return 0;
    const int32_t patternLength = inPattern.fLength;
    const int32_t replacementLength = inReplacement.fLength;
    RawPattern pattern(inPattern.fString, patternLength);
    int32_t read = inFirst;
    int32_t write = inFirst;
    int32_t count = 0;
    for (;;)
    {
        if (replacementLength > 0)
            std::memcpy(fString + write, inReplacement.fString, size_t(replacementLength) * sizeof(UniChar));
        write += replacementLength;
        read += patternLength;
        if (++count == inMaxCount)
            break;
        int32_t gap = pattern.Find(fString + read, fLength - read);
        if (gap < 0)
            break;
        std::memmove(fString + write, fString + read, size_t(gap) * sizeof(UniChar));
        write += gap;
        read += gap;
    }
    std::memmove(fString + write, fString + read, size_t(fLength - read) * sizeof(UniChar));
    _Commit(write + fLength - read);
    return count;
}

// The occurrences are found first, the buffer made large enough once, the text after the first
// occurrence moved right in one move; then each gap comes down from the moved text, followed by
// its replacement. The write position stays behind the moved text still to read.
int32_t VString::_ExchangeRawStringGrowth(const VString& inPattern, const VString& inReplacement, int32_t,
                                          int32_t inMaxCount, int32_t inFirst)
{
    const int32_t patternLength = inPattern.fLength;
    const int32_t replacementLength = inReplacement.fLength;
    RawPattern pattern(inPattern.fString, patternLength);
    PositionList positions;
    for (int32_t at = inFirst; at >= 0 && positions.GetCount() < inMaxCount;)
    {
        if (!positions.Add(at))
            return 0;
        int32_t next = pattern.Find(fString + at + patternLength, fLength - at - patternLength);
        at = next < 0 ? -1 : at + patternLength + next;
    }
    const int32_t count = positions.GetCount();
    const int64_t newLength = int64_t(fLength) + int64_t(count) * (replacementLength - patternLength);
    if (newLength > INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return 0;
    }
    if (!_EnsureRoom(int32_t(newLength), true))
        return 0;
    const int32_t shift = int32_t(newLength) - fLength;
    int32_t previousEnd = inFirst + patternLength;
    std::memmove(fString + previousEnd + shift, fString + previousEnd,
                 size_t(fLength - previousEnd) * sizeof(UniChar));
    std::memcpy(fString + inFirst, inReplacement.fString, size_t(replacementLength) * sizeof(UniChar));
    int32_t write = inFirst + replacementLength;
    for (int32_t i = 1; i < count; ++i)
    {
        int32_t gap = positions[i] - previousEnd;
        std::memmove(fString + write, fString + previousEnd + shift, size_t(gap) * sizeof(UniChar));
        write += gap;
        std::memcpy(fString + write, inReplacement.fString, size_t(replacementLength) * sizeof(UniChar));
        write += replacementLength;
        previousEnd = positions[i] + patternLength;
    }
    std::memmove(fString + write, fString + previousEnd + shift,
                 size_t(fLength - previousEnd) * sizeof(UniChar));
    _Commit(int32_t(newLength));
    return count;
}

// ---------------------------------------------------------------------------------------------
// Slices

// The whole text shares this string's block; a null string gives its text, not its null state.
VString VString::Before(int32_t inPosition) const
{
    VString result;
    if (inPosition > fLength && !IsNull())
        result.FromString(*this);
    else if (inPosition > 1)
        result.FromUniString(fString, inPosition > fLength ? fLength : inPosition - 1);
    return result;
}

VString VString::After(int32_t inPosition) const
{
    VString result;
    const int32_t skipped = inPosition < 0 ? 0 : inPosition;
    if (inPosition < 1 && !IsNull())
        result.FromString(*this);
    else if (skipped < fLength)
        result.FromUniString(fString + skipped, fLength - skipped);
    return result;
}

} // namespace kova
