#include "kernel/files/VBlobStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VBlob.h"

#include <gtest/gtest.h>

#include <vector>

namespace kova
{
namespace
{

std::vector<uint8_t> Bytes(const VBlob& inBlob)
{
    std::vector<uint8_t> bytes(inBlob.GetSize());
    size_t copied = 0;
    inBlob.GetData(bytes.data(), bytes.size(), 0, &copied);
    bytes.resize(copied);
    return bytes;
}

TEST(VBlobStream, WritesIntoTheCallersBlobWhichOutlivesTheStream)
{
    VBlobWithPtr blob;
    {
        VBlobStream stream(&blob);
        EXPECT_EQ(stream.GetBlob(), &blob);
        EXPECT_FALSE(stream.GetUnderlyingData().fIsOneBlock);
        stream.SetBigEndian();
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        ASSERT_EQ(stream.PutLong(0x01020304), VE_OK);
        ASSERT_EQ(stream.PutWord(5), VE_OK);
        ASSERT_EQ(stream.CloseWriting(), VE_OK);
    }
    EXPECT_EQ(Bytes(blob), (std::vector<uint8_t>{1, 2, 3, 4, 0, 5}));

    VBlobStream reader(&blob);
    reader.SetBigEndian();
    ASSERT_EQ(reader.OpenReading(), VE_OK);
    int32_t value = 0;
    EXPECT_EQ(reader.GetLong(value), VE_OK);
    EXPECT_EQ(value, 0x01020304);
    StErrorContextInstaller errors(false);
    EXPECT_EQ(reader.GetLong(value), VE_STREAM_EOF);
    EXPECT_EQ(reader.GetPos(), 6);
}

TEST(VBlobStream, WithoutABlobItOwnsAnEmptyOne)
{
    VBlobStream stream;
    ASSERT_NE(stream.GetBlob(), nullptr);
    EXPECT_EQ(stream.GetSize(), 0);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutLong8(-1), VE_OK);
    EXPECT_EQ(stream.GetBlob()->GetSize(), 8u);
    // The blob goes with the stream (the leak checker of the sanitizer build watches).
}

TEST(VBlobStream, GrowingPastTheEndFillsWithZeros)
{
    VBlobWithPtr blob;
    VBlobStream stream(&blob);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    std::vector<uint8_t> ones(5000, 0xFF);
    ASSERT_EQ(stream.PutData(ones.data(), ones.size()), VE_OK);
    ASSERT_EQ(stream.SetSize(4), VE_OK);
    EXPECT_EQ(stream.GetPos(), 4);
    ASSERT_EQ(stream.SetPos(4100), VE_OK);
    ASSERT_EQ(stream.PutByte(7), VE_OK);
    ASSERT_EQ(stream.SetSize(4200), VE_OK);
    ASSERT_EQ(stream.CloseWriting(), VE_OK);

    std::vector<uint8_t> expected(4200, 0);
    for (size_t i = 0; i < 4; ++i)
        expected[i] = 0xFF;
    expected[4100] = 7;
    EXPECT_EQ(Bytes(blob), expected);
}

TEST(VBlobStream, AReadOnlyBlobRefusesWritesWithItsOwnError)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[3] = {9, 8, 7};
    VConstBlobWithPtr view(bytes, sizeof(bytes));
    VBlobStream stream(&view);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    EXPECT_EQ(stream.PutByte(1), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(stream.GetLastError(), VE_STREAM_CANNOT_WRITE);
    EXPECT_EQ(errors.GetLastError(), VE_STREAM_CANNOT_WRITE);
    stream.CloseWriting();

    ASSERT_EQ(stream.OpenReading(), VE_OK);
    uint8_t byte = 0;
    ASSERT_EQ(stream.SetPos(2), VE_OK);
    EXPECT_EQ(stream.GetByte(byte), VE_OK);
    EXPECT_EQ(byte, 7);
}

} // namespace
} // namespace kova
