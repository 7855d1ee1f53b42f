// Our stand-in for the system-information calls of libSystem and Foundation: sysctl's texts
// ("kern.osversion", "hw.model", "kern.ostype"), the processors' tick counters
// (host_processor_info), the threads' run times (task_threads and thread_info), and the user's
// names (NSProcessInfo). Written over /proc, /sys, uname and getpwuid_r.
//
// Every file of /proc, /sys and /dev that the system-information stand-ins read (this one,
// SystemConfiguration.h and DiskArbitration.h) is read under one root, the system's own unless a
// test points it at a fixture tree that mirrors those folders.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kova::sys
{

// The absolute path inPath ("/proc/stat") under the root.
std::string SystemPath(std::string_view inPath);
// For tests: the root of /proc, /sys and /dev; null or empty goes back to the system's own.
void SetSystemRootForTesting(const char* inRoot);

// The first line of a file under the root, line end removed; nothing when it cannot be read. Reads
// at most inLimit bytes: a longer line is cut there.
std::optional<std::string> ReadFirstLine(std::string_view inPath, size_t inLimit = 4096);

// sysctlbyname for the texts it stands in for: "kern.osversion" (the kernel's release),
// "kern.ostype" (its name) and "hw.model" (the machine's product name). 0, or the errno of the
// failure: ENOENT when the system does not tell, ENOMEM when the text does not fit inSize bytes with
// its terminating zero (as a buffer of that size would not take it); outText is then unchanged.
int SysctlString(std::string_view inName, size_t inSize, std::string& outText);

// host_processor_info's load counters of one processor, in ticks.
struct ProcessorTicks
{
    uint64_t fUser = 0;
    uint64_t fSystem = 0;
    uint64_t fIdle = 0;
    uint64_t fNice = 0;
};
// One entry per processor in the order of their numbers; empty when they cannot be read. The
// kernel's other states count as system time (interrupts, stolen time) or as idle (waiting for
// input and output).
std::vector<ProcessorTicks> ReadProcessorTicks();

// The share of one processor each thread of the process used over its life, from 0 to 1: its run
// time over the time since it started. Empty when the threads cannot be read.
std::optional<std::vector<double>> ReadThreadUsages();

// NSProcessInfo's fullUserName (the account's full name, else its name) and userName, of the
// effective user; empty when the account cannot be read.
std::string CopyFullUserName();
std::string CopyUserName();

} // namespace kova::sys
