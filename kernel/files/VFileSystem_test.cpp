#include "kernel/files/VFileSystem.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileSystemNamespace.h"
#include "kernel/files/VFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kova
{
namespace
{

class VFileSystemTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fFolder.IsValid());
        ASSERT_EQ(mkdir(fFolder.Posix("root").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(fFolder.Posix("root/sub").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(fFolder.Posix("outside").c_str(), 0755), 0);
        WriteFileBytes(fFolder.Posix("root/sub/x.txt"), "x");
        WriteFileBytes(fFolder.Posix("outside/secret"), "s");
        ASSERT_EQ(symlink(fFolder.Posix("outside").c_str(), fFolder.Posix("root/out").c_str()), 0);
        ASSERT_EQ(symlink("sub", fFolder.Posix("root/in").c_str()), 0);
        fRoot = VRefPtr<VFolder>(new VFolder(fFolder.Path("root/")));
    }

    VFilePath Path(const std::string& inName) const { return fFolder.Path(inName); }

    StTemporaryFolder fFolder;
    VRefPtr<VFolder> fRoot;
};

TEST_F(VFileSystemTest, NamesMustBeNonEmptyWithoutSlash)
{
    for (const char* name : {"", "a/b", "/"})
    {
        StErrorContextInstaller errors(false, true);
        VError error = VE_OK;
        EXPECT_EQ(VFileSystem::Create(VString(name), fRoot.Get(), 0, 0, 0, &error), nullptr) << name;
        EXPECT_EQ(error, VE_FS_BAD_NAME);
        EXPECT_EQ(errors.GetLastError(), VE_FS_BAD_NAME);
        EXPECT_EQ(StringParameter(LastErrorObject(errors), "name"), Text(VString(name)));
    }
    VError error = VE_UNKNOWN_ERROR;
    VRefPtr<VFileSystem> fileSystem(VFileSystem::Create(VString(".RESOURCES"), fRoot.Get(), 0, 0, 0, &error));
    ASSERT_NE(fileSystem, nullptr);
    EXPECT_EQ(error, VE_OK);
    VRefPtr<IFolder> root(fileSystem->RetainRootFolder());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetFileSystem(), fileSystem.Get());
    EXPECT_EQ(Text(root->GetPath().GetPath()), Text(Path("root/").GetPath()));
}

TEST_F(VFileSystemTest, SpaceIsCountedWithoutEverWrapping)
{
    VRefPtr<VFileSystem> none(new VFileSystem(VString("n"), fRoot.Get(), 0, 100, 0));
    EXPECT_EQ(none->Request(1), VE_FS_NO_SPACE_ACCOUNTING);
    EXPECT_EQ(none->Relinquish(1), VE_FS_NO_SPACE_ACCOUNTING);
    VRefPtr<VFileSystem> unlimited(
        new VFileSystem(VString("u"), fRoot.Get(), VFileSystem::kSpaceAccounting, 0, 0));
    EXPECT_EQ(unlimited->Request(SIZE_MAX), VE_OK);

    VRefPtr<VFileSystem> counted(
        new VFileSystem(VString("c"), fRoot.Get(), VFileSystem::kSpaceAccounting, 100, 60));
    EXPECT_EQ(counted->Request(50), VE_FS_NOT_ENOUGH_SPACE);
    EXPECT_EQ(counted->GetAvailable(), 40u);
    EXPECT_EQ(counted->Request(40), VE_OK);
    EXPECT_EQ(counted->GetAvailable(), 0u);
    // Giving back more than was taken never makes more than the quota.
    EXPECT_EQ(counted->Relinquish(1000), VE_OK);
    EXPECT_EQ(counted->GetAvailable(), 100u);
    EXPECT_EQ(counted->Relinquish(SIZE_MAX), VE_OK);
    EXPECT_EQ(counted->GetAvailable(), 100u);

    // Tasks asking at once never take more than there is.
    VRefPtr<VFileSystem> shared(
        new VFileSystem(VString("s"), fRoot.Get(), VFileSystem::kSpaceAccounting, 4000, 0));
    std::atomic<int> granted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&]
            {
                for (int i = 0; i < 1000; ++i)
                    granted += shared->Request(1) == VE_OK ? 1 : 0;
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(granted.load(), 4000);
    EXPECT_EQ(shared->GetAvailable(), 0u);
}

