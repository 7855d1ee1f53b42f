#include "kernel/json/VJSONGraph.h"

#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"

#include <algorithm>
#include <new>
#include <type_traits>
#include <unordered_set>
#include <utility>

namespace kova
{

// Constant-initialised (VCriticalSection's default constructor is constexpr), never waiting for a
// static initialiser of its own.
constinit VCriticalSection StGraphLocker::sMutex;

// One collection of a walk: an object or an array.
struct VJSONGraph::Node
{
    VJSONObject* fObject = nullptr;
    VJSONArray* fArray = nullptr;
};

namespace
{

using Node = VJSONGraph::Node;

Node NodeOf(const VJSONValue& inValue)
{
    return Node{inValue.GetObject(), inValue.GetArray()};
}

// Calls inVisit with each collection a collection holds, under its locker's own lock when it has
// one (the walk may run on another task than the collection's owner).
template <class VISIT>
void ForEachChild(const Node& inNode, VISIT&& inVisit)
{
    const VJSONCollection* collection =
        inNode.fObject != nullptr ? static_cast<const VJSONCollection*>(inNode.fObject) : inNode.fArray;
    VStorageLocker* locker = collection->_GetLocker();
    if (locker != nullptr)
        locker->GetLock().Lock();
    if (inNode.fObject != nullptr)
    {
        for (const VJSONObject::Property& property : inNode.fObject->_GetProperties())
        {
            Node child = NodeOf(property.fValue);
            if (child.fObject != nullptr || child.fArray != nullptr)
                inVisit(child);
        }
    }
    else
    {
        for (const VJSONValue& value : inNode.fArray->_GetValues())
        {
            Node child = NodeOf(value);
            if (child.fObject != nullptr || child.fArray != nullptr)
                inVisit(child);
        }
    }
    if (locker != nullptr)
        locker->GetLock().Unlock();
}

bool IsSharedCollection(const VJSONObject* inObject, const VJSONArray* inArray)
{
    return (inObject != nullptr && inObject->IsShared()) ||
           (inArray != nullptr && inArray->_GetLocker() != nullptr);
}

} // namespace

VJSONGraph::VJSONGraph() = default;

VJSONGraph::~VJSONGraph() = default;

// ---------------------------------------------------------------------------------------------
// Members

template <>
std::vector<VJSONObject*>& VJSONGraph::_Members<VJSONObject>()
{
    return fObjects;
}

template <>
std::vector<VJSONArray*>& VJSONGraph::_Members<VJSONArray>()
{
    return fArrays;
}

template <class T>
bool VJSONGraph::_IsMember(const T* inCollection) const
{
    const auto& members = const_cast<VJSONGraph*>(this)->_Members<T>();
    uint32_t position = inCollection->fGraphPosition;
    return position < members.size() && members[position] == inCollection;
}

template <class T>
void VJSONGraph::_AddMember(T* inCollection)
{
    auto& members = _Members<T>();
    inCollection->fGraphPosition = uint32_t(members.size());
    members.push_back(inCollection);
    if (fIsShared)
        inCollection->fInSharedGraph.store(true, std::memory_order_relaxed);
}

template <class T>
void VJSONGraph::_RemoveMember(T* inCollection)
{
    if (!_IsMember(inCollection))
        return;
    auto& members = _Members<T>();
    T* last = members.back();
    members[inCollection->fGraphPosition] = last;
    last->fGraphPosition = inCollection->fGraphPosition;
    members.pop_back();
    inCollection->fGraphPosition = kNoPosition;
}

bool VJSONGraph::_Reserve(size_t inObjects, size_t inArrays)
{
    // Geometric growth: a graph grown one member at a time would otherwise be copied whole at
    // every step.
    auto reserve = [](auto& ioMembers, size_t inMore)
    {
        const size_t needed = ioMembers.size() + inMore;
        if (needed > ioMembers.capacity())
            ioMembers.reserve(std::max(needed, 2 * ioMembers.capacity()));
    };
    try
    {
        reserve(fObjects, inObjects);
        reserve(fArrays, inArrays);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

void VJSONGraph::_SetShared()
{
    if (fIsShared)
        return;
    fIsShared = true;
    for (VJSONObject* object : fObjects)
        object->fInSharedGraph.store(true, std::memory_order_relaxed);
    for (VJSONArray* array : fArrays)
        array->fInSharedGraph.store(true, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// Connecting

bool VJSONGraph::Connect(VJSONGraph** ioContainerSlot, VJSONGraph** ioChildSlot,
                         VJSONObject* inContainerObject, VJSONArray* inContainerArray,
                         VJSONObject* inChildObject, VJSONArray* inChildArray)
{
    VJSONGraph* container = *ioContainerSlot;
    VJSONGraph* child = *ioChildSlot;
    const size_t newObjects = (inContainerObject != nullptr) + (inChildObject != nullptr);
    const size_t newArrays = (inContainerArray != nullptr) + (inChildArray != nullptr);

    // Whatever can fail is done first: a graph to make, room in the member lists and in the
    // walk's stack (a collection without graph holds no collection, so the walks are short).
    std::vector<Node> pending;
    try
    {
        pending.reserve(8);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    VJSONGraph* made = nullptr;
    if (container == nullptr && child == nullptr)
    {
        made = new (std::nothrow) VJSONGraph;
        if (made == nullptr || !made->_Reserve(newObjects, newArrays))
        {
            delete made;
            return false;
        }
    }
    else if (container != nullptr && child != nullptr && container != child)
    {
        VJSONGraph* larger = container->fObjects.size() + container->fArrays.size() >=
                                     child->fObjects.size() + child->fArrays.size()
                                 ? container
                                 : child;
        VJSONGraph* smaller = larger == container ? child : container;
        if (!larger->_Reserve(smaller->fObjects.size(), smaller->fArrays.size()))
            return false;
    }
    else if (!(container != nullptr ? container : child)->_Reserve(newObjects, newArrays))
    {
        return false;
    }

    if (inChildObject != nullptr)
        ++inChildObject->fInDegree;
    else
        ++inChildArray->fInDegree;

    if (ioContainerSlot == ioChildSlot)
    {
        // The collection now holds itself.
        if (made != nullptr)
        {
            *ioContainerSlot = made;
            made->fHasCycle = true;
            if (IsSharedCollection(inContainerObject, inContainerArray))
                made->_SetShared();
            // The walk crosses the new self-reference and counts it once.
            made->_Collect(inContainerObject, inContainerArray, pending);
        }
        else
        {
            container->fHasCycle = true;
            ++container->fInternalRefCount;
        }
        return true;
    }

    const bool containerShared = IsSharedCollection(inContainerObject, inContainerArray);
    const bool childShared = IsSharedCollection(inChildObject, inChildArray);
    if (made != nullptr)
    {
        *ioContainerSlot = made;
        if (containerShared || childShared)
            made->_SetShared();
        made->Retain();
        *ioChildSlot = made;
        // The walk from the container crosses the new reference and counts it.
        made->_Collect(inContainerObject, inContainerArray, pending);
        made->_Collect(inChildObject, inChildArray, pending);
    }
    else if (container == nullptr)
    {
        child->Retain();
        *ioContainerSlot = child;
        if (containerShared)
            child->_SetShared();
        child->_Collect(inContainerObject, inContainerArray, pending);
    }
    else if (child == nullptr)
    {
        container->Retain();
        *ioChildSlot = container;
        if (childShared)
            container->_SetShared();
        ++container->fInternalRefCount;
        container->_Collect(inChildObject, inChildArray, pending);
    }
    else if (container == child)
    {
        container->fHasCycle = true;
        ++container->fInternalRefCount;
    }
    else
    {
        // The smaller group moves into the larger: each member switches graph once per merge
        // that makes its group at least twice as large.
        VJSONGraph* larger = container->fObjects.size() + container->fArrays.size() >=
                                     child->fObjects.size() + child->fArrays.size()
                                 ? container
                                 : child;
        larger->Retain();
        larger->_Absorb(larger == container ? child : container);
        ++larger->fInternalRefCount;
        larger->Release();
    }
    return true;
}

bool VJSONGraph::Connect(VJSONGraph** ioContainerSlot, const VJSONValue& inValue,
                         VJSONObject* inContainerObject, VJSONArray* inContainerArray)
{
    if (VJSONObject* object = inValue.GetObject())
        return Connect(ioContainerSlot, &object->fGraph, inContainerObject, inContainerArray, object,
                       nullptr);
    if (VJSONArray* array = inValue.GetArray())
        return Connect(ioContainerSlot, &array->fGraph, inContainerObject, inContainerArray, nullptr, array);
    return true;
}

void VJSONGraph::_Collect(VJSONObject* inObject, VJSONArray* inArray, std::vector<Node>& ioPending)
{
    if (inObject == nullptr && inArray == nullptr)
        return;
    std::vector<Node>& pending = ioPending;
    pending.push_back(Node{inObject, inArray});
    while (!pending.empty())
    {
        Node node = pending.back();
        pending.pop_back();
        if (node.fObject != nullptr ? _IsMember(node.fObject) : _IsMember(node.fArray))
            continue;
        if (node.fObject != nullptr)
            _AddMember(node.fObject);
        else
            _AddMember(node.fArray);
        const VJSONCollection* collection =
            node.fObject != nullptr ? static_cast<const VJSONCollection*>(node.fObject) : node.fArray;
        fMemberRefCount.fetch_add(collection->GetRefCount(), std::memory_order_relaxed);
        ForEachChild(node,
                     [&](const Node& inChild)
                     {
                         ++fInternalRefCount;
                         pending.push_back(inChild);
                     });
    }
}

void VJSONGraph::CollectReferences(VJSONObject* inObject, VJSONArray* inArray)
{
    std::vector<Node> pending;
    _Collect(inObject, nullptr, pending);
    _Collect(nullptr, inArray, pending);
}

void VJSONGraph::_Absorb(VJSONGraph* inOther)
{
    fHasCycle = fHasCycle || inOther->fHasCycle;
    if (inOther->fIsShared)
        _SetShared();
    fMemberRefCount.fetch_add(inOther->fMemberRefCount.exchange(0, std::memory_order_relaxed),
                              std::memory_order_relaxed);
    fInternalRefCount += inOther->fInternalRefCount;
    inOther->fInternalRefCount = 0;
    // The other's lists are taken out first: the other is freed when its last member leaves it.
    std::vector<VJSONObject*> objects = std::move(inOther->fObjects);
    std::vector<VJSONArray*> arrays = std::move(inOther->fArrays);
    inOther->fObjects.clear();
    inOther->fArrays.clear();
    auto move = [this](auto* inMember)
    {
        _AddMember(inMember);
        if (inMember->fGraph != this)
        {
            Retain();
            VJSONGraph* previous = inMember->fGraph;
            inMember->fGraph = this;
            previous->Release();
        }
    };
    for (VJSONObject* object : objects)
        move(object);
    for (VJSONArray* array : arrays)
        move(array);
}

bool VJSONGraph::ConnectTree(const VJSONValue& inRoot)
{
    Node root = NodeOf(inRoot);
    if (root.fObject == nullptr && root.fArray == nullptr)
        return true;
    // A collection already linked (a value the reader decoded from its binary form, which may
    // hold cycles) is no part of the tree: the edges into it are recorded the ordinary way once
    // the tree is linked.
    auto linked = [](const Node& inNode)
    { return (inNode.fObject != nullptr ? inNode.fObject->fGraph : inNode.fArray->fGraph) != nullptr; };
    if (linked(root))
        return true;
    std::vector<std::pair<Node, Node>> linkedEdges;
    // A tree holding no collection needs no graph.
    bool holdsCollections = false;
    ForEachChild(root, [&](const Node&) { holdsCollections = true; });
    if (!holdsCollections)
        return true;

    VJSONGraph* graph = new (std::nothrow) VJSONGraph;
    if (graph == nullptr)
        return false;
    std::vector<Node> pending;
    try
    {
        // Every collection is new and reached once: a tree. Nobody else can see it yet, so no
        // lock is taken.
        pending.push_back(root);
        while (!pending.empty())
        {
            Node node = pending.back();
            pending.pop_back();
            VJSONCollection* collection =
                node.fObject != nullptr ? static_cast<VJSONCollection*>(node.fObject) : node.fArray;
            if (node.fObject != nullptr)
                graph->_AddMember(node.fObject);
            else
                graph->_AddMember(node.fArray);
            if (collection->_GetLocker() != nullptr)
                graph->fIsShared = true;
            ForEachChild(node,
                         [&](const Node& inChild)
                         {
                             if (linked(inChild))
                             {
                                 linkedEdges.emplace_back(node, inChild);
                                 return;
                             }
                             ++graph->fInternalRefCount;
                             pending.push_back(inChild);
                         });
        }
    }
    catch (const std::bad_alloc&)
    {
        for (VJSONObject* object : graph->fObjects)
            object->fGraphPosition = kNoPosition;
        for (VJSONArray* array : graph->fArrays)
            array->fGraphPosition = kNoPosition;
        delete graph;
        return false;
    }
    // Nothing can fail from here on. In a tree every collection but the root is held once.
    const VJSONCollection* rootCollection =
        root.fObject != nullptr ? static_cast<const VJSONCollection*>(root.fObject) : root.fArray;
    uint32_t memberCount = 0;
    auto link = [&](VJSONCollection* inMember)
    {
        if (inMember != rootCollection)
            ++inMember->fInDegree;
        memberCount += inMember->GetRefCount();
        if (graph->fIsShared)
            inMember->fInSharedGraph.store(true, std::memory_order_relaxed);
        inMember->fGraph = graph;
    };
    for (VJSONObject* object : graph->fObjects)
        link(object);
    for (VJSONArray* array : graph->fArrays)
        link(array);
    graph->fMemberRefCount.store(memberCount, std::memory_order_relaxed);
    // One reference per member; the graph was born with the first.
    for (size_t i = 1; i < graph->fObjects.size() + graph->fArrays.size(); ++i)
        graph->Retain();
    bool connected = true;
    for (const auto& [container, child] : linkedEdges)
    {
        VJSONGraph** containerSlot =
            container.fObject != nullptr ? &container.fObject->fGraph : &container.fArray->fGraph;
        VJSONGraph** childSlot = child.fObject != nullptr ? &child.fObject->fGraph : &child.fArray->fGraph;
        connected = Connect(containerSlot, childSlot, container.fObject, container.fArray, child.fObject,
                            child.fArray) &&
                    connected;
    }
    return connected;
}

// ---------------------------------------------------------------------------------------------
// Disconnecting and the local check

void VJSONGraph::DisconnectWithoutCheck(VJSONGraph* inGraph, const VJSONValue& inValue)
{
    if (inGraph == nullptr)
        return;
    if (VJSONObject* object = inValue.GetObject())
        --object->fInDegree;
    else if (VJSONArray* array = inValue.GetArray())
        --array->fInDegree;
    else
        return;
    --inGraph->fInternalRefCount;
}

void VJSONGraph::Disconnect(VJSONGraph* inGraph, const VJSONValue& inValue)
{
    if (inGraph == nullptr)
        return;
    DisconnectWithoutCheck(inGraph, inValue);
    if (VJSONObject* object = inValue.GetObject())
        ReleaseObjectDependenciesIfNecessary(object);
    else if (VJSONArray* array = inValue.GetArray())
        ReleaseArrayDependenciesIfNecessary(array);
}

template <class T>
void VJSONGraph::_ReleaseIfNecessary(T* inCollection)
{
    VJSONGraph* graph = inCollection->fGraph;
    // Without a cycle flag the group is a tree of trees: no part of it holds itself.
    if (graph == nullptr || !graph->fHasCycle)
        return;
    const uint32_t inDegree = inCollection->fInDegree;
    if (inDegree == 0 || inDegree + 1 != inCollection->GetRefCount())
        return;
    std::vector<VJSONObject*> objects;
    std::vector<VJSONArray*> arrays;
    uint32_t visitCount = 0;
    bool cycle = false;
    try
    {
        if constexpr (std::is_same_v<T, VJSONObject>)
            CollectObjectReferences(inCollection, objects, arrays, visitCount, cycle);
        else
            CollectArrayReferences(inCollection, objects, arrays, visitCount, cycle);
    }
    catch (const std::bad_alloc&)
    {
        // Not walked: the part stays, as a part still held would.
        return;
    }
    if (cycle)
        ReleaseDependenciesIfNecessary(graph, objects, arrays, visitCount);
}

void VJSONGraph::ReleaseObjectDependenciesIfNecessary(VJSONObject* inObject)
{
    _ReleaseIfNecessary(inObject);
}

void VJSONGraph::ReleaseArrayDependenciesIfNecessary(VJSONArray* inArray)
{
    _ReleaseIfNecessary(inArray);
}

class VJSONGraph::Walk
{
public:
    Walk(std::vector<VJSONObject*>& ioObjects, std::vector<VJSONArray*>& ioArrays, uint32_t& ioVisitCount,
         bool& ioCycle)
        : fObjects(ioObjects), fArrays(ioArrays), fVisitCount(ioVisitCount), fCycle(ioCycle)
    {
        for (VJSONObject* object : fObjects)
            fSeen.insert(object);
        for (VJSONArray* array : fArrays)
            fSeen.insert(array);
    }

    void Run(Node inStart)
    {
        std::vector<Node> pending{inStart};
        while (!pending.empty())
        {
            Node node = pending.back();
            pending.pop_back();
            ++fVisitCount;
            const void* address =
                node.fObject != nullptr ? static_cast<const void*>(node.fObject) : node.fArray;
            if (!fSeen.insert(address).second)
            {
                fCycle = true;
                continue;
            }
            if (node.fObject != nullptr)
                fObjects.push_back(node.fObject);
            else
                fArrays.push_back(node.fArray);
            ForEachChild(node, [&](const Node& inChild) { pending.push_back(inChild); });
        }
    }

private:
    std::vector<VJSONObject*>& fObjects;
    std::vector<VJSONArray*>& fArrays;
    uint32_t& fVisitCount;
    bool& fCycle;
    // The lists are searched through this set, not linearly.
    std::unordered_set<const void*> fSeen;
};

void VJSONGraph::CollectObjectReferences(VJSONObject* inObject, std::vector<VJSONObject*>& ioObjects,
                                         std::vector<VJSONArray*>& ioArrays, uint32_t& ioVisitCount,
                                         bool& ioCycle)
{
    if (inObject != nullptr)
        Walk(ioObjects, ioArrays, ioVisitCount, ioCycle).Run(Node{inObject, nullptr});
}

void VJSONGraph::CollectArrayReferences(VJSONArray* inArray, std::vector<VJSONObject*>& ioObjects,
                                        std::vector<VJSONArray*>& ioArrays, uint32_t& ioVisitCount,
                                        bool& ioCycle)
{
    if (inArray != nullptr)
        Walk(ioObjects, ioArrays, ioVisitCount, ioCycle).Run(Node{nullptr, inArray});
}

// ---------------------------------------------------------------------------------------------
// Emptying

template <class T>
bool VJSONGraph::_Detach(T* inMember)
{
    _RemoveMember(inMember);
    inMember->fGraph = nullptr;
    inMember->fInDegree = 0;
    Release();
    // A member whose count already fell to 0 is being destroyed (queued behind the destruction
    // in progress on its task): it is emptied, never retained again.
    if (inMember->GetRefCount() == 0)
        return false;
    inMember->Retain();
    return true;
}

void VJSONGraph::ReleaseDependenciesIfNecessary(VJSONGraph* inGraph,
                                                const std::vector<VJSONObject*>& inObjects,
                                                const std::vector<VJSONArray*>& inArrays,
                                                uint32_t inVisitCount)
{
    uint32_t sum = 0;
    for (VJSONObject* object : inObjects)
        sum += object->GetRefCount();
    for (VJSONArray* array : inArrays)
        sum += array->GetRefCount();
    if (sum != inVisitCount)
        return;

    std::vector<bool> retained;
    try
    {
        retained.reserve(inObjects.size() + inArrays.size());
    }
    catch (const std::bad_alloc&)
    {
        return;
    }
    inGraph->Retain();
    // The part leaves the group with its counts: its members' references, and the references
    // they hold to each other (all but the one being dropped). Left in, they would keep the
    // group-wide check from ever holding again.
    inGraph->fMemberRefCount.fetch_sub(sum, std::memory_order_relaxed);
    inGraph->fInternalRefCount -= sum - 1;
    for (VJSONObject* object : inObjects)
        retained.push_back(inGraph->_Detach(object));
    for (VJSONArray* array : inArrays)
        retained.push_back(inGraph->_Detach(array));
    for (VJSONObject* object : inObjects)
        object->ClearFromGraph();
    for (VJSONArray* array : inArrays)
        array->ClearFromGraph();
    size_t i = 0;
    for (VJSONObject* object : inObjects)
    {
        if (retained[i++])
            object->Release();
    }
    for (VJSONArray* array : inArrays)
    {
        if (retained[i++])
            array->Release();
    }
    inGraph->Release();
}

bool VJSONGraph::ReleaseGraphDependenciesIfNecessary(const void*)
{
    if (fInternalRefCount + 1 != fMemberRefCount.load(std::memory_order_relaxed))
        return false;
    Retain();
    std::vector<VJSONObject*> objects = std::move(fObjects);
    std::vector<VJSONArray*> arrays = std::move(fArrays);
    fObjects.clear();
    fArrays.clear();
    std::vector<VJSONObject*> retainedObjects;
    std::vector<VJSONArray*> retainedArrays;
    try
    {
        retainedObjects.reserve(objects.size());
        retainedArrays.reserve(arrays.size());
    }
    catch (const std::bad_alloc&)
    {
        // Nothing changed yet: the lists go back, and the group waits for a later release.
        fObjects = std::move(objects);
        fArrays = std::move(arrays);
        Release();
        return false;
    }
    for (VJSONObject* object : objects)
    {
        object->fGraphPosition = kNoPosition;
        if (_Detach(object))
            retainedObjects.push_back(object);
    }
    for (VJSONArray* array : arrays)
    {
        array->fGraphPosition = kNoPosition;
        if (_Detach(array))
            retainedArrays.push_back(array);
    }
    fMemberRefCount.store(0, std::memory_order_relaxed);
    fInternalRefCount = 0;
    // The retains above keep every member alive until its own turn.
    for (VJSONObject* object : objects)
        object->ClearFromGraph();
    for (VJSONArray* array : arrays)
        array->ClearFromGraph();
    for (VJSONObject* object : retainedObjects)
        object->Release();
    for (VJSONArray* array : retainedArrays)
        array->Release();
    Release();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Leaving

void VJSONGraph::_Leave(VJSONObject* inObject)
{
    _RemoveMember(inObject);
}

void VJSONGraph::_Leave(VJSONArray* inArray)
{
    _RemoveMember(inArray);
}

} // namespace kova
