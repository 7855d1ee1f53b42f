#include "kernel/files/VStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VProgressIndicator.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kova
{
namespace
{

std::vector<uint8_t> Bytes(VStream& inStream)
{
    VStream::UnderlyingData data = inStream.GetUnderlyingData();
    const auto* bytes = static_cast<const uint8_t*>(data.fData);
    return std::vector<uint8_t>(bytes, bytes + data.fSize);
}

// A memory stream whose closing for writing can be told to fail, as a file that cannot be cut.
class CutFailingStream : public VPtrStream
{
protected:
    VError DoCloseWriting(bool inSetSize) override
    {
        if (inSetSize)
        {
            _ThrowError(MakeVError(kCOMPONENT_POSIX, 28));
            return MakeVError(kCOMPONENT_POSIX, 28);
        }
        return VE_OK;
    }
};

TEST(VStream, OpeningTwiceIsRefusedWithoutStoringAndKeepsTheFirstOpening)
{
    StErrorContextInstaller errors(false);
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    EXPECT_EQ(stream.OpenWriting(), VE_STREAM_ALREADY_OPENED);
    EXPECT_EQ(stream.OpenReading(), VE_STREAM_ALREADY_OPENED);
    EXPECT_EQ(errors.GetLastError(), VE_STREAM_ALREADY_OPENED);
    EXPECT_EQ(stream.GetLastError(), VE_OK);
    EXPECT_TRUE(stream.IsWriting());
    EXPECT_EQ(stream.PutLong(7), VE_OK);
    EXPECT_EQ(stream.CloseWriting(), VE_OK);
}

TEST(VStream, ClosingAClosedStreamIsRefusedWithoutStoring)
{
    StErrorContextInstaller errors(false);
    VPtrStream stream;
    EXPECT_EQ(stream.CloseReading(), VE_STREAM_CANNOT_READ);
    EXPECT_EQ(stream.CloseWriting(), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(stream.Flush(), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(stream.GetLastError(), VE_OK);
}

TEST(VStream, ReadOnlyAndWriteOnlyRefuseTheOtherWay)
{
    StErrorContextInstaller errors(false);
    VPtrStream stream;
    stream.SetReadOnly(true);
    EXPECT_EQ(stream.OpenWriting(), VE_STREAM_CANNOT_WRITE);
    EXPECT_FALSE(stream.IsWriting());
    stream.SetReadOnly(false);
    stream.SetWriteOnly(true);
    EXPECT_EQ(stream.OpenReading(), VE_STREAM_CANNOT_READ);
    EXPECT_FALSE(stream.IsReading());
    EXPECT_EQ(stream.GetLastError(), VE_OK);
}

TEST(VStream, TheStoredErrorWinsOverEveryLaterOperation)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[2] = {1, 2};
    VConstPtrStream stream(bytes, sizeof(bytes));
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    int32_t value = 99;
    EXPECT_EQ(stream.GetLong(value), VE_STREAM_EOF);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(stream.GetLastError(), VE_STREAM_EOF);
    // Not open for writing, yet the stored end of data answers first.
    EXPECT_EQ(stream.PutData(bytes, 1), VE_STREAM_EOF);
    EXPECT_EQ(stream.SetPos(0), VE_STREAM_EOF);
    size_t read = 42;
    EXPECT_EQ(stream.GetData(&value, 1, &read), VE_STREAM_EOF);
    EXPECT_EQ(read, 42u);
    EXPECT_EQ(stream.CloseReading(), VE_STREAM_EOF);
    // Opening again starts afresh.
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    uint8_t first = 0;
    EXPECT_EQ(stream.GetByte(first), VE_OK);
    EXPECT_EQ(first, 1);
}

TEST(VStream, DataOperationsOnAClosedStreamAreStored)
{
    StErrorContextInstaller errors(false);
    VPtrStream reader;
    uint8_t byte = 0;
    EXPECT_EQ(reader.GetByte(byte), VE_STREAM_CANNOT_READ);
    EXPECT_EQ(reader.GetLastError(), VE_STREAM_CANNOT_READ);

    VPtrStream writer;
    EXPECT_EQ(writer.PutByte(1), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(writer.GetLastError(), VE_STREAM_CANNOT_WRITE);

    VPtrStream positioned;
    EXPECT_EQ(positioned.SetPos(0), VE_STREAM_NOT_OPENED);
    EXPECT_EQ(positioned.GetLastError(), VE_STREAM_NOT_OPENED);
}

// One scalar of each width in both byte orders, with the bytes the stream must hold.
struct ScalarCase
{
    const char* fName;
    bool fSwap;
    std::vector<uint8_t> fBytes;
};

TEST(VStream, ScalarsOfEveryWidthInBothByteOrders)
{
    const ScalarCase cases[] = {
        {"host order", false, {0xAB, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A, 0x78,
                               0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F}},
        {"swapped", true, {0xAB, 0x12, 0x34, 0x12, 0x34, 0x56, 0x78, 0x12, 0x34, 0x56, 0x78, 0x9A,
                           0xBC, 0xDE, 0xF0, 0x3F, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const ScalarCase& test : cases)
    {
        SCOPED_TRACE(test.fName);
        VPtrStream stream;
        stream.SetNeedSwap(test.fSwap);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(stream.PutByte(0xAB), VE_OK);
        EXPECT_EQ(stream.PutWord(0x1234), VE_OK);
        EXPECT_EQ(stream.PutLong(0x12345678), VE_OK);
        EXPECT_EQ(stream.PutLong8(0x123456789ABCDEF0), VE_OK);
        EXPECT_EQ(stream.PutReal(1.5), VE_OK);
        EXPECT_EQ(stream.CloseWriting(), VE_OK);
        EXPECT_EQ(Bytes(stream), test.fBytes);

        ASSERT_EQ(stream.OpenReading(), VE_OK);
        uint8_t byte = 0;
        int16_t word = 0;
        int32_t longValue = 0;
        int64_t long8 = 0;
        double real = 0;
        EXPECT_EQ(stream.GetByte(byte), VE_OK);
        EXPECT_EQ(stream.GetWord(word), VE_OK);
        EXPECT_EQ(stream.GetLong(longValue), VE_OK);
        EXPECT_EQ(stream.GetLong8(long8), VE_OK);
        EXPECT_EQ(stream.GetReal(real), VE_OK);
        EXPECT_EQ(byte, 0xAB);
        EXPECT_EQ(word, 0x1234);
        EXPECT_EQ(longValue, 0x12345678);
        EXPECT_EQ(long8, 0x123456789ABCDEF0);
        EXPECT_EQ(real, 1.5);
        EXPECT_EQ(stream.GetPos(), 23);
        EXPECT_EQ(stream.CloseReading(), VE_OK);
    }
}

TEST(VStream, ArraysOfEveryWidthInBothByteOrders)
{
    const int16_t words[3] = {0x0102, -2, 0x7F00};
    const int32_t longs[2] = {0x01020304, -5};
    const int64_t long8s[2] = {0x0102030405060708, -9};
    const double reals[2] = {-0.25, 1e300};
    for (bool swap : {false, true})
    {
        SCOPED_TRACE(swap ? "swapped" : "host order");
        VPtrStream stream;
        stream.SetNeedSwap(swap);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(stream.PutWords(words, 3), VE_OK);
        EXPECT_EQ(stream.PutLongs(longs, 2), VE_OK);
        EXPECT_EQ(stream.PutLong8s(long8s, 2), VE_OK);
        EXPECT_EQ(stream.PutReals(reals, 2), VE_OK);
        EXPECT_EQ(stream.CloseWriting(), VE_OK);
        // The caller's arrays are never swapped in place.
        EXPECT_EQ(words[0], 0x0102);
        EXPECT_EQ(longs[0], 0x01020304);
        std::vector<uint8_t> bytes = Bytes(stream);
        ASSERT_EQ(bytes.size(), 6u + 8u + 16u + 16u);
        EXPECT_EQ(bytes[0], swap ? 0x01 : 0x02);
        EXPECT_EQ(bytes[6], swap ? 0x01 : 0x04);
        EXPECT_EQ(bytes[14], swap ? 0x01 : 0x08);

        ASSERT_EQ(stream.OpenReading(), VE_OK);
        int16_t wordsRead[3] = {};
        int32_t longsRead[2] = {};
        int64_t long8sRead[2] = {};
        double realsRead[2] = {};
        int32_t count = 3;
        EXPECT_EQ(stream.GetWords(wordsRead, &count), VE_OK);
        EXPECT_EQ(count, 3);
        count = 2;
        EXPECT_EQ(stream.GetLongs(longsRead, &count), VE_OK);
        EXPECT_EQ(count, 2);
        count = 2;
        EXPECT_EQ(stream.GetLong8s(long8sRead, &count), VE_OK);
        EXPECT_EQ(count, 2);
        count = 2;
        EXPECT_EQ(stream.GetReals(realsRead, &count), VE_OK);
        EXPECT_EQ(count, 2);
        EXPECT_EQ(0, std::memcmp(words, wordsRead, sizeof(words)));
        EXPECT_EQ(0, std::memcmp(longs, longsRead, sizeof(longs)));
        EXPECT_EQ(0, std::memcmp(long8s, long8sRead, sizeof(long8s)));
        EXPECT_EQ(0, std::memcmp(reals, realsRead, sizeof(reals)));
    }
}

TEST(VStream, AShortArrayReadCountsTheWholeElementsOnly)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[7] = {1, 0, 0, 0, 2, 0, 0};
    VConstPtrStream stream(bytes, sizeof(bytes));
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    int32_t values[4] = {};
    int32_t count = 4;
    EXPECT_EQ(stream.GetLongs(values, &count), VE_STREAM_EOF);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(values[0], 1);
    // A stored error reads nothing and reports no element.
    count = 1;
    EXPECT_EQ(stream.GetLongs(values, &count), VE_STREAM_EOF);
    EXPECT_EQ(count, 0);
}

TEST(VStream, BadCountsAreRefusedWithoutTouchingTheStream)
{
    StErrorContextInstaller errors(false);
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    const int32_t values[1] = {1};
    EXPECT_EQ(stream.PutLongs(values, -1), VE_INVALID_PARAMETER);
    EXPECT_EQ(stream.PutLongs(nullptr, 2), VE_INVALID_PARAMETER);
    EXPECT_EQ(stream.PutData(nullptr, 4), VE_INVALID_PARAMETER);
    EXPECT_EQ(stream.GetLastError(), VE_OK);
    EXPECT_EQ(stream.GetSize(), 0);
    EXPECT_EQ(stream.CloseWriting(), VE_OK);

    ASSERT_EQ(stream.OpenReading(), VE_OK);
    int32_t count = -3;
    int32_t out[1];
    EXPECT_EQ(stream.GetLongs(out, &count), VE_INVALID_PARAMETER);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(stream.GetLastError(), VE_OK);
}

TEST(VStream, PositionsAreCheckedBeforeUse)
{
    StErrorContextInstaller errors(false);
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutLong(1), VE_OK);
    EXPECT_EQ(stream.SetPosByOffset(-2), VE_OK);
    EXPECT_EQ(stream.GetPos(), 2);
    EXPECT_EQ(stream.SetPosByOffset(-3), VE_INVALID_PARAMETER);
    EXPECT_EQ(stream.GetLastError(), VE_INVALID_PARAMETER);
    EXPECT_EQ(stream.GetPos(), 2);

    VPtrStream other;
    ASSERT_EQ(other.OpenWriting(), VE_OK);
    EXPECT_EQ(other.SetPos(-1), VE_INVALID_PARAMETER);
    VPtrStream third;
    ASSERT_EQ(third.OpenWriting(), VE_OK);
    EXPECT_EQ(third.SetPosByOffset(INT64_MIN), VE_INVALID_PARAMETER);
    VPtrStream fourth;
    ASSERT_EQ(fourth.OpenWriting(), VE_OK);
    ASSERT_EQ(fourth.PutByte(1), VE_OK);
    EXPECT_EQ(fourth.SetPosByOffset(INT64_MAX), VE_INVALID_PARAMETER);
}

TEST(VStream, SignatureOfABigEndianWriterSetsTheSwapFlag)
{
    const uint32_t kSignature = FourCharCode("VBAG");
    VPtrStream written;
    written.SetBigEndian();
    ASSERT_EQ(written.OpenWriting(), VE_OK);
    ASSERT_EQ(written.PutLong(int32_t(kSignature)), VE_OK);
    const int32_t values[2] = {1, 0x01020304};
    ASSERT_EQ(written.PutLongs(values, 2), VE_OK);
    ASSERT_EQ(written.CloseWriting(), VE_OK);
    EXPECT_EQ(Bytes(written)[0], 'V');

    std::vector<uint8_t> bytes = Bytes(written);
    VConstPtrStream reader(bytes.data(), bytes.size());
    EXPECT_EQ(reader.OpenReading(kSignature), VE_OK);
    EXPECT_TRUE(reader.NeedSwap());
    int32_t read[2] = {};
    int32_t count = 2;
    EXPECT_EQ(reader.GetLongs(read, &count), VE_OK);
    EXPECT_EQ(read[0], 1);
    EXPECT_EQ(read[1], 0x01020304);
}

TEST(VStream, SignatureOfHostOrderDataClearsASwapFlagSetBefore)
{
    const uint32_t kSignature = FourCharCode("VBAG");
    VPtrStream written;
    ASSERT_EQ(written.OpenWriting(), VE_OK);
    ASSERT_EQ(written.PutLong(int32_t(kSignature)), VE_OK);
    ASSERT_EQ(written.PutLong(5), VE_OK);
    ASSERT_EQ(written.CloseWriting(), VE_OK);

    std::vector<uint8_t> bytes = Bytes(written);
    VConstPtrStream reader(bytes.data(), bytes.size());
    reader.SetBigEndian();
    EXPECT_EQ(reader.OpenReading(kSignature), VE_OK);
    EXPECT_FALSE(reader.NeedSwap());
    int32_t value = 0;
    EXPECT_EQ(reader.GetLong(value), VE_OK);
    EXPECT_EQ(value, 5);
}

TEST(VStream, SignatureMismatchRewindsAndLeavesTheStreamOpen)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[8] = {'a', 'b', 'c', 'd', 'V', 'B', 'A', 'G'};
    VConstPtrStream reader(bytes, sizeof(bytes));
    EXPECT_EQ(reader.OpenReading(FourCharCode("VBAG")), VE_STREAM_BAD_SIGNATURE);
    EXPECT_EQ(errors.GetLastError(), VE_STREAM_BAD_SIGNATURE);
    EXPECT_EQ(reader.GetLastError(), VE_OK);
    EXPECT_TRUE(reader.IsReading());
    EXPECT_EQ(reader.GetPos(), 0);
    // Already open: the next signature is read where the stream stands, and a mismatch there
    // rewinds to that place, not to the start of the data.
    ASSERT_EQ(reader.SetPos(4), VE_OK);
    EXPECT_EQ(reader.OpenReading(FourCharCode("XXXX")), VE_STREAM_BAD_SIGNATURE);
    EXPECT_EQ(reader.GetPos(), 4);
    EXPECT_EQ(reader.OpenReading(FourCharCode("GABV")), VE_OK);
    EXPECT_FALSE(reader.NeedSwap());
    EXPECT_EQ(reader.GetPos(), 8);
}

TEST(VStream, SignatureThatCannotBeReadKeepsTheReadError)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[2] = {'V', 'B'};
    VConstPtrStream reader(bytes, sizeof(bytes));
    EXPECT_EQ(reader.OpenReading(FourCharCode("VBAG")), VE_STREAM_BAD_SIGNATURE);
    EXPECT_EQ(reader.GetLastError(), VE_STREAM_EOF);
}

TEST(VStream, UngetDataMovesBackAndClearsTheEndOfData)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[3] = {1, 2, 3};
    VConstPtrStream stream(bytes, sizeof(bytes));
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    uint8_t buffer[4];
    size_t read = 0;
    EXPECT_EQ(stream.GetData(buffer, 4, &read), VE_STREAM_EOF);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(stream.UngetData(buffer + 1, 0), VE_STREAM_EOF);
    EXPECT_EQ(stream.UngetData(buffer + 1, 2), VE_OK);
    EXPECT_EQ(stream.GetLastError(), VE_OK);
    EXPECT_EQ(stream.GetPos(), 1);
    uint8_t byte = 0;
    EXPECT_EQ(stream.GetByte(byte), VE_OK);
    EXPECT_EQ(byte, 2);
    EXPECT_EQ(stream.UngetData(buffer, 3), VE_STREAM_CANNOT_UNGET);
    EXPECT_EQ(stream.GetLastError(), VE_STREAM_CANNOT_UNGET);
}

TEST(VStream, PutContentIntoCopiesTheWholeSourceInChunks)
{
    std::vector<uint8_t> source(4096 * 2 + 17);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 7);
    VConstPtrStream reader(source.data(), source.size());
    VPtrStream destination;
    ASSERT_EQ(destination.OpenWriting(), VE_OK);
    EXPECT_EQ(reader.PutContentInto(&destination), VE_OK);
    EXPECT_FALSE(reader.IsReading());
    EXPECT_EQ(destination.CloseWriting(), VE_OK);
    EXPECT_EQ(Bytes(destination), source);

    VConstPtrStream empty(nullptr, 0);
    VPtrStream emptyDestination;
    ASSERT_EQ(emptyDestination.OpenWriting(), VE_OK);
    EXPECT_EQ(empty.PutContentInto(&emptyDestination), VE_OK);
    EXPECT_EQ(emptyDestination.GetSize(), 0);
}

