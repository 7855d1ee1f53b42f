#include "kernel/text/VTextConverters.h"
#include "kernel/values/VMemoryBuffer.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/text/CharSetTable.h"
#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <unicode/ucol.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

VTextConverters& Converters()
{
    return *VTextConverters::Get();
}

// ---------------------------------------------------------------------------------------------
// The character-set table and its lookups

TEST(CharSetTable, HasItsRowsAndTerminator)
{
    size_t rows = 0;
    while (kCharSetTable[rows].fName != nullptr)
        ++rows;
    EXPECT_EQ(rows, kCharSetTableRowCount);
    EXPECT_EQ(kCharSetTable[rows].fCharSet, VTC_UNKNOWN);
    EXPECT_STREQ(kCharSetTable[0].fName, "UCS4");
    EXPECT_STREQ(kCharSetTable[rows - 1].fName, "windows-936");
}

struct NameCase
{
    const char16_t* fName;
    CharSet fCharSet;
    int32_t fMIBEnum;
};

class CharSetNames : public testing::TestWithParam<NameCase>
{
};

TEST_P(CharSetNames, LookUpCharSetAndMIBEnumByName)
{
    const NameCase& names = GetParam();
    VString name(reinterpret_cast<const UniChar*>(names.fName));
    EXPECT_EQ(Converters().GetCharSetFromName(name), names.fCharSet);
    EXPECT_EQ(Converters().GetMIBEnumFromName(name), names.fMIBEnum);
}

INSTANTIATE_TEST_SUITE_P(
    FirstMatchingRowWins, CharSetNames,
    testing::Values(NameCase{u"UTF-8", VTC_UTF_8, 106}, NameCase{u"utf-8", VTC_UTF_8, 106},
                    // diacritics and width do not count either
                    NameCase{u"\u00DCTF-8", VTC_UTF_8, 106},
                    NameCase{u"\uFF55\uFF54\uFF46-8", VTC_UTF_8, 106},
                    NameCase{u"x-mac-ce", VTC_MacCentralEurRoman, 1250},
                    NameCase{u"x-mac-chinesesimp", VTC_GB2312, 2025}, NameCase{u"LATIN1", VTC_ISO_8859_1, 4},
                    NameCase{u"ucs-4le", VTC_UTF_32, 1019}, NameCase{u"UTF-16LE", VTC_UTF_16, 1014},
                    NameCase{u"windows-936", VTC_WinSimplifiedChinese, 113},
                    // punctuation counts: these are not names of the table
                    NameCase{u"UTF_8", VTC_UNKNOWN, 0}, NameCase{u"UTF8", VTC_UNKNOWN, 0},
                    NameCase{u"klingon", VTC_UNKNOWN, 0}, NameCase{u"", VTC_UNKNOWN, 0}));

TEST(CharSetNames, LookUpsByCharSetAndMIBEnum)
{
    VString name(u"stale");
    Converters().GetNameFromCharSet(VTC_MacBaltic, name);
    EXPECT_EQ(Text(name), u"x-mac-ce");
    Converters().GetNameFromCharSet(VTC_UTF_8, name);
    EXPECT_EQ(Text(name), u"UTF-8");
    for (CharSet nameless : {VTC_StdLib_char, VTC_UNKNOWN, VTC_UTF_32_RAW_SWAPPED, VTC_UTF_32_RAW,
                             VTC_MacTraditionalChinese, VTC_WinTraditionalChinese})
    {
        Converters().GetNameFromCharSet(nameless, name);
        EXPECT_TRUE(name.IsEmpty()) << nameless;
        EXPECT_EQ(Converters().GetMIBEnumFromCharSet(nameless), 0) << nameless;
    }
    EXPECT_EQ(Converters().GetMIBEnumFromCharSet(VTC_UTF_16), 1015);
    EXPECT_EQ(Converters().GetMIBEnumFromCharSet(VTC_Win32Ansi), 2252);

    Converters().GetNameFromMIBEnum(1014, name);
    EXPECT_EQ(Text(name), u"UTF-16LE");
    Converters().GetNameFromMIBEnum(2025, name);
    EXPECT_EQ(Text(name), u"GB2312");
    Converters().GetNameFromMIBEnum(1019, name);
    EXPECT_EQ(Text(name), u"UCS4LE");
    Converters().GetNameFromMIBEnum(999999, name);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_EQ(Converters().GetCharSetFromMIBEnum(2025), VTC_GB2312);
    EXPECT_EQ(Converters().GetCharSetFromMIBEnum(1019), VTC_UTF_32);
    EXPECT_EQ(Converters().GetCharSetFromMIBEnum(999999), VTC_UNKNOWN);
}

