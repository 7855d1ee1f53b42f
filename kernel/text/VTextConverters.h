// VTextConverters is the process-wide converter cache: it hands out a to-Unicode and a
// from-Unicode converter for every CharSet, keeps the converters of the common Unicode forms and
// of the standard 8-bit set (Mac Roman) made once, and asks the platform for every other set. A
// set nobody can convert gets a Void converter, whose IsValid is false. It also owns the lookups
// of the character-set table (names, aliases and MIBenum numbers) and the byte-order marks.
//
// The one instance is made by the first call to Get, safely even when several threads ask at the
// same moment, and lives until the process ends. The cached converters keep no state and may be
// used by several tasks at once. A converter made for the caller of a set with shift states
// (ISO-2022-JP, UTF-7) carries its state from one call to the next, as a stream's decoder must, so
// it serves one text at a time. Each converter carries one reference for the caller, who releases
// it.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/text/VFromUnicodeConverter.h"
#include "kernel/text/VFromUnicodeConverter_MacRoman.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/text/VToUnicodeConverter_MacRoman.h"
#include "kernel/text/VToUnicodeConverter_UTF8.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VString;

class VTextConverters : public VObject
{
public:
    static VTextConverters* Get();

    // Never null; the caller releases the converter.
    VToUnicodeConverter* RetainToUnicodeConverter(CharSet inCharSet) const;
    VFromUnicodeConverter* RetainFromUnicodeConverter(CharSet inCharSet) const;

    // The converters of the standard 8-bit set (CharSet -2), not retained.
    VToUnicodeConverter* GetStdLibToUnicodeConverter() const { return &fStdLibToUnicode; }
    VFromUnicodeConverter* GetStdLibFromUnicodeConverter() const { return &fStdLibFromUnicode; }

    // Replaces the text of outString by the decoded bytes. True when every byte was decoded: an
    // incomplete character at the end (an odd byte of UTF-16) makes it false, the text before it kept.
    bool ConvertToVString(const void* inSource, size_t inSourceBytes, CharSet inCharSet,
                          VString& outString) const;

    // Encodes the string into a caller's buffer with one pass of the set's encoder.
    bool ConvertFromVString(const VString& inString, int32_t& outCharsConsumed, void* inDestination,
                            size_t inDestinationBytes, size_t& outBytesProduced, CharSet inCharSet) const;

    // The character-set table. Names compare without regard to case, diacritics or width; the
    // first row that matches wins. Failed lookups give an empty name, CharSet 0 or MIBenum 0.
    void GetNameFromCharSet(CharSet inCharSet, VString& outName) const;
    CharSet GetCharSetFromName(const VString& inName) const;
    int32_t GetMIBEnumFromCharSet(CharSet inCharSet) const;
    int32_t GetMIBEnumFromName(const VString& inName) const;
    CharSet GetCharSetFromMIBEnum(int32_t inMIBEnum) const;
    void GetNameFromMIBEnum(int32_t inMIBEnum, VString& outName) const;
    // The names offered for the web, in table order.
    void EnumWebCharsets(std::vector<VString>& outNames, std::vector<CharSet>& outCharSets) const;
    // One name for each run of rows with the same CharSet, sorted by name.
    void EnumCharsets(std::vector<VString>& outNames, std::vector<CharSet>& outCharSets) const;

    // Detects a byte-order mark at the start of the bytes; either output may be null. Without one
    // the size is 0 and the set 0. FF FE 00 00 is taken as UTF-32, so a UTF-16 text that starts
    // with U+0000 after its mark reads as UTF-32.
    static bool ParseBOM(const void* inBytes, size_t inByteCount, size_t* outBOMSize, CharSet* outCharSet);
    // The mark of the set (UTF-8, and UTF-16 and UTF-32 in both byte orders); null and size 0 for
    // every other set.
    static const uint8_t* GetBOMForCharSet(CharSet inCharSet, size_t& outBOMSize);

private:
    VTextConverters();
    ~VTextConverters() override;
    VTextConverters(const VTextConverters&) = delete;
    VTextConverters& operator=(const VTextConverters&) = delete;

    // The cached converter of the set, not retained; null for a set whose converters are made for
    // the caller.
    VToUnicodeConverter* _GetCachedToUnicode(CharSet inCharSet) const;
    VFromUnicodeConverter* _GetCachedFromUnicode(CharSet inCharSet) const;

    // The one comparison of names, at the strength of a collator that ignores case, diacritics
    // and width: -1, 0 or 1.
    static int32_t _CompareNames(const UniChar* inName1, int32_t inLength1, const UniChar* inName2,
                                 int32_t inLength2);
    static int32_t _CompareNames(const VString& inName1, const VString& inName2);
    static bool _EqualNames(const VString& inName, const char* inTableName);

    // Set once by Get; the instance lives in static storage and is never destroyed, so that
    // conversions during the process's exit still find it.
    static std::atomic<VTextConverters*> sInstance;

    // The cached converters: the instance holds their first reference for ever, so a caller's
    // release never destroys them. Mutable because handing one out retains it.
    mutable VToUnicodeConverter_MacRoman fStdLibToUnicode;
    mutable VFromUnicodeConverter_MacRoman fStdLibFromUnicode;
    mutable VToUnicodeConverter_Null fNullToUnicode;
    mutable VFromUnicodeConverter_Null fNullFromUnicode;
    mutable VToUnicodeConverter_Swap fSwapToUnicode;
    mutable VFromUnicodeConverter_Swap fSwapFromUnicode;
    mutable VToUnicodeConverter_UTF32_Raw fUTF32RawToUnicode{false};
    mutable VFromUnicodeConverter_UTF32_Raw fUTF32RawFromUnicode{false};
    mutable VToUnicodeConverter_UTF32 fUTF32ToUnicode{false};
    mutable VFromUnicodeConverter_UTF32 fUTF32FromUnicode{false};
    mutable VToUnicodeConverter_UTF8 fUTF8ToUnicode;
    mutable VFromUnicodeConverter_UTF8 fUTF8FromUnicode;
    // Handed out should a new converter not be had.
    mutable VToUnicodeConverter_Void fVoidToUnicode;
    mutable VFromUnicodeConverter_Void fVoidFromUnicode;
};

} // namespace kova
