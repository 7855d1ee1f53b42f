#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/text/CNumberText.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VValueBag.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kova
{

namespace
{

// A shared block of U units holds the text and its terminator in units 0..U-3 and a 32-bit
// reference count at unit index (U - 1) with its lowest bit cleared, that is (maximum length + 2)
// with its lowest bit cleared. Blocks of an odd number of units get one more unit so that the
// count always lies inside the block.
uint32_t* BlockRefCount(const UniChar* inUnits, int32_t inMaxLength)
{
    return reinterpret_cast<uint32_t*>(const_cast<UniChar*>(inUnits) +
                                       ((size_t(inMaxLength) + 2) & ~size_t(1)));
}

uint32_t LoadRefCount(const UniChar* inUnits, int32_t inMaxLength)
{
    return std::atomic_ref<uint32_t>(*BlockRefCount(inUnits, inMaxLength)).load(std::memory_order_seq_cst);
}

void RetainBlock(const UniChar* inUnits, int32_t inMaxLength)
{
    std::atomic_ref<uint32_t>(*BlockRefCount(inUnits, inMaxLength)).fetch_add(1, std::memory_order_seq_cst);
}

// Frees the block with its last reference, and only while the memory manager exists. A count of
// 1 is the caller's own reference: nobody else can take one any more, so the block goes without
// a read-modify-write (which costs as much as the free itself).
void ReleaseBlock(UniChar* inUnits, int32_t inMaxLength)
{
    std::atomic_ref<uint32_t> count(*BlockRefCount(inUnits, inMaxLength));
    if (count.load(std::memory_order_acquire) != 1 && count.fetch_sub(1, std::memory_order_seq_cst) != 1)
        return;
    if (VObject::sCppMemMgr != nullptr)
        VMemory::DisposePtr(inUnits);
}

// A block for a text of up to (inUnits - 3) units, its count set to 1; null when refused.
UniChar* NewBlock(int64_t inUnits, uint32_t inTag)
{
    int64_t allocated = inUnits + (inUnits & 1);
    auto* block = static_cast<UniChar*>(VMemory::NewPtr(size_t(allocated) * sizeof(UniChar), inTag));
    if (block != nullptr)
        *BlockRefCount(block, int32_t(inUnits - 3)) = 1;
    return block;
}

// Blocks made before the memory manager exists are never freed; chaining them to a global keeps
// them reachable for leak checkers.
struct EarlyBlockHeader
{
    EarlyBlockHeader* fPrevious;
    uint64_t fPadding;
};
std::atomic<EarlyBlockHeader*> sEarlyBlocks{nullptr};

UniChar* NewEarlyBlock(int32_t inUnits)
{
    auto* header = static_cast<EarlyBlockHeader*>(
        std::malloc(sizeof(EarlyBlockHeader) + (size_t(inUnits) + 1) * sizeof(UniChar)));
    if (header == nullptr)
        return nullptr;
    header->fPrevious = sEarlyBlocks.load(std::memory_order_relaxed);
    while (!sEarlyBlocks.compare_exchange_weak(header->fPrevious, header, std::memory_order_release,
                                               std::memory_order_relaxed))
    {
    }
    return reinterpret_cast<UniChar*>(header + 1);
}

// The maximum length of a caller's buffer: its size in units less the terminator, never below the
// text it already holds; a size of all ones means exactly the text.
int32_t CallerMaxLength(size_t inSizeInBytes, int32_t inLength)
{
    if (inSizeInBytes == size_t(-1))
        return inLength;
    size_t units = inSizeInBytes / 2;
    int64_t maxLength = units == 0 ? 0 : int64_t(units) - 1;
    if (maxLength > INT32_MAX)
        maxLength = INT32_MAX;
    return int32_t(maxLength < inLength ? inLength : maxLength);
}

// The UTF-16 units of one 32-bit character: a pair above U+FFFF, and U+FFFD for a value beyond
// Unicode, which cut to 16 bits would pass for another character (0x110041 for "A").
int32_t WideCharacterUnits(uint32_t inValue, UniChar outUnits[2])
{
    if (inValue >= 0x110000)
    {
        outUnits[0] = 0xFFFD;
        return 1;
    }
    if (inValue >= 0x10000)
    {
        outUnits[0] = HighSurrogateOf(inValue);
        outUnits[1] = LowSurrogateOf(inValue);
        return 2;
    }
    outUnits[0] = UniChar(inValue);
    return 1;
}

// Blocks of at least this many units are reallocated rather than copied (see _ReallocBuffer).
constexpr int64_t kReallocInPlaceUnits = 512;

template <class Integer>
int32_t FormatDecimalBackwards(Integer inMagnitude, bool inNegative, UniChar* outEnd)
{
    UniChar* cursor = outEnd;
    *--cursor = 0;
    do
    {
        *--cursor = UniChar('0' + int(inMagnitude % 10));
        inMagnitude /= 10;
    } while (inMagnitude != 0);
    if (inNegative)
        *--cursor = u'-';
    return int32_t(outEnd - cursor - 1);
}

} // namespace

// The descriptor first: both are destroyed in the reverse order.
const VString_info VString::sInfo;
const VString VString::sEmpty;

// ---------------------------------------------------------------------------------------------
// Construction

VString::VString(bool inNull) : VString()
{
    if (inNull)
        fFlags |= kFlagNull;
}

VString::VString(UniChar inUnit) : VString()
{
    AppendUniChar(inUnit);
}

VString::VString(const UniChar* inText) : VString()
{
    if (inText != nullptr)
        _CopyUnitsFrom(inText, UniCStringLength(inText));
}

VString::VString(UniChar* inBuffer, size_t inSizeInBytes) : VString()
{
    fString = inBuffer;
    fLength = UniCStringLength(inBuffer);
    fMaxLength = CallerMaxLength(inSizeInBytes, fLength);
    fFlags |= kFlagExternal | kFlagExclusive;
}

VString::VString(UniChar* inBuffer, int32_t inLength, size_t inSizeInBytes) : VString()
{
    if (inBuffer == nullptr)
    {
        fFlags |= kFlagNull;
        return;
    }
    fString = inBuffer;
    fLength = inLength < 0 ? 0 : inLength;
    fMaxLength = CallerMaxLength(inSizeInBytes, fLength);
    fFlags |= kFlagExternal | kFlagExclusive;
}

VString::VString(const wchar_t* inText) : VString()
{
    _DecodeWideText(inText);
}

VString::VString(wchar_t* inText, size_t) : VString()
{
    _DecodeWideText(inText);
}

VString::VString(const char* inText) : VString()
{
    AppendCString(inText);
}

VString::VString(const void* inBytes, size_t inSize, CharSet inCharSet) : VString()
{
    FromBlock(inBytes, inSize, inCharSet);
}

VString::VString(const VString& inOther)
    : VValueSingle(inOther), fString(fEmptyInline), fInlineBuffer(fEmptyInline)
{
    fFlags = uint8_t((inOther.fFlags & kFlagNull) | kFlagDirty);
    if (inOther.IsNull())
        return;
    if (!inOther._IsInline() && (inOther.fFlags & kFlagExclusive) == 0)
    {
        RetainBlock(inOther.fString, inOther.fMaxLength);
        fString = inOther.fString;
        fLength = inOther.fLength;
        fMaxLength = inOther.fMaxLength;
    }
    else
    {
        _CopyUnitsFrom(inOther.fString, inOther.fLength);
    }
}

VString::VString(VString&& inOther) noexcept
    : VValueSingle(inOther), fString(fEmptyInline), fInlineBuffer(fEmptyInline)
{
    fFlags = uint8_t((inOther.fFlags & kFlagNull) | kFlagDirty);
    if (!inOther._IsInline() && (inOther.fFlags & kFlagExternal) == 0)
    {
        fString = inOther.fString;
        fLength = inOther.fLength;
        fMaxLength = inOther.fMaxLength;
        inOther._ResetToInline();
    }
    else
    {
        FromString(inOther);
    }
}

VString::VString(const VInlineString& inRecord) : VString()
{
    if (inRecord.fString == nullptr)
        return;
    RetainBlock(inRecord.fString, inRecord.fMaxLength);
    fString = inRecord.fString;
    fLength = inRecord.fLength;
    fMaxLength = inRecord.fMaxLength;
}

VString::VString(const VInlineString& inRecord, bool) : VString()
{
    if (inRecord.fString == nullptr)
        return;
    fString = inRecord.fString;
    fLength = inRecord.fLength;
    fMaxLength = inRecord.fMaxLength;
    fFlags |= kFlagExternal;
}

VString::VString(InlineBuffer inBuffer, const wchar_t* inText) : VString(inBuffer)
{
    // Marked like a caller's buffer: the text is constant and copies take their own.
    fFlags |= kFlagExternal | kFlagExclusive;
    UniChar* units = inBuffer.fUnits;
    uint32_t length = 0;
    for (const wchar_t* cursor = inText; cursor != nullptr && *cursor != 0; ++cursor)
    {
        UniChar character[2];
        int32_t count = WideCharacterUnits(uint32_t(*cursor), character);
        // A pair is never cut in half: the text stops before a character that does not fit whole.
        if (inBuffer.fCapacity - length < uint32_t(count))
            break;
        for (int32_t i = 0; i < count; ++i)
            units[length++] = character[i];
    }
    units[length] = 0;
    fLength = int32_t(length);
}

VString& VString::operator=(VString&& inOther) noexcept
{
    if (this == &inOther)
        return *this;
    if (!inOther._IsInline() && (inOther.fFlags & kFlagExternal) == 0)
    {
        _ReleaseBuffer();
        fString = inOther.fString;
        fLength = inOther.fLength;
        fMaxLength = inOther.fMaxLength;
        fFlags &= uint8_t(~(kFlagExternal | kFlagExclusive));
        inOther._ResetToInline();
        fFlags = uint8_t((fFlags & ~kFlagNull) | (inOther.fFlags & kFlagNull));
        SetDirty(true);
    }
    else
    {
        FromString(inOther);
    }
    return *this;
}

// The object and its inline units come from one block of the global allocator; the class's own
// operators keep the deallocation unsized, as the block is larger than the class.
void* VString::operator new(size_t size)
{
    return ::operator new(size);
}

void VString::operator delete(void* block)
{
    ::operator delete(block);
}

VString* VString::NewString(int32_t n)
{
    if (n < 0)
        n = 0;
    void* block = ::operator new(sizeof(VString) + (size_t(n) + 1) * sizeof(UniChar), std::nothrow);
    if (block == nullptr)
        return nullptr;
    auto* units = reinterpret_cast<UniChar*>(static_cast<char*>(block) + sizeof(VString));
    return ::new (block) VString(InlineBuffer{units, uint32_t(n)});
}

VOsTypeString::VOsTypeString(OsType inCode) : VString(InlineBuffer{fUnits, 4})
{
    const uint8_t bytes[4] = {uint8_t(inCode >> 24), uint8_t(inCode >> 16), uint8_t(inCode >> 8),
                              uint8_t(inCode)};
    FromBlock(bytes, 4, VTC_UTF_8);
}

// ---------------------------------------------------------------------------------------------
// Buffer management

int64_t VString::ComputeProgressiveResize(int32_t inOldLength, int32_t inNewLength)
{
    if (inNewLength < 6)
        return 8;
    uint32_t extra = 0;
    if (inOldLength != inNewLength && inOldLength != 0)
        extra = (uint32_t(inNewLength) + 1) / 5;
    if (extra > 0xA00000)
        extra = 0xA00000;
    if (extra < 2)
        extra = 2;
    int64_t units = (int64_t(inNewLength) + extra + 8) & ~int64_t(7);
    if (inNewLength < 0x7FFFFFFD && units > 0x80000002)
        units = int64_t(inNewLength) + 3;
    return units < 0x80000003 ? units : 0;
}

bool VString::_ReallocBuffer(int32_t n, bool inKeepText)
{
    int32_t kept = inKeepText ? (fLength < n ? fLength : n) : 0;
    if (kept < 0)
        kept = 0;
    if (n < 0)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return false;
    }
    if (uint32_t(n) <= fInlineCapacity)
    {
        if (!_IsInline())
        {
            std::memmove(fInlineBuffer, fString, size_t(kept) * sizeof(UniChar));
            _ReleaseBuffer();
            fString = fInlineBuffer;
            fString[kept] = 0;
            fMaxLength = int32_t(fInlineCapacity);
        }
        return true;
    }
    if (sCppMemMgr != nullptr)
    {
        int64_t units = ComputeProgressiveResize(fLength, n);
        if (units >= kReallocInPlaceUnits && !_IsInline() &&
            (fFlags & (kFlagExternal | kFlagExclusive)) == 0 && _IsSoleOwner() && kept == fLength)
        {
            // Our own large block with all its text kept: let the allocator grow or shrink it in
            // place. Small blocks are cheaper to copy into a new block: the C library's realloc
            // bypasses its per-thread cache.
            void* grown = VMemory::SetPtrSize(fString, size_t(units + (units & 1)) * sizeof(UniChar));
            if (grown == nullptr)
            {
                _ThrowError(VE_STRING_ALLOC_FAILED);
                return false;
            }
            fString = static_cast<UniChar*>(grown);
            fString[kept] = 0;
            fMaxLength = int32_t(units - 3);
            *BlockRefCount(fString, fMaxLength) = 1;
            return true;
        }
        UniChar* block = units == 0 ? nullptr : NewBlock(units, kMEM_TAG_STRING);
        if (block == nullptr)
        {
            _ThrowError(VE_STRING_ALLOC_FAILED);
            return false;
        }
        std::memcpy(block, fString, size_t(kept) * sizeof(UniChar));
        _ReleaseBuffer();
        fFlags &= uint8_t(~(kFlagExternal | kFlagExclusive));
        fString = block;
        fString[kept] = 0;
        fMaxLength = int32_t(units - 3);
        return true;
    }
    // Static initialisation: no memory manager yet.
    UniChar* block = NewEarlyBlock(n);
    if (block == nullptr)
        return false;
    std::memcpy(block, fString, size_t(kept) * sizeof(UniChar));
    fFlags |= kFlagExternal | kFlagExclusive;
    fString = block;
    fString[kept] = 0;
    fMaxLength = n;
    return true;
}

