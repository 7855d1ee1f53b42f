// Our stand-in for the Debugger call of CoreServices: stops in the debugger that traces the
// process. Without one it does nothing, where the signal would end the process.
#pragma once

namespace kova::cf
{

// Whether a debugger (any tracer) is attached to the process.
bool IsBeingDebugged();
void Debugger();

} // namespace kova::cf
