// Test helpers shared by the task tests: running a body on a task of its own, and the bound of a
// wait that only a hung test reaches.
#pragma once

#include "kernel/tasks/VTask.h"
#include "kernel/values/VRefPtr.h"

#include <gtest/gtest.h>

#include <functional>
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

} // namespace kova