TEST(VStream, PutContentIntoAClosedDestinationFails)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[3] = {1, 2, 3};
    VConstPtrStream reader(bytes, sizeof(bytes));
    VPtrStream destination;
    EXPECT_EQ(reader.PutContentInto(&destination), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(destination.GetLastError(), VE_STREAM_CANNOT_WRITE);
    EXPECT_FALSE(reader.IsReading());
}

TEST(VStream, PutHexBytesWritesUpperCaseDigits)
{
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    const char bytes[3] = {'\x00', '\xAF', '\x5c'};
    EXPECT_EQ(stream.PutHexBytes(bytes, 3), VE_OK);
    std::vector<uint8_t> expected = {'0', '0', 'A', 'F', '5', 'C'};
    EXPECT_EQ(Bytes(stream), expected);
}

TEST(VStream, ClosingReportsAFailedCutOfTheData)
{
    StErrorContextInstaller errors(false);
    CutFailingStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutLong(1), VE_OK);
    EXPECT_EQ(stream.CloseWriting(true), MakeVError(kCOMPONENT_POSIX, 28));
    EXPECT_FALSE(stream.IsWriting());

    CutFailingStream uncut;
    ASSERT_EQ(uncut.OpenWriting(), VE_OK);
    EXPECT_EQ(uncut.CloseWriting(false), VE_OK);
}

