// VIntlMgr holds what depends on a language and region, a dialect: the collator of every
// language-aware string comparison, the locale's separators, symbols and date and time patterns,
// date formatting, day and month names, case mapping, character classes and words, and the
// search for localization folders. It also answers, through static operations, every question
// about dialect codes (the dialect table).
//
// A dialect is named by an unsigned 32-bit code in the style of Windows locale identifiers: the
// low 10 bits are the primary language, the bits above select the sub-language, so that
// (code & 0x3FF) | 0x400 is the language's primary dialect. 1033 (English, United States) is the
// fallback everywhere; 0, 0xFFFFFFFF and 0xFFFFFFFE stand for the user's default dialect.
//
// The process makes one manager at start-up; every task works with its own copy, found through
// VTask::GetCurrentIntlManager. A manager is reference-counted and owned by one task: it takes
// no lock. Its platform half (XMacIntlMgr) reads the locale data.
#pragma once

#include "kernel/text/CharSet.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/text/XMacIntlMgr.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class VBidiRun;
class VCollator;
class VCompareOptions;
class VDuration;
class VFile;
class VFilePath;
class VFolder;
class VTime;

// Styles of the platform's date and time formats. Of a fixed type, so that a caller's other value
// is a value the formats refuse rather than undefined behaviour.
enum EOSFormats : int
{
    eOS_SHORT_FORMAT = 0,
    eOS_MEDIUM_FORMAT = 1,
    eOS_LONG_FORMAT = 2,
};

enum NormalizationMode
{
    eComposeNormalization = 0,
    eDecomposeNormalization = 1,
};

// Which matches FindStrings keeps.
enum EFindStringMode
{
    eFindWholeWords = 3, // neither end inside a word
    eFindContains = 4,   // every match
    eFindWordStart = 5,  // the start not inside a word
    eFindWordEnd = 6,    // the end not inside a word
};

class VIntlMgr : public VObject, public IRefCountable
{
public:
    // Bits of the options word.
    static constexpr uint32_t kOptionSystemServices = 1; // also: split words at non-alphanumerics
    static constexpr uint32_t kOptionICUServices = 2;
    static constexpr uint32_t kOptionCompareWords = 4;
    // Bit of Create's option set that asks for the system's services.
    static constexpr uint8_t kCreateWithSystemServices = 0x20;

    static constexpr uint32_t kDefaultDialect = 1033;
    // The "no dialect" value of the lookups.
    static constexpr uint32_t kNoDialect = 0xFFFFFFFE;

    // Start-up and shut-down hooks of the international services (nothing to do on this system).
    static bool Init();
    static void ICU_Cleanup();

    // A new manager with one reference, for the dialect (0 for the default one) and with a
    // collator for the collator dialect. A code missing from the dialect table falls back to its
    // language's primary dialect, then to 1033. Null, after raising kova 305, when the collator
    // cannot be made.
    static VIntlMgr* Create(uint32_t inDialect, uint32_t inCollatorDialect, uint8_t inOptions);
    // A copy with its own collator and platform data; null when it cannot be made.
    VIntlMgr* Clone() const;
    // Resets the collator (its wildcard).
    void Reset();

    uint32_t GetDialectCode() const { return fDialect; }
    uint32_t GetOptions() const { return fOptions; }
    VCollator* GetCollator() const { return fCollator; }
    const XMacIntlMgr& GetMacIntlMgr() const { return fMacIntlMgr; }

    // The default dialect for 0, 0xFFFFFFFF and 0xFFFFFFFE; any other code unchanged. The default
    // dialect is that of the user's first preferred language, 1033 when it has none in the table;
    // it is resolved once.
    static uint32_t ResolveDialectCode(uint32_t inDialect);
    // The same resolution of the default dialect, not cached.
    static uint32_t _ComputeDefaultDialectCode();
    // The dialect of the system's user interface (the first language of its preference), 1033
    // when it has none in the table.
    static uint32_t GetSystemUIDialectCode();
    // One code per language of the preference, 1033 for each that is not in the table.
    static void GetSystemUIDialectCodes(std::vector<uint32_t>& outDialects);
    static bool IsSystemUIDialectIdeographic();

