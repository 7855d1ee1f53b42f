// Sweeps of the built-in decoders over short inputs of every kind: they must stay in bounds (input
// and output are exact heap blocks, for ASan), account for every byte and decode well-formed text
// as the standard says. The sweeps run on every processor and stop at the first failure.
//
// Every UTF-8 sequence of one to four bytes is tried. Four-byte sequences are checked against the
// shorter ones: the first character decodes as it does alone, and the bytes after it as they do
// alone. Under the address sanitizer, which makes all 2^32 too slow, every four-byte character is
// tried, and the other four-byte sequences with every first and second byte and the last two
// taken from every class of byte. The fast paths the decoder takes on long input are checked
// against what the same bytes give alone, between runs of ASCII, two- and three-byte text.
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/text/VToUnicodeConverter_UTF8.h"
#include "kernel/values/Sanitizers.h"

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

// The address sanitizer makes the whole four-byte sweep too slow: it takes a sample.
#if defined(KOVA_ADDRESS_SANITIZER)
#define KOVA_SWEEP_SAMPLED 1
#endif

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

// The inLength bytes an index stands for, the first one most significant.
void BytesOfIndex(uint64_t inIndex, size_t inLength, uint8_t* outBytes)
{
    for (size_t i = 0; i < inLength; ++i)
        outBytes[i] = uint8_t(inIndex >> (8 * (inLength - 1 - i)));
}

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

const VToUnicodeConverter_UTF8 kUTF8;