TEST(CharSetNames, EnumWebCharsetsListsTheWebRowsInTableOrder)
{
    std::vector<VString> names{VString(u"left over")};
    std::vector<CharSet> charSets{VTC_IBM437, VTC_IBM437};
    Converters().EnumWebCharsets(names, charSets);
    const char16_t* expected[] = {
        u"UTF-8",      u"UTF-7",       u"UNICODE-1-1-UTF-7", u"Shift_JIS",   u"Big5",
        u"EUC-KR",     u"KOI8-R",      u"ISO-8859-1",        u"ISO-8859-2",  u"ISO-8859-3",
        u"ISO-8859-4", u"ISO-8859-5",  u"ISO-8859-6",        u"ISO-8859-7",  u"ISO-8859-8",
        u"ISO-8859-9", u"ISO-8859-10", u"ISO-8859-13",       u"ISO-8859-15", u"GB2312",
        u"GBK"};
    ASSERT_EQ(names.size(), std::size(expected));
    ASSERT_EQ(charSets.size(), std::size(expected));
    for (size_t i = 0; i < names.size(); ++i)
    {
        EXPECT_EQ(Text(names[i]), expected[i]);
        EXPECT_EQ(Converters().GetCharSetFromName(names[i]), charSets[i]) << i;
    }
}

// The order is that of a collator that ignores case at primary strength: checked against ICU's.
TEST(CharSetNames, EnumCharsetsTakesTheFirstRowOfEachRunSortedByName)
{
    std::vector<VString> names{VString(u"left over")};
    std::vector<CharSet> charSets;
    Converters().EnumCharsets(names, charSets);
    ASSERT_EQ(names.size(), 56u);
    ASSERT_EQ(charSets.size(), 56u);

    UErrorCode error = U_ZERO_ERROR;
    UCollator* collator = ucol_open("", &error);
    ASSERT_TRUE(U_SUCCESS(error));
    ucol_setStrength(collator, UCOL_PRIMARY);
    for (size_t i = 1; i < names.size(); ++i)
        EXPECT_EQ(ucol_strcoll(collator, names[i - 1].GetCPointer(), names[i - 1].GetLength(),
                               names[i].GetCPointer(), names[i].GetLength()),
                  UCOL_LESS)
            << i;
    ucol_close(collator);

    std::vector<std::u16string> texts;
    for (size_t i = 0; i < names.size(); ++i)
    {
        texts.push_back(Text(names[i]));
        VString canonical;
        Converters().GetNameFromCharSet(charSets[i], canonical);
        if (charSets[i] != VTC_UTF_32 && charSets[i] != VTC_UTF_32_BIGENDIAN && charSets[i] != VTC_UTF_16)
        {
            EXPECT_EQ(Text(canonical), texts.back()) << "each set appears under its first name";
        }
    }
    for (const char16_t* expected : {u"MacCE", u"UCS4LE", u"UCS_4BE", u"UTF-32LE", u"UTF-16LE", u"x-mac-ce",
                                     u"x-mac-chinesesimp", u"GB_2312-80", u"ebcdic-cp-us"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end())
            << std::string(expected, expected + 3);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), u"x-mac-ce"), 1) << "114's; 102 is MacCE";
}

// ---------------------------------------------------------------------------------------------
// Byte-order marks

struct BOMCase
{
    std::vector<uint8_t> fBytes;
    bool fFound;
    size_t fSize;
    CharSet fCharSet;
};

class ByteOrderMarks : public testing::TestWithParam<BOMCase>
{
};

