#include "platform/mac/frameworks/SystemConfiguration.h"

#include "platform/mac/frameworks/SysInfo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ifaddrs.h>
#include <limits.h>
#include <linux/if_addr.h>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::scf
{

namespace
{

std::mutex sTestingMutex;
bool sTesting = false;
std::vector<InterfaceAddress> sTestingAddresses;

bool Exists(const std::string& inPath)
{
    struct stat status = {};
    return ::stat(inPath.c_str(), &status) == 0;
}

// A number read from the first line of a file under the root.
bool ReadNumber(const std::string& inPath, long long& outValue, int inBase = 10)
{
    std::optional<std::string> line = sys::ReadFirstLine(inPath, 64);
    if (!line.has_value() || line->empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(line->c_str(), &end, inBase);
    if (errno != 0 || end == line->c_str())
        return false;
    outValue = value;
    return true;
}

// The name of a hardware type of /sys/class/net/NAME/type (the ARPHRD numbers).
std::string TypeName(long long inHardwareType)
{
    switch (inHardwareType)
    {
    case 1:
        return kInterfaceTypeEthernet;
    case 512:
        return "PPP";
    case 772:
        return "Loopback";
    case 768:
    case 769:
    case 776:
    case 778:
    case 823:
        return "Tunnel";
    case 801:
    case 802:
    case 803:
        return kInterfaceTypeIEEE80211;
    default:
        return std::to_string(inHardwareType);
    }
}

// An IPv6 address of /proc/net/if_inet6: 32 hexadecimal digits.
bool ParseHexAddress(const std::string& inText, uint8_t outAddress[16])
{
    if (inText.size() != 32)
        return false;
    for (size_t i = 0; i < 16; ++i)
    {
        char pair[3] = {inText[2 * i], inText[2 * i + 1], 0};
        char* end = nullptr;
        unsigned long value = std::strtoul(pair, &end, 16);
        if (end != pair + 2)
            return false;
        outAddress[i] = uint8_t(value);
    }
    return true;
}

} // namespace

std::vector<NetworkInterface> NetworkInterfaceCopyAll()
{
    std::vector<std::pair<long long, NetworkInterface>> found;
    const std::string classFolder = sys::SystemPath("/sys/class/net");
    DIR* folder = opendir(classFolder.c_str());
    if (folder == nullptr)
        return {};
    while (const dirent* entry = readdir(folder))
    {
        std::string name(entry->d_name);
        if (name.empty() || name[0] == '.' || name.size() >= IF_NAMESIZE)
            continue;
        const std::string base = "/sys/class/net/" + name;
        long long index = LLONG_MAX;
        ReadNumber(base + "/ifindex", index);
        long long hardwareType = -1;
        NetworkInterface interface;
        interface.fBSDName = name;
        interface.fDisplayName = name;
        if (Exists(sys::SystemPath(base + "/wireless")) || Exists(sys::SystemPath(base + "/phy80211")))
            interface.fType = kInterfaceTypeIEEE80211;
        else if (ReadNumber(base + "/type", hardwareType))
            interface.fType = TypeName(hardwareType);
        found.emplace_back(index, std::move(interface));
    }
    closedir(folder);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b)
              { return a.first != b.first ? a.first < b.first : a.second.fBSDName < b.second.fBSDName; });
    std::vector<NetworkInterface> interfaces;
    for (auto& [index, interface] : found)
        interfaces.push_back(std::move(interface));
    return interfaces;
}

