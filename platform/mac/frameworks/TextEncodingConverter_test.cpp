#include "platform/mac/frameworks/TextEncodingConverter.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kova::tec
{
namespace
{

TextEncoding Encoding(TextEncodingBase inBase)
{
    return CreateTextEncoding(inBase, 0, 0);
}

const TextEncoding kUnicode16 = CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicode16BitFormat);

TEST(TextEncodingConverter, EncodingsPackBaseVariantAndFormat)
{
    TextEncoding utf8 = CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF8Format);
    EXPECT_EQ(GetTextEncodingBase(utf8), kTextEncodingUnicodeDefault);
    EXPECT_EQ(GetTextEncodingFormat(utf8), kUnicodeUTF8Format);
    EXPECT_EQ(Encoding(0x0), 0u);
    EXPECT_EQ(GetTextEncodingFormat(Encoding(0x500)), 0u);
}

// The statuses the platform converters rely on never change for the same ICU code.
TEST(TextEncodingConverter, StatusesFromICUAreStable)
{
    struct Case
    {
        UErrorCode fError;
        bool fToUnicode;
        OSStatus fStatus;
    };
    const Case cases[] = {
        {U_ZERO_ERROR, true, noErr},
        {U_AMBIGUOUS_ALIAS_WARNING, false, noErr},
        {U_BUFFER_OVERFLOW_ERROR, false, kTECOutputBufferFullStatus},
        {U_TRUNCATED_CHAR_FOUND, true, kTECPartialCharErr},
        {U_INVALID_CHAR_FOUND, false, kTECUnmappableElementErr},
        {U_ILLEGAL_CHAR_FOUND, false, kTECUnmappableElementErr},
        {U_ILLEGAL_CHAR_FOUND, true, kTextMalformedInputErr},
        {U_ILLEGAL_ESCAPE_SEQUENCE, true, kTextMalformedInputErr},
        {U_FILE_ACCESS_ERROR, true, kTextUnsupportedEncodingErr},
        {U_MEMORY_ALLOCATION_ERROR, true, memFullErr},
        {U_ILLEGAL_ARGUMENT_ERROR, false, paramErr},
        {U_INTERNAL_PROGRAM_ERROR, false, kTECCorruptConverterErr},
    };
    for (const Case& mapping : cases)
        EXPECT_EQ(StatusFromICU(mapping.fError, mapping.fToUnicode), mapping.fStatus)
            << u_errorName(mapping.fError);
    EXPECT_EQ(kTextUnsupportedEncodingErr, -8738);
    EXPECT_EQ(kTECPartialCharErr, -8753);
    EXPECT_EQ(kTECUnmappableElementErr, -8754);
    EXPECT_EQ(kTECOutputBufferFullStatus, -8785);
}

TEST(TextEncodingConverter, UnknownEncodingsAndShiftStatesNeedAConverterObject)
{
    TextToUnicodeInfo info = nullptr;
    EXPECT_EQ(CreateTextToUnicodeInfoByEncoding(kTextEncodingUnknown, &info), kTextUnsupportedEncodingErr);
    EXPECT_EQ(CreateTextToUnicodeInfoByEncoding(Encoding(0x4), &info),
              kTextUnsupportedEncodingErr); // Mac Arabic
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(CreateTextToUnicodeInfoByEncoding(Encoding(0x820), &info), kTextUnsupportedEncodingErr);
    UnicodeToTextInfo toText = nullptr;
    EXPECT_EQ(CreateUnicodeToTextInfoByEncoding(
                  CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF7Format), &toText),
              kTextUnsupportedEncodingErr);

    TECObjectRef converter = nullptr;
    ASSERT_EQ(TECCreateConverter(&converter, kUnicode16, Encoding(0x820)), noErr);
    const std::u16string text = u"\u65E5\u672C";
    char bytes[32];
    size_t read = 0;
    size_t written = 0;
    EXPECT_EQ(TECConvertText(converter, text.data(), text.size() * 2, &read, bytes, sizeof(bytes), &written),
              noErr);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(std::string(bytes, written), "\x1B$BF|K\\\x1B(B") << "ends back in ASCII";
    EXPECT_EQ(TECDisposeConverter(converter), noErr);
    EXPECT_EQ(TECCreateConverter(&converter, Encoding(0x500), Encoding(0x501)), kTextUnsupportedEncodingErr);
}

