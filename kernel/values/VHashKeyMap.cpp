#include "kernel/values/VHashKeyMap.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/VPackedKeyIndex.h"

#include <new>

namespace kova
{

namespace
{

// Bounds and sizes of the ladder, compared in this order. The bounds are kept as they have
// always been, including those that break the pattern: stored vectors depend on them.
struct LadderRung
{
    uint64_t fBound;
    uint64_t fSize;
};

constexpr LadderRung kLadder[] = {
    {5, 5},
    {9, 11},
    {18, 23},
    {30, 41},
    {48, 67},
    {77, 113},
    {124, 199},
    {200, 317},
    {323, 521},
    {522, 839},
    {844, 1361},
    {1365, 2207},
    {2208, 3571},
    {3572, 5779},
    {5779, 9349},
    {9350, 15121},
    {15128, 24473},
    {24477, 39607},
    {39604, 64081},
    {64080, 103681},
    {103683, 167759},
    {167762, 271429},
    {271444, 439199},
    {439205, 710641},
    {710648, 1149857},
    {1149852, 1860503},
    {1860499, 3010349},
    {3010350, 4870843},
    {4870848, 7881193},
    {7881197, 12752029},
    {12752044, 20633237},
    {20633240, 33385273},
    {33385283, 54018521},
    {54018522, 87403763},
    {87403804, 141422317},
    {141422325, 228826121},
    {228826128, 370248451},
    {370248452, 599074561},
    {599074579, 969323023},
    {969323030, 1568397599},
    {1568397608, 2537720629},
    {2537720637, 4106118251},
};

} // namespace

size_t _VHashKeyMap::_ComputeHashVectorSize(size_t inCount)
{
    for (const LadderRung& rung : kLadder)
    {
        if (inCount < rung.fBound)
            return size_t(rung.fSize);
    }
    return 0;
}

void _VHashKeyMap::Clear()
{
    fCells.clear();
    fCells.shrink_to_fit();
    fNextFree.clear();
    fNextFree.shrink_to_fit();
    fTaken = 0;
}

bool _VHashKeyMap::Allocate(size_t inSize)
{
    Clear();
    if (inSize == 0)
        return false;
    try
    {
        fCells.assign(inSize, kEmptyCell);
    }
    catch (const std::bad_alloc&)
    {
        Clear();
        return false;
    }
    return true;
}

bool _VHashKeyMap::_TrackFreeCells()
{
    const size_t size = fCells.size();
    try
    {
        fNextFree.resize(size);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    fTaken = 0;
    for (size_t i = 0; i < size; ++i)
    {
        bool taken = fCells[i] != kEmptyCell;
        fNextFree[i] = uint32_t(taken ? (i + 1) % size : i);
        fTaken += taken ? 1 : 0;
    }
    return true;
}

bool _VHashKeyMap::Put(uint32_t inHash, uint32_t inSlot)
{
    const size_t size = fCells.size();
    if (size == 0)
        return false;
    size_t cell = inHash % size;
    uint64_t probes = 1;
    if (fNextFree.size() == size || _TrackFreeCells())
    {
        if (fTaken >= size)
            return false;
        // Each link followed is pointed one link further on.
        while (fCells[cell] != kEmptyCell)
        {
            uint32_t next = fNextFree[cell];
            fNextFree[cell] = fNextFree[next];
            cell = next;
            ++probes;
        }
        fNextFree[cell] = uint32_t((cell + 1) % size);
        ++fTaken;
    }
    else
    {
        // Without memory for the links: cell after cell.
        for (; fCells[cell] != kEmptyCell; cell = (cell + 1) % size, ++probes)
        {
            if (probes > size)
                return false;
        }
    }
    fCells[cell] = inSlot;
    sPackedDictionaryProbeCount += probes;
    return true;
}

VError _VHashKeyMap::WriteToStream(VStream* ioStream) const
{
    ioStream->Put(uint32_t(fCells.size()));
    if (!fCells.empty())
        ioStream->PutLongs(reinterpret_cast<const int32_t*>(fCells.data()), int32_t(fCells.size()));
    return ioStream->GetLastError();
}

VError _VHashKeyMap::Rebuild(VStream* ioStream, size_t inSlotCount)
{
    Clear();
    uint32_t count = 0;
    VError error = ioStream->Get(count);
    if (error != VE_OK)
        return error;
    if (!StreamHolds(ioStream, uint64_t(count) * sizeof(uint32_t)))
        return FailAtEndOfStream(ioStream);
    if (count < inSlotCount || (count == 0 && inSlotCount != 0))
        return ThrowCorruptData();
    try
    {
        fCells.resize(count);
    }
    catch (const std::bad_alloc&)
    {
        Clear();
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    if (count != 0)
    {
        int32_t read = int32_t(count);
        error = ioStream->GetLongs(reinterpret_cast<int32_t*>(fCells.data()), &read);
        if (error != VE_OK)
        {
            Clear();
            return error;
        }
    }
    // Every name once, no cell naming a slot that does not exist: look-ups then stay in range.
    std::vector<bool> seen;
    try
    {
        seen.assign(inSlotCount, false);
    }
    catch (const std::bad_alloc&)
    {
        Clear();
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    size_t taken = 0;
    for (uint32_t cell : fCells)
    {
        if (cell == kEmptyCell)
            continue;
        if (cell >= inSlotCount || seen[cell])
        {
            Clear();
            return ThrowCorruptData();
        }
        seen[cell] = true;
        ++taken;
    }
    if (taken != inSlotCount)
    {
        Clear();
        return ThrowCorruptData();
    }
    return VE_OK;
}

} // namespace kova
