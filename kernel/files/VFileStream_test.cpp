#include "kernel/files/VFileStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/values/VArrayString.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

class VFileStreamTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(fFolder.IsValid()); }

    VRefPtr<VFile> File(const std::string& inName) const
    {
        return VRefPtr<VFile>(new VFile(fFolder.Path(inName)));
    }
    int64_t SizeOnDisk(const std::string& inName) const
    {
        struct stat status = {};
        return stat(fFolder.Posix(inName).c_str(), &status) == 0 ? status.st_size : -1;
    }

    StTemporaryFolder fFolder;
};

TEST_F(VFileStreamTest, ReadsThroughAWindowOfTheFilesSize)
{
    WriteFileBytes(fFolder.Posix("ten"), "0123456789");
    VFileStream stream(File("ten").Get());
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    EXPECT_EQ(stream.GetBufferSize(), 10u);
    char buffer[4];
    size_t read = 0;
    EXPECT_EQ(stream.GetData(buffer, 4, &read), VE_OK);
    EXPECT_EQ(std::string(buffer, read), "0123");
    EXPECT_EQ(stream.GetData(buffer, 4, &read), VE_OK);
    EXPECT_EQ(std::string(buffer, read), "4567");
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(stream.GetData(buffer, 4, &read), VE_STREAM_EOF);
        EXPECT_EQ(std::string(buffer, read), "89");
    }
    // Closing tells the last error.
    EXPECT_EQ(stream.CloseReading(), VE_STREAM_EOF);
    EXPECT_EQ(stream.GetBufferSize(), 0u);

    // Reads larger than the buffer bypass it, and positions past the size are the end.
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    EXPECT_EQ(stream.SetPos(2), VE_OK);
    char all[8];
    EXPECT_EQ(stream.GetData(all, 8, &read), VE_OK);
    EXPECT_EQ(std::string(all, read), "23456789");
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(stream.SetPos(11), VE_STREAM_EOF);
    stream.CloseReading();
}

TEST_F(VFileStreamTest, AFileThatShrankGivesTheEndOfDataNotStaleBytes)
{
    std::string bytes(100000, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char('a' + i % 26);
    WriteFileBytes(fFolder.Posix("big"), bytes);
    VFileStream stream(File("big").Get());
    ASSERT_EQ(stream.OpenReading(), VE_OK);
    char buffer[100];
    size_t read = 0;
    ASSERT_EQ(stream.GetData(buffer, 10, &read), VE_OK);
    ASSERT_EQ(truncate(fFolder.Posix("big").c_str(), 40000), 0);
    // Bytes the file still has come through; what it lost is the end of the data.
    ASSERT_EQ(stream.SetPos(39950), VE_OK);
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(stream.GetData(buffer, 100, &read), VE_STREAM_EOF);
    EXPECT_EQ(read, 50u);
    EXPECT_EQ(std::string(buffer, read), bytes.substr(39950, 50));
    stream.CloseReading();
}

TEST_F(VFileStreamTest, WritesOverTheContentAndCutOnlyWhenAsked)
{
    const std::string hundred(100, 'h');
    for (bool cut : {false, true})
    {
        WriteFileBytes(fFolder.Posix("file"), hundred);
        VFileStream stream(File("file").Get());
        ASSERT_EQ(stream.OpenWriting(), VE_OK);
        EXPECT_EQ(stream.PutData("abc", 3), VE_OK);
        EXPECT_EQ(stream.CloseWriting(cut), VE_OK);
        EXPECT_EQ(ReadFileBytes(fFolder.Posix("file")), "abc" + hundred.substr(3)) << cut;
    }
    VFileStream stream(File("file").Get());
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    EXPECT_EQ(stream.PutData("xyz", 3), VE_OK);
    EXPECT_EQ(stream.SetSize(3), VE_OK);
    EXPECT_EQ(stream.CloseWriting(true), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("file")), "xyz");
}

TEST_F(VFileStreamTest, LargeWritesGoStraightToTheFile)
{
    const std::string large(40000, 'L');
    VFileStream stream(File("out").Get(), FO_CreateIfNotFound);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    EXPECT_EQ(stream.PutData(large.data(), large.size()), VE_OK);
    EXPECT_EQ(SizeOnDisk("out"), 40000);
    EXPECT_EQ(stream.CloseWriting(true), VE_OK);

    // After 10 buffered bytes a contiguous write fills the buffer, writes it out and keeps the rest.
    VFileStream second(File("second").Get(), FO_CreateIfNotFound);
    ASSERT_EQ(second.OpenWriting(), VE_OK);
    EXPECT_EQ(second.PutData("0123456789", 10), VE_OK);
    EXPECT_EQ(SizeOnDisk("second"), 0);
    EXPECT_EQ(second.PutData(large.data(), large.size()), VE_OK);
    EXPECT_EQ(SizeOnDisk("second"), 32768);
    EXPECT_EQ(second.GetSize(), 40010);
    EXPECT_EQ(second.CloseWriting(true), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("second")), "0123456789" + large);
}