TEST_P(ByteOrderMarks, ParseBOM)
{
    const BOMCase& bom = GetParam();
    size_t size = 99;
    CharSet charSet = VTC_IBM437;
    EXPECT_EQ(VTextConverters::ParseBOM(bom.fBytes.data(), bom.fBytes.size(), &size, &charSet), bom.fFound);
    EXPECT_EQ(size, bom.fSize);
    EXPECT_EQ(charSet, bom.fCharSet);
    EXPECT_EQ(VTextConverters::ParseBOM(bom.fBytes.data(), bom.fBytes.size(), nullptr, nullptr), bom.fFound);
}

INSTANTIATE_TEST_SUITE_P(InOrderOfTrial, ByteOrderMarks,
                         testing::Values(BOMCase{{0xEF, 0xBB, 0xBF, 0x41}, true, 3, VTC_UTF_8},
                                         BOMCase{{0xFF, 0xFE, 0x00, 0x00}, true, 4, VTC_UTF_32},
                                         BOMCase{{0x00, 0x00, 0xFE, 0xFF}, true, 4, VTC_UTF_32_BIGENDIAN},
                                         BOMCase{{0xFE, 0xFF, 0x00, 0x41}, true, 2, VTC_UTF_16_BIGENDIAN},
                                         BOMCase{{0xFF, 0xFE, 0x41, 0x00}, true, 2, VTC_UTF_16},
                                         BOMCase{{0xFF, 0xFE, 0x00}, true, 2, VTC_UTF_16},
                                         BOMCase{{0xEF, 0xBB}, false, 0, VTC_UNKNOWN},
                                         BOMCase{{0xFF}, false, 0, VTC_UNKNOWN},
                                         BOMCase{{}, false, 0, VTC_UNKNOWN},
                                         BOMCase{{0x41, 0x42, 0x43}, false, 0, VTC_UNKNOWN}));

TEST(ByteOrderMarks, GetBOMForCharSetMatchesParseBOM)
{
    for (CharSet charSet : {VTC_UTF_8, VTC_UTF_16, VTC_UTF_16_BIGENDIAN, VTC_UTF_32, VTC_UTF_32_BIGENDIAN})
    {
        size_t size = 0;
        const uint8_t* bytes = VTextConverters::GetBOMForCharSet(charSet, size);
        ASSERT_NE(bytes, nullptr);
        size_t parsedSize = 0;
        CharSet parsed = VTC_UNKNOWN;
        EXPECT_TRUE(VTextConverters::ParseBOM(bytes, size, &parsedSize, &parsed));
        EXPECT_EQ(parsedSize, size);
        EXPECT_EQ(parsed, charSet);
    }
    size_t size = 0;
    const uint8_t* utf8 = VTextConverters::GetBOMForCharSet(VTC_UTF_8, size);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(utf8, "\xEF\xBB\xBF", 3), 0);
    for (CharSet charSet :
         {VTC_UTF_32_RAW_SWAPPED, VTC_UTF_32_RAW, VTC_UNKNOWN, VTC_StdLib_char, VTC_ISO_8859_1})
    {
        size = 7;
        EXPECT_EQ(VTextConverters::GetBOMForCharSet(charSet, size), nullptr);
        EXPECT_EQ(size, 0u);
    }
}

// ---------------------------------------------------------------------------------------------
// The cache

TEST(VTextConverters, CachedConvertersAreSharedAndNewOnesBelongToTheCaller)
{
    for (CharSet cached :
         {VTC_StdLib_char, VTC_UTF_16_BIGENDIAN, VTC_UTF_16, VTC_UTF_32, VTC_UTF_32_RAW, VTC_UTF_8})
    {
        VToUnicodeConverter* first = Converters().RetainToUnicodeConverter(cached);
        VToUnicodeConverter* second = Converters().RetainToUnicodeConverter(cached);
        EXPECT_EQ(first, second) << cached;
        EXPECT_TRUE(first->IsValid());
        first->Release();
        second->Release();
        VFromUnicodeConverter* from = Converters().RetainFromUnicodeConverter(cached);
        VFromUnicodeConverter* again = Converters().RetainFromUnicodeConverter(cached);
        EXPECT_EQ(from, again) << cached;
        from->Release();
        again->Release();
    }
    EXPECT_EQ(Converters().GetStdLibToUnicodeConverter(),
              Converters().RetainToUnicodeConverter(VTC_StdLib_char));
    Converters().GetStdLibToUnicodeConverter()->Release();

    // Swapped UTF-32 forms are made for the caller: one release destroys them (ASan sees leaks).
    for (CharSet made : {VTC_UTF_32_BIGENDIAN, VTC_UTF_32_RAW_SWAPPED})
    {
        VToUnicodeConverter* first = Converters().RetainToUnicodeConverter(made);
        VToUnicodeConverter* second = Converters().RetainToUnicodeConverter(made);
        EXPECT_NE(first, second);
        EXPECT_EQ(first->GetRefCount(), 1u);
        first->Release();
        second->Release();
        VFromUnicodeConverter* from = Converters().RetainFromUnicodeConverter(made);
        EXPECT_EQ(from->GetRefCount(), 1u);
        from->Release();
    }
}