bool VString::_IsHeldByOthers() const
{
    if (_IsInline() || (fFlags & kFlagExclusive) != 0)
        return false;
    // Units referred to from a record are never written in place.
    if ((fFlags & kFlagExternal) != 0)
        return true;
    return LoadRefCount(fString, fMaxLength) >= 2;
}

bool VString::_EnsureRoom(int32_t n, bool inKeepText)
{
    if (_IsHeldByOthers())
    {
        if (n < 0)
            return false;
        return _ReallocBuffer(inKeepText && fLength > n ? fLength : n, inKeepText);
    }
    if (n >= 0 && n <= fMaxLength)
        return true;
    return _ReallocBuffer(n, inKeepText);
}

bool VString::EnsureSize(int32_t n)
{
    return _EnsureRoom(n, true);
}

void VString::_Commit(int32_t n)
{
    fLength = n;
    fString[n] = 0;
    _MarkChanged();
}

void VString::_ResetToInline()
{
    fString = fInlineBuffer;
    fString[0] = 0;
    fLength = 0;
    fMaxLength = int32_t(fInlineCapacity);
}

void VString::_CopyUnitsFrom(const UniChar* inText, int32_t n)
{
    if (_ReallocBuffer(n, false))
    {
        std::memcpy(fString, inText, size_t(n) * sizeof(UniChar));
        fLength = n;
        fString[n] = 0;
    }
}

