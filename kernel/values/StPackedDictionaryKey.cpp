#include "kernel/values/StPackedDictionaryKey.h"

#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"

#include <cstring>
#include <new>
#include <utility>

namespace kova
{

namespace
{

// The owned buffer of a converted name: the longest name and its terminator.
constexpr size_t kConvertBufferSize = StPackedDictionaryKey::kMaxKeyLength + 1;

} // namespace

uint32_t StPackedDictionaryKey::GetHashCode(const char* inText, size_t inLength)
{
    if (inLength == 0)
        return 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(inText);
    uint32_t hash = uint32_t(inLength);
    if (inLength <= 16)
    {
        for (size_t i = 0; i < inLength; ++i)
            hash = hash * 257u + bytes[i];
    }
    else
    {
        for (size_t i = 0; i < 8; ++i)
            hash = hash * 257u + bytes[i];
        for (size_t i = inLength - 8; i < inLength; ++i)
            hash = hash * 257u + bytes[i];
    }
    return hash;
}

StPackedDictionaryKey::StPackedDictionaryKey(const wchar_t* inText)
{
    VString text(inText);
    _FromUTF16(text);
}

StPackedDictionaryKey::StPackedDictionaryKey(const VString& inText)
{
    _FromUTF16(inText);
}

StPackedDictionaryKey::StPackedDictionaryKey(const char* inText, size_t inLength)
{
    if (inLength > kMaxKeyLength || (inText == nullptr && inLength != 0))
    {
        _SetInvalid();
        return;
    }
    // The terminator is ours: the caller's text need not have one.
    fOwned = new (std::nothrow) char[inLength + 1];
    if (fOwned == nullptr)
    {
        _SetInvalid();
        return;
    }
    if (inLength != 0)
        std::memcpy(fOwned, inText, inLength);
    fOwned[inLength] = 0;
    fKey = fOwned;
    fLength = inLength;
    fHash = GetHashCode(fKey, fLength);
}

StPackedDictionaryKey::StPackedDictionaryKey(const char* inText)
{
    size_t length = inText == nullptr ? 0 : std::strlen(inText);
    if (length > kMaxKeyLength)
    {
        _SetInvalid();
        return;
    }
    if (inText != nullptr)
        fKey = inText;
    fLength = length;
    fHash = GetHashCode(fKey, fLength);
}

StPackedDictionaryKey StPackedDictionaryKey::Borrowed(const char* inText, size_t inLength)
{
    StPackedDictionaryKey key;
    if (inLength > kMaxKeyLength || (inText == nullptr && inLength != 0))
    {
        key._SetInvalid();
        return key;
    }
    if (inText != nullptr)
        key.fKey = inText;
    key.fLength = inLength;
    key.fHash = GetHashCode(key.fKey, key.fLength);
    return key;
}

StPackedDictionaryKey::StPackedDictionaryKey(StPackedDictionaryKey&& inOther) noexcept
    : fKey(inOther.fKey), fLength(inOther.fLength), fOwned(inOther.fOwned), fHash(inOther.fHash),
      fValid(inOther.fValid)
{
    inOther.fOwned = nullptr;
    inOther.fKey = "";
    inOther.fLength = 0;
    inOther.fHash = 0;
}

StPackedDictionaryKey& StPackedDictionaryKey::operator=(const StPackedDictionaryKey& inOther)
{
    if (&inOther != this)
    {
        _Release();
        _CopyFrom(inOther);
    }
    return *this;
}

StPackedDictionaryKey& StPackedDictionaryKey::operator=(StPackedDictionaryKey&& inOther) noexcept
{
    if (&inOther != this)
    {
        _Release();
        fKey = std::exchange(inOther.fKey, "");
        fLength = std::exchange(inOther.fLength, 0);
        fOwned = std::exchange(inOther.fOwned, nullptr);
        fHash = std::exchange(inOther.fHash, 0);
        fValid = inOther.fValid;
    }
    return *this;
}

StPackedDictionaryKey::~StPackedDictionaryKey()
{
    _Release();
}

bool StPackedDictionaryKey::Equals(const char* inText, size_t inLength) const
{
    return fValid && inLength == fLength && (fLength == 0 || std::memcmp(fKey, inText, fLength) == 0);
}

void StPackedDictionaryKey::GetString(VString& outName) const
{
    outName.FromBlock(fKey, fLength, VTC_UTF_8);
}

void StPackedDictionaryKey::_CopyFrom(const StPackedDictionaryKey& inOther)
{
    fHash = inOther.fHash;
    fValid = inOther.fValid;
    fLength = inOther.fLength;
    fOwned = nullptr;
    if (inOther.fOwned == nullptr)
    {
        fKey = inOther.fKey;
        return;
    }
    fOwned = new (std::nothrow) char[fLength + 1];
    if (fOwned == nullptr)
    {
        _SetInvalid();
        return;
    }
    std::memcpy(fOwned, inOther.fKey, fLength + 1);
    fKey = fOwned;
}

void StPackedDictionaryKey::_Release()
{
    delete[] fOwned;
    fOwned = nullptr;
}

void StPackedDictionaryKey::_SetInvalid()
{
    _Release();
    fKey = "";
    fLength = 0;
    fHash = 0;
    fValid = false;
}

void StPackedDictionaryKey::_FromUTF16(const VString& inText)
{
    fOwned = new (std::nothrow) char[kConvertBufferSize];
    if (fOwned == nullptr)
    {
        _SetInvalid();
        return;
    }
    int32_t consumed = 0;
    size_t produced = 0;
    bool converted = inText.GetLength() == 0 ||
                     VTextConverters::Get()->ConvertFromVString(inText, consumed, fOwned, kMaxKeyLength,
                                                                produced, VTC_UTF_8);
    // A name that does not fit stops the encoder early: every unit must have been consumed.
    if (!converted || consumed != inText.GetLength() || produced > kMaxKeyLength)
    {
        _SetInvalid();
        return;
    }
    fOwned[produced] = 0;
    fKey = fOwned;
    fLength = produced;
    fHash = GetHashCode(fKey, fLength);
}

} // namespace kova
