// The platform converters, alone and through the converter cache: every set of the table converts
// both ways where the platform has it, with the bytes each set is known to use.
#include "platform/mac/text/XMacFromUnicodeConverter.h"
#include "platform/mac/text/XMacIntlMgr.h"
#include "platform/mac/text/XMacTextEncoding.h"
#include "platform/mac/text/XMacToUnicodeConverter.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/CharSetTable.h"
#include "kernel/text/VString.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/values/VMemory.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <algorithm>
#include <atomic>
#include <set>
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

// The sets the platform lacks: Mac Arabic, Hebrew, Simplified Chinese, Traditional Chinese and
// Japanese.
const std::set<CharSet> kMissing = {VTC_MacArabic, VTC_MacHebrew, VTC_MacSimplifiedChinese,
                                    VTC_MacTraditionalChinese, VTC_MacJapanese};

// Every set of the table that the toolbox does not convert itself, and the standard 8-bit set.
std::set<CharSet> PlatformSets()
{
    std::set<CharSet> sets{VTC_StdLib_char, VTC_MacTraditionalChinese, VTC_WinTraditionalChinese};
    for (const CharSetTableRow* row = kCharSetTable; row->fName != nullptr; ++row)
    {
        if (row->fCharSet >= VTC_UTF_7)
            sets.insert(row->fCharSet);
    }
    return sets;
}

TEST(XMacTextEncoding, EverySetMapsToAConverterThatOpensUnlessThePlatformLacksIt)
{
    for (CharSet charSet : PlatformSets())
    {
        tec::TextEncoding encoding = XMacTextEncoding::FromCharSet(charSet);
        ASSERT_NE(encoding, tec::kTextEncodingUnknown) << charSet;
        const char* name = tec::GetICUConverterName(encoding);
        EXPECT_EQ(name == nullptr, kMissing.count(charSet) == 1) << charSet;
        if (name != nullptr)
        {
            UErrorCode error = U_ZERO_ERROR;
            UConverter* converter = ucnv_open(name, &error);
            EXPECT_TRUE(U_SUCCESS(error)) << charSet << " " << name;
            ucnv_close(converter);
        }
        VRefPtr<VToUnicodeConverter> to(XMacIntlMgr::NewToUnicodeConverter(charSet));
        VRefPtr<VFromUnicodeConverter> from(XMacIntlMgr::NewFromUnicodeConverter(charSet));
        EXPECT_EQ(to == nullptr, kMissing.count(charSet) == 1) << charSet;
        EXPECT_EQ(from == nullptr, kMissing.count(charSet) == 1) << charSet;
        if (from)
        {
            EXPECT_EQ(from->GetCharSize(), charSet == VTC_UTF_7 ? 1 : 2) << charSet;
        }
    }
    for (CharSet unknown :
         {VTC_UNKNOWN, VTC_UTF_16_BIGENDIAN, VTC_UTF_32_BIGENDIAN, CharSet(12), CharSet(121)})
    {
        EXPECT_EQ(XMacTextEncoding::FromCharSet(unknown), tec::kTextEncodingUnknown) << unknown;
        EXPECT_EQ(XMacIntlMgr::NewToUnicodeConverter(unknown), nullptr) << unknown;
    }
}

// A text and its bytes in a set.
struct RoundTrip
{
    CharSet fCharSet;
    std::u16string fText;
    std::string fBytes;
};

class CharSetRoundTrips : public testing::TestWithParam<RoundTrip>
{
};

