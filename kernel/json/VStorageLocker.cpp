#include "kernel/json/VStorageLocker.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONGraph.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"

#include <new>

namespace kova
{

std::atomic<uint32_t> VStorageLocker::sNextID{1};

namespace
{

std::atomic<void (*)()> sWaitHook{nullptr};

} // namespace

VStorageLocker::VStorageLocker(bool inReferencesOnly, bool inAdoptable)
    : fID(sNextID.fetch_add(1, std::memory_order_relaxed)), fReferencesOnly(inReferencesOnly),
      fAdoptable(inAdoptable)
{
}

VStorageLocker::~VStorageLocker() = default;

bool VStorageLocker::Use()
{
    VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr)
        return false;
    const int32_t taskID = task->GetID();
    for (;;)
    {
        fLock.Lock();
        const int32_t owner = fOwnerTaskID.load(std::memory_order_relaxed);
        if (owner == 0 || owner == taskID)
        {
            fOwnerTaskID.store(taskID, std::memory_order_release);
            fUseCount.fetch_add(1, std::memory_order_acq_rel);
            fLock.Unlock();
            return true;
        }
        bool listed = true;
        try
        {
            fWaitingTasks.insert(task);
        }
        catch (const std::bad_alloc&)
        {
            // Not listed, so no EndUse wakes it: it looks again after a short sleep.
            listed = false;
        }
        // Read before leaving fLock: an EndUse between here and the wait advances it, and the
        // wait then ends at once instead of missing the wake-up.
        const uint32_t stamp = task->GetMessageQueueEventStamp();
        fLock.Unlock();
        if (void (*hook)() = sWaitHook.load(std::memory_order_acquire))
            hook();
        if (listed)
            VTask::WaitAndExecuteMessagesSince(stamp);
        else
            VTask::Sleep(1);
        fLock.Lock();
        fWaitingTasks.erase(task);
        fLock.Unlock();
        if (task->IsDying())
            return false;
    }
}

void VStorageLocker::EndUse()
{
    StLocker lock(fLock);
    if (fOwnerTaskID.load(std::memory_order_relaxed) != VTaskMgr::GetCurrentTaskID() ||
        fUseCount.load(std::memory_order_relaxed) <= 0)
        return;
    if (fUseCount.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    fOwnerTaskID.store(0, std::memory_order_release);
    // Every waiting task wakes; the first to enter fLock takes the locker, the others wait again.
    for (VTask* waiting : fWaitingTasks)
        waiting->SetMessageQueueEvent();
}

bool VStorageLocker::TryToUse()
{
    const VTask* task = VTaskMgr::GetCurrentTask();
    if (task == nullptr || !fLock.TryToLock())
        return false;
    const int32_t taskID = task->GetID();
    const int32_t owner = fOwnerTaskID.load(std::memory_order_relaxed);
    const bool taken = owner == 0 || owner == taskID;
    if (taken)
    {
        fOwnerTaskID.store(taskID, std::memory_order_release);
        fUseCount.fetch_add(1, std::memory_order_acq_rel);
    }
    fLock.Unlock();
    return taken;
}

bool VStorageLocker::IsHeldByCurrentTask() const
{
    const int32_t taskID = VTaskMgr::GetCurrentTaskID();
    return taskID != 0 && fUseCount.load(std::memory_order_acquire) >= 1 &&
           fOwnerTaskID.load(std::memory_order_acquire) == taskID;
}

int32_t VStorageLocker::GetSharedID() const
{
    const int32_t id = int32_t(fID);
    return fReferencesOnly || IsAdoptable() ? int32_t(0u - fID) : id;
}

bool VStorageLocker::IsWaiting(const VTask* inTask)
{
    StLocker lock(fLock);
    return fWaitingTasks.count(const_cast<VTask*>(inTask)) != 0;
}

bool VStorageLocker::Assign(VStorageLocker* inOther, VJSONObject* inObject, VJSONArray* inArray)
{
    if (inOther == nullptr)
    {
        _ThrowError(VE_JSON_COLLECTION_NOT_SHARED);
        return false;
    }
    if (inOther->IsAdoptable())
    {
        if (fReferencesOnly)
            return true;
        const int32_t owner = inOther->GetOwnerTaskID();
        if (owner != 0 && owner != VTaskMgr::GetCurrentTaskID())
        {
            _ThrowError(VE_JSON_LOCKER_HELD_ELSEWHERE);
            return false;
        }
        ClearAdoptable();
        // Only the given collection moves over: what it holds keeps its own locker.
        if (inObject != nullptr)
            inObject->_SetStorageLocker(this);
        if (inArray != nullptr)
            inArray->_SetStorageLocker(this);
        return true;
    }
    if (inOther == this || fReferencesOnly)
        return true;
    _ThrowError(inObject != nullptr ? VE_JSON_OBJECT_OF_ANOTHER_LOCKER : VE_JSON_ARRAY_OF_ANOTHER_LOCKER);
    return false;
}

bool VStorageLocker::AssignValue(const VJSONValue& inValue)
{
    if (VJSONArray* array = inValue.GetArray())
        return Assign(array->_GetLocker(), nullptr, array);
    if (VJSONObject* object = inValue.GetObject())
    {
        if (object->_GetLocker() == nullptr && object->IsSharableWithoutLocker())
            return true;
        return Assign(object->_GetLocker(), object, nullptr);
    }
    return true;
}

void VStorageLocker::_SetWaitHookForTesting(void (*inHook)())
{
    sWaitHook.store(inHook, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// VJSONUser

VJSONUser::VJSONUser(VRefPtr<VStorageLocker>&& inLocker, bool inTryOnly) : fLocker(std::move(inLocker))
{
    _Enter(inTryOnly);
}

VJSONUser::VJSONUser(const VJSONObject* inObject, bool inTryOnly)
{
    if (inObject != nullptr)
        fLocker = inObject->GetStorageLocker();
    _Enter(inTryOnly);
}

VJSONUser::VJSONUser(const VJSONArray* inArray, bool inTryOnly)
{
    if (inArray != nullptr)
        fLocker = inArray->GetStorageLocker();
    _Enter(inTryOnly);
}

VJSONUser::VJSONUser(const VJSONValue& inValue, bool inTryOnly)
{
    if (const VJSONObject* object = inValue.GetObject())
        fLocker = object->GetStorageLocker();
    else if (const VJSONArray* array = inValue.GetArray())
        fLocker = array->GetStorageLocker();
    _Enter(inTryOnly);
}

VJSONUser::~VJSONUser()
{
    if (fLocker && fInUse)
        fLocker->EndUse();
}

void VJSONUser::_Enter(bool inTryOnly)
{
    if (fLocker)
        fInUse = inTryOnly ? fLocker->TryToUse() : fLocker->Use();
}

} // namespace kova
