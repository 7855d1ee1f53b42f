// VJSONCollection is what JSON objects and arrays share: their reference counting, which keeps
// the counts of their reference graph (VJSONGraph) and runs its group-wide check, their link to a
// graph, the storage locker that shares them between tasks (VStorageLocker) and the change stamp
// attached to them (VJSONStamp).
//
// A collection is locked-shared when it has a storage locker; it is in a shared graph when its
// graph holds a collection shared between tasks. Either makes every change, and every Retain and
// Release, take StGraphLocker::sMutex; readers take sMutex and the locker's own lock only when the
// collection has a locker. A collection that is neither belongs to one task and takes no lock.
#pragma once

#include "kernel/json/VJSONGraph.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <atomic>
#include <cstdint>

namespace kova
{

class VJSONStamp;
class VStorageLocker;

class VJSONCollection : public VObject, public IRefCountable
{
public:
    VJSONCollection(const VJSONCollection&) = delete;
    VJSONCollection& operator=(const VJSONCollection&) = delete;

    // Member counts of the graph move with the collection's own count; a release of a member of a
    // graph that may hold a cycle runs the group-wide check first.
    uint32_t Retain(const char* inTag = nullptr) const final;
    uint32_t Release(const char* inTag = nullptr) const final;

    // Collections that hold each other are freed one after the other, never recursively, so that
    // a deep tree cannot exhaust the stack of the task that drops it.
    void DoOnRefCountZero() final;

    // The locker, retained (read under sMutex); null when the collection is not shared.
    VRefPtr<VStorageLocker> GetStorageLocker() const;
    // Binds the collection to another locker (null: to none); under sMutex when the collection is
    // locked-shared or in a shared graph. _SetStorageLocker takes no lock: its caller holds it.
    void SetStorageLocker(VStorageLocker* inLocker);
    void _SetStorageLocker(VStorageLocker* inLocker);
    // Locked-shared, or in a shared graph.
    bool IsSharedGraph() const;
    // 0 without locker; else the locker's identifier, negated when it serves references only or is
    // still adoptable.
    int32_t GetSharedID() const;
    // Attaches a change counter (retained; null detaches), under sMutex when shared.
    void _SwapJSONStamp(VJSONStamp* inStamp);
    VJSONStamp* _GetJSONStamp() const { return fJSONStamp; }

    // The graph (null when none) and the references held by connected containers.
    VJSONGraph* _GetGraph() const { return fGraph; }
    uint32_t _GetInDegree() const { return fInDegree; }
    // Whether a change (and a Retain or Release) takes sMutex.
    bool _NeedsGraphLock() const
    {
        return fStorageLocker.load(std::memory_order_relaxed) != nullptr ||
               fInSharedGraph.load(std::memory_order_relaxed);
    }
    // The locker without reference; stable while sMutex is held or for the collection's own task.
    VStorageLocker* _GetLocker() const { return fStorageLocker.load(std::memory_order_relaxed); }

protected:
    VJSONCollection() = default;
    ~VJSONCollection() override;

    // One change more on the attached counter.
    void _TouchJSONStamp();

    VJSONGraph* fGraph = nullptr;
    uint32_t fInDegree = 0;
    uint32_t fGraphPosition = VJSONGraph::kNoPosition;
    // Set while the collection is a member of a shared graph: read without lock to decide whether
    // to take sMutex, so that no task follows fGraph unguarded while another merges graphs.
    std::atomic<bool> fInSharedGraph{false};
    std::atomic<VStorageLocker*> fStorageLocker{nullptr};
    VJSONStamp* fJSONStamp = nullptr;

    friend class VJSONGraph;
};

// The locks of one read or change of a collection: sMutex when asked, and always when the
// collection has a locker, then that locker's own lock (the locker read under sMutex). Left in
// reverse order.
class StCollectionLocks
{
public:
    StCollectionLocks(const VJSONCollection* inCollection, bool inGraphLock);
    ~StCollectionLocks();
    StCollectionLocks(const StCollectionLocks&) = delete;
    StCollectionLocks& operator=(const StCollectionLocks&) = delete;

    VStorageLocker* GetLocker() const { return fLocker; }
    // For a change: false, with inError raised, when the collection is locked and the calling
    // task does not hold its locker.
    bool CheckHeld(VError inError) const;

private:
    bool fGraphLocked = false;
    VStorageLocker* fLocker = nullptr;
};

} // namespace kova
