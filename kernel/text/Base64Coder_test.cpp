#include "kernel/text/Base64Coder.h"

#include "kernel/text/VString.h"
#include "kernel/values/ValueTesting.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

using Buffer = Base64Coder::Buffer;
using testing_values::TextIs;

std::string Text(const Buffer& inBuffer)
{
    return std::string(static_cast<const char*>(inBuffer.GetDataPtr()), inBuffer.GetDataSize());
}

std::string Encode(const std::string& inBytes, bool inURL, int32_t inGroupsPerLine = 0)
{
    Buffer buffer;
    EXPECT_TRUE(Base64Coder::_Encode(inBytes.data(), inBytes.size(), buffer, inGroupsPerLine, inURL));
    return Text(buffer);
}

// "!" when decoding fails.
std::string Decode(const std::string& inText, bool inURL)
{
    Buffer buffer;
    if (!Base64Coder::Decode(inText.data(), inText.size(), buffer, inURL, false))
    {
        EXPECT_EQ(buffer.GetDataSize(), 0u);
        EXPECT_EQ(buffer.GetDataPtr(), nullptr);
        return "!";
    }
    return Text(buffer);
}

TEST(Base64Coder, EncodesWholeAndPartialGroupsInBothForms)
{
    const struct
    {
        std::string fBytes;
        const char* fStandard;
        const char* fURL;
    } cases[] = {
        {"", "", ""},
        {"Man", "TWFu", "TWFu"},
        {"Ma", "TWE=", "TWE"},
        {"M", "TQ==", "TQ"},
        {"\xFB\xFF\xBF", "+/+/", "-_-_"},
        {"hello world", "aGVsbG8gd29ybGQ=", "aGVsbG8gd29ybGQ"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Encode(c.fBytes, false), c.fStandard);
        EXPECT_EQ(Encode(c.fBytes, true), c.fURL);
        EXPECT_EQ(Decode(c.fStandard, false), c.fBytes);
        EXPECT_EQ(Decode(c.fURL, true), c.fBytes);
    }
}

TEST(Base64Coder, LineBreaksFollowFullLinesButNeverEndTheText)
{
    std::string text57 = Encode(std::string(57, 'x'), false, 19);
    EXPECT_EQ(text57.size(), 76u);
    EXPECT_EQ(text57.find('\r'), std::string::npos);
    std::string text60 = Encode(std::string(60, 'x'), false, 19);
    ASSERT_EQ(text60.size(), 82u);
    EXPECT_EQ(text60.substr(76, 2), "\r\n");
    EXPECT_EQ(Encode(std::string(60, 'x'), true, 19).find('\r'), std::string::npos);
    EXPECT_EQ(Encode(std::string(7, 'x'), false, 1), "eHh4\r\neHh4\r\neA==");
    EXPECT_EQ(Decode(text60, false), std::string(60, 'x'));
}

TEST(Base64Coder, OnlyTheStandardFormSkipsWhiteSpace)
{
    EXPECT_EQ(Decode("TW\r\nF u\t", false), "Man");
    EXPECT_EQ(Decode("TW\r\nF u\t", true), "!");
    EXPECT_EQ(Decode(" \r\n\t ", false), "");
    EXPECT_EQ(Decode("TW\vFu", false), "!"); // no other byte is skipped
}

