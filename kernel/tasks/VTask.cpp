#include "kernel/tasks/VTask.h"

#include "kernel/tasks/VTaskMgr.h"

namespace kova
{

void VTask::Sleep(int32_t inMilliseconds)
{
    if (inMilliseconds <= 0)
    {
        VTaskMgr::YieldNow();
        return;
    }
    // Every thread is still a thread without a task: nothing to suspend.
}

} // namespace kova