// The Mac code pages the platform lacks, sets outside the table, and no set at all.
TEST(VTextConverters, SetsNobodyConvertsGetVoidConverters)
{
    for (CharSet missing :
         {VTC_UNKNOWN, CharSet(12), CharSet(-1), CharSet(5000), VTC_MacArabic, VTC_MacHebrew,
          VTC_MacSimplifiedChinese, VTC_MacTraditionalChinese, VTC_MacJapanese})
    {
        VToUnicodeConverter* to = Converters().RetainToUnicodeConverter(missing);
        VFromUnicodeConverter* from = Converters().RetainFromUnicodeConverter(missing);
        EXPECT_FALSE(to->IsValid()) << missing;
        EXPECT_FALSE(from->IsValid()) << missing;

        VString text(u"kept");
        size_t consumed = 9;
        EXPECT_FALSE(to->ConvertString("abc", 3, &consumed, text));
        EXPECT_EQ(consumed, 0u);
        EXPECT_EQ(Text(text), u"kept");
        int32_t charsConsumed = 9;
        size_t produced = 9;
        char bytes[8];
        EXPECT_FALSE(from->Convert(u"abc", 3, charsConsumed, bytes, sizeof(bytes), produced));
        EXPECT_EQ(charsConsumed, 0);
        EXPECT_EQ(produced, 0u);
        to->Release();
        from->Release();
    }
}

TEST(VTextConverters, ConvertToVStringReplacesTheTextAndTellsWhetherAllWasDecoded)
{
    VString text(u"previous");
    EXPECT_TRUE(Converters().ConvertToVString("caf\xC3\xA9", 5, VTC_UTF_8, text));
    EXPECT_EQ(Text(text), u"caf\u00E9");

    // An odd byte of UTF-16 is left out and makes the conversion incomplete.
    EXPECT_FALSE(Converters().ConvertToVString(u"hi", 3, VTC_UTF_16, text));
    EXPECT_EQ(Text(text), u"h");

    // No more bytes can come: a character cut short at the end is decoded byte by byte, as
    // other ill-formed bytes are, never dropped.
    EXPECT_TRUE(Converters().ConvertToVString("ab\xE2\x82", 4, VTC_UTF_8, text));
    EXPECT_EQ(Text(text), u"ab\u00E2\u0082");

    EXPECT_TRUE(Converters().ConvertToVString("\x00\x41\x20\xAC", 4, VTC_UTF_16_BIGENDIAN, text));
    EXPECT_EQ(Text(text), u"A\u20AC");
    EXPECT_TRUE(Converters().ConvertToVString("\x8E\xDB", 2, VTC_StdLib_char, text));
    EXPECT_EQ(Text(text), u"\u00E9\u20AC");
    EXPECT_TRUE(Converters().ConvertToVString("\xE9t\xE9", 3, VTC_ISO_8859_1, text));
    EXPECT_EQ(Text(text), u"\u00E9t\u00E9");
    EXPECT_FALSE(Converters().ConvertToVString("abc", 3, CharSet(12), text));
    EXPECT_TRUE(text.IsEmpty());
}

