// IIdleable is an object that gets periodic idle calls (DoIdle) on one task: the task calls the
// idlers it has registered at its idle checks, about 30 times a second at most and only when no
// message was waiting. An idler is registered with one task at a time; StopIdling (and the
// destructor) take it off that task's list, from any task, so that a task never calls a dead
// idler.
//
// XIdleMessage is the other way to idle: a message that calls its idler and posts itself to the
// calling task again 16 ms later, for as long as the idler is active and registered there.
#pragma once

#include "kernel/tasks/VMessage.h"

#include <atomic>

namespace kova
{

class VTask;

class IIdleable
{
public:
    IIdleable() = default;
    IIdleable(const IIdleable&) = delete;
    IIdleable& operator=(const IIdleable&) = delete;
    virtual ~IIdleable();

    virtual void DoIdle();

    // Activates the idler and registers it with the task (leaving the previous one).
    void StartIdling(VTask* inTask);
    // With the calling task.
    void StartIdling();
    void StopIdling();
    // Calls DoIdle when active.
    void Idle();

    bool IsIdling() const { return fActive.load(std::memory_order_acquire); }
    // Not retained.
    VTask* GetIdlingTask() const { return fTask; }

private:
    VTask* fTask = nullptr;
    std::atomic<bool> fActive{false};
};

class XIdleMessage : public VMessage
{
public:
    explicit XIdleMessage(IIdleable* inIdler) : fIdler(inIdler) {}

    void DoExecute() override;

private:
    IIdleable* fIdler;
};

} // namespace kova
