#include "kernel/values/VPackedKeyIndex.h"

#include <chrono>
#include <cstring>
#include <new>
#include <random>

namespace kova
{

namespace
{

struct SipKey
{
    uint64_t fK0;
    uint64_t fK1;
};

SipKey DrawKey()
{
    try
    {
        std::random_device device;
        return {uint64_t(device()) << 32 | device(), uint64_t(device()) << 32 | device()};
    }
    catch (...)
    {
        // No entropy source: the clock and where this process lies in memory still vary per run.
        SipKey key{};
        uint64_t now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        key.fK0 = now ^ reinterpret_cast<uintptr_t>(&key);
        key.fK1 = now * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<uintptr_t>(&DrawKey);
        return key;
    }
}

const SipKey& ProcessKey()
{
    static const SipKey sKey = DrawKey();
    return sKey;
}

inline uint64_t RotateLeft(uint64_t inValue, int inBits)
{
    return (inValue << inBits) | (inValue >> (64 - inBits));
}

struct SipState
{
    uint64_t fV0, fV1, fV2, fV3;

    void Round()
    {
        fV0 += fV1;
        fV1 = RotateLeft(fV1, 13) ^ fV0;
        fV0 = RotateLeft(fV0, 32);
        fV2 += fV3;
        fV3 = RotateLeft(fV3, 16) ^ fV2;
        fV0 += fV3;
        fV3 = RotateLeft(fV3, 21) ^ fV0;
        fV2 += fV1;
        fV1 = RotateLeft(fV1, 17) ^ fV2;
        fV2 = RotateLeft(fV2, 32);
    }

    void Absorb(uint64_t inWord)
    {
        fV3 ^= inWord;
        Round();
        fV0 ^= inWord;
    }
};

// SipHash-1-3: a keyed hash made for hash tables fed by outside data.
uint64_t SipHash13(const SipKey& inKey, const uint8_t* inBytes, size_t inLength)
{
    SipState state{inKey.fK0 ^ 0x736f6d6570736575ull, inKey.fK1 ^ 0x646f72616e646f6dull,
                   inKey.fK0 ^ 0x6c7967656e657261ull, inKey.fK1 ^ 0x7465646279746573ull};
    const size_t whole = inLength & ~size_t(7);
    for (size_t i = 0; i < whole; i += 8)
    {
        uint64_t word;
        std::memcpy(&word, inBytes + i, 8);
        state.Absorb(word);
    }
    uint64_t last = uint64_t(inLength) << 56;
    for (size_t i = whole; i < inLength; ++i)
        last |= uint64_t(inBytes[i]) << (8 * (i - whole));
    state.Absorb(last);
    state.fV2 ^= 0xff;
    state.Round();
    state.Round();
    state.Round();
    return state.fV0 ^ state.fV1 ^ state.fV2 ^ state.fV3;
}

} // namespace

uint32_t _VPackedKeyIndex::HashOf(const char* inBytes, size_t inLength)
{
    uint64_t hash = SipHash13(ProcessKey(), reinterpret_cast<const uint8_t*>(inBytes), inLength);
    return uint32_t(hash ^ (hash >> 32));
}

void _VPackedKeyIndex::Clear()
{
    fCells.clear();
    fCells.shrink_to_fit();
    fCount = 0;
}

void _VPackedKeyIndex::_Place(const Cell& inCell)
{
    const size_t mask = _Mask();
    size_t i = inCell.fHash & mask;
    uint64_t probes = 1;
    for (; fCells[i].fSlot != kNoSlot; i = (i + 1) & mask)
        ++probes;
    fCells[i] = inCell;
    sPackedDictionaryProbeCount += probes;
}

bool _VPackedKeyIndex::Reserve(size_t inCount)
{
    size_t size = 16;
    while (size / 2 < inCount)
        size *= 2;
    if (size <= fCells.size())
        return true;
    std::vector<Cell> old;
    old.swap(fCells);
    try
    {
        fCells.assign(size, Cell{kNoSlot, 0});
    }
    catch (const std::bad_alloc&)
    {
        Clear();
        return false;
    }
    for (const Cell& cell : old)
    {
        if (cell.fSlot != kNoSlot)
            _Place(cell);
    }
    return true;
}

bool _VPackedKeyIndex::Insert(uint32_t inHash, uint32_t inSlot)
{
    if (!Reserve(fCount + 1))
        return false;
    _Place(Cell{inSlot, inHash});
    ++fCount;
    return true;
}

void _VPackedKeyIndex::Remove(uint32_t inHash, uint32_t inSlot)
{
    if (fCells.empty())
        return;
    const size_t mask = _Mask();
    size_t hole = inHash & mask;
    while (fCells[hole].fSlot != inSlot)
    {
        if (fCells[hole].fSlot == kNoSlot)
            return;
        hole = (hole + 1) & mask;
    }
    // Later cells of the run move back into the hole unless their home lies after it: every cell
    // must stay reachable from its home without crossing an empty cell.
    for (size_t next = (hole + 1) & mask; fCells[next].fSlot != kNoSlot; next = (next + 1) & mask)
    {
        size_t home = fCells[next].fHash & mask;
        bool homeAfterHole = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (homeAfterHole)
            continue;
        fCells[hole] = fCells[next];
        hole = next;
    }
    fCells[hole].fSlot = kNoSlot;
    --fCount;
    for (Cell& cell : fCells)
    {
        if (cell.fSlot != kNoSlot && cell.fSlot > inSlot)
            --cell.fSlot;
    }
}

} // namespace kova
