#include "platform/mac/tasks/XMacSystem.h"

#include "platform/mac/frameworks/Mach.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <set>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace kova
{

uint64_t XMacSystem::GetCurrentNanoseconds()
{
    mach::TimebaseInfo timebase = mach::GetTimebaseInfo();
    return mach::AbsoluteTime() * timebase.numer / timebase.denom;
}

void XMacSystem::Delay(int32_t inMilliseconds)
{
    if (inMilliseconds <= 0)
        return;
    timespec remaining{inMilliseconds / 1000, long(inMilliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR)
    {
    }
}

uint32_t XMacSystem::ReadLogicalProcessorCount()
{
    long count = sysconf(_SC_NPROCESSORS_CONF);
    return count < 2 ? 1 : uint32_t(count);
}

uint32_t XMacSystem::ReadPhysicalProcessorCount()
{
    // Distinct (physical package, core) pairs; hyperthreads share a core.
    std::set<std::pair<int, int>> cores;
    for (uint32_t cpu = 0;; ++cpu)
    {
        char path[128];
        std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%u/topology/core_id", cpu);
        FILE* coreFile = std::fopen(path, "r");
        if (coreFile == nullptr)
            break;
        int core = -1;
        int package = 0;
        if (std::fscanf(coreFile, "%d", &core) != 1)
            core = int(cpu);
        std::fclose(coreFile);
        std::snprintf(path, sizeof(path), "/sys/devices/system/cpu/cpu%u/topology/physical_package_id", cpu);
        if (FILE* packageFile = std::fopen(path, "r"))
        {
            if (std::fscanf(packageFile, "%d", &package) != 1)
                package = 0;
            std::fclose(packageFile);
        }
        cores.emplace(package, core);
    }
    return cores.size() < 2 ? 1 : uint32_t(cores.size());
}

size_t XMacSystem::GetVMPageSize()
{
    return mach::PageSize();
}

void* XMacSystem::VirtualAlloc(size_t size, const void* inAddress)
{
    uintptr_t address = reinterpret_cast<uintptr_t>(inAddress);
    if (mach::VMAllocate(&address, size, inAddress == nullptr) != mach::KERN_SUCCESS)
        return nullptr;
    return reinterpret_cast<void*>(address);
}

void* XMacSystem::VirtualAllocLocked(size_t size, const void* inAddress)
{
    void* block = VirtualAlloc(size, inAddress);
    if (block != nullptr && mlock(block, size) != 0)
    {
        VirtualFree(block, size);
        return nullptr;
    }
    return block;
}

void XMacSystem::VirtualFree(void* inAddress, size_t size)
{
    mach::VMDeallocate(reinterpret_cast<uintptr_t>(inAddress), size);
}

} // namespace kova
