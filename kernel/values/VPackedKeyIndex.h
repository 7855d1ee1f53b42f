// _VPackedKeyIndex is how a packed dictionary finds its names: in constant time on average, however
// many names there are and however they meet in the stored hash. It lives in memory only. The
// stream form keeps its own hash vector (_VHashKeyMap), which cannot serve look-ups: its cells
// only say where a scan starts, it fills up before it grows, and its hash reads at most 16 bytes
// of a name, so that anyone can write any number of names that share one cell.
//
// Open addressing with linear probing over a power-of-two table at most half full. A cell holds a
// slot number and its name's hash, so that a probe compares names only when the hashes agree.
// The hash (HashOf) reads every byte under a key drawn once per process: names cannot be chosen to
// meet. The dictionary numbers slots from 0 in insertion order and renumbers them when it removes
// one; Remove follows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

// Cells visited and names compared by the packed dictionaries on this thread. Tests read it to
// check that the work per name does not grow with the number of names. Defined here with its
// constant initial value, so that counting is a plain add.
inline thread_local uint64_t sPackedDictionaryProbeCount = 0;

inline uint64_t GetPackedDictionaryProbeCount()
{
    return sPackedDictionaryProbeCount;
}

class _VPackedKeyIndex
{
public:
    static constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

    static uint32_t HashOf(const char* inBytes, size_t inLength);

    bool IsEmpty() const { return fCells.empty(); }
    void Clear();

    // Room for inCount slots without growing; false, and the index empty, when memory runs out.
    bool Reserve(size_t inCount);
    // Files a slot under its name's hash, growing when the table would be over half full. False,
    // and the index empty, when memory runs out.
    bool Insert(uint32_t inHash, uint32_t inSlot);
    // The slot filed under inHash for which inIsName(slot) holds, or kNoSlot. The index must not
    // be empty.
    template <class IS_NAME>
    uint32_t Find(uint32_t inHash, IS_NAME&& inIsName) const;
    // Forgets a filed slot and numbers every later slot one less.
    void Remove(uint32_t inHash, uint32_t inSlot);

private:
    struct Cell
    {
        uint32_t fSlot;
        uint32_t fHash;
    };

    size_t _Mask() const { return fCells.size() - 1; }
    // Files a cell in a table that has room.
    void _Place(const Cell& inCell);

    std::vector<Cell> fCells;
    size_t fCount = 0;
};

template <class IS_NAME>
uint32_t _VPackedKeyIndex::Find(uint32_t inHash, IS_NAME&& inIsName) const
{
    const size_t mask = _Mask();
    uint64_t probes = 1;
    uint32_t found = kNoSlot;
    for (size_t i = inHash & mask; fCells[i].fSlot != kNoSlot; i = (i + 1) & mask, ++probes)
    {
        if (fCells[i].fHash == inHash && inIsName(fCells[i].fSlot))
        {
            found = fCells[i].fSlot;
            break;
        }
    }
    sPackedDictionaryProbeCount += probes;
    return found;
}

} // namespace kova
