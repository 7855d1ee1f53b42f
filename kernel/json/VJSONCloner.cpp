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
                fSources.Reserve(graph->GetObjectCount() + graph->GetArrayCount());
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
    // The clone is made first, so that the table never names one that is missing; a source met
    // again (shared or cyclic parts only) takes it back.
    fClones.emplace_back();
    try
    {
        auto [clone, added] = fSources.FindOrAdd(inSource, fClones.size() - 1);
        if (added)
            return {&fClones.back(), true};
        fClones.pop_back();
        return {&fClones[*clone], false};
    }
    catch (...)
    {
        fClones.pop_back();
        throw;
    }
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
