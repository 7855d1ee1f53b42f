#include "platform/mac/frameworks/SysMount.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace kova::sys
{
namespace
{

// A table written to a private file and read back.
std::vector<MountEntry> ReadTable(const std::string& inText)
{
    char path[] = "/tmp/kova-mountinfo-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, inText.data(), inText.size()), ssize_t(inText.size()));
    close(fd);
    std::vector<MountEntry> entries = ReadMountTableFile(path);
    unlink(path);
    return entries;
}

TEST(SysMountTest, TableLinesGiveMountPointTypeAndSource)
{
    const std::vector<MountEntry> entries = ReadTable(
        // Optional fields before the dash, a mount point and a source with escaped blanks.
        "22 1 8:1 / / rw,relatime shared:1 master:2 - ext4 /dev/sda1 rw\n"
        "23 22 0:5 / /mnt/My\\040Disk/ rw - vfat /dev/my\\011disk rw\n"
        // Runs of blanks and tabs between fields, a carriage return, no source, no line end last.
        "24  22\t0:6 / /run rw shared:3 - tmpfs\r\n"
        // Not of the table's shape: too few fields, no dash, a relative mount point.
        "25 22 0:7 / /short - x\n"
        "26 22 0:8 / /nodash rw a b c d e\n"
        "27 22 0:9 / relative rw - ext4 /dev/x rw\n"
        "\n"
        "28 22 0:10 / /last rw - proc proc rw");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].fMountPoint, "/");
    EXPECT_EQ(entries[0].fType, "ext4");
    EXPECT_EQ(entries[0].fSource, "/dev/sda1");
    EXPECT_EQ(entries[1].fMountPoint, "/mnt/My Disk");
    EXPECT_EQ(entries[1].fSource, "/dev/my\tdisk");
    EXPECT_EQ(entries[2].fMountPoint, "/run");
    EXPECT_EQ(entries[2].fType, "tmpfs");
    EXPECT_EQ(entries[2].fSource, "");
    EXPECT_EQ(entries[3].fMountPoint, "/last");
    EXPECT_EQ(entries[3].fType, "proc");
}

TEST(SysMountTest, AMissingTableIsEmpty)
{
    EXPECT_TRUE(ReadMountTableFile("/nonexistent/mountinfo").empty());
}

} // namespace
} // namespace kova::sys
