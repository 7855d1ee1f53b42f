#include "platform/mac/frameworks/CFBundle.h"

#include "platform/mac/frameworks/BundleTesting_test.h"

#include <gtest/gtest.h>

#include <unistd.h>

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

} // namespace
} // namespace kova::cf