std::vector<InterfaceAddress> CopyInterfaceAddresses()
{
    {
        std::lock_guard<std::mutex> lock(sTestingMutex);
        if (sTesting)
            return sTestingAddresses;
    }
    std::vector<InterfaceAddress> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next)
    {
        if (item->ifa_name == nullptr || item->ifa_addr == nullptr)
            continue;
        InterfaceAddress address;
        address.fName = item->ifa_name;
        address.fFlags = item->ifa_flags;
        address.fFamily = item->ifa_addr->sa_family;
        if (address.fFamily == AF_INET)
            std::memcpy(address.fAddress, &reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr, 4);
        else if (address.fFamily == AF_INET6)
            std::memcpy(address.fAddress, &reinterpret_cast<const sockaddr_in6*>(item->ifa_addr)->sin6_addr,
                        16);
        address.fNetmaskFamily = item->ifa_netmask != nullptr ? item->ifa_netmask->sa_family : 0;
        addresses.push_back(std::move(address));
    }
    freeifaddrs(list);
    return addresses;
}

void SetInterfaceAddressesForTesting(const std::vector<InterfaceAddress>* inAddresses)
{
    std::lock_guard<std::mutex> lock(sTestingMutex);
    sTesting = inAddresses != nullptr;
    sTestingAddresses = inAddresses != nullptr ? *inAddresses : std::vector<InterfaceAddress>();
}

std::optional<uint32_t> GetIPv6AddressFlags(const std::string& inInterface, const uint8_t inAddress[16])
{
    // "address index prefix-length scope flags name", one address a line.
    std::ifstream table(sys::SystemPath("/proc/net/if_inet6"));
    std::string line;
    while (std::getline(table, line))
    {
        std::istringstream words(line);
        std::string address, index, prefix, scope, flags, name;
        if (!(words >> address >> index >> prefix >> scope >> flags >> name) || name != inInterface)
            continue;
        uint8_t bytes[16] = {};
        if (!ParseHexAddress(address, bytes) || std::memcmp(bytes, inAddress, 16) != 0)
            continue;
        char* end = nullptr;
        unsigned long value = std::strtoul(flags.c_str(), &end, 16);
        if (end == flags.c_str() || *end != 0)
            return std::nullopt;
        uint32_t result = 0;
        for (auto [kernelFlag, flag] :
             {std::pair<unsigned long, uint32_t>{IFA_F_TENTATIVE, IN6_IFF_TENTATIVE},
              {IFA_F_DADFAILED, IN6_IFF_DUPLICATED},
              {IFA_F_DEPRECATED, IN6_IFF_DEPRECATED},
              {IFA_F_TEMPORARY, IN6_IFF_TEMPORARY}})
        {
            if ((value & kernelFlag) != 0)
                result |= flag;
        }
        return result;
    }
    return std::nullopt;
}

std::vector<InterfaceCounters> CopyInterfaceCounters()
{
    // Two header lines, then "name: rx_bytes packets errs drop fifo frame compressed multicast
    // tx_bytes ...".
    std::vector<InterfaceCounters> counters;
    std::ifstream table(sys::SystemPath("/proc/net/dev"));
    std::string line;
    while (std::getline(table, line))
    {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        InterfaceCounters entry;
        entry.fName = line.substr(0, colon);
        entry.fName.erase(0, entry.fName.find_first_not_of(' '));
        std::istringstream words(line.substr(colon + 1));
        uint64_t fields[9] = {};
        size_t count = 0;
        while (count < 9 && words >> fields[count])
            ++count;
        if (count < 9 || entry.fName.empty())
            continue;
        entry.fInputBytes = fields[0];
        entry.fOutputBytes = fields[8];
        long long flags = 0;
        entry.fLoopback = ReadNumber("/sys/class/net/" + entry.fName + "/flags", flags, 16)
                              ? (flags & IFF_LOOPBACK) != 0
                              : entry.fName == "lo";
        counters.push_back(std::move(entry));
    }
    return counters;
}

std::string DynamicStoreCopyComputerName()
{
    std::optional<std::string> name = sys::ReadFirstLine("/proc/sys/kernel/hostname", HOST_NAME_MAX + 1);
    if (name.has_value() && !name->empty())
        return *name;
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return std::string();
    return buffer;
}

} // namespace kova::scf
