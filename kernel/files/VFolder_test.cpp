#include "kernel/files/VFolder.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/files/XMacVolumes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

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

// The immutable flag, which only the superuser may set, on a file system that has it.
bool SetLocked(const std::string& inPath, bool inLocked)
{
    const int fd = open(inPath.c_str(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = inLocked ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        close(fd);
    return done;
}

bool IsLocked(const std::string& inPath)
{
    const int fd = open(inPath.c_str(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    const bool read = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (fd >= 0)
        close(fd);
    return read && (flags & FS_IMMUTABLE_FL) != 0;
}

// Removals of folders fail with the errno once that many more items went, for one scope.
class StRemoveFault
{
public:
    StRemoveFault(int inErrno, int inAfterCount)
    {
        XMacFolder::SetRemoveFaultForTesting(inErrno, inAfterCount);
    }
    ~StRemoveFault() { XMacFolder::SetRemoveFaultForTesting(0, 0); }
    StRemoveFault(const StRemoveFault&) = delete;
    StRemoveFault& operator=(const StRemoveFault&) = delete;
};

// The paths (relative to the folder) that errors of the scope name, in order.
std::vector<std::string> ErrorCodes(const StErrorContextInstaller& inErrors)
{
    std::vector<std::string> codes;
    const VErrorContext* context = inErrors.GetContext();
    for (size_t i = 1; context != nullptr && i <= context->GetErrorCount(); ++i)
    {
        const VError code = context->GetNthError(i)->GetError();
        char text[32];
        snprintf(text, sizeof(text), "%c%c%c%c %u", char(code >> 56), char(code >> 48), char(code >> 40),
                 char(code >> 32), unsigned(code & 0xFFFFFFFF));
        codes.push_back(text);
    }
    return codes;
}

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

TEST_F(VFolderTest, DeleteTakesTheTreeOnlyWhenAskedAndALinkAlone)
{
    MakeBundle(fFolder.Posix("a.app"), "1");
    MakeBundle(fFolder.Posix("outside"), "1");
    ASSERT_EQ(symlink(fFolder.Posix("outside").c_str(), fFolder.Posix("a.app/Contents/to-outside").c_str()),
              0);
    ASSERT_EQ(symlink("outside", fFolder.Posix("link").c_str()), 0);
    const std::vector<std::string> outside = TreeOf(fFolder.Posix("outside"));
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("a.app/")->Delete(false), VE_FOLDER_NOT_EMPTY);
        EXPECT_TRUE(PathExists(fFolder.Posix("a.app/Contents/Info.plist")));
    }
    // A link named as a folder goes alone: what it leads to is not the folder's.
    EXPECT_EQ(Folder("link/")->Delete(true), VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("link")));
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), outside);
    // Links inside are removed, never walked into.
    EXPECT_EQ(Folder("a.app/")->Delete(true), VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("a.app")));
    EXPECT_EQ(TreeOf(fFolder.Posix("outside")), outside);
    EXPECT_TRUE(Folder("a.app/")->IsEmpty());
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(Folder("a.app/")->Delete(false), VE_FILE_NOT_FOUND);
}

TEST_F(VFolderTest, DeleteContentsNamesTheItemThatFailedAndNeverEntersALink)
{
    MakeBundle(fFolder.Posix("a"), "1");
    WriteFileBytes(fFolder.Posix("keep"), "keep");
    ASSERT_EQ(symlink(fFolder.Posix().c_str(), fFolder.Posix("a/up").c_str()), 0);
    ASSERT_EQ(mkfifo(fFolder.Posix("a/pipe").c_str(), 0600), 0);
    {
        // Files only: the folders stay.
        EXPECT_EQ(Folder("a/Contents/")->DeleteContents(false), VE_OK);
        EXPECT_EQ(NamesIn(fFolder.Posix("a/Contents")),
                  (std::vector<std::string>{"Empty", "Frameworks", "MacOS", "Resources"}));
    }
    {
        // The first failure stops the walk and names the item.
        ASSERT_EQ(mkdir(fFolder.Posix("flat").c_str(), 0755), 0);
        for (const char* name : {"x", "y", "z"})
            WriteFileBytes(fFolder.Posix("flat/") + name, name);
        StRemoveFault fault(EIO, 1);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("flat/")->DeleteContents(true), VE_FILE_CANNOT_DELETE);
        EXPECT_EQ(ErrorCodes(errors), (std::vector<std::string>{"POSX 5", "kova 604"}));
        const std::vector<std::string> left = NamesIn(fFolder.Posix("flat"));
        ASSERT_EQ(left.size(), 2u);
        const std::u16string failed = StringParameter(LastErrorObject(errors), "name");
        EXPECT_TRUE(failed == Text(VString(left[0].c_str())) || failed == Text(VString(left[1].c_str())));
    }
    {
        // Deep down, under names the colon syntax writes otherwise (":" in a name is "/" there).
        const std::string item = "deep/odd:name/caf\xC3\xA9/only";
        std::filesystem::create_directories(fFolder.Posix("deep/odd:name/caf\xC3\xA9"));
        WriteFileBytes(fFolder.Posix(item), "x");
        StRemoveFault fault(EIO, 0);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("deep/")->DeleteContents(true), VE_FILE_CANNOT_DELETE);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "path"), Text(fFolder.Path(item).GetPath()));
        EXPECT_NE(Text(fFolder.Path(item).GetPath()).find(u":odd/name:caf\u00E9:only"), std::u16string::npos);
    }
    EXPECT_EQ(Folder("a/")->DeleteContents(true), VE_OK);
    EXPECT_EQ(NamesIn(fFolder.Posix("a")), std::vector<std::string>());
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("keep")), "keep");
    // A link at the path is not walked into.
    ASSERT_EQ(symlink("a", fFolder.Posix("b").c_str()), 0);
    WriteFileBytes(fFolder.Posix("a/x"), "x");
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(Folder("b/")->DeleteContents(true), VE_FOLDER_CANNOT_DELETE);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("a/x")), "x");
}

