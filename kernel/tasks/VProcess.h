// VProcess is the one application object: its start-up brings the toolbox up in a fixed order and
// its destruction takes it down again. For now it carries only what the task manager reads when
// it starts: whether the process runs its tasks as fibers (start-up flag 2), off unless asked for.
#pragma once

#include "kernel/values/VObject.h"

namespace kova
{

class VProcess : public VObject
{
public:
    bool IsFiberMode() const { return fFiberMode; }

protected:
    bool fFiberMode = false;
};

} // namespace kova