TEST(Base64Coder, MalformedTextIsRefused)
{
    const struct
    {
        const char* fText;
        bool fURL;
        const char* fExpected;
    } cases[] = {
        {"TWE", false, "!"}, // not whole groups
        {"TW=", false, "!"},
        {"T", false, "!"},
        {"T", true, "!"},
        {"TQ", true, "M"}, // two characters, no bits left over
        {"TR", true, "!"}, // R leaves bits set
        {"TR==", false, "!"},
        {"TWF=", false, "!"},     // F (5) leaves bits set
        {"TW=u", false, "!"},     // a fill character before a letter
        {"TQ==TWFu", false, "!"}, // fill characters only in the last group
        {"T===", false, "!"},
        {"TWFu", true, "Man"},
        // The URL form writes no fill characters but accepts those that complete the last group
        // (RFC 4648 section 5); wrong ones are still refused.
        {"TWE=", true, "Ma"},
        {"Zg==", true, "f"},
        {"TQ==TWFu", true, "!"},
        {"Zg=", true, "!"},
        {"Zg===", true, "!"},
        {"Z===", true, "!"},
        {"====", true, "!"},
        {"TWE==", true, "!"},
        {"TR==", true, "!"},
        {"TWF=", true, "!"},
        {"+/+/", true, "!"},
        {"-_-_", false, "!"},
        {"TW\xC3\xA9", false, "!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.fText, c.fURL), c.fExpected) << c.fText << (c.fURL ? " (URL)" : "");
}

TEST(Base64Coder, DecodeKeepsThePartialOutputOnlyWhenAsked)
{
    Buffer buffer;
    const std::string text = "TWFuTWFu!WFu";
    EXPECT_FALSE(Base64Coder::Decode(text.data(), text.size(), buffer, false, true));
    EXPECT_EQ(Text(buffer), "ManMan");
    EXPECT_FALSE(Base64Coder::Decode(text.data(), text.size(), buffer, false, false));
    EXPECT_EQ(buffer.GetDataSize(), 0u);

    EXPECT_TRUE(Base64Coder::Decode(nullptr, 0, buffer, false, false));
    EXPECT_FALSE(Base64Coder::Decode(nullptr, 4, buffer, true, false));
    EXPECT_FALSE(Base64Coder::_Encode(nullptr, 4, buffer, 0, false));

    size_t textIndex = 0;
    size_t outputIndex = 0;
    uint8_t bytes[6];
    const auto* quads = reinterpret_cast<const uint8_t*>("TWFu*WFu");
    EXPECT_TRUE(Base64Coder::_DecodeQuads(Base64Coder::sBase64Inverse.data(), quads, 0, bytes, textIndex,
                                          outputIndex));
    EXPECT_FALSE(Base64Coder::_DecodeQuads(Base64Coder::sBase64Inverse.data(), quads, 2, bytes, textIndex,
                                           outputIndex));
    EXPECT_EQ(textIndex, 5u);
    EXPECT_EQ(outputIndex, 3u);
}

TEST(Base64Coder, ChecksumsInBase64AndLowerCaseHexadecimal)
{
    const uint8_t bytes[] = {0x00, 0xAB, 0xFF};
    VString text("old");
    Base64Coder::DO_EncodeChecksumHexa(bytes, sizeof(bytes), text);
    EXPECT_TRUE(TextIs(text, "00abff"));
    Base64Coder::DO_EncodeChecksumHexa(bytes, 0, text);
    EXPECT_TRUE(text.IsEmpty());
    Base64Coder::DO_EncodeChecksumBase64(bytes, sizeof(bytes), text);
    EXPECT_TRUE(TextIs(text, "AKv/"));
    Base64Coder::DO_EncodeChecksumBase64(bytes, 1, text);
    EXPECT_TRUE(TextIs(text, "AA=="));
    Base64Coder::DO_EncodeChecksumBase64(nullptr, 5, text);
    EXPECT_TRUE(text.IsEmpty());
}

TEST(Base64Coder, InverseTablesHoldEveryAlphabetCharacterAndNothingElse)
{
    int inAlphabet = 0;
    for (int byte = 0; byte < 256; ++byte)
    {
        if (Base64Coder::sBase64Inverse[size_t(byte)] != Base64Coder::kNotInAlphabet)
        {
            ++inAlphabet;
            EXPECT_EQ(Base64Coder::sBase64Alphabet[Base64Coder::sBase64Inverse[size_t(byte)]], char(byte));
        }
    }
    EXPECT_EQ(inAlphabet, 64);
    EXPECT_EQ(Base64Coder::sBase64Inverse['='], Base64Coder::kNotInAlphabet);
    EXPECT_EQ(Base64Coder::sBase64URLInverse['-'], 62);
    EXPECT_EQ(Base64Coder::sBase64URLInverse['+'], Base64Coder::kNotInAlphabet);
}

} // namespace
} // namespace kova
