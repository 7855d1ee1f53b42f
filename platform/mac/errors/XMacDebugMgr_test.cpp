#include "platform/mac/errors/XMacDebugMgr.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VDebugMgr.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/BundleTesting_test.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kova
{
namespace
{

using testing_support::StMainBundle;
using testing_support::StTemporaryFolder;

std::string Contents(const std::string& inPath)
{
    std::ifstream file(inPath);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(AssertFile, ItsPathIsTheBundlesCutAtTheExtensionOfItsOwnName)
{
    StTemporaryFolder folder;
    struct Case
    {
        std::string fBundle;
        std::string fAssertFile;
    };
    const Case kCases[] = {
        {folder.MakeApp("Tool", ""), folder.GetPath() + "/Tool_asserts.txt"},
        // A dot in a parent folder's name is no extension of the bundle's.
        {folder.GetPath() + "/v1.2/Runner", folder.GetPath() + "/v1.2/Runner_asserts.txt"},
    };
    for (const Case& test : kCases)
    {
        std::filesystem::create_directories(test.fBundle);
        StMainBundle bundle(test.fBundle);
        VDebugMgr manager;
        EXPECT_EQ(std::string(manager._GetAssertFilePath()), test.fAssertFile);
    }
}

TEST(AssertFile, TheFirstEntryReplacesAnOldFileAndABigFileIsSetAside)
{
    StTemporaryFolder folder;
    StMainBundle bundle(folder.MakeApp("Tool", ""));
    const std::string path = folder.GetPath() + "/Tool_asserts.txt";
    folder.WriteFile("Tool_asserts.txt", "left by an earlier run\n");

    VDebugMgr manager;
    manager.WriteToAssertFile(VString("first entry\n"), true, true);
    manager.WriteToAssertFile(VString("second entry\n"), false, false);
    std::string text = Contents(path);
    EXPECT_EQ(text.rfind("Qel log file opened on ", 0), 0u) << text;
    EXPECT_EQ(text.find("earlier run"), std::string::npos);
    // Head of an entry: an empty line, the date line, the frames; then the text.
    EXPECT_NE(text.find("\n\n\n"), std::string::npos);
    EXPECT_NE(text.find("  :: frame 0: "), std::string::npos);
    EXPECT_LT(text.find("first entry\n"), text.find("second entry\n"));

    std::filesystem::resize_file(path, 0xA00000 + 1);
    manager.WriteToAssertFile(VString("third entry\n"), false, false);
    EXPECT_EQ(std::filesystem::file_size(path + "0"), uintmax_t(0xA00000 + 1));
    text = Contents(path);
    EXPECT_EQ(text.rfind("2 nth log opened on ", 0), 0u) << text;
    EXPECT_NE(text.find("third entry\n"), std::string::npos);
}

TEST(AssertFile, ALinkOrAPipeAtItsPathIsNeverWrittenThrough)
{
    StTemporaryFolder folder;
    StMainBundle bundle(folder.MakeApp("Tool", ""));
    const std::string path = folder.GetPath() + "/Tool_asserts.txt";
    const std::string victim = folder.WriteFile("secret", "secret\n");
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    {
        VDebugMgr manager;
        manager.WriteToAssertFile(VString("first entry\n"), false, false);
        manager.WriteToAssertFile(VString("second entry\n"), false, false);
    }
    EXPECT_EQ(Contents(victim), "secret\n");

    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    {
        VDebugMgr manager;
        manager.WriteToAssertFile(VString("first entry\n"), false, false);
        manager.WriteToAssertFile(VString("second entry\n"), false, false);
    }
    char byte = 0;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
}

TEST(AssertFile, ItsTextsKeepTheirLinesAndEscapeTheOtherControlCharacters)
{
    StTemporaryFolder folder;
    StMainBundle bundle(folder.MakeApp("Tool", ""));
    VDebugMgr manager;
    manager.WriteToAssertFile(VString("one\r\x1b[2Jtwo\nthree\n"), false, false);
    const std::string text = Contents(folder.GetPath() + "/Tool_asserts.txt");
    EXPECT_NE(text.find("one\\r\\x1B[2Jtwo\nthree\n"), std::string::npos) << text;
}

TEST(AssertFile, ReceivesTheErrorsWhileItsFlagIsSet)
{
    StTemporaryFolder folder;
    StMainBundle bundle(folder.MakeApp("Tool", ""));
    VDebugMgr manager;
    manager.Init();
    VRefPtr<VErrorBase> error(new VErrorBase(VE_FILE_NOT_FOUND));
    manager.ErrorThrown(error.Get());
    EXPECT_FALSE(std::filesystem::exists(folder.GetPath() + "/Tool_asserts.txt"));
    manager.SetWriteAssertFile(true);
    manager.ErrorThrown(error.Get());
    EXPECT_NE(Contents(folder.GetPath() + "/Tool_asserts.txt").find("Error: Error code: 600 (kova)\n"),
              std::string::npos);
}

} // namespace
} // namespace kova