TEST_F(VFileSystemTest, OnlyWhatLiesInsideTheRootOnDiskIsAuthorized)
{
    VRefPtr<VFileSystem> fileSystem(new VFileSystem(VString("area"), fRoot.Get(), 0, 0, 0));
    EXPECT_TRUE(fileSystem->IsAuthorized(Path("root/")));
    EXPECT_TRUE(fileSystem->IsAuthorized(Path("root/sub/x.txt")));
    EXPECT_TRUE(fileSystem->IsAuthorized(Path("root/in/x.txt")));
    EXPECT_TRUE(fileSystem->IsAuthorized(Path("root/not/made/yet")));
    EXPECT_FALSE(fileSystem->IsAuthorized(Path("outside/secret")));
    // A link that leads out, and components the system reads as steps.
    EXPECT_FALSE(fileSystem->IsAuthorized(Path("root/out/secret")));
    EXPECT_FALSE(fileSystem->IsAuthorized(Path("root/out/")));
    VString colon(Path("root/").GetPath());
    colon.AppendCString("..:outside:secret");
    EXPECT_FALSE(fileSystem->IsAuthorized(VFilePath(colon, FPS_SYSTEM)));
    VString dot(Path("root/").GetPath());
    dot.AppendCString(".:sub:");
    EXPECT_TRUE(fileSystem->IsAuthorized(VFilePath(dot, FPS_SYSTEM)));

    // A root named through a link holds what lies in its real place.
    ASSERT_EQ(symlink(fFolder.Posix("root").c_str(), fFolder.Posix("alias").c_str()), 0);
    VRefPtr<VFolder> aliasRoot(new VFolder(Path("alias/")));
    VRefPtr<VFileSystem> aliased(new VFileSystem(VString("aliased"), aliasRoot.Get(), 0, 0, 0));
    EXPECT_TRUE(aliased->IsAuthorized(Path("root/sub/x.txt")));
    EXPECT_FALSE(aliased->IsAuthorized(Path("alias/out/secret")));
    VRefPtr<VFile> file(new VFile(Path("root/sub/x.txt")));
    EXPECT_EQ(Text(aliased->MakePathWithFileSystem(file->GetPath(), VString("none"))), u"/aliased/sub/x.txt");
}

TEST_F(VFileSystemTest, ATemporaryAreaGoesWithItsFileSystem)
{
    MakeBundle(fFolder.Posix("scratch"), "1");
    VRefPtr<VFolder> scratch(new VFolder(Path("scratch/")));
    VFileSystem* fileSystem =
        VFileSystem::Create(VString("scratch"), scratch.Get(), VFileSystem::kDeleteRootOnDestruction, 0, 0);
    ASSERT_NE(fileSystem, nullptr);
    fileSystem->Release();
    EXPECT_FALSE(PathExists(fFolder.Posix("scratch")));
}

class VFileSystemNamespaceTest : public VFileSystemTest
{
protected:
    void SetUp() override
    {
        VFileSystemTest::SetUp();
        fParent = VRefPtr<VFileSystemNamespace>(new VFileSystemNamespace);
        fSpace = VRefPtr<VFileSystemNamespace>(new VFileSystemNamespace(fParent.Get()));
        ASSERT_EQ(fSpace->RegisterFileSystem(VString(".PRODUCT_RESOURCES"), fRoot.Get(), 0), VE_OK);
    }

    VRefPtr<VFileSystemNamespace> fParent;
    VRefPtr<VFileSystemNamespace> fSpace;
};

TEST_F(VFileSystemNamespaceTest, RegisteringReplacesAndRefusesBadNames)
{
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(fSpace->RegisterFileSystem(VString("a/b"), fRoot.Get(), 0), VE_FS_BAD_NAME);
        EXPECT_EQ(fSpace->RegisterFileSystem(VString(), fRoot.Get(), 0), VE_FS_BAD_NAME);
    }
    VFileSystemMap map;
    EXPECT_EQ(fSpace->RetainMapOfFileSystems(map, 0), VE_OK);
    EXPECT_EQ(map.size(), 1u);

    VRefPtr<VFileSystem> first(new VFileSystem(VString("x"), fRoot.Get(), 0, 0, 0));
    VRefPtr<VFileSystem> second(new VFileSystem(VString("x"), fRoot.Get(), 0, 0, 0));
    fSpace->RegisterFileSystem(first.Get());
    fSpace->RegisterFileSystem(first.Get());
    EXPECT_EQ(first->GetRefCount(), 2u);
    fSpace->RegisterFileSystem(second.Get());
    EXPECT_EQ(first->GetRefCount(), 1u);
    EXPECT_EQ(VRefPtr<VFileSystem>(fSpace->RetainFileSystem(VString("x"), 0)), second);
    fSpace->UnregisterFileSystem(VString("x"));
    fSpace->UnregisterFileSystem(VString("unknown"));
    EXPECT_EQ(second->GetRefCount(), 1u);
    EXPECT_EQ(fSpace->RetainFileSystem(VString("x"), 0), nullptr);
}

