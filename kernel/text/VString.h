// VString is the toolbox's one text type: a mutable sequence of UTF-16 code units with a length,
// a null state and a buffer. It is also the value of kind 10, so a string stands wherever a
// VValueSingle stands.
//
// Implicit sharing. A string holds its units in one of these buffers:
// - inline: units inside the object (VStr<N> holds N of them; a plain VString none);
// - a shared block from the memory manager, with a reference count stored inside the block after
//   the terminator. Copies and FromString share the block; the first write to a block that
//   others hold gives the writer a block of its own (copy-on-write);
// - an early block taken from the C library before the memory manager exists (never freed);
// - a caller's buffer, written in place while the text fits;
// - the units of a VInlineString record, only read.
// Only a shared block is ever released by a string. Writes go through one room rule: a buffer
// held by others is replaced first, a buffer too small is reallocated by the growth policy, and
// a failed allocation raises kova error 107 and leaves the text unchanged.
//
// Positions are 1-based; lengths are signed 32-bit counts of UTF-16 units; the unit at index
// length is always 0.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kova
{

class VArrayString;
class VString;
class VValueBag;
class VJSONObject;
class VJSONValue;

// Comparison, exact search and editing
class VCollator;
class VIntlMgr;
// Conversions: the platform string and the byte buffer that they fill.
namespace cf
{
struct String;
}
template <unsigned long kGranule, unsigned long kGrowthDivisor, unsigned long kMaxStep>
class VMemoryBuffer;

// A plain record that holds one reference of a shared string block (JSON string payloads keep
// their text this way). No virtual table; copying the record does not count a reference.
struct VInlineString
{
    int32_t fLength = 0;
    UniChar* fString = nullptr;
    int32_t fMaxLength = 0;

    // Takes a reference of the string's block, copying the text into a new block when the string
    // has none to share. False (and an empty record) when no block can be had.
    bool InitWithString(const VString& inString);
    // One more reference of the record's block, for a copy of the record that keeps its own.
    void Retain() const;
    // Drops the record's reference; the block is freed with its last one.
    void Dispose();
};

// The descriptor of kind 10. A packed string is an unsigned 32-bit count n in the processor's
// byte order followed by n UTF-16 units, no terminator.
class VString_info : public VValueInfo
{
public:
    VString_info() : VValueInfo(VK_STRING, VK_STRING) {}

    VValue* Generate() const override;
    VValue* Generate(VBlob* inBlob) const override;
    // Empty when the room cannot be made.
    VValue* LoadFromPtr(const void* inData, bool inFlag) const override;
    void* ByteSwapPtr(void* ioData, bool inFromNative) const override;
    size_t GetSizeOfValueDataPtr(const void* inData) const override;
    size_t GetAvgSpace() const override;

    // Comparison, exact search and editing: packed strings collated by the calling task's
    // international manager. The beginning forms cut the first text to the shorter length; the
    // options form cuts both when the options ask for the beginning.
    CompareResult CompareTwoPtrToData(const void* inData1, const void* inData2,
                                      bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataBegining(const void* inData1, const void* inData2,
                                              bool inDiacritical) const override;
    CompareResult CompareTwoPtrToData_Like(const void* inData1, const void* inData2,
                                           bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataBegining_Like(const void* inData1, const void* inData2,
                                                   bool inDiacritical) const override;
    CompareResult CompareTwoPtrToDataWithOptions(const void* inData1, const void* inData2,
                                                 const VCompareOptions& inOptions) const override;
};

class VString : public VValueSingle
{
public:
    // Buffer marks kept in the value's flags byte.
    static constexpr uint8_t kFlagExternal = 0x10;  // not owned: never freed nor released
    static constexpr uint8_t kFlagExclusive = 0x40; // no reference count: never shared

    VString() : fString(fEmptyInline), fInlineBuffer(fEmptyInline) {}
    explicit VString(bool inNull);
    explicit VString(UniChar inUnit);
    VString(const UniChar* inText);
    // Over a caller's zero-terminated buffer of inSizeInBytes bytes, without copying. A size of
    // all ones means "exactly the text's length".
    VString(UniChar* inBuffer, size_t inSizeInBytes);
    // Over a caller's buffer holding inLength units; a null buffer gives a null, empty string.
    VString(UniChar* inBuffer, int32_t inLength, size_t inSizeInBytes);
    // Zero-terminated UTF-32 text in the processor's byte order.
    VString(const wchar_t* inText);
    VString(wchar_t* inText, size_t inSize);
    // A C string: ASCII, or Mac Roman when any byte is 0x80 or more (UTF-8 goes through an
    // explicit character set).
    VString(const char* inText);
    VString(const void* inBytes, size_t inSize, CharSet inCharSet);
    VString(const VString& inOther);
    VString(VString&& inOther) noexcept;
    // Shares the record's block (one more reference).
    explicit VString(const VInlineString& inRecord);
    // Refers to the record's units without a reference: only read it while the record lives.
    VString(const VInlineString& inRecord, bool inReferOnly);
    ~VString() override { _ReleaseBuffer(); }

    VString& operator=(const VString& inOther)
    {
        FromString(inOther);
        return *this;
    }
    VString& operator=(VString&& inOther) noexcept;

    // A plain string whose inline buffer holds n units, allocated in one block; delete it.
    static VString* NewString(int32_t n);
    static void* operator new(size_t size);
    static void operator delete(void* block);

    int32_t GetLength() const { return fLength; }
    bool IsEmpty() const { return fLength == 0; }
    const UniChar* GetCPointer() const { return fString; }
    int32_t GetMaxLength() const { return fMaxLength; }
    uint32_t GetInlineCapacity() const { return fInlineCapacity; }

    // Buffer management.
    bool _ReallocBuffer(int32_t n, bool inKeepText);
    // Units to allocate for a text of inNewLength units grown from inOldLength; 0 when too long.
    static int64_t ComputeProgressiveResize(int32_t inOldLength, int32_t inNewLength);
    // Room for n units in a buffer held only by this string, the text kept.
    bool EnsureSize(int32_t n);
    // The writable units; valid after EnsureSize until the next change of the string.
    UniChar* GetCPointerForWrite() { return fString; }
    // After units were written directly: sets the length (false when above the maximum length).
    bool Validate(int32_t n);
    // Adds a reference to the shared block and returns its units; null when there is none.
    const UniChar* _RetainBuffer() const;
    void _ReleaseBuffer()
    {
        if (!_IsInline() && (fFlags & kFlagExternal) == 0)
            _ReleaseBlock(fString, fMaxLength);
    }
    bool IsStringValid() const;
    static int32_t UniCStringLength(const UniChar* inText);

    UniChar GetUniChar(int32_t inPosition) const;
    bool SetUniChar(int32_t inPosition, UniChar inUnit);

    // Assignment.
    void FromString(const VString& inString) override;
    void GetString(VString& outString) const override { outString.FromString(*this); }
    VString& FromUniString(const UniChar* inText, int32_t n)
    {
        const uint8_t flags = fFlags;
        // Text that fits a buffer only this string writes is written in place (moved: it may come
        // from the buffer itself).
        if (n > 0 && n <= fMaxLength && inText != nullptr && _IsWritable(flags))
        {
            std::memmove(fString, inText, size_t(n) * sizeof(UniChar));
            fLength = n;
            fString[n] = 0;
            _MarkChanged(flags);
            return *this;
        }
        return _FromUniString(inText, n);
    }
    VString& FromUniCString(const UniChar* inText) { return FromUniString(inText, UniCStringLength(inText)); }
    size_t FromBlock(const void* inBytes, size_t inSize, CharSet inCharSet);

    // Appending. The common case, room in a buffer that only this string writes, is inline; the
    // rest (growth, copy-on-write, the null and dirty hooks) goes through the room rule.
    VString& AppendUniChar(UniChar inUnit)
    {
        const int32_t length = fLength;
        const uint8_t flags = fFlags;
        if (length < fMaxLength && _IsWritable(flags))
        {
            UniChar* units = fString;
            units[length] = inUnit;
            units[length + 1] = 0;
            fLength = length + 1;
            _MarkChanged(flags);
            return *this;
        }
        return _AppendUniCharSlow(inUnit);
    }
    VString& AppendUniCString(const UniChar* inText);
    VString& AppendUniChars(const UniChar* inUnits, int32_t inCount)
    {
        const int32_t length = fLength;
        const uint8_t flags = fFlags;
        if (inCount > 0 && inCount <= fMaxLength - length && inUnits != nullptr && _IsWritable(flags))
        {
            // memmove: the units may come from this string's own buffer.
            std::memmove(fString + length, inUnits, size_t(inCount) * sizeof(UniChar));
            fLength = length + inCount;
            fString[length + inCount] = 0;
            _MarkChanged(flags);
            return *this;
        }
        return _AppendUniChars(inUnits, inCount);
    }
    VString& AppendString(const VString& inString)
    {
        return AppendUniChars(inString.fString, inString.fLength);
    }
    VString& AppendCString(const char* inText);
    VString& AppendBlock(const void* inBytes, size_t inSize, CharSet inCharSet);
    VString& AppendLong(int32_t inValue);
    VString& AppendLong8(int64_t inValue);
    VString& AppendULong8(uint64_t inValue);
    VString& AppendReal(double inValue);
    VString& AppendOsType(OsType inCode);
    VString& AppendValue(const VValueSingle& inValue);

    // Replaces each "{name}" by the text of the bag's attribute of that name. With
    // inRemoveMissing a placeholder naming no attribute is removed, otherwise it stays. "{{" and
    // a "}}" that is not the string's end are passed over with both braces; "{}" and names
    // holding a space are no placeholders; an inserted value is not scanned again. Nothing
    // happens for a null or empty bag.
    VString& Format(const VValueBag* inBag, bool inRemoveMissing);

    // Gives the buffer back (a caller's buffer is left alone) and returns to the empty inline
    // buffer; not null, dirty.
    void Clear() override;
    VValue* Clone() const override { return new VString(*this); }

    // Value slots.
    const VValueInfo* GetValueInfo() const override;
    // "true" or "false".
    void FromBoolean(uint8_t inValue) override;
    // Decimal text.
    void FromByte(int8_t inValue) override;
    void FromWord(int16_t inValue) override;
    void FromLong(int32_t inValue) override;
    void FromLong8(int64_t inValue) override;
    // The other kinds read and write texts themselves: a target reads this text (its
    // FromString), a source writes its text here (its GetString).
    void GetValue(VValueSingle& outValue) const override { outValue.FromString(*this); }
    void GetVUUID(VUUID& outUUID) const override;
    void GetTime(VTime& outTime) const override;
    void GetDuration(VDuration& outDuration) const override;
    void FromValue(const VValueSingle& inValue) override { inValue.GetString(*this); }
    void FromVUUID(const VUUID& inUUID) override;
    void FromTime(const VTime& inTime) override;
    void FromDuration(const VDuration& inDuration) override;

    // Packed form: see VString_info. WriteToPtr with a limit writes only the units that fit.
    const void* LoadFromPtr(const void* inData, bool inFlag) override;
    void* WriteToPtr(void* outData, bool inFlag, size_t inMax) const override;
    size_t GetSpace(uint64_t& ioOutsideSpace, size_t inMax) const override;

    // Stream form, in the stream's byte order: a signed 32-bit -n (0 for the empty text), then
    // the n units. An older form is still read: n, a version of 1 or 2, then n + 1 units (the
    // last a 0). A count beyond the stream's remaining bytes reads what is there and leaves the
    // stream's end-of-data error, without asking room for the whole count.
    VError ReadFromStream(VStream* ioStream, int32_t inParam) override;
    VError WriteToStream(VStream* ioStream, int32_t inParam) const override;
    // 4 for the empty text, else 2 × n + 10.
    size_t GetSizeInStream() const;

    // Value slots, hashing and buffer sharing
    // Equality of the texts through the current task's international manager (with a pattern for
    // the _Like form); the other value is a string.
    bool EqualToSameKind(const VValue* inValue, bool inDiacritical) const override;
    bool EqualToSameKind_Like(const VValue* inValue, bool inDiacritical) const override;
    // FromString of the other string; false when it is no string.
    bool FromValueSameKind(const VValue* inValue) override;
    // A string made null gives its buffer back and is left empty.
    void DoNullChanged() override;
    // The units, as many as fit in ioSize - 2 bytes; answers UTF-16.
    CharSet DebugDump(char* outBuffer, int& ioSize) const override;
    using VObject::DebugDump;
    // Reads at most 16 units: all of a text of up to 16, else the first 8 and the last 8.
    uint32_t GetHashValue() const;
    // A shared block holding the text, with one reference for the caller, who releases it by the
    // block rule (JSON string values keep their text so). The string's own block when it can be
    // shared, else a copy tagged 'strX' whose maximum length is the length. Null, with both
    // outputs 0, for an empty or null string or when the copy cannot be made.
    UniChar* RetainBuffer(int32_t* outLength, int32_t* outMaxLength) const;
    // Clear without touching the null and dirty flags: the buffer is given back and the string
    // returns to its empty inline buffer.
    void _Clear();
    // A block of the string layout holding a copy of n units and the terminator, its maximum
    // length n and its count 1; null when refused.
    static UniChar* _NewBlockWithText(const UniChar* inUnits, int32_t n, uint32_t inTag);

    static const VString_info sInfo;

    static const VString sEmpty;

    // Comparison, exact search and editing.
    //
    // Collated comparisons go through the calling task's international manager (or the one of the
    // compare options) and its collator; inDiacritical true weighs case and diacritics. Without
    // any manager (before start-up or after shut-down) texts compare unit by unit. A null string
    // compares as its text. In the _Like forms the other text is a pattern whose wildcard ("@"
    // by default) matches any run of characters. The beginning forms cut this text to the
    // shorter length (this begins with the other when they compare equal); the IsTheBegining
    // forms cut the other one.
    CompareResult CompareToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareBeginingToSameKind(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult Swap_CompareToSameKindPtr(const void* inData, bool inDiacritical) const override;
    bool EqualToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult CompareBeginingToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult IsTheBeginingToSameKindPtr(const void* inData, bool inDiacritical) const override;
    CompareResult CompareToSameKind_Like(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareBeginingToSameKind_Like(const VValue* inValue, bool inDiacritical) const override;
    CompareResult CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const override;
    CompareResult Swap_CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const override;
    bool EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const override;
    bool Swap_EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const override;
    CompareResult CompareBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const override;
    CompareResult IsTheBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const override;
    CompareResult CompareToSameKindWithOptions(const VValue* inValue,
                                               const VCompareOptions& inOptions) const override;
    // The beginning option is not used by the equality forms.
    bool EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const override;
    CompareResult CompareToSameKindPtrWithOptions(const void* inData,
                                                  const VCompareOptions& inOptions) const override;
    CompareResult Swap_CompareToSameKindPtrWithOptions(const void* inData,
                                                       const VCompareOptions& inOptions) const override;
    bool EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const override;
    // This text against the value's text.
    CompareResult CompareTo(const VValueSingle& inValue, bool inDiacritical) const override;
    bool EqualToString(const VString& inString, bool inDiacritical = false) const;
    bool EqualToString_Like(const VString& inPattern, bool inDiacritical = false) const;
    CompareResult CompareToString(const VString& inString, bool inDiacritical = false) const;
    CompareResult CompareToString_Like(const VString& inPattern, bool inDiacritical = false) const;

    // Raw comparisons: the units themselves, as unsigned 16-bit numbers.
    // Each byte of the C string (a null pointer counts as empty) against one unit, the lengths
    // equal; a byte of 0x80 or more stands for the unit 0xFF80 or more, so only ASCII matches.
    bool EqualToUSASCIICString(const char* inText) const;
    bool EqualToStringRaw(const VString& inString) const;
    CompareResult CompareToStringRaw(const VString& inString) const;
    // The same with "A" to "Z" taken as "a" to "z" (no other case folding).
    CompareResult CompareToStringRawCase(const VString& inString) const;
    bool BeginsWithRawString(const VString& inPrefix) const;
    bool EndsWithRawString(const VString& inSuffix) const;

    // Exact search (Knuth-Morris-Pratt): the position of the first occurrence at or after
    // inStart, 0 when there is none or inStart is below 1. An empty pattern is found at inStart.
    int32_t FindRawString(const VString& inPattern, int32_t inStart = 1) const;
    static int32_t FindRawString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                 int32_t inPatternLength);
    // Replaces at most inMaxCount occurrences at or after inStart, left to right without overlap
    // (a replacement is never searched again); returns the number replaced. An empty pattern or a
    // start outside 1..length+1 replaces nothing; a failed allocation leaves the text unchanged.
    int32_t ExchangeRawString(const VString& inPattern, const VString& inReplacement, int32_t inStart = 1,
                              int32_t inMaxCount = INT32_MAX);
    // The units before the position (all of them past the end) and after it (all of them before
    // the start), as plain strings, not null.
    VString Before(int32_t inPosition) const;
    VString After(int32_t inPosition) const;

    // Editing. Positions out of range are ignored; a failed allocation leaves the text unchanged.
    // Replace, Insert, Remove, AppendUniChars and the pattern Exchange leave the string not null
    // and dirty; Truncate, the unit Exchange and ConvertCarriageReturns change neither flag.
    // Replaces the units inStart..inStart+inCount-1; a range reaching past the end replaces the
    // whole tail.
    void Replace(const VString& inText, int32_t inStart, int32_t inCount);
    // Before the position; past the end, appended. The unit 0 is never inserted.
    void Insert(UniChar inUnit, int32_t inPosition);
    void Insert(const VString& inText, int32_t inPosition);
    // Removes the units inStart..inStart+inCount-1, or the whole tail when the range reaches past
    // the end. A count of 0 changes no unit but marks the string changed.
    void Remove(int32_t inStart, int32_t inCount);
    // Keeps the first inLength units (a negative length counts as 0); with inKeepSurrogatesWhole
    // a high surrogate left last goes too. A block much larger than the text is given back.
    void Truncate(int32_t inLength, bool inKeepSurrogatesWhole = false);
    // Exchanges the texts. Two strings on their inline buffers keep their flags; otherwise the
    // heap blocks change hands and both end not null and dirty.
    void Swap(VString& ioOther);
    // Replaces at most inMaxCount matches of the pattern found by the collator (the calling
    // task's when null) from inStart on; the units before inStart stay. A match may be longer or
    // shorter than the pattern under the collation.
    void Exchange(const VString& inPattern, const VString& inReplacement, int32_t inStart = 1,
                  int32_t inMaxCount = INT32_MAX, bool inDiacritical = false,
                  const VCollator* inCollator = nullptr);
    // Replaces the first inMaxCount units inFrom at or after inStart by inTo.
    void Exchange(UniChar inFrom, UniChar inTo, int32_t inStart = 1, int32_t inMaxCount = INT32_MAX);

    // Searches through the calling task's collator. Find gives the position of the first match at
    // or after inStart, 0 when there is none or inStart lies outside 1..length+1.
    int32_t Find(const VString& inPattern, int32_t inStart = 1, bool inDiacritical = false) const;
    bool BeginsWith(const VString& inPrefix, bool inDiacritical = false) const;
    bool EndsWith(const VString& inSuffix, bool inDiacritical = false) const;
    // The position of the unit from inStart forwards, or backwards towards 1; 0 when not found.
    int32_t FindUniChar(UniChar inUnit, int32_t inStart = 1, bool inBackwards = false) const;
    // The length of the longest common subsequence of units divided by this string's length:
    // 1.0 for equal texts, 0.0 when either is empty. Not symmetric.
    double SimilarToString(const VString& inString) const;

    // Case mapping by the calling task's international manager (ASCII only without one); the
    // argument is not used.
    void ToUpperCase(bool inStripDiacritics = false);
    void ToLowerCase(bool inStripDiacritics = false);
    // Unicode normalization requests; they change nothing on this system.
    void Decompose();
    void Compose();
    // Strips white space at the chosen ends: space and tab, or the manager's spaces (IsSpace)
    // when one is given. The counts removed are stored when asked for (0 for an end not asked).
    // Cutting the end also drops a high surrogate left last, which the count does not include.
    void RemoveWhiteSpaces(bool inLeading = true, bool inTrailing = true, int32_t* outLeadingCount = nullptr,
                           int32_t* outTrailingCount = nullptr, const VIntlMgr* inIntlMgr = nullptr,
                           bool inSpaceOption = false);

    // Line ends. A lone CR is a 13 not followed by 10; a lone LF a 10 not preceded by 13; a CR LF
    // pair is one line end. The first line end decides the mode; a text without one gives
    // inDefaultMode.
    ECarriageReturnMode GetCarriageReturnMode(ECarriageReturnMode inDefaultMode) const;
    // Every line end becomes the mode's (eCRM_NONE keeps them). False, the text unchanged, when
    // the room for the longer text cannot be had.
    bool ConvertCarriageReturns(ECarriageReturnMode inMode);
    // The same inside encoded bytes: UTF-16 and UTF-32 forms by their units in either byte order,
    // every other set byte by byte; VTC_UNKNOWN is left alone. A trailing part of a unit stays
    // last. False, nothing converted, when the buffer cannot grow.
    static bool ConvertCarriageReturns(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBytes, CharSet inCharSet,
                                       ECarriageReturnMode inMode);

private:
    friend class VString_info;

    // The calling task's collator; without an international manager, one that compares and
    // finds units exactly.
    static const VCollator& _CurrentCollator();
    // The collator of the options' manager, else the calling task's.
    static const VCollator& _CollatorOf(const VCompareOptions& inOptions);
    // The strategies of ExchangeRawString, by the lengths of the pattern and its replacement;
    // inFirst is the 0-based index of the first occurrence in the whole text.
    int32_t _ExchangeRawStringSameSize(const VString& inPattern, const VString& inReplacement,
                                       int32_t inStart, int32_t inMaxCount, int32_t inFirst);
    int32_t _ExchangeRawStringShrink(const VString& inPattern, const VString& inReplacement, int32_t inStart,
                                     int32_t inMaxCount, int32_t inFirst);
    int32_t _ExchangeRawStringGrowth(const VString& inPattern, const VString& inReplacement, int32_t inStart,
                                     int32_t inMaxCount, int32_t inFirst);
    // Whether the units lie in this string's buffer, so that writing it would change them.
    bool _PointsIntoBuffer(const UniChar* inUnits) const
    {
        auto address = reinterpret_cast<uintptr_t>(inUnits);
        auto start = reinterpret_cast<uintptr_t>(fString);
        return address >= start && address <= start + size_t(fMaxLength) * sizeof(UniChar);
    }
    // Sets the length without touching the null and dirty flags (Truncate, line ends).
    void _SetLengthOnly(int32_t n)
    {
        fLength = n;
        fString[n] = 0;
    }

public:
    // ----- Sub-strings, splitting, joining and trimming
    // The units inStart..inStart+inCount-1 into outString, the count cut at the end of the text.
    // A count of 0 with a start up to length + 1 gives the empty text; a negative count or a
    // start outside 1..length clears outString. outString may be this string.
    void GetSubString(int32_t inStart, int32_t inCount, VString& outString) const;
    // Keeps that range in place, with the same rules as GetSubString.
    void SubString(int32_t inStart, int32_t inCount);
    // Splits at every inSeparator. Empty pieces are kept only with inKeepEmpty (an empty text
    // then gives one empty piece, a separator at the end one more); with inTrim each piece loses
    // its leading and trailing spaces first. True when a separator was found.
    bool GetSubStrings(UniChar inSeparator, std::vector<VString>& outStrings, bool inKeepEmpty = false,
                       bool inTrim = false) const;
    bool GetSubStrings(UniChar inSeparator, VArrayString& outStrings, bool inKeepEmpty = false,
                       bool inTrim = false) const;
    // Splits at every match of inSeparator found by the calling task's collator (a match may be
    // longer or shorter than the separator). An empty text gives no piece; an empty separator
    // gives the whole text. True when the separator matched.
    bool GetSubStrings(const VString& inSeparator, std::vector<VString>& outStrings, bool inKeepEmpty = false,
                       bool inTrim = false, bool inDiacritical = false) const;
    // The parts with the separator between each two; an empty list gives the empty text. A
    // result of 2^31 - 1 units or more raises kova 107: false, the text unchanged.
    bool Join(const std::vector<VString>& inParts, UniChar inSeparator);
    bool Join(const std::vector<VString>& inParts, const VString& inSeparator);
    // Removes the leading and trailing spaces (the unit 32 only; tabs and line ends stay).
    VString& TrimeSpaces();

    // ----- XML character escaping and Base64
    // Replaces & < > " ' by their entity references; with inEscapeControls also the controls
    // but tab, LF and CR (and 127), as "&#x" and two or more upper-case hexadecimal digits. A text
    // that needs nothing is left untouched, flags included.
    void TranscodeToXML(bool inEscapeControls = false);
    // Restores "&amp;", "&gt;", "&quot;", "&lt;", "&apos;" and "&#x" hexadecimal references (the
    // low 16 bits of the value; 0 is left as it stands), in one pass; anything else stays.
    void TranscodeFromXML();
    // The text escaped without controls; the options are not used.
    void GetXMLString(VString& outString, uint32_t inOptions) const override;
    // The text unescaped; always true.
    bool FromXMLString(const VString& inString) override;
    // The text becomes the Base64 form of the bytes (URL alphabet with inURL); false, the text
    // unchanged, when they cannot be encoded.
    bool EncodeBase64(const void* inBytes, size_t inSize, bool inURL = false);
    // The text becomes the Base64 form of its own bytes in inCharSet; an empty text stays.
    bool EncodeBase64(CharSet inCharSet, bool inURL = false);
    // Decodes the text into bytes; a unit of 128 or more raises kova 210. The string is unchanged.
    bool DecodeBase64(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outBytes, bool inURL = false) const;
    // The text becomes the decoded bytes read in inCharSet; an empty text stays.
    bool DecodeBase64(CharSet inCharSet, bool inURL = false);

public:
    // ----- Conversions to and from numbers, booleans, codes, bytes and platform strings
    // Reading is lenient. An integer is made of every digit of the text up to the first unit of
    // the current task's decimal separator; a '-' met before any non-zero digit makes it negative
    // and every other unit counts for nothing ("-12abc3" is -123, "1-2" is 12). A number too large
    // for the result gives 0. A real is the C library's reading of the start of the text with '.'
    // as the decimal point, whatever the locale; text that is no number gives 0. Writing is fixed:
    // decimal integers, reals as "%.14G", "true" and "false", upper-case hexadecimal.
    //
    // True only for the text "true", compared through the current task's collator.
    uint8_t GetBoolean() const override;
    int16_t GetWord() const override;
    int32_t GetLong() const override;
    int64_t GetLong8() const override;
    double GetReal() const override;
    // outOverflow, when given, tells whether the number was out of the range of a double (the
    // result is then 0 or an infinity).
    double GetRealCheckOverflow(bool* outOverflow) const;
    // The UTF-8 bytes of the text, most significant first, padded with spaces to four.
    OsType GetOsType() const;
    // Every hexadecimal digit of the text, anything else skipped ("0x1f" is 31, "12 34" 0x1234);
    // 0 when there are more significant digits than 64 bits hold.
    uint64_t GetHexLong() const;

    void FromReal(double inValue) override;
    void FromULong8(uint64_t inValue);
    // The one unit; 0 empties the text.
    void FromUniChar(UniChar inUnit);
    // Shares the record's block (one more reference); a record without a block gives the empty
    // text.
    void FromString(const VInlineString& inRecord);
    void FromOsType(OsType inCode);
    // Upper-case hexadecimal digits without leading zeros. Prefixed: "0x" and the digits padded
    // with zeros to 4, 8 or 16 digits (2 for the 8-bit forms). Negative values give their two's
    // complement bits. The text is cleared when the room cannot be had.
    void FromHexLong(uint64_t inValue, bool inPrefixed = false);
    void FromHexLong(int64_t inValue, bool inPrefixed = false);
    void FromHexLong(uint32_t inValue, bool inPrefixed = false);
    void FromHexLong(int32_t inValue, bool inPrefixed = false);
    void FromHexLong(unsigned char inValue, bool inPrefixed = false);
    void FromHexLong(char inValue, bool inPrefixed = false);
    // ASCII, or UTF-8 when any byte is 0x80 or more.
    void FromCString(const char* inText);
    // Decodes the bytes in the set of their byte-order mark (skipped), else in inDefault; returns
    // the set used.
    CharSet FromBlockWithOptionalBOM(const void* inBytes, size_t inSize, CharSet inDefault);
    // Encodes the text into at most inSize bytes, after a length byte when inLengthPrefix (a
    // 16-bit unit for UTF-16) and followed by a zero byte (unit) when inZeroTerminate. Returns the
    // bytes of encoded text, prefix and zero not counted. A length that the prefix cannot hold
    // (256 bytes, or 65536 units) makes both the prefix and the result 0.
    size_t ToBlock(void* outBuffer, size_t inSize, CharSet inCharSet, bool inZeroTerminate,
                   bool inLengthPrefix) const;
    // Replaces the buffer's bytes by the encoded text; false when the set has no encoder or the
    // encoding failed.
    bool ToBuffer(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outBytes, CharSet inCharSet) const;
    // A new platform string with this text, one reference for the caller; null when it cannot be
    // made.
    cf::String* MAC_RetainCFStringCopy() const;
    // Takes the platform string's text; a null string changes nothing.
    void MAC_FromCFString(const cf::String* inString);

    // ----- JSON forms, names and templates
    // The text as the body of a JSON string literal. Option 1 puts the quotation marks around it;
    // option 16 copies the units as they are; otherwise '"', '\\', the controls, DEL and lone
    // surrogates are escaped (\b \t \n \f \r, else \u and four upper-case digits, which keeps a
    // lone surrogate through UTF-8), and with option 0x400 '&' and "'" too. Kova 107 when the
    // escaped text could not fit a string; the output then keeps its text.
    VError GetJSONString(VString& outJSONString, uint32_t inOptions) const override;
    // Decodes the escapes of a string literal's body (option 16: the text as it is).
    VError FromJSONString(const VString& inJSONString, uint32_t inOptions) override;
    // A null string is JSON null, any other a JSON string.
    VError GetJSONValue(VJSONValue& outJSONValue, uint32_t inOptions) const override;
    // JSON null makes the string null; any other value gives its text.
    VError FromJSONValue(const VJSONValue& inJSONValue) override;
    // The escaping of GetJSONString into room for 6 units a unit and two quotes; returns the units
    // written.
    static int32_t WriteJSONEscaped(const UniChar* inUnits, int32_t inLength, uint32_t inOptions,
                                    UniChar* outUnits);
    // The text as an identifier: ASCII letters, digits, '_' and '$' kept, a '_' before a leading
    // digit.
    void GetCleanJSName(VString& outName) const;
    // YYYY-MM-DD, by shape only.
    bool IsISODate() const;
    // !!YYYY-MM-DD!!, by shape only.
    bool IsNonAmbigousDate() const;
    // The template with each "{{path}}" replaced by the text of the object's property at that
    // path (nothing for a missing, null or undefined one).
    void FormatWithTemplate(const VJSONObject* inValues, VString& outText) const;

    // ----- printf-style formatting
    // The C library's directives, plus three that insert the text of objects, each taking a
    // pointer: %A a VValueSingle (its GetString), %S a VString, %V any VObject (its DebugDump).
    // They are recognised only right after the '%'. A null object gives "@@invalid VObject@@",
    // another class "@@invalid VValueSingle@@" or "@@invalid VString@@". The C library's output is
    // ASCII, or read as Mac Roman when it holds a byte of 0x80 or more. %n writes nothing. Nothing
    // is cut; an output too long for a string raises kova 107 and leaves the text unchanged.
    // Printf and VPrintf replace the text; AppendPrintf appends to it.
    void Printf(const char* inFormat, ...);
    void VPrintf(const char* inFormat, va_list inArguments);
    VString& AppendPrintf(const char* inFormat, ...);
    void _Printf(const char* inFormat, va_list inArguments);

protected:
    // The inline buffer of a derived class: fCapacity units and a terminator, inside the object.
    struct InlineBuffer
    {
        UniChar* fUnits;
        uint32_t fCapacity;
    };
    explicit VString(InlineBuffer inBuffer)
        : fString(inBuffer.fUnits), fMaxLength(int32_t(inBuffer.fCapacity)),
          fInlineCapacity(inBuffer.fCapacity), fInlineBuffer(inBuffer.fUnits)
    {
        fString[0] = 0;
    }
    // FromString for a derived class's own assignments: a source on its inline or exclusive
    // buffer is copied here without a call.
    void _AssignString(const VString& inOther)
    {
        if (!inOther.IsNull() && fString != inOther.fString &&
            (inOther._IsInline() || (inOther.fFlags & kFlagExclusive) != 0))
            FromUniString(inOther.fString, inOther.fLength);
        else
            VString::FromString(inOther);
    }
    // Copies at most the buffer's capacity of 32-bit text into the inline buffer.
    VString(InlineBuffer inBuffer, const wchar_t* inText);

private:
    bool _IsInline() const { return fString == fInlineBuffer; }
    // The flags are passed in, read before any unit is written: a unit written through a pointer
    // could be the flags' byte as far as the compiler knows, which would make it read them again.
    bool _IsWritable(uint8_t inFlags) const
    {
        // A block of the string layout first: the usual case of a growing string.
        if ((inFlags & (kFlagExclusive | kFlagExternal)) == 0)
            return _IsInline() || _IsSoleOwner();
        return _IsInline() || (inFlags & kFlagExclusive) != 0;
    }
    // True when n units fit a buffer that only this string writes (the common appending case).
    bool _CanWriteInPlace(int32_t n) const { return n <= fMaxLength && n >= 0 && _IsWritable(fFlags); }
    bool _IsSoleOwner() const
    {
        // The block's reference count lies after the terminator (see VString.cpp).
        auto* count = reinterpret_cast<uint32_t*>(fString + ((size_t(fMaxLength) + 2) & ~size_t(1)));
        return std::atomic_ref<uint32_t>(*count).load(std::memory_order_acquire) == 1;
    }
    // Not null and dirty, calling the hooks only when a flag changes; inFlags as read before the
    // change.
    void _MarkChanged(uint8_t inFlags)
    {
        if ((inFlags & (kFlagNull | kFlagDirty)) != kFlagDirty)
        {
            SetNull(false);
            SetDirty(true);
        }
    }
    void _MarkChanged() { _MarkChanged(fFlags); }
    bool _IsHeldByOthers() const;
    bool _EnsureRoom(int32_t n, bool inKeepText);
    // Empties the text before a number is written into it, keeping only a small buffer.
    void _EmptyForRewrite();
    // Reads inUnits units (inKeep of them kept) into a buffer of its own; see ReadFromStream.
    void _ReadUnits(VStream* ioStream, int64_t inUnits, int64_t inKeep);
    VString& _AppendUniChars(const UniChar* inUnits, int32_t inCount);
    VString& _FromUniString(const UniChar* inText, int32_t n);
    VString& _AppendUniCharSlow(UniChar inUnit);
    // The release rule for a shared block: one reference less, the block freed with the last.
    static void _ReleaseBlock(UniChar* inUnits, int32_t inMaxLength);
    void _Commit(int32_t n);
    void _ResetToInline();
    void _CopyUnitsFrom(const UniChar* inText, int32_t n);
    void _AppendMacRoman(const char* inText, size_t inSize);
    // Appends the bytes decoded by the set's converter; returns the bytes it consumed.
    size_t _AppendDecoded(const void* inBytes, size_t inSize, CharSet inCharSet);
    void _DecodeWideText(const wchar_t* inText);

    UniChar* fString;
    int32_t fLength = 0;
    int32_t fMaxLength = 0;
    uint32_t fInlineCapacity = 0;
    UniChar* fInlineBuffer;
    UniChar fEmptyInline[1] = {0};
};

// A string whose inline buffer holds N units, so that text up to N units needs no allocation.
template <int N>
class VStr : public VString
{
public:
    VStr() : VString(InlineBuffer{fUnits, N}) {}
    VStr(const VStr& inOther) : VString(InlineBuffer{fUnits, N}) { _AssignString(inOther); }
    VStr(const VString& inOther) : VString(InlineBuffer{fUnits, N}) { _AssignString(inOther); }
    VStr(const UniChar* inText) : VString(InlineBuffer{fUnits, N}) { FromUniCString(inText); }
    VStr(const char* inText) : VString(InlineBuffer{fUnits, N}) { AppendCString(inText); }
    VStr& operator=(const VStr& inOther)
    {
        _AssignString(inOther);
        return *this;
    }
    VStr& operator=(const VString& inOther)
    {
        _AssignString(inOther);
        return *this;
    }

private:
    UniChar fUnits[N + 1];
};

using VStr4 = VStr<4>;
using VStr15 = VStr<15>;
using VStr31 = VStr<31>;
using VStr50 = VStr<50>;
using VStr63 = VStr<63>;
using VStr80 = VStr<80>;
using VStr100 = VStr<100>;
using VStr255 = VStr<255>;
using VStr1000 = VStr<1000>;

// A new string: a's text followed by b's.
VString operator+(const VString& a, const VString& b);

// A four-character code as text, most significant byte first ('kova' reads "kova").
class VOsTypeString : public VString
{
public:
    explicit VOsTypeString(OsType inCode);

private:
    UniChar fUnits[5];
};

// Comparison, exact search and editing: the line-end conversion over units of 1, 2 or 4 bytes
// (uint8_t, UniChar, uint32_t). The core converts in place within inCapacity units and returns
// the new count; *outNeeded receives the count the whole conversion needs. Towards CR LF, only
// the first lone line ends that fit are converted: a caller that grows the units to the needed
// count and runs the core again converts the rest. eCRM_NONE and unknown modes change nothing.
template <class UNIT>
size_t _ConvertCarriageReturns(UNIT* ioUnits, size_t inCount, size_t inCapacity, ECarriageReturnMode inMode,
                               size_t* outNeeded);
// The core over a growable buffer of such units, growing it when needed; false, nothing
// converted, when it cannot grow. Bytes after the last whole unit stay last.
template <class UNIT>
bool _ConvertCarriageReturns(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBytes, ECarriageReturnMode inMode);

// Hexadecimal text of unsigned 64-, 32- and 8-bit values into the string, as FromHexLong writes it.
template <class UNSIGNED>
void StringFromHexLong(VString& outText, UNSIGNED inValue, bool inPrefixed);

} // namespace kova