TEST(VStream, SetSizeBringsThePositionBack)
{
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutLong8(1), VE_OK);
    EXPECT_EQ(stream.SetSize(3), VE_OK);
    EXPECT_EQ(stream.GetPos(), 3);
    EXPECT_EQ(stream.GetSize(), 3);
}

// ---------------------------------------------------------------------------------------------
// Text

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

VString MakeString(const char16_t* inText)
{
    VString text;
    text.AppendUniCString(inText);
    return text;
}

struct GuessCase
{
    const char* fName;
    std::vector<uint8_t> fBytes;
    CharSet fDefault;
    bool fProbe;
    CharSet fExpected;
    bool fBOM;
    int64_t fPos;
};

TEST(VStreamText, GuessesTheCharacterSetFromTheLeadingBytes)
{
    const GuessCase cases[] = {
        {"UTF-8 mark", {0xEF, 0xBB, 0xBF, 0x41}, VTC_UTF_16, false, VTC_UTF_8, true, 3},
        {"ASCII with a UTF-16 default", {0x41, 0x42, 0x43, 0x44}, VTC_UTF_16, false, VTC_UTF_8, false, 0},
        {"ASCII with another default", {0x41, 0x42, 0x43, 0x44}, VTC_US_ASCII, false, VTC_US_ASCII, false, 0},
        {"two bytes FF FE", {0xFF, 0xFE}, VTC_US_ASCII, false, VTC_UTF_16, true, 2},
        {"UCS-4 big-endian mark",
         {0x00, 0x00, 0xFE, 0xFF},
         VTC_US_ASCII,
         false,
         VTC_UTF_32_BIGENDIAN,
         true,
         4},
        {"UCS-4 host mark", {0xFF, 0xFE, 0x00, 0x00}, VTC_US_ASCII, false, VTC_UTF_32, true, 4},
        {"UTF-16 big-endian mark",
         {0xFE, 0xFF, 0x00, 0x41},
         VTC_US_ASCII,
         false,
         VTC_UTF_16_BIGENDIAN,
         true,
         2},
        {"zeros first", {0x00, 0x41, 0x00, 0x42}, VTC_US_ASCII, false, VTC_UTF_16_BIGENDIAN, false, 0},
        {"zeros second", {0x41, 0x00, 0x42, 0x00}, VTC_US_ASCII, false, VTC_UTF_16, false, 0},
        {"probe finds UTF-8", {0x68, 0xC3, 0xA9, 0x6C, 0x6C, 0x6F}, VTC_MacOSAnsi, true, VTC_UTF_8, false, 0},
        {"probe refuses a bad sequence",
         {0x68, 0xC3, 0x28, 0x6C},
         VTC_MacOSAnsi,
         true,
         VTC_MacOSAnsi,
         false,
         0},
        {"probe on nothing", {}, VTC_MacOSAnsi, true, VTC_UTF_8, false, 0},
        {"nothing, no probe", {}, VTC_MacOSAnsi, false, VTC_MacOSAnsi, false, 0},
    };
    for (const GuessCase& test : cases)
    {
        SCOPED_TRACE(test.fName);
        VConstPtrStream stream(test.fBytes.data(), test.fBytes.size());
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        bool bom = !test.fBOM;
        EXPECT_EQ(stream.GuessCharSetFromLeadingBytes(test.fDefault, test.fProbe, &bom), VE_OK);
        EXPECT_EQ(stream.GetCharSet(), test.fExpected);
        EXPECT_EQ(bom, test.fBOM);
        EXPECT_EQ(stream.GetPos(), test.fPos);
        EXPECT_EQ(stream.GetLastError(), VE_OK);
    }
}

