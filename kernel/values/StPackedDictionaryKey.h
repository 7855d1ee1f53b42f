// StPackedDictionaryKey is the hashed name by which value bags and their packed dictionaries
// look attributes and element lists up: the name's UTF-8 bytes, their length and a 32-bit hash
// computed once. A key either owns a copy of its bytes or borrows them from the caller (static
// names, C string literals, paths split in place), in which case the text must outlive the key.
//
// A dictionary stores a name's length in one byte, so a name longer than 255 bytes, or text that
// does not convert to UTF-8, makes an invalid key: it is empty, finds nothing and is refused by
// every operation that stores a name, so that such names never meet as the empty name.
//
// The hash is part of the stored form of bags (hash vectors are written to streams): GetHashCode
// must never change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class VString;

class StPackedDictionaryKey
{
public:
    // Names longer than this cannot be stored.
    static constexpr size_t kMaxKeyLength = 255;

    // The empty name, valid.
    StPackedDictionaryKey() = default;
    // UTF-32 and UTF-16 text, converted to UTF-8 into a buffer of the key's own.
    explicit StPackedDictionaryKey(const wchar_t* inText);
    StPackedDictionaryKey(const VString& inText);
    // An owned copy of inLength bytes of UTF-8.
    StPackedDictionaryKey(const char* inText, size_t inLength);
    // Borrows a zero-terminated UTF-8 name (length by strlen); the text must outlive the key.
    StPackedDictionaryKey(const char* inText);
    // Borrows inLength bytes; the text must outlive the key.
    static StPackedDictionaryKey Borrowed(const char* inText, size_t inLength);

    // A copy borrows what the source borrows and owns a copy of what the source owns.
    StPackedDictionaryKey(const StPackedDictionaryKey& inOther) { _CopyFrom(inOther); }
    StPackedDictionaryKey(StPackedDictionaryKey&& inOther) noexcept;
    StPackedDictionaryKey& operator=(const StPackedDictionaryKey& inOther);
    StPackedDictionaryKey& operator=(StPackedDictionaryKey&& inOther) noexcept;
    ~StPackedDictionaryKey();

    const char* GetKey() const { return fKey; }
    size_t GetKeyLength() const { return fLength; }
    uint32_t GetHash() const { return uint32_t(fHash); }
    bool IsValid() const { return fValid; }
    bool OwnsText() const { return fOwned != nullptr; }

    // Same bytes; an invalid key equals nothing.
    bool Equals(const char* inText, size_t inLength) const;
    bool operator==(const StPackedDictionaryKey& inOther) const
    {
        return inOther.fValid && Equals(inOther.fKey, inOther.fLength);
    }

    // The name decoded from UTF-8.
    void GetString(VString& outName) const;

    // Length 0 hashes to 0; up to 16 bytes every byte counts; beyond, the first and the last 8.
    static uint32_t GetHashCode(const char* inText, size_t inLength);

private:
    void _CopyFrom(const StPackedDictionaryKey& inOther);
    void _Release();
    // Becomes the empty, invalid key.
    void _SetInvalid();
    // Converts UTF-16 units into the owned buffer.
    void _FromUTF16(const VString& inText);

    const char* fKey = "";
    size_t fLength = 0;
    char* fOwned = nullptr;
    size_t fHash = 0;
    bool fValid = true;
};

} // namespace kova
