// VJSONCloner is one deep-copy job over a graph of JSON objects and arrays. It remembers the clone
// made for each source collection, so that a collection reached twice, or through a cycle, is
// cloned once: the copy has the same sharing and the same cycles as the source. Its map keeps every
// clone alive until the cloner goes, and a second CloneValue on the same cloner reuses the clones
// of the first.
//
//     VJSONCloner cloner;
//     VJSONValue copy(source);
//     if (cloner.CloneValue(copy) == VE_OK)
//         ... // copy holds the clone
//
// Modes: 0 (the default) copies everything; 1 keeps shared collections (those with a storage
// locker, and objects whose delegate may be shared) by reference; 2 binds every new collection to
// one storage locker of the cloner's.
#pragma once

#include "kernel/json/VJSONAddressTable.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace kova
{

class VJSONArray;
class VJSONObject;
class VStorageLocker;

class VJSONCloner : public VObject
{
public:
    static constexpr uint32_t kCopyAll = 0;
    static constexpr uint32_t kKeepShared = 1;
    static constexpr uint32_t kBindToOneLocker = 2;

    VJSONCloner();
    explicit VJSONCloner(uint32_t inMode);
    VJSONCloner(const VJSONCloner&) = delete;
    VJSONCloner& operator=(const VJSONCloner&) = delete;
    ~VJSONCloner() override;

    uint32_t GetMode() const { return fMode; }

    // An object or array value becomes its clone; other values are copies already (0).
    VError CloneValue(VJSONValue& ioValue);
    // The clone of the source (the one made before, possibly still being filled, when the source
    // was met already). A null source gives undefined. On failure (kova 100 when memory ran out)
    // the result is undefined.
    VError CloneObject(const VJSONObject* inSource, VJSONValue& outResult);
    VError CloneArray(const VJSONArray* inSource, VJSONValue& outResult);

    // Mode 2's locker, made on first need (adoptable); handed out again, it is no longer adoptable.
    // Owned by the cloner.
    VStorageLocker* GetStorageLockerAndAssignIfNecessary();
    void SetStorageLocker(VStorageLocker* inLocker);

private:
    template <class T>
    VError _CloneCollection(const T* inSource, VJSONValue& outResult);
    // The clone slot of the source, and whether it is new (undefined). May throw bad_alloc,
    // changing nothing then.
    std::pair<VJSONValue*, bool> _FindOrAdd(const void* inSource);

    // The clones, in the order they were begun; a deque keeps each in place while later ones are
    // added, so that a clone still being filled is where a cycle back to its source finds it.
    std::deque<VJSONValue> fClones;
    // Each source's clone: its place in fClones.
    VJSONAddressTable fSources;
    uint32_t fMode = kCopyAll;
    VStorageLocker* fLocker = nullptr;
};

} // namespace kova
