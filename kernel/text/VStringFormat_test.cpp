#include "kernel/text/VString.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VCompareOptions.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

// ---- the directives formatted without the C library must write exactly what it writes

// Formats one value both ways; false (with a message) when they differ.
template <class T>
testing::AssertionResult SameAsCLibrary(const std::string& inFormat, T inValue)
{
    char expected[2048];
    const int size = std::snprintf(expected, sizeof(expected), inFormat.c_str(), inValue);
    VString text;
    text.Printf(inFormat.c_str(), inValue);
    // Bytes of 0x80 or more are read as Mac Roman, as a C string is.
    if (size >= 0 && size_t(size) < sizeof(expected) && Text(text) == Text(VString(expected)))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << inFormat << " gives \"" << to_string(text) << "\", the C library \"" << expected << "\"";
}

// Every combination of the flags written here, with widths and precisions around the limit of
// 128 (beyond it the C library writes the field).
std::vector<std::string> Skeletons(const char* inModifier, const char* inConversions, bool inZeroFlag = true)
{
    static const char* const kFlags[] = {"", "-", "+", " ", "-+", "0", "+0", " 0", "- 0", "-+ 0"};
    static const char* const kWidths[] = {"", "1", "7", "30", "128", "129"};
    static const char* const kPrecisions[] = {"", ".", ".0", ".1", ".6", ".17", ".128", ".129"};
    std::vector<std::string> skeletons;
    for (const char* flags : kFlags)
        for (const char* width : kWidths)
            if (inZeroFlag || std::strchr(flags, '0') == nullptr)
                for (const char* precision : kPrecisions)
                    for (const char* conversion = inConversions; *conversion != 0; ++conversion)
                        skeletons.push_back(std::string("<%") + flags + width + precision + inModifier +
                                            *conversion + ">");
    return skeletons;
}

TEST(VStringPrintf, IntegersAsTheCLibraryWritesThem)
{
    const long long kValues[] = {
        0,         1,        -1,     7,         -42,       255,        300,
        -129,      65535,    -32769, INT32_MAX, INT32_MIN, UINT32_MAX, 1234567890123LL,
        LLONG_MAX, LLONG_MIN};
    for (const std::string& format : Skeletons("", "diuxXo"))
        for (long long value : kValues)
            ASSERT_TRUE(SameAsCLibrary(format, int(value)));
    for (const char* modifier : {"hh", "h"})
        for (const std::string& format : Skeletons(modifier, "diuxX"))
            for (long long value : kValues)
                ASSERT_TRUE(SameAsCLibrary(format, int(value)));
    for (const std::string& format : Skeletons("l", "dux"))
        for (long long value : kValues)
            ASSERT_TRUE(SameAsCLibrary(format, long(value)));
    for (const std::string& format : Skeletons("ll", "diX"))
        for (long long value : kValues)
            ASSERT_TRUE(SameAsCLibrary(format, value));
    for (long long value : kValues)
    {
        ASSERT_TRUE(SameAsCLibrary("%jd|", intmax_t(value)));
        ASSERT_TRUE(SameAsCLibrary("%zu|", size_t(value)));
        ASSERT_TRUE(SameAsCLibrary("%zd|", size_t(value)));
        ASSERT_TRUE(SameAsCLibrary("%td|", ptrdiff_t(value)));
        ASSERT_TRUE(SameAsCLibrary("%tu|", ptrdiff_t(value)));
    }
}

TEST(VStringPrintf, RealsAsTheCLibraryWritesThem)
{
    const double kValues[] = {0.0,         -0.0,      1.0,          -1.0,
                              0.1,         0.5,       1.5,          2.5,
                              0.125,       9.9999999, 1e-5,         0.00001234,
                              123456789.0, 1e14,      1e15,         1e16,
                              1e17,        1e21,      1e300,        -6.02214076e23,
                              DBL_MAX,     DBL_MIN,   5e-324,       2.2250738585072009e-308,
                              HUGE_VAL,    -HUGE_VAL, std::nan(""), -std::nan("")};
    for (const std::string& format : Skeletons("", "fFeEgG"))
        for (double value : kValues)
            ASSERT_TRUE(SameAsCLibrary(format, value));
    for (const std::string& format : Skeletons("l", "fg"))
        ASSERT_TRUE(SameAsCLibrary(format, 3.25));

    // Values of every magnitude, with the precisions the toolbox uses.
    std::mt19937_64 random(11);
    for (int i = 0; i < 3000; ++i)
    {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof(value));
        for (const char* format : {"%g", "%.14G", "%.17g", "%e", "%.3f", "%.0e"})
            ASSERT_TRUE(SameAsCLibrary(format, value));
    }
}

TEST(VStringPrintf, StringsAndCharactersAsTheCLibraryWritesThem)
{
    const std::string longText(300, 'w');
    // '0' with a string is not defined by the C standard: the C library writes those.
    for (const std::string& format : Skeletons("", "s", false))
        for (const char* text : {"", "a", "hello", "caf\x8E", longText.c_str()})
            ASSERT_TRUE(SameAsCLibrary(format, text));
    for (const char* format : {"%c", "%-5c", "%5c", "%1c"})
        for (int character : {int('a'), int(' '), int('~'), 0x8E})
            ASSERT_TRUE(SameAsCLibrary(format, character));
    const char* none = nullptr;
    for (const char* format : {"%s", "%10s", "%-10s|", "%.3s|", "%.6s|"})
        ASSERT_TRUE(SameAsCLibrary(format, none));
}

} // namespace
} // namespace kova
