// Client customization on an engine built but never started: the link file's exact bytes, the
// members that are not strings, the file that is no customization, the executable's mode.
#include "app/VUpdateEngine.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/FileTesting_test.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kova
{
namespace
{

const std::string kLinkFile = "new/Sample.app/Contents/Database/EnginedServer.Qellink";

std::string LinkFileWith(const std::string& inServerPath)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><database_shortcut is_remote=\"true\" "
           "server_database_name=\"\" server_path=\"" +
           inServerPath + "\" cache_folder_name=\"\" remote_shared_resources=\"false\"/>";
}

class ClientCustomization : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fScratch.IsValid());
        MakeBundle(fScratch.Posix("Sample.app"), "1");
        MakeBundle(fScratch.Posix("new/Sample.app"), "2");
        fEngine._SetPaths(fScratch.Path("Sample.app/"), fScratch.Path("new/Sample.app/"));
        fEngine._SetClientInfo(fScratch.Path("client.json"));
    }

    // The customization's result and the last error it left.
    bool Customize(const std::string& inJSON, VError& outLastError)
    {
        WriteFileBytes(fScratch.Posix("client.json"), inJSON);
        StErrorContextInstaller errors(false, true);
        const bool done = fEngine._FinishClientCustomization();
        outLastError = errors.GetLastError();
        return done;
    }

    uint16_t ExecutableMode() const
    {
        struct stat status = {};
        stat(fScratch.Posix("new/Sample.app/Contents/MacOS/Sample").c_str(), &status);
        return uint16_t(status.st_mode & 07777);
    }

    StTemporaryFolder fScratch;
    VUpdateEngine fEngine;
};

TEST_F(ClientCustomization, WritesTheLinkFileAndMakesTheExecutableExecutable)
{
    chmod(fScratch.Posix("new/Sample.app/Contents/MacOS/Sample").c_str(), 0644);
    VError error = VE_OK;
    EXPECT_TRUE(Customize(
        R"({"ServerPlatform": "linux", "BuildIPAdress": "10.0.0.5", "BuildIPPort": "19813"})", error));
    EXPECT_EQ(error, VE_OK);
    const std::string pinned = ReadFileBytes(
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "xml/fixtures/EnginedServer.Qellink")
            .string());
    EXPECT_EQ(ReadFileBytes(fScratch.Posix(kLinkFile)), pinned);
    EXPECT_EQ(ReadFileBytes(fScratch.Posix(kLinkFile)), LinkFileWith("10.0.0.5:19813"));
    EXPECT_EQ(ExecutableMode(), 0755);
}

TEST_F(ClientCustomization, MembersThatAreNoStringsAreLeftOut)
{
    VError error = VE_OK;
    EXPECT_TRUE(Customize(R"({"ServerPlatform": "", "BuildIPAdress": "host", "BuildIPPort": 19813,
                              "PublishName": "Base", "BuildCacheFolderNameClient": ["no"]})",
                          error));
    EXPECT_EQ(ReadFileBytes(fScratch.Posix(kLinkFile)),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><database_shortcut is_remote=\"true\" "
              "server_database_name=\"Base\" server_path=\"host\" cache_folder_name=\"\" "
              "remote_shared_resources=\"false\"/>");
    // Without an address there is no link file, and that is no failure.
    std::filesystem::remove(fScratch.Posix(kLinkFile));
    EXPECT_TRUE(Customize(R"({"ServerPlatform": "x", "BuildIPAdress": 10})", error));
    EXPECT_EQ(error, VE_OK);
    EXPECT_FALSE(std::filesystem::exists(fScratch.Posix(kLinkFile)));
}

TEST_F(ClientCustomization, AFileThatIsNoCustomizationChangesNothing)
{
    chmod(fScratch.Posix("new/Sample.app/Contents/MacOS/Sample").c_str(), 0644);
    const std::vector<std::string> before = TreeOf(fScratch.Posix("new/Sample.app"));
    for (const char* json :
         {R"({"ServerPlatform": 3, "BuildIPAdress": "10.0.0.5"})", "[1, 2]", "{\"Server", ""})
    {
        SCOPED_TRACE(json);
        VError error = VE_OK;
        EXPECT_FALSE(Customize(json, error));
        EXPECT_EQ(error, VE_UPDATER_BAD_CLIENT_INFO);
        EXPECT_EQ(TreeOf(fScratch.Posix("new/Sample.app")), before);
    }
}

} // namespace
} // namespace kova
