// Editing and searching of VString: in-place edits, exchanges through a collator, searches, the
// similarity measure, case mapping, white space and line ends (on strings and on encoded bytes).
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VCollator.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VMemoryBuffer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace kova
{

namespace
{

constexpr UniChar kCR = 13;
constexpr UniChar kLF = 10;

bool IsConvertingMode(ECarriageReturnMode inMode)
{
    return inMode == eCRM_CRLF || inMode == eCRM_CR || inMode == eCRM_LF;
}

template <class UNIT>
void SwapUnits(void* ioBytes, size_t inCount)
{
    auto* bytes = static_cast<unsigned char*>(ioBytes);
    for (size_t i = 0; i < inCount; ++i, bytes += sizeof(UNIT))
        std::reverse(bytes, bytes + sizeof(UNIT));
}

// Units stored in the other byte order are turned to the processor's for the conversion and back.
template <class UNIT>
bool ConvertUnits(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBytes, ECarriageReturnMode inMode, bool inSwapped)
{
    if (!inSwapped)
        return _ConvertCarriageReturns<UNIT>(ioBytes, inMode);
    SwapUnits<UNIT>(ioBytes.GetDataPtr(), ioBytes.GetDataSize() / sizeof(UNIT));
    bool converted = _ConvertCarriageReturns<UNIT>(ioBytes, inMode);
    SwapUnits<UNIT>(ioBytes.GetDataPtr(), ioBytes.GetDataSize() / sizeof(UNIT));
    return converted;
}

void ChangeCase(VString& ioText, bool inStripDiacritics, bool inUpper)
{
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager(); manager != nullptr)
    {
        manager->ToUpperLowerCase(ioText, inStripDiacritics, inUpper);
        return;
    }
    // Without a manager only the ASCII letters change.
    const UniChar first = inUpper ? u'a' : u'A';
    for (int32_t position = 1; position <= ioText.GetLength(); ++position)
    {
        const UniChar unit = ioText.GetUniChar(position);
        if (unit >= first && unit < first + 26 && !ioText.SetUniChar(position, UniChar(unit ^ 0x20)))
            return;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// In-place edits

void VString::Replace(const VString& inText, int32_t inStart, int32_t inCount)
{
    if (inStart < 1 || inCount < 1 || inStart > fLength)
        return;
    // A text read from this string's own buffer would be overwritten while it is copied.
    if (inText.fLength > 0 && _PointsIntoBuffer(inText.fString))
    {
        VString owned;
        owned._CopyUnitsFrom(inText.fString, inText.fLength);
        if (owned.fLength == inText.fLength)
            Replace(owned, inStart, inCount);
        return;
    }
    const int32_t textLength = inText.fLength;
    const int32_t first = inStart - 1;
    if (int64_t(inStart) + inCount <= fLength)
    {
        int64_t newLength = int64_t(fLength) - inCount + textLength;
        if (newLength > INT32_MAX)
        {
            _ThrowError(VE_STRING_ALLOC_FAILED);
            return;
        }
        if (!_EnsureRoom(int32_t(newLength), true))
            return;
        if (textLength != inCount)
            std::memmove(fString + first + textLength, fString + first + inCount,
                         size_t(fLength - first - inCount) * sizeof(UniChar));
        if (textLength > 0)
            std::memcpy(fString + first, inText.fString, size_t(textLength) * sizeof(UniChar));
        _Commit(int32_t(newLength));
        return;
    }
    if (int64_t(first) + textLength > INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return;
    }
    const int32_t newLength = first + textLength;
    if (!_EnsureRoom(newLength, true))
        return;
    if (textLength > 0)
        std::memcpy(fString + first, inText.fString, size_t(textLength) * sizeof(UniChar));
    _Commit(newLength);
}

void VString::Insert(UniChar inUnit, int32_t inPosition)
{
    if (inUnit == 0 || inPosition < 1)
        return;
    if (inPosition > fLength)
    {
        AppendUniChar(inUnit);
        return;
    }
    if (fLength == INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return;
    }
    if (!_EnsureRoom(fLength + 1, true))
        return;
    std::memmove(fString + inPosition, fString + inPosition - 1,
                 size_t(fLength - inPosition + 1) * sizeof(UniChar));
    fString[inPosition - 1] = inUnit;
    _Commit(fLength + 1);
}

void VString::Insert(const VString& inText, int32_t inPosition)
{
    if (inPosition < 1)
        return;
    if (inPosition > fLength)
    {
        AppendString(inText);
        return;
    }
    if (inText.fLength > 0 && _PointsIntoBuffer(inText.fString))
    {
        VString owned;
        owned._CopyUnitsFrom(inText.fString, inText.fLength);
        if (owned.fLength == inText.fLength)
            Insert(owned, inPosition);
        return;
    }
    const int32_t textLength = inText.fLength;
    if (textLength > INT32_MAX - fLength)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return;
    }
    if (!_EnsureRoom(fLength + textLength, true))
        return;
    std::memmove(fString + inPosition - 1 + textLength, fString + inPosition - 1,
                 size_t(fLength - inPosition + 1) * sizeof(UniChar));
    if (textLength > 0)
        std::memcpy(fString + inPosition - 1, inText.fString, size_t(textLength) * sizeof(UniChar));
    _Commit(fLength + textLength);
}

void VString::Remove(int32_t inStart, int32_t inCount)
{
    if (inStart < 1 || inStart > fLength || inCount < 0)
        return;
    if (!_EnsureRoom(fLength, true))
        return;
    const int32_t first = inStart - 1;
    if (int64_t(inStart) + inCount <= fLength)
    {
        std::memmove(fString + first, fString + first + inCount,
                     size_t(fLength - first - inCount) * sizeof(UniChar));
        _Commit(fLength - inCount);
    }
    else
    {
        _Commit(first);
    }
}

void VString::Truncate(int32_t inLength, bool inKeepSurrogatesWhole)
{
    if (inKeepSurrogatesWhole && inLength >= 1 && inLength <= fLength &&
        IsHighSurrogate(fString[inLength - 1]))
        --inLength;
    if (inLength < 0)
        inLength = 0;
    if (inLength >= fLength)
        return;
    // A buffer only this string writes is cut in place unless it is much larger than the text; a
    // shared block, or units referred to from a record, are left to their other holders.
    const bool inPlace =
        _IsInline() ||
        (((fFlags & kFlagExclusive) != 0 || ((fFlags & kFlagExternal) == 0 && _IsSoleOwner())) &&
         int64_t(fMaxLength) <= int64_t(inLength) + inLength / 8 + 32);
    if (!inPlace && !_ReallocBuffer(inLength, true))
        return;
    _SetLengthOnly(inLength);
}

VString& VString::_AppendUniChars(const UniChar* inUnits, int32_t inCount)
{
    if (inCount < 0 || inUnits == nullptr)
        inCount = 0;
    if (inCount > INT32_MAX - fLength)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return *this;
    }
    const int32_t newLength = fLength + inCount;
    if (_CanWriteInPlace(newLength))
    {
        // Fits: a source inside this buffer is copied with memmove, nothing is reallocated.
        std::memmove(fString + fLength, inUnits, size_t(inCount) * sizeof(UniChar));
        _Commit(newLength);
        return *this;
    }
    // Units taken from this string's own buffer must survive a reallocation.
    if (inCount > 0 && _PointsIntoBuffer(inUnits) && (_IsHeldByOthers() || newLength > fMaxLength))
    {
        VString owned;
        owned._CopyUnitsFrom(inUnits, inCount);
        if (owned.fLength != inCount)
            return *this;
        return AppendUniChars(owned.fString, inCount);
    }
    if (!_EnsureRoom(newLength, true))
        return *this;
    if (inCount > 0)
        std::memcpy(fString + fLength, inUnits, size_t(inCount) * sizeof(UniChar));
    _Commit(newLength);
    return *this;
}

void VString::Swap(VString& ioOther)
{
    if (&ioOther == this)
        return;
    constexpr uint8_t kMarks = kFlagExternal | kFlagExclusive;
    if (_IsInline() && ioOther._IsInline())
    {
        // Each gets room for the longer text (a small inline buffer moves to a block); the flags
        // stay with their strings.
        const int32_t longest = std::max(fLength, ioOther.fLength);
        if (!_EnsureRoom(longest, true) || !ioOther._EnsureRoom(longest, true))
            return;
        std::swap_ranges(fString, fString + longest, ioOther.fString);
        std::swap(fLength, ioOther.fLength);
        fString[fLength] = 0;
        ioOther.fString[ioOther.fLength] = 0;
        return;
    }
    if (_IsInline() || ioOther._IsInline())
    {
        // The inline text is copied into the other string, which hands its buffer over.
        VString& inlineOne = _IsInline() ? *this : ioOther;
        VString& heapOne = _IsInline() ? ioOther : *this;
        UniChar* const block = heapOne.fString;
        const int32_t length = heapOne.fLength;
        const int32_t maxLength = heapOne.fMaxLength;
        const uint8_t marks = heapOne.fFlags & kMarks;
        heapOne.fFlags &= uint8_t(~kMarks);
        heapOne._ResetToInline();
        if (!heapOne._EnsureRoom(inlineOne.fLength, false))
        {
            heapOne.fString = block;
            heapOne.fLength = length;
            heapOne.fMaxLength = maxLength;
            heapOne.fFlags |= marks;
            return;
        }
        std::memcpy(heapOne.fString, inlineOne.fString, size_t(inlineOne.fLength) * sizeof(UniChar));
        heapOne._Commit(inlineOne.fLength);
        inlineOne.fString = block;
        inlineOne.fLength = length;
        inlineOne.fMaxLength = maxLength;
        inlineOne.fFlags = uint8_t((inlineOne.fFlags & ~kMarks) | marks);
        inlineOne._MarkChanged();
        return;
    }
    std::swap(fString, ioOther.fString);
    std::swap(fLength, ioOther.fLength);
    std::swap(fMaxLength, ioOther.fMaxLength);
    const uint8_t marks = fFlags & kMarks;
    fFlags = uint8_t((fFlags & ~kMarks) | (ioOther.fFlags & kMarks));
    ioOther.fFlags = uint8_t((ioOther.fFlags & ~kMarks) | marks);
    _MarkChanged();
    ioOther._MarkChanged();
}

// ---------------------------------------------------------------------------------------------
// Exchanges

void VString::Exchange(const VString& inPattern, const VString& inReplacement, int32_t inStart,
                       int32_t inMaxCount, bool inDiacritical, const VCollator* inCollator)
{
    if (inMaxCount < 1 || inStart < 1 || int64_t(inStart) > int64_t(fLength) + 1)
        return;
    const VCollator& collator = inCollator != nullptr ? *inCollator : _CurrentCollator();
    // The 0-based start and the length of the next match at or after inFrom; false when none.
    int32_t at = 0;
    int32_t matched = 0;
    auto findFrom = [&](int32_t inFrom)
    {
        int32_t position = collator.FindString(fString + inFrom, fLength - inFrom, inPattern.fString,
                                               inPattern.fLength, inDiacritical, &matched);
        if (position < 1 || matched < 1 || position > fLength - inFrom)
            return false;
        at = inFrom + position - 1;
        matched = std::min(matched, fLength - at);
        return true;
    };
    if (!findFrom(inStart - 1))
        return;
    // The new text is built apart: this string (which may be the pattern or the replacement)
    // stays as it was until the end, and whenever some text cannot be appended.
    VString result;
    if (!result._EnsureRoom(fLength, false))
        return;
    auto append = [&result](const UniChar* inUnits, int32_t inCount)
    {
        const int32_t before = result.fLength;
        result.AppendUniChars(inUnits, inCount);
        return result.fLength - before == inCount;
    };
    int32_t cursor = 0;
    int32_t count = 0;
    do
    {
        if (!append(fString + cursor, at - cursor) || !append(inReplacement.fString, inReplacement.fLength))
            return;
        cursor = at + matched;
    } while (++count < inMaxCount && cursor < fLength && findFrom(cursor));
    if (!append(fString + cursor, fLength - cursor))
        return;
    FromString(result);
    _MarkChanged();
}

void VString::Exchange(UniChar inFrom, UniChar inTo, int32_t inStart, int32_t inMaxCount)
{
    if (IsNull() || fLength == 0 || inMaxCount < 1 || inStart < 1)
        return;
    int32_t count = 0;
    bool writable = false;
    for (int32_t i = inStart - 1; i < fLength && count < inMaxCount; ++i)
    {
        if (fString[i] != inFrom)
            continue;
        if (!writable)
        {
            if (!_EnsureRoom(fLength, true))
                return;
            writable = true;
        }
        fString[i] = inTo;
        ++count;
    }
}

// ---------------------------------------------------------------------------------------------
// Searches

int32_t VString::Find(const VString& inPattern, int32_t inStart, bool inDiacritical) const
{
    if (inStart < 1 || int64_t(inStart) > int64_t(fLength) + 1)
        return 0;
    int32_t found =
        _CurrentCollator().FindString(fString + inStart - 1, fLength - inStart + 1, inPattern.fString,
                                      inPattern.fLength, inDiacritical, nullptr);
    return found > 0 ? inStart + found - 1 : 0;
}

// The prefix may match more units than it has under the collation: 16 units beyond its length
// are offered to it.
bool VString::BeginsWith(const VString& inPrefix, bool inDiacritical) const
{
    const int32_t offered = int32_t(std::min<int64_t>(int64_t(inPrefix.fLength) + 16, fLength));
    return _CurrentCollator().BeginsWithString(fString, offered, inPrefix.fString, inPrefix.fLength,
                                               inDiacritical, nullptr);
}

bool VString::EndsWith(const VString& inSuffix, bool inDiacritical) const
{
    return _CurrentCollator().EndsWithString(fString, fLength, inSuffix.fString, inSuffix.fLength,
                                             inDiacritical, nullptr);
}

int32_t VString::FindUniChar(UniChar inUnit, int32_t inStart, bool inBackwards) const
{
    if (fLength == 0 || inStart > fLength)
        return 0;
    const int32_t from = std::max(inStart, 1);
    if (inBackwards)
    {
        for (int32_t position = from; position >= 1; --position)
        {
            if (fString[position - 1] == inUnit)
                return position;
        }
        return 0;
    }
    for (int32_t position = from; position <= fLength; ++position)
    {
        if (fString[position - 1] == inUnit)
            return position;
    }
    return 0;
}

// The longest common subsequence, row by row over the shorter text (the length is the same
// either way); only two rows are kept.
double VString::SimilarToString(const VString& inString) const
{
    if (fLength == 0 || inString.fLength == 0)
        return 0.0;
    const VString& across = fLength < inString.fLength ? *this : inString;
    const VString& down = fLength < inString.fLength ? inString : *this;
    const size_t width = size_t(across.fLength) + 1;
    auto* rows = static_cast<uint32_t*>(std::calloc(2 * width, sizeof(uint32_t)));
    if (rows == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return 0.0;
    }
    uint32_t* previous = rows;
    uint32_t* current = rows + width;
    for (int32_t i = 0; i < down.fLength; ++i)
    {
        const UniChar unit = down.fString[i];
        for (size_t j = 1; j < width; ++j)
            current[j] =
                across.fString[j - 1] == unit ? previous[j - 1] + 1 : std::max(previous[j], current[j - 1]);
        std::swap(previous, current);
    }
    const uint32_t common = previous[width - 1];
    std::free(rows);
    return double(float(common)) / double(fLength);
}

// ---------------------------------------------------------------------------------------------
// Case and normalization

void VString::ToUpperCase(bool inStripDiacritics)
{
    ChangeCase(*this, inStripDiacritics, true);
}

void VString::ToLowerCase(bool inStripDiacritics)
{
    ChangeCase(*this, inStripDiacritics, false);
}

void VString::Decompose()
{
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager(); manager != nullptr)
        manager->NormalizeString(*this, eDecomposeNormalization);
}

