#include "platform/mac/errors/XMacErrorText.h"

#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

TEST(XMacErrorText, PosixCodesGiveTheSystemText)
{
    VString text;
    ASSERT_TRUE(XMacErrorText::GetErrorText(MakeVError(kCOMPONENT_POSIX, ENOENT), text));
    EXPECT_EQ(Text(text), u"No such file or directory");
}

TEST(XMacErrorText, UnknownPosixNumbersHaveNoText)
{
    VString text(u"stale");
    EXPECT_FALSE(XMacErrorText::GetErrorText(MakeVError(kCOMPONENT_POSIX, 123456), text));
    EXPECT_TRUE(text.IsEmpty());
}

TEST(XMacErrorText, OtherPlatformComponentsNameTheirNumber)
{
    VString text;
    ASSERT_TRUE(XMacErrorText::GetErrorText(MakeVError(kCOMPONENT_CARBON, uint32_t(-43)), text));
    EXPECT_EQ(Text(text), u"Carbon status (-43).");
    ASSERT_TRUE(XMacErrorText::GetErrorText(MakeVError(kCOMPONENT_MACH, 5), text));
    EXPECT_EQ(Text(text), u"Mach error 5");
    ASSERT_TRUE(XMacErrorText::GetErrorText(MakeVError(kCOMPONENT_COCOA, 4), text));
    EXPECT_EQ(Text(text), u"Cocoa error 4.");
}

TEST(XMacErrorText, ToolboxCodesAreNotThePlatformsToTell)
{
    VString text;
    EXPECT_FALSE(XMacErrorText::GetErrorText(MakeKovaError(600), text));
    EXPECT_TRUE(text.IsEmpty());
}

} // namespace
} // namespace kova
