// Memory that runs out on demand, for the tests of failure paths. While a StFailAllocations scope
// is open on a thread, allocations fail there: with kNothrowAllocations every allocation that must
// not throw gives null; with kNextAllocation only the next allocation of either kind fails (null,
// or std::bad_alloc), so that one step of a longer path can be made to fail while the reporting of
// its error still gets memory.
//
// Include this header in one test file of an executable only: it replaces the global allocation
// functions of the whole executable (all of those that pair, so that every block is freed by the
// allocator that made it, also under AddressSanitizer). ThreadSanitizer's run-time lets no program
// replace them: there, nothing fails and the tests skip themselves (kAllocationsCanFail).
#pragma once

#include "kernel/values/Sanitizers.h"

#include <cstdlib>
#include <new>

namespace kova::testing_support
{

#if defined(KOVA_THREAD_SANITIZER)
inline constexpr bool kAllocationsCanFail = false;
#else
inline constexpr bool kAllocationsCanFail = true;
#endif

enum EFailingAllocations
{
    kNoFailingAllocation = 0,
    kNothrowAllocations = 1,
    kNextAllocation = 2,
};

inline thread_local EFailingAllocations sFailingAllocations = kNoFailingAllocation;

class StFailAllocations
{
public:
    explicit StFailAllocations(EFailingAllocations inWhich = kNothrowAllocations)
        : fSaved(sFailingAllocations)
    {
        sFailingAllocations = inWhich;
    }
    ~StFailAllocations() { sFailingAllocations = fSaved; }
    StFailAllocations(const StFailAllocations&) = delete;
    StFailAllocations& operator=(const StFailAllocations&) = delete;

    // Whether a kNextAllocation scope has had its failure.
    static bool HasFailed() { return sFailingAllocations == kNoFailingAllocation; }

private:
    EFailingAllocations fSaved;
};

// Whether this allocation fails; a kNextAllocation failure happens once.
inline bool ShouldAllocationFail(bool inNothrow)
{
    switch (sFailingAllocations)
    {
    case kNothrowAllocations:
        return inNothrow;
    case kNextAllocation:
        sFailingAllocations = kNoFailingAllocation;
        return true;
    default:
        return false;
    }
}

} // namespace kova::testing_support

#if !defined(KOVA_THREAD_SANITIZER)

// The replacements pair malloc with free on purpose: the compiler sees both once it inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t inSize, const std::nothrow_t&) noexcept
{
    if (kova::testing_support::ShouldAllocationFail(true))
        return nullptr;
    return std::malloc(inSize == 0 ? 1 : inSize);
}

void* operator new(std::size_t inSize)
{
    if (kova::testing_support::ShouldAllocationFail(false))
        throw std::bad_alloc();
    void* block = std::malloc(inSize == 0 ? 1 : inSize);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void operator delete(void* inBlock) noexcept
{
    std::free(inBlock);
}

void operator delete(void* inBlock, std::size_t) noexcept
{
    std::free(inBlock);
}

void operator delete(void* inBlock, const std::nothrow_t&) noexcept
{
    std::free(inBlock);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif
