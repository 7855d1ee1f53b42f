// The character sets that every conversion between text and bytes names. The values are stored
// in files and passed between components: they never change.
#pragma once

#include <cstdint>

namespace kova
{

enum CharSet : int32_t
{
    VTC_StdLib_char = -2, // the platform's standard 8-bit set: Mac Roman
    VTC_UNKNOWN = 0,      // no encoding; the answer of every failed lookup
    VTC_UTF_16_BIGENDIAN = 1,
    VTC_UTF_16 = 2, // processor order (little-endian)
    VTC_UTF_32_BIGENDIAN = 3,
    VTC_UTF_32 = 4, // processor order
    VTC_UTF_32_RAW_SWAPPED = 5, // 32-bit units each holding one UTF-16 unit, byte-swapped
    VTC_UTF_32_RAW = 6,         // the same in processor order
    VTC_UTF_8 = 7,
    VTC_UTF_7 = 8,
    VTC_US_ASCII = 9,
    VTC_EBCDIC_037 = 10,
    VTC_IBM437 = 11,

    VTC_MacOSAnsi = 100, // Mac Roman
    VTC_Win32Ansi = 101, // windows-1252
    VTC_MacCentralEurRoman = 102,
    VTC_WinCentralEurRoman = 103, // windows-1250
    VTC_MacCyrillic = 104,
    VTC_WinCyrillic = 105, // windows-1251
    VTC_MacGreek = 106,
    VTC_WinGreek = 107, // windows-1253
    VTC_MacTurkish = 108,
    VTC_WinTurkish = 109, // windows-1254
    VTC_MacArabic = 110,
    VTC_WinArabic = 111, // windows-1256
    VTC_MacHebrew = 112,
    VTC_WinHebrew = 113, // windows-1255
    VTC_MacBaltic = 114,
    VTC_WinBaltic = 115, // windows-1257
    VTC_MacSimplifiedChinese = 116,
    VTC_WinSimplifiedChinese = 117, // GBK, code page 936
    VTC_MacTraditionalChinese = 118,
    VTC_WinTraditionalChinese = 119, // code page 950
    VTC_MacJapanese = 120,

    VTC_ShiftJIS = 1000,
    VTC_Jis = 1001, // ISO-2022-JP
    VTC_Big5 = 1002,
    VTC_Korean_EUC = 1003,
    VTC_KOI8R = 1004,
    VTC_ISO_8859_1 = 1005,
    VTC_ISO_8859_2 = 1006,
    VTC_ISO_8859_3 = 1007,
    VTC_ISO_8859_4 = 1008,
    VTC_ISO_8859_5 = 1009,
    VTC_ISO_8859_6 = 1010,
    VTC_ISO_8859_7 = 1011,
    VTC_ISO_8859_8 = 1012,
    VTC_ISO_8859_9 = 1013,
    VTC_ISO_8859_10 = 1014,
    VTC_ISO_8859_13 = 1015,
    VTC_GB2312 = 1016,
    VTC_GB2312_80 = 1017,
    VTC_ISO_8859_15 = 1018,
    VTC_Windows31J = 1019,
};

// The line-end convention of text conversions; also stored and passed between components.
enum ECarriageReturnMode : int32_t
{
    eCRM_NONE = 1, // line ends stay as they are
    eCRM_CRLF = 2,
    eCRM_CR = 3,
    eCRM_LF = 4,
};

} // namespace kova
