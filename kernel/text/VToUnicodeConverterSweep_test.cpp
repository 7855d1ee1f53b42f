// Sweeps of the built-in decoders over short inputs of every kind: they must stay in bounds (input
// and output are exact heap blocks, for ASan), account for every byte and decode well-formed text
// as the standard says. The sweeps run on every processor and stop at the first failure.
//
// Every sequence of one to three bytes is tried, and every four-byte sequence that starts with the
// lead of a four-byte form: every four-byte character, well formed or not. The other four-byte
// sequences (a shorter first character and the rest read afresh, or the start of a five- or
// six-byte form, which four bytes never complete) are tried with every first and second byte and
// the last two taken from every class of byte (ASCII, trailing bytes at the edges of the overlong
// and surrogate ranges, each kind of lead): all 2^32 would take minutes in a build without
// optimisation.
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/text/VToUnicodeConverter_UTF8.h"

#include <gtest/gtest.h>

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

namespace kova
{
namespace
{

// Runs inCheck over the indexes [0, inCount) on every processor; returns the first failure.
template <class Check>
std::string Sweep(uint64_t inCount, const Check& inCheck)
{
    std::atomic<uint64_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex lock;
    std::string failure;
    auto work = [&]
    {
        typename Check::Buffers buffers;
        constexpr uint64_t kChunk = 1 << 14;
        while (!failed.load(std::memory_order_relaxed))
        {
            uint64_t first = next.fetch_add(kChunk);
            if (first >= inCount)
                return;
            for (uint64_t index = first; index < std::min(first + kChunk, inCount); ++index)
            {
                std::string why = inCheck(buffers, index);
                if (!why.empty())
                {
                    std::lock_guard<std::mutex> guard(lock);
                    if (!failed.exchange(true))
                        failure = why + " (index " + std::to_string(index) + ")";
                    return;
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    return failure;
}

// Exact blocks of 1 to 4 bytes, and room for one more unit than bytes (what ConvertString gives).
struct ExactBuffers
{
    std::unique_ptr<uint8_t[]> fBytes[5];
    std::unique_ptr<UniChar[]> fUnits[5];
    ExactBuffers()
    {
        for (size_t length = 1; length <= 4; ++length)
        {
            fBytes[length] = std::make_unique<uint8_t[]>(length);
            fUnits[length] = std::make_unique<UniChar[]>(length + 1);
        }
    }
};

// ---------------------------------------------------------------------------------------------
// UTF-8

constexpr uint8_t TrailingCountOf(uint8_t inLead)
{
    return inLead < 0xC0   ? 0
           : inLead < 0xE0 ? 1
           : inLead < 0xF0 ? 2
           : inLead < 0xF8 ? 3
           : inLead < 0xFC ? 4
                           : 5;
}

std::string CheckUTF8(const uint8_t* inBytes, size_t inCount, UniChar* outUnits)
{
    static const VToUnicodeConverter_UTF8 sConverter;
    size_t consumed = size_t(-1);
    int32_t produced = -1;
    const bool result =
        sConverter.Convert(inBytes, inCount, consumed, outUnits, int32_t(inCount + 1), produced);
    if (consumed > inCount || produced < 0 || size_t(produced) > consumed)
        return "counts out of range";
    // Exactly a character cut short by the end is left: the last lead, when fewer trailing bytes
    // than it announces follow it (a byte of 0xC0 or more always starts a character).
    size_t cutShort = inCount;
    for (size_t lead = inCount; lead-- > 0;)
    {
        if (inBytes[lead] < 0xC0)
            continue;
        bool trailing = true;
        for (size_t i = lead + 1; i < inCount; ++i)
            trailing = trailing && (inBytes[i] & 0xC0) == 0x80;
        if (trailing && inCount - lead - 1 < TrailingCountOf(inBytes[lead]))
            cutShort = lead;
        break;
    }
    if (consumed != cutShort)
        return "a wrong count of bytes consumed";
    // No ASCII character made of other bytes: only C0 80 gives a zero, and a value beyond Unicode
    // a "?" with a false result.
    for (int32_t i = 0; i < produced; ++i)
    {
        UniChar unit = outUnits[i];
        if (unit >= 0x80 || std::memchr(inBytes, unit, consumed) != nullptr)
            continue;
        bool fromC080 = unit == 0 && ::memmem(inBytes, consumed, "\xC0\x80", 2) != nullptr;
        bool beyondUnicode = unit == u'?' && !result;
        if (!fromC080 && !beyondUnicode)
            return "an ASCII character made of other bytes";
    }
    UniChar expected[8];
    int32_t expectedLength = 0;
    for (int32_t offset = 0; offset < int32_t(inCount);)
    {
        UChar32 character;
        U8_NEXT(inBytes, offset, int32_t(inCount), character);
        if (character < 0)
            return {};
        U16_APPEND_UNSAFE(expected, expectedLength, character);
    }
    if (!result || consumed != inCount || produced != expectedLength ||
        std::memcmp(expected, outUnits, size_t(expectedLength) * sizeof(UniChar)) != 0)
        return "well-formed text decoded wrongly";
    return {};
}

// Inputs of inLength bytes; the index gives the bytes, first byte most significant.
struct UTF8Sequences
{
    using Buffers = ExactBuffers;
    size_t fLength;
    uint64_t fFirstIndex;

    std::string operator()(Buffers& ioBuffers, uint64_t inIndex) const
    {
        uint64_t value = fFirstIndex + inIndex;
        for (size_t i = 0; i < fLength; ++i)
            ioBuffers.fBytes[fLength][i] = uint8_t(value >> (8 * (fLength - 1 - i)));
        return CheckUTF8(ioBuffers.fBytes[fLength].get(), fLength, ioBuffers.fUnits[fLength].get());
    }
};

TEST(UTF8DecodingSweep, EverySequenceOfOneToThreeBytes)
{
    for (size_t length = 1; length <= 3; ++length)
        EXPECT_EQ(Sweep(uint64_t(1) << (8 * length), UTF8Sequences{length, 0}), "") << length << " bytes";
}

TEST(UTF8DecodingSweep, EveryFourByteSequenceAfterAFourByteLead)
{
    EXPECT_EQ(Sweep(uint64_t(1) << 27, UTF8Sequences{4, uint64_t(0xF0) << 24}), "");
}

struct OtherLeadSequences
{
    using Buffers = ExactBuffers;
    static constexpr uint8_t kClasses[] = {0x00, 0x3C, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                           0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF,
                                           0xF0, 0xF4, 0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFF};
    static constexpr uint64_t kClassCount = std::size(kClasses);

    std::string operator()(Buffers& ioBuffers, uint64_t inIndex) const
    {
        uint8_t* bytes = ioBuffers.fBytes[4].get();
        bytes[3] = kClasses[inIndex % kClassCount];
        bytes[2] = kClasses[(inIndex / kClassCount) % kClassCount];
        bytes[1] = uint8_t(inIndex / (kClassCount * kClassCount));
        // The leads 0xF0-0xF7 are swept in full above.
        uint8_t first = uint8_t(inIndex / (kClassCount * kClassCount * 256));
        bytes[0] = first < 0xF0 ? first : uint8_t(first + 8);
        return CheckUTF8(bytes, 4, ioBuffers.fUnits[4].get());
    }
};

TEST(UTF8DecodingSweep, FourByteSequencesOfEveryOtherLeadAndByteClass)
{
    const uint64_t count =
        (256 - 8) * 256 * OtherLeadSequences::kClassCount * OtherLeadSequences::kClassCount;
    EXPECT_EQ(Sweep(count, OtherLeadSequences{}), "");
}

// ---------------------------------------------------------------------------------------------
// UTF-32

const VToUnicodeConverter_UTF32 kUTF32Orders[2] = {VToUnicodeConverter_UTF32(false),
                                                   VToUnicodeConverter_UTF32(true)};

// A partial unit is never read.
struct PartialUnits
{
    using Buffers = ExactBuffers;
    size_t fLength;

    std::string operator()(Buffers& ioBuffers, uint64_t inIndex) const
    {
        uint8_t* bytes = ioBuffers.fBytes[fLength].get();
        for (size_t i = 0; i < fLength; ++i)
            bytes[i] = uint8_t(inIndex >> (8 * i));
        for (const VToUnicodeConverter_UTF32& converter : kUTF32Orders)
        {
            size_t consumed = 9;
            int32_t produced = 9;
            if (!converter.Convert(bytes, fLength, consumed, ioBuffers.fUnits[fLength].get(),
                                   int32_t(fLength + 1), produced) ||
                consumed != 0 || produced != 0)
                return "a partial unit was read";
        }
        return {};
    }
};

TEST(UTF32DecodingSweep, EveryPartialUnit)
{
    for (size_t length = 1; length <= 3; ++length)
        EXPECT_EQ(Sweep(uint64_t(1) << (8 * length), PartialUnits{length}), "") << length << " bytes";
}

// Every value up to past the end of Unicode, then the first and last 256 values of every block of
// 65536 above it, up to 0xFFFFFFFF.
struct WholeUnits
{
    using Buffers = ExactBuffers;
    static constexpr uint64_t kDense = 0x120000;
    static constexpr uint64_t kCount = kDense + (0x10000 - (kDense >> 16)) * 512;

    static uint32_t ValueAt(uint64_t inIndex)
    {
        if (inIndex < kDense)
            return uint32_t(inIndex);
        uint64_t sparse = inIndex - kDense;
        uint64_t block = (kDense >> 16) + sparse / 512;
        uint64_t offset = sparse % 512;
        return uint32_t((block << 16) + (offset < 256 ? offset : 0xFF00 + (offset - 256)));
    }

    std::string operator()(Buffers& ioBuffers, uint64_t inIndex) const
    {
        const uint32_t value = ValueAt(inIndex);
        const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
        const bool beyondUnicode = value >= 0x110000;
        UniChar* units = ioBuffers.fUnits[1].get(); // two units: room for a pair, exactly
        for (int order = 0; order < 2; ++order)
        {
            uint32_t bytes = order == 0 ? value : __builtin_bswap32(value);
            std::memcpy(ioBuffers.fBytes[4].get(), &bytes, 4);
            size_t consumed = 9;
            int32_t produced = 9;
            bool result =
                kUTF32Orders[order].Convert(ioBuffers.fBytes[4].get(), 4, consumed, units, 2, produced);
            UniChar expected[2] = {UniChar(value), 0};
            int32_t expectedLength = surrogate || beyondUnicode ? 0 : 1;
            if (value >= 0x10000 && !beyondUnicode)
            {
                expected[0] = UniChar(0xD800 + ((value - 0x10000) >> 10));
                expected[1] = UniChar(0xDC00 + (value & 0x3FF));
                expectedLength = 2;
            }
            if (result != (!surrogate && !beyondUnicode) || consumed != (surrogate ? 0u : 4u) ||
                produced != expectedLength ||
                std::memcmp(units, expected, size_t(expectedLength) * sizeof(UniChar)) != 0)
                return "value " + std::to_string(value) + " decoded wrongly";
        }
        return {};
    }
};

TEST(UTF32DecodingSweep, WholeUnitsAcrossEveryRange)
{
    EXPECT_EQ(Sweep(WholeUnits::kCount, WholeUnits{}), "");
}

} // namespace
} // namespace kova
