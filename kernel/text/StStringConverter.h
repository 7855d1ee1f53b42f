// StStringConverter<char> is the scope a caller puts on its stack when a string must leave the
// toolbox as bytes (a file name for a system call, a log line, a dictionary key): it encodes a
// VString into one character set, converting its line ends when asked, and keeps the bytes,
// zero-terminated, until the scope ends or converts again. Results of up to 512 bytes, the zero
// included, live in the scope itself; longer ones in one memory-manager block that later
// conversions reuse.
//
//     StStringConverter<char> utf8(path, VTC_UTF_8, eCRM_NONE);
//     if (utf8.IsOK())
//         ::open(utf8.GetCPointer(), O_RDONLY);
//
// A failed conversion leaves IsOK false, a size of 0 and an empty, zero-terminated output; the
// converter raises its own errors. Scopes are neither copied nor moved.
//
// This header also holds the namespace-level texts of strings and integers: to_string (the UTF-8
// bytes of a string) and ToString (the decimal text of an integer).
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova
{

class VFromUnicodeConverter;
class VString;

class StStringConverterBase : public VObject
{
public:
    static constexpr size_t kInlineBytes = 512;

    // An empty scope holding the set's encoder (a set nobody encodes makes every conversion fail).
    StStringConverterBase(CharSet inCharSet, ECarriageReturnMode inMode);
    ~StStringConverterBase() override;
    StStringConverterBase(const StStringConverterBase&) = delete;
    StStringConverterBase& operator=(const StStringConverterBase&) = delete;

    // The bytes of the last conversion, followed by its zero bytes; valid until the scope ends or
    // converts again.
    const void* GetData() const { return fOutput; }
    size_t GetSize() const { return fSize; }
    bool IsOK() const { return fSuccess; }
    // The bytes the output may hold: the inline buffer's, or what the last heap conversion made.
    size_t GetCapacity() const { return fCapacity; }
    ECarriageReturnMode GetCarriageReturnMode() const { return fCarriageReturnMode; }

    // Encodes inCount units, then writes inZeros zero bytes after them.
    void _ConvertString(const UniChar* inUnits, int32_t inCount, size_t inZeros);

protected:
    // A failed conversion: size 0 and an output of inZeros zero bytes.
    void _Fail(size_t inZeros);

private:
    char* fOutput;
    size_t fSize = 0;
    ECarriageReturnMode fCarriageReturnMode;
    bool fSuccess = false;
    size_t fCapacity = kInlineBytes;
    void* fHeapBlock = nullptr;
    VFromUnicodeConverter* fConverter;
    alignas(8) char fInlineBuffer[kInlineBytes];
};

template <class UNIT>
class StStringConverter;

template <>
class StStringConverter<char> : public StStringConverterBase
{
public:
    StStringConverter(CharSet inCharSet, ECarriageReturnMode inMode)
        : StStringConverterBase(inCharSet, inMode)
    {
    }
    StStringConverter(const VString& inString, CharSet inCharSet, ECarriageReturnMode inMode)
        : StStringConverterBase(inCharSet, inMode)
    {
        ConvertString(inString);
    }

    // Converts the string (its line ends first, unless the mode keeps them) with one zero byte
    // after it; returns the output.
    const char* ConvertString(const VString& inString);

    const char* GetCPointer() const { return static_cast<const char*>(GetData()); }
};

// The UTF-8 bytes of the string; empty for an empty or null string.
std::string to_string(const VString& inString);

// New plain strings holding the decimal text of the integer.
VString ToString(int inValue);
VString ToString(long long inValue);
VString ToString(unsigned long long inValue);
VString ToString(unsigned long inValue);

} // namespace kova
