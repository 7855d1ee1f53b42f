// System information from fixture trees that stand for /proc, /sys and /dev.
#include "platform/mac/tasks/XMacSystem.h"

#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/text/StStringConverter.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/frameworks/BundleTesting_test.h"
#include "platform/mac/frameworks/SysInfo.h"
#include "platform/mac/frameworks/SystemConfiguration.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <net/if.h>
#include <pwd.h>
#include <string>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace kova
{
namespace
{

namespace fs = std::filesystem;

// A fixture tree made the system-information root for the scope, with fresh statistics and a wall
// clock the test sets.
class XMacSystemInfo : public testing::Test
{
protected:
    void SetUp() override
    {
        fRoot = fFolder.GetPath() + "/root";
        fs::create_directories(fRoot);
        sys::SetSystemRootForTesting(fRoot.c_str());
        XMacSystem::ResetStatisticsForTesting();
        sNow = 1000000;
        XMacSystem::SetWallClockForTesting([] { return sNow; });
    }
    void TearDown() override
    {
        sys::SetSystemRootForTesting(nullptr);
        scf::SetInterfaceAddressesForTesting(nullptr);
        XMacSystem::SetWallClockForTesting(nullptr);
        XMacSystem::ResetStatisticsForTesting();
    }

    // A file of the tree ("/proc/stat").
    void Write(const std::string& inPath, const std::string& inText)
    {
        fFolder.WriteFile("root" + inPath, inText);
    }
    void Link(const std::string& inPath, const std::string& inTarget)
    {
        fs::create_directories(fs::path(fRoot + inPath).parent_path());
        fs::create_symlink(inTarget, fRoot + inPath);
    }
    // A folder outside the tree, for a mount point that statvfs can read.
    std::string MountPoint(const std::string& inName)
    {
        const std::string path = fFolder.GetPath() + "/mnt/" + inName;
        fs::create_directories(path);
        return path;
    }
    static std::string Stringify(const VJSONArray& inArray)
    {
        VString text;
        VJSONValue(const_cast<VJSONArray*>(&inArray)).Stringify(text, 1);
        return to_string(text);
    }

    static int64_t sNow;
    testing_support::StTemporaryFolder fFolder;
    std::string fRoot;
};

int64_t XMacSystemInfo::sNow = 0;

scf::InterfaceAddress Address(const char* inName, uint32_t inFlags, int inFamily, const char* inText,
                              int inNetmaskFamily = -1)
{
    scf::InterfaceAddress address;
    address.fName = inName;
    address.fFlags = inFlags;
    address.fFamily = inFamily;
    if (inText != nullptr)
        inet_pton(inFamily, inText, address.fAddress);
    address.fNetmaskFamily = inNetmaskFamily == -1 ? inFamily : inNetmaskFamily;
    return address;
}

TEST_F(XMacSystemInfo, AdaptersListTheirUsableAddressesInTheOrderOfTheirIndexes)
{
    const uint32_t up = IFF_UP | IFF_MULTICAST;
    for (auto [name, index, type] :
         {std::tuple{"lo", "1", "772"}, std::tuple{"eth0", "2", "1"}, std::tuple{"wlan0", "3", "1"},
          std::tuple{"tun0", "4", "65534"}, std::tuple{"eth1", "5", "1"}})
    {
        Write(std::string("/sys/class/net/") + name + "/ifindex", std::string(index) + "\n");
        Write(std::string("/sys/class/net/") + name + "/type", std::string(type) + "\n");
    }
    fs::create_directories(fRoot + "/sys/class/net/wlan0/wireless");
    // The flags of IPv6 addresses: permanent (0x80), tentative (0x40), deprecated (0x20), failed
    // duplicate detection (0x08), temporary (0x01).
    Write("/proc/net/if_inet6", "fe800000000000000000000000000001 02 40 20 80 eth0\n"
                                "20010db8000000000000000000000001 02 40 00 40 eth0\n"
                                "20010db8000000000000000000000002 02 40 00 20 eth0\n"
                                "20010db8000000000000000000000003 02 40 00 08 eth0\n"
                                "20010db8000000000000000000000004 02 40 00 01 eth0\n");
    const std::vector<scf::InterfaceAddress> addresses = {
        Address("lo", up | IFF_LOOPBACK, AF_INET, "127.0.0.1"),
        Address("eth0", up, AF_INET, "10.0.0.2"),
        Address("eth0", up, AF_INET6, "fe80::1"),
        Address("eth0", up, AF_INET6, "2001:db8::1"),
        Address("eth0", up, AF_INET6, "2001:db8::2"),
        Address("eth0", up, AF_INET6, "2001:db8::3"),
        Address("eth0", up, AF_INET6, "2001:db8::4"),
        Address("eth0", up, AF_INET6, "2001:db8::5"), // not listed: its flags are unknown
        Address("eth0", up, AF_PACKET, nullptr),
        Address("eth0", up, AF_INET, "10.0.0.3", AF_INET6), // a netmask of another family
        Address("eth0", up, AF_INET, "10.0.0.4", 0),        // no netmask
        Address("wlan0", up, AF_INET, "192.168.1.5"),
        Address("tun0", up | IFF_POINTOPOINT, AF_INET, "10.8.0.1"),
        Address("eth1", IFF_MULTICAST, AF_INET, "10.1.0.1"),
        Address("docker0", up, AF_INET, "172.17.0.1"), // no interface of the system
    };
    scf::SetInterfaceAddressesForTesting(&addresses);
    VRefPtr<VJSONArray> adapters(new VJSONArray);
    VSystem::GetNetworkAdaptersInformations(*adapters);
    EXPECT_EQ(Stringify(*adapters),
              R"([{"type":"ethernet","name":"eth0","ipAddresses":[{"ip":"10.0.0.2","type":"ipv4"},)"
              R"({"ip":"fe80::1","type":"ipv6"},{"ip":"2001:db8::5","type":"ipv6"}]},)"
              R"({"type":"wifi","name":"wlan0","ipAddresses":[{"ip":"192.168.1.5","type":"ipv4"}]}])");

    // A machine with only a loopback interface.
    const std::vector<scf::InterfaceAddress> loopback = {
        Address("lo", up | IFF_LOOPBACK, AF_INET, "127.0.0.1")};
    scf::SetInterfaceAddressesForTesting(&loopback);
    VRefPtr<VJSONArray> none(new VJSONArray);
    VSystem::GetNetworkAdaptersInformations(*none);
    EXPECT_EQ(none->GetCount(), 0u);
}

TEST_F(XMacSystemInfo, VolumesOnBlockDevicesAndTheNetworkWithTheirDisks)
{
    const std::string root = MountPoint("root");
    const std::string data = MountPoint("data");
    const std::string lvm = MountPoint("lvm");
    const std::string share = MountPoint("share");
    const std::string run = MountPoint("run");
    Write("/proc/self/mountinfo",
          "21 1 8:1 / " + root + " rw - ext4 /dev/sda1 rw\n" +    //
              "22 21 9:0 / " + data + " rw - xfs /dev/md0 rw\n" + //
              "23 21 253:0 / " + lvm + " rw shared:1 - ext4 /dev/mapper/vg-root rw\n" + "24 21 0:50 / " +
              share + " rw - nfs4 server:/export rw\n" +         //
              "25 21 0:22 / " + run + " rw - tmpfs tmpfs rw\n" + //
              "26 21 0:5 / /proc rw - proc proc rw\n" +          //
              "27 21 8:2 / " + fFolder.GetPath() + "/gone rw - ext4 /dev/sda2 rw\n");
    // sda1, a partition of a disk on an ATA port; md0, a RAID set of an NVMe disk and a USB disk;
    // dm-0, a mapped device on a virtio partition.
    Link("/sys/class/block/sda1", "../../devices/pci0000:00/ata1/host0/block/sda/sda1");
    Link("/sys/class/block/sda", "../../devices/pci0000:00/ata1/host0/block/sda");
    Write("/sys/devices/pci0000:00/ata1/host0/block/sda/sda1/partition", "1\n");
    Write("/sys/devices/pci0000:00/ata1/host0/block/sda/sda1/size", "2048\n");
    Write("/sys/devices/pci0000:00/ata1/host0/block/sda/device/model", "QEMU HARDDISK   \n");
    Write("/dev/sda1", "");
    Link("/dev/disk/by-partuuid/1b2c3d4e-01", "../../sda1");
    Link("/dev/disk/by-uuid/0f0e-aaaa", "../../sda1");
    Write("/sys/class/block/md0/size", "8192\n");
    Write("/sys/class/block/md0/slaves/nvme0n1", "");
    Write("/sys/class/block/md0/slaves/sdb", "");
    Write("/sys/class/block/nvme0n1/size", "4096\n");
    Write("/sys/class/block/nvme0n1/device/model", "Fast Disk\n");
    Link("/sys/class/block/sdb", "../../devices/pci0000:00/usb1/1-1/block/sdb");
    Write("/sys/devices/pci0000:00/usb1/1-1/block/sdb/size", "4096\n");
    Write("/dev/md0", "");
    Link("/dev/mapper/vg-root", "../dm-0");
    Write("/dev/dm-0", "");
    Write("/sys/class/block/dm-0/size", "100\n");
    Write("/sys/class/block/dm-0/slaves/vda2", "");
    Link("/sys/class/block/vda2", "../../devices/virtio1/block/vda/vda2");
    Write("/sys/devices/virtio1/block/vda/vda2/partition", "2\n");
    Write("/sys/devices/virtio1/block/vda/vda2/size", "100\n");
    Link("/dev/disk/by-partuuid/5555-02", "../../vda2");
    Write("/dev/vda2", "");

    struct statvfs figures = {};
    ASSERT_EQ(statvfs(root.c_str(), &figures), 0);
    auto kib = [&](uint64_t inBlocks)
    { return std::to_string(uint64_t(inBlocks * figures.f_frsize / 1024)); };
    const std::string sizes =
        R"("capacity":)" + kib(figures.f_blocks) + R"(,"available":)" + kib(figures.f_bavail) + ",";
    VRefPtr<VJSONArray> volumes(new VJSONArray);
    VSystem::GetDiskPartitionsInfos(*volumes);
    // The free space may move between the two readings: compare the rest.
    std::string text = Stringify(*volumes);
    EXPECT_EQ(volumes->GetCount(), 4u) << text;
    EXPECT_NE(text.find(R"({"mountPoint":")" + root + R"(",)" + sizes.substr(0, sizes.find("available"))),
              std::string::npos)
        << text;
    const std::vector<std::string> disks = {
        R"("filesystem":"ext4","name":"root","disk":{"interface":"SATA","description":"QEMU HARDDISK",)"
        R"("identifier":"1b2c3d4e-01","size":1024}})",
        R"("filesystem":"xfs","name":"data","disk":[{"interface":"NVMe","description":"Fast Disk",)"
        R"("identifier":"","size":2048},{"interface":"USB","description":"","identifier":"","size":2048}]})",
        R"("filesystem":"ext4","name":"lvm","disk":[{"interface":"Virtio","description":"",)"
        R"("identifier":"5555-02","size":50}]})",
        R"("filesystem":"nfs4","name":"share","disk":{"interface":"network","description":"",)"
        R"("identifier":"","size":)" +
            kib(figures.f_blocks) + "}}"};
    for (const std::string& expected : disks)
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find("tmpfs"), std::string::npos);
    EXPECT_EQ(text.find("gone"), std::string::npos);
}

TEST_F(XMacSystemInfo, NetworkRatesNeedASampleBeforeAndTimeBetween)
{
    auto counters = [&](uint64_t inEthIn, uint64_t inEthOut, uint64_t inLoIn)
    {
        Write("/proc/net/dev",
              "Inter-|   Receive                                                |  Transmit\n"
              " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets\n"
              "    lo: " +
                  std::to_string(inLoIn) + " 10 0 0 0 0 0 0 " + std::to_string(inLoIn) +
                  " 10 0 0 0 0 0 0\n"
                  "  eth0: " +
                  std::to_string(inEthIn) + " 5 0 0 0 0 0 0 " + std::to_string(inEthOut) +
                  " 5 0 0 0 0 0 0\n");
    };
    Write("/sys/class/net/lo/flags", "0x9\n");
    Write("/sys/class/net/eth0/flags", "0x1003\n");
    counters(1000, 500, 7);
    std::vector<double> rates = {1, 2, 3};
    EXPECT_FALSE(VSystem::GetInOutNetworkStats(rates));
    EXPECT_TRUE(rates.empty());

    counters(5000, 2500, 90000);
    sNow += 2000;
    ASSERT_TRUE(VSystem::GetInOutNetworkStats(rates));
    EXPECT_EQ(rates, (std::vector<double>{2000, 1000})); // the loopback is not counted

    // No time passed: no rate, and no division by zero.
    EXPECT_FALSE(VSystem::GetInOutNetworkStats(rates));
    EXPECT_TRUE(rates.empty());
    // A total that went down.
    counters(100, 2600, 0);
    sNow += 1000;
    EXPECT_FALSE(VSystem::GetInOutNetworkStats(rates));
    counters(600, 2700, 0);
    sNow += 500;
    ASSERT_TRUE(VSystem::GetInOutNetworkStats(rates));
    EXPECT_EQ(rates, (std::vector<double>{1000, 200}));
}

TEST_F(XMacSystemInfo, ProcessorLoadIsTheShareOfAllProcessorsBusy)
{
    Write("/proc/stat", "cpu  300 0 100 600 0 0 0 0 0 0\n"
                        "cpu0 100 0 50 300 0 0 0 0 0 0\n"
                        "cpu1 200 0 50 300 0 0 0 0 0 0\n"
                        "intr 12345\n");
    double load = 5;
    EXPECT_FALSE(VSystem::GetProcessorsPercentageUse(load));
    EXPECT_EQ(load, 0);
    // cpu0: 100 user and 100 idle ticks more; cpu1: 200 idle. Busy: 100 of 400.
    Write("/proc/stat", "cpu0 200 0 50 400 0 0 0 0 0 0\n"
                        "cpu1 200 0 50 500 0 0 0 0 0 0\n");
    ASSERT_TRUE(VSystem::GetProcessorsPercentageUse(load));
    EXPECT_DOUBLE_EQ(load, 0.25);
    // Waiting for input and output is idle, interrupts and stolen time are busy.
    Write("/proc/stat", "cpu0 200 0 50 400 100 50 25 25 0 0\n"
                        "cpu1 200 0 50 500 0 0 0 0 0 0\n");
    ASSERT_TRUE(VSystem::GetProcessorsPercentageUse(load));
    EXPECT_DOUBLE_EQ(load, 0.5);
    // No tick since: 0.
    ASSERT_TRUE(VSystem::GetProcessorsPercentageUse(load));
    EXPECT_EQ(load, 0);
    // Another set of processors starts over.
    Write("/proc/stat", "cpu0 200 0 50 400 100 50 25 25 0 0\n");
    EXPECT_FALSE(VSystem::GetProcessorsPercentageUse(load));
}

TEST_F(XMacSystemInfo, ProcessLoadCountsEachThreadOnce)
{
    EXPECT_EQ(VSystem::GetApplicationProcessorsPercentageUse(), -1); // nothing to read
    const long hertz = sysconf(_SC_CLK_TCK);
    ASSERT_GT(hertz, 0);
    auto stat = [&](const char* inName, long inRunTicks, long inStartTicks)
    {
        // pid (comm) state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime
        // stime cutime cstime priority nice threads itrealvalue starttime ...
        return std::string("77 (") + inName + ") S 1 77 77 0 -1 0 0 0 0 0 " + std::to_string(inRunTicks / 2) +
               " " + std::to_string(inRunTicks - inRunTicks / 2) + " 0 0 20 0 2 0 " +
               std::to_string(inStartTicks) + " 0 0\n";
    };
    // Uptime 20 s: one thread ran 5 s of the 10 s it lived, one 2 s of 8 s, one just started.
    Write("/proc/uptime", "20.00 35.00\n");
    Write("/proc/self/task/77/stat", stat("main (x) y", 5 * hertz, 10 * hertz));
    Write("/proc/self/task/78/stat", stat("worker", 2 * hertz, 12 * hertz));
    Write("/proc/self/task/79/stat", stat("new", 0, 20 * hertz));
    Write("/proc/self/task/80/stat", "garbage\n");
    EXPECT_DOUBLE_EQ(VSystem::GetApplicationProcessorsPercentageUse(),
                     0.75 / double(VSystem::GetNumberOfLogicalProcessors()));

    sys::SetSystemRootForTesting(nullptr);
    const double own = VSystem::GetApplicationProcessorsPercentageUse();
    EXPECT_GE(own, 0);
    EXPECT_LE(own, 1);
}

TEST_F(XMacSystemInfo, NamesOfTheMachineTheSystemAndTheUser)
{
    Write("/proc/sys/kernel/hostname", "build-host\n");
    Write("/proc/sys/kernel/ostype", "Linux\n");
    Write("/proc/sys/kernel/osrelease", "6.1.0-27-amd64\n");
    Write("/sys/class/dmi/id/product_name", "KVM Virtual Machine\n");
    VString text("unchanged");
    VSystem::GetHostName(text);
    EXPECT_EQ(to_string(text), "build-host");
    ASSERT_EQ(VSystem::GetSystemBuildNumber(text), VE_OK);
    EXPECT_EQ(to_string(text), "6.1.0-27-amd64");
    VSystem::GetFullOSName(text);
    EXPECT_EQ(to_string(text), "Linux 6.1.0 (6.1.0-27-amd64)");
    ASSERT_EQ(VSystem::GetComputerManufacturer(text), VE_OK);
    EXPECT_EQ(to_string(text), "KVM Virtual Machine");

    // Too long for the system's buffers: an error, the text unchanged.
    Write("/proc/sys/kernel/osrelease", "5.15.0-105-generic\n");
    Write("/sys/class/dmi/id/product_name", "Standard PC (Q35 + ICH9, 2009)\n");
    text = VString("unchanged");
    EXPECT_EQ(VSystem::GetSystemBuildNumber(text), MakeVError(kCOMPONENT_POSIX, ENOMEM));
    EXPECT_EQ(VSystem::GetComputerManufacturer(text), MakeVError(kCOMPONENT_POSIX, ENOMEM));
    EXPECT_EQ(to_string(text), "unchanged");
    VSystem::GetFullOSName(text);
    EXPECT_EQ(to_string(text), "Linux 5.15.0 (5.15.0-105-generic)");
    fs::remove(fRoot + "/sys/class/dmi/id/product_name");
    EXPECT_EQ(VSystem::GetComputerManufacturer(text), MakeVError(kCOMPONENT_POSIX, ENOENT));

    passwd* account = getpwuid(geteuid());
    ASSERT_NE(account, nullptr);
    VSystem::GetCurrentUserName(text);
    EXPECT_EQ(to_string(text), account->pw_name);
    VSystem::GetLoginUserName(text);
    EXPECT_FALSE(text.IsEmpty());
    EXPECT_FALSE(XMacSystem::IsUnderRosettaTranslation());
}

TEST_F(XMacSystemInfo, TheMachineItselfAnswersToo)
{
    sys::SetSystemRootForTesting(nullptr);
    VRefPtr<VJSONArray> adapters(new VJSONArray);
    VSystem::GetNetworkAdaptersInformations(*adapters);
    EXPECT_EQ(Stringify(*adapters).find("127.0.0.1"), std::string::npos);
    VRefPtr<VJSONArray> volumes(new VJSONArray);
    VSystem::GetDiskPartitionsInfos(*volumes);
    for (size_t i = 0; i < volumes->GetCount(); ++i)
        EXPECT_TRUE(volumes->GetAt(i).GetProperty("disk").IsObject() ||
                    volumes->GetAt(i).GetProperty("disk").IsArray());
    std::vector<double> rates;
    EXPECT_FALSE(VSystem::GetInOutNetworkStats(rates));
    double load = 0;
    EXPECT_FALSE(VSystem::GetProcessorsPercentageUse(load));
    VString text;
    EXPECT_EQ(VSystem::GetSystemBuildNumber(text) == VE_OK, !text.IsEmpty());
    VSystem::GetFullOSName(text);
    EXPECT_EQ(to_string(text).rfind("Linux ", 0), 0u) << to_string(text);
}

} // namespace
} // namespace kova
