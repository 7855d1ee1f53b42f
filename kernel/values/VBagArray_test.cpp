#include "kernel/values/VBagArray.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/values/ValueTesting.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace
{

// The bytes that global allocations of the calling thread hold, and their peak, while counted.
thread_local bool tCounting = false;
thread_local int64_t tLive = 0;
thread_local int64_t tPeak = 0;

void* CountedAllocation(std::size_t inSize)
{
    void* block = std::malloc(inSize != 0 ? inSize : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    if (tCounting)
    {
        tLive += int64_t(malloc_usable_size(block));
        tPeak = std::max(tPeak, tLive);
    }
    return block;
}

void CountedRelease(void* inBlock) noexcept
{
    if (tCounting && inBlock != nullptr)
        tLive -= int64_t(malloc_usable_size(inBlock));
    std::free(inBlock);
}

} // namespace

void* operator new(std::size_t inSize)
{
    return CountedAllocation(inSize);
}

void operator delete(void* inBlock) noexcept
{
    CountedRelease(inBlock);
}

void operator delete(void* inBlock, std::size_t) noexcept
{
    CountedRelease(inBlock);
}

namespace kova
{
namespace
{

using testing_values::Bytes;
using testing_values::StreamIn;

// The peak of what the scope's global allocations held at once, beyond what was held before.
class StPeakAllocation
{
public:
    StPeakAllocation()
    {
        tLive = 0;
        tPeak = 0;
        tCounting = true;
    }
    ~StPeakAllocation() { tCounting = false; }
    StPeakAllocation(const StPeakAllocation&) = delete;
    StPeakAllocation& operator=(const StPeakAllocation&) = delete;

    int64_t Peak() const { return tPeak; }
};

void AppendU32(Bytes& ioBytes, uint32_t inNumber)
{
    for (int shift = 0; shift < 32; shift += 8)
        ioBytes.push_back(uint8_t(inNumber >> shift));
}

TEST(VBagArrayTest, ListsTakeRoomForTheBagsReadNotForTheirCounts)
{
    // A hundred bags one inside the other, each list claiming as many bags as bytes are left; the
    // innermost bag holds one long attribute a = 1 in a store padded to 20,000 bytes, and the
    // list that holds it finds no second bag.
    constexpr int kLevels = 100;
    constexpr uint32_t kUnits = 10000;
    const size_t size = 8 + kLevels * 16 + 16 + 2 * kUnits;
    Bytes bytes = {0x47, 0x41, 0x42, 0x56, 0x01, 0x00, 0x00, 0x00};
    auto names = [&bytes](uint8_t inFlags, char inName)
    {
        bytes.push_back(inFlags);
        AppendU32(bytes, 1);
        AppendU32(bytes, 2);
        bytes.insert(bytes.end(), {0x01, uint8_t(inName), 0x00});
    };
    for (int level = 0; level < kLevels; ++level)
    {
        names(0x02, 'c');
        AppendU32(bytes, uint32_t(size - bytes.size() - 4));
    }
    names(0x01, 'a');
    AppendU32(bytes, kUnits);
    bytes.insert(bytes.end(), {0x04, 0x00, 0x01, 0x00, 0x00, 0x00});
    bytes.resize(size, 0x00);

    StErrorContextInstaller errors(false, true);
    VRefPtr<VValueBag> bag(new VValueBag);
    int64_t peak = 0;
    {
        StPeakAllocation counted;
        EXPECT_EQ(StreamIn(*bag, bytes, false), VE_STREAM_EOF);
        peak = counted.Peak();
    }
    // The attribute store holds the bytes read once; the lists hold next to nothing.
    EXPECT_LE(peak, int64_t(4 * size));
}

} // namespace
} // namespace kova