// Encodes with ConvertRealloc through a retained converter, decodes with ConvertToVString.
TEST_P(CharSetRoundTrips, EncodeAndDecodeThroughTheCache)
{
    const RoundTrip& trip = GetParam();
    StErrorContextInstaller errors(false);
    VFromUnicodeConverter* encoder = VTextConverters::Get()->RetainFromUnicodeConverter(trip.fCharSet);
    ASSERT_TRUE(encoder->IsValid());
    void* block = nullptr;
    size_t used = 0;
    int32_t consumed = 0;
    EXPECT_TRUE(
        encoder->ConvertRealloc(trip.fText.data(), int32_t(trip.fText.size()), block, used, 0, &consumed));
    encoder->Release();
    EXPECT_EQ(consumed, int32_t(trip.fText.size()));
    std::string bytes(static_cast<const char*>(block), used);
    VMemory::DisposePtr(block);
    EXPECT_EQ(bytes, trip.fBytes);

    VString decoded;
    EXPECT_TRUE(VTextConverters::Get()->ConvertToVString(trip.fBytes.data(), trip.fBytes.size(),
                                                         trip.fCharSet, decoded));
    EXPECT_EQ(Text(decoded), trip.fText);
    EXPECT_EQ(errors.GetLastError(), VE_OK);
}

INSTANTIATE_TEST_SUITE_P(
    UnicodeForms, CharSetRoundTrips,
    testing::Values(RoundTrip{VTC_UTF_8, u"\uFEFFcaf\u00E9 \U0001F600",
                              "\xEF\xBB\xBF"
                              "caf\xC3\xA9 \xF0\x9F\x98\x80"},
                    RoundTrip{VTC_UTF_16, u"\uFEFFA\u20AC",
                              std::string("\xFF\xFE"
                                          "A\0\xAC\x20",
                                          6)},
                    RoundTrip{VTC_UTF_16_BIGENDIAN, u"\uFEFFA\u20AC", std::string("\xFE\xFF\0A\x20\xAC", 6)},
                    RoundTrip{VTC_UTF_32, u"\uFEFF\U0001F600", std::string("\xFF\xFE\0\0\x00\xF6\x01\0", 8)},
                    RoundTrip{VTC_UTF_32_BIGENDIAN, u"\uFEFF\U0001F600",
                              std::string("\0\0\xFE\xFF\0\x01\xF6\x00", 8)},
                    RoundTrip{VTC_UTF_32_RAW, u"A\xD800", std::string("A\0\0\0\x00\xD8\0\0", 8)},
                    RoundTrip{VTC_UTF_32_RAW_SWAPPED, u"A\xD800", std::string("\0\0\0A\0\0\xD8\x00", 8)},
                    RoundTrip{VTC_UTF_7, u"A\u20AC+", "A+IKwAKw-"}));

INSTANTIATE_TEST_SUITE_P(ISO8859, CharSetRoundTrips,
                         testing::Values(RoundTrip{VTC_ISO_8859_1, u"caf\u00E9 \u00FF", "caf\xE9 \xFF"},
                                         RoundTrip{VTC_ISO_8859_2, u"\u0141\u00F3d\u017A",
                                                   "\xA3\xF3"
                                                   "d\xBC"},
                                         RoundTrip{VTC_ISO_8859_3, u"\u0126\u011D", "\xA1\xF8"},
                                         RoundTrip{VTC_ISO_8859_4, u"\u0100\u012B", "\xC0\xEF"},
                                         RoundTrip{VTC_ISO_8859_5, u"\u041C\u0438\u0440", "\xBC\xD8\xE0"},
                                         RoundTrip{VTC_ISO_8859_6, u"\u0627\u0644", "\xC7\xE4"},
                                         RoundTrip{VTC_ISO_8859_7, u"\u0391\u03C9", "\xC1\xF9"},
                                         RoundTrip{VTC_ISO_8859_8, u"\u05D0\u05EA", "\xE0\xFA"},
                                         RoundTrip{VTC_ISO_8859_9, u"\u011E\u0131", "\xD0\xFD"},
                                         RoundTrip{VTC_ISO_8859_10, u"\u0138\u016B", "\xFF\xBE"},
                                         RoundTrip{VTC_ISO_8859_13, u"\u201D\u0160", "\xA1\xD0"},
                                         RoundTrip{VTC_ISO_8859_15, u"\u20AC\u0153", "\xA4\xBD"},
                                         RoundTrip{VTC_US_ASCII, u"plain text", "plain text"},
                                         RoundTrip{VTC_KOI8R, u"\u041C\u0438\u0440", "\xED\xC9\xD2"},
                                         RoundTrip{VTC_IBM437, u"\u00C7\u2591", "\x80\xB0"},
                                         RoundTrip{VTC_EBCDIC_037, u"Hi!", "\xC8\x89\x5A"}));