void VString::Compose()
{
    if (const VIntlMgr* manager = VTask::GetCurrentIntlManager(); manager != nullptr)
        manager->NormalizeString(*this, eComposeNormalization);
}

// ---------------------------------------------------------------------------------------------
// White space

void VString::RemoveWhiteSpaces(bool inLeading, bool inTrailing, int32_t* outLeadingCount,
                                int32_t* outTrailingCount, const VIntlMgr* inIntlMgr, bool inSpaceOption)
{
    auto isWhite = [&](UniChar inUnit)
    {
        return inIntlMgr != nullptr ? inIntlMgr->IsSpace(inUnit, inSpaceOption)
                                    : inUnit == u' ' || inUnit == u'\t';
    };
    // The counts say what was removed: nothing when the room to write could not be had.
    int32_t leading = 0;
    int32_t trailing = 0;
    if (inLeading)
    {
        int32_t count = 0;
        while (count < fLength && isWhite(fString[count]))
            ++count;
        const int32_t before = fLength;
        if (count > 0)
            Remove(1, count);
        leading = before - fLength;
    }
    if (inTrailing)
    {
        int32_t count = 0;
        while (count < fLength && isWhite(fString[fLength - 1 - count]))
            ++count;
        const int32_t before = fLength;
        if (count > 0)
            Truncate(fLength - count, true);
        trailing = fLength < before ? count : 0;
    }
    if (outLeadingCount != nullptr)
        *outLeadingCount = leading;
    if (outTrailingCount != nullptr)
        *outTrailingCount = trailing;
}

