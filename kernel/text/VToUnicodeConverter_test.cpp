#include "kernel/text/VToUnicodeConverter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/text/VToUnicodeConverter_MacRoman.h"
#include "kernel/values/VCppMemMgrTesting_test.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

struct Decoded
{
    bool fResult;
    size_t fConsumed;
    std::u16string fUnits;
};

Decoded Decode(const VToUnicodeConverter& inConverter, const std::string& inBytes, int32_t inRoom)
{
    std::vector<UniChar> units(size_t(std::max(inRoom, 0)) + 1);
    Decoded decoded{};
    int32_t produced = 0;
    decoded.fResult = inConverter.Convert(inBytes.data(), inBytes.size(), decoded.fConsumed, units.data(),
                                          inRoom, produced);
    decoded.fUnits.assign(units.data(), size_t(produced));
    return decoded;
}

std::string Bytes(std::initializer_list<uint8_t> inBytes)
{
    return std::string(inBytes.begin(), inBytes.end());
}

// ---------------------------------------------------------------------------------------------
// UTF-16

TEST(UTF16Decoding, NullCopiesAndSwapExchangesBytesOfWholeUnits)
{
    const VToUnicodeConverter_Null null;
    const VToUnicodeConverter_Swap swap;
    const std::string bytes = Bytes({0x41, 0x00, 0xAC, 0x20, 0x7A});
    Decoded copied = Decode(null, bytes, 10);
    EXPECT_TRUE(copied.fResult);
    EXPECT_EQ(copied.fUnits, u"A\u20AC");
    EXPECT_EQ(copied.fConsumed, 4u);
    Decoded swapped = Decode(swap, bytes, 1);
    EXPECT_EQ(swapped.fUnits, u"\u4100");
    EXPECT_EQ(swapped.fConsumed, 2u);
}

TEST(UTF16Decoding, ConvertStringLeavesAnOddByteUnconsumed)
{
    const VToUnicodeConverter_Swap swap;
    VString text(u">");
    size_t consumed = 0;
    EXPECT_TRUE(swap.ConvertString("\x00\x41\x20\xAC\x00", 5, &consumed, text));
    EXPECT_EQ(Text(text), u">A\u20AC");
    EXPECT_EQ(consumed, 4u);
}

// ---------------------------------------------------------------------------------------------
// UTF-32

struct UTF32Case
{
    std::string fBytes; // little-endian units
    int32_t fRoom;
    bool fResult;
    size_t fConsumed;
    std::u16string fUnits;
};

class UTF32Decoding : public testing::TestWithParam<UTF32Case>
{
};