    // Locale variables.
    const VString& GetAMString() const { return fAMString; }
    const VString& GetPMString() const { return fPMString; }
    bool UseAMPM() const { return fUseAMPM; }
    const VString& GetDecimalSeparator() const { return fDecimalSeparator; }
    const VString& GetThousandSeparator() const { return fThousandSeparator; }
    const VString& GetDateSeparator() const { return fDateSeparator; }
    const VString& GetTimeSeparator() const { return fTimeSeparator; }
    const VString& GetCurrencySymbol() const { return fCurrencySymbol; }
    const VString& GetShortDatePattern() const { return fShortDatePattern; }
    const VString& GetMediumDatePattern() const { return fMediumDatePattern; }
    const VString& GetLongDatePattern() const { return fLongDatePattern; }
    const VString& GetFullDatePattern() const { return fFullDatePattern; }
    const VString& GetShortTimePattern() const { return fShortTimePattern; }
    const VString& GetMediumTimePattern() const { return fMediumTimePattern; }
    const VString& GetLongTimePattern() const { return fLongTimePattern; }
    const VString& GetFullTimePattern() const { return fFullTimePattern; }
    // 0 month-day-year, 1 day-month-year, 2 year-month-day, 3 month-year-day, 4 day-year-month,
    // 5 year-day-month.
    uint32_t GetDateOrder() const { return fDateOrder; }
    // How the locale variables are read from the locale's patterns, quoted text skipped: whether
    // a time pattern shows AM/PM and its first character that is not an ASCII letter; a date
    // pattern's first such character and the order of its month, day and year (as GetDateOrder).
    static void _ScanTimePattern(const VString& inPattern, bool& outUseAMPM, VString& outSeparator);
    static uint32_t _ScanDatePattern(const VString& inPattern, VString& outSeparator);

    // Date and time text in the locale's formats; universal time when inUseGMT, else the
    // system's time zone. A null date-time gives an empty text.
    void FormatDate(const VTime& inTime, VString& outText, EOSFormats inFormat, bool inUseGMT);
    void FormatTime(const VTime& inTime, VString& outText, EOSFormats inFormat, bool inUseGMT);
    void FormatDuration(const VDuration& inDuration, VString& outText, EOSFormats inFormat);
    // Date-time fields written by the letters of a pattern ("yyyy-MM-dd HH:mm"); every character
    // that names no field is copied. A given month name replaces the locale's month names.
    void FormatDateTimeWithPattern(const VTime& inTime, const VString& inPattern, bool inUseGMT,
                                   const VString* inMonthName, VString& outText);
    // Month 1 to 12; day 0 (Sunday) to 6. Out of range: an empty text, false. The names cannot be
    // had: the text is left as it was, false.
    bool GetMonthName(int32_t inMonth, bool inShort, VString& outName);
    bool GetWeekDayName(int32_t inDay, bool inShort, VString& outName);