TEST_F(VFolderTest, DeleteForcedTakesLockedItemsAndPutsTheParentBackOnEveryPath)
{
    MakeBundle(fFolder.Posix("parent/a.app"), "1");
    ASSERT_EQ(chmod(fFolder.Posix("parent/a.app/Contents/MacOS").c_str(), 0500), 0);
    const bool root = geteuid() == 0;
    if (root)
    {
        if (!SetLocked(fFolder.Posix("parent/a.app/Contents/Info.plist"), true))
            GTEST_SKIP() << "no immutable flag on this file system";
        ASSERT_TRUE(SetLocked(fFolder.Posix("parent"), true));
    }
    else
    {
        ASSERT_EQ(chmod(fFolder.Posix("parent").c_str(), 0500), 0);
    }
    {
        // The walk fails: the parent is put back all the same.
        StRemoveFault fault(EIO, 2);
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("parent/a.app/")->DeleteForced(), VE_FOLDER_CANNOT_DELETE);
        EXPECT_EQ(root ? IsLocked(fFolder.Posix("parent")) : ModeOf(fFolder.Posix("parent")) == 0500, true);
    }
    EXPECT_EQ(Folder("parent/a.app/")->DeleteForced(), VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("parent/a.app")));
    if (root)
    {
        EXPECT_TRUE(IsLocked(fFolder.Posix("parent")));
        SetLocked(fFolder.Posix("parent"), false);
    }
    else
    {
        EXPECT_EQ(ModeOf(fFolder.Posix("parent")), 0500u);
    }
}

// A file system mounted inside a folder is none of the folder's: no deletion enters it (nor
// unlocks it), and each stops at its mount point with an error that names it.
TEST_F(VFolderTest, DeletionsNeverEnterAFileSystemMountedInside)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    struct Case
    {
        const char* fName;
        std::function<VError(const VFolder&)> fDelete;
    };
    const Case cases[] = {
        {"Delete", [](const VFolder& inFolder) { return inFolder.Delete(true); }},
        {"DeleteForced", [](const VFolder& inFolder) { return inFolder.DeleteForced(); }},
        {"DeleteContents", [](const VFolder& inFolder) { return inFolder.DeleteContents(true); }},
    };
    const std::string mounted = fFolder.Posix("a.app/Contents/Resources/mounted");
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.fName);
        MakeBundle(fFolder.Posix("a.app"), "1");
        ASSERT_EQ(mkdir(mounted.c_str(), 0755), 0);
        if (mount("tmpfs", mounted.c_str(), "tmpfs", 0, "size=64k,mode=0500") != 0)
            GTEST_SKIP() << "no tmpfs here";
        WriteFileBytes(mounted + "/file", "on the mount");
        // The volume cache reloads when its time comes, which may be while the mount stands: the
        // mount is then a volume of its own, and the item must be named all the same. The cache
        // forgets the mount once it is gone.
        XMacVolumes::fInstance._Invalidate();
        StErrorContextInstaller errors(false, true);
        const VError result = test.fDelete(*Folder("a.app/"));
        const std::string left = ReadFileBytes(mounted + "/file");
        const mode_t mode = ModeOf(mounted);
        umount2(mounted.c_str(), MNT_DETACH);
        XMacVolumes::fInstance._Invalidate();
        EXPECT_EQ(result, VE_FOLDER_CANNOT_DELETE);
        EXPECT_EQ(left, "on the mount");
        EXPECT_EQ(mode, 0500u);
        EXPECT_EQ(ErrorCodes(errors), (std::vector<std::string>{"POSX 16", "kova 653"}));
        const VErrorBase* error = LastErrorObject(errors);
        EXPECT_EQ(StringParameter(error, "path"),
                  Text(fFolder.Path("a.app/Contents/Resources/mounted/").GetPath()));
        VString description;
        if (error != nullptr)
            error->GetErrorDescription(description);
        EXPECT_NE(Text(description).find(Text(VString(mounted.c_str()))), std::u16string::npos)
            << std::string(description.GetCPointer(), description.GetCPointer() + description.GetLength());
        std::filesystem::remove_all(fFolder.Posix("a.app"));
    }
}

