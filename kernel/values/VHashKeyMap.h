// _VHashKeyMap is the hash vector that a packed dictionary writes with its names once it holds six
// names or more: a prime-sized vector of 32-bit cells, each the slot number of a name or empty. A
// name's home cell (hash modulo size) holds the slot of the first name put there; names that meet
// at a taken cell go to the next empty one, wrapping round. Readers of the stream form scan the
// dictionary from the slot in a name's home cell; the dictionary itself finds names through its
// own index (_VPackedKeyIndex).
//
// The vector is part of bags' stream form, so the size ladder of _ComputeHashVectorSize and the
// order in which names are put are part of that form.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kova
{

class VStream;

class _VHashKeyMap
{
public:
    static constexpr uint32_t kEmptyCell = 0xFFFFFFFFu;

    // The vector size for a count of names; 0 beyond the supported range.
    static size_t _ComputeHashVectorSize(size_t inCount);

    bool IsEmpty() const { return fCells.empty(); }
    size_t GetSize() const { return fCells.size(); }
    uint32_t GetCell(size_t inIndex) const { return fCells[inIndex]; }
    // The cell where a name of that hash starts; the map must not be empty.
    uint32_t GetHomeCell(uint32_t inHash) const { return fCells[inHash % fCells.size()]; }
    void Clear();

    // A new vector sized for the count, all cells empty. False, with an empty vector, when it
    // cannot be allocated.
    bool Rebuild(size_t inCount) { return Allocate(_ComputeHashVectorSize(inCount)); }
    // The same with the number of cells.
    bool Allocate(size_t inSize);
    // The first empty cell from the home cell on takes the slot; false when every cell is taken.
    bool Put(uint32_t inHash, uint32_t inSlot);

    // Stream form: the number of cells, then the cells, each 32 bits in the stream's order.
    VError WriteToStream(VStream* ioStream) const;
    // Reads that form for a dictionary of inSlotCount names. A cell naming no slot, a slot named
    // twice, or a vector too small for the names is corrupt data (kova 207); a count of cells
    // beyond the stream's data ends reading at its end. The vector is left empty on failure.
    VError Rebuild(VStream* ioStream, size_t inSlotCount);

private:
    // Makes fNextFree for the cells as they are; false when memory runs out.
    bool _TrackFreeCells();

    std::vector<uint32_t> fCells;
    // Made at the first Put, so that names sharing a home cell do not each walk the run of cells
    // taken before them: for a taken cell, a later cell (circularly) such that every cell in
    // between is taken; an empty cell names itself. Cells only fill until the vector is made again,
    // so the links stay true and are shortened as they are followed.
    std::vector<uint32_t> fNextFree;
    size_t fTaken = 0;
};

} // namespace kova
