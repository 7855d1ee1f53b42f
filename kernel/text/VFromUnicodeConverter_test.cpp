#include "kernel/text/VFromUnicodeConverter.h"

#include "kernel/text/VFromUnicodeConverter_MacRoman.h"
#include "kernel/text/VFromUnicodeConverter_UTF8.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/VString.h"
#include "kernel/text/VToUnicodeConverter_MacRoman.h"
#include "kernel/values/VCppMemMgrTesting_test.h"
#include "kernel/values/VMemory.h"
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

struct Encoded
{
    bool fResult;
    int32_t fConsumed;
    std::string fBytes;
};

Encoded Encode(const VFromUnicodeConverter& inConverter, const std::u16string& inText, size_t inRoom)
{
    std::vector<char> bytes(inRoom + 1);
    Encoded encoded{};
    size_t produced = 0;
    encoded.fResult = inConverter.Convert(inText.data(), int32_t(inText.size()), encoded.fConsumed,
                                          bytes.data(), inRoom, produced);
    encoded.fBytes.assign(bytes.data(), produced);
    return encoded;
}

// ---------------------------------------------------------------------------------------------
// UTF-8

struct UTF8Case
{
    std::u16string fText;
    size_t fRoom;
    int32_t fConsumed;
    std::string fBytes;
};

class UTF8Encoding : public testing::TestWithParam<UTF8Case>
{
};

