// Sub-strings, splitting, joining and trimming of VString.
#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VCollator.h"
#include "kernel/values/VArrayString.h"

#include <cstring>
#include <vector>

namespace kova
{

namespace
{

constexpr UniChar kSpace = 32;

// The pieces are written into a slot of the output first and dropped when they are not kept, so
// that each piece takes one buffer.
void KeepOrDrop(std::vector<VString>& ioPieces, bool inTrim, bool inKeepEmpty)
{
    VString& piece = ioPieces.back();
    if (inTrim)
        piece.TrimeSpaces();
    if (piece.IsEmpty() && !inKeepEmpty)
        ioPieces.pop_back();
}

} // namespace

void VString::GetSubString(int32_t inStart, int32_t inCount, VString& outString) const
{
    if (inCount == 0 && int64_t(inStart) <= int64_t(fLength) + 1)
    {
        outString.Clear();
        return;
    }
    if (inCount < 0 || inStart < 1 || inStart > fLength)
    {
        outString.Clear();
        return;
    }
    const int32_t available = fLength - inStart + 1;
    // FromUniString copies first when outString is this string and its buffer must change.
    outString.FromUniString(fString + inStart - 1, inCount < available ? inCount : available);
}

// A range out of bounds is not trusted to the caller: it clears the text as GetSubString would.
void VString::SubString(int32_t inStart, int32_t inCount)
{
    GetSubString(inStart, inCount, *this);
}

VString& VString::TrimeSpaces()
{
    if (fLength == 0)
        return *this;
    int32_t leading = 0;
    while (leading < fLength && fString[leading] == kSpace)
        ++leading;
    if (leading == fLength)
    {
        Clear();
        return *this;
    }
    int32_t trailing = 0;
    while (fString[fLength - 1 - trailing] == kSpace)
        ++trailing;
    if (leading != 0 || trailing != 0)
        SubString(leading + 1, fLength - leading - trailing);
    return *this;
}

bool VString::GetSubStrings(UniChar inSeparator, std::vector<VString>& outStrings, bool inKeepEmpty,
                            bool inTrim) const
{
    outStrings.clear();
    if (fLength == 0)
    {
        if (inKeepEmpty)
            outStrings.push_back(*this);
        return false;
    }
    bool found = false;
    int32_t position = 1;
    for (;;)
    {
        const int32_t separator = FindUniChar(inSeparator, position);
        const int32_t end = separator != 0 ? separator : fLength + 1;
        outStrings.emplace_back();
        GetSubString(position, end - position, outStrings.back());
        KeepOrDrop(outStrings, inTrim, inKeepEmpty);
        if (separator == 0)
            break;
        found = true;
        if (separator == fLength)
        {
            // A separator at the end closes one more, empty, piece.
            if (inKeepEmpty)
                outStrings.emplace_back();
            break;
        }
        position = separator + 1;
    }
    return found;
}

bool VString::GetSubStrings(UniChar inSeparator, VArrayString& outStrings, bool inKeepEmpty,
                            bool inTrim) const
{
    std::vector<VString> pieces;
    const bool found = GetSubStrings(inSeparator, pieces, inKeepEmpty, inTrim);
    outStrings.Destroy();
    for (const VString& piece : pieces)
    {
        const int32_t count = outStrings.GetCount();
        if (outStrings.AppendString(piece) == count)
        {
            // An array missing pieces would pass for a shorter text.
            outStrings.Destroy();
            _ThrowError(VE_MEMORY_FULL);
            return false;
        }
    }
    return found;
}

bool VString::GetSubStrings(const VString& inSeparator, std::vector<VString>& outStrings, bool inKeepEmpty,
                            bool inTrim, bool inDiacritical) const
{
    outStrings.clear();
    if (fLength == 0)
        return false;
    if (inSeparator.fLength == 0)
    {
        outStrings.push_back(*this);
        return false;
    }
    const VCollator& collator = _CurrentCollator();
    bool found = false;
    // Units before the cursor are consumed.
    int32_t cursor = 0;
    for (;;)
    {
        int32_t matched = 0;
        const int32_t relative = collator.FindString(fString + cursor, fLength - cursor, inSeparator.fString,
                                                     inSeparator.fLength, inDiacritical, &matched);
        const bool hit = relative > 0 && matched > 0;
        int64_t match = int64_t(fLength) + 1;
        int64_t length = inSeparator.fLength;
        if (hit)
        {
            found = true;
            match = int64_t(cursor) + relative;
            // A match never reaches past the text, whatever the collator reports.
            length = matched < fLength - match + 1 ? matched : fLength - match + 1;
        }
        if (match - 1 > cursor)
        {
            outStrings.emplace_back();
            GetSubString(cursor + 1, int32_t(match - 1 - cursor), outStrings.back());
            KeepOrDrop(outStrings, inTrim, inKeepEmpty);
        }
        else if (inKeepEmpty)
        {
            outStrings.emplace_back();
        }
        if (!hit)
            break;
        if (match + length - 1 == fLength && inKeepEmpty)
            outStrings.emplace_back();
        if (match + length > fLength)
            break;
        cursor = int32_t(match + length - 1);
    }
    return found;
}

bool VString::Join(const std::vector<VString>& inParts, UniChar inSeparator)
{
    VStr<4> separator;
    separator.AppendUniChar(inSeparator);
    return Join(inParts, separator);
}

bool VString::Join(const std::vector<VString>& inParts, const VString& inSeparator)
{
    if (inParts.empty())
    {
        Clear();
        return true;
    }
    // The total is summed in 64 bits and the sum stops once it is too long.
    int64_t total = 0;
    if (inSeparator.fLength > 0)
    {
        total = inParts.size() - 1 >= size_t(INT32_MAX) ? int64_t(INT32_MAX)
                                                        : int64_t(inParts.size() - 1) * inSeparator.fLength;
    }
    bool aliased = &inSeparator == this || _PointsIntoBuffer(inSeparator.fString);
    for (size_t i = 0; i < inParts.size() && total < INT32_MAX; ++i)
    {
        total += inParts[i].fLength;
        aliased = aliased || &inParts[i] == this || _PointsIntoBuffer(inParts[i].fString);
    }
    if (total >= INT32_MAX)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    if (aliased)
    {
        // This text is also a source: it is written only once the result is whole.
        VString joined;
        if (!joined.Join(inParts, inSeparator))
            return false;
        FromString(joined);
        return true;
    }
    if (!_EnsureRoom(int32_t(total), false))
        return false;
    UniChar* cursor = fString;
    for (size_t i = 0; i < inParts.size(); ++i)
    {
        if (i != 0 && inSeparator.fLength > 0)
        {
            std::memcpy(cursor, inSeparator.fString, size_t(inSeparator.fLength) * sizeof(UniChar));
            cursor += inSeparator.fLength;
        }
        if (inParts[i].fLength > 0)
        {
            std::memcpy(cursor, inParts[i].fString, size_t(inParts[i].fLength) * sizeof(UniChar));
            cursor += inParts[i].fLength;
        }
    }
    _Commit(int32_t(total));
    return true;
}

VString operator+(const VString& a, const VString& b)
{
    VString result(a);
    result.AppendString(b);
    return result;
}

} // namespace kova