bool VString::Validate(int32_t n)
{
    if (n < 0 || n > fMaxLength)
        return false;
    _Commit(n);
    return true;
}

const UniChar* VString::_RetainBuffer() const
{
    if (_IsInline() || IsNull() || (fFlags & kFlagExclusive) != 0)
        return nullptr;
    RetainBlock(fString, fMaxLength);
    return fString;
}

UniChar* VString::_NewBlockWithText(const UniChar* inUnits, int32_t n, uint32_t inTag)
{
    if (n < 0)
        return nullptr;
    UniChar* block = NewBlock(int64_t(n) + 3, inTag);
    if (block == nullptr)
        return nullptr;
    if (n > 0)
        std::memcpy(block, inUnits, size_t(n) * sizeof(UniChar));
    block[n] = 0;
    return block;
}

void VString::_ReleaseBlock(UniChar* inUnits, int32_t inMaxLength)
{
    ReleaseBlock(inUnits, inMaxLength);
}

bool VString::IsStringValid() const
{
    if (!_IsInline() && (fFlags & kFlagExternal) == 0 && sCppMemMgr != nullptr &&
        !sCppMemMgr->CheckPtr(fString))
        return false;
    return fLength < 1 || fString[fLength] == 0;
}

int32_t VString::UniCStringLength(const UniChar* inText)
{
    if (inText == nullptr)
        return 0;
    const UniChar* end = inText;
    while (*end != 0)
        ++end;
    return int32_t(end - inText);
}

