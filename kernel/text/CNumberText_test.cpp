#include "kernel/text/CNumberText.h"

#include "kernel/text/VString.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kova
{
namespace
{

uint64_t Bits(double inValue)
{
    uint64_t bits;
    std::memcpy(&bits, &inValue, sizeof(bits));
    return bits;
}

// strtod in the "C" locale (the tests never change it): what ReadCReal must give.
struct Reading
{
    double fValue;
    size_t fStop;
    bool fRangeError;
};

Reading WithStrtod(const char* inText)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(inText, &end);
    return {value, size_t(end - inText), errno == ERANGE};
}

// Texts at the edges of the plain reading: signs, points, exponents cut short, blanks, other forms
// that only strtod reads, denormals, the ends of the range and beyond, and the longest digit
// strings (the exact expansions of the smallest and largest doubles).
std::vector<std::string> EdgeTexts()
{
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "+0",
                                      "1",
                                      "-1",
                                      "+1.5",
                                      "+-1",
                                      "-+1",
                                      "--1",
                                      ".5",
                                      "-.5",
                                      "5.",
                                      "-5.",
                                      ".",
                                      "-",
                                      "+",
                                      "",
                                      "1e",
                                      "1e+",
                                      "1e-",
                                      "1E5",
                                      "1e+5x",
                                      "2.5e-3",
                                      "1.5e3xyz",
                                      "1,5",
                                      "12-3",
                                      "1e5e6",
                                      " 7",
                                      "\t-7",
                                      "0x1p3",
                                      "0X1.8P1",
                                      "-0x10",
                                      "0x",
                                      "0xg",
                                      "inf",
                                      "-INF",
                                      "infinity",
                                      "nan",
                                      "NAN(123)",
                                      "x1",
                                      "4.9e-324",
                                      "5e-324",
                                      "2.4703282292062327e-324",
                                      "2.4703282292062328e-324",
                                      "2.2250738585072011e-308",
                                      "2.2250738585072014e-308",
                                      "1e-320",
                                      "1e-400",
                                      "-1e-400",
                                      "1.7976931348623157e308",
                                      "1.7976931348623158e308",
                                      "1.7976931348623159e308",
                                      "1e308",
                                      "1e309",
                                      "-1e309",
                                      "1e999999999999",
                                      "0.000000000000000000000000000000000000000000000001",
                                      "123456789012345678901234567890",
                                      std::string(400, '9'),
                                      "0." + std::string(400, '0') + "1",
                                      "1" + std::string(308, '0'),
                                      "1" + std::string(309, '0')};
    char text[1200];
    for (double value : {DBL_TRUE_MIN, DBL_MIN, DBL_MAX, 0.1, 1.0 / 3})
    {
        std::snprintf(text, sizeof(text), "%.800e", value);
        texts.push_back(text);
        std::snprintf(text, sizeof(text), "%.1070f", value < 1 ? value : 0.5);
        texts.push_back(text);
    }
    return texts;
}

TEST(CNumberText, ReadCRealReadsWhatStrtodReads)
{
    std::vector<std::string> texts = EdgeTexts();
    std::mt19937_64 random(3);
    char text[64];
    for (int i = 0; i < 20000; ++i)
    {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof(value));
        std::snprintf(text, sizeof(text), i % 2 == 0 ? "%.17g" : "%.9e", value);
        texts.push_back(text);
    }
    for (const std::string& text : texts)
    {
        const Reading expected = WithStrtod(text.c_str());
        char* end = nullptr;
        const double value = ReadCReal(text.c_str(), &end);
        ASSERT_EQ(Bits(value), Bits(expected.fValue)) << text;
        ASSERT_EQ(size_t(end - text.c_str()), expected.fStop) << text;
    }
}

// The plain reading takes only what it reads the same; everything else is left to strtod.
TEST(CNumberText, PlainReadingLeavesTheOtherFormsToStrtod)
{
    for (const std::string& text : EdgeTexts())
    {
        double value = 0;
        const char* stop = nullptr;
        if (!ReadPlainCReal(text.data(), text.data() + text.size(), value, &stop))
            continue;
        const Reading expected = WithStrtod(text.c_str());
        EXPECT_FALSE(expected.fRangeError && (expected.fValue == 0 || std::isinf(expected.fValue))) << text;
        EXPECT_EQ(Bits(value), Bits(expected.fValue)) << text;
        EXPECT_EQ(size_t(stop - text.data()), expected.fStop) << text;
    }
    double value = 0;
    for (const char* text : {" 1", "0x1p3", "inf", "nan", "1e309", "1e-400", "", "+", "-.", "+-1"})
        EXPECT_FALSE(ReadPlainCReal(text, text + std::strlen(text), value, nullptr)) << text;
}

TEST(CNumberText, WriteCRealWritesWhatSnprintfWrites)
{
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.1,
                                  1e20,
                                  0.00001,
                                  0.0001,
                                  1e14,
                                  1e15,
                                  123456789012345.0,
                                  99999999999999.5,
                                  0.5,
                                  1.5,
                                  2.5,
                                  DBL_MAX,
                                  DBL_MIN,
                                  DBL_TRUE_MIN,
                                  -DBL_TRUE_MIN,
                                  HUGE_VAL,
                                  -HUGE_VAL,
                                  std::nan(""),
                                  -std::nan("")};
    std::mt19937_64 random(5);
    for (int i = 0; i < 20000; ++i)
    {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof(value));
        values.push_back(value);
    }
    for (double value : values)
    {
        char expected[255];
        char written[255];
        const int expectedSize = std::snprintf(expected, sizeof(expected), "%.14G", value);
        ASSERT_EQ(WriteCReal(written, sizeof(written), value), expectedSize) << expected;
        ASSERT_STREQ(written, expected);
    }
    // A buffer too small gets what fits, as from snprintf.
    char small[5];
    EXPECT_EQ(WriteCReal(small, sizeof(small), -1.25e-100), 10);
    EXPECT_STREQ(small, "-1.2");
}

// GetReal reads a plain number of up to 63 units from the units themselves, anything else through
// its UTF-8 text: both give strtod's answer, and the overflow flag says what ERANGE says.
TEST(CNumberText, StringReadingMatchesStrtodOnBothSidesOfItsFastPath)
{
    std::vector<std::string> texts = EdgeTexts();
    for (size_t length : {62, 63, 64, 65})
    {
        texts.push_back("1." + std::string(length - 2, '3'));
        texts.push_back("-" + std::string(length - 1, '7'));
    }
    for (const std::string& text : texts)
    {
        const Reading expected = WithStrtod(text.c_str());
        bool overflow = true;
        const double value = VString(text.c_str()).GetRealCheckOverflow(&overflow);
        ASSERT_EQ(Bits(value), Bits(expected.fValue)) << text;
        EXPECT_EQ(overflow, expected.fRangeError && (value == 0 || std::isinf(value))) << text;
    }
    // A unit beyond ASCII ends the number, as its UTF-8 bytes end it for strtod.
    EXPECT_EQ(VString(u"12\u00B75").GetReal(), 12.0);
    EXPECT_EQ(VString(u"3\u0660").GetReal(), 3.0);
    const UniChar withZero[] = {u'4', u'2', 0, u'7'};
    EXPECT_EQ(VString(const_cast<UniChar*>(withZero), 4, sizeof(withZero)).GetReal(), 42.0);
}

} // namespace
} // namespace kova
