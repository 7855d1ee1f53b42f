// VTask is the toolbox's unit of execution, a thread or a fiber. For now it offers the one static
// service that locks and waiting loops need, Sleep; the tasks themselves (creation, running,
// messages, error contexts) join this class with the task manager's table.
#pragma once

#include <cstdint>

namespace kova
{

class VTask
{
public:
    VTask() = delete;

    // 0 or less yields the processor. A positive time suspends the calling task; a thread that
    // runs no task returns at once, as only tasks can be woken early from a sleep.
    static void Sleep(int32_t inMilliseconds);
};

} // namespace kova
