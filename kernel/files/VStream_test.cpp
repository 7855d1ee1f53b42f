#include "kernel/files/VStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"

#include <gtest/gtest.h>

#include <cstring>
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

} // namespace
} // namespace kova