INSTANTIATE_TEST_SUITE_P(WindowsAndMacCodePages, CharSetRoundTrips,
                         testing::Values(RoundTrip{VTC_Win32Ansi, u"\u20AC\u201C\u00E9", "\x80\x93\xE9"},
                                         RoundTrip{VTC_WinCentralEurRoman, u"\u0141\u0161", "\xA3\x9A"},
                                         RoundTrip{VTC_WinCyrillic, u"\u041C\u0438\u0440", "\xCC\xE8\xF0"},
                                         RoundTrip{VTC_WinGreek, u"\u0391\u03C9", "\xC1\xF9"},
                                         RoundTrip{VTC_WinTurkish, u"\u011E\u0131", "\xD0\xFD"},
                                         RoundTrip{VTC_WinHebrew, u"\u05D0\u20AA", "\xE0\xA4"},
                                         RoundTrip{VTC_WinArabic, u"\u0627\u0686", "\xC7\x8D"},
                                         RoundTrip{VTC_WinBaltic, u"\u0160\u012B", "\xD0\xEE"},
                                         RoundTrip{VTC_StdLib_char, u"caf\u00E9 \u2022", "caf\x8E \xA5"},
                                         RoundTrip{VTC_MacOSAnsi, u"caf\u00E9 \u2022", "caf\x8E \xA5"},
                                         RoundTrip{VTC_MacCentralEurRoman, u"\u0141\u0161", "\xFC\xE4"},
                                         RoundTrip{VTC_MacBaltic, u"\u0141\u0161", "\xFC\xE4"},
                                         RoundTrip{VTC_MacCyrillic, u"\u041C\u0438\u0440", "\x8C\xE8\xF0"},
                                         RoundTrip{VTC_MacGreek, u"\u0391\u03C9", "\xB0\xF6"},
                                         RoundTrip{VTC_MacTurkish, u"\u011E\u0131", "\xDA\xDD"}));