UniChar VString::GetUniChar(int32_t inPosition) const
{
    if (IsNull() || inPosition < 1 || inPosition > fLength)
        return 0;
    return fString[inPosition - 1];
}

bool VString::SetUniChar(int32_t inPosition, UniChar inUnit)
{
    if (IsNull() || inPosition < 1 || inPosition > fLength)
        return false;
    if (!_EnsureRoom(fLength, true))
        return false;
    fString[inPosition - 1] = inUnit;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Assignment

void VString::FromString(const VString& inString)
{
    if (inString.IsNull())
    {
        SetNull(true);
        return;
    }
    if (fString == inString.fString)
        return;
    if (!inString._IsInline() && (inString.fFlags & kFlagExclusive) == 0)
    {
        RetainBlock(inString.fString, inString.fMaxLength);
        _ReleaseBuffer();
        fString = inString.fString;
        fLength = inString.fLength;
        fMaxLength = inString.fMaxLength;
        fFlags &= uint8_t(~(kFlagExternal | kFlagExclusive));
        SetNull(false);
        SetDirty(true);
        return;
    }
    FromUniString(inString.fString, inString.fLength);
}

VString& VString::_FromUniString(const UniChar* inText, int32_t n)
{
    if (n < 0)
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return *this;
    }
    if (inText == nullptr)
        n = 0;
    // Text taken from this string's own buffer must survive a reallocation.
    if (n > 0 && _PointsIntoBuffer(inText) && (_IsHeldByOthers() || n > fMaxLength))
    {
        VString owned;
        owned._CopyUnitsFrom(inText, n);
        if (owned.fLength != n)
            return *this;
        return _FromUniString(owned.fString, n);
    }
    if (!_EnsureRoom(n, false))
        return *this;
    if (n > 0)
        std::memmove(fString, inText, size_t(n) * sizeof(UniChar));
    _Commit(n);
    return *this;
}

