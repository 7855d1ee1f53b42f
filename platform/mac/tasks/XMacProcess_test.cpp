#include "platform/mac/tasks/XMacProcess.h"

#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFileSystem.h"
#include "kernel/files/VFileSystemNamespace.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/BundleTesting_test.h"
#include "testing/KovaTestMain.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace kova;
using kova::testing_support::RunInFreshProcess;
using kova::testing_support::StMainBundle;
using kova::testing_support::StTemporaryFolder;

namespace
{

const char kInfoPlist[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                          "  <key>CFBundleName</key>\n  <string>Sample Tool</string>\n"
                          "  <key>CFBundleShortVersionString</key>\n  <string>12.3 build 4.5.67</string>\n"
                          "  <key>CFBundleExecutable</key>\n  <string>sample</string>\n"
                          "</dict>\n</plist>\n";

std::string PosixPathOf(const VFilePath& inPath)
{
    VString text;
    inPath.GetPosixPath(text);
    return to_string(text);
}

std::string PosixPathOf(const IFileSystemObject* inObject)
{
    return inObject != nullptr ? PosixPathOf(inObject->GetPath()) : std::string("(none)");
}

} // namespace

TEST(XMacProcess, TheProductAndItsFoldersComeFromTheMainBundle)
{
    StTemporaryFolder folder;
    const std::string app = folder.MakeApp("Sample", kInfoPlist);
    folder.WriteFile("Sample.app/Contents/Resources/sub/a.txt", "a");
    folder.WriteFile("Sample.app/Contents/b.txt", "b");
    StMainBundle bundle(app);

    // Made, not started: the process of the test main stays the instance.
    VProcess process;
    EXPECT_EQ(to_string(process.GetLogSourceIdentifier()), "Sample Tool");
    EXPECT_EQ(PosixPathOf(process.GetExecutableFilePath()), app + "/Contents/MacOS/sample");
    EXPECT_EQ(PosixPathOf(process.GetExecutableFolderPath()), app + "/Contents/MacOS/");
    VString version;
    process.GetShortProductVersion(version);
    EXPECT_EQ(to_string(version), "12.3");
    EXPECT_EQ(process.GetChangeListNumber(), 67);

    struct
    {
        uint32_t fKind;
        const char* fRelative;
    } kinds[] = {
        {VProcess::kFolderExecutable, "/Contents/MacOS/"},
        {VProcess::kFolderBundle, "/"},
        {VProcess::kFolderContents, "/Contents/"},
        {VProcess::kFolderResources, "/Contents/Resources/"},
        {VProcess::kFolderNativeComponents, "/Contents/Native Components/"},
        {VProcess::kFolderDTDs, "/Contents/Resources/DTD/"},
        {VProcess::kFolderXSDs, "/Contents/Resources/XSD/"},
        {VProcess::kFolderXSLs, "/Contents/Resources/XSL/"},
        {VProcess::kFolderJSONSchemas, "/Contents/Resources/JSONSchemas/"},
    };
    for (const auto& kind : kinds)
    {
        VRefPtr<VFolder> found(process.RetainFolder(kind.fKind));
        EXPECT_EQ(PosixPathOf(found.Get()), app + kind.fRelative) << kind.fRelative;
    }

    // A relative POSIX path in the first folder; else a name in the fallback folder when it exists.
    VRefPtr<VFile> file(process.RetainFile(VProcess::kFolderResources, VString("sub/a.txt"), 0));
    EXPECT_EQ(PosixPathOf(file.Get()), app + "/Contents/Resources/sub/a.txt");
    file = VRefPtr<VFile>(
        process.RetainFile(VProcess::kFolderResources, VString("b.txt"), VProcess::kFolderContents));
    EXPECT_EQ(PosixPathOf(file.Get()), app + "/Contents/b.txt");
    file =
        VRefPtr<VFile>(process.RetainFile(FourCharCode("none"), VString("b.txt"), VProcess::kFolderContents));
    EXPECT_EQ(PosixPathOf(file.Get()), app + "/Contents/b.txt");
    EXPECT_EQ(process.RetainFile(VProcess::kFolderResources, VString("b.txt"), 0), nullptr);
    // A fallback folder that does not exist gives nothing.
    EXPECT_EQ(process.RetainFile(VProcess::kFolderResources, VString("b.txt"), VProcess::kFolderDTDs),
              nullptr);
    file = VRefPtr<VFile>(process.RetainExecutableFile());
    EXPECT_EQ(PosixPathOf(file.Get()), app + "/Contents/MacOS/sample");
}

TEST(XMacProcess, ABundleWithoutInformationNamesNoProduct)
{
    StTemporaryFolder folder;
    StMainBundle bundle(folder.MakeApp("Bare", ""));
    VProcess process;
    EXPECT_TRUE(process.GetLogSourceIdentifier().IsEmpty());
    // The executable is named after the bundle.
    EXPECT_EQ(PosixPathOf(process.GetExecutableFilePath()),
              folder.GetPath() + "/Bare.app/Contents/MacOS/Bare");
    VString version;
    process.GetMainProductVersion(version);
    EXPECT_TRUE(version.IsEmpty());
}

// The user's folders under a home of the test's own, with a documents folder.
class StTestHome
{
public:
    explicit StTestHome(const std::string& inHome)
    {
        setenv("HOME", inHome.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DOCUMENTS_DIR");
        std::filesystem::create_directories(inHome + "/Documents");
    }
};

TEST(XMacProcess, AProcessInASampleBundleStartsRunsAndQuits)
{
    RunInFreshProcess(
        []
        {
            StTemporaryFolder folder;
            StTestHome home(folder.GetPath() + "/home");
            const std::string app = folder.MakeApp("Sample", kInfoPlist);
            folder.WriteFile("Sample.app/Contents/Resources/readme.txt", "read me");
            folder.WriteFile("Sample.app/Contents/Resources/schemas/s.json", "{}");
            std::filesystem::create_directories(folder.GetPath() + "/data");
            folder.WriteFile(
                "Sample.app/Contents/Resources/fileSystems.json",
                R"([{"name": "Data", "path": ")" + folder.GetPath() +
                    R"(/data"}, {"name": "Schemas", "path": "schemas", "parent": ".PRODUCT_RESOURCES"}])");
            StMainBundle bundle(app);