INSTANTIATE_TEST_SUITE_P(
    MultiByte, CharSetRoundTrips,
    testing::Values(RoundTrip{VTC_ShiftJIS, u"A\u65E5\u672C\uFF71", "A\x93\xFA\x96\x7B\xB1"},
                    RoundTrip{VTC_Windows31J, u"A\u65E5\u672C\u2460", "A\x93\xFA\x96\x7B\x87\x40"},
                    RoundTrip{VTC_Jis, u"A\u65E5\u672CB", "A\x1B$BF|K\\\x1B(BB"},
                    RoundTrip{VTC_Big5, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
                    RoundTrip{VTC_WinTraditionalChinese, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
                    RoundTrip{VTC_Korean_EUC, u"\uD55C\uAE00", "\xC7\xD1\xB1\xDB"},
                    RoundTrip{VTC_WinSimplifiedChinese, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
                    RoundTrip{VTC_GB2312, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
                    RoundTrip{VTC_GB2312_80, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"}));

// The standard 8-bit set is decoded and encoded by the toolbox's own Mac Roman table; the
// platform's Mac Roman must read and write every byte the same way.
TEST(XMacToUnicodeConverter, ThePlatformMacRomanAgreesWithTheBuiltInOne)
{
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte)
        bytes += char(byte);
    VString builtIn;
    VString platform;
    ASSERT_TRUE(
        VTextConverters::Get()->ConvertToVString(bytes.data(), bytes.size(), VTC_StdLib_char, builtIn));
    ASSERT_TRUE(
        VTextConverters::Get()->ConvertToVString(bytes.data(), bytes.size(), VTC_MacOSAnsi, platform));
    EXPECT_EQ(Text(builtIn), Text(platform));

    char encoded[256];
    int32_t consumed = 0;
    size_t produced = 0;
    XMacFromUnicodeConverter encoder(VTC_MacOSAnsi);
    EXPECT_TRUE(encoder.Convert(builtIn.GetCPointer(), builtIn.GetLength(), consumed, encoded,
                                sizeof(encoded), produced));
    EXPECT_EQ(std::string(encoded, produced), bytes);
}

class UnmappableCharacters : public testing::TestWithParam<RoundTrip>
{
};

// A character the set lacks becomes one "?", a surrogate pair included, and the text goes on.
TEST_P(UnmappableCharacters, BecomeAQuestionMark)
{
    const RoundTrip& replacement = GetParam();
    XMacFromUnicodeConverter encoder(replacement.fCharSet);
    char bytes[64];
    int32_t consumed = 0;
    size_t produced = 0;
    EXPECT_TRUE(encoder.Convert(replacement.fText.data(), int32_t(replacement.fText.size()), consumed, bytes,
                                sizeof(bytes), produced));
    EXPECT_EQ(consumed, int32_t(replacement.fText.size()));
    EXPECT_EQ(std::string(bytes, produced), replacement.fBytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnmappableCharacters,
                         testing::Values(RoundTrip{VTC_ISO_8859_1, u"a\u20ACb\U0001F600c", "a?b?c"},
                                         RoundTrip{VTC_ISO_8859_1, u"\u4E2D\u4E2D", "??"},
                                         RoundTrip{VTC_US_ASCII, u"\xD83Dx\xDC00", "?x?"},
                                         RoundTrip{VTC_Win32Ansi, u"x\xD83D", "x?"},
                                         // the text before the "?" ends in ASCII
                                         RoundTrip{VTC_Jis, u"\u65E5\u20A9\u65E5",
                                                   "\x1B$BF|\x1B(B?\x1B$BF|\x1B(B"}));

TEST(UnmappableCharacters, AreLeftToTheNextPassOnceHalfTheOutputIsUsed)
{
    XMacFromUnicodeConverter encoder(VTC_ISO_8859_1);
    char bytes[4];
    int32_t consumed = 0;
    size_t produced = 0;
    EXPECT_TRUE(encoder.Convert(u"ab\u20ACc", 4, consumed, bytes, sizeof(bytes), produced));
    EXPECT_EQ(std::string(bytes, produced), "ab");
    EXPECT_EQ(consumed, 2);
    EXPECT_TRUE(encoder.Convert(u"\u20ACc", 2, consumed, bytes, sizeof(bytes), produced));
    EXPECT_EQ(std::string(bytes, produced), "?c");
    EXPECT_EQ(consumed, 2);
    EXPECT_TRUE(encoder.Convert(u"abc", 3, consumed, bytes, 0, produced));
    EXPECT_EQ(produced, 0u);
}

TEST(XMacToUnicodeConverter, BytesCutShortAtTheEndAreNotConsumed)
{
    XMacToUnicodeConverter decoder(VTC_ShiftJIS);
    VString text;
    size_t consumed = 0;
    EXPECT_TRUE(decoder.ConvertString("A\x93\xFA\x96", 4, &consumed, text));
    EXPECT_EQ(Text(text), u"A\u65E5");
    EXPECT_EQ(consumed, 3u);
    // Bytes the set does not define decode to a replacement, never stop the text.
    XMacToUnicodeConverter windows(VTC_Win32Ansi);
    EXPECT_TRUE(windows.ConvertString("a\x81z", 3, &consumed, text));
    EXPECT_EQ(consumed, 3u);
    EXPECT_EQ(text.GetLength(), 5);
}

// A platform failure other than a full output or a character cut short raises its status in the
// CARB error (here paramErr, -50, for bytes that are not there) and consumes nothing.
TEST(XMacTextConverters, APlatformFailureRaisesACarbonErrorAndConsumesNothing)
{
    constexpr VError kCarbonParamErr = 0x43415242FFFFFFCE;
    StErrorContextInstaller errors(false);
    XMacToUnicodeConverter decoder(VTC_ShiftJIS);
    UniChar units[8];
    size_t consumed = 9;
    int32_t produced = 9;
    EXPECT_FALSE(decoder.Convert(nullptr, 5, consumed, units, 8, produced));
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(errors.GetLastError(), kCarbonParamErr);

    XMacFromUnicodeConverter encoder(VTC_ShiftJIS);
    char bytes[8];
    int32_t consumedUnits = 9;
    size_t producedBytes = 9;
    EXPECT_FALSE(encoder.Convert(nullptr, 5, consumedUnits, bytes, sizeof(bytes), producedBytes));
    EXPECT_EQ(consumedUnits, 0);
    EXPECT_EQ(producedBytes, 0u);
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
    EXPECT_EQ(errors.GetLastError(), kCarbonParamErr);
}

// Where two long texts first differ, or their common length when one is shorter; -1 when equal.
ptrdiff_t FirstDifference(const std::u16string& inText, const std::u16string& inExpected)
{
    if (inText == inExpected)
        return -1;
    auto mismatch = std::mismatch(inText.begin(), inText.end(), inExpected.begin(), inExpected.end());
    return mismatch.first - inText.begin();
}

struct LongText
{
    CharSet fCharSet;
    std::string fBytes;
    std::u16string fText;
};

// A stream decodes in windows of 4096 bytes; the shift sequence, or UTF-7's run of base64, opened
// in one window holds in the next.
TEST(XMacToUnicodeConverter, AStreamReadsShiftedTextAcrossItsWindows)
{
    LongText jis{VTC_Jis, "\x1B$B", u""};
    LongText utf7{VTC_UTF_7, "+", u""};
    for (int i = 0; i < 1000; ++i)
    {
        jis.fBytes += "F|K\\8l";
        utf7.fBytes += "ZeVnLIqe";
        jis.fText += u"\u65E5\u672C\u8A9E";
        utf7.fText += u"\u65E5\u672C\u8A9E";
    }
    jis.fBytes += "\x1B(Bend";
    jis.fText += u"end";
    utf7.fBytes += "-end";
    utf7.fText += u"end";
    for (const LongText& text : {jis, utf7})
    {
        VConstPtrStream stream(text.fBytes.data(), text.fBytes.size());
        stream.SetCharSet(text.fCharSet);
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        VString read;
        EXPECT_EQ(stream.GetText(read), VE_OK) << text.fCharSet;
        EXPECT_EQ(FirstDifference(Text(read), text.fText), -1) << text.fCharSet;
    }
}

// A text too long for one pass of the encoder goes on in the next pass in the same shift state:
// no return to ASCII and shift back lies between the passes, which decoders read as U+FFFD.
TEST(XMacFromUnicodeConverter, AStreamWritesLongShiftedTextThatReadsBack)
{
    std::u16string japanese;
    for (int i = 0; i < 1000; ++i)
        japanese += i % 7 == 0 ? u"\u65E5\u672C\u8A9E, " : u"\u65E5\u672C\u8A9E";
    for (CharSet charSet : {VTC_Jis, VTC_UTF_7})
    {
        VPtrStream stream;
        stream.SetCharSet(charSet);
        stream.SetCarriageReturnMode(eCRM_NONE);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        ASSERT_EQ(stream.PutText(VString(japanese.c_str())), VE_OK) << charSet;
        ASSERT_EQ(stream.CloseWriting(), VE_OK);
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        VString read;
        EXPECT_EQ(stream.GetText(read), VE_OK) << charSet;
        EXPECT_EQ(FirstDifference(Text(read), japanese), -1) << charSet;
    }
}

TEST(XMacToUnicodeConverter, AConverterServesSeveralTasksAtOnce)
{
    VRefPtr<VToUnicodeConverter> decoder(VTextConverters::Get()->RetainToUnicodeConverter(VTC_ShiftJIS));
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 2000; ++i)
    {
        bytes += "A\x93\xFA\x96\x7B";
        expected += u"A\u65E5\u672C";
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (int round = 0; round < 50; ++round)
                {
                    VString text;
                    size_t consumed = 0;
                    if (!decoder->ConvertString(bytes.data(), bytes.size(), &consumed, text) ||
                        Text(text) != expected)
                        ++failures;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
}

// A lone high surrogate in front of a text long enough to need several calls once made the
// encoder ask the platform again and again with nothing consumed. It becomes "?" in every set,
// and the conversion ends.
TEST(XMacFromUnicodeConverter, ALoneHighSurrogateBeforeALongTextEnds)
{
    for (size_t letters : {1, 30, 31, 200})
    {
        const VString text(("\xED\xA0\x80" + std::string(letters, 'A')).data(), letters + 3, VTC_UTF_8);
        ASSERT_EQ(text.GetLength(), int32_t(letters + 1));
        for (CharSet charSet : {VTC_Jis, VTC_UTF_7, VTC_ShiftJIS, VTC_Korean_EUC})
        {
            VMemoryBuffer<1024ul, 2ul, 1048576ul> bytes;
            EXPECT_TRUE(text.ToBuffer(bytes, charSet)) << charSet;
            const VString back(bytes.GetDataPtr(), bytes.GetDataSize(), charSet);
            if (charSet != VTC_UTF_7)
            {
                EXPECT_EQ(Text(back), u"?" + std::u16string(letters, u'A')) << charSet << " " << letters;
            }
        }
    }
}

// Decodes the bytes in pieces of inPiece bytes through one converter, as a stream reader does:
// what a call leaves unconsumed goes again at the front of the next piece, and the last piece
// ends the input.
std::u16string DecodeInPieces(CharSet inCharSet, const std::string& inBytes, size_t inPiece)
{
    VRefPtr<VToUnicodeConverter> decoder(VTextConverters::Get()->RetainToUnicodeConverter(inCharSet));
    VString text;
    std::string unread;
    for (size_t at = 0; at < inBytes.size();)
    {
        const size_t taken = std::min(inPiece, inBytes.size() - at);
        unread += inBytes.substr(at, taken);
        at += taken;
        size_t consumed = 0;
        const bool last = at == inBytes.size();
        if (last)
            decoder->ConvertLastString(unread.data(), unread.size(), &consumed, text);
        else
            decoder->ConvertString(unread.data(), unread.size(), &consumed, text);
        unread.erase(0, consumed);
    }
    return Text(text) + (unread.empty() ? u"" : u"<unread>");
}

// Any cut of a text decodes as the whole does, for the sets with shift states above all: pieces
// of every size over random bytes rich in escape sequences, shifts and lead bytes.
TEST(XMacToUnicodeConverter, AnyCutOfATextDecodesAsTheWhole)
{
    const std::string alphabet = "\x1B\x1B\x1B$$((BBJ@DI+-\x0E\x0F!#AZaz09/~\x80\x93\xA1\xFA\xFB\xFF";
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (CharSet charSet : {VTC_Jis, VTC_UTF_7, VTC_ShiftJIS, VTC_Korean_EUC, VTC_Big5})
    {
        for (int sample = 0; sample < 150; ++sample)
        {
            std::string bytes;
            const size_t length = 1 + next() % 20;
            for (size_t i = 0; i < length; ++i)
                bytes += alphabet[next() % alphabet.size()];
            VString whole;
            EXPECT_TRUE(VTextConverters::Get()->ConvertToVString(bytes.data(), bytes.size(), charSet, whole))
                << charSet;
            for (size_t piece : {1, 2, 3, 5})
            {
                EXPECT_EQ(DecodeInPieces(charSet, bytes, piece), Text(whole))
                    << "set " << charSet << ", pieces of " << piece << ", bytes "
                    << testing::PrintToString(bytes);
            }
        }
    }
    // The case that once lost text: two escapes and an invalid byte, in two-byte pieces.
    const std::string escapes = "\x1B\x1B\x28\xFB";
    VString whole(escapes.data(), escapes.size(), VTC_Jis);
    EXPECT_EQ(DecodeInPieces(VTC_Jis, escapes, 2), Text(whole));
    EXPECT_EQ(DecodeInPieces(VTC_Jis, escapes, 3), Text(whole));
}

} // namespace
} // namespace kova
