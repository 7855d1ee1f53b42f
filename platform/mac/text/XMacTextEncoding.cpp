#include "platform/mac/text/XMacTextEncoding.h"

namespace kova
{

namespace
{

struct CharSetEncoding
{
    CharSet fCharSet;
    tec::TextEncodingBase fBase; // variant 0, format 0
};

constexpr CharSetEncoding kCharSetEncodings[] = {
    {VTC_US_ASCII, 0x600},
    {VTC_EBCDIC_037, 0xC02},
    {VTC_IBM437, 0x400},
    {VTC_MacOSAnsi, 0x0},
    {VTC_Win32Ansi, 0x500},
    {VTC_MacCentralEurRoman, 0x1D},
    {VTC_WinCentralEurRoman, 0x501},
    {VTC_MacCyrillic, 0x7},
    {VTC_WinCyrillic, 0x502},
    {VTC_MacGreek, 0x6},
    {VTC_WinGreek, 0x503},
    {VTC_MacTurkish, 0x23},
    {VTC_WinTurkish, 0x504},
    {VTC_MacArabic, 0x4},
    {VTC_WinArabic, 0x506},
    {VTC_MacHebrew, 0x5},
    {VTC_WinHebrew, 0x505},
    {VTC_MacBaltic, 0x1D},
    {VTC_WinBaltic, 0x507},
    {VTC_MacSimplifiedChinese, 0x19},
    {VTC_WinSimplifiedChinese, 0x421},
    {VTC_MacTraditionalChinese, 0x2},
    {VTC_WinTraditionalChinese, 0x423},
    {VTC_MacJapanese, 0x1},
    {VTC_ShiftJIS, 0xA01},
    {VTC_Jis, 0x820},
    {VTC_Big5, 0xA03},
    {VTC_Korean_EUC, 0x940},
    {VTC_KOI8R, 0xA02},
    {VTC_ISO_8859_1, 0x201},
    {VTC_ISO_8859_2, 0x202},
    {VTC_ISO_8859_3, 0x203},
    {VTC_ISO_8859_4, 0x204},
    {VTC_ISO_8859_5, 0x205},
    {VTC_ISO_8859_6, 0x206},
    {VTC_ISO_8859_7, 0x207},
    {VTC_ISO_8859_8, 0x208},
    {VTC_ISO_8859_9, 0x209},
    {VTC_ISO_8859_10, 0x20A},
    {VTC_ISO_8859_13, 0x20D},
    {VTC_GB2312, 0x421},
    {VTC_GB2312_80, 0x630},
    {VTC_ISO_8859_15, 0x20F},
    {VTC_Windows31J, 0x420},
};

} // namespace

tec::TextEncoding XMacTextEncoding::FromCharSet(CharSet inCharSet)
{
    switch (inCharSet)
    {
    case VTC_StdLib_char:
        return tec::CreateTextEncoding(0x0, 0, 0); // Mac Roman
    case VTC_UTF_16:
        return tec::CreateTextEncoding(tec::kTextEncodingUnicodeDefault, 0, tec::kUnicode16BitFormat);
    case VTC_UTF_32:
        return tec::CreateTextEncoding(tec::kTextEncodingUnicodeDefault, 0, tec::kUnicode32BitFormat);
    case VTC_UTF_8:
        return tec::CreateTextEncoding(tec::kTextEncodingUnicodeDefault, 0, tec::kUnicodeUTF8Format);
    case VTC_UTF_7:
        return tec::CreateTextEncoding(tec::kTextEncodingUnicodeDefault, 0, tec::kUnicodeUTF7Format);
    default:
        break;
    }
    for (const CharSetEncoding& row : kCharSetEncodings)
    {
        if (row.fCharSet == inCharSet)
            return tec::CreateTextEncoding(row.fBase, 0, 0);
    }
    return tec::kTextEncodingUnknown;
}

} // namespace kova
