#include "kernel/text/VString.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VMemoryBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kova
{
namespace
{

using Buffer = VMemoryBuffer<1024ul, 2ul, 1048576ul>;

std::string Bytes(const Buffer& inBuffer)
{
    return std::string(static_cast<const char*>(inBuffer.GetDataPtr()), inBuffer.GetDataSize());
}

struct EscapeCase
{
    std::u16string fText;
    bool fEscapeControls;
    std::u16string fExpected;
};

class VStringToXML : public testing::TestWithParam<EscapeCase>
{
};

TEST_P(VStringToXML, Escapes)
{
    const EscapeCase& escape = GetParam();
    VString owned;
    owned.FromUniString(escape.fText.data(), int32_t(escape.fText.size()));
    owned.TranscodeToXML(escape.fEscapeControls);
    EXPECT_EQ(Text(owned), escape.fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VStringToXML,
    testing::Values(EscapeCase{u"a<b & 'c'", false, u"a&lt;b &amp; &apos;c&apos;"},
                    EscapeCase{u"\"x\">", false, u"&quot;x&quot;&gt;"},
                    EscapeCase{std::u16string(u"\x01\t\x7F", 3), true, u"&#x01;\t&#x7F;"},
                    EscapeCase{std::u16string(u"\x01\t\x7F", 3), false, std::u16string(u"\x01\t\x7F", 3)},
                    EscapeCase{u"\x1F\x0B\r\n\x0C", true, u"&#x1F;&#x0B;\r\n&#x0C;"},
                    EscapeCase{u"\u00E9\u20AC", true, u"\u00E9\u20AC"},
                    // Units after a zero unit are escaped too, never dropped.
                    EscapeCase{std::u16string(u"<\0<", 3), false, std::u16string(u"&lt;\0&lt;", 9)},
                    EscapeCase{std::u16string(u"a\0&", 3), true, u"a&#x00;&amp;"}));

struct UnescapeCase
{
    std::u16string fText;
    std::u16string fExpected;
};

class VStringFromXML : public testing::TestWithParam<UnescapeCase>
{
};

TEST_P(VStringFromXML, Unescapes)
{
    VString text(GetParam().fText.c_str());
    text.TranscodeFromXML();
    EXPECT_EQ(Text(text), GetParam().fExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VStringFromXML,
    testing::Values(UnescapeCase{u"&amp;lt;", u"&lt;"}, UnescapeCase{u"&#x41;&#x0;", u"A&#x0;"},
                    UnescapeCase{u"&apos;&quot;&gt;&lt;", u"'\"><"}, UnescapeCase{u"&#65;", u"&#65;"},
                    UnescapeCase{u"&#X41;", u"&#X41;"}, UnescapeCase{u"&#x;", u"&#x;"},
                    UnescapeCase{u"&#x4g;", u"&#x4g;"}, UnescapeCase{u"&#x41", u"&#x41"},
                    UnescapeCase{u"&am", u"&am"}, UnescapeCase{u"&nbsp;x", u"&nbsp;x"},
                    UnescapeCase{u"&#x10041;", u"A"}, UnescapeCase{u"&#xe9;&#x20ac;", u"\u00E9\u20AC"},
                    // Many digits wrap to their low 16 bits, and a value of 0 stays as written.
                    UnescapeCase{u"&#x123456789ABCDEF0041;", u"A"}, UnescapeCase{u"&#x10000;", u"&#x10000;"},
                    UnescapeCase{u"a&&amp;b&", u"a&&b&"}, UnescapeCase{u"no reference", u"no reference"}));

TEST(VStringFromXML, UndoesTheEscapingOfEveryUnitFromOne)
{
    std::u16string all;
    for (uint32_t unit = 1; unit <= 0xFFFF; ++unit)
        all.push_back(char16_t(unit));
    VString text(all.c_str());
    text.TranscodeToXML(true);
    text.TranscodeFromXML();
    EXPECT_EQ(Text(text), all);
}

TEST(VStringFromXML, AnUntouchedTextKeepsItsFlagsAndASharedBlockIsLeftToItsHolders)
{
    VString plain(u"nothing to do");
    plain.SetDirty(false);
    plain.TranscodeToXML(true);
    plain.TranscodeFromXML();
    EXPECT_FALSE(plain.IsDirty());

    VString escaped(u"x &amp; y, long enough for a heap block");
    VString holder(escaped);
    escaped.TranscodeFromXML();
    EXPECT_EQ(Text(escaped), u"x & y, long enough for a heap block");
    EXPECT_EQ(Text(holder), u"x &amp; y, long enough for a heap block");
    holder.TranscodeToXML();
    EXPECT_EQ(Text(holder), u"x &amp;amp; y, long enough for a heap block");
}

TEST(VStringXMLSlots, GetAndFromXMLString)
{
    VString out;
    VString(u"<a b='1'>").GetXMLString(out, 0xFFFFFFFF);
    EXPECT_EQ(Text(out), u"&lt;a b=&apos;1&apos;&gt;");
    VString back;
    EXPECT_TRUE(back.FromXMLString(out));
    EXPECT_EQ(Text(back), u"<a b='1'>");

    // Controls are not escaped by the slot.
    VString(u"\x01").GetXMLString(out, 0);
    EXPECT_EQ(Text(out), u"\x01");

    // Through the value base: the string's own slots.
    const VValueSingle& value = back;
    value.GetXMLString(out, 0);
    EXPECT_EQ(Text(out), u"&lt;a b=&apos;1&apos;&gt;");
}

TEST(VStringBase64, EncodesBytesInBothAlphabets)
{
    VString text(u"old");
    EXPECT_TRUE(text.EncodeBase64("abc", 3));
    EXPECT_EQ(Text(text), u"YWJj");
    const unsigned char bytes[] = {0xFB, 0xFF};
    EXPECT_TRUE(text.EncodeBase64(bytes, 2, false));
    EXPECT_EQ(Text(text), u"+/8=");
    EXPECT_TRUE(text.EncodeBase64(bytes, 2, true));
    EXPECT_EQ(Text(text), u"-_8");
    EXPECT_TRUE(text.EncodeBase64(nullptr, 0));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(text.IsNull());

    text = VString(u"kept");
    EXPECT_FALSE(text.EncodeBase64(nullptr, 5));
    EXPECT_EQ(Text(text), u"kept");
}

TEST(VStringBase64, DecodesIntoBytes)
{
    Buffer bytes;
    EXPECT_TRUE(VString(u"YWJj").DecodeBase64(bytes));
    EXPECT_EQ(Bytes(bytes), "abc");
    EXPECT_TRUE(VString(u"-_8").DecodeBase64(bytes, true));
    EXPECT_EQ(Bytes(bytes), "\xFB\xFF");
    EXPECT_TRUE(VString().DecodeBase64(bytes));
    EXPECT_EQ(bytes.GetDataSize(), 0u);
    EXPECT_FALSE(VString(u"YWJ").DecodeBase64(bytes));
    EXPECT_EQ(bytes.GetDataSize(), 0u);

    // A unit beyond ASCII: 210, the buffer left as it was.
    EXPECT_TRUE(VString(u"YWJj").DecodeBase64(bytes));
    StErrorContextInstaller errors;
    const VString accented(u"YWJj\u00E9");
    EXPECT_FALSE(accented.DecodeBase64(bytes));
    EXPECT_EQ(errors.GetLastError(), VE_STREAM_TEXT_CONVERSION_FAILURE);
    EXPECT_EQ(Bytes(bytes), "abc");
    EXPECT_EQ(Text(accented), u"YWJj\u00E9");
    // A unit whose low byte is ASCII is no way around the check.
    EXPECT_FALSE(VString(u"YWJ\u0161").DecodeBase64(bytes));
}

TEST(VStringBase64, TheTextItselfInACharacterSet)
{
    VString text(u"h\u00E9");
    EXPECT_TRUE(text.EncodeBase64(VTC_UTF_8));
    EXPECT_EQ(Text(text), u"aMOp");
    EXPECT_TRUE(text.DecodeBase64(VTC_UTF_8));
    EXPECT_EQ(Text(text), u"h\u00E9");

    EXPECT_TRUE(text.EncodeBase64(VTC_UTF_16_BIGENDIAN, true));
    EXPECT_EQ(Text(text), u"AGgA6Q");
    EXPECT_TRUE(text.DecodeBase64(VTC_UTF_16_BIGENDIAN, true));
    EXPECT_EQ(Text(text), u"h\u00E9");

    VString empty;
    EXPECT_TRUE(empty.EncodeBase64(VTC_UTF_8));
    EXPECT_TRUE(empty.DecodeBase64(VTC_UTF_8));
    EXPECT_TRUE(empty.IsEmpty());

    VString bad(u"not base64!");
    EXPECT_FALSE(bad.DecodeBase64(VTC_UTF_8));
    EXPECT_EQ(Text(bad), u"not base64!");
}

} // namespace
} // namespace kova
