// Our stand-in for the strings of CoreFoundation: string objects holding UTF-16 text, shared by
// reference counting, and the string comparison over ICU: texts compared by code points,
// case-insensitively by Unicode case folding, or, localized, in the order of the root collation
// with the differences the flags ignore left out.
#pragma once

#include <cstdint>
#include <string_view>

namespace kova::cf
{

enum StringCompareFlags : uint32_t
{
    kCompareCaseInsensitive = 1,
    kCompareLocalized = 32,
    // Localized comparisons only: letters that differ by their accents, or by their full or half
    // width, compare equal. The root collation weighs case and width at one level, so ignoring
    // either in a comparison that keeps accents ignores both.
    kCompareDiacriticInsensitive = 128,
    kCompareWidthInsensitive = 256,
};

// -1, 0 or 1. Ill-formed UTF-8 compares as if each bad sequence were U+FFFD.
int32_t StringCompare(std::string_view first, std::string_view second, uint32_t flags);
int32_t StringCompare(std::u16string_view first, std::u16string_view second, uint32_t flags);

// String objects. A string made from UTF-16 units gives direct access to them; one made from
// UTF-8 bytes hands its units out only by copy, as the system's strings may.
struct String;

// A new string with one reference for the caller; null for a negative length, a null text with
// units, or when memory runs out.
String* StringCreateWithCharacters(const char16_t* inUnits, int64_t inLength);
// Ill-formed UTF-8 reads as U+FFFD for each bad sequence.
String* StringCreateWithUTF8(std::string_view inText);
// Adds a reference; returns the string. Null is ignored.
String* StringRetain(String* inString);
// Drops a reference; the last one frees the string. Null is ignored.
void StringRelease(String* inString);
int64_t StringGetLength(const String* inString);
// The units, or null when the string gives no direct access.
const char16_t* StringGetCharactersPtr(const String* inString);
// Copies the units inStart .. inStart + inLength - 1, the part of that range inside the string.
void StringGetCharacters(const String* inString, int64_t inStart, int64_t inLength, char16_t* outUnits);

} // namespace kova::cf