TEST(TextEncodingConverter, ToUnicodeLeavesACharacterCutShortUnread)
{
    TextToUnicodeInfo info = nullptr;
    ASSERT_EQ(CreateTextToUnicodeInfoByEncoding(Encoding(0xA01), &info), noErr); // Shift-JIS
    char16_t units[8];
    size_t read = 0;
    size_t written = 0;
    EXPECT_EQ(ConvertFromTextToUnicode(info, 3, "A\x93\xFA", 0, sizeof(units), &read, &written, units),
              noErr);
    EXPECT_EQ(std::u16string(units, written / 2), u"A\u65E5");
    EXPECT_EQ(ConvertFromTextToUnicode(info, 2, "A\x93", 0, sizeof(units), &read, &written, units),
              kTECPartialCharErr);
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(std::u16string(units, written / 2), u"A");
    // A full output: what was written is whole, and what was read matches it.
    EXPECT_EQ(ConvertFromTextToUnicode(info, 5,
                                       "AB\x93\xFA"
                                       "C",
                                       0, 4, &read, &written, units),
              kTECOutputBufferFullStatus);
    EXPECT_EQ(std::u16string(units, written / 2), u"AB");
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(DisposeTextToUnicodeInfo(&info), noErr);
    EXPECT_EQ(info, nullptr);
}

TEST(TextEncodingConverter, FromUnicodeStopsBeforeWhatTheEncodingLacks)
{
    UnicodeToTextInfo info = nullptr;
    ASSERT_EQ(CreateUnicodeToTextInfoByEncoding(Encoding(0x201), &info), noErr); // ISO Latin 1
    const std::u16string text = u"ab\u20ACc";
    char bytes[16];
    size_t read = 0;
    size_t written = 0;
    EXPECT_EQ(ConvertFromUnicodeToText(info, text.size() * 2, text.data(), 0, sizeof(bytes), &read, &written,
                                       bytes),
              kTECUnmappableElementErr);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(std::string(bytes, written), "ab");
    // A lone high surrogate at the end is one too.
    const std::u16string lone = u"a\xD83D";
    EXPECT_EQ(ConvertFromUnicodeToText(info, lone.size() * 2, lone.data(), 0, sizeof(bytes), &read, &written,
                                       bytes),
              kTECUnmappableElementErr);
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(written, 1u);
    // Small outputs hold whole characters only.
    EXPECT_EQ(ConvertFromUnicodeToText(info, 6, u"xyz", 0, 2, &read, &written, bytes),
              kTECOutputBufferFullStatus);
    EXPECT_EQ(std::string(bytes, written), "xy");
    EXPECT_EQ(read, 4u);
    DisposeUnicodeToTextInfo(&info);

    ASSERT_EQ(CreateUnicodeToTextInfoByEncoding(Encoding(0xA01), &info), noErr); // Shift-JIS
    const std::u16string japanese = u"\u65E5\u672C";
    EXPECT_EQ(ConvertFromUnicodeToText(info, 4, japanese.data(), 0, 3, &read, &written, bytes),
              kTECOutputBufferFullStatus);
    EXPECT_EQ(std::string(bytes, written), "\x93\xFA");
    EXPECT_EQ(read, 2u);
    DisposeUnicodeToTextInfo(&info);
}

// Decodes the bytes handed over inChunk at a time, as a stream reader does: what a call leaves
// unread goes again at the front of the next chunk.
std::u16string DecodeInChunks(TECObjectRef inConverter, const std::string& inBytes, size_t inChunk,
                              size_t inUnitRoom)
{
    std::u16string text;
    std::string unread;
    std::vector<char16_t> units(inUnitRoom);
    for (size_t at = 0; at < inBytes.size() || !unread.empty();)
    {
        const size_t taken = std::min(inChunk, inBytes.size() - at);
        unread += inBytes.substr(at, taken);
        at += taken;
        size_t read = 0;
        size_t written = 0;
        OSStatus status = TECConvertText(inConverter, unread.data(), unread.size(), &read, units.data(),
                                         units.size() * 2, &written);
        EXPECT_TRUE(status == noErr || status == kTECPartialCharErr || status == kTECOutputBufferFullStatus)
            << status;
        text.append(units.data(), written / 2);
        unread.erase(0, read);
        if (taken == 0 && read == 0 && written == 0)
        {
            ADD_FAILURE() << "bytes never read: " << unread.size();
            break;
        }
    }
    return text;
}