TEST_F(VFileSystemNamespaceTest, LookUpsFollowTheOptionsAndTheParents)
{
    VRefPtr<VFolder> outside(new VFolder(Path("outside/")));
    ASSERT_EQ(fParent->RegisterFileSystem(VString(".USER_HOME_DIRECTORY"), outside.Get(), 0), VE_OK);
    ASSERT_EQ(fParent->RegisterFileSystem(VString("parental"), outside.Get(), 0), VE_OK);
    ASSERT_EQ(fSpace->RegisterFileSystem(VString(".USER_HOME_DIRECTORY"), fRoot.Get(), VFileSystem::kHidden),
              VE_OK);

    using Options = VFileSystemNamespace;
    EXPECT_EQ(fSpace->RetainFileSystem(VString("parental"), 0), nullptr);
    VRefPtr<VFileSystem> parental(fSpace->RetainFileSystem(VString("parental"), Options::kSearchParents));
    ASSERT_NE(parental, nullptr);
    // A hidden name here hides the parent's too.
    EXPECT_EQ(fSpace->RetainFileSystem(VString(".USER_HOME_DIRECTORY"),
                                       Options::kRefuseHidden | Options::kSearchParents),
              nullptr);
    VRefPtr<VFileSystem> hidden(
        fSpace->RetainFileSystem(VString(".USER_HOME_DIRECTORY"), Options::kSearchParents));
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(hidden->GetFlags(), VFileSystem::kHidden);

    VFileSystemMap map;
    fSpace->RetainMapOfFileSystems(map, Options::kSearchParents | Options::kRefuseHidden);
    std::vector<std::u16string> names;
    for (const auto& [name, fileSystem] : map)
        names.push_back(Text(name));
    // The map leaves out the hidden one registered here, so the parent's of that name shows.
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u".PRODUCT_RESOURCES", u".USER_HOME_DIRECTORY", u"parental"}));
    EXPECT_EQ(Text(map.at(VString(".USER_HOME_DIRECTORY"))->GetRoot().GetPath()),
              Text(Path("outside/").GetPath()));
    map.clear();
    fSpace->RetainMapOfFileSystems(map, Options::kSearchParents);
    EXPECT_EQ(map.at(VString(".USER_HOME_DIRECTORY")), hidden);
}

TEST_F(VFileSystemNamespaceTest, PathsWithAFileSystemStayInsideItsRoot)
{
    VRefPtr<IFile> file(fSpace->RetainFile(VString("/.PRODUCT_RESOURCES/sub/x.txt"), nullptr, 0, false));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Text(file->GetPath().GetPath()), Text(Path("root/sub/x.txt").GetPath()));
    EXPECT_NE(file->GetFileSystem(), nullptr);
    EXPECT_EQ(Text(file->GetPathWithFileSystem()), u"/.PRODUCT_RESOURCES/sub/x.txt");
    EXPECT_EQ(fSpace->RetainFile(VString("/.PRODUCT_RESOURCES/"), nullptr, 0, false), nullptr);
    EXPECT_EQ(fSpace->RetainFile(VString("/.PRODUCT_RESOURCES/sub/"), nullptr, 0, false), nullptr);
    VRefPtr<IFolder> folder(fSpace->RetainFolder(VString("/.PRODUCT_RESOURCES/sub"), nullptr, 0, false));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(Text(folder->GetPath().GetPath()), Text(Path("root/sub/").GetPath()));
    VRefPtr<IFolder> root(fSpace->RetainFolder(VString("/.PRODUCT_RESOURCES"), nullptr, 0, false));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Text(root->GetPath().GetPath()), Text(Path("root/").GetPath()));

    // Out of the root by steps or by a link, and paths that are no file-system paths.
    for (const char* path :
         {"/.PRODUCT_RESOURCES/../outside/secret", "/.PRODUCT_RESOURCES/sub/../../outside/secret",
          "/.PRODUCT_RESOURCES/out/secret", "/.PRODUCT_RESOURCES", "/unknown/x", "//x"})
        EXPECT_EQ(fSpace->RetainFile(VString(path), nullptr, 0, false), nullptr) << path;
    VRefPtr<VFileSystem> found;
    VString relative;
    EXPECT_FALSE(fSpace->ParsePathWithFileSystem(VString("/.PRODUCT_RESOURCES"), found, relative, 0));
    EXPECT_TRUE(
        fSpace->ParsePathWithFileSystem(VString("/.PRODUCT_RESOURCES/sub/./a/../x.txt"), found, relative, 0));
    EXPECT_EQ(Text(relative), u"sub/x.txt");

    // Without a file system: POSIX paths when accepted, else relative to the base.
    const std::string posix = fFolder.Posix("outside/secret");
    EXPECT_EQ(fSpace->RetainFile(VString(posix.c_str()), nullptr, 0, false), nullptr);
    VRefPtr<IFile> accepted(fSpace->RetainFile(VString(posix.c_str()), nullptr, 0, true));
    ASSERT_NE(accepted, nullptr);
    EXPECT_EQ(accepted->GetFileSystem(), nullptr);
    VRefPtr<IFile> relativeFile(fSpace->RetainFile(VString("sub/x.txt"), fRoot.Get(), 0, false));
    ASSERT_NE(relativeFile, nullptr);
    EXPECT_TRUE(relativeFile->Exists());
    VRefPtr<IFile> anyPosix(
        VFileSystemNamespace::RetainFile(nullptr, VString(posix.c_str()), nullptr, 0, false));
    ASSERT_NE(anyPosix, nullptr);
    EXPECT_TRUE(anyPosix->Exists());
}