TEST_P(UTF8Encoding, ConvertNeverFailsAndStopsWhereTheNextCharacterDoesNotFit)
{
    const UTF8Case& encoding = GetParam();
    const VFromUnicodeConverter_UTF8 converter;
    Encoded encoded = Encode(converter, encoding.fText, encoding.fRoom);
    EXPECT_TRUE(encoded.fResult);
    EXPECT_EQ(encoded.fConsumed, encoding.fConsumed);
    EXPECT_EQ(encoded.fBytes, encoding.fBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UTF8Encoding,
    testing::Values(UTF8Case{u"\U0001F600", 8, 2, "\xF0\x9F\x98\x80"},
                    UTF8Case{u"a\u00E9\u20AC", 8, 3, "a\xC3\xA9\xE2\x82\xAC"},
                    // a lone low surrogate, and a high one followed by something else, stand alone
                    UTF8Case{u"\xDC00x", 8, 2, "\xED\xB0\x80x"}, UTF8Case{u"\xD83Dx", 8, 2, "\xED\xA0\xBDx"},
                    // a high surrogate at the end waits for its partner
                    UTF8Case{u"ok\xD83D", 8, 2, "ok"}, UTF8Case{u"\xD83D", 8, 0, ""},
                    UTF8Case{u"a\u20AC", 3, 1, "a"}, UTF8Case{u"a\U0001F600", 4, 1, "a"},
                    UTF8Case{u"abcdefghijklmnopqrstuvwxyz", 20, 20, "abcdefghijklmnopqrst"},
                    UTF8Case{u"", 4, 0, ""}));

TEST(UTF8Encoding, AsciiRunsOfEveryLengthAroundOtherCharacters)
{
    const VFromUnicodeConverter_UTF8 converter;
    for (size_t before = 0; before < 40; ++before)
    {
        std::u16string text = std::u16string(before, u'a') + u"\u00E9" + std::u16string(40 - before, u'z');
        std::string expected = std::string(before, 'a') + "\xC3\xA9" + std::string(40 - before, 'z');
        Encoded encoded = Encode(converter, text, 64);
        EXPECT_EQ(encoded.fBytes, expected) << before;
        EXPECT_EQ(encoded.fConsumed, int32_t(text.size()));
    }
}

TEST(UTF8Encoding, ANullDestinationCountsTheBytes)
{
    const VFromUnicodeConverter_UTF8 converter;
    const std::u16string text = u"a\u00E9\u20AC\U0001F600\xDC00\xD83D";
    int32_t consumed = 0;
    size_t produced = 0;
    EXPECT_TRUE(converter.Convert(text.data(), int32_t(text.size()), consumed, nullptr, 0, produced));
    EXPECT_EQ(produced, 1u + 2 + 3 + 4 + 3);
    EXPECT_EQ(consumed, int32_t(text.size()) - 1);
}

TEST(UTF8Encoding, FromWideUnits)
{
    const VFromUnicodeConverter_UTF8 converter;
    const wchar_t text[] = {L'a', 0x1F600, 0xD83D, 0xDE00, 0x7FFFFFFF, 0x4000000, 0xD800, L'b', 0x2000000, 0};
    char bytes[64];
    int32_t consumed = 0;
    size_t produced = 0;
    EXPECT_TRUE(converter.ConvertFrom_wchar(text, 9, consumed, bytes, sizeof(bytes), produced));
    EXPECT_EQ(std::string(bytes, produced), "a\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xFD\xBF\xBF\xBF\xBF\xBF"
                                            "\xFC\x84\x80\x80\x80\x80\xED\xA0\x80"
                                            "b\xFA\x80\x80\x80\x80");
    EXPECT_EQ(consumed, 9);

    const wchar_t negative[] = {L'a', wchar_t(-1)};
    EXPECT_FALSE(converter.ConvertFrom_wchar(negative, 2, consumed, bytes, sizeof(bytes), produced));
    EXPECT_EQ(consumed, 1);
    EXPECT_EQ(produced, 1u);
    const wchar_t trailingHigh[] = {L'a', 0xD83D};
    EXPECT_TRUE(converter.ConvertFrom_wchar(trailingHigh, 2, consumed, bytes, 0, produced));
    EXPECT_EQ(consumed, 0);
    EXPECT_TRUE(converter.ConvertFrom_wchar(trailingHigh, 2, consumed, nullptr, 0, produced));
    EXPECT_EQ(consumed, 1);
    EXPECT_EQ(produced, 1u);
}

// ---------------------------------------------------------------------------------------------
// UTF-16 and UTF-32

TEST(UnicodeFormsEncoding, Utf16CopiesWholeUnitsAndSwaps)
{
    const VFromUnicodeConverter_Null null;
    const VFromUnicodeConverter_Swap swap;
    Encoded copied = Encode(null, u"A\u20AC", 3);
    EXPECT_EQ(copied.fBytes, std::string("A\0", 2));
    EXPECT_EQ(copied.fConsumed, 1);
    Encoded swapped = Encode(swap, u"A\u20AC", 8);
    EXPECT_EQ(swapped.fBytes, std::string("\0A\x20\xAC", 4));
    EXPECT_EQ(swapped.fConsumed, 2);
}

struct UTF32Case
{
    std::u16string fText;
    size_t fRoom;
    bool fResult;
    int32_t fConsumed;
    std::string fBytes; // little-endian
};

class UTF32Encoding : public testing::TestWithParam<UTF32Case>
{
};

TEST_P(UTF32Encoding, InBothByteOrders)
{
    const UTF32Case& encoding = GetParam();
    Encoded little = Encode(VFromUnicodeConverter_UTF32(false), encoding.fText, encoding.fRoom);
    EXPECT_EQ(little.fResult, encoding.fResult);
    EXPECT_EQ(little.fConsumed, encoding.fConsumed);
    EXPECT_EQ(little.fBytes, encoding.fBytes);
    Encoded big = Encode(VFromUnicodeConverter_UTF32(true), encoding.fText, encoding.fRoom);
    std::string bigEndian = encoding.fBytes;
    for (size_t i = 0; i + 4 <= bigEndian.size(); i += 4)
        std::reverse(bigEndian.begin() + std::ptrdiff_t(i), bigEndian.begin() + std::ptrdiff_t(i) + 4);
    EXPECT_EQ(big.fBytes, bigEndian);
}

INSTANTIATE_TEST_SUITE_P(Cases, UTF32Encoding,
                         testing::Values(UTF32Case{u"A\U0001F600", 16, true, 3,
                                                   std::string("A\0\0\0\x00\xF6\x01\0", 8)},
                                         UTF32Case{u"", 16, true, 0, ""},
                                         UTF32Case{u"A\xDC00", 16, false, 1, std::string("A\0\0\0", 4)},
                                         UTF32Case{u"A\xD83D", 16, false, 1, std::string("A\0\0\0", 4)},
                                         UTF32Case{u"A\xD83Dx", 16, false, 1, std::string("A\0\0\0", 4)},
                                         UTF32Case{u"AB", 7, false, 1, std::string("A\0\0\0", 4)}));

TEST(UnicodeFormsEncoding, RawUnitsWidenInPlace)
{
    UniChar buffer[8] = {u'A', 0xD800, u'B'};
    int32_t consumed = 0;
    size_t produced = 0;
    EXPECT_TRUE(VFromUnicodeConverter_UTF32_Raw(false).Convert(buffer, 3, consumed, buffer, sizeof(buffer),
                                                               produced));
    EXPECT_EQ(consumed, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), produced),
              std::string("A\0\0\0\x00\xD8\0\0B\0\0\0", 12));
    Encoded swapped = Encode(VFromUnicodeConverter_UTF32_Raw(true), u"AB", 7);
    EXPECT_EQ(swapped.fBytes, std::string("\0\0\0A", 4));
}

