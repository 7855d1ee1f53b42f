// Test helpers shared by the task tests: running a body on a task of its own, a zombie child, and
// the bound of a wait that only a hung test reaches.
#pragma once

#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace kova
{

constexpr int32_t kHungTestMilliseconds = 60000;

inline VRefPtr<VTask> NewTask(std::function<void()> inBody)
{
    return VRefPtr<VTask>(new VTask(0, eTaskStylePreemptive, std::move(inBody)));
}

// Runs the body on a new preemptive task and returns once the task is dead.
inline void RunOnTask(std::function<void()> inBody)
{
    VRefPtr<VTask> task = NewTask(std::move(inBody));
    ASSERT_TRUE(task->Run());
    ASSERT_TRUE(task->WaitForDeath(kHungTestMilliseconds));
}

// A child that quits at once, returned once it can be waited for but not reaped: a zombie, until
// the caller reads its status. -1 when it cannot be made.
inline pid_t NewZombie()
{
    // Tasks that earlier tests left dead are joined first: the child would exit with their threads
    // unjoined, which ThreadSanitizer reports.
    VTaskMgr::Get()->PurgeDeadTasks();
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    // Waited for rather than seen in state Z in /proc: a child may show Z before it can be waited
    // for, while a thread of its own (a sanitizer's) still goes down.
    siginfo_t info{};
    if (child < 0 || waitid(P_PID, id_t(child), &info, WEXITED | WNOWAIT) != 0)
        return -1;
    return child;
}

} // namespace kova
