// Our stand-in for what SystemConfiguration and the routing sysctls tell of the network: the
// interfaces with their kinds and names, their addresses (getifaddrs) with the flags of IPv6
// addresses (the SIOCGIFAFLAG_IN6 request), the byte counters of each interface (the NET_RT_IFLIST
// records), and the computer's name. Written over getifaddrs, /sys/class/net, /proc/net and
// gethostname; files are read under the system-information root (SysInfo.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kova::scf
{

// The interface types the system names; any other is told by its hardware type number.
inline constexpr const char* kInterfaceTypeIEEE80211 = "IEEE80211";
inline constexpr const char* kInterfaceTypeEthernet = "Ethernet";

// One network interface, as SCNetworkInterfaceCopyAll lists them (in the order of their indexes).
struct NetworkInterface
{
    std::string fBSDName;     // "eth0"
    std::string fType;        // kInterfaceTypeEthernet, kInterfaceTypeIEEE80211, or another
    std::string fDisplayName; // the name a person is shown: here the interface's own name
};
std::vector<NetworkInterface> NetworkInterfaceCopyAll();

// One entry of getifaddrs.
struct InterfaceAddress
{
    std::string fName;
    uint32_t fFlags = 0;       // IFF_UP, IFF_LOOPBACK, ...
    int fFamily = 0;           // AF_INET, AF_INET6, or another
    uint8_t fAddress[16] = {}; // 4 bytes for AF_INET, 16 for AF_INET6
    int fNetmaskFamily = 0;    // the family of its netmask, 0 without one
};
// The entries in the system's order; empty when they cannot be read.
std::vector<InterfaceAddress> CopyInterfaceAddresses();
// For tests: the entries CopyInterfaceAddresses gives instead of the system's; null goes back.
void SetInterfaceAddressesForTesting(const std::vector<InterfaceAddress>* inAddresses);

// The flags of an IPv6 address (SIOCGIFAFLAG_IN6), those the system has of them.
inline constexpr uint32_t IN6_IFF_TENTATIVE = 0x02;  // duplicate detection under way
inline constexpr uint32_t IN6_IFF_DUPLICATED = 0x04; // duplicate detection failed
inline constexpr uint32_t IN6_IFF_DETACHED = 0x08;   // never set here
inline constexpr uint32_t IN6_IFF_DEPRECATED = 0x10;
inline constexpr uint32_t IN6_IFF_TEMPORARY = 0x80; // a privacy address
// The flags of an interface's address; nothing when the system does not list it.
std::optional<uint32_t> GetIPv6AddressFlags(const std::string& inInterface, const uint8_t inAddress[16]);

// Bytes received and sent by one interface since it came up, and whether it is the loopback.
struct InterfaceCounters
{
    std::string fName;
    uint64_t fInputBytes = 0;
    uint64_t fOutputBytes = 0;
    bool fLoopback = false;
};
// Every interface's counters; empty when they cannot be read.
std::vector<InterfaceCounters> CopyInterfaceCounters();

// SCDynamicStoreCopyComputerName: the host's name; empty when it has none.
std::string DynamicStoreCopyComputerName();

} // namespace kova::scf
