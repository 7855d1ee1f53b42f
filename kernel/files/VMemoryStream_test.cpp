#include "kernel/files/VMemoryStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <gtest/gtest.h>

#include <vector>

namespace kova
{
namespace
{

TEST(VConstPtrStream, ReadsTheCallersBlockAndRefusesWrites)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[5] = {10, 20, 30, 40, 50};
    VConstPtrStream stream(bytes, sizeof(bytes));
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    EXPECT_TRUE(data.fIsOneBlock);
    EXPECT_EQ(data.fData, bytes);
    EXPECT_EQ(data.fSize, 5u);

    EXPECT_EQ(stream.OpenWriting(), VE_STREAM_CANNOT_WRITE);
    EXPECT_FALSE(stream.IsWriting());

    ASSERT_EQ(stream.OpenReading(), VE_OK);
    uint8_t buffer[8] = {};
    size_t read = 0;
    EXPECT_EQ(stream.GetData(buffer, 0, &read), VE_OK);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(stream.GetData(buffer, 3, &read), VE_OK);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(stream.GetData(buffer, 8, &read), VE_STREAM_EOF);
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(buffer[0], 40);
    EXPECT_EQ(buffer[1], 50);
    EXPECT_EQ(stream.GetPos(), 5);
}

TEST(VConstPtrStream, PositionsPastTheEndAreRefused)
{
    StErrorContextInstaller errors(false);
    const uint8_t bytes[5] = {};
    VConstPtrStream stream(bytes, sizeof(bytes));
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    EXPECT_EQ(stream.SetPos(5), VE_OK);
    EXPECT_EQ(stream.SetPos(6), VE_STREAM_EOF);
    EXPECT_EQ(stream.GetPos(), 5);
    EXPECT_EQ(errors.GetLastError(), VE_STREAM_EOF);
}

TEST(VPtrStream, PositioningPastTheEndGrowsWithZeros)
{
    // Fill a block, drop it and grow again so that reused memory would show through.
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    std::vector<uint8_t> ones(3000, 0xFF);
    ASSERT_EQ(stream.PutData(ones.data(), ones.size()), VE_OK);
    ASSERT_EQ(stream.SetSize(10), VE_OK);
    EXPECT_EQ(stream.SetPos(100), VE_OK);
    EXPECT_EQ(stream.GetSize(), 100);
    ASSERT_EQ(stream.PutByte(7), VE_OK);
    EXPECT_EQ(stream.CloseWriting(), VE_OK);

    VStream::UnderlyingData data = stream.GetUnderlyingData();
    ASSERT_EQ(data.fSize, 101u);
    const auto* bytes = static_cast<const uint8_t*>(data.fData);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(bytes[i], 0xFF) << i;
    for (size_t i = 10; i < 100; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[100], 7);
}

TEST(VPtrStream, AnEmptyStreamPositionedAt100HasSize100)
{
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    EXPECT_EQ(stream.SetPos(100), VE_OK);
    EXPECT_EQ(stream.GetSize(), 100);
    EXPECT_EQ(stream.GetPos(), 100);
}

TEST(VPtrStream, KeepsItsBytesAcrossClosingAndReopening)
{
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    for (int32_t i = 0; i < 1000; ++i)
        ASSERT_EQ(stream.PutLong(i), VE_OK);
    ASSERT_EQ(stream.CloseWriting(), VE_OK);

    ASSERT_EQ(stream.OpenReading(), VE_OK);
    std::vector<int32_t> values(1000);
    int32_t count = 1000;
    EXPECT_EQ(stream.GetLongs(values.data(), &count), VE_OK);
    ASSERT_EQ(count, 1000);
    for (int32_t i = 0; i < 1000; ++i)
        ASSERT_EQ(values[size_t(i)], i);
    // Asking for nothing at the end succeeds; one byte more is the end of data.
    EXPECT_EQ(stream.GetData(values.data(), 0), VE_OK);
    {
        StErrorContextInstaller errors(false);
        uint8_t byte = 0;
        EXPECT_EQ(stream.GetByte(byte), VE_STREAM_EOF);
    }
    ASSERT_EQ(stream.CloseReading(), VE_STREAM_EOF);

    // Writing again starts at 0 over the old content.
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutLong(-1), VE_OK);
    ASSERT_EQ(stream.CloseWriting(), VE_OK);
    EXPECT_EQ(stream.GetSize(), 4000);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    EXPECT_EQ(static_cast<const uint8_t*>(data.fData)[0], 0xFF);
    EXPECT_EQ(static_cast<const uint8_t*>(data.fData)[4], 1);
}

TEST(VPtrStream, SetSizeReallocatesExactly)
{
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    std::vector<uint8_t> bytes(20000, 0x5A);
    ASSERT_EQ(stream.PutData(bytes.data(), bytes.size()), VE_OK);
    ASSERT_EQ(stream.SetSize(100), VE_OK);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    EXPECT_EQ(data.fSize, 100u);
    // The block itself shrank: the memory manager holds little more than the 100 bytes.
    EXPECT_LT(VObject::sCppMemMgr->GetPtrSize(data.fData), 1024u);
    EXPECT_EQ(static_cast<const uint8_t*>(data.fData)[99], 0x5A);
}

TEST(VPtrStream, SizeZeroFreesTheBlock)
{
    VPtrStream stream;
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    ASSERT_EQ(stream.PutLong8(1), VE_OK);
    ASSERT_EQ(stream.SetSize(0), VE_OK);
    VStream::UnderlyingData data = stream.GetUnderlyingData();
    EXPECT_TRUE(data.fIsOneBlock);
    EXPECT_EQ(data.fData, nullptr);
    EXPECT_EQ(data.fSize, 0u);
    EXPECT_EQ(stream.PutByte(3), VE_OK);
    EXPECT_EQ(stream.GetSize(), 1);
}

} // namespace
} // namespace kova