// ---------------------------------------------------------------------------------------------
// Line ends

ECarriageReturnMode VString::GetCarriageReturnMode(ECarriageReturnMode inDefaultMode) const
{
    for (int32_t i = 0; i < fLength; ++i)
    {
        if (fString[i] == kLF)
            return eCRM_LF;
        if (fString[i] == kCR)
            return i + 1 < fLength && fString[i + 1] == kLF ? eCRM_CRLF : eCRM_CR;
    }
    return inDefaultMode;
}

bool VString::ConvertCarriageReturns(ECarriageReturnMode inMode)
{
    if (!IsConvertingMode(inMode) ||
        std::none_of(fString, fString + fLength, [](UniChar unit) { return unit == kCR || unit == kLF; }))
        return true;
    // The room is made before any unit changes: a failure leaves the text as it was.
    size_t needed = size_t(fLength);
    if (inMode == eCRM_CRLF)
        _ConvertCarriageReturns(fString, size_t(fLength), size_t(fLength), inMode, &needed);
    if (needed > size_t(INT32_MAX))
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    if (!_EnsureRoom(int32_t(needed), true))
        return false;
    _SetLengthOnly(
        int32_t(_ConvertCarriageReturns(fString, size_t(fLength), size_t(fMaxLength), inMode, nullptr)));
    return true;
}

