#include "kernel/text/VToUnicodeConverter_UTF8.h"

#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kova
{
namespace
{

struct DecodeCase
{
    std::string fBytes;
    std::u16string fUnits;
    size_t fConsumed;
    bool fResult;
};

class UTF8Decoding : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(UTF8Decoding, Convert)
{
    const DecodeCase& decoding = GetParam();
    const VToUnicodeConverter_UTF8 converter;
    std::vector<UniChar> units(decoding.fBytes.size() + 1);
    size_t consumed = 0;
    int32_t produced = 0;
    EXPECT_EQ(converter.Convert(decoding.fBytes.data(), decoding.fBytes.size(), consumed, units.data(),
                                int32_t(units.size()), produced),
              decoding.fResult);
    EXPECT_EQ(std::u16string(units.data(), size_t(produced)), decoding.fUnits);
    EXPECT_EQ(consumed, decoding.fConsumed);
}

INSTANTIATE_TEST_SUITE_P(
    KeptForStoredText, UTF8Decoding,
    testing::Values(DecodeCase{"\xC3\xA9", u"\u00E9", 2, true},
                    DecodeCase{"\xF0\x9F\x98\x80", u"\U0001F600", 4, true},
                    DecodeCase{"\x80", u"\u0080", 1, true}, DecodeCase{"a\xBF", u"a\u00BF", 2, true},
                    DecodeCase{std::string("\xC0\x80", 2), std::u16string(1, u'\0'), 2, true},
                    DecodeCase{"\xED\xA0\x80\xED\xBF\xBF", u"\xD800\xDFFF", 6, true},
                    DecodeCase{"\xE0\x82\xA9", u"\u00A9", 3, true}, // overlong, but not ASCII
                    DecodeCase{"\xF8\x88\x80\x80\x80", u"?", 5, false},
                    DecodeCase{"\xF4\x90\x80\x80", u"?", 4, false}));

INSTANTIATE_TEST_SUITE_P(CutShortAtTheEnd, UTF8Decoding,
                         testing::Values(DecodeCase{"ab\xE2\x82", u"ab", 2, true},
                                         DecodeCase{"\xC3", u"", 0, true},
                                         DecodeCase{"x\xF0\x9F\x98", u"x", 1, true},
                                         DecodeCase{"\xFC\x80\x80\x80\x80", u"", 0, true}));

// A lead byte whose trailing bytes are not all 10xxxxxx stands alone, and the next byte is read
// afresh: nothing valid is swallowed.
INSTANTIATE_TEST_SUITE_P(MalformedLeadsStandAlone, UTF8Decoding,
                         testing::Values(DecodeCase{"\xC3\x41", u"\u00C3A", 2, true},
                                         DecodeCase{"\xE2\x82\x41", u"\u00E2\u0082A", 3, true},
                                         DecodeCase{"\xF0\x9F\x98<", u"\u00F0\u009F\u0098<", 4, true},
                                         DecodeCase{"\xE2\xC3\xA9", u"\u00E2\u00E9", 3, true},
                                         DecodeCase{"\xC3", u"", 0, true}));

// An overlong form of an ASCII character never gives that character.
INSTANTIATE_TEST_SUITE_P(OverlongAscii, UTF8Decoding,
                         testing::Values(DecodeCase{"\xC0\xAF", u"\uFFFD", 2, true},
                                         DecodeCase{"\xC1\xBF", u"\uFFFD", 2, true},
                                         DecodeCase{"\xE0\x80\xAE", u"\uFFFD", 3, true},
                                         DecodeCase{"\xF0\x80\x80\xA2", u"\uFFFD", 4, true},
                                         DecodeCase{"\xE0\x80\x80", u"\uFFFD", 3, true},
                                         DecodeCase{"\xF8\x80\x80\x80\xBC", u"\uFFFD", 5, true}));

TEST(UTF8Decoding, AsciiRunsOfEveryLengthAroundOtherCharacters)
{
    const VToUnicodeConverter_UTF8 converter;
    for (size_t before = 0; before < 40; ++before)
    {
        std::string bytes(before, 'a');
        bytes += "\xE2\x82\xAC";
        bytes += std::string(40 - before, 'z');
        std::u16string expected =
            std::u16string(before, u'a') + u"\u20AC" + std::u16string(40 - before, u'z');
        std::vector<UniChar> units(bytes.size());
        size_t consumed = 0;
        int32_t produced = 0;
        EXPECT_TRUE(converter.Convert(bytes.data(), bytes.size(), consumed, units.data(),
                                      int32_t(units.size()), produced));
        EXPECT_EQ(std::u16string(units.data(), size_t(produced)), expected) << before;
        EXPECT_EQ(consumed, bytes.size());
    }
}

// Runs of two-byte characters are decoded four at a time, with the lone ASCII bytes between words:
// any other form in any of the four places decodes as it does when the bytes come a few at a
// time (an input shorter than a block never takes the fast paths).
TEST(UTF8Decoding, RunsOfTwoByteCharactersDecodeAsByteByByte)
{
    const VToUnicodeConverter_UTF8 converter;
    auto inSmallPieces = [&](const std::string& inBytes, bool& outResult)
    {
        std::u16string units;
        outResult = true;
        for (size_t used = 0; used < inBytes.size();)
        {
            UniChar piece[16];
            size_t consumed = 0;
            int32_t produced = 0;
            outResult = converter.Convert(inBytes.data() + used, std::min<size_t>(inBytes.size() - used, 15),
                                          consumed, piece, 16, produced) &&
                        outResult;
            units.append(piece, size_t(produced));
            if (consumed == 0)
                break;
            used += consumed;
        }
        return units;
    };
    const char* const kOthers[] = {"\xC0\x80",
                                   "\xC1\xBF",
                                   "\xC2\x80",
                                   "\xDF\xBF",
                                   "\xE0\xA0\x80",
                                   "\xE4\xB8\x80",
                                   "\x80",
                                   "\xBF\x80",
                                   "A",
                                   "A ",
                                   " \xD0\x96",
                                   "\xD0",
                                   "\xD0\x41",
                                   "\xF0\x90\x80\x80",
                                   "\xED\xA0\x80",
                                   "\xF8\x88\x80\x80\x80"};
    const std::string letter = "\xD0\x96";
    for (const char* other : kOthers)
    {
        for (int before = 0; before < 8; ++before)
        {
            std::string bytes = "ascii first ";
            for (int i = 0; i < before; ++i)
                bytes += letter;
            bytes += other;
            for (int i = 0; i < 9; ++i)
                bytes += letter;
            bool expectedResult = true;
            const std::u16string expected = inSmallPieces(bytes, expectedResult);
            std::vector<UniChar> units(bytes.size());
            size_t consumed = 0;
            int32_t produced = 0;
            EXPECT_EQ(converter.Convert(bytes.data(), bytes.size(), consumed, units.data(),
                                        int32_t(units.size()), produced),
                      expectedResult);
            EXPECT_EQ(std::u16string(units.data(), size_t(produced)), expected) << before << " " << other;
            EXPECT_EQ(consumed, bytes.size());
        }
    }
}

TEST(UTF8Decoding, StopsWhereTheOutputIsFull)
{
    const VToUnicodeConverter_UTF8 converter;
    const std::string bytes = "abcdefghijklmnopqrstuvwxyz\xF0\x9F\x98\x80!";
    UniChar units[32];
    size_t consumed = 0;
    int32_t produced = 0;
    EXPECT_TRUE(converter.Convert(bytes.data(), bytes.size(), consumed, units, 20, produced));
    EXPECT_EQ(produced, 20);
    EXPECT_EQ(consumed, 20u);
    // One unit of room left: the pair does not start.
    EXPECT_TRUE(converter.Convert(bytes.data(), bytes.size(), consumed, units, 27, produced));
    EXPECT_EQ(produced, 26);
    EXPECT_EQ(consumed, 26u);
    EXPECT_TRUE(converter.Convert(bytes.data(), bytes.size(), consumed, units, 0, produced));
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(consumed, 0u);
}

TEST(UTF8Decoding, ConvertStringAppendsAndLeavesAnIncompleteTail)
{
    const VToUnicodeConverter_UTF8 converter;
    VString text(u"\u00BB ");
    size_t consumed = 0;
    EXPECT_TRUE(converter.ConvertString("na\xC3\xAFve \xE2\x82", 9, &consumed, text));
    EXPECT_EQ(std::u16string(text.GetCPointer(), size_t(text.GetLength())), u"\u00BB na\u00EFve ");
    EXPECT_EQ(consumed, 7u);
}

// A value beyond Unicode becomes one "?": one unit of room is enough for it.
TEST(UTF8Decoding, AValueBeyondUnicodeNeedsOneUnitOfRoom)
{
    const VToUnicodeConverter_UTF8 converter;
    const std::string bytes = "ab\xF8\x88\x80\x80\x80";
    UniChar units[3];
    size_t consumed = 0;
    int32_t produced = 0;
    EXPECT_FALSE(converter.Convert(bytes.data(), bytes.size(), consumed, units, 3, produced));
    EXPECT_EQ(std::u16string(units, size_t(produced)), u"ab?");
    EXPECT_EQ(consumed, bytes.size());
}

// At the end of the input nothing more can come: a sequence cut short there, or a lead byte that
// no sequence follows, decodes as other ill-formed bytes do, each standing alone. Every
// whole-buffer path gives the same units and consumes every byte; the streaming Convert keeps the
// tail for the next piece.
class UTF8LastDecoding : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(UTF8LastDecoding, WholeBufferPaths)
{
    const DecodeCase& decoding = GetParam();
    const VToUnicodeConverter_UTF8 converter;
    std::vector<UniChar> units(decoding.fBytes.size() + 1);
    size_t consumed = 0;
    int32_t produced = 0;
    EXPECT_TRUE(converter.ConvertLast(decoding.fBytes.data(), decoding.fBytes.size(), consumed, units.data(),
                                      int32_t(units.size()), produced));
    EXPECT_EQ(std::u16string(units.data(), size_t(produced)), decoding.fUnits);
    EXPECT_EQ(consumed, decoding.fBytes.size());

    const VString made(decoding.fBytes.data(), decoding.fBytes.size(), VTC_UTF_8);
    EXPECT_EQ(std::u16string(made.GetCPointer(), size_t(made.GetLength())), decoding.fUnits);
    VString block;
    EXPECT_EQ(block.FromBlock(decoding.fBytes.data(), decoding.fBytes.size(), VTC_UTF_8),
              decoding.fBytes.size());
    EXPECT_EQ(std::u16string(block.GetCPointer(), size_t(block.GetLength())), decoding.fUnits);
    VString appended(u"<");
    EXPECT_TRUE(
        converter.ConvertLastString(decoding.fBytes.data(), decoding.fBytes.size(), &consumed, appended));
    EXPECT_EQ(std::u16string(appended.GetCPointer(), size_t(appended.GetLength())), u"<" + decoding.fUnits);
    EXPECT_EQ(consumed, decoding.fBytes.size());

    // The streaming form still keeps the tail.
    EXPECT_TRUE(converter.Convert(decoding.fBytes.data(), decoding.fBytes.size(), consumed, units.data(),
                                  int32_t(units.size()), produced));
    EXPECT_EQ(consumed, decoding.fConsumed);
}

INSTANTIATE_TEST_SUITE_P(
    Tails, UTF8LastDecoding,
    testing::Values(DecodeCase{"\x37\xFF", u"7\u00FF", 1, true},
                    DecodeCase{"\xF7\xBF\xBF", u"\u00F7\u00BF\u00BF", 0, true},
                    DecodeCase{"ab\xE2\x82", u"ab\u00E2\u0082", 2, true},
                    DecodeCase{"\xC3", u"\u00C3", 0, true}, DecodeCase{"\xF8\x88", u"\u00F8\u0088", 0, true},
                    // The tail's second byte starts a sequence of its own, itself cut short.
                    DecodeCase{"\xF0\xE2\x82", u"\u00F0\u00E2\u0082", 1, true},
                    DecodeCase{"x\xF0\x9F\x98", u"x\u00F0\u009F\u0098", 1, true},
                    DecodeCase{"\xC3\xA9", u"\u00E9", 2, true}));

} // namespace
} // namespace kova
