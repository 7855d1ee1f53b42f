#include "platform/mac/frameworks/Mach.h"

#include <ctime>
#include <sys/mman.h>
#include <unistd.h>

namespace kova::mach
{

const char* ErrorString(kern_return_t inCode)
{
    switch (inCode)
    {
    case KERN_SUCCESS:
        return "The operation succeeded.";
    case KERN_INVALID_ADDRESS:
        return "The memory address is not valid.";
    case KERN_PROTECTION_FAILURE:
        return "The memory is protected against this access.";
    case KERN_NO_SPACE:
        return "There is no room left in the address space.";
    case KERN_INVALID_ARGUMENT:
        return "An argument of the call is not valid.";
    case KERN_FAILURE:
        return "The kernel call failed.";
    case KERN_RESOURCE_SHORTAGE:
        return "The system is short of a resource the call needs.";
    case KERN_ABORTED:
        return "The operation was interrupted.";
    case KERN_OPERATION_TIMED_OUT:
        return "The operation timed out.";
    default:
        return nullptr;
    }
}

size_t PageSize()
{
    static const size_t sPageSize = size_t(sysconf(_SC_PAGESIZE));
    return sPageSize;
}

static size_t RoundToPages(size_t size)
{
    size_t page = PageSize();
    return (size + page - 1) / page * page;
}

kern_return_t VMAllocate(uintptr_t* ioAddress, size_t size, bool inAnywhere)
{
    if (ioAddress == nullptr || size == 0)
        return KERN_INVALID_ARGUMENT;
    size_t rounded = RoundToPages(size);
    if (rounded < size)
        return KERN_NO_SPACE;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
    void* hint = nullptr;
    if (!inAnywhere)
    {
        if (*ioAddress % PageSize() != 0)
            return KERN_INVALID_ADDRESS;
        hint = reinterpret_cast<void*>(*ioAddress);
        flags |= MAP_FIXED_NOREPLACE;
    }
    void* pages = mmap(hint, rounded, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (pages == MAP_FAILED)
        return KERN_NO_SPACE;
    if (!inAnywhere && pages != hint)
    {
        // Old kernels ignore MAP_FIXED_NOREPLACE and treat the address as a hint.
        munmap(pages, rounded);
        return KERN_NO_SPACE;
    }
    *ioAddress = reinterpret_cast<uintptr_t>(pages);
    return KERN_SUCCESS;
}

kern_return_t VMDeallocate(uintptr_t address, size_t size)
{
    if (size == 0)
        return KERN_SUCCESS;
    if (munmap(reinterpret_cast<void*>(address), RoundToPages(size)) != 0)
        return KERN_INVALID_ADDRESS;
    return KERN_SUCCESS;
}

uint64_t AbsoluteTime()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

TimebaseInfo GetTimebaseInfo()
{
    return {1, 1};
}

} // namespace kova::mach