TEST(VStreamText, WritesTheByteOrderMarkOfItsSet)
{
    const std::pair<CharSet, std::vector<uint8_t>> cases[] = {
        {VTC_UTF_16_BIGENDIAN, {0xFE, 0xFF}},
        {VTC_UTF_16, {0xFF, 0xFE}},
        {VTC_UTF_32_BIGENDIAN, {0, 0, 0xFE, 0xFF}},
        {VTC_UTF_32, {0xFF, 0xFE, 0, 0}},
        {VTC_UTF_8, {0xEF, 0xBB, 0xBF}},
        {VTC_MacOSAnsi, {}},
    };
    for (const auto& [charSet, bytes] : cases)
    {
        SCOPED_TRACE(charSet);
        VPtrStream stream;
        stream.SetCharSet(charSet);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(stream.WriteBOM(), VE_OK);
        EXPECT_EQ(Bytes(stream), bytes);
    }
}

TEST(VStreamText, DetectsWellFormedUTF8Only)
{
    const std::pair<std::vector<uint8_t>, bool> cases[] = {
        {{}, true},
        {{'a', 'b'}, true},
        {{0xC3, 0xA9}, true},
        {{0xE2, 0x82, 0xAC}, true},
        {{0xF0, 0x9F, 0x98, 0x80}, true},
        {{0xF4, 0x8F, 0xBF, 0xBF}, true},
        {{0xC0, 0x80}, false},             // overlong
        {{0xE0, 0x80, 0x80}, false},       // overlong
        {{0xED, 0xA0, 0x80}, false},       // surrogate
        {{0xF4, 0x90, 0x80, 0x80}, false}, // past U+10FFFF
        {{0xE2, 0x82}, false},             // cut at the end
        {{0x80}, false},
        {{0xC3, 0x28}, false},
        {{0xFF}, false},
    };
    for (const auto& [bytes, valid] : cases)
        EXPECT_EQ(DetectUTF8(bytes.data(), int32_t(bytes.size())), valid) << testing::PrintToString(bytes);
}