TEST_F(VFileStreamTest, PositionsAndSizesWhileWriting)
{
    VFileStream stream(File("sparse").Get(), FO_CreateIfNotFound);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    EXPECT_EQ(stream.SetPos(1000), VE_OK);
    EXPECT_EQ(SizeOnDisk("sparse"), 1000);
    EXPECT_EQ(stream.PutData("end", 3), VE_OK);
    // Cutting below the buffered bytes drops them.
    EXPECT_EQ(stream.SetSize(0), VE_OK);
    EXPECT_EQ(stream.GetPos(), 0);
    EXPECT_EQ(stream.CloseWriting(true), VE_OK);
    EXPECT_EQ(SizeOnDisk("sparse"), 0);

    // A smaller buffer set while writing keeps what was buffered.
    VFileStream again(File("sparse").Get());
    ASSERT_EQ(again.OpenWriting(), VE_OK);
    EXPECT_EQ(again.PutData("buffered", 8), VE_OK);
    again.SetBufferSize(4);
    EXPECT_EQ(again.GetBufferSize(), 4u);
    EXPECT_EQ(again.PutData(" more", 5), VE_OK);
    EXPECT_EQ(again.CloseWriting(true), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("sparse")), "buffered more");
}

TEST_F(VFileStreamTest, FailuresOfTheFileAreTheStreams)
{
    StErrorContextInstaller errors(false, true);
    VFileStream missing(File("missing").Get());
    EXPECT_EQ(missing.OpenReading(), VE_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.IsReading());

    VFileStream stream(File("full").Get(), FO_CreateIfNotFound);
    ASSERT_EQ(stream.OpenWriting(), VE_OK);
    const std::string large(100000, 'F');
    StIOFault fault(true, ENOSPC, 1000);
    EXPECT_EQ(stream.PutData(large.data(), large.size()), VE_FILE_CANNOT_WRITE);
    // The stored error answers every later call.
    EXPECT_EQ(stream.PutData("x", 1), VE_FILE_CANNOT_WRITE);
    EXPECT_EQ(stream.CloseWriting(true), VE_FILE_CANNOT_WRITE);
}

TEST_F(VFileStreamTest, TextLinesTabsAndFormats)
{
    VFileStream writer(File("table.txt").Get(), FO_CreateIfNotFound);
    ASSERT_EQ(writer.SetCharSet(VTC_UTF_8), VE_OK);
    ASSERT_EQ(writer.OpenWriting(), VE_OK);
    EXPECT_EQ(writer.PutPrintf("%s\t\t%d\n\n", "a", 42), VE_OK);
    const VString accented(u"é");
    EXPECT_EQ(writer.PutPrintf("%S", &accented), VE_OK);
    EXPECT_EQ(writer.CloseWriting(true), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("table.txt")), "a\t\t42\n\n\xC3\xA9");

    VFileStream reader(File("table.txt").Get());
    ASSERT_EQ(reader.SetCharSet(VTC_UTF_8), VE_OK);
    ASSERT_EQ(reader.OpenReading(), VE_OK);
    VArrayString fields;
    EXPECT_EQ(reader.GetTTRLine(fields), VE_OK);
    ASSERT_EQ(fields.GetCount(), 3);
    VString field;
    fields.GetString(field, 1);
    EXPECT_EQ(Text(field), u"a");
    fields.GetString(field, 2);
    EXPECT_EQ(Text(field), u"");
    fields.GetString(field, 3);
    EXPECT_EQ(Text(field), u"42");
    // An empty line is one empty field; the last line ends with the data.
    EXPECT_EQ(reader.GetTTRLine(fields), VE_OK);
    EXPECT_EQ(fields.GetCount(), 1);
    EXPECT_EQ(reader.GetTTRLine(fields), VE_OK);
    fields.GetString(field, 1);
    EXPECT_EQ(Text(field), u"é");
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(reader.GetTTRLine(fields), VE_STREAM_EOF);
    reader.CloseReading();
}

} // namespace
} // namespace kova
