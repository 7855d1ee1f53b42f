#include "platform/mac/files/XMacVolumes.h"

#include "kernel/text/IntlTesting_test.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/SysMount.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace kova
{
namespace
{

// The volumes and clock the cache sees, set by each test.
std::vector<XMacVolumes::Volume> sVolumes;
int sListings = 0;
uint32_t sNow = 0;

std::vector<XMacVolumes::Volume> ListVolumes()
{
    ++sListings;
    return sVolumes;
}

uint32_t Now()
{
    return sNow;
}

class XMacVolumesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        sVolumes = {{"/", "Root", true}, {"/Volumes/X", "X", true}};
        sListings = 0;
        sNow = 1000;
    }

    std::string NameOf(XMacVolumes& ioVolumes, const char* inMountPath)
    {
        char name[64];
        return ioVolumes.GetVolumeNameFromMountPath(inMountPath, name, sizeof(name)) ? std::string(name)
                                                                                     : "?";
    }

    std::u16string MountPathOf(XMacVolumes& ioVolumes, const char16_t* inName)
    {
        VString path;
        return ioVolumes.GetMountPathFromVolumeName(VString(inName), path) ? Text(path) : u"?";
    }
};

TEST_F(XMacVolumesTest, ReloadsAtMostEveryTwoSeconds)
{
    // The first look-up loads even when the clock reads less than the reload interval.
    XMacVolumes volumes(&ListVolumes, &Now, nullptr);
    EXPECT_EQ(NameOf(volumes, "/Volumes/X"), "X");
    EXPECT_EQ(sListings, 1);
    sNow += 500;
    EXPECT_EQ(MountPathOf(volumes, u"X"), u"/Volumes/X");
    EXPECT_EQ(sListings, 1);

    // A volume mounted meanwhile is seen with the next reload only.
    sVolumes.push_back({"/Volumes/Y", "Y", true});
    sNow += 1000;
    EXPECT_EQ(MountPathOf(volumes, u"Y"), u"?");
    sNow += 2500;
    EXPECT_EQ(MountPathOf(volumes, u"Y"), u"/Volumes/Y");
    EXPECT_EQ(sListings, 2);

    // The millisecond clock wraps around: the difference still counts.
    sNow = 0xFFFFFF00u;
    NameOf(volumes, "/");
    EXPECT_EQ(sListings, 3);
    sNow = 0x100u;
    NameOf(volumes, "/");
    EXPECT_EQ(sListings, 3);
}

TEST_F(XMacVolumesTest, EveryVolumeLeadsBackToItself)
{
    sVolumes = {{"/", "Root", true},
                {"/a/data", "data", true},
                {"/b/data", "data", true},
                {"/mnt/a:b", "a:b", true},
                {"/mnt/anon", "", false}};
    XMacVolumes volumes(&ListVolumes, &Now, nullptr);
    // Two volumes of one name: the name maps to the first, and the second is no volume of that
    // name, so that a colon path made on it cannot lead to the first.
    EXPECT_EQ(MountPathOf(volumes, u"data"), u"/a/data");
    EXPECT_EQ(NameOf(volumes, "/a/data"), "data");
    EXPECT_EQ(NameOf(volumes, "/b/data"), "?");
    // A name the colon syntax cannot hold, and a volume without name, are left out.
    EXPECT_EQ(NameOf(volumes, "/mnt/a:b"), "?");
    EXPECT_EQ(NameOf(volumes, "/mnt/anon"), "?");
    // Names and mount paths compare exactly.
    EXPECT_EQ(MountPathOf(volumes, u"Data"), u"?");
    EXPECT_EQ(NameOf(volumes, "/a/data/"), "?");
    EXPECT_EQ(MountPathOf(volumes, u"Unknown"), u"?");
}

TEST_F(XMacVolumesTest, ANameThatDoesNotFitIsNotCut)
{
    sVolumes = {{"/Volumes/Long", "Long", true}};
    XMacVolumes volumes(&ListVolumes, &Now, nullptr);
    char name[5];
    EXPECT_TRUE(volumes.GetVolumeNameFromMountPath("/Volumes/Long", name, sizeof(name)));
    EXPECT_STREQ(name, "Long");
    std::memset(name, 'z', sizeof(name));
    EXPECT_FALSE(volumes.GetVolumeNameFromMountPath("/Volumes/Long", name, 4));
    EXPECT_FALSE(volumes.GetVolumeNameFromMountPath("/Volumes/Long", name, 0));
    EXPECT_FALSE(volumes.GetVolumeNameFromMountPath(nullptr, name, sizeof(name)));
}

TEST_F(XMacVolumesTest, ATranslocatedBundleAnswersForItsVolume)
{
    char pattern[] = "/tmp/kova-transloc-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path root(pattern);
    std::filesystem::create_directories(root / "d" / "App.app");
    const std::string mount = (root / "d").string();
    std::ofstream(root / "mountinfo") << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                      << "2 1 0:50 / " << mount << " ro - nullfs " << mount << " ro\n";
    sys::SetMountTablePathForTesting((root / "mountinfo").c_str());
    sVolumes = {{"/", "Root", true}, {mount, "d", true}};

    XMacVolumes volumes(&ListVolumes, &Now, (root / "d" / "App.app").c_str());
    VString path;
    // The volume path stands for the name the translocation answers for.
    const VString asName(mount.c_str());
    EXPECT_TRUE(volumes._GetTranslocationMountPathForVolume(asName, path));
    EXPECT_EQ(Text(path), Text(asName));
    EXPECT_FALSE(volumes._GetTranslocationMountPathForVolume(VString("d"), path));

    // Not translocated: a name that matches no volume is not found.
    sys::SetMountTablePathForTesting(nullptr);
    XMacVolumes plain(&ListVolumes, &Now, (root / "d" / "App.app").c_str());
    EXPECT_FALSE(plain.GetMountPathFromVolumeName(asName, path));
    std::filesystem::remove_all(root);
}

} // namespace
} // namespace kova