TEST(VStreamText, LinesEndAtLFCROrCRLF)
{
    const std::string data = "ab\r\ncd";
    for (bool keepEnd : {false, true})
    {
        SCOPED_TRACE(keepEnd);
        VConstPtrStream stream(data.data(), data.size());
        stream.SetCharSet(VTC_UTF_8);
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        StErrorContextInstaller errors(false);
        VString line("old");
        EXPECT_EQ(stream.GetTextLine(line, keepEnd), VE_OK);
        EXPECT_EQ(Text(line), keepEnd ? u"ab\r" : u"ab");
        EXPECT_EQ(stream.GetTextLine(line, keepEnd), VE_OK);
        EXPECT_EQ(Text(line), keepEnd ? u"cd\r" : u"cd");
        EXPECT_EQ(stream.GetTextLine(line, keepEnd), VE_STREAM_EOF);
        EXPECT_TRUE(line.IsEmpty());
        EXPECT_EQ(errors.GetLastError(), VE_OK); // the end of data is muted
    }
}

TEST(VStreamText, LinesSpanChunksWhole)
{
    std::string data(300, 'x');
    data += "\xC3\xA9\r";
    data.insert(255, "\xC3\xA9"); // a character across the first chunk's end
    std::string second(255, 'y');
    second += "\r\nz"; // CR LF across the second chunk's end
    data += second;

    VConstPtrStream stream(data.data(), data.size());
    stream.SetCharSet(VTC_UTF_8);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString line;
    EXPECT_EQ(stream.GetTextLine(line, false), VE_OK);
    EXPECT_EQ(line.GetLength(), 302);
    EXPECT_EQ(line.GetUniChar(256), u'\u00E9');
    EXPECT_EQ(line.GetUniChar(302), u'\u00E9');
    EXPECT_EQ(stream.GetTextLine(line, false), VE_OK);
    EXPECT_EQ(line.GetLength(), 255);
    EXPECT_EQ(stream.GetTextLine(line, false), VE_OK);
    EXPECT_EQ(Text(line), u"z");
}

