// VJSONGraph frees the reference cycles of JSON objects and arrays, which plain reference counting
// never frees. Every group of collections that hold one another belongs to one graph, which knows
// its members and two counts: the sum of the members' reference counts (fMemberRefCount) and the
// number of references that members hold to members (fInternalRefCount). Their difference is the
// number of references held from outside the group; when a member is released while the only one
// left is that very release, the group-wide check empties every member, and the counts then free
// them. A second, local check frees a part of a group that has just been cut off from the rest:
// after a container drops a child, the part reachable from the child is emptied when the
// references its members hold to each other account for all their counts.
//
// The graph works beside the collections: the object and array code calls Connect when a
// collection starts holding another, Disconnect (or the local check) when it stops, and the
// group-wide check from Release. A collection that holds no collection and is held by none has no
// graph; all collections linked by references share one. Groups that never held a cycle
// (fHasCycle clear) are never walked: a tree is freed by ordinary counting.
//
// StGraphLocker::sMutex, one process-wide lock, guards the links of every group that holds a
// collection shared between tasks (fIsShared); groups of one task take no lock.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace kova
{

class VJSONArray;
class VJSONObject;
class VJSONValue;

// Holds StGraphLocker::sMutex for one scope, when asked to. Lock order: sMutex first, then a
// storage locker's own lock.
class StGraphLocker
{
public:
    explicit StGraphLocker(bool inLock = true) : fLocked(inLock)
    {
        if (fLocked)
            sMutex.Lock();
    }
    ~StGraphLocker()
    {
        if (fLocked)
            sMutex.Unlock();
    }
    StGraphLocker(const StGraphLocker&) = delete;
    StGraphLocker& operator=(const StGraphLocker&) = delete;

    // Constant-initialised, so that it exists before any static initialiser runs.
    static VCriticalSection sMutex;

private:
    bool fLocked;
};

class VJSONGraph : public VObject, public IRefCountable
{
public:
    // A collection's position when it is in no graph's member list.
    static constexpr uint32_t kNoPosition = UINT32_MAX;
    // One collection of a walk: an object or an array.
    struct Node;

    VJSONGraph();
    VJSONGraph(const VJSONGraph&) = delete;
    VJSONGraph& operator=(const VJSONGraph&) = delete;
    ~VJSONGraph() override;

    // Records one new reference from a container to a child, after it was stored; the slots are
    // the fGraph fields of the two. False, and nothing recorded, when memory ran out: the caller
    // then takes the reference back.
    static bool Connect(VJSONGraph** ioContainerSlot, VJSONGraph** ioChildSlot,
                        VJSONObject* inContainerObject, VJSONArray* inContainerArray,
                        VJSONObject* inChildObject, VJSONArray* inChildArray);
    // The same for the collection the value holds; true for any other value.
    static bool Connect(VJSONGraph** ioContainerSlot, const VJSONValue& inValue,
                        VJSONObject* inContainerObject, VJSONArray* inContainerArray);
    // A container of the graph no longer holds the reference of the value (already taken out of
    // the container; the caller releases it afterwards). Nothing for a null graph or a scalar.
    static void Disconnect(VJSONGraph* inGraph, const VJSONValue& inValue);
    // The same without the local check: the container is being emptied.
    static void DisconnectWithoutCheck(VJSONGraph* inGraph, const VJSONValue& inValue);

    // The local check, right after an edge to the collection was dropped and before the dropped
    // reference is released.
    static void ReleaseObjectDependenciesIfNecessary(VJSONObject* inObject);
    static void ReleaseArrayDependenciesIfNecessary(VJSONArray* inArray);
    // Empties the listed part of the graph when their reference counts add up to the visit count;
    // the graph's counts lose what the part brought.
    static void ReleaseDependenciesIfNecessary(VJSONGraph* inGraph,
                                               const std::vector<VJSONObject*>& inObjects,
                                               const std::vector<VJSONArray*>& inArrays,
                                               uint32_t inVisitCount);
    // The group-wide check, from a member's Release: true when it emptied the group.
    bool ReleaseGraphDependenciesIfNecessary(const void* inCollection);

    // Adds the collections, with all they reach, to the members and counts (the set form).
    void CollectReferences(VJSONObject* inObject, VJSONArray* inArray);
    // The local check's walk (the list form): every collection reachable once in the lists, the
    // visit count 1 plus one per reference between them, the cycle flag set on a revisit.
    static void CollectObjectReferences(VJSONObject* inObject, std::vector<VJSONObject*>& ioObjects,
                                        std::vector<VJSONArray*>& ioArrays, uint32_t& ioVisitCount,
                                        bool& ioCycle);
    static void CollectArrayReferences(VJSONArray* inArray, std::vector<VJSONObject*>& ioObjects,
                                       std::vector<VJSONArray*>& ioArrays, uint32_t& ioVisitCount,
                                       bool& ioCycle);

    // For the reader: links a whole tree of new collections, built without links, at once. False
    // when memory ran out (nothing is linked then).
    static bool ConnectTree(const VJSONValue& inRoot);

    static void _CheckConsistency(VJSONGraph*, VJSONObject*, VJSONArray*) {}

    // What the graph knows, for tests and diagnostics.
    bool HasCycle() const { return fHasCycle; }
    bool IsShared() const { return fIsShared; }
    uint32_t GetMemberRefCount() const { return fMemberRefCount.load(std::memory_order_relaxed); }
    uint32_t GetInternalRefCount() const { return fInternalRefCount; }
    size_t GetObjectCount() const { return fObjects.size(); }
    size_t GetArrayCount() const { return fArrays.size(); }

private:
    class Walk;

    // Member lists: each member knows its position, so that leaving costs one swap.
    template <class T>
    std::vector<T*>& _Members();
    template <class T>
    bool _IsMember(const T* inCollection) const;
    template <class T>
    void _AddMember(T* inCollection);
    template <class T>
    void _RemoveMember(T* inCollection);
    // Room for that many more members, before anything changes.
    bool _Reserve(size_t inObjects, size_t inArrays);

    // The set-form walk from a collection; ioPending is its stack, reserved by the caller.
    void _Collect(VJSONObject* inObject, VJSONArray* inArray, std::vector<Node>& ioPending);
    // Moves the other graph's members and counts here; the other may be freed on return.
    void _Absorb(VJSONGraph* inOther);
    // The graph now holds a collection shared between tasks: every member locks from now on.
    void _SetShared();
    // Clears the member's link; a member still alive is retained (true).
    template <class T>
    bool _Detach(T* inMember);
    template <class T>
    static void _ReleaseIfNecessary(T* inCollection);
    // For a member's destructor, its links already dropped.
    void _Leave(VJSONObject* inObject);
    void _Leave(VJSONArray* inArray);

    bool fHasCycle = false;
    bool fIsShared = false;
    std::atomic<uint32_t> fMemberRefCount{0};
    uint32_t fInternalRefCount = 0;
    std::vector<VJSONObject*> fObjects;
    std::vector<VJSONArray*> fArrays;

    friend class VJSONArray;
    friend class VJSONCollection;
    friend class VJSONObject;
};

} // namespace kova
