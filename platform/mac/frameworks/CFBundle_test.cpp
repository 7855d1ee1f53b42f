#include "platform/mac/frameworks/CFBundle.h"

#include "platform/mac/frameworks/BundleTesting_test.h"
#include "platform/mac/frameworks/CFError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace kova::cf
{
namespace
{

TEST(CFBundle, BundlePathOfAnExecutable)
{
    struct Case
    {
        const char* fExecutable;
        const char* fBundle;
        bool fIsApp;
    };
    for (Case c : {Case{"/Applications/Tool.app/Contents/MacOS/Tool", "/Applications/Tool.app", true},
                   Case{"/a/b.app/Contents/MacOS/other", "/a/b.app", true},
                   Case{"/usr/local/bin/tool", "/usr/local/bin", false},
                   Case{"/a/Contents/MacOS/tool", "/a/Contents/MacOS", false},
                   Case{"/a/b.app/Contents/Linux/tool", "/a/b.app/Contents/Linux", false},
                   Case{"/a/.app/Contents/MacOS/tool", "/a/.app/Contents/MacOS", false},
                   Case{"/tool", "/", false}, Case{"", "", false}})
    {
        bool isApp = !c.fIsApp;
        EXPECT_EQ(BundlePathForExecutable(c.fExecutable, &isApp), c.fBundle) << c.fExecutable;
        EXPECT_EQ(isApp, c.fIsApp) << c.fExecutable;
    }
}

TEST(CFBundle, MainBundleOfATestIsItsFolderWithAnEmptyDictionary)
{
    SetMainBundlePath("");
    std::shared_ptr<const Bundle> bundle = GetMainBundle();
    ASSERT_NE(bundle, nullptr);
    char executable[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", executable, sizeof(executable) - 1), 0);
    std::string folder(executable);
    EXPECT_EQ(bundle->GetPath(), folder.substr(0, folder.rfind('/')));
    EXPECT_EQ(bundle->GetInfoDictionary().GetKind(), PropertyList::Kind::kDictionary);
    EXPECT_EQ(bundle->GetInfoDictionary().GetCount(), 0u);
    EXPECT_EQ(GetMainBundle(), bundle);
}

TEST(CFBundle, InjectedMainBundleReadsItsInfoDictionary)
{
    testing_support::StTemporaryFolder folder;
    std::string app = folder.MakeApp("Tool", testing_support::InfoPlistWithString("CFBundleName", "Tool"));
    SetMainBundlePath(app + "/");
    std::shared_ptr<const Bundle> bundle = GetMainBundle();
    EXPECT_EQ(bundle->GetPath(), app);
    ASSERT_NE(bundle->GetValueForInfoDictionaryKey("CFBundleName"), nullptr);
    EXPECT_EQ(bundle->GetValueForInfoDictionaryKey("CFBundleName")->GetString(), "Tool");

    // A missing, malformed or non-dictionary Info.plist gives an empty dictionary.
    for (const char* info : {"", "<plist><dict>", "<plist><array/></plist>"})
    {
        testing_support::StTemporaryFolder other;
        SetMainBundlePath(other.MakeApp("Other", info));
        EXPECT_EQ(GetMainBundle()->GetInfoDictionary().GetKind(), PropertyList::Kind::kDictionary) << info;
        EXPECT_EQ(GetMainBundle()->GetInfoDictionary().GetCount(), 0u) << info;
    }
    SetMainBundlePath("");
    EXPECT_NE(GetMainBundle()->GetPath(), app);
}

TEST(CFBundle, LoadableBundlesKeepTheirPartsByLayout)
{
    testing_support::StTemporaryFolder folder;
    folder.WriteFile("Kit.framework/Versions/B/Resources/Info.plist",
                     testing_support::InfoPlistWithString("CFBundleExecutable", "KitCore"));
    std::filesystem::create_directory_symlink("B", folder.GetPath() + "/Kit.framework/Versions/Current");
    folder.WriteFile("Plug.bundle/Contents/Info.plist", "");
    folder.WriteFile("Flat.plugin/Info.plist", "");
    struct Case
    {
        const char* fBundle;
        Bundle::Layout fLayout;
        const char* fExecutable;
        const char* fResources;
        const char* fPlugIns;
    };
    for (Case c : {Case{"Kit.framework/", Bundle::Layout::kFramework, "Versions/Current/KitCore",
                        "Versions/Current/Resources", "Versions/Current/PlugIns"},
                   Case{"Plug.bundle", Bundle::Layout::kContents, "Contents/MacOS/Plug", "Contents/Resources",
                        "Contents/PlugIns"},
                   Case{"Flat.plugin", Bundle::Layout::kFlat, "Flat", "", "PlugIns"}})
    {
        std::shared_ptr<Bundle> bundle = BundleCreate(folder.GetPath() + "/" + c.fBundle);
        ASSERT_NE(bundle, nullptr) << c.fBundle;
        const std::string base = bundle->GetPath() + "/";
        EXPECT_EQ(bundle->GetLayout(), c.fLayout) << c.fBundle;
        EXPECT_EQ(BundleCopyExecutablePath(*bundle), base + c.fExecutable) << c.fBundle;
        EXPECT_EQ(BundleCopyResourcesDirectoryPath(*bundle) + "/",
                  base + c.fResources + (*c.fResources ? "/" : ""))
            << c.fBundle;
        EXPECT_EQ(BundleCopyBuiltInPlugInsPath(*bundle), base + c.fPlugIns) << c.fBundle;
        // Nothing to load: an error for the caller, and the loader's text.
        Error* error = nullptr;
        std::string reason;
        EXPECT_FALSE(BundleLoadExecutable(*bundle, &error, &reason));
        ASSERT_NE(error, nullptr);
        EXPECT_STREQ(ErrorGetDomain(error), kErrorDomainCocoa);
        EXPECT_FALSE(reason.empty());
        ErrorRelease(error);
        EXPECT_EQ(BundleGetFunctionPointerForName(*bundle, "Main"), nullptr);
    }
    EXPECT_EQ(BundleCreate(folder.GetPath() + "/Missing.bundle"), nullptr);
}

TEST(CFBundle, PreferredLocalizationsMatchExactlyThenByLanguage)
{
    struct Case
    {
        std::vector<std::string> fLocalizations;
        std::vector<std::string> fPreferred;
        const char* fAnswer; // empty for none
    };
    const Case cases[] = {
        {{"de", "fr", "fr_CA"}, {"fr-CA"}, "fr_CA"},
        {{"de", "fr_CA", "fr"}, {"fr-FR"}, "fr_CA"}, // the first of the language
        {{"de", "French"}, {"fr-FR"}, "French"},
        {{"de", "fr"}, {"ja-JP", "de-AT"}, "de"},
        {{"en", "de"}, {"it-IT", "en-US"}, "en"},
        {{"de", "fr"}, {"ja-JP"}, ""},
        {{}, {"en-US"}, ""},
        {{"Base", "xx-yy-zz-invalid_"}, {"en-US"}, ""},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> answer =
            BundleCopyLocalizationsForPreferences(c.fLocalizations, c.fPreferred);
        EXPECT_EQ(answer.empty() ? std::string() : answer.front(), c.fAnswer) << c.fPreferred.front();
    }

    testing_support::StTemporaryFolder folder;
    std::string app = folder.MakeApp("Tool", "");
    for (const char* name : {"fr.lproj", "de.lproj", "notes.txt", "en.lproj"})
        std::filesystem::create_directories(app + "/Contents/Resources/" + name);
    folder.WriteFile("Tool.app/Contents/Resources/it.lproj", "a file, no folder");
    SetMainBundlePath(app);
    EXPECT_EQ(BundleCopyBundleLocalizations(*GetMainBundle()), (std::vector<std::string>{"de", "en", "fr"}));
    SetMainBundlePath("");
}

} // namespace
} // namespace kova::cf
