#include "kernel/text/StStringConverter.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace kova
{
namespace
{

bool PointsInto(const void* inPointer, const void* inObject, size_t inSize)
{
    auto address = reinterpret_cast<uintptr_t>(inPointer);
    auto start = reinterpret_cast<uintptr_t>(inObject);
    return address >= start && address < start + inSize;
}

TEST(StStringConverter, ShortResultsStayInTheScopeLongOnesMoveToTheHeap)
{
    StStringConverter<char> scope(VTC_UTF_8, eCRM_NONE);
    VString shortText(std::u16string(300, u'a').c_str());
    scope.ConvertString(shortText);
    EXPECT_TRUE(scope.IsOK());
    EXPECT_EQ(scope.GetSize(), 300u);
    EXPECT_EQ(scope.GetCapacity(), 512u);
    EXPECT_TRUE(PointsInto(scope.GetCPointer(), &scope, sizeof(scope)));
    EXPECT_EQ(scope.GetCPointer()[300], 0);

    VString longText(std::u16string(600, u'b').c_str());
    scope.ConvertString(longText);
    EXPECT_TRUE(scope.IsOK());
    EXPECT_EQ(scope.GetSize(), 600u);
    EXPECT_EQ(scope.GetCapacity(), 600u); // the bytes produced, not the zero after them
    EXPECT_FALSE(PointsInto(scope.GetCPointer(), &scope, sizeof(scope)));
    EXPECT_EQ(std::string(scope.GetCPointer()), std::string(600, 'b'));

    // The heap block is reused, and a shorter text fits it.
    scope.ConvertString(VString("xyz"));
    EXPECT_EQ(std::string(scope.GetCPointer()), "xyz");
    EXPECT_EQ(scope.GetSize(), 3u);
    // A text of exactly the capacity still goes whole, with its zero.
    scope.ConvertString(VString(std::u16string(599, u'c').c_str()));
    EXPECT_EQ(std::string(scope.GetCPointer()), std::string(599, 'c'));
    VString longer(std::u16string(2000, u'\u00e9').c_str());
    scope.ConvertString(longer);
    EXPECT_EQ(scope.GetSize(), 4000u);
    EXPECT_EQ(scope.GetCPointer()[4000], 0);
}

TEST(StStringConverter, LineEndsFollowTheMode)
{
    VString text(u"a\nb\r\nc\rd");
    EXPECT_EQ(std::string(StStringConverter<char>(text, VTC_UTF_8, eCRM_CRLF).GetCPointer()),
              "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(std::string(StStringConverter<char>(text, VTC_UTF_8, eCRM_LF).GetCPointer()), "a\nb\nc\nd");
    EXPECT_EQ(std::string(StStringConverter<char>(text, VTC_UTF_8, eCRM_CR).GetCPointer()), "a\rb\rc\rd");
    EXPECT_EQ(std::string(StStringConverter<char>(text, VTC_UTF_8, eCRM_NONE).GetCPointer()), "a\nb\r\nc\rd");
}

TEST(StStringConverter, ASetWithoutEncoderFails)
{
    // Mac Arabic has no converter on this system.
    StStringConverter<char> scope(VString("abc"), VTC_MacArabic, eCRM_NONE);
    EXPECT_FALSE(scope.IsOK());
    EXPECT_EQ(scope.GetSize(), 0u);
    EXPECT_EQ(scope.GetCPointer()[0], 0);
}

TEST(StStringConverter, ToStringGivesUTF8)
{
    EXPECT_EQ(to_string(VString()), "");
    EXPECT_EQ(to_string(VString(true)), "");
    EXPECT_EQ(to_string(VString(u"d\u00e9j\u00e0")), "d\xC3\xA9j\xC3\xA0");
    // Through the stack buffer, then through the measuring pass.
    std::string twoBytes;
    for (int i = 0; i < 256; ++i)
        twoBytes += "\xC3\xA9";
    EXPECT_EQ(to_string(VString(std::u16string(255, u'\u00e9').c_str())), twoBytes.substr(0, 510));
    EXPECT_EQ(to_string(VString(std::u16string(256, u'\u00e9').c_str())), twoBytes);
    EXPECT_EQ(to_string(VString(std::u16string(200, u'\u20ac').c_str())).size(), 600u);
}

TEST(StStringConverter, ToStringOfIntegers)
{
    EXPECT_EQ(Text(ToString(INT_MIN)), u"-2147483648");
    EXPECT_EQ(Text(ToString(-42LL)), u"-42");
    EXPECT_EQ(Text(ToString(18446744073709551615ULL)), u"18446744073709551615");
    EXPECT_EQ(Text(ToString(18446744073709551615UL)), u"18446744073709551615");
    EXPECT_FALSE(ToString(0).IsNull());
}

} // namespace
} // namespace kova
