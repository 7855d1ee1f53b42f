#include "kernel/json/VJSONCloner.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONGraph.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"

#include <cstdint>
#include <new>

namespace kova
{

namespace
{

// Spreads an address over a power-of-two table (the low bits of addresses are alike).
size_t SlotOf(const void* inAddress, size_t inMask)
{
    uint64_t h = reinterpret_cast<uintptr_t>(inAddress);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return size_t(h) & inMask;
}

} // namespace

VJSONCloner::VJSONCloner() = default;

VJSONCloner::VJSONCloner(uint32_t inMode) : fMode(inMode) {}

VJSONCloner::~VJSONCloner()
{
    ReleaseRefCountable(&fLocker);
}

VError VJSONCloner::CloneValue(VJSONValue& ioValue)
{
    VJSONValue clone;
    VError error = VE_OK;
    if (const VJSONObject* object = ioValue.GetObject())
        error = CloneObject(object, clone);
    else if (const VJSONArray* array = ioValue.GetArray())
        error = CloneArray(array, clone);
    else
        return VE_OK;
    if (error == VE_OK)
        ioValue = std::move(clone);
    return error;
}

template <class T>
VError VJSONCloner::_CloneCollection(const T* inSource, VJSONValue& outResult)
{
    if (inSource == nullptr)
    {
        outResult.SetUndefined();
        return VE_OK;
    }
    // One level of the source's nesting: a tree deeper than the readers accept fails here.
    StJSONNesting level;
    if (!level.IsOK())
    {
        outResult.SetUndefined();
        return VE_JSON_NOT_ENOUGH_STACK;
    }
    try
    {
        // The first collection's graph bounds how many collections the job meets: the table is
        // made that large at once instead of growing step by step. (A shared graph is read
        // under its locks only: it is left to grow.)
        if (fClones.empty() && !inSource->_NeedsGraphLock())
        {
            if (const VJSONGraph* graph = inSource->_GetGraph())
                _Rehash(graph->GetObjectCount() + graph->GetArrayCount());
        }
        auto [clone, inserted] = _FindOrAdd(inSource);
        VJSONValue& slot = *clone;
        VError error = inserted ? inSource->Clone(slot, *this) : VE_OK;
        outResult = slot;
        return error;
    }
    catch (...)
    {
        outResult.SetUndefined();
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
}

std::pair<VJSONValue*, bool> VJSONCloner::_FindOrAdd(const void* inSource)
{
    if ((fClones.size() + 1) * 2 > fSlots.size())
        _Rehash(fClones.size() + 1);
    const size_t mask = fSlots.size() - 1;
    for (size_t i = SlotOf(inSource, mask);; i = (i + 1) & mask)
    {
        Slot& slot = fSlots[i];
        if (slot.fSource == inSource)
            return {&fClones[slot.fClone], false};
        if (slot.fSource == nullptr)
        {
            fClones.emplace_back();
            slot = Slot{inSource, fClones.size() - 1};
            return {&fClones.back(), true};
        }
    }
}

void VJSONCloner::_Rehash(size_t inSources)
{
    size_t size = 16;
    while (size < inSources * 2)
        size *= 2;
    if (size <= fSlots.size())
        return;
    std::vector<Slot> slots(size);
    const size_t mask = size - 1;
    for (const Slot& old : fSlots)
    {
        if (old.fSource == nullptr)
            continue;
        size_t i = SlotOf(old.fSource, mask);
        while (slots[i].fSource != nullptr)
            i = (i + 1) & mask;
        slots[i] = old;
    }
    fSlots.swap(slots);
}

VError VJSONCloner::CloneObject(const VJSONObject* inSource, VJSONValue& outResult)
{
    return _CloneCollection(inSource, outResult);
}

VError VJSONCloner::CloneArray(const VJSONArray* inSource, VJSONValue& outResult)
{
    return _CloneCollection(inSource, outResult);
}

VStorageLocker* VJSONCloner::GetStorageLockerAndAssignIfNecessary()
{
    if (fLocker != nullptr)
    {
        // Handed out again: it now serves more than one collection.
        fLocker->ClearAdoptable();
        return fLocker;
    }
    fLocker = new VStorageLocker(false, true);
    return fLocker;
}

void VJSONCloner::SetStorageLocker(VStorageLocker* inLocker)
{
    if (inLocker == fLocker)
        return;
    RetainRefCountable(inLocker);
    ReleaseRefCountable(&fLocker);
    fLocker = inLocker;
}

} // namespace kova
