#include "kernel/json/StJSONNesting.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/tasks/VTask.h"

namespace kova
{

namespace
{

// The outermost level measures the free stack once; inner levels measure how far the stack
// pointer moved since, which costs no look-up of the task.
thread_local uint32_t tDepth = 0;
thread_local uintptr_t tBaseFrame = 0;
thread_local size_t tBaseFree = 0;

uintptr_t CurrentFrame()
{
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
}

} // namespace

StJSONNesting::StJSONNesting()
{
    uintptr_t frame = CurrentFrame();
    if (tDepth == 0)
    {
        tBaseFrame = frame;
        tBaseFree = VTask::GetCurrentFreeStackSize();
    }
    ++tDepth;
    size_t used = tBaseFrame > frame ? tBaseFrame - frame : 0;
    size_t free = used < tBaseFree ? tBaseFree - used : 0;
    fOK = tDepth <= kMaxDepth && free >= kMinFreeStack;
    if (!fOK)
        _ThrowError(VE_JSON_NOT_ENOUGH_STACK);
}

StJSONNesting::~StJSONNesting()
{
    --tDepth;
}

} // namespace kova
