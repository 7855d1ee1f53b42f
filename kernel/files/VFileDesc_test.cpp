#include "kernel/files/VFileDesc.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"

#include <gtest/gtest.h>

#include <memory>

namespace kova
{
namespace
{

class VFileDescTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fFolder.IsValid());
        WriteFileBytes(fFolder.Posix("data"), "abcd");
        fFile = VRefPtr<VFile>(new VFile(fFolder.Path("data")));
        VFileDesc* desc = nullptr;
        ASSERT_EQ(fFile->Open(FA_READ_WRITE, &desc), VE_OK);
        fDesc.reset(desc);
    }

    static int64_t Long8Parameter(const VErrorBase* inError, const char* inName)
    {
        int64_t value = -1;
        return inError != nullptr && inError->GetBag()->GetLong8(inName, value) ? value : -1;
    }
    static int32_t LongParameter(const VErrorBase* inError, const char* inName)
    {
        int32_t value = -1;
        return inError != nullptr && inError->GetBag()->GetLong(inName, value) ? value : -1;
    }

    StTemporaryFolder fFolder;
    VRefPtr<VFile> fFile;
    std::unique_ptr<VFileDesc> fDesc;
};

TEST_F(VFileDescTest, ReadingPastTheEndIsTheEndOfData)
{
    char buffer[16] = {};
    size_t read = 0;
    {
        // At an offset, the end of data is reported as a file error with the request's numbers.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(fDesc->GetData(buffer, 10, 0, &read), VE_STREAM_EOF);
        EXPECT_EQ(read, 4u);
        EXPECT_EQ(std::string(buffer, read), "abcd");
        const VErrorBase* error = LastErrorObject(errors);
        ASSERT_NE(dynamic_cast<const VFileError*>(error), nullptr);
        EXPECT_EQ(error->GetError(), VE_STREAM_EOF);
        EXPECT_EQ(LongParameter(error, "count"), 10);
        EXPECT_EQ(Long8Parameter(error, "offset"), 0);
        EXPECT_EQ(Long8Parameter(error, "size"), 4);
        EXPECT_EQ(StringParameter(error, "name"), u"data");
    }
    {
        // From the position it only says so, and moves on by what it read.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(fDesc->GetDataAtPos(buffer, 10, 0, &read), VE_STREAM_EOF);
        EXPECT_EQ(read, 4u);
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 0u);
        EXPECT_EQ(fDesc->GetPos(), 4);
    }
}

TEST_F(VFileDescTest, PositionsMoveOnlyForTransfersAtThePosition)
{
    EXPECT_EQ(fDesc->SetPos(5, false), VE_OK);
    EXPECT_EQ(fDesc->SetPos(5, false), VE_OK);
    EXPECT_EQ(fDesc->GetPos(), 10);
    EXPECT_EQ(fDesc->SetPos(1, true), VE_OK);
    size_t written = 0;
    EXPECT_EQ(fDesc->PutDataAtPos("XY", 2, 0, &written), VE_OK);
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(fDesc->GetPos(), 3);
    EXPECT_EQ(fDesc->PutData("!", 1, 6), VE_OK);
    EXPECT_EQ(fDesc->GetPos(), 3);
    EXPECT_EQ(fDesc->GetSize(), 7);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("data")), std::string("aXYd\0\0!", 7));
    EXPECT_EQ(fDesc->SetSize(2), VE_OK);
    EXPECT_EQ(fDesc->Flush(), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("data")), "aX");
}

TEST_F(VFileDescTest, FailuresNameTheRequest)
{
    StErrorContextInstaller errors(false, true);
    {
        StIOFault fault(true, ENOSPC, 3);
        size_t written = 99;
        EXPECT_EQ(fDesc->PutData("123456", 6, 2, &written), VE_FILE_CANNOT_WRITE);
        EXPECT_EQ(written, 3u);
        const VErrorBase* error = LastErrorObject(errors);
        EXPECT_EQ(LongParameter(error, "count"), 6);
        EXPECT_EQ(Long8Parameter(error, "offset"), 2);
        EXPECT_EQ(Long8Parameter(error, "size"), 5);
    }
    {
        StIOFault fault(false, EIO, 0);
        char buffer[4];
        EXPECT_EQ(fDesc->GetDataAtPos(buffer, 4), VE_FILE_CANNOT_READ);
        EXPECT_EQ(errors.GetContext()->GetNthError(errors.GetContext()->GetErrorCount() - 1)->GetError(),
                  MakeVError(kCOMPONENT_POSIX, EIO));
    }
    EXPECT_EQ(fDesc->SetSize(-1), VE_FILE_CANNOT_SET_SIZE);
    EXPECT_EQ(Long8Parameter(LastErrorObject(errors), "size"), -1);
    EXPECT_EQ(fDesc->SetPos(INT64_MAX, true), VE_OK);
    EXPECT_EQ(fDesc->SetPos(1, false), VE_FILE_CANNOT_SET_POS);
    // The descriptor stays usable after a failure.
    EXPECT_EQ(fDesc->PutData("z", 1, 0), VE_OK);
}

} // namespace
} // namespace kova
