#include "platform/mac/values/XMacLeaksChecker.h"

#include "kernel/values/VLeaksChecker.h"
#include "platform/mac/errors/XMacStackCrawl.h"
#include "platform/mac/frameworks/BundleTesting_test.h"
#include "platform/mac/frameworks/CFBundle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace kova
{
namespace
{

class XMacLeaksCheckerTest : public testing::Test
{
protected:
    void TearDown() override { cf::SetMainBundlePath(""); }

    static std::string ReadFile(const std::string& inPath)
    {
        std::ifstream file(inPath);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
};

TEST_F(XMacLeaksCheckerTest, TheBundlePathLosesOnlyItsExtension)
{
    testing_support::StTemporaryFolder folder;
    cf::SetMainBundlePath(folder.MakeApp("Tool", ""));
    EXPECT_EQ(XMacLeaksChecker::GetMainBundlePathWithoutExtension(), folder.GetPath() + "/Tool");

    const struct
    {
        const char* fName;
        const char* fExpected;
    } cases[] = {{"Plain", "Plain"}, {"My.Tool.app", "My.Tool"}, {".hidden", ".hidden"}};
    for (const auto& c : cases)
    {
        std::string bundle = folder.GetPath() + "/" + c.fName;
        cf::SetMainBundlePath(bundle);
        EXPECT_EQ(XMacLeaksChecker::GetMainBundlePathWithoutExtension(),
                  folder.GetPath() + "/" + c.fExpected);
    }
    cf::SetMainBundlePath("/" + std::string(5000, 'a') + ".app");
    EXPECT_EQ(XMacLeaksChecker::GetMainBundlePathWithoutExtension(), "");
}

TEST_F(XMacLeaksCheckerTest, TheLeaksFileLiesBesideTheBundleWithItsHeader)
{
    testing_support::StTemporaryFolder folder;
    cf::SetMainBundlePath(folder.MakeApp("Tool", ""));
    VLeaksChecker checker;

    const struct
    {
        int32_t fLiveBlocks;
        const char* fCountLine;
    } cases[] = {{0, "No memory leaks.\n"}, {1, "You have one leak:\n\n"}, {3, "You have 3 leaks:\n\n"}};
    checker.SetLeaksCheck(true);
    checker.SetStackFramesToSkip(0);
    int32_t registered = 0;
    for (const auto& c : cases)
    {
        for (; registered < c.fLiveBlocks; ++registered)
        {
            XMacStackCrawl crawl;
            checker.RegisterBlock(crawl);
        }
        FILE* file = checker.OpenDumpFile("run");
        ASSERT_NE(file, nullptr);
        fputs("caller's text\n", file);
        fclose(file);
        std::string text = ReadFile(folder.GetPath() + "/Tool.run.leaks");
        size_t headerEnd = text.find('\n');
        ASSERT_NE(headerEnd, std::string::npos) << text;
        EXPECT_THAT(text.substr(0, headerEnd),
                    testing::MatchesRegex("[A-Z][a-z]+day, [A-Z][a-z]+ [0-9]{2}, [0-9]{4} "
                                          "[0-9]{2}:[0-9]{2}:[0-9]{2} [AP]M"));
        EXPECT_EQ(text.substr(headerEnd + 1), std::string(c.fCountLine) + "caller's text\n");
    }
}

TEST_F(XMacLeaksCheckerTest, NoFileWithoutANameOrAWritableFolder)
{
    VLeaksChecker checker;
    testing_support::StTemporaryFolder folder;
    cf::SetMainBundlePath(folder.MakeApp("Tool", ""));
    EXPECT_EQ(checker.OpenDumpFile(nullptr), nullptr);
    cf::SetMainBundlePath(folder.GetPath() + "/missing/Tool.app");
    EXPECT_EQ(checker.OpenDumpFile("run"), nullptr);
}

} // namespace
} // namespace kova