size_t VString::FromBlock(const void* inBytes, size_t inSize, CharSet inCharSet)
{
    if (inCharSet == VTC_UTF_16)
    {
        size_t units = inSize / 2;
        if (units > size_t(INT32_MAX))
        {
            _ThrowError(VE_STRING_ALLOC_FAILED);
            return 0;
        }
        FromUniString(static_cast<const UniChar*>(inBytes), int32_t(units));
        return inSize;
    }
    _ReleaseBuffer();
    fFlags &= uint8_t(~(kFlagExternal | kFlagExclusive));
    _ResetToInline();
    size_t consumed = _AppendDecoded(inBytes, inSize, inCharSet);
    SetNull(false);
    SetDirty(true);
    return consumed;
}

// ---------------------------------------------------------------------------------------------
// Appending

VString& VString::_AppendUniCharSlow(UniChar inUnit)
{
    return _AppendUniChars(&inUnit, 1);
}

VString& VString::AppendUniCString(const UniChar* inText)
{
    if (inText == nullptr)
    {
        if (_EnsureRoom(fLength, true))
            _Commit(fLength);
        return *this;
    }
    return AppendUniChars(inText, UniCStringLength(inText));
}

VString& VString::AppendCString(const char* inText)
{
    if (inText == nullptr)
        return AppendUniChars(nullptr, 0);
    uint8_t accumulated = 0;
    size_t count = 0;
    for (const char* cursor = inText; *cursor != 0; ++cursor, ++count)
        accumulated |= uint8_t(*cursor);
    if ((accumulated & 0x80) != 0)
    {
        _AppendMacRoman(inText, count);
        return *this;
    }
    if (count > size_t(INT32_MAX - fLength))
    {
        _ThrowError(VE_STRING_ALLOC_FAILED);
        return *this;
    }
    int32_t newLength = fLength + int32_t(count);
    if (!_EnsureRoom(newLength, true))
        return *this;
    UniChar* target = fString + fLength;
    for (size_t i = 0; i < count; ++i)
        target[i] = UniChar(uint8_t(inText[i]));
    _Commit(newLength);
    return *this;
}

