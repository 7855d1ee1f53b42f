// IMessageable is an object that receives messages (VMessage) on the task that created it. Its
// binding to that task is a shared VMessagingContext that every message in flight holds: when the
// object goes, the context loses its target, and messages still queued for it reach nobody.
//
// A context is usable when it is enabled, has a target and a task id, and that task exists and is
// not dead. StopMessaging disables it: posts and sends to the object fail from then on.
#pragma once

#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"

#include <atomic>
#include <cstdint>

namespace kova
{

class IMessageable;
class VMessage;
class VTask;

class VMessagingContext : public VObject, public IRefCountable
{
public:
    VMessagingContext(IMessageable* inTarget, int32_t inTaskID);

    // Null once the target is destroyed.
    IMessageable* GetTarget() const { return fTarget.load(std::memory_order_acquire); }
    // 0 without target.
    int32_t GetMessagingTask() const;
    bool IsEnabled() const { return fEnabled.load(std::memory_order_acquire); }

    // The task that executes the context's messages, retained; null when the context is not
    // usable.
    VTask* RetainTaskIfUsable() const;

    void _SetTarget(IMessageable* inTarget) { fTarget.store(inTarget, std::memory_order_release); }
    void _SetMessagingTask(int32_t inTaskID) { fTaskID.store(inTaskID, std::memory_order_release); }
    void _SetEnabled(bool inEnabled) { fEnabled.store(inEnabled, std::memory_order_release); }

private:
    std::atomic<IMessageable*> fTarget;
    std::atomic<int32_t> fTaskID;
    std::atomic<bool> fEnabled{true};
};

class IMessageable
{
public:
    // Bound to the calling task, enabled.
    IMessageable();
    IMessageable(const IMessageable&) = delete;
    IMessageable& operator=(const IMessageable&) = delete;
    virtual ~IMessageable();

    // Called on the object's task for each message it receives.
    virtual void DoMessage(VMessage& inMessage);

    void StartMessaging();
    void StopMessaging();
    // 0 when the context has no target.
    int32_t GetMessagingTask() const;
    void SetMessagingTask(int32_t inTaskID);
    // With one reference for the caller; null only when the context could not be made.
    VMessagingContext* RetainMessagingContext() const;

private:
    VMessagingContext* fMessagingContext;
};

} // namespace kova