TEST(VTextConverters, ConvertFromVStringEncodesIntoTheCallersBuffer)
{
    VString text(u"\u00E9t\u00E9 \u20AC");
    struct Case
    {
        CharSet fCharSet;
        std::string fBytes;
    };
    const Case cases[] = {
        {VTC_UTF_8, "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
        {VTC_StdLib_char, "\x8Et\x8E \xDB"},
        {VTC_Win32Ansi, "\xE9t\xE9 \x80"},
        {VTC_UTF_16_BIGENDIAN, std::string("\x00\xE9\x00t\x00\xE9\x00 \x20\xAC", 10)},
        {VTC_UTF_32, std::string("\xE9\0\0\0t\0\0\0\xE9\0\0\0 \0\0\0\xAC\x20\0\0", 20)},
    };
    for (const Case& encoding : cases)
    {
        char bytes[32];
        int32_t consumed = 0;
        size_t produced = 0;
        EXPECT_TRUE(Converters().ConvertFromVString(text, consumed, bytes, sizeof(bytes), produced,
                                                    encoding.fCharSet));
        EXPECT_EQ(consumed, text.GetLength()) << encoding.fCharSet;
        EXPECT_EQ(std::string(bytes, produced), encoding.fBytes) << encoding.fCharSet;
    }
}

// A whole text that ends in a lone high surrogate keeps it in its UTF-8 form, as its own three
// bytes (as a lone low surrogate is), and the conversion says it is complete.
TEST(VTextConverters, WholeTextsEncodeALoneHighSurrogateAtTheEnd)
{
    const UniChar units[] = {u'a', 0xD800};
    VString text;
    text.FromUniString(units, 2);
    const std::string expected = "a\xED\xA0\x80";

    VMemoryBuffer<1024ul, 2ul, 1048576ul> buffer;
    EXPECT_TRUE(text.ToBuffer(buffer, VTC_UTF_8));
    EXPECT_EQ(std::string(static_cast<const char*>(buffer.GetDataPtr()), buffer.GetDataSize()), expected);

    char bytes[16];
    EXPECT_EQ(text.ToBlock(bytes, sizeof(bytes), VTC_UTF_8, false, false), expected.size());
    EXPECT_EQ(std::string(bytes, expected.size()), expected);

    int32_t consumed = 0;
    size_t produced = 0;
    EXPECT_TRUE(Converters().ConvertFromVString(text, consumed, bytes, sizeof(bytes), produced, VTC_UTF_8));
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(std::string(bytes, produced), expected);

    // And it reads back as the same units.
    const VString back(expected.data(), expected.size(), VTC_UTF_8);
    EXPECT_TRUE(back.EqualToStringRaw(text));
}

TEST(VTextConverters, StringsDecodeBlocksAndCStringsThroughTheCache)
{
    VString text;
    EXPECT_EQ(text.FromBlock("ab\xE2\x82", 4, VTC_UTF_8), 4u) << "the bytes decoded";
    EXPECT_EQ(Text(text), u"ab\u00E2\u0082");
    text.AppendBlock("\xE2\x82\xAC", 3, VTC_UTF_8);
    EXPECT_EQ(Text(text), u"ab\u00E2\u0082\u20AC");
    text.AppendBlock("\xA4", 1, VTC_ISO_8859_15);
    EXPECT_EQ(Text(text), u"ab\u00E2\u0082\u20AC\u20AC");
    VString macRoman("\xA5 caf\x8E");
    EXPECT_EQ(Text(macRoman), u"\u2022 caf\u00E9");
}

// A fresh process, so that the threads really are the first to ask.
TEST(VTextConvertersDeathTest, IsMadeOnceWhenThreadsAskFirstAtTheSameMoment)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            constexpr int kThreads = 8;
            std::atomic<int> ready{0};
            std::vector<VTextConverters*> seen(kThreads);
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
            {
                threads.emplace_back(
                    [&, t]
                    {
                        ++ready;
                        while (ready.load() < kThreads)
                        {
                        }
                        seen[size_t(t)] = VTextConverters::Get();
                        VString decoded;
                        seen[size_t(t)]->ConvertToVString("\xC3\xA9", 2, VTC_UTF_8, decoded);
                        if (decoded.GetLength() != 1 || decoded.GetCPointer()[0] != 0xE9)
                            seen[size_t(t)] = nullptr;
                    });
            }
            for (std::thread& thread : threads)
                thread.join();
            for (VTextConverters* instance : seen)
            {
                if (instance == nullptr || instance != seen[0])
                    std::exit(1);
            }
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace kova