// ---------------------------------------------------------------------------------------------
// Mac Roman

TEST(MacRomanEncoding, RoundTripsItsWholeTableAndReplacesWhatItLacks)
{
    const VFromUnicodeConverter_MacRoman converter;
    std::u16string text;
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte)
    {
        text += byte < 0x80 ? char16_t(byte) : VToUnicodeConverter_MacRoman::sHighHalf[byte - 0x80];
        bytes += char(byte);
    }
    Encoded encoded = Encode(converter, text, 256);
    EXPECT_TRUE(encoded.fResult);
    EXPECT_EQ(encoded.fBytes, bytes);

    Encoded replaced = Encode(converter, u"\u0100\U0001F600\xDC00\xD800x\u00E9", 16);
    EXPECT_TRUE(replaced.fResult);
    EXPECT_EQ(replaced.fBytes, "????x\x8E");
    EXPECT_EQ(replaced.fConsumed, 7);
    EXPECT_EQ(Encode(converter, u"abc", 2).fConsumed, 2);
}

// ---------------------------------------------------------------------------------------------
// Growing blocks

TEST(ConvertRealloc, AppendsBehindTheUsedBytesAndKeepsTheExtraRoom)
{
    const VFromUnicodeConverter_UTF8 converter;
    void* block = VMemory::NewPtr(3, 0);
    std::memcpy(block, "<<<", 3);
    size_t used = 3;
    const std::u16string text = u"caf\u00E9 \u20AC" + std::u16string(1000, u'x');
    int32_t consumed = 0;
    EXPECT_TRUE(converter.ConvertRealloc(text.data(), int32_t(text.size()), block, used, 1, &consumed));
    EXPECT_EQ(consumed, int32_t(text.size()));
    EXPECT_EQ(std::string(static_cast<char*>(block), used),
              "<<<caf\xC3\xA9 \xE2\x82\xAC" + std::string(1000, 'x'));
    EXPECT_GE(VMemory::GetPtrSize(block), used + 1);
    VMemory::DisposePtr(block);
}

// JSON text such as "\ud83d" ends in a lone high surrogate. A whole text is encoded to its end:
// the unit becomes its own 3-byte form, as a lone low surrogate does, never dropped; only the
// streaming Convert leaves it for a partner that may come with the next piece.
TEST(ConvertRealloc, EncodesALoneHighSurrogateThatEndsTheText)
{
    const VFromUnicodeConverter_UTF8 converter;
    struct Case
    {
        std::u16string fText;
        std::string fBytes;
    };
    for (const Case& lone : {Case{u"\xD83D", "\xED\xA0\xBD"}, Case{u"abc\xD83D", "abc\xED\xA0\xBD"}})
    {
        void* block = nullptr;
        size_t used = 0;
        int32_t consumed = -1;
        EXPECT_TRUE(converter.ConvertRealloc(lone.fText.data(), int32_t(lone.fText.size()), block, used, 0,
                                             &consumed));
        EXPECT_EQ(consumed, int32_t(lone.fText.size()));
        EXPECT_EQ(std::string(static_cast<char*>(block), used), lone.fBytes);
        VMemory::DisposePtr(block);

        char bytes[8];
        size_t produced = 0;
        EXPECT_TRUE(converter.Convert(lone.fText.data(), int32_t(lone.fText.size()), consumed, bytes,
                                      sizeof(bytes), produced));
        EXPECT_EQ(consumed, int32_t(lone.fText.size()) - 1);
        // Without the room for its three bytes it is not cut.
        EXPECT_TRUE(converter.ConvertLast(lone.fText.data(), int32_t(lone.fText.size()), consumed, bytes,
                                          lone.fBytes.size() - 1, produced));
        EXPECT_EQ(consumed, int32_t(lone.fText.size()) - 1);
    }
}

