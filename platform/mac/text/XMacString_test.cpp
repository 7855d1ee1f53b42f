#include "platform/mac/text/XMacString.h"

#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFString.h"

#include <gtest/gtest.h>

#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

TEST(XMacString, PlatformStringsRoundTrip)
{
    VString text(u"d\u00e9j\u00e0 \U0001F600");
    cf::String* copy = text.MAC_RetainCFStringCopy();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(cf::StringGetLength(copy), text.GetLength());

    VString back(true);
    back.MAC_FromCFString(copy);
    EXPECT_EQ(Text(back), Text(text));
    EXPECT_FALSE(back.IsNull());
    cf::StringRelease(copy);

    // A null platform string changes nothing.
    back.MAC_FromCFString(nullptr);
    EXPECT_EQ(Text(back), Text(text));
}

TEST(XMacString, StringsWithoutDirectAccessAreCopiedInChunks)
{
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 2500; ++i)
    {
        bytes += i % 2 == 0 ? "\xC3\xA9" : "x";
        expected += i % 2 == 0 ? u'\u00e9' : u'x';
    }
    cf::String* system = cf::StringCreateWithUTF8(bytes);
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(cf::StringGetCharactersPtr(system), nullptr);
    VString text("previous");
    text.MAC_FromCFString(system);
    EXPECT_EQ(Text(text), expected);
    cf::StringRelease(system);

    cf::String* empty = cf::StringCreateWithUTF8("");
    text.MAC_FromCFString(empty);
    EXPECT_TRUE(text.IsEmpty());
    cf::StringRelease(empty);
}

TEST(XMacString, StandInRangesAndReferences)
{
    cf::String* system = cf::StringCreateWithCharacters(u"abcdef", 6);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(cf::StringRetain(system), system);
    cf::StringRelease(system);
    char16_t units[4] = {u'-', u'-', u'-', u'-'};
    cf::StringGetCharacters(system, 4, 10, units); // clipped to the string
    EXPECT_EQ(std::u16string(units, 4), u"ef--");
    cf::StringRelease(system);
    EXPECT_EQ(cf::StringCreateWithCharacters(nullptr, 3), nullptr);
    EXPECT_EQ(cf::StringCreateWithCharacters(u"a", -1), nullptr);
}

} // namespace
} // namespace kova
