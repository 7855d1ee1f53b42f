// VStorageLocker is the lock of JSON collections shared between tasks: one locker usually serves a
// whole structure of objects and arrays. Any task may read a locked collection at any time (each
// read holds the locker's critical section, fLock, for its length), but only the task that holds
// the locker changes it; other writers are refused at once (QLRT -10719 for objects, -10720 for
// arrays), never made to wait. A task takes the locker with Use, which waits while another task
// holds it, executing its own messages meanwhile, and gives it back with EndUse; VJSONUser does
// both for one scope:
//
//     VJSONUser user(sharedObject);
//     sharedObject->SetProperty(name, value); // refused unless user.IsInUse()
//
// Assign decides whether a collection bound to another locker may be stored into a collection of
// this locker, and may rebind it: a locker that still serves only the collection it was made for
// (adoptable) is given up for the container's.
//
// Lock order: StGraphLocker::sMutex first, then a locker's fLock; Use, EndUse and TryToUse take
// fLock alone and never wait while holding it.
#pragma once

#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"

#include <atomic>
#include <cstdint>
#include <set>

namespace kova
{

class VJSONArray;
class VJSONObject;
class VJSONValue;
class VTask;

class VStorageLocker : public VObject, public IRefCountable
{
public:
    // A fresh locker: free, with the next identifier.
    VStorageLocker(bool inReferencesOnly, bool inAdoptable);
    VStorageLocker(const VStorageLocker&) = delete;
    VStorageLocker& operator=(const VStorageLocker&) = delete;
    ~VStorageLocker() override;

    // Waits until the locker is free or the calling task's, then takes it once more. False,
    // without it, outside a task or when the task is stopped while waiting.
    bool Use();
    // The owner gives one use back; the last one frees the locker and wakes every waiting task.
    // Nothing for another task.
    void EndUse();
    // Takes the locker only when it can at once.
    bool TryToUse();

    // May the collection (object or array) bound to inOther be stored into a collection bound to
    // this locker? An adoptable inOther gives the collection to this locker. A refusal raises its
    // error and changes nothing.
    bool Assign(VStorageLocker* inOther, VJSONObject* inObject, VJSONArray* inArray);
    // Assign for what the value holds; true for scalars and for objects whose delegate may be
    // shared without a locker.
    bool AssignValue(const VJSONValue& inValue);

    // Whether the calling task holds the locker. Collections ask it under fLock; the answer can
    // only become true through the calling task itself.
    bool IsHeldByCurrentTask() const;
    // The identifier, negated when the locker serves references only or is still adoptable.
    int32_t GetSharedID() const;
    uint32_t GetID() const { return fID; }
    bool IsReferencesOnly() const { return fReferencesOnly; }
    bool IsAdoptable() const { return fAdoptable.load(std::memory_order_relaxed); }
    // The locker now serves more than the collection it was made for.
    void ClearAdoptable() { fAdoptable.store(false, std::memory_order_relaxed); }
    VCriticalSection& GetLock() { return fLock; }

    int32_t GetOwnerTaskID() const { return fOwnerTaskID.load(std::memory_order_acquire); }
    int32_t GetUseCount() const { return fUseCount.load(std::memory_order_acquire); }
    bool IsWaiting(const VTask* inTask);

    static std::atomic<uint32_t> sNextID;

    // For tests: called in Use after the waiting task left fLock and before it waits.
    static void _SetWaitHookForTesting(void (*inHook)());

private:
    std::set<VTask*> fWaitingTasks;
    VCriticalSection fLock;
    // Written under fLock; read without it where only the owner can make a test true.
    std::atomic<int32_t> fOwnerTaskID{0};
    std::atomic<int32_t> fUseCount{0};
    const uint32_t fID;
    const bool fReferencesOnly;
    std::atomic<bool> fAdoptable;
};

// VJSONUser holds the locker of one collection for one scope: made, it waits in Use (or tries
// once); destroyed, it gives the use back. A collection without locker needs none: the user is then
// in use at once.
class VJSONUser : public VObject
{
public:
    VJSONUser(VRefPtr<VStorageLocker>&& inLocker, bool inTryOnly);
    explicit VJSONUser(const VJSONObject* inObject, bool inTryOnly = false);
    explicit VJSONUser(const VJSONArray* inArray, bool inTryOnly = false);
    explicit VJSONUser(const VJSONValue& inValue, bool inTryOnly = false);
    VJSONUser(const VJSONUser&) = delete;
    VJSONUser& operator=(const VJSONUser&) = delete;
    ~VJSONUser() override;

    bool IsInUse() const { return fInUse; }
    VStorageLocker* GetLocker() const { return fLocker.Get(); }

private:
    void _Enter(bool inTryOnly);

    VRefPtr<VStorageLocker> fLocker;
    bool fInUse = true;
};

} // namespace kova