VString& VString::AppendBlock(const void* inBytes, size_t inSize, CharSet inCharSet)
{
    if (inCharSet == VTC_UTF_16)
    {
        size_t units = inSize / 2;
        if (units > size_t(INT32_MAX))
        {
            _ThrowError(VE_STRING_ALLOC_FAILED);
            return *this;
        }
        return AppendUniChars(static_cast<const UniChar*>(inBytes), int32_t(units));
    }
    _AppendDecoded(inBytes, inSize, inCharSet);
    if (_EnsureRoom(fLength, true))
        _Commit(fLength);
    return *this;
}

VString& VString::AppendLong(int32_t inValue)
{
    if (inValue == INT32_MIN)
        return AppendCString("-2147483648");
    UniChar digits[16];
    bool negative = inValue < 0;
    int32_t count = FormatDecimalBackwards(uint32_t(negative ? -inValue : inValue), negative, digits + 16);
    return AppendUniChars(digits + 16 - 1 - count, count);
}

VString& VString::AppendLong8(int64_t inValue)
{
    if (inValue == INT64_MIN)
        return AppendCString("-9223372036854775808");
    UniChar digits[24];
    bool negative = inValue < 0;
    int32_t count = FormatDecimalBackwards(uint64_t(negative ? -inValue : inValue), negative, digits + 24);
    return AppendUniChars(digits + 24 - 1 - count, count);
}

VString& VString::AppendULong8(uint64_t inValue)
{
    UniChar digits[24];
    int32_t count = FormatDecimalBackwards(inValue, false, digits + 24);
    return AppendUniChars(digits + 24 - 1 - count, count);
}

VString& VString::AppendReal(double inValue)
{
    char buffer[255];
    WriteCReal(buffer, sizeof(buffer), inValue);
    return AppendCString(buffer);
}

VString& VString::AppendOsType(OsType inCode)
{
    const uint8_t bytes[4] = {uint8_t(inCode >> 24), uint8_t(inCode >> 16), uint8_t(inCode >> 8),
                              uint8_t(inCode)};
    return AppendBlock(bytes, 4, VTC_UTF_8);
}

VString& VString::AppendValue(const VValueSingle& inValue)
{
    VStr<255> text;
    inValue.GetString(text);
    return AppendUniChars(text.GetCPointer(), text.GetLength());
}

// ---------------------------------------------------------------------------------------------
// Value slots

const VValueInfo* VString::GetValueInfo() const
{
    return &sInfo;
}

void VString::FromBoolean(uint8_t inValue)
{
    if (inValue != 0)
        FromUniCString(u"true");
    else
        FromUniCString(u"false");
}

void VString::_EmptyForRewrite()
{
    if (_IsInline() || ((fFlags & kFlagExclusive) != 0 && fMaxLength < 33))
    {
        fLength = 0;
        fString[0] = 0;
    }
    else if (_ReallocBuffer(0, false))
    {
        fLength = 0;
    }
}

void VString::FromByte(int8_t inValue)
{
    FromLong(inValue);
}

void VString::FromWord(int16_t inValue)
{
    FromLong(inValue);
}

void VString::FromLong(int32_t inValue)
{
    _EmptyForRewrite();
    AppendLong(inValue);
}

void VString::FromLong8(int64_t inValue)
{
    _EmptyForRewrite();
    AppendLong8(inValue);
}

// ---------------------------------------------------------------------------------------------
// Placeholders

