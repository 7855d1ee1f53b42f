// The system-information half of XMacSystem: network adapters, volumes and their disks, network
// and processor statistics, and the names of the machine, the user and the system.
#include "platform/mac/tasks/XMacSystem.h"

#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "platform/mac/frameworks/DiskArbitration.h"
#include "platform/mac/frameworks/SysInfo.h"
#include "platform/mac/frameworks/SysMount.h"
#include "platform/mac/frameworks/SystemConfiguration.h"

#include <arpa/inet.h>
#include <cstdio>
#include <map>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace kova
{

namespace
{

// The IPv6 addresses not to report: still checked, failed the check, detached, deprecated or
// private.
constexpr uint32_t kUnusableIPv6Flags = scf::IN6_IFF_TENTATIVE | scf::IN6_IFF_DUPLICATED |
                                        scf::IN6_IFF_DETACHED | scf::IN6_IFF_DEPRECATED |
                                        scf::IN6_IFF_TEMPORARY;

VString TextOf(const std::string& inUTF8, CharSet inCharSet = VTC_UTF_8)
{
    VString text;
    text.FromBlock(inUTF8.data(), inUTF8.size(), inCharSet);
    return text;
}

VJSONValue JSONText(const std::string& inUTF8)
{
    return VJSONValue(TextOf(inUTF8));
}

VJSONValue JSONText(const char* inText)
{
    return VJSONValue(VString(inText));
}

// Bytes as a JSON number of KiB, rounded down.
VJSONValue KiB(unsigned __int128 inBytes)
{
    return VJSONValue(double(uint64_t(inBytes / 1024)));
}

VJSONValue DiskObject(const da::MediaDescription& inMedia)
{
    VJSONValue disk(JSON_object);
    disk.SetProperty("interface", JSONText(inMedia.fProtocol));
    disk.SetProperty("description", JSONText(inMedia.fModel));
    disk.SetProperty("identifier", JSONText(inMedia.fUUID));
    disk.SetProperty("size", KiB(inMedia.fSize));
    return disk;
}

std::mutex sSamplesMutex;
bool sHasNetworkSample = false;
uint64_t sInputTotal = 0;
uint64_t sOutputTotal = 0;
int64_t sNetworkSampleTime = 0;
std::vector<sys::ProcessorTicks> sProcessorTicks;

} // namespace

void XMacSystem::GetNetworkAdaptersInformations(VJSONArray& outAdapters)
{
    std::map<std::string, VJSONValue> addressesByInterface;
    for (const scf::InterfaceAddress& address : scf::CopyInterfaceAddresses())
    {
        if (address.fFamily != AF_INET && address.fFamily != AF_INET6)
            continue;
        const uint32_t wanted = IFF_UP | IFF_MULTICAST;
        if ((address.fFlags & (wanted | IFF_LOOPBACK | IFF_POINTOPOINT)) != wanted ||
            address.fNetmaskFamily != address.fFamily)
            continue;
        if (address.fFamily == AF_INET6)
        {
            std::optional<uint32_t> flags = scf::GetIPv6AddressFlags(address.fName, address.fAddress);
            if (flags.has_value() && (*flags & kUnusableIPv6Flags) != 0)
                continue;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (inet_ntop(address.fFamily, address.fAddress, text, sizeof text) == nullptr)
            continue;
        VJSONValue entry(JSON_object);
        entry.SetProperty("ip", JSONText(text));
        entry.SetProperty("type", JSONText(address.fFamily == AF_INET ? "ipv4" : "ipv6"));
        auto [list, added] = addressesByInterface.try_emplace(address.fName, JSON_array);
        list->second.GetArray()->Push(entry);
    }
    for (const scf::NetworkInterface& interface : scf::NetworkInterfaceCopyAll())
    {
        auto list = addressesByInterface.find(interface.fBSDName);
        if (list == addressesByInterface.end())
            continue;
        const char* type = interface.fType == scf::kInterfaceTypeIEEE80211  ? "wifi"
                           : interface.fType == scf::kInterfaceTypeEthernet ? "ethernet"
                                                                            : nullptr;
        VJSONValue adapter(JSON_object);
        adapter.SetProperty("type", type != nullptr ? JSONText(type) : JSONText(interface.fType));
        adapter.SetProperty("name", JSONText(interface.fDisplayName));
        adapter.SetProperty("ipAddresses", list->second);
        outAdapters.Push(adapter);
    }
}

void XMacSystem::GetDiskPartitionsInfos(VJSONArray& outVolumes)
{
    for (const sys::FileSystemStatus& fileSystem : sys::getfsstat())
    {
        if (fileSystem.fBlocks == 0)
            continue;
        const sys::MountEntry& entry = fileSystem.fEntry;
        da::DiskDescription description;
        if (!da::CopyDescriptionOfMount(entry.fMountPoint, entry.fType, entry.fSource, description))
            continue;
        const unsigned __int128 capacity = (unsigned __int128)fileSystem.fBlocks * fileSystem.fBlockSize;
        VJSONValue volume(JSON_object);
        volume.SetProperty("mountPoint", JSONText(entry.fMountPoint));
        volume.SetProperty("capacity", KiB(capacity));
        volume.SetProperty("available",
                           KiB((unsigned __int128)fileSystem.fAvailableBlocks * fileSystem.fBlockSize));
        volume.SetProperty("filesystem", JSONText(entry.fType));
        if (!description.fVolumeName.empty())
            volume.SetProperty("name", JSONText(description.fVolumeName));
        if (description.fNetwork)
        {
            VJSONValue disk(JSON_object);
            disk.SetProperty("interface", JSONText("network"));
            disk.SetProperty("description", JSONText(""));
            disk.SetProperty("identifier", JSONText(""));
            disk.SetProperty("size", KiB(capacity));
            volume.SetProperty("disk", disk);
        }
        else if (description.fIsSet)
        {
            VJSONValue members(JSON_array);
            for (const da::MediaDescription& member : description.fMembers)
                members.GetArray()->Push(DiskObject(member));
            volume.SetProperty("disk", members);
        }
        else
        {
            volume.SetProperty("disk", DiskObject(description.fMedia));
        }
        outVolumes.Push(volume);
    }
}

bool XMacSystem::GetInOutNetworkStats(std::vector<double>& outRates)
{
    const std::vector<scf::InterfaceCounters> counters = scf::CopyInterfaceCounters();
    if (counters.empty())
        return false;
    const int64_t now = GetWallClockMilliseconds();
    uint64_t input = 0;
    uint64_t output = 0;
    for (const scf::InterfaceCounters& interface : counters)
    {
        if (interface.fLoopback)
            continue;
        input += interface.fInputBytes;
        output += interface.fOutputBytes;
    }
    std::lock_guard<std::mutex> lock(sSamplesMutex);
    bool computed = false;
    if (sHasNetworkSample)
    {
        // A rate needs time to have passed, and totals that did not go down.
        const int64_t elapsed = now - sNetworkSampleTime;
        if (elapsed > 0 && input >= sInputTotal && output >= sOutputTotal)
        {
            outRates.push_back(double(input - sInputTotal) / double(elapsed) * 1000.0);
            outRates.push_back(double(output - sOutputTotal) / double(elapsed) * 1000.0);
            computed = true;
        }
    }
    sHasNetworkSample = true;
    sInputTotal = input;
    sOutputTotal = output;
    sNetworkSampleTime = now;
    return computed;
}

bool XMacSystem::GetProcessorsPercentageUse(double& outLoad)
{
    std::vector<sys::ProcessorTicks> ticks = sys::ReadProcessorTicks();
    if (ticks.empty())
        return false;
    std::lock_guard<std::mutex> lock(sSamplesMutex);
    // Another set of processors is no previous sample.
    const bool comparable = sProcessorTicks.size() == ticks.size();
    uint64_t total = 0;
    uint64_t idle = 0;
    for (size_t i = 0; comparable && i < ticks.size(); ++i)
    {
        auto increase = [](uint64_t now, uint64_t before) { return now > before ? now - before : 0; };
        const sys::ProcessorTicks& before = sProcessorTicks[i];
        const uint64_t idleIncrease = increase(ticks[i].fIdle, before.fIdle);
        total += increase(ticks[i].fUser, before.fUser) + increase(ticks[i].fSystem, before.fSystem) +
                 increase(ticks[i].fNice, before.fNice) + idleIncrease;
        idle += idleIncrease;
    }
    sProcessorTicks = std::move(ticks);
    if (!comparable)
        return false;
    // The ratio is over all processors already: it is not divided by their count again.
    outLoad = double(total - idle) / double(total == 0 ? 1 : total);
    return true;
}

double XMacSystem::GetApplicationProcessorsPercentageUse()
{
    std::optional<std::vector<double>> usages = sys::ReadThreadUsages();
    if (!usages.has_value())
        return -1;
    double sum = 0;
    for (double usage : *usages)
        sum += usage * 100;
    return sum / 100 / double(ReadLogicalProcessorCount());
}

void XMacSystem::ResetStatisticsForTesting()
{
    std::lock_guard<std::mutex> lock(sSamplesMutex);
    sHasNetworkSample = false;
    sInputTotal = 0;
    sOutputTotal = 0;
    sNetworkSampleTime = 0;
    sProcessorTicks.clear();
}

void XMacSystem::GetHostName(VString& outName)
{
    const std::string name = scf::DynamicStoreCopyComputerName();
    if (!name.empty())
        outName = TextOf(name);
}

void XMacSystem::GetLoginUserName(VString& outName)
{
    const std::string name = sys::CopyFullUserName();
    if (!name.empty())
        outName = TextOf(name);
}

void XMacSystem::GetCurrentUserName(VString& outName)
{
    const std::string name = sys::CopyUserName();
    if (!name.empty())
        outName = TextOf(name);
}

VError XMacSystem::GetSystemBuildNumber(VString& outBuild)
{
    std::string text;
    if (int error = sys::SysctlString("kern.osversion", 16, text); error != 0)
        return MakeVError(kCOMPONENT_POSIX, uint32_t(error));
    outBuild = TextOf(text, VTC_US_ASCII);
    return VE_OK;
}

VError XMacSystem::GetComputerManufacturer(VString& outModel)
{
    std::string text;
    if (int error = sys::SysctlString("hw.model", 25, text); error != 0)
        return MakeVError(kCOMPONENT_POSIX, uint32_t(error));
    outModel = TextOf(text, VTC_US_ASCII);
    return VE_OK;
}

void XMacSystem::GetFullOSName(VString& outName)
{
    std::string kernel = "Linux";
    sys::SysctlString("kern.ostype", 256, kernel);
    std::string release;
    sys::SysctlString("kern.osversion", 256, release);
    int version[3] = {0, 0, 0};
    std::sscanf(release.c_str(), "%d.%d.%d", &version[0], &version[1], &version[2]);
    VString name = TextOf(kernel);
    VString releaseText = TextOf(release);
    outName.Printf("%S %d.%d.%d (%S)", &name, version[0], version[1], version[2], &releaseText);
}

} // namespace kova
