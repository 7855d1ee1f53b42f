#include "platform/mac/frameworks/NSWorkspace.h"

#include "kernel/files/FileTesting_test.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace kova
{
namespace
{

// A viewer of the test's own on PATH that writes what it was asked to show into a file.
class NSWorkspaceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fFolder.IsValid());
        ASSERT_EQ(mkdir(fFolder.Posix("bin").c_str(), 0755), 0);
        WriteFileBytes(fFolder.Posix("bin/xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > \"" + Shown() +
                                                          ".part\" && mv \"" + Shown() + ".part\" \"" +
                                                          Shown() + "\"\n");
        ASSERT_EQ(chmod(fFolder.Posix("bin/xdg-open").c_str(), 0755), 0);
        fPath = fFolder.Posix("bin") + ":" +
                (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin");
    }

    std::string Shown() const { return fFolder.Posix("shown"); }

    // What the viewer showed, waiting for it at most as long as a hung test would.
    std::string WaitForShown() const
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!PathExists(Shown()) && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ReadFileBytes(Shown());
    }

    StTemporaryFolder fFolder;
    std::string fPath;
};

TEST_F(NSWorkspaceTest, ShowsTheItemsFolderOnlyWithADesktop)
{
    WriteFileBytes(fFolder.Posix("item.txt"), "x");
    {
        StEnvironment environment(
            {{"PATH", fPath.c_str()}, {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}});
        ns::ActivateFileViewerSelecting(fFolder.Posix("item.txt"));
    }
    {
        StEnvironment environment({{"PATH", fPath.c_str()}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", nullptr}});
        ns::ActivateFileViewerSelecting(fFolder.Posix("item.txt"));
    }
    // The one call with a desktop showed the folder; the one without showed nothing before it.
    EXPECT_EQ(WaitForShown(), fFolder.Posix());
}

} // namespace
} // namespace kova
