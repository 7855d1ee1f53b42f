#include "kernel/json/VJSONCollection.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/JSONDisposal.h"
#include "kernel/json/VJSONStamp.h"
#include "kernel/json/VStorageLocker.h"

namespace kova
{

VJSONCollection::~VJSONCollection()
{
    if (VStorageLocker* locker = fStorageLocker.exchange(nullptr, std::memory_order_relaxed))
        locker->Release();
    ReleaseRefCountable(&fJSONStamp);
}

uint32_t VJSONCollection::Retain(const char* inTag) const
{
    StGraphLocker lock(_NeedsGraphLock());
    if (fGraph != nullptr)
        fGraph->fMemberRefCount.fetch_add(1, std::memory_order_relaxed);
    return IRefCountable::Retain(inTag);
}

uint32_t VJSONCollection::Release(const char* inTag) const
{
    StGraphLocker lock(_NeedsGraphLock());
    if (fGraph != nullptr && fGraph->fHasCycle)
        fGraph->ReleaseGraphDependenciesIfNecessary(this);
    // The check may have taken the collection out of its graph.
    if (fGraph != nullptr)
        fGraph->fMemberRefCount.fetch_sub(1, std::memory_order_relaxed);
    return IRefCountable::Release(inTag);
}

void VJSONCollection::DoOnRefCountZero()
{
    DisposeJSONCollection(this);
}

VRefPtr<VStorageLocker> VJSONCollection::GetStorageLocker() const
{
    if (_GetLocker() == nullptr)
        return nullptr;
    StGraphLocker lock;
    return VRefPtr<VStorageLocker>::Retained(_GetLocker());
}

void VJSONCollection::SetStorageLocker(VStorageLocker* inLocker)
{
    StGraphLocker lock(_NeedsGraphLock());
    _SetStorageLocker(inLocker);
}

void VJSONCollection::_SetStorageLocker(VStorageLocker* inLocker)
{
    VStorageLocker* previous = _GetLocker();
    if (previous == inLocker)
        return;
    RetainRefCountable(inLocker);
    fStorageLocker.store(inLocker, std::memory_order_release);
    // Other tasks may reach the collection from now on: the links of its whole group become
    // guarded.
    if (inLocker != nullptr && fGraph != nullptr)
        fGraph->_SetShared();
    ReleaseRefCountable(&previous);
}

bool VJSONCollection::IsSharedGraph() const
{
    return _NeedsGraphLock();
}

int32_t VJSONCollection::GetSharedID() const
{
    if (_GetLocker() == nullptr)
        return 0;
    StCollectionLocks locks(this, false);
    return locks.GetLocker() != nullptr ? locks.GetLocker()->GetSharedID() : 0;
}

void VJSONCollection::_SwapJSONStamp(VJSONStamp* inStamp)
{
    StGraphLocker lock(_NeedsGraphLock());
    if (inStamp == fJSONStamp)
        return;
    RetainRefCountable(inStamp);
    VJSONStamp* previous = fJSONStamp;
    fJSONStamp = inStamp;
    ReleaseRefCountable(&previous);
}

void VJSONCollection::_TouchJSONStamp()
{
    if (fJSONStamp != nullptr)
        fJSONStamp->Touch();
}

// ---------------------------------------------------------------------------------------------

StCollectionLocks::StCollectionLocks(const VJSONCollection* inCollection, bool inGraphLock)
{
    if (inCollection->_GetLocker() == nullptr && !inGraphLock)
        return;
    StGraphLocker::sMutex.Lock();
    fGraphLocked = true;
    // Read again under sMutex: a collection is rebound to another locker only under it.
    fLocker = inCollection->_GetLocker();
    if (fLocker != nullptr)
        fLocker->GetLock().Lock();
}

StCollectionLocks::~StCollectionLocks()
{
    if (fLocker != nullptr)
        fLocker->GetLock().Unlock();
    if (fGraphLocked)
        StGraphLocker::sMutex.Unlock();
}

bool StCollectionLocks::CheckHeld(VError inError) const
{
    if (fLocker == nullptr || fLocker->IsHeldByCurrentTask())
        return true;
    _ThrowError(inError);
    return false;
}

} // namespace kova