TEST_F(VFolderTest, RenameNeverReplacesAndRefusesNamesOfNoItem)
{
    MakeBundle(fFolder.Posix("Sample.app"), "1");
    ASSERT_EQ(mkdir(fFolder.Posix("Taken.app").c_str(), 0755), 0);
    VRefPtr<VFolder> folder = Folder("Sample.app/");
    VFolder* renamed = reinterpret_cast<VFolder*>(1);
    {
        // Even an empty folder of the new name stays.
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(folder->Rename(VString("Taken.app"), &renamed), VE_FOLDER_CANNOT_RENAME);
        EXPECT_EQ(renamed, nullptr);
        EXPECT_EQ(ErrorCodes(errors), (std::vector<std::string>{"POSX 17", "kova 657"}));
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "newname"), u"Taken.app");
    }
    for (const char* name : {"", ".", ".."})
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(folder->Rename(VString(name), &renamed), VE_FOLDER_CANNOT_RENAME) << name;
    }
    EXPECT_EQ(NamesIn(fFolder.Posix()), (std::vector<std::string>{"Sample.app", "Taken.app"}));
    const std::vector<std::string> tree = TreeOf(fFolder.Posix("Sample.app"));
    ASSERT_EQ(folder->Rename(VString("Sample_old0001.app"), &renamed), VE_OK);
    VRefPtr<VFolder> old(renamed);
    EXPECT_EQ(Text(old->GetPath().GetPath()), Text(fFolder.Path("Sample_old0001.app/").GetPath()));
    EXPECT_EQ(TreeOf(fFolder.Posix("Sample_old0001.app")), tree);
    EXPECT_FALSE(folder->Exists());
}

TEST_F(VFolderTest, MoveKeepsItsNameAndNeverReplaces)
{
    MakeBundle(fFolder.Posix("a.app"), "1");
    ASSERT_EQ(mkdir(fFolder.Posix("into").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("into/b.app").c_str(), 0755), 0);
    VFolder* moved = nullptr;
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("a.app/")->Move(*Folder("into/"), VString("b.app"), &moved),
                  VE_FOLDER_CANNOT_RENAME);
        EXPECT_EQ(moved, nullptr);
    }
    ASSERT_EQ(Folder("a.app/")->Move(*Folder("into/"), &moved), VE_OK);
    VRefPtr<VFolder> result(moved);
    EXPECT_EQ(Text(result->GetPath().GetPath()), Text(fFolder.Path("into/a.app/").GetPath()));
    EXPECT_TRUE(result->Exists());
    EXPECT_FALSE(Folder("a.app/")->Exists());
}

TEST_F(VFolderTest, CopyWholeReplacesTheTargetOnlyOnceTheCopyIsComplete)
{
    MakeBundle(fFolder.Posix("new/Sample.app"), "2");
    MakeBundle(fFolder.Posix("install/Sample.app"), "1");
    WriteFileBytes(fFolder.Posix("install/Sample.app/only-old"), "old");
    const std::vector<std::string> oldTree = TreeOf(fFolder.Posix("install/Sample.app"));
    ASSERT_EQ(mkfifo(fFolder.Posix("new/Sample.app/Contents/pipe").c_str(), 0600), 0);
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("new/Sample.app/")->CopyTo(*Folder("install/"), nullptr, FCO_REPLACE_WHOLE),
                  VE_FOLDER_CANNOT_COPY);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "destination"),
                  Text(fFolder.Path("install/Sample.app/").GetPath()));
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("install/Sample.app")), oldTree);
    EXPECT_EQ(NamesIn(fFolder.Posix("install")), std::vector<std::string>{"Sample.app"});

    // Going on after a failed item puts the copy in place and reports the item.
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("new/Sample.app/")
                      ->CopyTo(*Folder("install/"), nullptr, FCO_REPLACE_WHOLE | FCO_PROCEED_AFTER_ERROR),
                  VE_FOLDER_CANNOT_COPY);
        EXPECT_FALSE(PathExists(fFolder.Posix("install/Sample.app/only-old")));
        EXPECT_TRUE(PathExists(fFolder.Posix("install/Sample.app/Contents/Info.plist")));
    }
    ASSERT_EQ(unlink(fFolder.Posix("new/Sample.app/Contents/pipe").c_str()), 0);
    VFolder* copied = nullptr;
    EXPECT_EQ(Folder("new/Sample.app/")->CopyTo(*Folder("install/"), &copied, FCO_REPLACE_WHOLE), VE_OK);
    VRefPtr<VFolder> copy(copied);
    EXPECT_EQ(Text(copy->GetPath().GetPath()), Text(fFolder.Path("install/Sample.app/").GetPath()));
    EXPECT_EQ(TreeOf(fFolder.Posix("install/Sample.app")), TreeOf(fFolder.Posix("new/Sample.app")));
    EXPECT_EQ(NamesIn(fFolder.Posix("install")), std::vector<std::string>{"Sample.app"});
}