TEST(VStreamText, LinesWithAnEndCharacter)
{
    const std::string data = "a\nb;c";
    VConstPtrStream stream(data.data(), data.size());
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString line;
    const UniChar semicolon = u';';
    EXPECT_EQ(stream.GetTextLine(line, false, &semicolon), VE_OK);
    EXPECT_EQ(Text(line), u"a\nb");
    EXPECT_EQ(stream.GetTextLine(line, false, &semicolon), VE_OK);
    EXPECT_EQ(Text(line), u"c");
}

TEST(VStreamText, LinesInUTF16BothByteOrders)
{
    for (CharSet charSet : {VTC_UTF_16, VTC_UTF_16_BIGENDIAN})
    {
        SCOPED_TRACE(charSet);
        VPtrStream stream;
        stream.SetCharSet(charSet);
        stream.SetCarriageReturnMode(eCRM_NONE);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        ASSERT_EQ(stream.PutText(MakeString(u"\u0101b\r\ncd;e\rf")), VE_OK);
        ASSERT_EQ(stream.CloseWriting(), VE_OK);
        const std::vector<uint8_t> expected = charSet == VTC_UTF_16
                                                  ? std::vector<uint8_t>{0x01, 0x01, 'b', 0}
                                                  : std::vector<uint8_t>{0x01, 0x01, 0, 'b'};
        std::vector<uint8_t> written = Bytes(stream);
        EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + 4), expected);

        ASSERT_EQ(stream.OpenReading(), VE_OK);
        VString line;
        EXPECT_EQ(stream.GetTextLine(line, false), VE_OK);
        EXPECT_EQ(Text(line), u"\u0101b");
        const UniChar semicolon = u';';
        EXPECT_EQ(stream.GetTextLine(line, false, &semicolon), VE_OK);
        EXPECT_EQ(Text(line), u"cd");
        EXPECT_EQ(stream.GetTextLine(line, true), VE_OK);
        EXPECT_EQ(Text(line), u"e\r");
        EXPECT_EQ(stream.GetTextLine(line, true), VE_OK);
        EXPECT_EQ(Text(line), u"f\r");
    }
}

TEST(VStreamText, AllTheTextAcrossDecodingBuffers)
{
    std::string data;
    for (int i = 0; i < 3000; ++i)
        data += "\xC3\xA9";
    VConstPtrStream stream(data.data(), data.size());
    stream.SetCharSet(VTC_UTF_8);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString text(">");
    EXPECT_EQ(stream.GetText(text), VE_OK);
    ASSERT_EQ(text.GetLength(), 3001);
    EXPECT_EQ(text.GetUniChar(3001), u'\u00E9');
}

// Text read in buffers of 4,096 bytes decodes as the whole text does, whatever the buffer cuts:
// an escape sequence of a set with shift states, or a run of malformed escapes, across the cut.
TEST(VStreamText, AllTheTextOfASetWithShiftStatesAcrossDecodingBuffers)
{
    for (const std::string& straddling :
         {std::string("\x1B$BF|K\\\x1B(Bz"), std::string("\x1B\x1B\x28\xFB"), std::string("+ZeVnLA-")})
    {
        for (size_t before = 4088; before <= 4096; ++before)
        {
            // The last buffer may hold nothing but the end of the cut text.
            const std::string data = std::string(before, 'a') + straddling + (before % 2 == 0 ? "end" : "");
            const CharSet charSet = straddling[0] == '+' ? VTC_UTF_7 : VTC_Jis;
            const VString whole(data.data(), data.size(), charSet);
            VConstPtrStream stream(data.data(), data.size());
            stream.SetCharSet(charSet);
            ASSERT_EQ(stream.OpenReading(), VE_OK);
            VString text;
            EXPECT_EQ(stream.GetText(text), VE_OK) << before;
            EXPECT_EQ(Text(text), Text(whole)) << before;
        }
    }
}

TEST(VStreamText, TextCutInsideACharacterIsAnError)
{
    StErrorContextInstaller errors(false);
    const std::string data = "h\xE2\x82";
    VConstPtrStream stream(data.data(), data.size());
    stream.SetCharSet(VTC_UTF_8);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString text;
    EXPECT_EQ(stream.GetText(text), VE_STREAM_TEXT_CONVERSION_FAILURE);
    EXPECT_EQ(Text(text), u"h");
    ASSERT_NE(errors.GetContext()->GetLast(), nullptr);
    VString reason;
    EXPECT_TRUE(errors.GetContext()->GetLast()->GetBag()->GetString("p1", reason));
    EXPECT_EQ(Text(reason), u"unterminated unicode conversion.");
}

TEST(VStreamText, CountedTextStopsAtTheCount)
{
    const std::string data = "h\xC3\xA9llo w\xC3\xB6rld";
    VConstPtrStream stream(data.data(), data.size());
    stream.SetCharSet(VTC_UTF_8);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString text;
    EXPECT_EQ(stream.GetText(text, 3, false), VE_OK);
    EXPECT_EQ(Text(text), u"h\u00E9l");
    EXPECT_EQ(stream.GetPos(), 4);
    EXPECT_EQ(stream.GetText(text, 100, false), VE_OK);
    EXPECT_EQ(Text(text), u"h\u00E9llo w\u00F6rld");
    EXPECT_EQ(stream.GetText(text, 0, false), VE_OK);
}

