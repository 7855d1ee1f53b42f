#include "kernel/text/VString.h"

#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace kova
{
namespace
{

// Makes a manager of the dialect the process's one for the scope.
// Gives the calling task (and threads without a task) a manager of another dialect for one scope.
class StProcessIntlManager
{
public:
    explicit StProcessIntlManager(uint32_t inDialect)
        : fPreviousProcess(VRefPtr<VIntlMgr>::Retained(VProcess::sInstance->GetIntlMgr())),
          fPreviousTask(VRefPtr<VIntlMgr>::Retained(VTask::GetCurrentIntlManager()))
    {
        VRefPtr<VIntlMgr> manager(VIntlMgr::Create(inDialect, inDialect, 1));
        VProcess::sInstance->_SetIntlMgr(manager.Get());
        VTask::SetCurrentIntlManager(manager.Get());
    }
    ~StProcessIntlManager()
    {
        VProcess::sInstance->_SetIntlMgr(fPreviousProcess.Get());
        VTask::SetCurrentIntlManager(fPreviousTask.Get());
    }

private:
    VRefPtr<VIntlMgr> fPreviousProcess;
    VRefPtr<VIntlMgr> fPreviousTask;
};

struct IntegerCase
{
    const char16_t* fText;
    int64_t fLong8;
    int32_t fLong;
    int16_t fWord;
};

TEST(VStringConvert, IntegersTakeEveryDigitUpToTheDecimalSeparator)
{
    const IntegerCase cases[] = {
        {u"", 0, 0, 0},
        {u"-12abc3", -123, -123, -123},
        {u"1-2", 12, 12, 12},
        {u"0-5", -5, -5, -5},
        {u" +1 234 ", 1234, 1234, 1234},
        {u"12.7", 12, 12, 12},
        {u"3000000000", 3000000000LL, 0, 0},
        {u"40000", 40000, 40000, 0},
        {u"-32768", -32768, -32768, -32768},
        {u"9223372036854775807", INT64_MAX, 0, 0},
        {u"-9223372036854775808", INT64_MIN, 0, 0},
        // Too large for 64 bits: 0, never the wrapped low bits.
        {u"9223372036854775808", 0, 0, 0},
        {u"18446744073709551617", 0, 0, 0},
    };
    for (const IntegerCase& test : cases)
    {
        VString text(test.fText);
        EXPECT_EQ(text.GetLong8(), test.fLong8) << Text(text).size();
        EXPECT_EQ(text.GetLong(), test.fLong);
        EXPECT_EQ(text.GetWord(), test.fWord);
    }
}

TEST(VStringConvert, TheDecimalSeparatorIsTheCurrentTasks)
{
    StProcessIntlManager french(1036);
    ASSERT_EQ(Text(VTask::GetCurrentIntlManager()->GetDecimalSeparator()), u",");
    EXPECT_EQ(VString("12.7").GetLong8(), 127);
    EXPECT_EQ(VString("12,7").GetLong8(), 12);
    // Reals keep '.' whatever the dialect.
    EXPECT_EQ(VString("1.5").GetReal(), 1.5);
}

TEST(VStringConvert, RealsAreReadInTheCConventions)
{
    EXPECT_EQ(VString("1.5e3xyz").GetReal(), 1500.0);
    EXPECT_EQ(VString("1,5").GetReal(), 1.0);
    EXPECT_EQ(VString("  -0.25").GetReal(), -0.25);
    EXPECT_EQ(VString("abc").GetReal(), 0.0);
    EXPECT_EQ(VString().GetReal(), 0.0);

    bool overflow = false;
    EXPECT_TRUE(std::isinf(VString("1e999").GetRealCheckOverflow(&overflow)));
    EXPECT_TRUE(overflow);
    EXPECT_EQ(VString("-1e-999").GetRealCheckOverflow(&overflow), 0.0);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(VString("2.5").GetRealCheckOverflow(&overflow), 2.5);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(VString("0").GetRealCheckOverflow(&overflow), 0.0);
    EXPECT_FALSE(overflow);
}

TEST(VStringConvert, OnlyTheWordTrueIsTrue)
{
    EXPECT_TRUE(VString("true").GetBoolean());
    EXPECT_TRUE(VString("TRUE").GetBoolean());
    EXPECT_FALSE(VString("1").GetBoolean());
    EXPECT_FALSE(VString("true ").GetBoolean());
    EXPECT_FALSE(VString().GetBoolean());
}

TEST(VStringConvert, FourCharacterCodes)
{
    EXPECT_EQ(VString("ab").GetOsType(), FourCharCode("ab  "));
    EXPECT_EQ(VString().GetOsType(), FourCharCode("    "));
    EXPECT_EQ(VString("kova and more").GetOsType(), FourCharCode("kova"));
    // A character is never cut: é takes two bytes, which do not fit after "abc".
    EXPECT_EQ(VString(u"abc\u00e9").GetOsType(), FourCharCode("abc "));
    VString code;
    code.FromOsType(FourCharCode("TEXT"));
    EXPECT_EQ(Text(code), u"TEXT");
}

TEST(VStringConvert, HexadecimalReading)
{
    EXPECT_EQ(VString("0x1f").GetHexLong(), 31u);
    EXPECT_EQ(VString("12 34").GetHexLong(), 0x1234u);
    EXPECT_EQ(VString("").GetHexLong(), 0u);
    EXPECT_EQ(VString("FFFFFFFFFFFFFFFF").GetHexLong(), UINT64_MAX);
    EXPECT_EQ(VString("0x0000123").GetHexLong(), 0x123u);
    // A seventeenth significant digit does not fit.
    EXPECT_EQ(VString("1FFFFFFFFFFFFFFFF").GetHexLong(), 0u);
}

TEST(VStringConvert, HexadecimalWriting)
{
    VString text("previous text");
    text.FromHexLong(uint64_t(0));
    EXPECT_EQ(Text(text), u"0");
    text.FromHexLong(uint64_t(0), true);
    EXPECT_EQ(Text(text), u"0x0000");
    text.FromHexLong(uint64_t(255));
    EXPECT_EQ(Text(text), u"FF");
    text.FromHexLong(uint32_t(255), true);
    EXPECT_EQ(Text(text), u"0x00FF");
    text.FromHexLong(uint32_t(0x12345), true);
    EXPECT_EQ(Text(text), u"0x00012345");
    text.FromHexLong(uint64_t(0x123456789), true);
    EXPECT_EQ(Text(text), u"0x0000000123456789");
    text.FromHexLong(static_cast<unsigned char>(0), true);
    EXPECT_EQ(Text(text), u"0x00");
    text.FromHexLong(int32_t(-1));
    EXPECT_EQ(Text(text), u"FFFFFFFF");
    text.FromHexLong(int64_t(-2));
    EXPECT_EQ(Text(text), u"FFFFFFFFFFFFFFFE");
    text.FromHexLong(char(-1), true);
    EXPECT_EQ(Text(text), u"0xFF");

    StringFromHexLong(text, uint8_t(10), false);
    EXPECT_EQ(Text(text), u"A");
    StringFromHexLong(text, uint32_t(0xABCDE), true);
    EXPECT_EQ(Text(text), u"0x000ABCDE");
    StringFromHexLong(text, uint64_t(0xABCDEF012), true);
    EXPECT_EQ(Text(text), u"0x0000000ABCDEF012");
}

TEST(VStringConvert, NumbersWritten)
{
    struct RealCase
    {
        double fValue;
        const char16_t* fText;
    };
    const RealCase cases[] = {
        {0.1, u"0.1"},       {1e20, u"1E+20"},
        {0.00001, u"1E-05"}, {999999999999999.0, u"1E+15"},
        {-2.5, u"-2.5"},     {std::numeric_limits<double>::infinity(), u"INF"},
    };
    VString text;
    for (const RealCase& test : cases)
    {
        text.FromReal(test.fValue);
        EXPECT_EQ(Text(text), test.fText);
    }
    text.FromULong8(UINT64_MAX);
    EXPECT_EQ(Text(text), u"18446744073709551615");
}

TEST(VStringConvert, UnitsAndRecords)
{
    VString text("abc");
    text.FromUniChar(u'x');
    EXPECT_EQ(Text(text), u"x");
    text.FromUniChar(0);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(text.IsNull());

    VString source(std::u16string(40, u's').c_str());
    VInlineString record;
    ASSERT_TRUE(record.InitWithString(source));
    VString shared(true);
    shared.FromString(record);
    EXPECT_EQ(shared.GetCPointer(), record.fString);
    EXPECT_FALSE(shared.IsNull());
    EXPECT_EQ(shared.GetLength(), 40);
    record.Dispose();
    // The string keeps its own reference.
    EXPECT_EQ(Text(shared), std::u16string(40, u's'));
    shared.FromString(VInlineString());
    EXPECT_TRUE(shared.IsEmpty());
}

TEST(VStringConvert, CStringsAreASCIIOrUTF8)
{
    VString text(true);
    text.FromCString("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(Text(text), u"\u00e9t\u00e9");
    text.FromCString("plain");
    EXPECT_EQ(Text(text), u"plain");
    text.FromCString("");
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(text.IsNull());
}

TEST(VStringConvert, BlocksWithOptionalByteOrderMark)
{
    const uint8_t marked[] = {0xEF, 0xBB, 0xBF, 'h', 0xC3, 0xA9};
    VString text;
    EXPECT_EQ(text.FromBlockWithOptionalBOM(marked, sizeof(marked), VTC_MacOSAnsi), VTC_UTF_8);
    EXPECT_EQ(Text(text), u"h\u00e9");
    const uint8_t unmarked[] = {'h', 0x8E};
    EXPECT_EQ(text.FromBlockWithOptionalBOM(unmarked, sizeof(unmarked), VTC_MacOSAnsi), VTC_MacOSAnsi);
    EXPECT_EQ(Text(text), u"h\u00e9");
}

TEST(VStringConvert, ToBlockWithPrefixAndTerminator)
{
    uint8_t buffer[10];
    std::memset(buffer, 0xAA, sizeof(buffer));
    EXPECT_EQ(VString("abc").ToBlock(buffer, sizeof(buffer), VTC_UTF_8, true, true), 3u);
    const uint8_t expected[] = {3, 'a', 'b', 'c', 0, 0xAA};
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof(expected)), 0);

    // Too small: the text that fits, a terminator after it.
    EXPECT_EQ(VString("abcdefghijkl").ToBlock(buffer, 6, VTC_UTF_8, true, false), 5u);
    EXPECT_EQ(buffer[5], 0);
    EXPECT_EQ(VString("abc").ToBlock(buffer, 1, VTC_UTF_8, true, true), 0u);

    // 16-bit prefix and terminator for UTF-16.
    uint8_t units[12];
    EXPECT_EQ(VString("ab").ToBlock(units, sizeof(units), VTC_UTF_16, true, true), 4u);
    uint16_t prefix;
    std::memcpy(&prefix, units, 2);
    EXPECT_EQ(prefix, 2);
    EXPECT_EQ(units[6], 0);
    EXPECT_EQ(units[7], 0);

    // A byte count the prefix cannot hold makes both the prefix and the result 0.
    std::vector<uint8_t> large(400);
    VString longText(std::u16string(300, u'x').c_str());
    EXPECT_EQ(longText.ToBlock(large.data(), large.size(), VTC_UTF_8, false, true), 0u);
    EXPECT_EQ(large[0], 0);
}

TEST(VStringConvert, ToBufferReplacesTheBytes)
{
    VMemoryBuffer<1024ul, 2ul, 1048576ul> bytes;
    ASSERT_TRUE(VString("old").ToBuffer(bytes, VTC_UTF_8));
    ASSERT_TRUE(VString(u"\u00e9").ToBuffer(bytes, VTC_UTF_8));
    ASSERT_EQ(bytes.GetDataSize(), 2u);
    EXPECT_EQ(std::memcmp(bytes.GetDataPtr(), "\xC3\xA9", 2), 0);
}

} // namespace
} // namespace kova