// Whatever stands at the target's place (an empty folder too, which a plain rename would replace)
// is kept: the copy fails and leaves nothing beside it. A free place takes the copy with its rights.
TEST_F(VFolderTest, CopyWholeKeepingAnExistingTargetTakesOnlyAFreePlace)
{
    MakeBundle(fFolder.Posix("new/Sample.app"), "2");
    ASSERT_EQ(mkdir(fFolder.Posix("install").c_str(), 0755), 0);
    const std::string target = fFolder.Posix("install/Sample.app");
    const std::function<void()> items[] = {
        [&] { MakeBundle(target, "1"); },
        [&] { mkdir(target.c_str(), 0755); },
        [&] { WriteFileBytes(target, "a file"); },
        [&] { symlink("nowhere", target.c_str()); },
    };
    VFolderCopyRights rights;
    rights.fClearedModes = kInstalledItemClearedModes;
    for (size_t i = 0; i < std::size(items); ++i)
    {
        SCOPED_TRACE(i);
        std::filesystem::remove_all(target);
        items[i]();
        const std::vector<std::string> before = TreeOf(fFolder.Posix("install"));
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(Folder("new/Sample.app/")
                      ->CopyTo(*Folder("install/"), VString("Sample.app"), nullptr,
                               FCO_REPLACE_WHOLE | FCO_KEEP_EXISTING_TARGET, rights),
                  VE_FOLDER_CANNOT_COPY);
        EXPECT_EQ(TreeOf(fFolder.Posix("install")), before);
        EXPECT_EQ(NamesIn(fFolder.Posix("install")), std::vector<std::string>{"Sample.app"});
    }
    std::filesystem::remove_all(target);
    EXPECT_EQ(Folder("new/Sample.app/")
                  ->CopyTo(*Folder("install/"), VString("Sample.app"), nullptr,
                           FCO_REPLACE_WHOLE | FCO_KEEP_EXISTING_TARGET, rights),
              VE_OK);
    EXPECT_EQ(TreeOf(target), TreeOf(fFolder.Posix("new/Sample.app")));

    // Item by item, a file found in place is kept as a folder found in place is; the others come.
    ASSERT_EQ(mkdir(fFolder.Posix("merged").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(fFolder.Posix("merged/MacOS").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("merged/Info.plist"), "mine");
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(Folder("new/Sample.app/Contents/")
                  ->CopyContentsTo(*Folder("merged/"),
                                   FCO_REPLACE_WHOLE | FCO_KEEP_EXISTING_TARGET | FCO_PROCEED_AFTER_ERROR),
              VE_FOLDER_CANNOT_COPY);
    EXPECT_EQ(ReadFileBytes(fFolder.Posix("merged/Info.plist")), "mine");
    EXPECT_EQ(NamesIn(fFolder.Posix("merged/MacOS")), std::vector<std::string>{});
    EXPECT_TRUE(PathExists(fFolder.Posix("merged/Resources/en.lproj/Strings.xlf")));
}

// A folder named through a link is the folder the link leads to: a whole copy makes a real folder
// of what it holds, its own links inside copied as links.
TEST_F(VFolderTest, CopyWholeOfALinkCopiesTheFolderItLeadsTo)
{
    MakeBundle(fFolder.Posix("store/Sample-2.app"), "2");
    ASSERT_EQ(mkdir(fFolder.Posix("download").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../store/Sample-2.app", fFolder.Posix("download/Sample.app").c_str()), 0);
    MakeBundle(fFolder.Posix("install/Sample.app"), "1");
    const std::vector<std::string> upToDate = TreeOf(fFolder.Posix("store/Sample-2.app"));
    for (int pass = 0; pass < 2; ++pass) // over the old folder, then where nothing stands
    {
        SCOPED_TRACE(pass);
        EXPECT_EQ(Folder("download/Sample.app/")->CopyTo(*Folder("install/"), nullptr, FCO_REPLACE_WHOLE),
                  VE_OK);
        struct stat status = {};
        ASSERT_EQ(lstat(fFolder.Posix("install/Sample.app").c_str(), &status), 0);
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(TreeOf(fFolder.Posix("install/Sample.app")), upToDate);
        EXPECT_EQ(NamesIn(fFolder.Posix("install")), std::vector<std::string>{"Sample.app"});
        std::filesystem::remove_all(fFolder.Posix("install/Sample.app"));
    }
    EXPECT_EQ(TreeOf(fFolder.Posix("store/Sample-2.app")), upToDate);
}

// A download laid out by an unprivileged user, with every mode a careful installer drops: a
// set-user-id and a set-group-id executable, a file and a folder anyone may write.
TEST_F(VFolderTest, CopyWholeWithRightsGivesTheOwnerAndDropsDangerousModes)
{
    const std::string download = fFolder.Posix("new/Sample.app");
    MakeBundle(download, "2");
    struct Item
    {
        const char* fName;
        mode_t fMode;
        mode_t fInstalledMode;
    };
    const Item items[] = {
        {"Contents/MacOS/Sample", 04755, 0755},
        {"Contents/MacOS/helper", 02750, 0750},
        {"Contents/Resources/shared", 0666, 0664},
        {"Contents/Resources/drop", 01777, 01775},
    };
    for (const Item& item : items)
    {
        if (item.fMode & 01000)
            ASSERT_EQ(mkdir((download + "/" + item.fName).c_str(), 0700), 0);
        else
            WriteFileBytes(download + "/" + item.fName, item.fName);
        ASSERT_EQ(chmod((download + "/" + item.fName).c_str(), item.fMode), 0);
    }
    const bool root = geteuid() == 0;
    if (root)
    {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(download))
            ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
        // chown takes the set-id bits away: they are put back.
        for (const Item& item : items)
            ASSERT_EQ(chmod((download + "/" + item.fName).c_str(), item.fMode), 0);
    }
    ASSERT_EQ(mkdir(fFolder.Posix("install").c_str(), 0755), 0);

    // An ordinary copy keeps what it copies.
    EXPECT_EQ(Folder("new/Sample.app/")->CopyTo(*Folder("install/"), nullptr, FCO_REPLACE_WHOLE), VE_OK);
    EXPECT_EQ(TreeOf(fFolder.Posix("install/Sample.app")), TreeOf(download));

    VFolderCopyRights rights;
    rights.fGiveOwner = true;
    rights.fUser = 1234;
    rights.fGroup = 4321;
    rights.fClearedModes = kInstalledItemClearedModes;
    // Only a whole copy takes them.
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(
            Folder("new/Sample.app/")->CopyTo(*Folder("install/"), VString("Other.app"), nullptr, 0, rights),
            VE_FOLDER_CANNOT_COPY);
        EXPECT_FALSE(PathExists(fFolder.Posix("install/Other.app")));
    }
    EXPECT_EQ(Folder("new/Sample.app/")
                  ->CopyTo(*Folder("install/"), VString("Sample.app"), nullptr, FCO_REPLACE_WHOLE, rights),
              VE_OK);
    const std::string installed = fFolder.Posix("install/Sample.app");
    for (const Item& item : items)
        EXPECT_EQ(ModeOf(installed + "/" + item.fName), item.fInstalledMode) << item.fName;
    size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(installed))
    {
        struct stat status = {};
        ASSERT_EQ(lstat(entry.path().c_str(), &status), 0);
        ++count;
        // A link's own mode is always 0777 here, and stands for nothing.
        if (!S_ISLNK(status.st_mode))
        {
            EXPECT_EQ(status.st_mode & (S_ISUID | S_ISGID | S_IWOTH), 0u) << entry.path();
        }
        if (root)
        {
            EXPECT_EQ(status.st_uid, 1234u) << entry.path();
            EXPECT_EQ(status.st_gid, 4321u) << entry.path();
        }
    }
    EXPECT_GT(count, 10u);
    struct stat top = {};
    ASSERT_EQ(stat(installed.c_str(), &top), 0);
    EXPECT_EQ(top.st_uid, root ? 1234u : geteuid());
    // The download itself is as it was.
    EXPECT_EQ(ModeOf(download + "/Contents/MacOS/Sample"), 04755u);
}

TEST_F(VFolderTest, CopyIsRefusedIntoTheSourceOrOverWhatHoldsItWhateverItsName)
{
    MakeBundle(fFolder.Posix("a/b"), "1");
    ASSERT_EQ(symlink(fFolder.Posix("a").c_str(), fFolder.Posix("alias").c_str()), 0);
    const std::vector<std::string> before = TreeOf(fFolder.Posix());
    struct Case
    {
        const char* fSource;
        const char* fDestination;
        const char* fName;
        uint32_t fOptions;
    };
    const Case cases[] = {
        {"a/", "a/", "copy", 0},                       // into itself
        {"a/", "a/b/", "copy", FCO_REPLACE_WHOLE},     // into a sub-folder
        {"a/", "alias/b/", "copy", FCO_REPLACE_WHOLE}, // the same through a link
        {"a/b/", "", "a", FCO_REPLACE_WHOLE},          // over the folder that holds it
        {"a/b/", "", "alias", FCO_REPLACE_WHOLE},      // the same through a link
        {"a/b/", "alias/", "b", FCO_REPLACE_WHOLE},    // over itself through a link
        {"a/b/", "alias/", "b", 0},                    // merged into itself
    };
    for (const Case& test : cases)
    {
        StErrorContextInstaller errors(false, true);
        VFolder* copied = reinterpret_cast<VFolder*>(1);
        EXPECT_EQ(Folder(test.fSource)
                      ->CopyTo(*Folder(test.fDestination), VString(test.fName), &copied, test.fOptions),
                  VE_FOLDER_CANNOT_COPY)
            << test.fSource << " into " << test.fDestination << test.fName;
        EXPECT_EQ(copied, nullptr);
        EXPECT_EQ(ErrorCodes(errors), std::vector<std::string>{"kova 660"});
    }
    EXPECT_EQ(TreeOf(fFolder.Posix()), before);
}

TEST_F(VFolderTest, CopyItemByItemMergesAndNeverLeavesAnItemOutSilently)
{
    MakeBundle(fFolder.Posix("source"), "2");
    ASSERT_EQ(mkdir(fFolder.Posix("target").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("target/mine"), "mine");
    // Merged: the target's own items stay, and the source's come in.
    EXPECT_EQ(Folder("source/")->CopyContentsTo(*Folder("target/"), 0), VE_OK);
    // Folders are made new (not with the source's modes), files keep theirs.
    std::vector<std::string> expected = TreeOf(fFolder.Posix("source"), false);
    for (std::string& line : expected)
    {
        if (line.compare(0, 29, "Contents/Resources/en.lproj 0") == 0)
            line = "Contents/Resources/en.lproj 0755 dir";
    }
    expected.push_back("mine 0644 file mine");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(TreeOf(fFolder.Posix("target"), false), expected);
    {
        // Without the replacing option an existing file is a failure; with 8 the walk goes on.
        StErrorContextInstaller errors(false, true);
        EXPECT_NE(Folder("source/")->CopyContentsTo(*Folder("target/"), FCO_PROCEED_AFTER_ERROR), VE_OK);
        EXPECT_GT(errors.GetContext()->GetErrorCount(), 4u);
    }
    // Hidden items left out when asked.
    EXPECT_EQ(Folder("source/")->CopyTo(*Folder(""), VString("visible"), nullptr, FCO_SKIP_INVISIBLES),
              VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("visible/Contents/Resources/.hidden")));
    EXPECT_TRUE(PathExists(fFolder.Posix("visible/Contents/Resources/dangling")));

    ASSERT_EQ(mkfifo(fFolder.Posix("source/pipe").c_str(), 0600), 0);
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(Folder("source/")->CopyTo(*Folder(""), VString("other"), nullptr, 0), VE_FOLDER_CANNOT_COPY);
    EXPECT_EQ(StringParameter(LastErrorObject(errors), "name"), u"pipe");
    {
        StErrorContextInstaller missing(false, true);
        EXPECT_NE(Folder("none/")->CopyContentsTo(*Folder("other2/"), 0), VE_OK);
        EXPECT_FALSE(PathExists(fFolder.Posix("other2")));
    }
}

TEST_F(VFolderTest, TrashAndForcedDeletionOfTheOldBundle)
{
    MakeBundle(fFolder.Posix("Sample_old0001.app"), "1");
    StEnvironment environment({{"XDG_DATA_HOME", fFolder.Posix("data").c_str()}});
    EXPECT_EQ(Folder("Sample_old0001.app/")->MoveToTrash(), VE_OK);
    EXPECT_FALSE(PathExists(fFolder.Posix("Sample_old0001.app")));
    EXPECT_TRUE(PathExists(fFolder.Posix("data/Trash/files/Sample_old0001.app/Contents/MacOS/Sample")));
    // Nothing there: nothing to do.
    EXPECT_EQ(Folder("Sample_old0001.app/")->MoveToTrash(), VE_OK);
}

TEST_F(VFolderTest, SystemFoldersFollowTheXDGFolders)
{
    ASSERT_EQ(mkdir(fFolder.Posix("config").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("config/user-dirs.dirs"),
                   "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
                   "XDG_DOCUMENTS_DIR=\"/elsewhere\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    StEnvironment environment({{"HOME", fFolder.Posix("home").c_str()},
                               {"XDG_CONFIG_HOME", fFolder.Posix("config").c_str()},
                               {"XDG_DATA_HOME", nullptr},
                               {"XDG_CACHE_HOME", "relative/is/ignored"}});
    struct Case
    {
        ESystemFolderKind fKind;
        std::string fPosix;
    };
    const Case cases[] = {
        {eSystemFolderDocuments, "/elsewhere/"},
        {eSystemFolderDesktop, fFolder.Posix("home/Bureau/")},
        {eSystemFolderApplicationSupportUser, fFolder.Posix("home/.local/share/")},
        {eSystemFolderApplicationSupportUser2, fFolder.Posix("home/.local/share/")},
        {eSystemFolderCachesUser, fFolder.Posix("home/.cache/")},
        {eSystemFolderLibrary, fFolder.Posix("config/")},
        {eSystemFolderHome, fFolder.Posix("home/")},
        {eSystemFolderApplicationSupportLocal, "/var/lib/"},
        {eSystemFolderApplicationSupportLocal2, "/var/lib/"},
        {eSystemFolderCachesLocal, "/var/cache/"},
        {eSystemFolderApplications, "/opt/"},
    };
    for (const Case& test : cases)
    {
        VRefPtr<VFolder> folder(VFolder::RetainSystemFolder(test.fKind, false));
        ASSERT_NE(folder, nullptr) << test.fKind;
        VString posix;
        folder->GetPlatformPath(posix, FPS_POSIX);
        EXPECT_EQ(Text(posix), Text(VString(test.fPosix.c_str()))) << test.fKind;
    }
    // Created when asked, private to the user.
    VRefPtr<VFolder> cache(VFolder::RetainSystemFolder(eSystemFolderCachesUser, true));
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(ModeOf(fFolder.Posix("home/.cache")), 0700u);
    VRefPtr<VFolder> executable(VFolder::RetainSystemFolder(eSystemFolderExecutable, false));
    ASSERT_NE(executable, nullptr);
    EXPECT_TRUE(executable->Exists());
    EXPECT_EQ(VFolder::RetainSystemFolder(ESystemFolderKind(14), true), nullptr);
}

TEST_F(VFolderTest, AliasFoldersResolveToFoldersOnly)
{
    ASSERT_EQ(mkdir(fFolder.Posix("real").c_str(), 0755), 0);
    WriteFileBytes(fFolder.Posix("file"), "f");
    ASSERT_EQ(symlink(fFolder.Posix("real").c_str(), fFolder.Posix("to-folder").c_str()), 0);
    ASSERT_EQ(symlink(fFolder.Posix("file").c_str(), fFolder.Posix("to-file").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", fFolder.Posix("dangling").c_str()), 0);

    VFolder* folder = Folder("to-folder/").Detach();
    EXPECT_EQ(VFolder::ResolveAliasFolder(&folder, false), VE_OK);
    EXPECT_EQ(Text(folder->GetPath().GetPath()), Text(fFolder.Path("real/").GetPath()));
    folder->Release();
    {
        StErrorContextInstaller errors(false, true);
        folder = Folder("to-file/").Detach();
        EXPECT_EQ(VFolder::ResolveAliasFolder(&folder, false), VE_FOLDER_ALIAS_TARGET_IS_FILE);
        folder->Release();
        folder = Folder("dangling/").Detach();
        EXPECT_NE(VFolder::ResolveAliasFolder(&folder, false), VE_OK);
        folder->Release();
    }
    EXPECT_EQ(VFolder::CreateAndResolveAlias(*Folder(""), VString("dangling")), nullptr);
    EXPECT_FALSE(PathExists(fFolder.Posix("dangling")));
    VRefPtr<VFolder> resolved(VFolder::CreateAndResolveAlias(*Folder(""), VString("to-folder")));
    ASSERT_NE(resolved, nullptr);
    EXPECT_EQ(Text(resolved->GetPath().GetPath()), Text(fFolder.Path("real/").GetPath()));
}

TEST_F(VFolderTest, PackagesRightsAndHiddenFolders)
{
    for (const char* name : {"A.app", "B.BUNDLE", "C.framework", "D.plugin", "E.txt", ".app", ".hidden"})
        ASSERT_EQ(mkdir(fFolder.Posix(name).c_str(), 0755), 0);
    for (const char* name : {"A.app/", "B.BUNDLE/", "C.framework/", "D.plugin/"})
        EXPECT_TRUE(Folder(name)->MAC_IsPackage()) << name;
    for (const char* name : {"E.txt/", ".app/", "missing.app/"})
        EXPECT_FALSE(Folder(name)->MAC_IsPackage()) << name;
    bool hidden = false;
    EXPECT_EQ(Folder(".hidden/")->IsHidden(hidden), VE_OK);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(Folder("A.app/")->IsHidden(hidden), VE_OK);
    EXPECT_FALSE(hidden);
    EXPECT_TRUE(Folder("A.app/")->IsWritableByAll());
    EXPECT_EQ(Folder("A.app/")->MAC_SetPermissions(0750), VE_OK);
    uint16_t mode = 0;
    EXPECT_EQ(Folder("A.app/")->MAC_GetPermissions(&mode), VE_OK);
    EXPECT_EQ(mode, 0750);
    int64_t capacity = 0;
    int64_t free = 0;
    EXPECT_EQ(Folder("A.app/")->GetVolumeCapacity(&capacity), VE_OK);
    EXPECT_EQ(Folder("A.app/")->GetVolumeFreeSpace(&free, false), VE_OK);
    EXPECT_GT(capacity, 0);
    EXPECT_LE(free, capacity);
}

// The updater's swap on real bundles, as the update engine runs it: the outdated bundle renamed
// aside (never over an entry), the up-to-date one copied whole into its place, a failed copy
// rolled back, and the old one trashed.
TEST_F(VFolderTest, TheUpdatersSwapKeepsEveryBundleWhole)
{
    MakeBundle(fFolder.Posix("Apps/Sample.app"), "1");
    MakeBundle(fFolder.Posix("Download/Sample.app"), "2");
    ASSERT_EQ(mkdir(fFolder.Posix("Apps/Sample_old0001.app").c_str(), 0755), 0);
    const std::vector<std::string> outdated = TreeOf(fFolder.Posix("Apps/Sample.app"));
    const std::vector<std::string> upToDate = TreeOf(fFolder.Posix("Download/Sample.app"));
    VRefPtr<VFolder> install = Folder("Apps/Sample.app/");
    VRefPtr<VFolder> source = Folder("Download/Sample.app/");
    VRefPtr<VFolder> parent(static_cast<VFolder*>(install->RetainParentFolder(false)));

    auto swap = [&](bool inFailCopy) -> VError
    {
        VFolder* renamed = nullptr;
        StErrorContextInstaller errors(false, true);
        // The name taken already is never replaced.
        EXPECT_EQ(install->Rename(VString("Sample_old0001.app"), &renamed), VE_FOLDER_CANNOT_RENAME);
        VError error = install->Rename(VString("Sample_old0002.app"), &renamed);
        if (error != VE_OK)
            return error;
        VRefPtr<VFolder> old(renamed);
        {
            StIOFault fault(true, inFailCopy ? EIO : 0, 20);
            error = source->CopyTo(*parent, VString("Sample.app"), nullptr, FCO_REPLACE_WHOLE);
        }
        if (error != VE_OK)
        {
            // The rollback.
            if (install->Exists())
                install->Delete(true);
            old->Rename(VString("Sample.app"), nullptr);
            return error;
        }
        return old->MoveToTrash();
    };

    StEnvironment environment({{"XDG_DATA_HOME", fFolder.Posix("data").c_str()}});
    EXPECT_EQ(swap(true), VE_FOLDER_CANNOT_COPY);
    EXPECT_EQ(TreeOf(fFolder.Posix("Apps/Sample.app")), outdated);
    EXPECT_EQ(NamesIn(fFolder.Posix("Apps")), (std::vector<std::string>{"Sample.app", "Sample_old0001.app"}));

    EXPECT_EQ(swap(false), VE_OK);
    EXPECT_EQ(TreeOf(fFolder.Posix("Apps/Sample.app")), upToDate);
    EXPECT_EQ(TreeOf(fFolder.Posix("Download/Sample.app")), upToDate);
    EXPECT_EQ(NamesIn(fFolder.Posix("Apps")), (std::vector<std::string>{"Sample.app", "Sample_old0001.app"}));
    EXPECT_EQ(TreeOf(fFolder.Posix("data/Trash/files/Sample_old0002.app")), outdated);
}

} // namespace
} // namespace kova