TEST(VStreamText, CountedTextThatOvershootsInOnePass)
{
    for (bool acceptMore : {false, true})
    {
        SCOPED_TRACE(acceptMore);
        const std::string data = "abc";
        VConstPtrStream stream(data.data(), data.size());
        stream.SetCharSet(VTC_UTF_8);
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        VString text;
        EXPECT_EQ(stream.GetText(text, 1, acceptMore), VE_OK);
        EXPECT_EQ(Text(text), acceptMore ? u"abc" : u"a");
        EXPECT_EQ(stream.GetPos(), acceptMore ? 3 : 1);
    }
}

TEST(VStreamText, CountedUTF16ReadsUnitsAndPushesAnOddByteBack)
{
    const uint8_t bigEndian[5] = {0x00, 0x61, 0x01, 0x01, 0x00};
    VConstPtrStream stream(bigEndian, sizeof(bigEndian));
    stream.SetCharSet(VTC_UTF_16_BIGENDIAN);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString text;
    EXPECT_EQ(stream.GetText(text, 1, false), VE_OK);
    EXPECT_EQ(Text(text), u"a");
    EXPECT_EQ(stream.GetText(text, 5, false), VE_OK); // the pushed-back odd byte clears the end
    EXPECT_EQ(Text(text), u"a\u0101");
    EXPECT_EQ(stream.GetPos(), 4);
}

// A count far beyond the data makes room only for what the stream holds, and reads it.
TEST(VStreamText, CountedUTF16RoomFollowsTheDataNotTheCount)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[4] = {'a', 0, 'b', 0};
    VConstPtrStream stream(bytes, sizeof(bytes));
    stream.SetCharSet(VTC_UTF_16);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    VString text;
    EXPECT_EQ(stream.GetText(text, 0x3FFFFFFF, false), VE_STREAM_EOF);
    EXPECT_EQ(Text(text), u"ab");
    EXPECT_LT(text.GetMaxLength(), 1024);
}

TEST(VStreamText, PutTextConvertsLineEndsByMode)
{
    const std::pair<ECarriageReturnMode, std::string> cases[] = {
        {eCRM_LF, "a\nb\nc\nd\xC3\xA9"},
        {eCRM_CRLF, "a\r\nb\r\nc\r\nd\xC3\xA9"},
        {eCRM_CR, "a\rb\rc\rd\xC3\xA9"},
        {eCRM_NONE, "a\r\nb\rc\nd\xC3\xA9"},
    };
    for (const auto& [mode, expected] : cases)
    {
        SCOPED_TRACE(mode);
        VPtrStream stream;
        stream.SetCharSet(VTC_UTF_8);
        stream.SetCarriageReturnMode(mode);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(stream.PutText(MakeString(u"a\r\nb\rc\nd\u00E9")), VE_OK);
        EXPECT_EQ(Bytes(stream), std::vector<uint8_t>(expected.begin(), expected.end()));
    }
}

TEST(VStreamText, TextRoundTripsInEverySetWithAConverter)
{
    const VString text = MakeString(u"h\u00E9llo\nw\u00F6rld");
    for (CharSet charSet : {VTC_StdLib_char, VTC_UTF_8, VTC_UTF_16, VTC_UTF_16_BIGENDIAN, VTC_UTF_32,
                            VTC_UTF_32_BIGENDIAN, VTC_MacOSAnsi, VTC_Win32Ansi, VTC_ISO_8859_1})
    {
        SCOPED_TRACE(charSet);
        VPtrStream stream;
        ASSERT_EQ(stream.SetCharSet(charSet), VE_OK);
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        ASSERT_EQ(stream.WriteBOM(), VE_OK);
        ASSERT_EQ(stream.PutText(text), VE_OK);
        ASSERT_EQ(stream.CloseWriting(), VE_OK);

        ASSERT_EQ(stream.SetCharSet(VTC_MacOSAnsi), VE_OK);
        ASSERT_EQ(stream.OpenReading(), VE_OK);
        ASSERT_EQ(stream.GuessCharSetFromLeadingBytes(charSet, false, nullptr), VE_OK);
        EXPECT_EQ(stream.GetCharSet(), charSet == VTC_StdLib_char ? VTC_StdLib_char : charSet);
        VString read;
        EXPECT_EQ(stream.GetText(read), VE_OK);
        EXPECT_EQ(Text(read), Text(text));
    }
}

TEST(VStreamText, ASetWithoutConverterIsRefused)
{
    StErrorContextInstaller errors(false);
    const CharSet kNoConverter = CharSet(12);
    VPtrStream reader;
    reader.SetCharSet(kNoConverter);
    EXPECT_EQ(reader.OpenReading(), VE_STREAM_NO_TEXT_CONVERTER);
    EXPECT_FALSE(reader.IsReading());
    EXPECT_EQ(reader.GetLastError(), VE_OK);

    // Writing bytes needs no converter: the stream opens, and only text is refused.
    VPtrStream writer;
    writer.SetCharSet(kNoConverter);
    EXPECT_EQ(writer.OpenWriting(), VE_OK);
    EXPECT_EQ(errors.GetLastError(), VE_STREAM_NO_TEXT_CONVERTER);
    EXPECT_EQ(writer.PutLong(1), VE_OK);
    EXPECT_EQ(writer.PutText(MakeString(u"x")), VE_STREAM_NO_TEXT_CONVERTER);
    EXPECT_EQ(writer.GetSize(), 4);

    const uint8_t bytes[1] = {'a'};
    VConstPtrStream open(bytes, 1);
    ASSERT_EQ(open.OpenReading(), VE_OK);
    EXPECT_EQ(open.SetCharSet(kNoConverter), VE_STREAM_NO_TEXT_CONVERTER);
    EXPECT_EQ(open.GetLastError(), VE_STREAM_NO_TEXT_CONVERTER);
}

