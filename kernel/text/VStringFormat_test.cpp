#include "kernel/text/VString.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <string>

namespace kova
{
namespace
{

std::u16string Formatted(const char* inFormat, ...)
{
    VString text;
    va_list arguments;
    va_start(arguments, inFormat);
    text.VPrintf(inFormat, arguments);
    va_end(arguments);
    return Text(text);
}

TEST(VStringPrintf, CLibraryDirectivesAndLiteralText)
{
    EXPECT_EQ(Formatted("no directive at all"), u"no directive at all");
    EXPECT_EQ(Formatted("%d|%5.2f|%-4s|%x|%c", -12, 3.14159, "ab", 255u, 'z'), u"-12| 3.14|ab  |ff|z");
    EXPECT_EQ(Formatted("100%% of %d", 7), u"100% of 7");
    EXPECT_EQ(Formatted("%lld %zu %hhd %Lg", (long long)-5000000000LL, size_t(42), 300, (long double)0.5),
              u"-5000000000 42 44 0.5");
    // Not a directive of the C library: written as it stands, no argument taken.
    EXPECT_EQ(Formatted("%y%d", 5), u"%y5");
    EXPECT_EQ(Formatted("cut at the end %"), u"cut at the end %");
}

TEST(VStringPrintf, ObjectDirectivesInsertTheObjectsText)
{
    VString word(u"d\u00e9j\u00e0");
    VLong number(42);
    EXPECT_EQ(Formatted("[%S] [%A]", &word, &number), u"[d\u00e9j\u00e0] [42]");
    // The C library's own output is read as Mac Roman: the UTF-8 bytes of the same word.
    EXPECT_EQ(Formatted("%s", "d\xC3\xA9j\xC3\xA0"), u"d\u221A\u00A9j\u221A\u2020");

    VString dump;
    number.DebugDump(dump);
    EXPECT_EQ(Formatted("%V", &number), Text(dump));

    VCompareOptions options;
    EXPECT_EQ(Formatted("%S|%A|%V", nullptr, nullptr, nullptr),
              u"@@invalid VObject@@|@@invalid VObject@@|@@invalid VObject@@");
    EXPECT_EQ(Formatted("%S", &number), u"@@invalid VString@@");
    EXPECT_EQ(Formatted("%A", &options), u"@@invalid VValueSingle@@");
}

TEST(VStringPrintf, EachDirectiveTakesItsOwnArguments)
{
    VString first("first");
    VString second("second");
    // "%%" takes nothing, '*' an int each; doubles travel apart from pointers on this platform.
    EXPECT_EQ(Formatted("%% %S", &first), u"% first");
    EXPECT_EQ(Formatted("%*d|%S", 4, 7, &first), u"   7|first");
    EXPECT_EQ(Formatted("%.*s|%S", 2, "abc", &second), u"ab|second");
    EXPECT_EQ(Formatted("%-*.*f|%S", 6, 1, 2.25, &first), u"2.2   |first");
    EXPECT_EQ(Formatted("%f %S %g %S %e", 1.5, &first, 2.5, &second, 3.5),
              u"1.500000 first 2.5 second 3.500000e+00");
}

TEST(VStringPrintf, LiteralMarkersAreNotTakenForObjects)
{
    VString name("name");
    EXPECT_EQ(Formatted("a;;;b;;;c %S", &name), u"a;;;b;;;c name");
    VString tricky(";;;0x1;;;");
    EXPECT_EQ(Formatted("%S and %S", &tricky, &name), u";;;0x1;;; and name");
}

TEST(VStringPrintf, NothingIsCut)
{
    std::string longFormat(3000, 'x');
    EXPECT_EQ(Formatted(longFormat.c_str()).size(), 3000u);
    std::u16string padded = Formatted("%2000d|", 5);
    ASSERT_EQ(padded.size(), 2001u);
    EXPECT_EQ(padded.substr(1995), u"    5|");
    VString longText(std::u16string(5000, u'y').c_str());
    EXPECT_EQ(Formatted("<%S>", &longText).size(), 5002u);
}

TEST(VStringPrintf, CountDirectiveWritesNothing)
{
    int count = -1;
    EXPECT_EQ(Formatted("ab%ncd%d", &count, 3), u"abcd3");
    EXPECT_EQ(count, -1);
}

TEST(VStringPrintf, PrintfReplacesAndAppendPrintfAppends)
{
    VString text("old text");
    text.Printf("%d-%d", 1, 2);
    EXPECT_EQ(Text(text), u"1-2");
    EXPECT_EQ(&text.AppendPrintf("+%s", "three"), &text);
    EXPECT_EQ(Text(text), u"1-2+three");

    // A string over a caller's buffer is written in place while the text fits.
    UniChar buffer[16] = {0};
    VString inPlace(buffer, sizeof(buffer));
    inPlace.Printf("%03d", 7);
    EXPECT_EQ(Text(inPlace), u"007");
    EXPECT_EQ(inPlace.GetCPointer(), buffer);
}

} // namespace
} // namespace kova