TEST(ConvertToBuffer, AppendsBehindTheDataAndEndsItsSizeAfterTheExtraBytes)
{
    const VFromUnicodeConverter_UTF8 converter;
    VMemoryBuffer<1024ul, 2ul, 1048576ul> buffer;
    ASSERT_TRUE(buffer._EnlargeAmortized(2));
    std::memcpy(buffer.GetDataPtr(), "<<", 2);
    buffer.SetDataSize(2);
    const std::u16string text = std::u16string(3000, u'\u00E9') + u"\U0001F600";
    int32_t consumed = 0;
    EXPECT_TRUE(converter.ConvertToBuffer(text.data(), int32_t(text.size()), buffer, 1, &consumed));
    EXPECT_EQ(consumed, int32_t(text.size()));
    ASSERT_EQ(buffer.GetDataSize(), 2u + 6000 + 4 + 1);
    std::string expected = "<<";
    for (int i = 0; i < 3000; ++i)
        expected += "\xC3\xA9";
    expected += "\xF0\x9F\x98\x80";
    EXPECT_EQ(std::string(static_cast<char*>(buffer.GetDataPtr()), buffer.GetDataSize() - 1), expected);

    // A lone high surrogate at the end of the text is encoded alone.
    EXPECT_TRUE(converter.ConvertToBuffer(u"ok\xD83D", 3, buffer, 0, &consumed));
    EXPECT_EQ(consumed, 3);
    EXPECT_EQ(buffer.GetDataSize(), 2u + 6000 + 4 + 1 + 5);
}

// An encoder that needs more than its budget for one character gets more room.
class GreedyEncoder : public VFromUnicodeConverter
{
public:
    bool Convert(const UniChar*, int32_t inSourceChars, int32_t& outCharsConsumed, void* inDestination,
                 size_t inDestinationBytes, size_t& outBytesProduced) const override
    {
        outCharsConsumed = 0;
        outBytesProduced = 0;
        if (inSourceChars > 0 && inDestinationBytes >= 16)
        {
            std::memset(inDestination, '#', 16);
            outCharsConsumed = 1;
            outBytesProduced = 16;
        }
        return true;
    }
    int32_t GetCharSize() const override { return 1; }
};

TEST(ConvertRealloc, GivesMoreRoomToAnEncoderThatNeedsIt)
{
    const GreedyEncoder converter;
    void* block = nullptr;
    size_t used = 0;
    int32_t consumed = 0;
    EXPECT_TRUE(converter.ConvertRealloc(u"ab", 2, block, used, 0, &consumed));
    EXPECT_EQ(consumed, 2);
    EXPECT_EQ(used, 32u);
    VMemory::DisposePtr(block);
}

// A million units at four bytes a unit need more room than any arena of a pooled manager of
// 10 MiB holds, while the error's own texts still find theirs (without any memory at all, the
// error could not keep its text).
TEST(ConvertRealloc, AnOutputThatCannotGrowRaises300)
{
    const VFromUnicodeConverter_UTF32 converter(false);
    const std::u16string text(1 << 20, u'x');
    testing_support::ManagerPtr small = testing_support::MakePooled(testing_support::kTenMiB);
    testing_support::StUseMemMgr use(small.get());
    StErrorContextInstaller errors(false);
    auto lastText = [&errors]
    {
        VString parameter;
        VErrorBase* error = errors.GetContext()->GetLast();
        if (error != nullptr)
            error->GetBag()->GetString("p1", parameter);
        return std::u16string(parameter.GetCPointer(), size_t(parameter.GetLength()));
    };

    void* block = nullptr;
    size_t used = 0;
    int32_t consumed = -1;
    EXPECT_FALSE(converter.ConvertRealloc(text.data(), int32_t(text.size()), block, used, 0, &consumed));
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(consumed, 0);
    EXPECT_EQ(errors.GetLastError(), MakeKovaError(300));
    EXPECT_EQ(lastText(), u"mem failure");

    VMemoryBuffer<1024ul, 2ul, 1048576ul> buffer;
    consumed = -1;
    EXPECT_FALSE(converter.ConvertToBuffer(text.data(), int32_t(text.size()), buffer, 0, &consumed));
    EXPECT_EQ(buffer.GetDataPtr(), nullptr);
    EXPECT_EQ(buffer.GetDataSize(), 0u);
    EXPECT_EQ(consumed, 0);
    EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
    EXPECT_EQ(lastText(), u"mem failure");
}

} // namespace
} // namespace kova