bool VString::ConvertCarriageReturns(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBytes, CharSet inCharSet,
                                     ECarriageReturnMode inMode)
{
    constexpr bool kLittleEndian = std::endian::native == std::endian::little;
    switch (inCharSet)
    {
    case VTC_UNKNOWN:
        return true;
    case VTC_UTF_16:
        return ConvertUnits<UniChar>(ioBytes, inMode, false);
    case VTC_UTF_16_BIGENDIAN:
        return ConvertUnits<UniChar>(ioBytes, inMode, kLittleEndian);
    case VTC_UTF_32:
    case VTC_UTF_32_RAW:
        return ConvertUnits<uint32_t>(ioBytes, inMode, false);
    case VTC_UTF_32_BIGENDIAN:
        return ConvertUnits<uint32_t>(ioBytes, inMode, kLittleEndian);
    case VTC_UTF_32_RAW_SWAPPED:
        return ConvertUnits<uint32_t>(ioBytes, inMode, true);
    default:
        return ConvertUnits<uint8_t>(ioBytes, inMode, false);
    }
}

template <class UNIT>
size_t _ConvertCarriageReturns(UNIT* ioUnits, size_t inCount, size_t inCapacity, ECarriageReturnMode inMode,
                               size_t* outNeeded)
{
    const UNIT cr = UNIT(kCR);
    const UNIT lf = UNIT(kLF);
    if (outNeeded != nullptr)
        *outNeeded = inCount;
    if (inCount == 0 || ioUnits == nullptr || !IsConvertingMode(inMode))
        return inCount;
    if (inMode != eCRM_CRLF)
    {
        // Every line end becomes one unit; the write position never passes the read position.
        const UNIT end = inMode == eCRM_CR ? cr : lf;
        size_t write = 0;
        for (size_t read = 0; read < inCount; ++read)
        {
            const UNIT unit = ioUnits[read];
            if (unit == cr && read + 1 < inCount && ioUnits[read + 1] == lf)
                ++read;
            ioUnits[write++] = unit == cr || unit == lf ? end : unit;
        }
        return write;
    }
    size_t lone = 0;
    for (size_t i = 0; i < inCount; ++i)
    {
        if ((ioUnits[i] == cr && (i + 1 == inCount || ioUnits[i + 1] != lf)) ||
            (ioUnits[i] == lf && (i == 0 || ioUnits[i - 1] != cr)))
            ++lone;
    }
    if (outNeeded != nullptr)
        *outNeeded = inCount + lone;
    const size_t room = inCapacity > inCount ? inCapacity - inCount : 0;
    const size_t converted = std::min(lone, room);
    if (converted == 0)
        return inCount;
    // From the end: the lone line ends are met from the last one, and only the first
    // `converted` of the text are expanded. The unit after the one read is kept aside, since its
    // place may already have been written.
    size_t ordinal = lone;
    size_t write = inCount + converted;
    UNIT after = 0;
    for (size_t read = inCount; read-- > 0 && write > read + 1;)
    {
        const UNIT unit = ioUnits[read];
        const bool isLone = (unit == cr && (read + 1 == inCount || after != lf)) ||
                            (unit == lf && (read == 0 || ioUnits[read - 1] != cr));
        if (isLone && ordinal-- <= converted)
        {
            ioUnits[--write] = lf;
            ioUnits[--write] = cr;
        }
        else
        {
            ioUnits[--write] = unit;
        }
        after = unit;
    }
    return inCount + converted;
}