VString& VString::Format(const VValueBag* inBag, bool inRemoveMissing)
{
    if (inBag == nullptr || inBag->IsEmpty() || fLength < 2)
        return *this;
    // The position of the first unit at or after a 1-based position, or 0.
    auto find = [this](UniChar inUnit, int32_t inFrom) -> int32_t
    {
        for (int32_t i = inFrom - 1; i < fLength; ++i)
        {
            if (fString[i] == inUnit)
                return i + 1;
        }
        return 0;
    };
    VStr<15> name;
    VStr<31> value;
    int32_t position = 1;
    while (position < fLength)
    {
        int32_t open = find(u'{', position);
        if (open == 0)
            break;
        // The unit after position n is fString[n].
        if (open + 1 < fLength && fString[open] == u'{')
        {
            position = open + 2;
            continue;
        }
        int32_t close = find(u'}', open);
        if (close == 0)
            break;
        if (close + 1 < fLength && fString[close] == u'}')
        {
            position = close + 2;
            continue;
        }
        bool hasSpace = false;
        for (int32_t i = open; i < close - 1 && !hasSpace; ++i)
            hasSpace = fString[i] == u' ';
        if (close == open + 1 || hasSpace)
        {
            position = open + 1;
            continue;
        }
        name.FromUniString(fString + open, close - open - 1);
        const VValueSingle* attribute = inBag->GetAttributeValue(StPackedDictionaryKey(name));
        int32_t placeholderLength = close - open + 1;
        int32_t lengthBefore = fLength;
        if (attribute != nullptr)
        {
            attribute->GetString(value);
            Replace(value, open, placeholderLength);
            // A failed replacement leaves the placeholder: step over its brace.
            bool replaced = fLength == lengthBefore - placeholderLength + value.GetLength();
            position = replaced ? open + value.GetLength() : open + 1;
        }
        else if (inRemoveMissing)
        {
            Remove(open, placeholderLength);
            position = fLength == lengthBefore - placeholderLength ? open : open + 1;
        }
        else
        {
            position = open + 1;
        }
    }
    return *this;
}

// ---------------------------------------------------------------------------------------------
// Decoding

// Through the converter cache: its standard 8-bit converter is the built-in Mac Roman one.
void VString::_AppendMacRoman(const char* inText, size_t inSize)
{
    VTextConverters::Get()->GetStdLibToUnicodeConverter()->ConvertLastString(inText, inSize, nullptr, *this);
}

size_t VString::_AppendDecoded(const void* inBytes, size_t inSize, CharSet inCharSet)
{
    VToUnicodeConverter* converter = VTextConverters::Get()->RetainToUnicodeConverter(inCharSet);
    size_t consumed = 0;
    converter->ConvertLastString(inBytes, inSize, &consumed, *this);
    converter->Release();
    return consumed;
}

void VString::_DecodeWideText(const wchar_t* inText)
{
    if (inText == nullptr)
        return;
    for (const wchar_t* cursor = inText; *cursor != 0; ++cursor)
    {
        UniChar character[2];
        AppendUniChars(character, WideCharacterUnits(uint32_t(*cursor), character));
    }
}

// ---------------------------------------------------------------------------------------------
// VInlineString

bool VInlineString::InitWithString(const VString& inString)
{
    const UniChar* units = inString._RetainBuffer();
    if (units != nullptr)
    {
        fString = const_cast<UniChar*>(units);
        fLength = inString.GetLength();
        fMaxLength = inString.GetMaxLength();
        return true;
    }
    int32_t length = inString.GetLength();
    UniChar* block = VString::_NewBlockWithText(inString.GetCPointer(), length, kMEM_TAG_STRING);
    if (block == nullptr)
    {
        *this = VInlineString();
        return false;
    }
    fString = block;
    fLength = length;
    fMaxLength = length;
    return true;
}

void VInlineString::Retain() const
{
    if (fString != nullptr)
        RetainBlock(fString, fMaxLength);
}

void VInlineString::Dispose()
{
    if (fString != nullptr)
        ReleaseBlock(fString, fMaxLength);
    *this = VInlineString();
}

} // namespace kova