            class VSampleProcess : public VProcess
            {
            public:
                void DoRun() override
                {
                    fOnMain = VTaskMgr::GetCurrentTask() == VTaskMgr::Get()->GetMainTask();
                    VRefPtr<VFile> readme(RetainFile(kFolderResources, VString("readme.txt"), 0));
                    fReadme = PosixPathOf(readme.Get());
                    // The resources by their file system's name, and the definition file's.
                    VFileSystemNamespace* space = GetFileSystemNamespace();
                    VRefPtr<IFile> named(
                        space->RetainFile(VString("/.PRODUCT_RESOURCES/readme.txt"), nullptr, 0, false));
                    fNamedReadme = PosixPathOf(named.Get());
                    named = VRefPtr<IFile>(space->RetainFile(VString("/Schemas/s.json"), nullptr, 0, false));
                    fNamedSchema = PosixPathOf(named.Get());
                    VRefPtr<VFileSystem> data(space->RetainFileSystem(VString("Data"), 0));
                    fData = data != nullptr ? PosixPathOf(data->GetRoot()) : "(none)";
                    VRefPtr<VFileSystem> documents(
                        space->RetainFileSystem(VString(".USER_HOME_DIRECTORY"), 0));
                    fDocuments = documents != nullptr ? PosixPathOf(documents->GetRoot()) : "(none)";
                    VRefPtr<VFileSystem> hidden(space->RetainFileSystem(VString(".USER_HOME_DIRECTORY"),
                                                                        VFileSystemNamespace::kRefuseHidden));
                    fDocumentsHidden = hidden == nullptr;
                }
                bool fOnMain = false;
                std::string fReadme;
                std::string fNamedReadme;
                std::string fNamedSchema;
                std::string fData;
                std::string fDocuments;
                bool fDocumentsHidden = false;
            };

            VSampleProcess* process = new VSampleProcess;
            process->Run();
            EXPECT_TRUE(process->fOnMain);
            EXPECT_EQ(process->fReadme, app + "/Contents/Resources/readme.txt");
            EXPECT_EQ(process->fNamedReadme, app + "/Contents/Resources/readme.txt");
            EXPECT_EQ(process->fNamedSchema, app + "/Contents/Resources/schemas/s.json");
            EXPECT_EQ(process->fData, folder.GetPath() + "/data/");
            EXPECT_EQ(process->fDocuments, folder.GetPath() + "/home/Documents/");
            EXPECT_TRUE(process->fDocumentsHidden);
            EXPECT_NE(process->GetLogger(), nullptr);
            delete process;
            EXPECT_EQ(VProcess::sInstance, nullptr);
            EXPECT_FALSE(VTaskMgr::IsInited());
        });
}

TEST(XMacProcess, ADefinitionFileThatIsNoJSONEndsStartUp)
{
    RunInFreshProcess(
        []
        {
            StTemporaryFolder folder;
            const std::string app = folder.MakeApp("Sample", kInfoPlist);
            folder.WriteFile("Sample.app/Contents/Resources/fileSystems.json", "[{\"name\": ");
            StMainBundle bundle(app);
            VProcess process;
            EXPECT_FALSE(process.Init(VProcess::kInitLogger));
            // The step after it, the logger, did not run.
            EXPECT_EQ(process.GetLogger(), nullptr);
            VRefPtr<VFileSystem> resources(
                process.GetFileSystemNamespace()->RetainFileSystem(VString(".PRODUCT_RESOURCES"), 0));
            EXPECT_NE(resources, nullptr);
        });
}