template <class UNIT>
bool _ConvertCarriageReturns(VMemoryBuffer<1024ul, 2ul, 1048576ul>& ioBytes, ECarriageReturnMode inMode)
{
    const size_t count = ioBytes.GetDataSize() / sizeof(UNIT);
    const size_t tail = ioBytes.GetDataSize() % sizeof(UNIT);
    if (count == 0 || !IsConvertingMode(inMode))
        return true;
    size_t needed = count;
    if (inMode == eCRM_CRLF)
    {
        // Counted first, so that a buffer that cannot grow is left unconverted.
        _ConvertCarriageReturns(static_cast<UNIT*>(ioBytes.GetDataPtr()), count, count, inMode, &needed);
        if (needed > (SIZE_MAX - tail) / sizeof(UNIT))
            return false;
        const size_t neededBytes = needed * sizeof(UNIT) + tail;
        if (neededBytes > ioBytes.GetAllocatedSize() && !ioBytes.ResizeExactly(neededBytes))
            return false;
    }
    auto* units = static_cast<UNIT*>(ioBytes.GetDataPtr());
    // A last, incomplete unit follows the converted units.
    unsigned char tailBytes[sizeof(UNIT)];
    std::memcpy(tailBytes, units + count, tail);
    const size_t capacity = (ioBytes.GetAllocatedSize() - tail) / sizeof(UNIT);
    const size_t newCount = _ConvertCarriageReturns(units, count, capacity, inMode, nullptr);
    std::memcpy(units + newCount, tailBytes, tail);
    ioBytes.SetDataSize(newCount * sizeof(UNIT) + tail);
    return true;
}

template size_t _ConvertCarriageReturns<char>(char*, size_t, size_t, ECarriageReturnMode, size_t*);
template size_t _ConvertCarriageReturns<uint8_t>(uint8_t*, size_t, size_t, ECarriageReturnMode, size_t*);
template size_t _ConvertCarriageReturns<UniChar>(UniChar*, size_t, size_t, ECarriageReturnMode, size_t*);
template size_t _ConvertCarriageReturns<uint32_t>(uint32_t*, size_t, size_t, ECarriageReturnMode, size_t*);
template bool _ConvertCarriageReturns<char>(VMemoryBuffer<1024ul, 2ul, 1048576ul>&, ECarriageReturnMode);
template bool _ConvertCarriageReturns<uint8_t>(VMemoryBuffer<1024ul, 2ul, 1048576ul>&, ECarriageReturnMode);
template bool _ConvertCarriageReturns<UniChar>(VMemoryBuffer<1024ul, 2ul, 1048576ul>&, ECarriageReturnMode);
template bool _ConvertCarriageReturns<uint32_t>(VMemoryBuffer<1024ul, 2ul, 1048576ul>&, ECarriageReturnMode);

} // namespace kova