// fileSystems.json: every usable definition is registered, the others are left out.
TEST_F(VFileSystemNamespaceTest, ADefinitionFileRegistersItsFileSystems)
{
    const std::string root = fFolder.Posix("root");
    const std::string definitions = R"([
        {"name": "Data", "path": ")" + root + R"(/sub", "writable": true},
        {"name": "Below", "path": "sub", "parent": ".PRODUCT_RESOURCES"},
        {"name": "Escaping", "path": "../outside", "parent": ".PRODUCT_RESOURCES"},
        {"name": "ThroughALink", "path": "out/", "parent": ".PRODUCT_RESOURCES"},
        {"name": "Orphan", "path": "sub/", "parent": "NoSuchParent"},
        {"name": "Relative", "path": "sub/"},
        {"name": "a/b", "path": ")" + root + R"(/"},
        {"name": ".PRODUCT_RESOURCES", "path": ")" + fFolder.Posix("outside") + R"(/"},
        "not an object", 12
    ])";
    WriteFileBytes(fFolder.Posix("fileSystems.json"), definitions);
    VRefPtr<VFile> file(new VFile(Path("fileSystems.json")));
    StErrorContextInstaller errors(false, true);
    EXPECT_EQ(fSpace->LoadFromDefinitionFile(file.Get()), VE_OK);
    EXPECT_EQ(errors.GetLastError(), VE_OK);

    VFileSystemMap map;
    fSpace->RetainMapOfFileSystems(map, 0);
    std::vector<std::u16string> names;
    for (const auto& [name, fileSystem] : map)
        names.push_back(Text(name));
    EXPECT_EQ(names, (std::vector<std::u16string>{u".PRODUCT_RESOURCES", u"Below", u"Data"}));
    EXPECT_EQ(Text(map.begin()->second->GetRoot().GetPath()), Text(Path("root/").GetPath()));
    for (const char* name : {"Below", "Data"})
    {
        VRefPtr<VFileSystem> fileSystem(fSpace->RetainFileSystem(VString(name), 0));
        ASSERT_NE(fileSystem, nullptr) << name;
        EXPECT_EQ(Text(fileSystem->GetRoot().GetPath()), Text(Path("root/sub/").GetPath())) << name;
        EXPECT_EQ(fileSystem->GetFlags(), 0u) << name;
    }
    VRefPtr<IFile> x(fSpace->RetainFile(VString("/Data/x.txt"), nullptr, 0, false));
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(x->Exists());
}

TEST_F(VFileSystemNamespaceTest, ADefinitionFileThatIsNotAnArrayLoadsNothing)
{
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_EQ(fSpace->LoadFromDefinitionFile(nullptr), VE_UNKNOWN_ERROR);
        EXPECT_EQ(errors.GetLastError(), VE_UNKNOWN_ERROR);
    }
    struct Case
    {
        const char* fText;
        bool fParses;
    };
    for (const Case& each : {Case{"[{\"name\": \"x\", \"path\": \"/tmp/\"},", false},
                             Case{"[] trailing", false}, Case{"{\"name\": \"x\", \"path\": \"/tmp/\"}", true}})
    {
        WriteFileBytes(fFolder.Posix("fileSystems.json"), each.fText);
        VRefPtr<VFile> file(new VFile(Path("fileSystems.json")));
        StErrorContextInstaller errors(false, true);
        const VError error = fSpace->LoadFromDefinitionFile(file.Get());
        if (each.fParses)
        {
            EXPECT_EQ(error, VE_OK) << each.fText;
        }
        else
        {
            EXPECT_NE(error, VE_OK) << each.fText;
            EXPECT_EQ(errors.GetLastError(), VE_FS_CANNOT_PARSE_DEFINITION) << each.fText;
            EXPECT_EQ(StringParameter(LastErrorObject(errors), "path"), Text(Path("fileSystems.json").GetPath()));
        }
        EXPECT_EQ(fSpace->RetainFileSystem(VString("x"), 0), nullptr) << each.fText;
    }
}

} // namespace
} // namespace kova