    // Comparison through the collator; inDiacritical true weighs case and diacritics.
    int32_t CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                          int32_t inLength2, bool inDiacritical) const;
    int32_t CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                          int32_t inLength2, const VCompareOptions& inOptions) const;
    bool EqualString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2, int32_t inLength2,
                     bool inDiacritical) const;
    // 0 when the text matches the pattern.
    int32_t CompareString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                               int32_t inPatternLength, bool inDiacritical) const;
    bool EqualString_Like(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                          int32_t inPatternLength, bool inDiacritical) const;
    UniChar GetWildChar() const;
    void GetStringComparisonAlgorithmSignature(VString& outSignature) const;
    // "AlphaNum" when words split at non-alphanumerics; cleared when no word option is set; left
    // as it was otherwise.
    void GetKewordAlgorithmSignature(VString& outSignature) const;

    // Case mapping of the whole text, without locale-specific rules; the text is left unchanged
    // when the room for the result cannot be had.
    void ToUpperLowerCase(VString& ioText, bool inStripDiacritics, bool inUpper) const;
    // Leaves the text as it is on this system.
    void NormalizeString(VString& ioText, NormalizationMode inMode) const;

    // Same character sets only: copies min(source, destination) bytes and stores that size.
    bool DebugConvertString(const void* inSource, int32_t inSourceSize, CharSet inSourceCharSet,
                            void* outDestination, int32_t& ioDestinationSize,
                            CharSet inDestinationCharSet) const;

    // Services this system does not offer: each answers that it did nothing.
    bool GetLocalizedLanguageName(uint32_t inDialect, VString& outName) const;
    bool GetLocalizedLanguageNameFromBCP47(const VString& inTag, VString& outName) const;
    void AdjustUniCharPosToCharacterBoundary(const VString& inText, int32_t& ioPosition) const;
    void* _GetMecabModel() const { return nullptr; }
    void _InitICU() {}
    void _InitMeCab() {}

    // Localization folders: the sub-folders "<name>.lproj" of a folder named after the dialect
    // (language and region tags with "-" and "_", the language alone, the English name), in that
    // order, appended (retained) when they exist. False for an invalid folder path or when none
    // exists.
    static bool GetLocalizationFoldersWithDialect(uint32_t inDialect, const VFilePath& inFolder,
                                                  std::vector<VRefPtr<VFolder>>& outFolders);
    // The file of that name in the last of those folders that holds it, retained; null when none
    // does. *outFoldersFound tells whether any localization folder exists.
    static VFile* RetainLocalizationFile(const VFilePath& inFolder, const VString& inFileName,
                                         uint32_t inDialect, bool* outFoldersFound);

    // The dialect table. Output strings are cleared first; a result is true when the output is
    // not empty. The 8-bit forms are null when no row has the code.
    static const char* GetISO6391LanguageCode(uint32_t inDialect);
    static bool GetISO6391LanguageCode(uint32_t inDialect, VString& outCode);
    static const char* GetISO6392LanguageCode(uint32_t inDialect);
    static bool GetISO6392LanguageCode(uint32_t inDialect, VString& outCode);
    static const char* GetISOLanguageName(uint32_t inDialect);
    static bool GetISOLanguageName(uint32_t inDialect, VString& outName);
    static const char* GetISO3166RegionCode(uint32_t inDialect);
    static bool GetISO3166RegionCode(uint32_t inDialect, VString& outRegion);
    static bool GetRFC3066BisSubTagRegionCode(uint32_t inDialect, VString& outSubTag);
    // Language and region ("en-US"; "ar" when the row has no region).
    static bool GetBCP47LanguageCode(uint32_t inDialect, VString& outCode);
    // Language and subtag ("en", "en-gb", "zh_Hant" with "_").
    static bool GetRFC3066BisLanguageCodeWithDialectCode(uint32_t inDialect, VString& outCode,
                                                         UniChar inSeparator = u'-');
    // From "en", "en-GB" or "en_gb": a region matches the subtag of a row only. Without a match,
    // inFallBackToLanguage takes the language's primary dialect; inPreferPrimary gives the primary
    // dialect of a language alone. outDialect is kNoDialect when nothing matches.
    static bool GetDialectCodeWithRFC3066BisLanguageCode(const VString& inCode, uint32_t& outDialect,
                                                         bool inFallBackToLanguage = true,
                                                         bool inPreferPrimary = true);
    // The same from 8-bit language and region texts; a null region looks the language up alone.
    static bool GetDialectCodeWithRFC3066BisLanguageCode(const char* inLanguage, const char* inRegion,
                                                         uint32_t& outDialect,
                                                         bool inFallBackToLanguage = true,
                                                         bool inPreferPrimary = true);
    // From an English language name ("french").
    static bool GetDialectCodeWithISOLanguageName(const VString& inName, uint32_t& outDialect);
    // -1 when either code is unknown; 4 for equal texts; 3 when the first adds a region to the
    // second's language, 2 the other way round, 1 when both have regions of one language; else 0.
    static int32_t Compare2RFC3066LanguageCodes(const VString& inCode1, const VString& inCode2);
    static bool IsDialectCode(uint32_t inDialect);
    static bool IsRightToLeftDialect(uint32_t inDialect);
    // Every code of the table in its order, duplicates included, appended.
    static void GetAllDialects(std::vector<uint32_t>& outDialects);
    static void GetDialectsHavingCollator(std::vector<std::pair<VString, uint32_t>>& outDialects);
    // The script of the dialect's writing; 0xFFFFFFFF for a code the table of scripts lacks.
    static uint32_t DialectCodeToScriptCode(uint32_t inDialect);

    // Character classes, from constant tables: a class table is a count of ranges, a split
    // value, then the inclusive ranges (first, last) in ascending order.
    bool IsAlpha(UniChar inUnit) const;
    bool IsDigit(UniChar inUnit) const;
    bool IsPunctuation(UniChar inUnit) const;
    // U+0020, U+00A0, U+2000 to U+200B and U+3000 only: tab and line ends are no spaces.
    bool IsSpace(UniChar inUnit, bool inUnused = false) const;
    bool _CharTest(UniChar inUnit, const uint16_t* inTable) const;
    // 0 to 9 for "0" to "9", else 0xFFFFFFFF.
    uint32_t CharDigitValue(UniChar inUnit) const;
    uint32_t CharType(UniChar) const { return 0; }
    bool IsUpper(UniChar) const { return false; }
    bool IsLower(UniChar) const { return false; }
    bool IsSymbol32(uint32_t) const { return false; }
    // Mac OS Roman bytes: kind 0 printable, 1 alphanumeric or "_" (Mac letters included), 2 letter
    // or "_" (Mac letters included), 3 ASCII alphanumeric or "_", 4 ASCII letter or "_", 5 ASCII
    // digit.
    static bool IsAMacCharacter(uint8_t inCharacter, uint32_t inKind);
    // A class table (from the memory manager, tag 'strU') of the units whose flags share a bit
    // with the mask; the caller disposes of it. Null when the memory cannot be had.
    static uint16_t* _FillOneRangesArray(const uint16_t* inFlags, uint8_t inMask);

    // Words: a dead unit separates words (controls, and what is neither letter nor digit).
    bool _IsItaDeadChar(UniChar inUnit) const;
    bool _HasApostropheSecondFollowedByVowel(const VString& inText, int32_t inStart, int32_t inLength) const;
    bool _SplitWordRangeOnDot(const VString& inText, int32_t inStart, int32_t inLength,
                              std::vector<std::pair<int32_t, int32_t>>& outRanges, bool inWithDots) const;
    // (1-based start, length) of each word; with option bit 0 a word is a run of units that are
    // not dead. False, with no word, without that bit.
    bool GetWordBoundariesWithOptions(const VString& inText,
                                      std::vector<std::pair<int32_t, int32_t>>& outWords,
                                      uint32_t inOptions) const;
    // Whether the text holds the word as a whole word.
    bool FindWord(const VString& inText, const VString& inWord, const VCompareOptions& inOptions) const;
    // The matches of the pattern the mode keeps, as (1-based position, length); the first only
    // unless inAll.
    void FindStrings(const VString& inText, const VString& inPattern, EFindStringMode inMode,
                     bool inDiacritical, std::vector<std::pair<int32_t, int32_t>>& outMatches,
                     bool inAll) const;

    // Bidirectional text is not reordered: a text is one run at its paragraph level. The result
    // is whether that level is right-to-left.
    bool GetBidiRuns(const UniChar* inText, int32_t inLength, std::vector<VBidiRun>& outRuns,
                     std::vector<int32_t>& outVisualOrder, int32_t inBaseLevel, bool inIgnoreFinalCR) const;
    bool TextLogicalToVisual(const VString& inText, int32_t inLevel) const;

private:
    VIntlMgr(uint32_t inDialect, uint32_t inOptions);
    VIntlMgr(const VIntlMgr& inOther);
    VIntlMgr& operator=(const VIntlMgr&) = delete;
    ~VIntlMgr() override;

    bool _InitCollator(uint32_t inDialect, uint8_t inOptions);
    void _InitLocaleVariables();

    XMacIntlMgr fMacIntlMgr;
    uint32_t fOptions;
    VCollator* fCollator = nullptr;
    uint32_t fDialect;
    VString fAMString;
    VString fPMString;
    bool fUseAMPM = false;
    VString fDecimalSeparator;
    VString fThousandSeparator;
    VString fDateSeparator;
    VString fTimeSeparator;
    VString fCurrencySymbol;
    VString fShortDatePattern;
    VString fMediumDatePattern;
    VString fLongDatePattern;
    VString fFullDatePattern;
    VString fShortTimePattern;
    VString fMediumTimePattern;
    VString fLongTimePattern;
    VString fFullTimePattern;
    uint32_t fDateOrder = 0;
};

} // namespace kova