struct ChunksCase
{
    TextEncoding fEncoding;
    std::string fBytes;
    std::u16string fText;
};

// A shift sequence, or a run of UTF-7's base64, opened in one chunk holds for the next, however
// the text is cut and however little room each call has.
TEST(TextEncodingConverter, AConverterObjectDecodesATextGivenInChunks)
{
    const TextEncoding utf7 = CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF7Format);
    const ChunksCase cases[] = {
        {Encoding(0x820), "A\x1B$BF|K\\\x1B(BB", u"A\u65E5\u672CB"},
        {Encoding(0x820), "\x1B$BF|\x1B(Bx\x1B$BK\\\x1B(B", u"\u65E5x\u672C"},
        {utf7, "A+ZeVnLA-B", u"A\u65E5\u672CB"},
        {utf7, "+AGEAYgBjAGQ-.", u"abcd."},
    };
    for (const ChunksCase& chunks : cases)
    {
        for (size_t chunk = 1; chunk <= chunks.fBytes.size(); ++chunk)
        {
            for (size_t room : {size_t(1), size_t(64)})
            {
                TECObjectRef converter = nullptr;
                ASSERT_EQ(TECCreateConverter(&converter, chunks.fEncoding, kUnicode16), noErr);
                EXPECT_EQ(DecodeInChunks(converter, chunks.fBytes, chunk, room), chunks.fText)
                    << chunks.fBytes << " in chunks of " << chunk << ", room " << room;
                TECDisposeConverter(converter);
            }
        }
    }
}

// A text that does not fit the output is encoded over several calls: the state the room cut it
// in holds for the next call, and only the call that reaches the end of the text goes back to the
// initial state. A return to ASCII and a shift back between two chunks would decode to U+FFFD.
TEST(TextEncodingConverter, AConverterObjectEncodesATextThatNeedsSeveralCalls)
{
    const std::u16string text = u"A\u65E5\u672C\u8A9E\u65E5\u672C\u8A9EB\u65E5\u672C\u8A9E";
    for (TextEncoding encoding :
         {Encoding(0x820), CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF7Format)})
    {
        for (size_t room : {6, 9, 16, 40})
        {
            TECObjectRef encoder = nullptr;
            ASSERT_EQ(TECCreateConverter(&encoder, kUnicode16, encoding), noErr);
            std::string bytes;
            for (size_t at = 0; at < text.size();)
            {
                std::vector<char> chunk(room);
                size_t read = 0;
                size_t written = 0;
                OSStatus status = TECConvertText(encoder, text.data() + at, (text.size() - at) * 2, &read,
                                                 chunk.data(), chunk.size(), &written);
                ASSERT_TRUE(status == noErr || status == kTECOutputBufferFullStatus) << status;
                ASSERT_GT(read, 0u) << "room " << room;
                bytes.append(chunk.data(), written);
                at += read / 2;
            }
            TECDisposeConverter(encoder);
            TECObjectRef decoder = nullptr;
            ASSERT_EQ(TECCreateConverter(&decoder, encoding, kUnicode16), noErr);
            EXPECT_EQ(DecodeInChunks(decoder, bytes, bytes.size(), 64), text) << bytes << ", room " << room;
            TECDisposeConverter(decoder);
        }
    }
}

TEST(TextEncodingConverter, BadArgumentsAreRefused)
{
    size_t read = 0;
    size_t written = 0;
    char16_t units[4];
    EXPECT_EQ(ConvertFromTextToUnicode(nullptr, 1, "a", 0, sizeof(units), &read, &written, units), paramErr);
    UnicodeToTextInfo toText = nullptr;
    ASSERT_EQ(CreateUnicodeToTextInfoByEncoding(Encoding(0x600), &toText), noErr);
    // An info of the other direction.
    EXPECT_EQ(ConvertFromTextToUnicode(toText, 1, "a", 0, sizeof(units), &read, &written, units), paramErr);
    DisposeUnicodeToTextInfo(&toText);
    EXPECT_EQ(TECConvertText(nullptr, "a", 1, &read, units, sizeof(units), &written), paramErr);
}

} // namespace
} // namespace kova::tec
