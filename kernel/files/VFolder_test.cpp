#include "kernel/files/VFolder.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

namespace kova
{
namespace
{

class VFolderTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(fFolder.IsValid()); }

    VRefPtr<VFolder> Folder(const std::string& inName) const
    {
        return VRefPtr<VFolder>(new VFolder(fFolder.Path(inName)));
    }

    StTemporaryFolder fFolder;
};

TEST_F(VFolderTest, ExistsForFoldersAndLinksToThemOnly)
{
    ASSERT_EQ(mkdir(fFolder.Posix("real").c_str(), 0755), 0);
    ASSERT_EQ(symlink("real", fFolder.Posix("link").c_str()), 0);
    WriteFileBytes(fFolder.Posix("file"), "x");
    EXPECT_TRUE(Folder("real/")->Exists());
    EXPECT_TRUE(Folder("link/")->Exists());
    EXPECT_FALSE(Folder("file/")->Exists());
    EXPECT_FALSE(Folder("missing/")->Exists());
    // A file path never names a folder, whatever lies on disk.
    EXPECT_FALSE(Folder("real")->Exists());
}

TEST_F(VFolderTest, CreateRecursiveMakesOnlyWhatItCreatesWritableByAll)
{
    const mode_t umaskBefore = umask(022);
    ASSERT_EQ(mkdir(fFolder.Posix("a").c_str(), 0750), 0);
    EXPECT_EQ(Folder("a/b/c/")->CreateRecursive(true), VE_OK);
    EXPECT_EQ(ModeOf(fFolder.Posix("a")), 0750u);
    EXPECT_EQ(ModeOf(fFolder.Posix("a/b")), 0777u);
    EXPECT_EQ(ModeOf(fFolder.Posix("a/b/c")), 0777u);

    // Without the flag the folders keep the mode they were made with; existing ones are a success.
    EXPECT_EQ(Folder("x/y/")->CreateRecursive(false), VE_OK);
    EXPECT_EQ(ModeOf(fFolder.Posix("x/y")), 0755u);
    EXPECT_EQ(Folder("x/y/")->Create(), VE_OK);
    umask(umaskBefore);
}

TEST_F(VFolderTest, CreateFailuresNameTheFolderThatFailed)
{
    WriteFileBytes(fFolder.Posix("a"), "in the way");
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("a/")->Create(), VE_FOLDER_CANNOT_CREATE);
        const VErrorBase* error = LastErrorObject(errors);
        ASSERT_NE(dynamic_cast<const VFileError*>(error), nullptr);
        EXPECT_EQ(StringParameter(error, "name"), u"a");
        // The native error comes first.
        ASSERT_EQ(errors.GetContext()->GetErrorCount(), 2u);
        EXPECT_EQ(errors.GetContext()->GetNthError(1)->GetError(), MakeVError(kCOMPONENT_POSIX, EEXIST));
    }
    {
        // The level that failed is reported and nothing below it is tried.
        ASSERT_EQ(mkdir(fFolder.Posix("p").c_str(), 0755), 0);
        WriteFileBytes(fFolder.Posix("p/q"), "in the way");
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("p/q/r/s/")->CreateRecursive(false), VE_FOLDER_CANNOT_CREATE);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "name"), u"q");
        EXPECT_EQ(errors.GetContext()->GetErrorCount(), 2u);
    }
    // A missing parent maps to the toolbox's own code for a missing item.
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(Folder("none/b/")->Create(), VE_FILE_NOT_FOUND);
}

TEST_F(VFolderTest, ParentsAndRelativeFoldersStayInTheirFileSystem)
{
    VRefPtr<VFolder> root = Folder("root/");
    VRefPtr<VFileSystem> fileSystem(new VFileSystem(VString("area"), root.Get(), 0, 100, 160));
    EXPECT_EQ(fileSystem->GetAvailable(), 0u);
    EXPECT_EQ(Text(fileSystem->GetRoot().GetPath()), Text(root->GetPath().GetPath()));

    VRefPtr<VFolder> inner(
        static_cast<VFolder*>(root->RetainRelativeFolder(VString("a/b"), FPS_POSIX, fileSystem.Get())));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->GetFileSystem(), fileSystem.Get());
    EXPECT_EQ(Text(inner->GetPathWithFileSystem()), u"/area/a/b/");
    // Climbing out of the root with parent steps gives nothing.
    EXPECT_EQ(inner->RetainRelativeFolder(VString("../../.."), FPS_POSIX), nullptr);

    VRefPtr<IFolder> parent(inner->RetainParentFolder(true));
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(parent->GetFileSystem(), fileSystem.Get());
    VRefPtr<IFolder> rootAgain(parent->RetainParentFolder(true));
    ASSERT_NE(rootAgain, nullptr);
    EXPECT_EQ(rootAgain->GetFileSystem(), fileSystem.Get());
    // Above the root: nothing when sandboxed, else a folder of no file system.
    EXPECT_EQ(rootAgain->RetainParentFolder(true), nullptr);
    VRefPtr<IFolder> outside(rootAgain->RetainParentFolder(false));
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(outside->GetFileSystem(), nullptr);
    EXPECT_EQ(Text(static_cast<VFolder*>(outside.Get())->GetPathWithFileSystem()),
              Text(VString(fFolder.Posix().c_str())) + u"/");

    const VFilePath volume(VString(u"Root:"), FPS_SYSTEM);
    EXPECT_EQ(VRefPtr<VFolder>(new VFolder(volume))->RetainParentFolder(false), nullptr);
}

TEST_F(VFolderTest, TheTemporaryFolderIsTmpdirCreatedWhenMissing)
{
    const std::string missing = fFolder.Posix("tmp/of/user");
    {
        StEnvironment environment({{"TMPDIR", missing.c_str()}});
        VRefPtr<VFolder> temporary(VFolder::RetainSystemFolder(eSystemFolderTemporary, true));
        ASSERT_NE(temporary, nullptr);
        EXPECT_TRUE(temporary->Exists());
        EXPECT_EQ(Text(temporary->GetPath().GetPath()), Text(fFolder.Path("tmp/of/user/").GetPath()));
        EXPECT_EQ(ModeOf(missing), 0700u);
    }
    {
        // A relative $TMPDIR is not trusted.
        StEnvironment environment({{"TMPDIR", "relative"}});
        VRefPtr<VFolder> temporary(VFolder::RetainSystemFolder(eSystemFolderTemporary, false));
        ASSERT_NE(temporary, nullptr);
        VString posix;
        temporary->GetPlatformPath(posix, FPS_POSIX);
        EXPECT_EQ(Text(posix), u"/tmp/");
    }
    EXPECT_EQ(VFolder::RetainSystemFolder(eSystemFolderNone, true), nullptr);
}

} // namespace
} // namespace kova
