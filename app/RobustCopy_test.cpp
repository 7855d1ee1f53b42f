#include "app/RobustCopy.h"

#include "app/VUpdateEngine.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFolder.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kova
{
namespace
{

// The codes on the context, oldest first.
std::vector<VError> Codes(const StErrorContextInstaller& inErrors)
{
    std::vector<VError> codes;
    for (size_t index = 1; index <= inErrors.GetContext()->GetErrorCount(); ++index)
        codes.push_back(inErrors.GetContext()->GetNthError(index)->GetError());
    return codes;
}

VString Parameter(const StErrorContextInstaller& inErrors, const char* inName)
{
    VString value;
    inErrors.GetContext()->GetLast()->GetBag()->GetString(inName, value);
    return value;
}

class RobustCopyTest : public ::testing::Test
{
protected:
    StTemporaryFolder fFolder;
};

TEST_F(RobustCopyTest, AFileCopyMakesTheDestinationFoldersFirst)
{
    WriteFileBytes(fFolder.Posix("source.txt"), "content");
    StErrorContextInstaller errors(false);
    EXPECT_EQ(RobustCopyFile(fFolder.Path("source.txt"), fFolder.Path("a/b/c/copy.txt"), 0), VE_OK);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("a/b/c/copy.txt")), "content");
    EXPECT_TRUE(errors.GetContext()->IsEmpty());
}

TEST_F(RobustCopyTest, AFailedFileCopyRaisesOneCopyErrorWithBothPaths)
{
    StErrorContextInstaller errors(false);
    const VFilePath source = fFolder.Path("missing.txt");
    const VFilePath destination = fFolder.Path("out/copy.txt");
    EXPECT_EQ(RobustCopyFile(source, destination, 0), VE_UPDATER_COPY_FILE_FAILED);
    const std::vector<VError> codes = Codes(errors);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), VE_UPDATER_COPY_FILE_FAILED), 1);
    EXPECT_EQ(errors.GetLastError(), VE_UPDATER_COPY_FILE_FAILED);
    EXPECT_TRUE(Parameter(errors, "srcPath").EqualToString(source.GetPath(), true));
    EXPECT_TRUE(Parameter(errors, "dstPath").EqualToString(destination.GetPath(), true));
}

TEST_F(RobustCopyTest, AFolderThatCannotBeMadeIsRaisedWithItsPath)
{
    // A file stands where a folder of the destination should be.
    WriteFileBytes(fFolder.Posix("source.txt"), "content");
    WriteFileBytes(fFolder.Posix("blocker"), "x");
    StErrorContextInstaller errors(false);
    const VError result = RobustCopyFile(fFolder.Path("source.txt"), fFolder.Path("blocker/sub/copy.txt"), 0);
    EXPECT_NE(result, VE_OK);
    EXPECT_NE(result, VE_UPDATER_COPY_FILE_FAILED);
    EXPECT_EQ(errors.GetLastError(), result);
    EXPECT_TRUE(Parameter(errors, "path").EqualToString(fFolder.Path("blocker/sub/").GetPath(), true));
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("blocker")), "x");
}

TEST_F(RobustCopyTest, FolderContentIsCopiedIntoADestinationMadeOnTheWay)
{
    MakeBundle(fFolder.Posix("Source.app"), "1.0");
    StErrorContextInstaller errors(false);
    EXPECT_TRUE(RobustCopyFolderContent(fFolder.Path("Source.app/"), fFolder.Path("deep/er/Copy.app/"),
                                        FCO_REPLACE_WHOLE));
    EXPECT_EQ(TreeOf(fFolder.Posix("deep/er/Copy.app")), TreeOf(fFolder.Posix("Source.app")));
    EXPECT_TRUE(errors.GetContext()->IsEmpty());
}

TEST_F(RobustCopyTest, FolderContentCopyFailures)
{
    mkdir(fFolder.Posix("src").c_str(), 0755);
    WriteFileBytes(fFolder.Posix("src/file.txt"), "x");
    WriteFileBytes(fFolder.Posix("blocker"), "x");
    const struct
    {
        const char* fSource;
        const char* fDestination;
        const char* fNamedPath;
    } cases[] = {
        {"none/", "dst/", "none/"},               // a missing source: kova 650 with its path
        {"src/", "blocker/dst/", "blocker/dst/"}, // a destination that cannot be made
        {"src/", "src/inside/", "src/inside/"},   // a copy into itself is refused
    };
    for (const auto& test : cases)
    {
        StErrorContextInstaller errors(false);
        VRefPtr<VFolder> source(new VFolder(fFolder.Path(test.fSource)));
        VRefPtr<VFolder> destination(new VFolder(fFolder.Path(test.fDestination)));
        EXPECT_FALSE(RobustCopyFolderContent(*source, *destination, 0)) << test.fSource;
        EXPECT_NE(errors.GetLastError(), VE_OK);
        EXPECT_TRUE(Parameter(errors, "path").EqualToString(fFolder.Path(test.fNamedPath).GetPath(), true))
            << test.fSource << " -> " << test.fDestination;
        if (std::string(test.fSource) == "none/")
        {
            EXPECT_EQ(errors.GetLastError(), VE_FOLDER_NOT_FOUND);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(fFolder.Posix("dst")));
}

TEST_F(RobustCopyTest, FindFileByExtTakesAMatchingFileAndRaisesNothing)
{
    mkdir(fFolder.Posix("in").c_str(), 0755);
    WriteFileBytes(fFolder.Posix("in/notes.md"), "x");
    WriteFileBytes(fFolder.Posix("in/one.TXT"), "x");
    WriteFileBytes(fFolder.Posix("in/two.txt"), "x");
    mkdir(fFolder.Posix("in/folder.txt").c_str(), 0755);
    StErrorContextInstaller errors(false);
    VFilePath found;
    ASSERT_EQ(FindFileByExt(fFolder.Path("in/"), VString("txt"), found), VE_OK);
    // Which of the two is the directory's own order; a folder is never taken.
    EXPECT_TRUE(found.GetPath().EqualToString(fFolder.Path("in/one.TXT").GetPath(), true) ||
                found.GetPath().EqualToString(fFolder.Path("in/two.txt").GetPath(), true));

    EXPECT_EQ(FindFileByExt(fFolder.Path("in/"), VString("pdf"), found), VE_FILE_NOT_FOUND);
    EXPECT_TRUE(found.IsEmpty());

    // A file path, an empty path and an invalid one leave the output as it was.
    const VFilePath kept = fFolder.Path("in/notes.md");
    for (const VFilePath& notAFolder : {fFolder.Path("in/notes.md"), VFilePath()})
    {
        found = kept;
        EXPECT_EQ(FindFileByExt(notAFolder, VString("md"), found), VE_INVALID_PARAMETER);
        EXPECT_TRUE(found.GetPath().EqualToString(kept.GetPath(), true));
    }
    EXPECT_TRUE(errors.GetContext()->IsEmpty());
}

} // namespace
} // namespace kova
