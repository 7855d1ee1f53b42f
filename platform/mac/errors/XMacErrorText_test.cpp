#include "platform/mac/errors/XMacErrorText.h"

#include "kernel/text/VString.h"
#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/Mach.h"
#include "platform/mac/frameworks/NSFileManager.h"
#include "platform/mac/frameworks/TextEncodingConverter.h"

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

// The texts are ASCII; anything else shows as '?'.
std::string Ascii(const std::u16string& inText)
{
    std::string ascii;
    for (char16_t unit : inText)
        ascii.push_back(unit < 0x80 ? char(unit) : '?');
    return ascii;
}

struct WordsCase
{
    VError fError;
    const char16_t* fWords;
};

VError Cocoa(int inCode)
{
    return MakeVError(kCOMPONENT_COCOA, uint32_t(inCode));
}

VError Mach(mach::kern_return_t inCode)
{
    return MakeVError(kCOMPONENT_MACH, uint32_t(inCode));
}

VError Carbon(tec::OSStatus inStatus)
{
    return MakeVError(kCOMPONENT_CARBON, uint32_t(inStatus));
}

// Every code the stand-ins answer with, the file manager's errno mapping included.
TEST(XMacErrorText, PlatformCodesTheStandInsRaiseAreDescribedInWords)
{
    const WordsCase cases[] = {
        {Cocoa(ns::kFileNoSuchFileError), u"does not exist"},
        {Cocoa(ns::kFileReadUnknownError), u"could not be read"},
        {Cocoa(ns::kFileReadNoPermissionError), u"no permission to read"},
        {Cocoa(ns::kFileReadNoSuchFileError), u"does not exist"},
        {Cocoa(ns::kFileWriteUnknownError), u"could not be written"},
        {Cocoa(ns::kFileWriteNoPermissionError), u"no permission to write"},
        {Cocoa(ns::kFileWriteFileExistsError), u"already exists"},
        {Cocoa(ns::kFileWriteOutOfSpaceError), u"no space left"},
        {Cocoa(ns::kFileWriteVolumeReadOnlyError), u"read-only"},
        {Cocoa(ns::kFeatureUnsupportedError), u"not supported"},
        {Cocoa(cf::kExecutableNotLoadableError), u"could not be loaded"},
        {Cocoa(cf::kExecutableLinkError), u"could not be linked"},
        {Mach(mach::KERN_INVALID_ADDRESS), u"address"},
        {Mach(mach::KERN_PROTECTION_FAILURE), u"protected"},
        {Mach(mach::KERN_NO_SPACE), u"no room left"},
        {Mach(mach::KERN_INVALID_ARGUMENT), u"argument"},
        {Mach(mach::KERN_FAILURE), u"failed"},
        {Mach(mach::KERN_RESOURCE_SHORTAGE), u"short of"},
        {Mach(mach::KERN_ABORTED), u"interrupted"},
        {Mach(mach::KERN_OPERATION_TIMED_OUT), u"timed out"},
        // The Carbon form: the comment, then the status's name.
        {Carbon(tec::paramErr), u"not valid (paramErr)."},
        {Carbon(tec::memFullErr), u"memory (memFullErr)."},
        {Carbon(tec::kTextUnsupportedEncodingErr), u"not supported (kTextUnsupportedEncodingErr)."},
        {Carbon(tec::kTextMalformedInputErr), u"not valid in its encoding (kTextMalformedInputErr)."},
        {Carbon(tec::kTECCorruptConverterErr), u"damaged (kTECCorruptConverterErr)."},
        {Carbon(tec::kTECPartialCharErr), u"inside a character (kTECPartialCharErr)."},
        {Carbon(tec::kTECUnmappableElementErr),
         u"no equivalent in the target encoding (kTECUnmappableElementErr)."},
        {Carbon(tec::kTECOutputBufferFullStatus), u"full (kTECOutputBufferFullStatus)."},
    };
    for (const WordsCase& test : cases)
    {
        SCOPED_TRACE(::testing::Message() << std::hex << test.fError);
        VString text;
        ASSERT_TRUE(XMacErrorText::GetErrorText(test.fError, text));
        EXPECT_NE(Text(text).find(test.fWords), std::u16string::npos) << Ascii(Text(text));
    }
}

TEST(XMacErrorText, UnknownPlatformCodesNameTheirNumber)
{
    const WordsCase cases[] = {
        {Carbon(-12345), u"Carbon status (-12345)."},
        {Mach(99), u"Mach error 99"},
        {Cocoa(7), u"Cocoa error 7."},
    };
    for (const WordsCase& test : cases)
    {
        VString text;
        ASSERT_TRUE(XMacErrorText::GetErrorText(test.fError, text));
        EXPECT_EQ(Text(text), test.fWords);
    }
}

TEST(XMacErrorText, ToolboxCodesAreNotThePlatformsToTell)
{
    VString text;
    EXPECT_FALSE(XMacErrorText::GetErrorText(MakeKovaError(600), text));
    EXPECT_TRUE(text.IsEmpty());
}

} // namespace
} // namespace kova