TEST(VStreamText, TextThatCannotBeEncodedIsNotWritten)
{
    StErrorContextInstaller errors(false);
    VPtrStream stream;
    stream.SetCharSet(VTC_UTF_32);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    const UniChar loneSurrogate[3] = {u'a', 0xDC00, 0};
    EXPECT_EQ(stream.PutText(VString(loneSurrogate)), VE_STREAM_TEXT_CONVERSION_FAILURE);
    EXPECT_EQ(stream.GetSize(), 0);
}

// Records the value of each advance and the session it was in; answers false from a given advance
// on.
class RecordingProgress : public VProgressIndicator
{
public:
    std::vector<int64_t> fValues;
    std::vector<std::string> fMessages;
    size_t fStopAt = SIZE_MAX;

protected:
    bool DoProgress() override
    {
        fValues.push_back(GetCurrentValue());
        VString message;
        GetMessage(message);
        fMessages.push_back(to_string(message));
        return fValues.size() < fStopAt;
    }
};

TEST(VStream, ProgressFollowsThePositionWithinASessionPerOpening)
{
    std::vector<uint8_t> data(10000, 7);
    VConstPtrStream stream(data.data(), data.size());
    VRefPtr<RecordingProgress> progress(new RecordingProgress);
    stream.SetProgressIndicator(progress.Get());
    EXPECT_EQ(progress->GetRefCount(), 2u);
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    EXPECT_EQ(progress->GetSessionCount(), 1);
    EXPECT_EQ(progress->GetMaxValue(), 10000);
    uint8_t buffer[4096];
    while (stream.GetData(buffer, sizeof buffer) == VE_OK)
        ;
    EXPECT_EQ(progress->fValues, (std::vector<int64_t>{4096, 8192, 10000}));
    EXPECT_EQ(progress->fMessages[0], "Reading From Stream");
    stream.CloseReading();
    EXPECT_EQ(progress->GetSessionCount(), 0);

    VPtrStream output;
    output.SetProgressIndicator(progress.Get());
    ASSERT_EQ(output.OpenWriting(), VE_OK);
    EXPECT_EQ(progress->GetMaxValue(), -1);
    output.PutData(buffer, 100);
    output.PutData(buffer, 50);
    output.CloseWriting(true);
    EXPECT_EQ(progress->GetSessionCount(), 0);
    EXPECT_EQ(progress->fValues.back(), 150);
    EXPECT_EQ(progress->fMessages.back(), "Writing to Stream");

    output.SetProgressIndicator(nullptr);
    stream.SetProgressIndicator(nullptr);
    EXPECT_EQ(progress->GetRefCount(), 1u);
}

TEST(VStream, AnIndicatorThatAsksToStopFailsTheTransferWith206)
{
    std::vector<uint8_t> data(100, 1);
    VConstPtrStream stream(data.data(), data.size());
    VRefPtr<RecordingProgress> progress(new RecordingProgress);
    progress->fStopAt = 2;
    stream.SetProgressIndicator(progress.Get());
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    uint8_t buffer[10];
    EXPECT_EQ(stream.GetData(buffer, sizeof buffer), VE_OK);
    EXPECT_EQ(stream.GetData(buffer, sizeof buffer), VE_STREAM_USER_ABORTED);
    EXPECT_EQ(stream.GetLastError(), VE_STREAM_USER_ABORTED);
    EXPECT_EQ(stream.GetData(buffer, sizeof buffer), VE_STREAM_USER_ABORTED);
    EXPECT_EQ(progress->fValues.size(), 2u);
    stream.CloseReading();
    EXPECT_EQ(progress->GetSessionCount(), 0);
}

TEST(VStream, CopyingReportsOnBothSidesAndEndsTheSourceSession)
{
    std::vector<uint8_t> data(5000, 3);
    VConstPtrStream source(data.data(), data.size());
    VPtrStream destination;
    VRefPtr<RecordingProgress> reading(new RecordingProgress);
    VRefPtr<RecordingProgress> writing(new RecordingProgress);
    source.SetProgressIndicator(reading.Get());
    destination.SetProgressIndicator(writing.Get());
    ASSERT_EQ(destination.OpenWriting(), VE_OK);
    ASSERT_EQ(source.PutContentInto(&destination), VE_OK);
    EXPECT_EQ(reading->fValues, (std::vector<int64_t>{4096, 5000}));
    EXPECT_EQ(writing->fValues, (std::vector<int64_t>{4096, 5000}));
    EXPECT_EQ(reading->GetSessionCount(), 0);
    EXPECT_EQ(writing->GetSessionCount(), 1);
    destination.CloseWriting(true);
    EXPECT_EQ(writing->GetSessionCount(), 0);

    // The destination asking to stop ends the copy with its 206.
    VConstPtrStream again(data.data(), data.size());
    VPtrStream stopped;
    VRefPtr<RecordingProgress> stopping(new RecordingProgress);
    stopping->fStopAt = 1;
    stopped.SetProgressIndicator(stopping.Get());
    ASSERT_EQ(stopped.OpenWriting(), VE_OK);
    EXPECT_EQ(again.PutContentInto(&stopped), VE_STREAM_USER_ABORTED);
    stopped.CloseWriting(true);
}

} // namespace
} // namespace kova