std::string CheckUTF8(const uint8_t* inBytes, size_t inCount, UniChar* outUnits)
{
    size_t consumed = size_t(-1);
    int32_t produced = -1;
    const bool result = kUTF8.Convert(inBytes, inCount, consumed, outUnits, int32_t(inCount + 1), produced);
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
        BytesOfIndex(fFirstIndex + inIndex, fLength, ioBuffers.fBytes[fLength].get());
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

// What one call gives for bytes decoded alone.
struct Decoding
{
    UniChar fUnits[8];
    int32_t fProduced;
    size_t fConsumed;
    bool fResult;
};

// Decodes the bytes alone, into room for one unit more than bytes.
Decoding DecodeAlone(const uint8_t* inBytes, size_t inCount, UniChar* outUnits)
{
    Decoding decoding{};
    decoding.fResult = kUTF8.Convert(inBytes, inCount, decoding.fConsumed, outUnits, int32_t(inCount + 1),
                                     decoding.fProduced);
    if (decoding.fProduced >= 0 && decoding.fProduced <= int32_t(inCount + 1))
        std::memcpy(decoding.fUnits, outUnits, size_t(decoding.fProduced) * sizeof(UniChar));
    return decoding;
}

#if !defined(KOVA_SWEEP_SAMPLED)
// The bytes the first character of the input takes: 1 for a byte that stands alone (an ASCII
// byte, a trailing byte, or a lead whose trailing bytes are not all 10xxxxxx), 0 for a lead cut
// short by the end of the input.
size_t FirstCharacterLength(const uint8_t* inBytes, size_t inCount)
{
    const size_t trailing = TrailingCountOf(inBytes[0]);
    for (size_t i = 1; i <= trailing && i < inCount; ++i)
    {
        if ((inBytes[i] & 0xC0) != 0x80)
            return 1;
    }
    if (trailing == 0)
        return 1;
    return trailing < inCount ? trailing + 1 : 0;
}

// The index gives the last three bytes, decoded alone once; the first byte is swept inside.
struct EveryFourByteSequence
{
    using Buffers = ExactBuffers;

    std::string operator()(Buffers& ioBuffers, uint64_t inIndex) const
    {
        uint8_t* bytes = ioBuffers.fBytes[4].get();
        bytes[1] = uint8_t(inIndex >> 16);
        bytes[2] = uint8_t(inIndex >> 8);
        bytes[3] = uint8_t(inIndex);
        UniChar* units = ioBuffers.fUnits[4].get();
        // rest[n]: the last n bytes alone, which end where the block ends.
        const Decoding rest[4] = {{},
                                  DecodeAlone(bytes + 3, 1, units),
                                  DecodeAlone(bytes + 2, 2, units),
                                  DecodeAlone(bytes + 1, 3, units)};
        for (int first = 0; first < 256; ++first)
        {
            bytes[0] = uint8_t(first);
            const size_t length = FirstCharacterLength(bytes, 4);
            if (length == 4)
            {
                std::string why = CheckUTF8(bytes, 4, units);
                if (!why.empty())
                    return why;
                continue;
            }
            // What the first character and the rest give, each alone.
            Decoding expected{};
            expected.fResult = true;
            if (length == 1)
            {
                expected.fUnits[0] = UniChar(first);
                expected.fProduced = 1;
                expected.fConsumed = 1;
            }
            else if (length > 1)
            {
                expected = DecodeAlone(bytes, length, units);
                if (expected.fConsumed != length)
                    return "a whole character not read whole";
            }
            if (length != 0)
            {
                const Decoding& after = rest[4 - length];
                std::memcpy(expected.fUnits + expected.fProduced, after.fUnits,
                            size_t(after.fProduced) * sizeof(UniChar));
                expected.fProduced += after.fProduced;
                expected.fConsumed += after.fConsumed;
                expected.fResult = expected.fResult && after.fResult;
            }
            Decoding whole = DecodeAlone(bytes, 4, units);
            if (whole.fResult != expected.fResult || whole.fConsumed != expected.fConsumed ||
                whole.fProduced != expected.fProduced ||
                std::memcmp(whole.fUnits, expected.fUnits, size_t(expected.fProduced) * sizeof(UniChar)) != 0)
                return "not the first character and the rest, each alone (first byte " +
                       std::to_string(first) + ")";
        }
        return {};
    }
};

TEST(UTF8DecodingSweep, EveryFourByteSequence)
{
    EXPECT_EQ(Sweep(uint64_t(1) << 24, EveryFourByteSequence{}), "");
}
#endif

#if defined(KOVA_SWEEP_SAMPLED)
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
#endif

// ---------------------------------------------------------------------------------------------
// UTF-8 inside longer text

// Valid text of sixteen bytes or more before and after the swept bytes, so that the decoder
// meets them on its fast paths: blocks of ASCII, runs of two- and of three-byte characters.
struct Filler
{
    std::string fBytes;
    std::u16string fUnits;
};

const Filler kFillers[] = {
    {"abcdefghijklmnopq", u"abcdefghijklmnopq"},
    {"\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C\xD0\xB6\xD0\xB8\xD0\xB2",
     u"\u0416\u0438\u0437\u043D\u044C\u0436\u0438\u0432"},
    {"\xE8\xAA\x9E\xE6\x96\x87\xE5\xAD\x97\xE8\xAA\x9E\xE6\x96\x87\xE5\xAD\x97",
     u"\u8A9E\u6587\u5B57\u8A9E\u6587\u5B57"},
};
constexpr size_t kFillerCount = std::size(kFillers);

// For each filler before and after, and each length of swept bytes: the input as an exact block,
// the fillers in place, and room for one unit more than bytes.
struct EmbeddedBuffers : ExactBuffers
{
    std::unique_ptr<uint8_t[]> fText[kFillerCount][kFillerCount][4];
    std::unique_ptr<UniChar[]> fTextUnits[kFillerCount][kFillerCount][4];
    EmbeddedBuffers()
    {
        for (size_t before = 0; before < kFillerCount; ++before)
        {
            for (size_t after = 0; after < kFillerCount; ++after)
            {
                for (size_t length = 1; length <= 3; ++length)
                {
                    const std::string& first = kFillers[before].fBytes;
                    const std::string& last = kFillers[after].fBytes;
                    const size_t size = first.size() + length + last.size();
                    fText[before][after][length] = std::make_unique<uint8_t[]>(size);
                    fTextUnits[before][after][length] = std::make_unique<UniChar[]>(size + 1);
                    std::memcpy(fText[before][after][length].get(), first.data(), first.size());
                    std::memcpy(fText[before][after][length].get() + first.size() + length, last.data(),
                                last.size());
                }
            }
        }
    }
};

// Inside text, the swept bytes give what they give alone, except that a character the end cut
// short is followed by the filler, which starts with ASCII or a lead: its lead then stands alone,
// and so does each of its trailing bytes.
struct EmbeddedSequences
{
    using Buffers = EmbeddedBuffers;
    size_t fLength;

    std::string operator()(Buffers& ioBuffers, uint64_t inIndex) const
    {
        uint8_t* swept = ioBuffers.fBytes[fLength].get();
        BytesOfIndex(inIndex, fLength, swept);
        Decoding middle = DecodeAlone(swept, fLength, ioBuffers.fUnits[fLength].get());
        if (middle.fConsumed > fLength || middle.fProduced < 0 || middle.fProduced > int32_t(fLength + 1))
            return "counts out of range";
        for (size_t i = middle.fConsumed; i < fLength; ++i)
            middle.fUnits[middle.fProduced++] = swept[i];

        for (size_t before = 0; before < kFillerCount; ++before)
        {
            for (size_t after = 0; after < kFillerCount; ++after)
            {
                const Filler& first = kFillers[before];
                const Filler& last = kFillers[after];
                uint8_t* text = ioBuffers.fText[before][after][fLength].get();
                UniChar* units = ioBuffers.fTextUnits[before][after][fLength].get();
                const size_t size = first.fBytes.size() + fLength + last.fBytes.size();
                std::memcpy(text + first.fBytes.size(), swept, fLength);
                size_t consumed = 0;
                int32_t produced = 0;
                const bool result = kUTF8.Convert(text, size, consumed, units, int32_t(size + 1), produced);
                const size_t expected = first.fUnits.size() + size_t(middle.fProduced) + last.fUnits.size();
                if (result != middle.fResult || consumed != size || produced != int32_t(expected) ||
                    first.fUnits.compare(0, first.fUnits.size(), units, first.fUnits.size()) != 0 ||
                    std::memcmp(units + first.fUnits.size(), middle.fUnits,
                                size_t(middle.fProduced) * sizeof(UniChar)) != 0 ||
                    last.fUnits.compare(0, last.fUnits.size(), units + expected - last.fUnits.size(),
                                        last.fUnits.size()) != 0)
                    return "decoded otherwise inside text, fillers " + std::to_string(before) + " and " +
                           std::to_string(after);
            }
        }
        return {};
    }
};

// The fillers keep every read of the swept bytes inside the block, so the sanitizer has nothing
// to add to what the plain build checks here: the sweep runs there only.
#if !defined(KOVA_SWEEP_SAMPLED)
TEST(UTF8DecodingSweep, EverySequenceOfOneToThreeBytesInsideText)
{
    for (size_t length = 1; length <= 3; ++length)
        EXPECT_EQ(Sweep(uint64_t(1) << (8 * length), EmbeddedSequences{length}), "") << length << " bytes";
}
#endif

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
        BytesOfIndex(inIndex, fLength, bytes);
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
