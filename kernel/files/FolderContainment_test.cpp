#include "kernel/files/FolderContainment.h"

#include "kernel/files/FileTesting_test.h"
#include "kernel/files/VFilePath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kova
{
namespace
{

TEST(FolderContainmentTest, LinksAreFollowedToWhereTheyLead)
{
    StTemporaryFolder folder;
    ASSERT_TRUE(folder.IsValid());
    namespace fs = std::filesystem;
    fs::create_directories(folder.Posix("base/sub"));
    fs::create_directories(folder.Posix("outside"));
    WriteFileBytes(folder.Posix("base/in.json"), "{}");
    WriteFileBytes(folder.Posix("outside/secret.json"), "{}");
    fs::create_symlink(folder.Posix("outside/secret.json"), folder.Posix("base/out.json"));
    fs::create_symlink("../outside", folder.Posix("base/outdir"));
    fs::create_symlink("in.json", folder.Posix("base/alias.json"));
    fs::create_directory_symlink(folder.Posix("base"), folder.Posix("via"));

    struct Case
    {
        const char* fPath;
        const char* fFolder;
        bool fInside;
    } cases[] = {
        {"base/in.json", "base/", true},
        {"base/alias.json", "base/", true},
        {"base/missing.json", "base/", true},
        {"base/sub/", "base/", true},
        {"base/", "base/", true},
        {"via/in.json", "base/", true},
        {"base/in.json", "via/", true},
        {"outside/secret.json", "base/", false},
        {"base/out.json", "base/", false},
        {"base/outdir/secret.json", "base/", false},
        {"base/outdir/missing.json", "base/", false},
        {"basement.json", "base/", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.fPath) + " in " + c.fFolder);
        EXPECT_EQ(IsInsideFolderOnDisk(folder.Path(c.fPath), folder.Path(c.fFolder)), c.fInside);
    }
    EXPECT_FALSE(IsInsideFolderOnDisk(VFilePath(), folder.Path("base/")));
}

} // namespace
} // namespace kova