TEST_P(UTF32Decoding, InBothByteOrders)
{
    const UTF32Case& decoding = GetParam();
    std::string bigEndian = decoding.fBytes;
    for (size_t i = 0; i + 4 <= bigEndian.size(); i += 4)
        std::reverse(bigEndian.begin() + std::ptrdiff_t(i), bigEndian.begin() + std::ptrdiff_t(i) + 4);
    const VToUnicodeConverter_UTF32 little(false);
    const VToUnicodeConverter_UTF32 big(true);
    for (const auto& [converter, bytes] : {std::pair{&little, decoding.fBytes}, std::pair{&big, bigEndian}})
    {
        Decoded decoded = Decode(*converter, bytes, decoding.fRoom);
        EXPECT_EQ(decoded.fResult, decoding.fResult);
        EXPECT_EQ(decoded.fConsumed, decoding.fConsumed);
        EXPECT_EQ(decoded.fUnits, decoding.fUnits);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UTF32Decoding,
    testing::Values(UTF32Case{Bytes({0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0}), 8, true, 8, u"A\U0001F600"},
                    UTF32Case{"", 8, true, 0, u""},
                    // a surrogate value stops the decoding
                    UTF32Case{Bytes({0x41, 0, 0, 0, 0x00, 0xD8, 0, 0, 0x42, 0, 0, 0}), 8, false, 4, u"A"},
                    // a value beyond Unicode is dropped, and the caller learns it
                    UTF32Case{Bytes({0, 0, 0x11, 0}), 8, false, 4, u""},
                    UTF32Case{Bytes({0, 0, 0x11, 0, 0x42, 0, 0, 0}), 8, false, 8, u"B"},
                    // a pair needs two units of room; a full output stops with false
                    UTF32Case{Bytes({0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0}), 2, false, 4, u"A"},
                    UTF32Case{Bytes({0x41, 0, 0, 0, 0x42, 0, 0, 0}), 1, false, 4, u"A"},
                    // a partial unit at the end is not read
                    UTF32Case{Bytes({0x41, 0, 0, 0, 0x42, 0}), 8, true, 4, u"A"}));

TEST(UTF32Decoding, RawUnitsKeepTheirLowHalfAndMayBeDecodedInPlace)
{
    const VToUnicodeConverter_UTF32_Raw raw(false);
    const VToUnicodeConverter_UTF32_Raw swapped(true);
    Decoded decoded = Decode(raw, Bytes({0x41, 0, 0, 0, 0x00, 0xD8, 0x01, 0x00, 0x42, 0}), 8);
    EXPECT_TRUE(decoded.fResult);
    EXPECT_EQ(decoded.fUnits, u"A\xD800");
    EXPECT_EQ(decoded.fConsumed, 8u);
    EXPECT_EQ(Decode(swapped, Bytes({0, 0, 0, 0x41, 0, 0, 0x20, 0xAC}), 1).fUnits, u"A");

    // In place, and with the destination starting inside the source.
    for (size_t shift : {0, 2, 6})
    {
        uint32_t buffer[8] = {0x41, 0x42, 0x43, 0x44, 0x45, 0, 0, 0};
        auto* units = reinterpret_cast<UniChar*>(reinterpret_cast<uint8_t*>(buffer) + shift);
        size_t consumed = 0;
        int32_t produced = 0;
        EXPECT_TRUE(raw.Convert(buffer, 20, consumed, units, 5, produced));
        EXPECT_EQ(std::u16string(units, size_t(produced)), u"ABCDE") << shift;
    }
}

TEST(UTF32Decoding, ConvertStringDropsTheTextWhenALaterPassFails)
{
    const VToUnicodeConverter_UTF32 utf32(false);
    VString text(u"kept");
    size_t consumed = 9;
    // The surrogate stops the first pass; the pass over the rest produces nothing and fails.
    EXPECT_FALSE(utf32.ConvertString(Bytes({0x41, 0, 0, 0, 0x00, 0xD8, 0, 0}).data(), 8, &consumed, text));
    EXPECT_EQ(Text(text), u"kept");
    EXPECT_EQ(consumed, 0u);

    EXPECT_TRUE(utf32.ConvertString(Bytes({0x41, 0, 0, 0}).data(), 4, &consumed, text));
    EXPECT_EQ(Text(text), u"keptA");
    EXPECT_EQ(consumed, 4u);
}

// ---------------------------------------------------------------------------------------------
// Mac Roman

// Three million units need more room than any arena of a pooled manager of 10 MiB holds, while
// the error's own texts still find theirs.
TEST(ConvertString, AStringThatCannotGrowRaises300AndKeepsItsText)
{
    const VToUnicodeConverter_MacRoman converter;
    const std::string bytes(3 << 20, 'x');
    testing_support::ManagerPtr small = testing_support::MakePooled(testing_support::kTenMiB);
    testing_support::StUseMemMgr use(small.get());
    StErrorContextInstaller errors(false);
    VStr<15> text(u"kept");
    size_t consumed = 9;
    EXPECT_FALSE(converter.ConvertString(bytes.data(), bytes.size(), &consumed, text));
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(Text(text), u"kept");
    EXPECT_EQ(errors.GetLastError(), MakeKovaError(300));
    VString parameter;
    ASSERT_NE(errors.GetContext()->GetLast(), nullptr);
    EXPECT_TRUE(errors.GetContext()->GetLast()->GetBag()->GetString("p1", parameter));
    EXPECT_EQ(Text(parameter), u"conversion failed (EnsureSize failed).");
}

TEST(MacRomanDecoding, MapsTheHighHalfThroughItsTable)
{
    const VToUnicodeConverter_MacRoman macRoman;
    std::string bytes = "Caf\x8E \xA5 \xDB\xF0 \xC0";
    bytes.append(20, 'x').append("\xFF");
    Decoded decoded = Decode(macRoman, bytes, int32_t(bytes.size()));
    EXPECT_TRUE(decoded.fResult);
    EXPECT_EQ(decoded.fUnits, u"Caf\u00E9 \u2022 \u20AC\uF8FF \u00BF" + std::u16string(20, u'x') + u"\u02C7");
    EXPECT_EQ(Decode(macRoman, "ab\x80", 2).fConsumed, 2u);
}

// Runs of 32 bytes go through a fast path, the rest byte by byte: wherever a run starts and
// however much room there is, both give the table's units.
TEST(MacRomanDecoding, RunsAndTheBytesAfterThemDecodeAlike)
{
    const VToUnicodeConverter_MacRoman macRoman;
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte)
        bytes += char(byte);
    bytes.append(40, 'a').append("\x80").append(31, 'b').append("\xFF");
    std::u16string units;
    for (unsigned char byte : bytes)
        units += byte < 0x80 ? char16_t(byte) : VToUnicodeConverter_MacRoman::sHighHalf[byte - 0x80];
    for (size_t offset : {0, 1, 7, 31, 32, 33, 200})
    {
        const size_t size = bytes.size() - offset;
        for (size_t room : {size, size - 1, size_t(40), size_t(0)})
        {
            Decoded decoded = Decode(macRoman, bytes.substr(offset), int32_t(room));
            EXPECT_TRUE(decoded.fResult);
            EXPECT_EQ(decoded.fUnits, units.substr(offset, room)) << offset << " " << room;
            EXPECT_EQ(decoded.fConsumed, std::min(room, size));
        }
    }
}

} // namespace
} // namespace kova
