// VJSONAddressTable maps addresses of collections to numbers, for walks that must recognise a
// collection met again (the binary writer's back-references, the cloner's sources, the text
// writer's open containers): open addressing over a table at most half full, one block for all,
// no node per entry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kova
{

class VJSONAddressTable
{
public:
    // The number stored for the address, or null.
    const size_t* Find(const void* inAddress) const
    {
        if (fSlots.empty())
            return nullptr;
        const size_t mask = fSlots.size() - 1;
        for (size_t i = SlotOf(inAddress, mask);; i = (i + 1) & mask)
        {
            if (fSlots[i].fAddress == inAddress)
                return &fSlots[i].fValue;
            if (fSlots[i].fAddress == nullptr)
                return nullptr;
        }
    }

    // Room for that many addresses in all, so that adding up to them neither throws nor moves
    // the table. May throw bad_alloc, changing nothing then.
    void Reserve(size_t inCount)
    {
        if (inCount * 2 > fSlots.size())
            _Rehash(inCount);
    }

    // The number stored for the address and false; or, when it is absent, the address added with
    // inValue, and true. One walk of the table for both. May throw bad_alloc, changing nothing then.
    std::pair<size_t*, bool> FindOrAdd(const void* inAddress, size_t inValue)
    {
        Reserve(fCount + 1);
        const size_t mask = fSlots.size() - 1;
        for (size_t i = SlotOf(inAddress, mask);; i = (i + 1) & mask)
        {
            Slot& slot = fSlots[i];
            if (slot.fAddress == inAddress)
                return {&slot.fValue, false};
            if (slot.fAddress == nullptr)
            {
                slot = Slot{inAddress, inValue};
                ++fCount;
                return {&slot.fValue, true};
            }
        }
    }

    // Adds an address not in the table yet. May throw bad_alloc, changing nothing then.
    void Add(const void* inAddress, size_t inValue)
    {
        Reserve(fCount + 1);
        const size_t mask = fSlots.size() - 1;
        size_t i = SlotOf(inAddress, mask);
        while (fSlots[i].fAddress != nullptr)
            i = (i + 1) & mask;
        fSlots[i] = Slot{inAddress, inValue};
        ++fCount;
    }

    // Forgets the address, when it is in the table.
    void Remove(const void* inAddress)
    {
        if (fSlots.empty())
            return;
        const size_t mask = fSlots.size() - 1;
        size_t hole = SlotOf(inAddress, mask);
        for (; fSlots[hole].fAddress != inAddress; hole = (hole + 1) & mask)
        {
            if (fSlots[hole].fAddress == nullptr)
                return;
        }
        // Later entries of the run move back into the hole unless their home lies after it:
        // every entry must stay reachable from its home without crossing an empty slot.
        for (size_t next = (hole + 1) & mask; fSlots[next].fAddress != nullptr; next = (next + 1) & mask)
        {
            const size_t home = SlotOf(fSlots[next].fAddress, mask);
            const bool homeAfterHole =
                hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
            if (homeAfterHole)
                continue;
            fSlots[hole] = fSlots[next];
            hole = next;
        }
        fSlots[hole] = Slot{};
        --fCount;
    }

private:
    struct Slot
    {
        const void* fAddress = nullptr;
        size_t fValue = 0;
    };

    // Spreads an address over a power-of-two table (the low bits of addresses are alike).
    static size_t SlotOf(const void* inAddress, size_t inMask)
    {
        uint64_t h = reinterpret_cast<uintptr_t>(inAddress);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        return size_t(h) & inMask;
    }

    void _Rehash(size_t inCount)
    {
        size_t size = 16;
        while (size < inCount * 2)
            size *= 2;
        std::vector<Slot> slots(size);
        for (const Slot& old : fSlots)
        {
            if (old.fAddress == nullptr)
                continue;
            size_t i = SlotOf(old.fAddress, size - 1);
            while (slots[i].fAddress != nullptr)
                i = (i + 1) & (size - 1);
            slots[i] = old;
        }
        fSlots.swap(slots);
    }

    std::vector<Slot> fSlots;
    size_t fCount = 0;
};

} // namespace kova
