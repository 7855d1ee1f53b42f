#include "kernel/tasks/VLibrary.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/frameworks/BundleTesting_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kova
{
namespace
{

namespace fs = std::filesystem;

const std::string kBundles = KOVA_TEST_BUNDLES;

VFilePath FolderPath(const std::string& inPosix)
{
    return VFilePath(VString((inPosix.back() == '/' ? inPosix : inPosix + "/").c_str()), FPS_POSIX);
}

VFilePath FilePath(const std::string& inPosix)
{
    return VFilePath(VString(inPosix.c_str()), FPS_POSIX);
}

template <class FUNCTION>
FUNCTION* Function(VLibrary& inLibrary, const char16_t* inName)
{
    return reinterpret_cast<FUNCTION*>(inLibrary.GetProcAddress(VString(inName)));
}

std::string PosixOf(const IFileSystemObject* inObject)
{
    if (inObject == nullptr)
        return "(null)";
    VString path;
    inObject->GetPath().GetPosixPath(path);
    return to_string(path);
}

// A copy of the test framework in a temporary folder, links kept, for tests that change it.
class VLibraryFramework : public testing::Test
{
protected:
    void SetUp() override
    {
        fFramework = fFolder.GetPath() + "/TestKit.framework";
        fs::copy(kBundles + "/TestKit.framework", fFramework,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }

    // Puts a flattened link file in place of the entry.
    void Flatten(const std::string& inEntry, const std::string& inText)
    {
        fs::remove(fFramework + "/" + inEntry);
        fFolder.WriteFile("TestKit.framework/" + inEntry, inText);
    }

    static std::string LinkFile(const std::string& inTarget)
    {
        char length[8];
        std::snprintf(length, sizeof length, "%04zu", inTarget.size());
        return "XSym\n" + std::string(length) + "\n0123456789abcdef0123456789abcdef\n" + inTarget + "\n" +
               std::string(1000, ' ');
    }

    testing_support::StTemporaryFolder fFolder;
    std::string fFramework;
};

TEST(VLibrary, ALibraryFileLoadsOnceAndFindsFunctionsByTheirWholeName)
{
    VRefPtr<VLibrary> library(new VLibrary(FilePath(kBundles + "/TestKit.framework/Versions/A/TestKit")));
    EXPECT_EQ(library->GetProcAddress(VString("TestKitAnswer")), nullptr); // not loaded
    ASSERT_TRUE(library->Load());
    EXPECT_TRUE(library->Load());
    auto answer = Function<int()>(*library, u"TestKitAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    // A name beyond ASCII: its UTF-8 form is longer than its units.
    auto size = Function<int()>(*library, u"TestKit_Größe");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size(), 7);
    EXPECT_EQ(library->GetProcAddress(VString("TestKitAnswer\0more", 18, VTC_UTF_8)), nullptr);
    EXPECT_EQ(library->GetProcAddress(VString("Missing")), nullptr);
    // A library file is no bundle: no folders.
    EXPECT_EQ(library->RetainFolder(kBUNDLE_FOLDER), nullptr);
    EXPECT_EQ(library->RetainExecutableFile(), nullptr);
    EXPECT_EQ(library->RetainResourceFile(), nullptr);

    library->Unload();
    EXPECT_FALSE(library->IsLoaded());
    EXPECT_EQ(library->GetProcAddress(VString("TestKitAnswer")), nullptr);
}

TEST(VLibrary, BundlesGiveTheirFoldersAndExecutable)
{
    struct Case
    {
        const char* fBundle;
        BundleFolderKind fKind;
        const char* fFolder; // below the bundle; null for none
    };
    const Case cases[] = {
        {"TestPlugIn.bundle", kBUNDLE_FOLDER, ""},
        {"TestPlugIn.bundle", kBUNDLE_EXECUTABLE_FOLDER, "Contents/MacOS/"},
        {"TestPlugIn.bundle", kBUNDLE_RESOURCES_FOLDER, "Contents/Resources/"},
        {"TestPlugIn.bundle", kBUNDLE_LOCALIZED_RESOURCES_FOLDER, nullptr},
        {"TestPlugIn.bundle", kBUNDLE_PLUGINS_FOLDER, "Contents/PlugIns/"},
        {"TestPlugIn.bundle", kBUNDLE_FRAMEWORKS_FOLDER, "Contents/Frameworks/"},
        {"TestPlugIn.bundle", kBUNDLE_SUPPORT_FOLDER, "Contents/SharedSupport/"},
        {"TestPlugIn.bundle", BundleFolderKind(8), nullptr},
        {"TestKit.framework", kBUNDLE_EXECUTABLE_FOLDER, "Versions/Current/"},
        {"TestKit.framework", kBUNDLE_RESOURCES_FOLDER, "Versions/Current/Resources/"},
        {"TestKit.framework", kBUNDLE_PLUGINS_FOLDER, "Versions/Current/PlugIns/"},
    };
    for (const Case& c : cases)
    {
        const std::string bundle = kBundles + "/" + c.fBundle + "/";
        VRefPtr<VLibrary> library(new VLibrary(FolderPath(bundle)));
        EXPECT_EQ(library->RetainFolder(c.fKind), nullptr); // not loaded
        ASSERT_TRUE(library->Load()) << c.fBundle;
        VRefPtr<VFolder> folder(library->RetainFolder(c.fKind));
        // The same place: links on the way may be resolved.
        EXPECT_EQ(folder != nullptr ? fs::weakly_canonical(PosixOf(folder.Get())).string() : "(null)",
                  c.fFolder != nullptr ? fs::weakly_canonical(bundle + c.fFolder).string() : "(null)")
            << c.fBundle << " " << c.fKind;
    }

    VRefPtr<VLibrary> plugIn(new VLibrary(FolderPath(kBundles + "/TestPlugIn.bundle")));
    ASSERT_TRUE(plugIn->Load());
    VRefPtr<VFile> executable(plugIn->RetainExecutableFile());
    EXPECT_EQ(PosixOf(executable.Get()), kBundles + "/TestPlugIn.bundle/Contents/MacOS/TestPlugIn");
    EXPECT_NE(plugIn->MAC_GetBundleRef(), nullptr);
    auto live = Function<int()>(*plugIn, u"TestPlugInLiveComponents");
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live(), 0);
}

TEST(VLibrary, PathsAreTheSameFileOnlyWhenTheirTextsAreEqual)
{
    VRefPtr<VLibrary> library(new VLibrary(FolderPath("/opt/Bundles/Tool.bundle")));
    EXPECT_TRUE(library->IsSameFile(FolderPath("/opt/Bundles/Tool.bundle")));
    EXPECT_FALSE(library->IsSameFile(FolderPath("/opt/bundles/tool.bundle")));
    EXPECT_FALSE(library->IsSameFile(FilePath("/opt/Bundles/Tool.bundle")));
}

TEST(VLibrary, AFailedLoadRaises1010WithTheLoadersReasonAndMayBeTriedAgain)
{
    testing_support::StTemporaryFolder folder;
    const std::string file = folder.WriteFile("NotALibrary.so", "plain text");
    VRefPtr<VLibrary> library(new VLibrary(FilePath(file)));
    {
        StErrorContextInstaller errors(false, true);
        EXPECT_FALSE(library->Load());
        VErrorBase* error = errors.GetContext()->Find(VE_LIBRARY_CANNOT_LOAD);
        ASSERT_NE(error, nullptr);
        VString reason;
        EXPECT_TRUE(error->GetBag()->GetString("reason", reason));
        EXPECT_FALSE(reason.IsEmpty());
        EXPECT_FALSE(library->IsLoaded());
    }
    // The right bytes in place: the same library loads now.
    fs::copy_file(kBundles + "/TestKit.framework/Versions/A/TestKit", file,
                  fs::copy_options::overwrite_existing);
    EXPECT_TRUE(library->Load());

    // A bundle without its executable, and a folder that does not exist.
    const std::string empty = folder.GetPath() + "/Empty.bundle/Contents/MacOS";
    fs::create_directories(empty);
    for (const std::string& path : {folder.GetPath() + "/Empty.bundle", folder.GetPath() + "/Missing.bundle"})
    {
        StErrorContextInstaller errors(false, true);
        VRefPtr<VLibrary> bundle(new VLibrary(FolderPath(path)));
        EXPECT_FALSE(bundle->Load()) << path;
        EXPECT_FALSE(bundle->IsLoaded());
    }
}

TEST_F(VLibraryFramework, AFlattenedVersionLinkIsMadeALinkAgainBeforeLoading)
{
    Flatten("Versions/Current", LinkFile("A"));
    VRefPtr<VLibrary> library(new VLibrary(FolderPath(fFramework)));
    StErrorContextInstaller errors(false, true);
    ASSERT_TRUE(library->Load());
    EXPECT_EQ(errors.GetLastError(), VE_OK);
    ASSERT_TRUE(fs::is_symlink(fFramework + "/Versions/Current"));
    EXPECT_EQ(fs::read_symlink(fFramework + "/Versions/Current"), "A");
    auto answer = Function<int()>(*library, u"TestKitAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
}

TEST_F(VLibraryFramework, ALinkFileThatIsNotSoundStaysAndRaises617)
{
    const std::string cases[] = {
        "XSym\n0001\n",                      // fewer than four lines
        LinkFile("A").replace(5, 4, "0002"), // a length that is not the target's
        LinkFile("/etc"),                    // absolute
        LinkFile("../../../outside"),        // out of the framework
        LinkFile("..")                       // the framework itself
    };
    for (const std::string& text : cases)
    {
        Flatten("Versions/Current", text);
        VRefPtr<VLibrary> library(new VLibrary(FolderPath(fFramework)));
        StErrorContextInstaller errors(false, true);
        EXPECT_FALSE(library->Load()) << text.substr(0, 20);
        EXPECT_NE(errors.GetContext()->Find(VE_LIBRARY_BAD_LINK_FILE), nullptr) << text.substr(0, 20);
        EXPECT_FALSE(fs::is_symlink(fFramework + "/Versions/Current"));
        EXPECT_TRUE(fs::is_regular_file(fFramework + "/Versions/Current"));
    }
    // A file that is no link file at all is left alone, silently.
    Flatten("Versions/Current", "just text\n");
    VRefPtr<VLibrary> library(new VLibrary(FolderPath(fFramework)));
    StErrorContextInstaller errors(false, true);
    EXPECT_FALSE(library->Load());
    EXPECT_EQ(errors.GetContext()->Find(VE_LIBRARY_BAD_LINK_FILE), nullptr);
}

} // namespace
} // namespace kova
